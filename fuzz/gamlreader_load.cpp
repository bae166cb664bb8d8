// Fuzz target of the GAML reader component: arbitrary bytes are loaded as a
// document file and everything the reader offers is walked as the converter
// walks it (traces, names, dates, sections, elements, groups, children,
// values), plus indexes and names just outside what it offers. Every object,
// string and variant is released per input; the reader's module lock count
// must be back to zero, and no name list may hold an empty name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "components/gamlreader/gamlreader.h"
#include "components/gamlreader/objects.h"
#include "fuzz/input_file.h"

namespace {

void check(bool fact) {
  if (!fact) std::abort();
}

template <class T>
void release(T*& object) {
  if (object != nullptr) object->Release();
  object = nullptr;
}

VARIANT index_variant(LONG index) {
  VARIANT variant{};
  variant.vt = VT_I4;
  variant.lVal = index;
  return variant;
}

const std::string& document_path() {
  static const fuzz::InputFile file("gamlreader_load", ".gaml");
  return file.path();
}

void touch_text(BSTR text) { SysFreeString(text); }

void walk_values(IGamlValues* values) {
  VARIANT array;
  if (SUCCEEDED(values->get_Values(&array))) {
    check(array.vt == (VT_ARRAY | VT_R4) || array.vt == (VT_ARRAY | VT_R8));
    void* data = nullptr;
    check(SUCCEEDED(SafeArrayAccessData(array.parray, &data)));
    const size_t bytes = array.parray->rgsabound[0].cElements * SafeArrayGetElemsize(array.parray);
    volatile unsigned char sum = 0;
    for (size_t i = 0; i < bytes; ++i) sum = sum + static_cast<const unsigned char*>(data)[i];
    SafeArrayUnaccessData(array.parray);
  }
  check(SUCCEEDED(VariantClear(&array)));
  LONG units = 0;
  values->get_Units(&units);
}

// Items 0 to count - 1 of a collection, and the first index past them.
template <class Item>
void walk_collection(IGamlCollection* collection, REFIID iid, void (*walk_item)(Item*)) {
  LONG count = 0;
  check(SUCCEEDED(collection->get_Count(&count)));
  for (LONG i = 0; i <= count; ++i) {
    IDispatch* found = nullptr;
    const HRESULT result = collection->Item(index_variant(i), &found);
    check(SUCCEEDED(result) == (i < count));
    if (found == nullptr) continue;
    Item* item = nullptr;
    check(SUCCEEDED(found->QueryInterface(iid, reinterpret_cast<void**>(&item))));
    walk_item(item);
    release(item);
    release(found);
  }
}

void walk_parameter(IGamlParameter* parameter) {
  BSTR text = nullptr;
  if (SUCCEEDED(parameter->get_Name(&text))) touch_text(text);
  if (SUCCEEDED(parameter->get_Value(&text))) touch_text(text);
}

// Each name of a name list, then a name that is not in it.
template <class Owner>
void walk_sections(Owner* owner, HRESULT (Owner::*names_of)(BSTR*),
                   HRESULT (Owner::*section_of)(BSTR, IGamlCollection**)) {
  BSTR names = nullptr;
  if (FAILED((owner->*names_of)(&names))) return;
  const UINT length = SysStringLen(names);
  check(length >= 1 && names[length - 1] == 0);
  for (UINT start = 0; start + 1 < length;) {
    UINT end = start;
    while (names[end] != 0) ++end;
    check(end > start);  // an empty name here would end the list early
    BSTR name = SysAllocStringLen(names + start, end - start);
    IGamlCollection* section = nullptr;
    check(SUCCEEDED((owner->*section_of)(name, &section)));
    walk_collection<IGamlParameter>(section, IID_IGamlParameter, walk_parameter);
    release(section);
    SysFreeString(name);
    start = end + 1;
  }
  SysFreeString(names);
  BSTR unknown = SysAllocString(u"\uFFFF not a section");
  IGamlCollection* section = nullptr;
  check(FAILED((owner->*section_of)(unknown, &section)) && section == nullptr);
  SysFreeString(unknown);
}

void walk_element(IGamlElement* element) {
  walk_sections(element, &IGamlElement::get_GroupNames, &IGamlElement::get_Group);
  IGamlChildList* children = nullptr;
  if (FAILED(element->get_Children(&children))) return;
  IGamlChild* child = nullptr;
  check(FAILED(children->Item(-1, &child)) && child == nullptr);
  for (LONG i = 0; SUCCEEDED(children->Item(i, &child)); ++i) {
    IGamlValues* y = nullptr;
    if (SUCCEEDED(child->get_Values(&y))) walk_values(y);
    release(y);
    IGamlCollection* x_values = nullptr;
    if (SUCCEEDED(child->get_XValues(&x_values))) walk_collection<IGamlValues>(x_values, IID_IGamlValues, walk_values);
    release(x_values);
    release(child);
  }
  release(children);
}

void walk_trace(IGamlTrace* trace) {
  BSTR name = nullptr;
  if (SUCCEEDED(trace->get_Name(&name))) touch_text(name);
  VARIANT date;
  if (SUCCEEDED(trace->get_Date(&date))) {
    check(date.vt == VT_DATE);
    SYSTEMTIME time;
    VariantTimeToSystemTime(date.date, &time);
  }
  check(SUCCEEDED(VariantClear(&date)));
  walk_sections(trace, &IGamlTrace::get_SectionNames, &IGamlTrace::get_Section);
  IGamlCollection* elements = nullptr;
  if (SUCCEEDED(trace->get_Elements(&elements))) walk_collection<IGamlElement>(elements, IID_IGamlElement, walk_element);
  release(elements);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    std::ofstream file(document_path(), std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  IGamlReader* reader = nullptr;
  check(SUCCEEDED(gamlreader::create_reader(IID_IGamlReader, reinterpret_cast<void**>(&reader))));
  const std::u16string path(document_path().begin(), document_path().end());
  BSTR path_text = SysAllocStringLen(path.data(), static_cast<UINT>(path.size()));
  LONG flags = 2;
  IGamlCollection* traces = nullptr;
  if (SUCCEEDED(reader->Load(path_text, index_variant(0), &flags))) {
    check(SUCCEEDED(reader->get_Traces(&traces)));
    walk_collection<IGamlTrace>(traces, IID_IGamlTrace, walk_trace);
  } else {
    check(FAILED(reader->get_Traces(&traces)) && traces == nullptr);
  }
  release(traces);
  SysFreeString(path_text);
  release(reader);
  check(gamlreader::module().locks() == 0);
  return 0;
}
