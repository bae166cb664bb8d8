// What the reader tests share: the built reader module loaded as a COM client
// loads it, references that release themselves, and short forms of the calls
// the converter makes.
#pragma once
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "components/gamlreader/gamlreader.h"
#include "platform/modules.h"
#include "support/test_home.h"

namespace readertest {

// One interface reference, released when it goes.
template <class T>
class Ref {
 public:
  Ref() = default;
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { reset(); }
  T** out() {
    reset();
    return &object_;
  }
  T* get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  void reset() {
    if (object_ != nullptr) object_->Release();
    object_ = nullptr;
  }

 private:
  T* object_ = nullptr;
};

// The reader module, loaded from the build.
struct Module {
  Module() {
    handle = LoadLibraryA(GAMLREADER_MODULE);
    if (handle == nullptr) return;
    get_class_object = reinterpret_cast<DllGetClassObjectFn>(GetProcAddress(handle, "DllGetClassObject"));
    can_unload_now = reinterpret_cast<DllCanUnloadNowFn>(GetProcAddress(handle, "DllCanUnloadNow"));
    register_server = reinterpret_cast<DllRegisterServerFn>(GetProcAddress(handle, "DllRegisterServer"));
    unregister_server = reinterpret_cast<DllRegisterServerFn>(GetProcAddress(handle, "DllUnregisterServer"));
  }
  HMODULE handle = nullptr;
  DllGetClassObjectFn get_class_object = nullptr;
  DllCanUnloadNowFn can_unload_now = nullptr;
  DllRegisterServerFn register_server = nullptr;
  DllRegisterServerFn unregister_server = nullptr;
};

inline Module& module() {
  static Module loaded;
  return loaded;
}

inline std::u16string take(BSTR text) {
  std::u16string copy(text == nullptr ? u"" : text, SysStringLen(text));
  SysFreeString(text);
  return copy;
}

inline BSTR bstr(const std::u16string& text) {
  return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

inline VARIANT index_variant(LONG index) {
  VARIANT variant{};
  variant.vt = VT_I4;
  variant.lVal = index;
  return variant;
}

// A new reader from the module's class factory.
inline void create_reader(Ref<IGamlReader>* reader) {
  Ref<IClassFactory> factory;
  ASSERT_NE(module().get_class_object, nullptr) << GAMLREADER_MODULE;
  ASSERT_EQ(module().get_class_object(CLSID_GamlReader, IID_IClassFactory, reinterpret_cast<void**>(factory.out())),
            S_OK);
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IGamlReader, reinterpret_cast<void**>(reader->out())), S_OK);
}

// Load as the converter calls it: options VT_I4 0, flags 2 on entry.
inline HRESULT load(IGamlReader* reader, const std::string& path) {
  BSTR text = bstr(std::u16string(path.begin(), path.end()));
  LONG flags = 2;
  const HRESULT result = reader->Load(text, index_variant(0), &flags);
  SysFreeString(text);
  return result;
}

inline std::string fixture(const char* name) { return std::string(GAML2KOV_TEST_DATA) + "/gaml/" + name; }

// Item `index` of a collection as the interface `iid` of T.
template <class T>
HRESULT item(IGamlCollection* collection, LONG index, REFIID iid, Ref<T>* out) {
  Ref<IDispatch> found;
  const HRESULT result = collection->Item(index_variant(index), found.out());
  if (FAILED(result)) return result;
  return found->QueryInterface(iid, reinterpret_cast<void**>(out->out()));
}

// Trace `index` of a loaded reader.
inline void trace_at(IGamlReader* reader, LONG index, Ref<IGamlTrace>* out) {
  Ref<IGamlCollection> traces;
  ASSERT_EQ(reader->get_Traces(traces.out()), S_OK);
  ASSERT_EQ(item(traces.get(), index, IID_IGamlTrace, out), S_OK);
}

// Element `index` of trace `trace`.
inline void element_at(IGamlReader* reader, LONG trace, LONG index, Ref<IGamlElement>* out) {
  Ref<IGamlTrace> owner;
  trace_at(reader, trace, &owner);
  Ref<IGamlCollection> elements;
  ASSERT_EQ(owner->get_Elements(elements.out()), S_OK);
  ASSERT_EQ(item(elements.get(), index, IID_IGamlElement, out), S_OK);
}

// Child `index` of element `element` of trace `trace`.
inline void child_at(IGamlReader* reader, LONG trace, LONG element, LONG index, Ref<IGamlChild>* out) {
  Ref<IGamlElement> owner;
  element_at(reader, trace, element, &owner);
  Ref<IGamlChildList> children;
  ASSERT_EQ(owner->get_Children(children.out()), S_OK);
  ASSERT_EQ(children->Item(index, out->out()), S_OK);
}

// The values of an array as doubles, with the array's element type.
inline std::vector<double> values_of(IGamlValues* values, VARTYPE* type) {
  VARIANT variant;
  std::vector<double> numbers;
  *type = VT_EMPTY;
  if (FAILED(values->get_Values(&variant))) return numbers;
  *type = variant.vt;
  if (variant.vt & VT_ARRAY) {
    void* data = nullptr;
    EXPECT_EQ(SafeArrayAccessData(variant.parray, &data), S_OK);
    const ULONG count = variant.parray->rgsabound[0].cElements;
    for (ULONG i = 0; i < count; ++i) {
      numbers.push_back(variant.vt == (VT_ARRAY | VT_R4) ? static_cast<const float*>(data)[i]
                                                          : static_cast<const double*>(data)[i]);
    }
    SafeArrayUnaccessData(variant.parray);
  }
  EXPECT_EQ(VariantClear(&variant), S_OK);
  return numbers;
}

// A document written for one test and loaded into a new reader.
inline HRESULT load_text(Ref<IGamlReader>* reader, const std::string& name, const std::string& xml) {
  create_reader(reader);
  return load(reader->get(), testsupport::write_file(name, xml));
}

}  // namespace readertest
