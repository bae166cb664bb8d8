// Benchmark of the GAML export: a native group file of 1,000 spectra of
// 8,192 points (and a tenth of that) turned into a GAML document by the
// export converter, created through the registry as the group-file class
// creates it, in a scratch $GAML2KOV_HOME. Beside the time it reports the
// native bytes read per second, the size of the document and the process's
// peak resident memory during the export.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include "apcomlib/core/core.h"
#include "apcomlib/files/files.h"
#include "apcomlib/spectrum/spectrum.h"
#include "bench/machine.h"
#include "components/gamlwriter/gamlwriter.h"

namespace {

namespace fs = std::filesystem;

constexpr double kMegabyte = 1024.0 * 1024.0;

using benchsupport::peak_memory_mb;
using benchsupport::reset_peak_memory;
using benchsupport::text;

// The writer registered on a scratch machine, and the library started in
// this process to make the groups.
const benchsupport::Machine& machine() {
  static const benchsupport::Machine made({GAMLWRITER_MODULE});
  static const bool started = apcom_RegisterClasses(apcom_LibraryModule()) == 1 && GU1_Register_LL() == 1;
  if (!started) std::abort();
  return made;
}

AP7_SPECTRUM* member(int index, uint32_t points) {
  uint16_t class_id = AP7_CLASS_ID;
  AP7_NEWPARM parameter{points, nullptr};
  auto* spectrum = ap_result_object<AP7_SPECTRUM>(GU2_DoMethod_MSG(AP_MSG_NEW, &class_id, &parameter));
  if (spectrum == nullptr) std::abort();
  std::string title = "Sample " + std::to_string(index);
  ap7b_GetSetTitle(spectrum, title.data(), 0);
  float* y = ap7b_GetDataPtr(spectrum);
  for (uint32_t i = 0; i < points; ++i) y[i] = static_cast<float>(std::sin(i * 0.001) + index * 0.01);
  spectrum->header->data.first_x = 400.0f;
  spectrum->header->data.last_x = 4000.0f;
  spectrum->header->data.time = 4005122700u + static_cast<uint32_t>(index / 100);  // ten spectra per date
  return spectrum;
}

// The native group file of `members` spectra of `points` points, written
// once per size.
std::string group(int members, uint32_t points) {
  const std::string path =
      machine().home() + "/group_" + std::to_string(members) + "x" + std::to_string(points) + ".spg";
  if (fs::exists(path)) return path;
  AP40_LLIST* list = ap40_New_LLIST(nullptr, 0xFFFF);
  for (int i = 0; i < members; ++i) ap40_Add_LLIST(list, reinterpret_cast<AP_OBJECT*>(member(i, points)));
  uint16_t class_id = AP51_CLASS_ID;
  AP_NEWPARM fresh{AP51_CLASS_ID, nullptr};
  auto* group_file = ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP_MSG_NEW, &class_id, &fresh));
  AP20_NAMEPARM name{nullptr, path.c_str()};
  uint16_t format = AP52_CLASS_ID, code = 0;
  AP21_OPENPARM open{AP20_MODE_CREATE, &format, &code};
  const bool saved = GU2_DoMethod_MSG(AP20_MSG_SET_NAME, group_file, &name) == 1 &&
                     GU2_DoMethod_MSG(AP21_MSG_OPEN, group_file, &open) != 0 &&
                     GU2_DoMethod_MSG(AP51_MSG_SAVE_GROUP, group_file, list) == 1;
  GU2_DoMethod_MSG(AP21_MSG_CLOSE, group_file, nullptr);
  AP_WINDOWPARM window{nullptr, 0};
  GU2_DoMethod_MSG(AP_MSG_DESTROY, group_file, &window);
  ap40_Destroy_LLIST(list, nullptr, 1);
  if (!saved) std::abort();
  return path;
}

void BM_ExportGroup(benchmark::State& state) {
  const std::string source = group(static_cast<int>(state.range(0)), static_cast<uint32_t>(state.range(1)));
  const std::string target = machine().home() + "/exported.gaml";
  IGamlExportConverter* converter = nullptr;
  if (CoCreateInstance(CLSID_GamlExportConverter, nullptr, CLSCTX_INPROC_SERVER, IID_IGamlExportConverter,
                       reinterpret_cast<void**>(&converter)) != S_OK) {
    state.SkipWithError("the export converter cannot be created");
    return;
  }
  BSTR input = text(source), output = text(target), native = text("KOV_TLVO"), gaml = text("GAML"), extra = text("");
  double peak = 0;
  for (auto _ : state) {
    reset_peak_memory();
    const HRESULT result = converter->ConvertFile(input, native, output, gaml, extra);
    peak = std::max(peak, peak_memory_mb());
    if (result != S_OK) {
      state.SkipWithError("the export failed");
      break;
    }
  }
  const double bytes = static_cast<double>(fs::file_size(source));
  state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
  state.counters["native_MB"] = bytes / kMegabyte;
  state.counters["gaml_MB"] = fs::exists(target) ? static_cast<double>(fs::file_size(target)) / kMegabyte : 0.0;
  state.counters["peak_MB"] = peak;
  for (BSTR string : {input, output, native, gaml, extra}) SysFreeString(string);
  converter->Release();
}

// Members and points per member.
BENCHMARK(BM_ExportGroup)
    ->ArgNames({"members", "points"})
    ->Args({100, 8192})
    ->Args({1000, 8192})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
