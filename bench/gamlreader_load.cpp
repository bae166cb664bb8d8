// Benchmark of the GAML reader component: loading a document of about 100 MB
// (generated here: 100 traces, each with 196608 FLOAT32 Y values in base64
// and a few parameters) and reading all of its values as the converter does,
// next to a bare pugixml parse of the same bytes, so that the reader's own
// cost (file read, base64 decoding, model, SAFEARRAY copies) shows.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include "components/gamlreader/document.h"
#include "components/gamlreader/gamlreader.h"
#include "components/gamlreader/objects.h"

namespace {

constexpr int kTraces = 100;
constexpr int kValuesPerTrace = 196608;  // 768 KiB of FLOAT32, 1 MiB of base64

std::string base64(const unsigned char* bytes, size_t size) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  text.reserve(size / 3 * 4 + size / 57 + 8);
  for (size_t at = 0; at < size; at += 3) {
    const uint32_t group = uint32_t(bytes[at]) << 16 | (at + 1 < size ? uint32_t(bytes[at + 1]) << 8 : 0) |
                           (at + 2 < size ? bytes[at + 2] : 0);
    text += kAlphabet[group >> 18];
    text += kAlphabet[group >> 12 & 63];
    text += at + 1 < size ? kAlphabet[group >> 6 & 63] : '=';
    text += at + 2 < size ? kAlphabet[group & 63] : '=';
    if ((at / 3 + 1) % 19 == 0) text += '\n';  // lines of 76 characters, as writers wrap them
  }
  return text;
}

std::string generated_document() {
  std::vector<float> y(kValuesPerTrace);
  for (int i = 0; i < kValuesPerTrace; ++i) y[i] = static_cast<float>(i % 1000) / 1000.0f;
  const std::string y_text = base64(reinterpret_cast<const unsigned char*>(y.data()), y.size() * sizeof(float));
  const double x[2] = {4000.0, 400.0};
  const std::string x_text = base64(reinterpret_cast<const unsigned char*>(x), sizeof x);
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<GAML version=\"1.20\">\n<experiment>\n"
                    "<collectdate>2026-11-30T14:05:00</collectdate>\n";
  for (int trace = 0; trace < kTraces; ++trace) {
    xml += "<trace name=\"Sample " + std::to_string(trace) + "\">\n"
           "<parameter group=\"Bench Info\" name=\"Gain\">2.0</parameter>\n"
           "<parameter group=\"History\" name=\"line1\">Collected by the benchmark</parameter>\n"
           "<Xdata units=\"WAVENUMBER\">\n<parameter group=\"Spectrum Header\" name=\"NumScans\">32</parameter>\n"
           "<values format=\"FLOAT64\" byteorder=\"INTEL\" numvalues=\"2\">" + x_text + "</values>\n"
           "<Ydata units=\"ABSORBANCE\">\n<values format=\"FLOAT32\" byteorder=\"INTEL\" numvalues=\"" +
           std::to_string(kValuesPerTrace) + "\">\n" + y_text + "</values>\n</Ydata>\n</Xdata>\n</trace>\n";
  }
  return xml + "</experiment>\n</GAML>\n";
}

