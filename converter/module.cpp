// The server module: start-up and end of the COM module and the accessory
// library, the choice of a translation module for the module's resources,
// the class objects of the object map, and the registration script and
// type-library keys written to and removed from the registry store.
//
// Owns the process-wide CGamlModule. The shared module's load and unload
// hooks and its Dll* exports (entry.cpp) call DllMain and the module's
// members; FileCnvt asks the module whether the library is ready.
#include "converter/module.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>
#include <vector>

#include "apcomlib/core/core.h"
#include "converter/converter.h"
#include "converter/filecnvt.h"
#include "converter/holders.h"
#include "platform/files.h"
#include "platform/home.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "platform/timelocale.h"

namespace converter {
namespace {

constexpr char kTranslationKey[] = "Software\\Corvane Instrument\\Translation";
constexpr char kLocaleOverride[] = "Locale_ID_Override";
constexpr int kLanguageNameSize = 20;
constexpr LCID kEnglish = 9;

// Two-letter language names and the abbreviations of the translation modules
// made for them; a language not listed asks the locale for its abbreviation.
struct LanguageAbbreviation {
  const char* iso639;
  const char* abbreviation;
};
constexpr LanguageAbbreviation kLanguageAbbreviations[] = {
    {"en", "ENU"}, {"de", "DEU"}, {"fr", "FRA"}, {"es", "ESN"}, {"nl", "NLD"}, {"zh", "CHS"},
};

// The object map: the one class this server makes.
const ObjectMapEntry kObjectMap[] = {
    {&CLSID_FileCnvt, kFileCnvtScript, kFileCnvtScriptKeys, CreateFileCnvt},
};

// The type library the module carries: its identity, help string, version
// and the interface it describes.
constexpr char kTypeLibraryHelp[] = "GAML2KOV 1.0 Type Library";
constexpr char kTypeLibraryVersion[] = "1.0";
constexpr char kInterfaceName[] = "IFileCnvt";
// The proxy of dual interfaces, which marshals them through their type library.
constexpr char kDualInterfaceProxy[] = "{00020424-0000-0000-C000-000000000046}";

// The module's resources: the project name and the version block.
constexpr UINT kProjectNameId = 100;
constexpr char kProjectName[] = "GAML2KOV";
struct VersionBlock {
  VS_FIXEDFILEINFO fixed;
  char strings[96];
};
const VersionBlock kVersion = {
    {VS_FFI_SIGNATURE, 0x00010000, 0x00010000, 0x00000001, 0x00010000, 0x00000001, 0x3F, 0, 0x40004, 2, 0, 0, 0},
    "FileDescription\0GAML2KOV Module\0FileVersion\0" "1, 0, 0, 1\0ProductName\0GAML2KOV Module\0",
};
const platform::ResourceEntry kResources[] = {
    {RT_STRING, MAKEINTRESOURCEA(kProjectNameId), kProjectName, sizeof kProjectName - 1},
    {RT_VERSION, MAKEINTRESOURCEA(1), &kVersion, sizeof kVersion},
};

using KeyHandle = std::unique_ptr<HKEY__, LSTATUS (*)(HKEY)>;

// The LCID whose translation module is looked for: the override under
// HKEY_LOCAL_MACHINE when one is set and not 0, else the user's.
LCID translation_locale() {
  HKEY opened = nullptr;
  DWORD override_id = 0;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTranslationKey, 0, KEY_ALL_ACCESS, &opened) == ERROR_SUCCESS) {
    KeyHandle key(opened, RegCloseKey);
    DWORD size = sizeof override_id;
    if (RegQueryValueExA(key.get(), kLocaleOverride, nullptr, nullptr, reinterpret_cast<BYTE*>(&override_id),
                         &size) != ERROR_SUCCESS ||
        size != sizeof override_id) {
      override_id = 0;
    }
  }
  return override_id != 0 ? override_id : GetUserDefaultLCID();
}

// The language abbreviation of the user's own locale (never the override).
std::string language_abbreviation() {
  char name[kLanguageNameSize] = {};
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, name, sizeof name);
  for (const LanguageAbbreviation& language : kLanguageAbbreviations) {
    if (platform::lower_case(name) == language.iso639) return language.abbreviation;
  }
  std::fill(std::begin(name), std::end(name), '\0');
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SABBREVLANGNAME, name, sizeof name);
  if (name[0] == '\0') GetProfileStringA("intl", "sLanguage", "enu", name, sizeof name);
  return name;
}

