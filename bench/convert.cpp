// Benchmark of whole conversions through "GAML2KOV.FileCnvt", as a host
// runs them, against the floor that any converter of the same document
// pays: reading the file, parsing it with pugixml and decoding its base64
// arrays. Documents of about 1, 10 and 100 MB come in two shapes, many
// traces of 8192 FLOAT32 points or one long trace, each converted into a
// native file in a scratch $GAML2KOV_HOME. Both measurements report their
// time and the peak of the memory they held while they ran; each
// conversion is also followed by a run of the floor, whose processor time
// and peak give the conversion's ratios to it (cpu_ratio, peak_ratio) under
// the same load on the machine. Memory is the peak of the heap's growth
// while a measurement runs.
//
// BM_Stages times the parts of a conversion one after another with the
// converter's own members, in this process: the reader's load, fetching
// the traces, the values import (Y values and X range into the spectra)
// and the header and history import. What a conversion costs beyond their
// sum is the saving of the native file.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include "bench/machine.h"
#include "components/gamlreader/gamlreader.h"
#include "converter/converter.h"
#include "converter/importjob.h"
#include "converter/module.h"
#include "examples/gaml_writer.h"
#include "platform/modules.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPointsPerTrace = 8192;
constexpr double kMegabyte = 1024.0 * 1024.0;
// Base64 of FLOAT32 values: 4 bytes become 16/3 characters.
constexpr double kBytesPerPoint = 16.0 / 3.0;

// A scratch machine with the server and the reader registered, and the
// server's code started in this process too, for the life of the process.
// The apartment is left to the end of the process: the modules it loaded
// are the platform layer's to free then.
class Machine {
 public:
  Machine() {
    home_ = (fs::temp_directory_path() / ("gaml2kov-bench-" + std::to_string(std::random_device()()))).string();
    fs::create_directories(home_ + "/out");
    setenv("GAML2KOV_HOME", home_.c_str(), 1);
    CoInitialize(nullptr);
    for (const char* module : {GAML2KOV_MODULE, GAMLREADER_MODULE}) {
      HMODULE loaded = LoadLibraryA(module);
      auto register_server = reinterpret_cast<DllRegisterServerFn>(GetProcAddress(loaded, "DllRegisterServer"));
      if (register_server == nullptr || register_server() != S_OK) std::abort();
    }
    HINSTANCE self = platform::register_builtin_module((home_ + "/in-process/libgaml2kov.so").c_str(), nullptr, 0);
    if (converter::DllMain(self, DLL_PROCESS_ATTACH, nullptr) != TRUE) std::abort();
  }
  ~Machine() {
    std::error_code ignored;
    fs::remove_all(home_, ignored);
  }
  const std::string& home() const { return home_; }

 private:
  std::string home_;
};

Machine& machine() {
  static Machine made;
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
    const int traces = std::max(2, static_cast<int>(points / kPointsPerTrace));
    for (int i = 0; i < traces; ++i) experiment.traces.push_back(trace_of(i, kPointsPerTrace));
  } else {
    experiment.traces.push_back(trace_of(0, static_cast<int>(points)));
  }
  std::ofstream(path, std::ios::binary) << gamlwriter::document({experiment});
  return path;
}

using benchsupport::text;

// The peak of the bytes held in the heap, counted by this program's own
// malloc family, which the loaded modules call too. Counting allocations
// rather than resident pages keeps the figure free of what the allocator
// keeps back after a free and of the emulator's own pages, where the
// 32-bit program runs under one.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* block);
size_t malloc_usable_size(void* block);
}

size_t held_bytes = 0;
size_t peak_bytes = 0;

void* counted(void* block) {
  if (block != nullptr) {
    held_bytes += malloc_usable_size(block);
    peak_bytes = std::max(peak_bytes, held_bytes);
  }
  return block;
}

// The growth of the heap above its size at the start, in MB.
class HeapGrowth {
 public:
  HeapGrowth() : start_(held_bytes) { peak_bytes = held_bytes; }
  double peak_mb() const { return static_cast<double>(peak_bytes - start_) / kMegabyte; }

 private:
  size_t start_;
};

// ---- the floor ----

// A plain table-driven base64 decoder that takes four digits at a time and
// skips white space, as a careful scalar decoder does.
struct Base64Digits {
  signed char value[256];
  constexpr Base64Digits() : value() {
    for (signed char& v : value) v = -1;
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(alphabet[i])] = static_cast<signed char>(i);
  }
};
constexpr Base64Digits kDigits;

