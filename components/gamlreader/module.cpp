// The GAML reader module's exports: the class object of the reader class and
// the answer to whether the module may be unloaded. CoCreateInstance reaches
// them through the registry store.
#include "components/gamlreader/gamlreader.h"
#include "components/gamlreader/objects.h"

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return platform::get_class_object(gamlreader::module(), CLSID_GamlReader, gamlreader::create_reader, clsid, iid,
                                    object);
}

STDAPI DllCanUnloadNow() { return gamlreader::module().can_unload_now(); }