std::u16string widened(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::u16string hex_suffix(const char* format, LCID value) {
  char text[16];
  std::snprintf(text, sizeof text, format, static_cast<unsigned>(value));
  return widened(text);
}

// A script value with the module's folder and path in place of their placeholders.
std::string expanded(const char* text, const std::string& module_path) {
  std::string value(text);
  const size_t separator = module_path.find_last_of("/\\");
  const std::string module_folder = separator == std::string::npos ? std::string() : module_path.substr(0, separator);
  // The folder's placeholder first: the path's is a prefix of it.
  for (const auto& [placeholder, replacement] :
       {std::pair<std::string, std::string>{"%MODULEDIR%", module_folder}, {"%MODULE%", module_path}}) {
    for (size_t at = value.find(placeholder); at != std::string::npos;
         at = value.find(placeholder, at + replacement.size())) {
      value.replace(at, placeholder.size(), replacement);
    }
  }
  return value;
}

bool set_text(HKEY key, const char* name, const std::string& text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool write_key(const ScriptKey& entry, const std::string& module_path) {
  HKEY created = nullptr;
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, entry.path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                      &created, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  KeyHandle key(created, RegCloseKey);
  if (entry.default_value != nullptr && !set_text(key.get(), nullptr, expanded(entry.default_value, module_path))) {
    return false;
  }
  return entry.value_name == nullptr || set_text(key.get(), entry.value_name, expanded(entry.value, module_path));
}

bool remove_key(const ScriptKey& entry) {
  switch (entry.removal) {
    case KeyRemoval::kNever:
      return true;
    case KeyRemoval::kWholeTree: {
      const LSTATUS deleted = RegDeleteTreeA(HKEY_CLASSES_ROOT, entry.path);
      return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
    }
    case KeyRemoval::kWhenEmpty: {
      // A key that still holds keys the script did not write stays.
      const LSTATUS deleted = RegDeleteKeyA(HKEY_CLASSES_ROOT, entry.path);
      return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND || deleted == ERROR_ACCESS_DENIED;
    }
  }
  return false;
}

// Runs a script forwards to register or backwards to unregister; stops at
// the first change the registry store refuses.
HRESULT run_script(const ScriptKey* keys, size_t count, const std::string& module_path, bool registering) {
  for (size_t i = 0; i < count; ++i) {
    const bool done =
        registering ? write_key(keys[i], module_path) : remove_key(keys[count - 1 - i]);
    if (!done) return E_FAIL;
  }
  return S_OK;
}

// The keys a type-library registration writes for the library and its interface.
class TypeLibraryScript {
 public:
  explicit TypeLibraryScript(const GUID& libid) {
    const std::string library = "TypeLib\\" + platform::guid_string(libid);
    const std::string version = library + "\\" + kTypeLibraryVersion;
    const std::string interface_key = "Interface\\" + platform::guid_string(IID_IFileCnvt);
    paths_ = {"TypeLib", library, version, version + "\\0", version + "\\0\\win32", version + "\\FLAGS",
              version + "\\HELPDIR", "Interface", interface_key, interface_key + "\\ProxyStubClsid",
              interface_key + "\\ProxyStubClsid32", interface_key + "\\TypeLib"};
    libid_text_ = platform::guid_string(libid);
    keys_ = {
        {paths_[0].c_str(), nullptr, nullptr, nullptr, KeyRemoval::kNever},
        {paths_[1].c_str(), nullptr, nullptr, nullptr, KeyRemoval::kWhenEmpty},
        {paths_[2].c_str(), kTypeLibraryHelp, nullptr, nullptr, KeyRemoval::kWholeTree},
        {paths_[3].c_str(), nullptr, nullptr, nullptr, KeyRemoval::kWhenEmpty},
        {paths_[4].c_str(), "%MODULE%", nullptr, nullptr, KeyRemoval::kWhenEmpty},
        {paths_[5].c_str(), "0", nullptr, nullptr, KeyRemoval::kWhenEmpty},
        {paths_[6].c_str(), "%MODULEDIR%", nullptr, nullptr, KeyRemoval::kWhenEmpty},
        {paths_[7].c_str(), nullptr, nullptr, nullptr, KeyRemoval::kNever},
        {paths_[8].c_str(), kInterfaceName, nullptr, nullptr, KeyRemoval::kWholeTree},
        {paths_[9].c_str(), kDualInterfaceProxy, nullptr, nullptr, KeyRemoval::kWhenEmpty},
        {paths_[10].c_str(), kDualInterfaceProxy, nullptr, nullptr, KeyRemoval::kWhenEmpty},
        {paths_[11].c_str(), libid_text_.c_str(), "Version", kTypeLibraryVersion, KeyRemoval::kWhenEmpty},
    };
  }
  TypeLibraryScript(const TypeLibraryScript&) = delete;
  TypeLibraryScript& operator=(const TypeLibraryScript&) = delete;

  HRESULT run(const std::string& module_path, bool registering) const {
    return run_script(keys_.data(), keys_.size(), module_path, registering);
  }

 private:
  std::vector<std::string> paths_;
  std::string libid_text_;
  std::vector<ScriptKey> keys_;
};

}  // namespace

HRESULT CGamlModule::Init(const ObjectMapEntry* map, size_t entries, HINSTANCE instance, const GUID* libid) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(instance, path, sizeof path);
  module_path_ = widened(path);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path, &found);
  if (search != INVALID_HANDLE_VALUE) {
    long_file_name_ = widened(found.cFileName);
    FindClose(search);
  }
  module_instance_ = instance;
  const HINSTANCE translation = LoadTranslationModule(translation_locale());
  file_name_ = platform::base_name(path);
  map_ = map;
  entries_ = entries;
  if (libid != nullptr) libid_ = *libid;
  resource_instance_ = translation != nullptr ? translation : instance;
  platform::register_module_resources(instance, kResources, std::size(kResources));
  return S_OK;
}

