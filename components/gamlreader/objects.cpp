// The GAML reader's COM objects: the reader, which loads a document into the
// model of document.cpp, and the collections, traces, elements, child lists,
// children, values and parameters handed out over that model. Every object
// shares the model it came from, so it stays valid after the reader is
// released or loads another document, and holds a lock on the module while
// it lives. Created by the class factory (module.cpp) and by each other.
#include "components/gamlreader/objects.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <iterator>
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

class Collection final : public Object<IGamlCollection> {
 public:
  using Object::Object;
  ~Collection() override {
    for (IDispatch* item : items_) item->Release();
  }

  HRESULT Item(VARIANT index, IDispatch** item) override {
    if (item == nullptr) return E_POINTER;
    *item = nullptr;
    if (index.vt != VT_I4) return DISP_E_TYPEMISMATCH;
    if (index.lVal < 0 || static_cast<size_t>(index.lVal) >= items_.size()) return E_INVALIDARG;
    *item = items_[static_cast<size_t>(index.lVal)];
    (*item)->AddRef();
    return S_OK;
  }

  HRESULT get_Count(LONG* count) override {
    if (count == nullptr) return E_POINTER;
    *count = static_cast<LONG>(items_.size());
    return S_OK;
  }

  // Appends a new ItemObject over `source`.
  template <class ItemObject, class Source>
  HRESULT add(const Source* source) {
    IDispatch* item = nullptr;
    const HRESULT made = hand_out<ItemObject>(&item, document(), source);
    if (FAILED(made)) return made;
    try {
      items_.push_back(item);
    } catch (const std::bad_alloc&) {
      item->Release();
      return E_OUTOFMEMORY;
    }
    return S_OK;
  }

 private:
  std::vector<IDispatch*> items_;
};

// The address of an item's source, whether the sources are held or pointed to.
template <class T>
const T* address_of(const T& source) {
  return &source;
}
template <class T>
const T* address_of(const T* source) {
  return source;
}

// A collection with one ItemObject over each of `sources`.
template <class ItemObject, class Sources>
HRESULT hand_out_collection(const DocumentRef& document, const Sources& sources, IGamlCollection** out) {
  if (out == nullptr) return E_POINTER;
  Collection* collection = nullptr;
  HRESULT result = hand_out<Collection>(&collection, document);
  for (auto source = std::begin(sources); SUCCEEDED(result) && source != std::end(sources); ++source) {
    result = collection->add<ItemObject>(address_of(*source));
  }
  if (FAILED(result) && collection != nullptr) {
    collection->Release();
    collection = nullptr;
  }
  *out = collection;
  return result;
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
    if (!values_->present) return E_FAIL;
    const UINT element_size = values_->type == VT_R4 ? sizeof(float) : sizeof(double);
    SAFEARRAY* array =
        SafeArrayCreateVector(values_->type, 0, static_cast<ULONG>(values_->bytes.size() / element_size));
    if (array == nullptr) return E_OUTOFMEMORY;
    if (!values_->bytes.empty()) std::memcpy(array->pvData, values_->bytes.data(), values_->bytes.size());
    values->vt = VT_ARRAY | values_->type;
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
    return hand_out_collection<ValuesObject>(document(), std::array<const Values*, 1>{&element_->x}, x_values);
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

// The file's bytes; false when it cannot be read.
bool read_file(BSTR path, std::vector<char>* bytes) {
  const int length = static_cast<int>(SysStringLen(path));
  std::string ansi(static_cast<size_t>(WideCharToMultiByte(CP_ACP, 0, path, length, nullptr, 0, nullptr, nullptr)),
                   '\0');
  WideCharToMultiByte(CP_ACP, 0, path, length, ansi.data(), static_cast<int>(ansi.size()), nullptr, nullptr);
  std::ifstream file(platform::native_path(ansi.c_str()), std::ios::binary | std::ios::ate);
  if (!file) return false;
  const std::streamoff size = file.tellg();
  if (size < 0) return false;
  bytes->resize(static_cast<size_t>(size));
  file.seekg(0);
  return static_cast<bool>(file.read(bytes->data(), size));
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
      std::vector<char> bytes;
      if (!read_file(path, &bytes)) return E_FAIL;
      return parse_document(bytes.data(), bytes.size(), &loaded_);
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
