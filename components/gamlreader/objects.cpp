// The GAML reader's COM objects: the reader, which loads a document into the
// model of document.cpp, and the collections, traces, elements, child lists,
// children, values and parameters handed out over that model. Every object
// shares the model it came from, so it stays valid after the reader is
// released or loads another document, and holds a lock on the module while
// it lives. Created by the class factory (module.cpp) and by each other.
#include "components/gamlreader/objects.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "components/gamlreader/document.h"
#include "components/gamlreader/gamlreader.h"
#include "platform/codepage.h"
#include "platform/home.h"

namespace gamlreader {

platform::ComModule& module() {
  static platform::ComModule instance;
  return instance;
}

namespace {

using DocumentRef = std::shared_ptr<const Document>;

constexpr const IID& iid_of(IGamlReader*) { return IID_IGamlReader; }
constexpr const IID& iid_of(IGamlCollection*) { return IID_IGamlCollection; }
constexpr const IID& iid_of(IGamlTrace*) { return IID_IGamlTrace; }
constexpr const IID& iid_of(IGamlElement*) { return IID_IGamlElement; }
constexpr const IID& iid_of(IGamlChildList*) { return IID_IGamlChildList; }
constexpr const IID& iid_of(IGamlChild*) { return IID_IGamlChild; }
constexpr const IID& iid_of(IGamlValues*) { return IID_IGamlValues; }
constexpr const IID& iid_of(IGamlParameter*) { return IID_IGamlParameter; }

// An object that implements one reader interface over part of a document,
// with the IDispatch slots that no caller uses.
template <class Interface>
class Object : public platform::ComObject<Interface> {
 public:
  explicit Object(DocumentRef document) : platform::ComObject<Interface>(module()), document_(std::move(document)) {}

  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

 protected:
  const DocumentRef& document() const { return document_; }

 private:
  bool answers(REFIID iid) const override {
    return iid == IID_IDispatch || iid == iid_of(static_cast<Interface*>(nullptr));
  }