// The document, in memory and in a file removed at exit.
struct Document {
  Document() : bytes(generated_document()) {
    path = (std::filesystem::temp_directory_path() / "gamlreader_load_bench.gaml").string();
    std::ofstream(path, std::ios::binary) << bytes;
  }
  ~Document() {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
  std::string bytes;
  std::string path;
};

const Document& document() {
  static const Document generated;
  return generated;
}

VARIANT index_variant(LONG index) {
  VARIANT variant{};
  variant.vt = VT_I4;
  variant.lVal = index;
  return variant;
}

template <class T>
T* item(IGamlCollection* collection, LONG index, REFIID iid) {
  IDispatch* found = nullptr;
  T* wanted = nullptr;
  if (SUCCEEDED(collection->Item(index_variant(index), &found))) found->QueryInterface(iid, reinterpret_cast<void**>(&wanted));
  if (found != nullptr) found->Release();
  return wanted;
}

// Sums the values of one values object, as the converter copies them.
double read_values(IGamlValues* values) {
  VARIANT array;
  double sum = 0.0;
  void* data = nullptr;
  if (SUCCEEDED(values->get_Values(&array)) && SUCCEEDED(SafeArrayAccessData(array.parray, &data))) {
    const ULONG count = array.parray->rgsabound[0].cElements;
    for (ULONG i = 0; i < count; ++i) {
      sum += array.vt == (VT_ARRAY | VT_R4) ? static_cast<const float*>(data)[i] : static_cast<const double*>(data)[i];
    }
    SafeArrayUnaccessData(array.parray);
  }
  VariantClear(&array);
  return sum;
}

// Loads the document and reads the X and Y values of every trace.
double load_and_read_all(IGamlReader* reader, BSTR path) {
  LONG flags = 2;
  IGamlCollection* traces = nullptr;
  if (FAILED(reader->Load(path, index_variant(0), &flags)) || FAILED(reader->get_Traces(&traces))) return -1.0;
  LONG trace_count = 0;
  traces->get_Count(&trace_count);
  double sum = 0.0;
  for (LONG t = 0; t < trace_count; ++t) {
    IGamlTrace* trace = item<IGamlTrace>(traces, t, IID_IGamlTrace);
    IGamlCollection* elements = nullptr;
    trace->get_Elements(&elements);
    IGamlElement* element = item<IGamlElement>(elements, 0, IID_IGamlElement);
    IGamlChildList* children = nullptr;
    element->get_Children(&children);
    IGamlChild* child = nullptr;
    children->Item(0, &child);
    IGamlValues* y = nullptr;
    child->get_Values(&y);
    IGamlCollection* x_values = nullptr;
    child->get_XValues(&x_values);
    IGamlValues* x = item<IGamlValues>(x_values, 0, IID_IGamlValues);
    sum += read_values(y) + read_values(x);
    for (IUnknown* used : std::initializer_list<IUnknown*>{x, x_values, y, child, children, element, elements, trace}) {
      used->Release();
    }
  }
  traces->Release();
  return sum;
}

void BM_BarePugixmlParse(benchmark::State& state) {
  const std::string& bytes = document().bytes;
  for (auto _ : state) {
    pugi::xml_document xml;
    benchmark::DoNotOptimize(xml.load_buffer(bytes.data(), bytes.size()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}

void BM_ReaderLoadAndReadAllValues(benchmark::State& state) {
  const std::u16string path(document().path.begin(), document().path.end());
  BSTR path_text = SysAllocStringLen(path.data(), static_cast<UINT>(path.size()));
  for (auto _ : state) {
    IGamlReader* reader = nullptr;
    gamlreader::create_reader(IID_IGamlReader, reinterpret_cast<void**>(&reader));
    const double sum = load_and_read_all(reader, path_text);
    if (sum < 0.0) state.SkipWithError("the document did not load");
    benchmark::DoNotOptimize(sum);
    reader->Release();
  }
  SysFreeString(path_text);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(document().bytes.size()));
}

// The reader's base64 decoder alone, over the Y values of one trace as the
// document holds them (in lines of 76 characters).
void BM_DecodeBase64(benchmark::State& state) {
  std::vector<float> y(kValuesPerTrace);
  for (int i = 0; i < kValuesPerTrace; ++i) y[i] = static_cast<float>(i % 1000) / 1000.0f;
  const std::string text = base64(reinterpret_cast<const unsigned char*>(y.data()), y.size() * sizeof(float));
  std::vector<unsigned char> decoded(y.size() * sizeof(float));
  for (auto _ : state) {
    if (!gamlreader::decode_base64(text.data(), text.size(), decoded.data(), decoded.size())) {
      state.SkipWithError("the text did not decode");
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

BENCHMARK(BM_DecodeBase64);
BENCHMARK(BM_BarePugixmlParse)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ReaderLoadAndReadAllValues)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
