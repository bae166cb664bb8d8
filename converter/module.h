// The server module: the one process-wide CGamlModule with its object map,
// lock count, resource instance (a translation module when one is found),
// registration script and type-library keys; the module's entry point that
// starts and stops it together with the accessory library. The shared
// module's load and unload hooks (entry.cpp) call DllMain; the Dll* exports
// and FileCnvt use the module.
#pragma once
#include <string>

#include "platform/com.h"
#include "platform/modules.h"

namespace converter {

// How unregistration treats a key of a registration script: delete it when
// nothing the script does not know is left below it, never delete it, or
// delete it with everything below it.
enum class KeyRemoval { kWhenEmpty, kNever, kWholeTree };

// One key of a registration script under HKEY_CLASSES_ROOT, written in
// table order and removed in the reverse order. "%MODULE%" in a value
// stands for the module's path.
struct ScriptKey {
  const char* path;
  const char* default_value;  // null: none
  const char* value_name;     // a further named value; null: none
  const char* value;
  KeyRemoval removal;
};

// The registration script of a class and the creator of its objects.
struct ObjectMapEntry {
  const CLSID* clsid;
  const ScriptKey* script;
  size_t script_keys;
  platform::ComCreator create;
};

class CGamlModule {
 public:
  // Fills the module's fields, chooses and loads a translation module and
  // takes the object map; S_OK.
  HRESULT Init(const ObjectMapEntry* map, size_t entries, HINSTANCE instance, const GUID* libid);
  // Frees a translation module and makes the module its own resource instance again.
  void Term();

  // Registers the accessory library's classes for the resource instance and
  // makes the list heap; the library is ready only when every class it
  // registered initialised and the list heap exists.
  void StartLibrary();
  void StopLibrary();
  bool LibraryReady() const { return library_ready_; }

  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object);
  HRESULT RegisterServer();
  HRESULT UnregisterServer();

  platform::ComModule& Locks() { return locks_; }
  HINSTANCE GetModuleInstance() const { return module_instance_; }
  HINSTANCE GetResourceInstance() const { return resource_instance_; }
  const std::u16string& ModulePath() const { return module_path_; }
  const std::u16string& LongFileName() const { return long_file_name_; }
  const std::string& FileName() const { return file_name_; }
  const GUID& LibraryId() const { return libid_; }

 private:
  HINSTANCE LoadTranslationModule(LCID locale) const;
  HRESULT RunScripts(bool registering) const;
  std::string ModulePathAnsi() const;

  const ObjectMapEntry* map_ = nullptr;
  size_t entries_ = 0;
  platform::ComModule locks_;
  HINSTANCE module_instance_ = nullptr;
  HINSTANCE resource_instance_ = nullptr;
  std::u16string module_path_;
  std::u16string long_file_name_;
  std::string file_name_;
  GUID libid_{};
  bool library_ready_ = false;
};

// The module of this server.
CGamlModule& gaml_module();

// The module's entry point: process attach starts the module and the
// library, process detach stops them; TRUE for every reason.
BOOL DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

}  // namespace converter
