// COM runtime: GUID text, the apartment count of each thread and the generic
// class factory of our in-process servers.
#include "platform/com.h"

#include <cstdio>
#include <new>

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_ISupportErrorInfo = {0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i) {
    if (a.Data4[i] != b.Data4[i]) return false;
  }
  return true;
}

namespace {

constexpr int kGuidTextLength = 38;

void format_guid(REFGUID guid, char (&text)[kGuidTextLength + 1]) {
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1, guid.Data2,
                guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                guid.Data4[6], guid.Data4[7]);
}

thread_local int apartment_calls = 0;

// The class factory that every server module hands out from DllGetClassObject.
class ClassFactory final : public IClassFactory {
 public:
  ClassFactory(platform::ComModule& module, platform::ComCreator create) : module_(module), create_(create) {
    module_.lock();
  }

  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
  }

  ULONG AddRef() override { return ++references_; }

  ULONG Release() override {
    const ULONG left = --references_;
    if (left == 0) {
      module_.unlock();
      delete this;
    }
    return left;
  }

  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return create_(iid, object);
  }

  HRESULT LockServer(BOOL lock) override {
    if (lock) {
      module_.lock();
    } else {
      module_.unlock();
    }
    return S_OK;
  }

 private:
  platform::ComModule& module_;
  platform::ComCreator create_;
  ULONG references_ = 0;
};

}  // namespace

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int size) {
  if (buffer == nullptr || size < kGuidTextLength + 1) return 0;
  char text[kGuidTextLength + 1];
  format_guid(guid, text);
  for (int i = 0; i <= kGuidTextLength; ++i) buffer[i] = static_cast<OLECHAR>(text[i]);
  return kGuidTextLength + 1;
}

HRESULT CoInitialize(LPVOID) { return apartment_calls++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
  if (apartment_calls > 0) --apartment_calls;
}

namespace platform {

HRESULT get_class_object(ComModule& module, REFCLSID served, ComCreator create, REFCLSID clsid, REFIID iid,
                         void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (clsid != served) return CLASS_E_CLASSNOTAVAILABLE;
  ClassFactory* factory = new (std::nothrow) ClassFactory(module, create);
  if (factory == nullptr) return E_OUTOFMEMORY;
  factory->AddRef();
  const HRESULT result = factory->QueryInterface(iid, object);
  factory->Release();
  return result;
}

}  // namespace platform
