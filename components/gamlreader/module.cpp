// The GAML reader module's exports: the class object of the reader class,
// whether the module may be unloaded, and the registration of the class in
// the registry store, through which CoCreateInstance finds this module.
#include "components/gamlreader/gamlreader.h"
#include "components/gamlreader/objects.h"

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return platform::get_class_object(gamlreader::module(), CLSID_GamlReader, gamlreader::create_reader, clsid, iid,
                                    object);
}

STDAPI DllCanUnloadNow() { return gamlreader::module().can_unload_now(); }

// The class key of the reader, naming this module as its in-process server.
STDAPI DllRegisterServer() {
  return platform::register_inproc_server(CLSID_GamlReader, "GAML Reader",
                                          reinterpret_cast<const void*>(&DllRegisterServer));
}

STDAPI DllUnregisterServer() { return platform::unregister_inproc_server(CLSID_GamlReader); }
