// What the converter tests share: the built server and reader modules
// loaded as a host loads them, documents written for a test with the GAML
// writer and loaded into a reader, and BSTRs from test texts.
#pragma once
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "components/gamlreader/gamlreader.h"
#include "converter/converter.h"
#include "converter/holders.h"
#include "examples/gaml_writer.h"
#include "platform/modules.h"
#include "support/test_home.h"

namespace convertertest {

using converter::Bstr;
using converter::ComRef;

// Loads a module by path, calls an export of the DllRegisterServer kind and
// lets the module go again.
inline HRESULT call_export(const char* module_path, const char* name) {
  HMODULE module = LoadLibraryA(module_path);
  if (module == nullptr) return CO_E_DLLNOTFOUND;
  auto call = reinterpret_cast<DllRegisterServerFn>(GetProcAddress(module, name));
  const HRESULT result = call != nullptr ? call() : CO_E_ERRORINDLL;
  FreeLibrary(module);
  return result;
}

// Registers the built server and reader, enters the apartment and creates
// "GAML2KOV.FileCnvt" through the registry, as a host does.
inline void create_converter_as_a_host(ComRef<IFileCnvt>* converter) {
  ASSERT_EQ(call_export(GAMLREADER_MODULE, "DllRegisterServer"), S_OK);
  ASSERT_EQ(call_export(GAML2KOV_MODULE, "DllRegisterServer"), S_OK);
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  CLSID clsid;
  ASSERT_EQ(CLSIDFromProgID(u"GAML2KOV.FileCnvt", &clsid), S_OK);
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IFileCnvt,
                             reinterpret_cast<void**>(converter->out())),
            S_OK);
}

inline Bstr text(const std::u16string& units) { return Bstr::from(units); }
inline Bstr text(const std::string& ansi) { return Bstr::from(std::u16string(ansi.begin(), ansi.end())); }

// A document written under the test's home folder; its path.
inline std::string write_gaml(const std::string& name, const std::vector<gamlwriter::Experiment>& experiments) {
  return testsupport::write_file("gaml/" + name, gamlwriter::document(experiments));
}

// One experiment holding the traces.
inline std::vector<gamlwriter::Experiment> experiment(std::vector<gamlwriter::Trace> traces,
                                                      const char* collectdate = "2026-11-30T14:05:00") {
  gamlwriter::Experiment one;
  if (collectdate != nullptr) one.collectdate = collectdate;
  one.traces = std::move(traces);
  return {one};
}

// An element whose X values run from `first` to `last` (only the ends are
// given) and whose one child holds `y`.
inline gamlwriter::Xdata element(double first, double last, std::vector<double> y, const char* x_units = "WAVENUMBER",
                                 const char* y_units = "ABSORBANCE") {
  gamlwriter::Xdata xdata;
  xdata.units = x_units;
  xdata.values = gamlwriter::Values{"FLOAT64", "INTEL", {first, last}, std::nullopt};
  xdata.children.push_back({y_units, gamlwriter::Values{"FLOAT32", "INTEL", std::move(y), std::nullopt}});
  return xdata;
}

// A document loaded into a reader made through the registry, as the import
// job makes one; the apartment lasts as long as the object.
class LoadedDocument {
 public:
  explicit LoadedDocument(const std::string& path) {
    CoInitialize(nullptr);
    EXPECT_EQ(call_export(GAMLREADER_MODULE, "DllRegisterServer"), S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_GamlReader, nullptr, CLSCTX_INPROC_SERVER, IID_IGamlReader,
                               reinterpret_cast<void**>(reader_.out())),
              S_OK);
    if (!reader_) return;
    VARIANT options{};
    options.vt = VT_I4;
    LONG flags = 2;
    EXPECT_EQ(reader_->Load(text(path).get(), options, &flags), S_OK) << path;
  }
  LoadedDocument(const LoadedDocument&) = delete;
  LoadedDocument& operator=(const LoadedDocument&) = delete;
  ~LoadedDocument() {
    reader_.reset();
    CoUninitialize();
  }

  // Trace `index`, or none.
  ComRef<IGamlTrace> trace(LONG index) const {
    ComRef<IGamlTrace> found;
    ComRef<IGamlCollection> traces;
    ComRef<IDispatch> item;
    VARIANT at{};
    at.vt = VT_I4;
    at.lVal = index;
    if (reader_ && SUCCEEDED(reader_->get_Traces(traces.out())) && SUCCEEDED(traces->Item(at, item.out())))
      item->QueryInterface(IID_IGamlTrace, reinterpret_cast<void**>(found.out()));
    return found;
  }

 private:
  ComRef<IGamlReader> reader_;
};

}  // namespace convertertest