  DocumentRef document_;
};

// Hands out a new object of type T, built from `arguments`, as `*out`.
template <class T, class Out, class... Arguments>
HRESULT hand_out(Out** out, Arguments&&... arguments) {
  if (out == nullptr) return E_POINTER;
  T* object = new (std::nothrow) T(std::forward<Arguments>(arguments)...);
  *out = object;
  if (object == nullptr) return E_OUTOFMEMORY;
  object->AddRef();
  return S_OK;
}

HRESULT hand_out_text(const std::u16string& text, BSTR* out) {
  if (out == nullptr) return E_POINTER;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

// The name list of a parameter set: each section name and a zero, then one
// more zero. Section names are never empty (document.cpp).
HRESULT hand_out_names(const ParameterSet& set, BSTR* out) {
  if (out == nullptr) return E_POINTER;
  size_t units = 1;
  for (const ParameterSet::Section& section : set.sections) units += section.name.size() + 1;
  *out = units > UINT32_MAX / sizeof(OLECHAR) ? nullptr : SysAllocStringLen(nullptr, static_cast<UINT>(units));
  if (*out == nullptr) return E_OUTOFMEMORY;
  OLECHAR* at = *out;
  for (const ParameterSet::Section& section : set.sections) {
    at = std::copy(section.name.begin(), section.name.end(), at) + 1;  // the zero is already there
  }
  return S_OK;
}

// The source of each item of a collection, whether the sources are held
// in a vector, pointed to from one, or a single one.
template <class T>
const T* source_at(const std::vector<T>& sources, size_t index) {
  return &sources[index];
}
template <class T>
const T* source_at(const std::vector<const T*>& sources, size_t index) {
  return sources[index];
}
template <class T>
size_t count_of(const std::vector<T>& sources) {
  return sources.size();
}
const Values* source_at(const Values& one, size_t) { return &one; }
size_t count_of(const Values&) { return 1; }

// An ordered collection over sources held by the document. Each item is
// made when it is asked for, so that asking for a collection costs the
// same whatever its size.
class Collection final : public Object<IGamlCollection> {
 public:
  using MakeItem = HRESULT (*)(const DocumentRef& document, const void* sources, size_t index, IDispatch** item);
  Collection(DocumentRef document, const void* sources, size_t count, MakeItem make_item)
      : Object(std::move(document)), sources_(sources), count_(count), make_item_(make_item) {}

  HRESULT Item(VARIANT index, IDispatch** item) override {
    if (item == nullptr) return E_POINTER;
    *item = nullptr;
    if (index.vt != VT_I4) return DISP_E_TYPEMISMATCH;
    if (index.lVal < 0 || static_cast<size_t>(index.lVal) >= count_) return E_INVALIDARG;
    return make_item_(document(), sources_, static_cast<size_t>(index.lVal), item);
  }

  HRESULT get_Count(LONG* count) override {
    if (count == nullptr) return E_POINTER;
    *count = static_cast<LONG>(count_);
    return S_OK;
  }

 private:
  const void* sources_;
  size_t count_;
  MakeItem make_item_;
};

template <class ItemObject, class Sources>
HRESULT make_item(const DocumentRef& document, const void* sources, size_t index, IDispatch** item) {
  return hand_out<ItemObject>(item, document, source_at(*static_cast<const Sources*>(sources), index));
}

// A collection with one ItemObject over each of `sources`, which the
// document holds.
template <class ItemObject, class Sources>
HRESULT hand_out_collection(const DocumentRef& document, const Sources& sources, IGamlCollection** out) {
  return hand_out<Collection>(out, document, &sources, count_of(sources), &make_item<ItemObject, Sources>);
}

// The section of a parameter set whose name equals `name` exactly.
HRESULT hand_out_section(const DocumentRef& document, const ParameterSet& set, BSTR name,
                         IGamlCollection** parameters);

class ParameterObject final : public Object<IGamlParameter> {
 public:
  ParameterObject(DocumentRef document, const Parameter* parameter)
      : Object(std::move(document)), parameter_(parameter) {}
  HRESULT get_Value(BSTR* value) override { return hand_out_text(parameter_->value, value); }
  HRESULT get_Name(BSTR* name) override { return hand_out_text(parameter_->name, name); }

 private:
  const Parameter* parameter_;
};

class ValuesObject final : public Object<IGamlValues> {
 public:
  ValuesObject(DocumentRef document, const Values* values) : Object(std::move(document)), values_(values) {}

  HRESULT get_Values(VARIANT* values) override {
    if (values == nullptr) return E_POINTER;
    VariantInit(values);
    const SAFEARRAY* kept = values_->array.get();
    if (kept == nullptr) return E_FAIL;
    // The document's block is lent rather than copied; the array keeps this
    // object, and so the document, alive until it is destroyed.
    const VARTYPE type = kept->cbElements == sizeof(float) ? VT_R4 : VT_R8;
    SAFEARRAY* array = platform::create_lent_vector(type, kept->rgsabound[0].cElements, kept->pvData,
                                                    static_cast<IGamlValues*>(this));
    if (array == nullptr) return E_OUTOFMEMORY;
    values->vt = VT_ARRAY | type;
    values->parray = array;
    return S_OK;
  }

  HRESULT get_Units(LONG* code) override {
    if (code == nullptr) return E_POINTER;
    *code = values_->units;
    return S_OK;
  }

 private:
  const Values* values_;
};

class ChildObject final : public Object<IGamlChild> {
 public:
  ChildObject(DocumentRef document, const Element* element, size_t index)
      : Object(std::move(document)), element_(element), index_(index) {}

  HRESULT get_Values(IGamlValues** values) override {
    return hand_out<ValuesObject>(values, document(), &element_->children[index_]);
  }

  HRESULT get_XValues(IGamlCollection** x_values) override {
    return hand_out_collection<ValuesObject>(document(), element_->x, x_values);
  }

 private:
  const Element* element_;
  size_t index_;
};

class ChildListObject final : public Object<IGamlChildList> {
 public:
  ChildListObject(DocumentRef document, const Element* element) : Object(std::move(document)), element_(element) {}

  HRESULT Item(LONG index, IGamlChild** child) override {
    if (child == nullptr) return E_POINTER;
    *child = nullptr;
    if (index < 0 || static_cast<size_t>(index) >= element_->children.size()) return E_INVALIDARG;
    return hand_out<ChildObject>(child, document(), element_, static_cast<size_t>(index));
  }

 private:
  const Element* element_;
};

class ElementObject final : public Object<IGamlElement> {
 public:
  ElementObject(DocumentRef document, const Element* element) : Object(std::move(document)), element_(element) {}

  HRESULT get_Children(IGamlChildList** children) override {
    return hand_out<ChildListObject>(children, document(), element_);
  }
  HRESULT get_Group(BSTR name, IGamlCollection** parameters) override {
    return hand_out_section(document(), element_->groups, name, parameters);
  }
  HRESULT get_GroupNames(BSTR* names) override { return hand_out_names(element_->groups, names); }

 private:
  const Element* element_;
};

class TraceObject final : public Object<IGamlTrace> {
 public:
  TraceObject(DocumentRef document, const Trace* trace) : Object(std::move(document)), trace_(trace) {}

  HRESULT get_Elements(IGamlCollection** elements) override {
    return hand_out_collection<ElementObject>(document(), trace_->elements, elements);
  }
  HRESULT get_Name(BSTR* name) override { return hand_out_text(trace_->name, name); }

  HRESULT get_Date(VARIANT* date) override {
    if (date == nullptr) return E_POINTER;
    VariantInit(date);
    if (!trace_->has_date) return E_FAIL;
    date->vt = VT_DATE;
    date->date = trace_->date;
    return S_OK;
  }

  HRESULT get_Section(BSTR name, IGamlCollection** parameters) override {
    return hand_out_section(document(), trace_->sections, name, parameters);
  }
  HRESULT get_SectionNames(BSTR* names) override { return hand_out_names(trace_->sections, names); }

 private:
  const Trace* trace_;
};

HRESULT hand_out_section(const DocumentRef& document, const ParameterSet& set, BSTR name,
                         IGamlCollection** parameters) {
  if (parameters == nullptr) return E_POINTER;
  *parameters = nullptr;
  const std::u16string_view wanted(name == nullptr ? u"" : name, SysStringLen(name));
  for (const ParameterSet::Section& section : set.sections) {
    if (section.name == wanted) return hand_out_collection<ParameterObject>(document, section.parameters, parameters);
  }
  return E_INVALIDARG;
}

// The file's bytes, read in one piece into a block that is not cleared
// first; false when it cannot be read.
bool read_file(BSTR path, std::unique_ptr<char[]>* bytes, size_t* size) {
  const int length = static_cast<int>(SysStringLen(path));
  std::string ansi(static_cast<size_t>(WideCharToMultiByte(CP_ACP, 0, path, length, nullptr, 0, nullptr, nullptr)),
                   '\0');
  WideCharToMultiByte(CP_ACP, 0, path, length, ansi.data(), static_cast<int>(ansi.size()), nullptr, nullptr);
  std::ifstream file(platform::native_path(ansi.c_str()), std::ios::binary | std::ios::ate);
  if (!file) return false;
  const std::streamoff end = file.tellg();
  if (end < 0) return false;
  *size = static_cast<size_t>(end);
  bytes->reset(new char[*size]);
  file.seekg(0);
  return static_cast<bool>(file.read(bytes->get(), end));
}

class Reader final : public Object<IGamlReader> {
 public:
  Reader() : Object(nullptr) {}

  HRESULT get_Traces(IGamlCollection** traces) override {
    if (traces == nullptr) return E_POINTER;
    *traces = nullptr;
    if (loaded_ == nullptr) return E_FAIL;
    return hand_out_collection<TraceObject>(loaded_, loaded_->traces, traces);
  }

  HRESULT Load(BSTR path, VARIANT, LONG*) override {
    loaded_.reset();
    if (SysStringLen(path) == 0) return E_INVALIDARG;
    try {
      std::unique_ptr<char[]> bytes;
      size_t size = 0;
      if (!read_file(path, &bytes, &size)) return E_FAIL;
      return parse_document(bytes.get(), size, &loaded_);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

 private:
  DocumentRef loaded_;
};

}  // namespace

HRESULT create_reader(REFIID iid, void** object) {
  IGamlReader* reader = nullptr;
  const HRESULT made = hand_out<Reader>(&reader);
  if (FAILED(made)) return made;
  const HRESULT result = reader->QueryInterface(iid, object);
  reader->Release();
  return result;
}

}  // namespace gamlreader
