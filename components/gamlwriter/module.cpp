// The GAML writer module's exports: the class object of the export
// converter class, whether the module may be unloaded, and the registration
// of the class in the registry store, through which the group-file class's
// CoCreateInstance finds this module.
#include "components/gamlwriter/converter.h"
#include "components/gamlwriter/gamlwriter.h"

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return platform::get_class_object(gamlexport::module(), CLSID_GamlExportConverter, gamlexport::create_converter,
                                    clsid, iid, object);
}

STDAPI DllCanUnloadNow() { return gamlexport::module().can_unload_now(); }

// The class key of the converter, naming this module as its in-process server.
STDAPI DllRegisterServer() {
  return platform::register_inproc_server(CLSID_GamlExportConverter, "GAML Export Converter",
                                          reinterpret_cast<const void*>(&DllRegisterServer));
}

STDAPI DllUnregisterServer() { return platform::unregister_inproc_server(CLSID_GamlExportConverter); }