// Tries the candidate names in their order; a candidate too long for a path
// is passed over, never cut.
HINSTANCE CGamlModule::LoadTranslationModule(LCID locale) const {
  const std::u16string prefix = module_path_.substr(0, std::min(module_path_.rfind(u'.'), module_path_.size()));
  const std::u16string underscore = prefix + u"_";
  const std::u16string candidates[] = {
      underscore + hex_suffix("%04x", locale) + u".dll",
      underscore + hex_suffix("%02x", locale & 0xFF) + u".dll",
      prefix + u"_trn.dll",
      std::u16string(),  // the language abbreviation, asked for only when it is reached
      underscore + hex_suffix("%02x", kEnglish) + u".dll",
  };
  for (size_t i = 0; i < std::size(candidates); ++i) {
    const std::u16string candidate =
        candidates[i].empty() ? prefix + widened(language_abbreviation()) + u".dll" : candidates[i];
    if (candidate.size() + 1 >= MAX_PATH) continue;
    std::string narrow;
    for (char16_t unit : candidate) narrow += static_cast<char>(unit & 0xFF);
    if (HINSTANCE loaded = LoadLibraryA(narrow.c_str())) return loaded;
  }
  return nullptr;
}

void CGamlModule::Term() {
  if (resource_instance_ != module_instance_) FreeLibrary(resource_instance_);
  resource_instance_ = module_instance_;
  platform::register_module_resources(module_instance_, nullptr, 0);
  map_ = nullptr;
  entries_ = 0;
}

void CGamlModule::StartLibrary() {
  apcom_RegisterClasses(resource_instance_);
  const bool lists = GU1_Register_LL() != 0;
  // Registration goes on past a class whose initialisation failed and leaves
  // its dispatcher installed; such a class cannot make objects, so a
  // conversion would run on a half-made library.
  bool classes = true;
  for (uint16_t class_id = 1; class_id < AP_CLASS_LIMIT; ++class_id) {
    if (GU2_GetDispatcher(class_id) != nullptr && APX_GetClassState(class_id) != 1) classes = false;
  }
  library_ready_ = lists && classes;
}

void CGamlModule::StopLibrary() {
  library_ready_ = false;
  apcom_UnregisterClasses();
  GU1_UnRegister_LL();
}

std::string CGamlModule::ModulePathAnsi() const { return ansi_text(module_path_.c_str(), module_path_.size()); }

HRESULT CGamlModule::GetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  for (size_t i = 0; i < entries_; ++i) {
    if (*map_[i].clsid == clsid) return platform::get_class_object(locks_, clsid, map_[i].create, clsid, iid, object);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CGamlModule::RegisterServer() { return RunScripts(true); }
HRESULT CGamlModule::UnregisterServer() { return RunScripts(false); }

// Every object's script, then the type library's.
HRESULT CGamlModule::RunScripts(bool registering) const {
  const std::string module_path = ModulePathAnsi();
  for (size_t i = 0; i < entries_; ++i) {
    const HRESULT result = run_script(map_[i].script, map_[i].script_keys, module_path, registering);
    if (FAILED(result)) return result;
  }
  return TypeLibraryScript(libid_).run(module_path, registering);
}

CGamlModule& gaml_module() {
  static CGamlModule module;
  return module;
}

BOOL DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  CGamlModule& module = gaml_module();
  if (reason == DLL_PROCESS_ATTACH) {
    module.Init(kObjectMap, std::size(kObjectMap), instance, &LIBID_GAML2KOVLib);
    DisableThreadLibraryCalls(instance);
    module.StartLibrary();
  } else if (reason == DLL_PROCESS_DETACH) {
    module.StopLibrary();
    module.Term();
  }
  return TRUE;
}

}  // namespace converter
