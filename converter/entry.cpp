// The shared module's face: its load and unload, and the four exports by
// which hosts reach the class object, the unload test and the registration.
// Loading calls the module's entry point for process attach with the
// module's own instance; the detach runs when the module is unloaded or the
// process ends, before the objects the attach made are destroyed.
#include <cstdlib>

#include "converter/converter.h"
#include "converter/holders.h"
#include "converter/module.h"

namespace {

HINSTANCE g_instance = nullptr;

void process_detach() { converter::DllMain(g_instance, DLL_PROCESS_DETACH, nullptr); }

// Registered after everything the attach touched exists, so that it runs
// before any of that is torn down.
[[gnu::constructor]] void process_attach() {
  g_instance = platform::module_containing(reinterpret_cast<const void*>(&process_detach));
  converter::DllMain(g_instance, DLL_PROCESS_ATTACH, nullptr);
  std::atexit(process_detach);
}

}  // namespace

STDAPI DllCanUnloadNow() { return converter::gaml_module().Locks().can_unload_now(); }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return converter::guarded([&] { return converter::gaml_module().GetClassObject(clsid, iid, object); });
}

STDAPI DllRegisterServer() {
  return converter::guarded([] { return converter::gaml_module().RegisterServer(); });
}

STDAPI DllUnregisterServer() {
  return converter::guarded([] { return converter::gaml_module().UnregisterServer(); });
}
