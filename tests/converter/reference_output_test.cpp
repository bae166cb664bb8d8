// Whole conversions compared byte for byte with outputs kept from an earlier
// build: the example documents and a generated document of many traces that
// mixes the value encodings a reader meets (FLOAT32 and FLOAT64 values,
// Intel and Motorola byte order, integers, NaNs, base64 wrapped in lines,
// X axes running either way). Work that makes the conversion faster must
// leave every byte of these files as it was.
//
// The kept figures are each file's size and its 64-bit FNV-1a hash, taken
// from the converter as it stood before the conversion path was tuned for
// speed. Outputs carry the collection dates in local time, so the zone is
// fixed, and the group file carries its own file name, so the names are too.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "converter_support.h"

namespace convertertest {
namespace {

namespace fs = std::filesystem;

struct Kept {
  size_t size;
  uint64_t hash;
};

uint64_t fnv1a(const std::string& bytes) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char byte : bytes) hash = (hash ^ byte) * 0x100000001b3ull;
  return hash;
}

// Base64 broken into lines of 76 characters, as many writers wrap it, in
// every `values` element whose position in the document is a multiple of
// `every`.
std::string wrap_values(const std::string& document, int every) {
  std::string wrapped;
  size_t at = 0;
  for (int n = 0;; ++n) {
    const size_t open = document.find("<values ", at);
    if (open == std::string::npos) break;
    const size_t start = document.find('>', open) + 1;
    const size_t end = document.find("</values>", start);
    wrapped.append(document, at, start - at);
    if (n % every != 0) {
      wrapped.append(document, start, end - start);
    } else {
      wrapped += "\r\n";
      for (size_t line = start; line < end; line += 76) {
        wrapped.append(document, line, std::min<size_t>(76, end - line));
        wrapped += "\r\n";
      }
    }
    at = end;
  }
  return wrapped + document.substr(at);
}

// Traces of 8192 points whose values and encodings vary with the index.
std::string many_traces_document(int traces) {
  constexpr int kPoints = 8192;
  gamlwriter::Experiment experiment;
  experiment.collectdate = "2026-12-03T08:15:30";
  for (int t = 0; t < traces; ++t) {
    std::vector<double> y(kPoints);
    for (int i = 0; i < kPoints; ++i) y[i] = std::sin(i * 0.003 + t) * (1.0 + t * 0.25) + i * 1e-5;
    if (t % 7 == 3) y[100] = y[kPoints - 1] = std::numeric_limits<double>::quiet_NaN();
    static const char* const kFormats[] = {"FLOAT32", "FLOAT32", "FLOAT64", "FLOAT32", "INT32"};
    const char* format = kFormats[t % 5];
    if (std::string(format) == "INT32") {
      for (double& value : y) value = std::isnan(value) ? 0.0 : std::round(value * 1000.0);
    }
    const bool descending = t % 2 == 0;
    gamlwriter::Xdata xdata = element(descending ? 4000.0 : 400.0, descending ? 400.0 : 4000.0, {});
    xdata.children[0].values = {format, t % 3 == 1 ? "MOTOROLA" : "INTEL", std::move(y), std::nullopt};
    xdata.parameters = {{"Spectrum Header", "NumScans", std::to_string(16 + t)},
                        {"Spectrum Header", "Duration", std::to_string(100 * t + 50)},
                        {"Spectrum Header", "CollectErrorMap", t % 4 == 0 ? "0x1F" : "0x0"}};
    gamlwriter::Trace trace;
    trace.name = "Generated " + std::to_string(t);
    trace.parameters = {{"Bench Info", "Gain", t % 2 == 0 ? "2.0" : "4.0"},
                        {"Bench Info", "DetectorID", std::to_string(t % 45)},
                        {"History", "1", "Generated trace " + std::to_string(t)},
                        {"History", "2", "  for the reference outputs"}};
    trace.elements = {xdata};
    experiment.traces.push_back(std::move(trace));
  }
  return wrap_values(gamlwriter::document({experiment}), 3);
}

class ReferenceOutput : public testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    ASSERT_NO_FATAL_FAILURE(create_converter_as_a_host(&converter_));
    out_ = testsupport::home() + "/out";
    fs::create_directories(out_);
  }
  void TearDown() override {
    converter_.reset();
    CoUninitialize();
  }

  // Converts `source` into out/`name` and compares the output with what was kept.
  void expect_output(const std::string& source, const std::string& name, Kept kept) {
    const std::string target = out_ + "/" + name;
    ASSERT_EQ(converter_->ConvertFile(text(source).get(), text(u"GAML").get(), text(target).get(),
                                      text(u"KOV_TLVO").get(), nullptr),
              S_OK)
        << source;
    const std::string bytes = testsupport::read_file(target);
    EXPECT_EQ(bytes.size(), kept.size) << name;
    EXPECT_EQ(fnv1a(bytes), kept.hash) << name << ": 0x" << std::hex << fnv1a(bytes);
  }

  std::string out_;
  ComRef<IFileCnvt> converter_;
};

TEST_F(ReferenceOutput, TheExamplesConvertAsBefore) {
  const std::string examples = std::string(GAML2KOV_TEST_DATA) + "/../../examples/";
  expect_output(examples + "single_trace.gaml", "single_trace.spa", {16552, 0x64e40c0eabc12716});
  expect_output(examples + "three_traces.gaml", "three_traces.spg", {49580, 0x0af1f6ab314dc951});
}

TEST_F(ReferenceOutput, AGeneratedDocumentOfManyTracesConvertsAsBefore) {
  const std::string source = testsupport::write_file("gaml/many.gaml", many_traces_document(60));
  expect_output(source, "many.spg", {2003472, 0x154a533ba9005208});
}

// One trace of many points, the other shape a large document takes.
TEST_F(ReferenceOutput, AGeneratedLongTraceConvertsAsBefore) {
  gamlwriter::Experiment experiment;
  experiment.collectdate = "2026-12-03T08:15:30";
  std::vector<double> y(300000);
  for (size_t i = 0; i < y.size(); ++i) y[i] = std::cos(static_cast<double>(i) * 0.0007) * 0.5 + 0.5;
  gamlwriter::Trace trace;
  trace.name = "Long";
  trace.parameters = {{"History", "1", "One long trace"}};
  trace.elements = {element(4000.0, 400.0, std::move(y))};
  experiment.traces = {trace};
  const std::string source =
      testsupport::write_file("gaml/long.gaml", wrap_values(gamlwriter::document({experiment}), 1));
  expect_output(source, "long.spa", {1200784, 0x90a199874e0ce12f});
}

}  // namespace
}  // namespace convertertest
