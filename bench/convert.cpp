// Benchmark of whole conversions through "GAML2KOV.FileCnvt", as a host
// runs them: GAML documents of about 1, 10 and 100 MB, either one trace of
// many points or many traces of 4096 points, each converted into a native
// file in a scratch $GAML2KOV_HOME. Beside the conversion time it reports
// the GAML read throughput (document bytes per second of conversion), the
// process's peak resident memory during the conversion, and the reader's
// bare load time of the same document.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/machine.h"
#include "components/gamlreader/gamlreader.h"
#include "converter/converter.h"
#include "examples/gaml_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPointsPerTrace = 4096;
constexpr double kMegabyte = 1024.0 * 1024.0;
// Base64 of FLOAT32 values: 4 bytes become 16/3 characters.
constexpr double kBytesPerPoint = 16.0 / 3.0;

using benchsupport::peak_memory_mb;
using benchsupport::reset_peak_memory;
using benchsupport::text;

// The server and the reader registered on a scratch machine.
const benchsupport::Machine& machine() {
  static const benchsupport::Machine made({GAML2KOV_MODULE, GAMLREADER_MODULE});
  return made;
}

gamlwriter::Trace trace_of(int index, int points) {
  gamlwriter::Trace trace;
  trace.name = "Sample " + std::to_string(index);
  trace.parameters = {{"Bench Info", "Gain", "2.0"}, {"History", "line1", "Collected by the benchmark"}};
  gamlwriter::Xdata element;
  element.units = "WAVENUMBER";
  element.parameters = {{"Spectrum Header", "NumScans", "32"}};
  element.values = gamlwriter::Values{"FLOAT64", "INTEL", {4000.0, 400.0}, std::nullopt};
  std::vector<double> y(static_cast<size_t>(points));
  for (int i = 0; i < points; ++i) y[static_cast<size_t>(i)] = std::sin(i * 0.001) + index * 0.01;
  element.children.push_back({"ABSORBANCE", {"FLOAT32", "INTEL", std::move(y), std::nullopt}});
  trace.elements = {element};
  return trace;
}

// A document of about `megabytes`, written once per shape and size.
std::string document(bool many_traces, int megabytes) {
  const std::string path =
      machine().home() + "/" + (many_traces ? "traces_" : "points_") + std::to_string(megabytes) + ".gaml";
  if (fs::exists(path)) return path;
  const double points = megabytes * kMegabyte / kBytesPerPoint;
  gamlwriter::Experiment experiment;
  experiment.collectdate = "2026-11-30T14:05:00";
  if (many_traces) {
    const int traces = static_cast<int>(points / kPointsPerTrace);
    for (int i = 0; i < traces; ++i) experiment.traces.push_back(trace_of(i, kPointsPerTrace));
  } else {
    experiment.traces.push_back(trace_of(0, static_cast<int>(points)));
  }
  std::ofstream(path, std::ios::binary) << gamlwriter::document({experiment});
  return path;
}

// The reader's own load of the document, without the conversion.
double reader_load_ms(const std::string& path) {
  IGamlReader* reader = nullptr;
  if (CoCreateInstance(CLSID_GamlReader, nullptr, CLSCTX_INPROC_SERVER, IID_IGamlReader,
                       reinterpret_cast<void**>(&reader)) != S_OK) {
    return -1;
  }
  BSTR name = text(path);
  VARIANT options{};
  options.vt = VT_I4;
  LONG flags = 2;
  const auto start = std::chrono::steady_clock::now();
  const HRESULT loaded = reader->Load(name, options, &flags);
  const auto end = std::chrono::steady_clock::now();
  SysFreeString(name);
  reader->Release();
  return loaded == S_OK ? std::chrono::duration<double, std::milli>(end - start).count() : -1;
}

void BM_Convert(benchmark::State& state) {
  const bool many_traces = state.range(0) != 0;
  const std::string source = document(many_traces, static_cast<int>(state.range(1)));
  fs::create_directories(machine().home() + "/out");
  const std::string target = machine().home() + "/out/converted" + (many_traces ? ".spg" : ".spa");
  IFileCnvt* converter = nullptr;
  CLSID clsid;
  if (CLSIDFromProgID(u"GAML2KOV.FileCnvt", &clsid) != S_OK ||
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IFileCnvt, reinterpret_cast<void**>(&converter)) !=
          S_OK) {
    state.SkipWithError("the converter cannot be created");
    return;
  }
  BSTR input = text(source), output = text(target), gaml = text("GAML"), native = text("KOV_TLVO");
  double peak = 0;
  for (auto _ : state) {
    reset_peak_memory();
    const HRESULT result = converter->ConvertFile(input, gaml, output, native, nullptr);
    peak = std::max(peak, peak_memory_mb());
    if (result != S_OK) {
      state.SkipWithError("the conversion failed");
      break;
    }
    state.PauseTiming();
    fs::remove(target);
    state.ResumeTiming();
  }
  const double bytes = static_cast<double>(fs::file_size(source));
  state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
  state.counters["document_MB"] = bytes / kMegabyte;
  state.counters["peak_MB"] = peak;
  state.counters["reader_load_ms"] = reader_load_ms(source);
  for (BSTR string : {input, output, gaml, native}) SysFreeString(string);
  converter->Release();
}

// Shape (0: one trace of many points, 1: many traces of 4096 points) and size in MB.
BENCHMARK(BM_Convert)
    ->ArgNames({"many_traces", "MB"})
    ->ArgsProduct({{0, 1}, {1, 10, 100}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
