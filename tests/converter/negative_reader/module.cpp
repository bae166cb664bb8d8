// A stand-in GAML reader module for one test: it registers under the
// reader's class id, loads any file, and reports a trace count of -1, which
// no document gives but an outside reader might.
#include "fake_trace.h"

namespace {

using convertertest::Fake;

class NegativeTraces : public Fake<IGamlCollection> {
 public:
  HRESULT Item(VARIANT, IDispatch**) override { return E_INVALIDARG; }
  HRESULT get_Count(LONG* count) override {
    *count = -1;
    return S_OK;
  }
};

class NegativeReader : public Fake<IGamlReader> {
 public:
  HRESULT get_Traces(IGamlCollection** traces) override {
    return convertertest::hand_out(static_cast<IGamlCollection*>(new NegativeTraces), traces);
  }
  HRESULT Load(BSTR, VARIANT, LONG*) override { return S_OK; }
};

HRESULT create_reader(REFIID iid, void** object) {
  auto* reader = new NegativeReader;
  reader->AddRef();
  const HRESULT result = reader->QueryInterface(iid, object);
  reader->Release();
  return result;
}

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return platform::get_class_object(convertertest::fake_module(), CLSID_GamlReader, create_reader, clsid, iid, object);
}

STDAPI DllCanUnloadNow() { return convertertest::fake_module().can_unload_now(); }

STDAPI DllRegisterServer() {
  return platform::register_inproc_server(CLSID_GamlReader, "GAML Reader of a negative count",
                                          reinterpret_cast<const void*>(&DllRegisterServer));
}
