// COM: class and interface ids, result codes, the base interfaces, the
// apartment calls, class creation through the registry store, and the
// in-process server plumbing (class factory, module lock count, class
// registration) that our server modules build on.
//
// Interfaces are C++ classes of pure virtual functions declared in COM slot
// order and without a virtual destructor, so that the vtable is the COM
// vtable; both sides of every interface are compiled by us with the same
// calling convention. The apartment is the calling thread and nothing is
// marshalled. Callers: the converter front end (FileCnvt, the import job) and
// the GAML reader component.
#pragma once
#include <cstdint>
#include <string>

#include "platform/timelocale.h"
#include "platform/wintypes.h"

using HRESULT = LONG;
using DISPID = LONG;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;

// Class and interface ids; 16 bytes as stored in memory.
struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16);
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

bool operator==(const GUID& a, const GUID& b);
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }

// The registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case,
// 38 characters plus the terminator. Returns the characters written with the
// terminator, 0 when the buffer holds fewer than 39.
int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int size);
// The reverse: exactly that form, digits of either case; CO_E_CLASSSTRING
// for anything else. A null text is the null GUID.
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);
// The class id registered for a ProgID: the default value of
// HKEY_CLASSES_ROOT\<ProgID>\CLSID; CO_E_CLASSSTRING when there is none or
// it is not a class id.
HRESULT CLSIDFromProgID(LPCOLESTR prog_id, CLSID* clsid);

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DISP_E_UNKNOWNINTERFACE = static_cast<HRESULT>(0x80020001u);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006u);
constexpr HRESULT DISP_E_NONAMEDARGS = static_cast<HRESULT>(0x80020007u);
constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);
constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);
constexpr HRESULT DISP_E_ARRAYISLOCKED = static_cast<HRESULT>(0x8002000Du);
constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
constexpr HRESULT CO_E_DLLNOTFOUND = static_cast<HRESULT>(0x800401F8u);
constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9u);

constexpr bool SUCCEEDED(HRESULT result) { return result >= 0; }
constexpr bool FAILED(HRESULT result) { return result < 0; }

// Class contexts of CoCreateInstance; only in-process servers exist here.
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;

struct VARIANT;
struct DISPPARAMS;  // the arguments of a late-bound call (platform/oleaut.h)
struct EXCEPINFO;   // never filled here: no server sets error information
class ITypeInfo;

class IUnknown {
 public:
  virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;  // slot 0
  virtual ULONG AddRef() = 0;                                     // slot 1
  virtual ULONG Release() = 0;                                    // slot 2
};

class IDispatch : public IUnknown {
 public:
  virtual HRESULT GetTypeInfoCount(UINT* count) = 0;                            // slot 3
  virtual HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) = 0;  // slot 4
  virtual HRESULT GetIDsOfNames(REFIID reserved, LPOLESTR* names, UINT count, LCID locale,
                                DISPID* ids) = 0;  // slot 5
  virtual HRESULT Invoke(DISPID member, REFIID reserved, LCID locale, WORD flags, DISPPARAMS* arguments,
                         VARIANT* result, EXCEPINFO* exception, UINT* argument_error) = 0;  // slot 6
};

class IClassFactory : public IUnknown {
 public:
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0;  // slot 3
  virtual HRESULT LockServer(BOOL lock) = 0;                                       // slot 4
};

class ISupportErrorInfo : public IUnknown {
 public:
  virtual HRESULT InterfaceSupportsErrorInfo(REFIID iid) = 0;  // slot 3
};

extern const IID IID_IUnknown;
extern const IID IID_IDispatch;
extern const IID IID_IClassFactory;
extern const IID IID_ISupportErrorInfo;

// S_OK for the first call on a thread, S_FALSE for each further one; every
// call is balanced by one CoUninitialize. The last one on a thread frees the
// server modules that CoCreateInstance loaded and that answer S_OK to
// DllCanUnloadNow.
HRESULT CoInitialize(LPVOID reserved);
void CoUninitialize();

// Looks up HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 (its default value
// is the module path), loads that module once for the process, asks its
// DllGetClassObject for the class factory and creates the object.
// CO_E_NOTINITIALIZED outside CoInitialize, REGDB_E_CLASSNOTREG when the
// class has no in-process server, CO_E_DLLNOTFOUND when the module does not
// load, CO_E_ERRORINDLL when it has no DllGetClassObject.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, LPVOID* object);

// The exports of an in-process server module.
#define STDAPI extern "C" __attribute__((visibility("default"))) HRESULT
using DllGetClassObjectFn = HRESULT (*)(REFCLSID clsid, REFIID iid, void** object);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();

namespace platform {

// The lock count of one server module: every live object and class factory
// of the module and every LockServer(TRUE) holds one lock. Each module keeps
// its own instance; its DllCanUnloadNow answers from it.
class ComModule {
 public:
  void lock() { ++locks_; }
  void unlock() { --locks_; }
  LONG locks() const { return locks_; }
  HRESULT can_unload_now() const { return locks_ == 0 ? S_OK : S_FALSE; }

 private:
  LONG locks_ = 0;
};

// The IUnknown part of an object of our servers that implements one
// interface: a reference count, deletion with the last release, and a lock on
// its module while it lives. QueryInterface answers IUnknown and the ids that
// `answers` accepts, each with the Interface pointer.
template <class Interface>
class ComObject : public Interface {
 public:
  explicit ComObject(ComModule& module) : module_(module) { module_.lock(); }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid != IID_IUnknown && !answers(iid)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    *object = static_cast<Interface*>(this);
    return S_OK;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~ComObject() { module_.unlock(); }
  virtual bool answers(REFIID iid) const = 0;

 private:
  ComModule& module_;
  ULONG references_ = 0;
};

// Makes a new object of one class, locked on the module, and hands out the
// interface asked for (E_NOINTERFACE, E_OUTOFMEMORY otherwise).
using ComCreator = HRESULT (*)(REFIID iid, void** object);

// DllGetClassObject of a module with one class: a class factory for `clsid`
// that creates with `create`, or CLASS_E_CLASSNOTAVAILABLE for another class.
HRESULT get_class_object(ComModule& module, REFCLSID served, ComCreator create, REFCLSID clsid, REFIID iid,
                         void** object);

// The "{...}" form of a GUID in the ANSI code page.
std::string guid_string(REFGUID guid);

// DllRegisterServer and DllUnregisterServer of such a module: the class key
// HKEY_CLASSES_ROOT\CLSID\{clsid} with `description` as its default value and
// the subkey InprocServer32 holding the path of the module that contains
// `address_in_module`, with ThreadingModel "Apartment". Unregistering removes
// the class key with everything below it; a class that is not registered
// unregisters with S_OK. E_FAIL when the registry store refuses a change.
HRESULT register_inproc_server(REFCLSID clsid, const char* description, const void* address_in_module);
HRESULT unregister_inproc_server(REFCLSID clsid);

}  // namespace platform
