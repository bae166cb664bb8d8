// COM runtime: GUID text, the apartment count of each thread, class creation
// through the registry store and the generic class factory and registration
// of our in-process servers.
#include "platform/com.h"

#include <dlfcn.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "platform/modules.h"
#include "platform/registry.h"

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

// The server modules CoCreateInstance has loaded, by registered path; each is
// loaded once and freed by the last CoUninitialize once it allows it.
std::vector<std::pair<std::string, HMODULE>>& loaded_servers() {
  static std::vector<std::pair<std::string, HMODULE>> servers;
  return servers;
}

void free_unused_servers() {
  auto& servers = loaded_servers();
  for (auto it = servers.begin(); it != servers.end();) {
    auto can_unload = reinterpret_cast<DllCanUnloadNowFn>(GetProcAddress(it->second, "DllCanUnloadNow"));
    if (can_unload != nullptr && can_unload() == S_OK) {
      FreeLibrary(it->second);
      it = servers.erase(it);
    } else {
      ++it;
    }
  }
}

// Closes a registry key when it goes.
struct OpenKey {
  HKEY key = nullptr;
  OpenKey() = default;
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  ~OpenKey() {
    if (key != nullptr) RegCloseKey(key);
  }
};

std::string class_key(REFCLSID clsid) { return "CLSID\\" + platform::guid_string(clsid); }

// The default text value of a key of HKEY_CLASSES_ROOT; empty when there is none.
std::string default_text(const std::string& key_name) {
  OpenKey key;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key_name.c_str(), 0, KEY_READ, &key.key) != ERROR_SUCCESS) {
    return std::string();
  }
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (RegQueryValueExA(key.key, nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ) {
    return std::string();
  }
  std::string text(size, '\0');
  if (RegQueryValueExA(key.key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
      ERROR_SUCCESS) {
    return std::string();
  }
  text.resize(std::strlen(text.c_str()));
  return text;
}

// The module path registered for a class; empty when there is none.
std::string registered_server(REFCLSID clsid) { return default_text(class_key(clsid) + "\\InprocServer32"); }

// The value of `count` hexadecimal digits; false when one is not a digit.
bool hex_field(const OLECHAR* digits, int count, uint32_t* value) {
  *value = 0;
  for (int i = 0; i < count; ++i) {
    const OLECHAR c = digits[i];
    uint32_t digit;
    if (c >= u'0' && c <= u'9') {
      digit = c - u'0';
    } else if (c >= u'a' && c <= u'f') {
      digit = c - u'a' + 10;
    } else if (c >= u'A' && c <= u'F') {
      digit = c - u'A' + 10;
    } else {
      return false;
    }
    *value = *value << 4 | digit;
  }
  return true;
}

// The server module of a registered path, loaded on first use.
HMODULE server_module(const std::string& path) {
  for (const auto& [loaded_path, module] : loaded_servers()) {
    if (loaded_path == path) return module;
  }
  HMODULE module = LoadLibraryA(path.c_str());
  if (module != nullptr) loaded_servers().emplace_back(path, module);
  return module;
}

bool set_text_value(HKEY key, const char* name, const std::string& text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

// The class factory that every server module hands out from DllGetClassObject.
class ClassFactory final : public platform::ComObject<IClassFactory> {
 public:
  ClassFactory(platform::ComModule& module, platform::ComCreator create)
      : ComObject(module), module_(module), create_(create) {}

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
  bool answers(REFIID iid) const override { return iid == IID_IClassFactory; }

  platform::ComModule& module_;
  platform::ComCreator create_;
};

}  // namespace

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int size) {
  if (buffer == nullptr || size < kGuidTextLength + 1) return 0;
  char text[kGuidTextLength + 1];
  format_guid(guid, text);
  for (int i = 0; i <= kGuidTextLength; ++i) buffer[i] = static_cast<OLECHAR>(text[i]);
  return kGuidTextLength + 1;
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
  if (clsid == nullptr) return E_INVALIDARG;
  *clsid = CLSID{};
  if (text == nullptr) return S_OK;
  // Offsets of the fields in "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
  constexpr int kDashes[] = {9, 14, 19, 24};
  for (int i = 0; i < kGuidTextLength; ++i) {
    if (text[i] == u'\0') return CO_E_CLASSSTRING;
  }
  if (text[0] != u'{' || text[kGuidTextLength - 1] != u'}' || text[kGuidTextLength] != u'\0') return CO_E_CLASSSTRING;
  for (int dash : kDashes) {
    if (text[dash] != u'-') return CO_E_CLASSSTRING;
  }
  uint32_t data1, data2, data3, byte;
  if (!hex_field(text + 1, 8, &data1) || !hex_field(text + 10, 4, &data2) || !hex_field(text + 15, 4, &data3)) {
    return CO_E_CLASSSTRING;
  }
  CLSID parsed{data1, static_cast<uint16_t>(data2), static_cast<uint16_t>(data3), {}};
  for (int i = 0; i < 8; ++i) {
    const int at = i < 2 ? 20 + 2 * i : 25 + 2 * (i - 2);
    if (!hex_field(text + at, 2, &byte)) return CO_E_CLASSSTRING;
    parsed.Data4[i] = static_cast<uint8_t>(byte);
  }
  *clsid = parsed;
  return S_OK;
}