std::vector<unsigned char> floor_decode(const char* text) {
  const size_t length = std::strlen(text);
  std::vector<unsigned char> bytes(length / 4 * 3);
  const auto* at = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* const end = at + length;
  unsigned char* out = bytes.data();
  uint32_t group = 0;
  int digits = 0;
  while (at < end) {
    if (digits == 0 && end - at >= 4) {
      const int a = kDigits.value[at[0]], b = kDigits.value[at[1]], c = kDigits.value[at[2]], d = kDigits.value[at[3]];
      if ((a | b | c | d) >= 0) {
        const uint32_t four = uint32_t(a) << 18 | uint32_t(b) << 12 | uint32_t(c) << 6 | uint32_t(d);
        out[0] = static_cast<unsigned char>(four >> 16);
        out[1] = static_cast<unsigned char>(four >> 8);
        out[2] = static_cast<unsigned char>(four);
        out += 3;
        at += 4;
        continue;
      }
    }
    const int digit = kDigits.value[*at++];
    if (digit < 0) continue;  // white space and padding
    group = group << 6 | static_cast<uint32_t>(digit);
    if (++digits == 4) {
      out[0] = static_cast<unsigned char>(group >> 16);
      out[1] = static_cast<unsigned char>(group >> 8);
      out[2] = static_cast<unsigned char>(group);
      out += 3;
      digits = 0;
    }
  }
  if (digits >= 2) *out++ = static_cast<unsigned char>(group >> (digits == 2 ? 4 : 10));
  if (digits == 3) *out++ = static_cast<unsigned char>(group >> 2);
  bytes.resize(static_cast<size_t>(out - bytes.data()));
  return bytes;
}

// The file read in one piece, parsed in place, and every values array of
// every trace decoded and kept, as a conversion holds every spectrum's
// values until it saves them. The number of decoded bytes.
size_t floor_run(const std::string& path) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  std::vector<char> bytes(static_cast<size_t>(file.tellg()));
  file.seekg(0);
  file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  pugi::xml_document xml;
  if (!xml.load_buffer_inplace(bytes.data(), bytes.size(), pugi::parse_default | pugi::parse_ws_pcdata_single)) {
    return 0;
  }
  std::vector<std::vector<unsigned char>> arrays;
  size_t decoded = 0;
  for (pugi::xml_node experiment : xml.document_element().children("experiment")) {
    for (pugi::xml_node trace : experiment.children("trace")) {
      for (pugi::xml_node xdata : trace.children("Xdata")) {
        arrays.push_back(floor_decode(xdata.child("values").text().get()));
        for (pugi::xml_node ydata : xdata.children("Ydata")) {
          arrays.push_back(floor_decode(ydata.child("values").text().get()));
          decoded += arrays.back().size();
        }
      }
    }
  }
  return decoded;
}

// Each measurement runs once untimed before it is timed: right after a
// large document has been written, the first pass over a fresh large block
// runs several times slower under user-mode emulation (qemu-i386), which
// would burden whichever measurement comes first.
//
// Shape (0: one trace of many points, 1: many traces of 8192 points) and size in MB.
void shapes(benchmark::internal::Benchmark* benchmark) {
  benchmark->ArgNames({"many_traces", "MB"})
      ->ArgsProduct({{0, 1}, {1, 10, 100}})
      ->Unit(benchmark::kMillisecond)
      ->Iterations(2);
}

void report_document(benchmark::State& state, const std::string& source, double peak) {
  const double bytes = static_cast<double>(fs::file_size(source));
  state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
  state.counters["document_MB"] = bytes / kMegabyte;
  state.counters["peak_MB"] = peak;
}

// Processor time rather than wall-clock time, so that other load on the
// machine does not count; the program has one thread.
std::clock_t now() { return std::clock(); }
double milliseconds_since(std::clock_t start) { return 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC; }

void BM_Floor(benchmark::State& state) {
  const std::string source = document(state.range(0) != 0, static_cast<int>(state.range(1)));
  floor_run(source);  // once untimed: see shapes()
  double peak = 0;
  for (auto _ : state) {
    const HeapGrowth growth;
    benchmark::DoNotOptimize(floor_run(source));
    peak = std::max(peak, growth.peak_mb());
  }
  report_document(state, source, peak);
}

