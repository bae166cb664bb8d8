// Fuzz target of the converter's reading of outside input: arbitrary bytes
// are tested as a GAML document and as a native file by FileCnvt, then
// loaded by the GAML reader and every trace imported into a spectrum as a
// conversion imports it (values, header sections, history, interferograms).
// Every spectrum and reader object goes with its input: the spectra's live
// count and the reader's lock count are back where they were.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "apcomlib/core/core.h"
#include "apcomlib/spectrum/spectrum.h"
#include "components/gamlreader/objects.h"
#include "converter/converter.h"
#include "converter/filecnvt.h"
#include "converter/importjob.h"
#include "fuzz/input_file.h"

namespace {

// Traces beyond these are not imported: each costs a spectrum.
constexpr LONG kTracesImported = 8;

void check(bool fact) {
  if (!fact) std::abort();
}

const std::string& document_path() {
  static const fuzz::InputFile file("converter_import", ".gaml");
  return file.path();
}

uint16_t live_spectra() {
  uint16_t live = 0;
  APX_GetAPClassInfo(AP7_CLASS_ID, &live, nullptr, nullptr);
  return live;
}

void validate(const converter::Bstr& path) {
  converter::ComRef<IFileCnvt> converter;
  check(SUCCEEDED(converter::CreateFileCnvt(IID_IFileCnvt, reinterpret_cast<void**>(converter.out()))));
  for (const char16_t* format : {u"GAML", u"KOV_TLVO"}) {
    const converter::Bstr code = converter::Bstr::from(format);
    const HRESULT result = converter->ValidateFormat(path.get(), code.get());
    check(result == S_OK || result == E_FAIL);
  }
}

void import_traces(const converter::Bstr& path) {
  converter::ComRef<IGamlReader> reader;
  check(SUCCEEDED(gamlreader::create_reader(IID_IGamlReader, reinterpret_cast<void**>(reader.out()))));
  VARIANT options{};
  options.vt = VT_I4;
  LONG flags = 2;
  if (FAILED(reader->Load(path.get(), options, &flags))) return;
  converter::ComRef<IGamlCollection> traces;
  check(SUCCEEDED(reader->get_Traces(traces.out())));
  LONG count = 0;
  check(SUCCEEDED(traces->get_Count(&count)));
  converter::CGamlImportJob job;
  for (LONG i = 0; i < count && i < kTracesImported; ++i) {
    VARIANT at{};
    at.vt = VT_I4;
    at.lVal = i;
    converter::ComRef<IDispatch> item;
    converter::ComRef<IGamlTrace> trace;
    check(SUCCEEDED(traces->Item(at, item.out())));
    check(SUCCEEDED(item->QueryInterface(IID_IGamlTrace, reinterpret_cast<void**>(trace.out()))));
    converter::CGamlSpectrum spectrum;
    check(spectrum.GetSpectrum() != nullptr);
    job.ImportTrace(trace.get(), &spectrum);
  }
}

// The library stays loaded for all inputs and goes at exit, with every
// block it kept.
void unload_library() {
  apcom_UnregisterClasses();
  GU1_UnRegister_LL();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  check(apcom_RegisterClasses(apcom_LibraryModule()) == 1 && GU1_Register_LL() == 1);
  std::atexit(unload_library);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    std::ofstream file(document_path(), std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const uint16_t spectra = live_spectra();
  const converter::Bstr path =
      converter::Bstr::from(std::u16string(document_path().begin(), document_path().end()));
  validate(path);
  import_traces(path);
  check(live_spectra() == spectra);
  check(gamlreader::module().locks() == 0);
  return 0;
}