HRESULT CLSIDFromProgID(LPCOLESTR prog_id, CLSID* clsid) {
  if (prog_id == nullptr || clsid == nullptr) return E_INVALIDARG;
  std::string name;
  for (const OLECHAR* c = prog_id; *c != u'\0'; ++c) {
    if (*c > 0x7F) return CO_E_CLASSSTRING;  // ProgIDs are ASCII
    name += static_cast<char>(*c);
  }
  const std::string text = default_text(name + "\\CLSID");
  if (text.empty()) return CO_E_CLASSSTRING;
  const std::u16string wide(text.begin(), text.end());
  return CLSIDFromString(wide.c_str(), clsid);
}

HRESULT CoInitialize(LPVOID) { return apartment_calls++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
  if (apartment_calls > 0 && --apartment_calls == 0) free_unused_servers();
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, LPVOID* object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (apartment_calls == 0) return CO_E_NOTINITIALIZED;
  const std::string path = (context & CLSCTX_INPROC_SERVER) != 0 ? registered_server(clsid) : std::string();
  if (path.empty()) return REGDB_E_CLASSNOTREG;
  HMODULE module = server_module(path);
  if (module == nullptr) return CO_E_DLLNOTFOUND;
  auto get_class_object = reinterpret_cast<DllGetClassObjectFn>(GetProcAddress(module, "DllGetClassObject"));
  if (get_class_object == nullptr) return CO_E_ERRORINDLL;
  IClassFactory* factory = nullptr;
  HRESULT result = get_class_object(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(result)) return result;
  result = factory->CreateInstance(outer, iid, object);
  factory->Release();
  return result;
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

std::string guid_string(REFGUID guid) {
  char text[kGuidTextLength + 1];
  format_guid(guid, text);
  return text;
}

HRESULT register_inproc_server(REFCLSID clsid, const char* description, const void* address_in_module) {
  Dl_info module{};
  char path[PATH_MAX];
  if (dladdr(address_in_module, &module) == 0 || module.dli_fname == nullptr ||
      realpath(module.dli_fname, path) == nullptr) {
    return E_FAIL;
  }
  OpenKey class_entry, server;
  const bool written =
      RegCreateKeyExA(HKEY_CLASSES_ROOT, class_key(clsid).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &class_entry.key, nullptr) == ERROR_SUCCESS &&
      set_text_value(class_entry.key, nullptr, description) &&
      RegCreateKeyExA(class_entry.key, "InprocServer32", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                      &server.key, nullptr) == ERROR_SUCCESS &&
      set_text_value(server.key, nullptr, path) && set_text_value(server.key, "ThreadingModel", "Apartment");
  return written ? S_OK : E_FAIL;
}

HRESULT unregister_inproc_server(REFCLSID clsid) {
  const LSTATUS deleted = RegDeleteTreeA(HKEY_CLASSES_ROOT, class_key(clsid).c_str());
  return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND ? S_OK : E_FAIL;
}

}  // namespace platform