void BM_Convert(benchmark::State& state) {
  const bool many_traces = state.range(0) != 0;
  const std::string source = document(many_traces, static_cast<int>(state.range(1)));
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
  converter->ConvertFile(input, gaml, output, native, nullptr);  // once untimed: see shapes()
  fs::remove(target);
  double peak = 0, floor_peak = 0, converting = 0, flooring = 0;
  for (auto _ : state) {
    std::clock_t start = now();
    const HeapGrowth growth;
    const HRESULT result = converter->ConvertFile(input, gaml, output, native, nullptr);
    converting += milliseconds_since(start);
    peak = std::max(peak, growth.peak_mb());
    if (result != S_OK) {
      state.SkipWithError("the conversion failed");
      break;
    }
    state.PauseTiming();
    fs::remove(target);
    // The floor of the same document right after each conversion, so that
    // both see the same load on the machine and their ratios hold.
    start = now();
    const HeapGrowth floor_growth;
    benchmark::DoNotOptimize(floor_run(source));
    flooring += milliseconds_since(start);
    floor_peak = std::max(floor_peak, floor_growth.peak_mb());
    state.ResumeTiming();
  }
  report_document(state, source, peak);
  state.counters["cpu_ratio"] = flooring > 0 ? converting / flooring : 0.0;
  state.counters["peak_ratio"] = floor_peak > 0 ? peak / floor_peak : 0.0;
  for (BSTR string : {input, output, gaml, native}) SysFreeString(string);
  converter->Release();
}

// ---- the stages of a conversion ----

VARIANT index_variant(LONG index) {
  VARIANT variant{};
  variant.vt = VT_I4;
  variant.lVal = index;
  return variant;
}

void BM_Stages(benchmark::State& state) {
  const std::string source = document(state.range(0) != 0, static_cast<int>(state.range(1)));
  double load = 0, traces = 0, data = 0, header = 0;
  for (auto _ : state) {
    auto start = now();
    IGamlReader* reader = nullptr;
    BSTR path = text(source);
    LONG flags = 2;
    if (CoCreateInstance(CLSID_GamlReader, nullptr, CLSCTX_INPROC_SERVER, IID_IGamlReader,
                         reinterpret_cast<void**>(&reader)) != S_OK ||
        reader->Load(path, index_variant(0), &flags) != S_OK) {
      state.SkipWithError("the document did not load");
      break;
    }
    SysFreeString(path);
    load += milliseconds_since(start);

    // As the job takes them: the trace collection asked for anew per trace.
    start = now();
    LONG count = 0;
    IGamlCollection* collection = nullptr;
    reader->get_Traces(&collection);
    collection->get_Count(&count);
    collection->Release();
    std::vector<IGamlTrace*> trace(static_cast<size_t>(count));
    for (LONG i = 0; i < count; ++i) {
      IDispatch* item = nullptr;
      reader->get_Traces(&collection);
      collection->Item(index_variant(i), &item);
      item->QueryInterface(IID_IGamlTrace, reinterpret_cast<void**>(&trace[static_cast<size_t>(i)]));
      item->Release();
      collection->Release();
    }
    traces += milliseconds_since(start);

    converter::CGamlImportJob job;
    std::unique_ptr<converter::CGamlSpectrum[]> spectra(new converter::CGamlSpectrum[static_cast<size_t>(count)]);
    start = now();
    for (LONG i = 0; i < count; ++i) job.ImportData(trace[static_cast<size_t>(i)], &spectra[static_cast<size_t>(i)], 0, 0);
    data += milliseconds_since(start);

    start = now();
    for (LONG i = 0; i < count; ++i) {
      converter::CCollectionHdr attached;
      attached.Attach(&spectra[static_cast<size_t>(i)]);
      job.ImportBenchInfo(trace[static_cast<size_t>(i)], &attached);
      job.ImportSpectrumHeader(trace[static_cast<size_t>(i)], &attached, 0);
      job.ImportHistory(trace[static_cast<size_t>(i)], &spectra[static_cast<size_t>(i)]);
    }
    header += milliseconds_since(start);

    for (IGamlTrace* one : trace) one->Release();
    reader->Release();
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["load_ms"] = load / runs;
  state.counters["traces_ms"] = traces / runs;
  state.counters["data_ms"] = data / runs;
  state.counters["header_ms"] = header / runs;
}

BENCHMARK(BM_Floor)->Apply(shapes);
BENCHMARK(BM_Convert)->Apply(shapes);
BENCHMARK(BM_Stages)->Apply(shapes);

}  // namespace

extern "C" {
void* malloc(size_t size) { return counted(__libc_malloc(size)); }
void* calloc(size_t count, size_t size) { return counted(__libc_calloc(count, size)); }
void* memalign(size_t alignment, size_t size) { return counted(__libc_memalign(alignment, size)); }
void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }
int posix_memalign(void** block, size_t alignment, size_t size) {
  *block = memalign(alignment, size);
  return *block == nullptr ? ENOMEM : 0;
}
void* realloc(void* block, size_t size) {
  if (block != nullptr) held_bytes -= malloc_usable_size(block);
  return counted(__libc_realloc(block, size));
}
void free(void* block) {
  if (block != nullptr) held_bytes -= malloc_usable_size(block);
  __libc_free(block);
}
}
