// Whole conversions as a host runs them: the server and the reader
// registered by their own DllRegisterServer, "GAML2KOV.FileCnvt" created
// through CoCreateInstance, documents written by the test converted, and the
// native files read back with the library in the test's own process.
#include <cstring>
#include <filesystem>
#include <fstream>

#include "apcomlib/core/core.h"
#include "converter_support.h"
#include "core/core_fixture.h"
#include "tools/readback.h"

namespace convertertest {
namespace {

namespace fs = std::filesystem;
using gamlwriter::Parameter;

class EndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(create_converter_as_a_host(&converter_));
    ASSERT_EQ(apcom_RegisterClasses(apcom_LibraryModule()), 1);
    ASSERT_EQ(GU1_Register_LL(), 1);
    out_ = testsupport::home() + "/out";
    fs::create_directories(out_);
  }
  void TearDown() override {
    converter_.reset();
    CoUninitialize();
    apcom_UnregisterClasses();
    GU1_UnRegister_LL();
  }

  HRESULT convert(const std::vector<gamlwriter::Trace>& traces, const std::string& target) {
    const std::string source = write_gaml("source.gaml", experiment(traces));
    return converter_->ConvertFile(text(source).get(), text(u"GAML").get(), text(target).get(),
                                   text(u"KOV_TLVO").get(), nullptr);
  }

  static uint16_t file_type(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    char header[304] = {};
    file.read(header, sizeof header);
    uint16_t type;
    std::memcpy(&type, header + 288, sizeof type);
    return type;
  }

  static std::vector<float> values(const AP7_SPECTRUM* spectrum) {
    const float* data = ap7b_GetDataPtr(spectrum);
    return std::vector<float>(data, data + spectrum->header->data.points);
  }

  std::string out_;
  ComRef<IFileCnvt> converter_;
};

gamlwriter::Trace full_trace() {
  gamlwriter::Trace trace;
  trace.name = "Polystyrene";
  trace.parameters = {{"Bench Info", "BenchID", "7"},         {"Bench Info", "Gain", "2.0"},
                      {"Bench Info", "DetectorID", "14"},     {"Bench Info", "BeamSplitterID", "6"},
                      {"History", "1", "Collected"},          {"History", "2", "  at 4 cm-1"},
                      {"History", "3", "Converted"}};
  gamlwriter::Xdata spectrum = element(4000, 400, {0.25, 0.5, 1.0, 2.0});
  spectrum.parameters = {{"Spectrum Header", "Duration", "29"},
                         {"Spectrum Header", "NumScans", "32"},
                         {"Spectrum Header", "CollectErrorMap", "0x1F"}};
  trace.elements = {spectrum};
  return trace;
}

TEST_F(EndToEnd, OneTraceBecomesASingleSpectrumFile) {
  const std::string target = out_ + "/one.spa";
  ASSERT_EQ(convert({full_trace()}, target), S_OK);
  EXPECT_EQ(file_type(target), 1u);
  EXPECT_EQ(converter_->ValidateFormat(text(target).get(), text(u"KOV_TLVO").get()), S_OK);
  EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(out_), fs::directory_iterator()),
            std::vector<fs::path>{target});  // no probe file stays

  readback::NativeFile file;
  ASSERT_TRUE(readback::read(target, &file));
  EXPECT_EQ(file.format_class, AP45_CLASS_ID);
  ASSERT_EQ(file.spectra.size(), 1u);
  const AP7_SPECTRUM* spectrum = file.spectra[0].spectrum;
  const AP41_HEADERDATA& record = spectrum->header->data;
  // The document's X runs from 4000 down to 400: stored ascending, values reversed.
  EXPECT_EQ(values(spectrum), (std::vector<float>{2.0f, 1.0f, 0.5f, 0.25f}));
  EXPECT_EQ(packed(record.first_x), 400.0f);
  EXPECT_EQ(packed(record.last_x), 4000.0f);
  EXPECT_EQ(packed(record.x_units), 1u);
  EXPECT_EQ(packed(record.y_units), 17u);
  EXPECT_STREQ(record.title, "Polystyrene");
  EXPECT_EQ(packed(record.BenchID), 7u);
  EXPECT_EQ(packed(record.Gain), 2.0f);
  EXPECT_EQ(packed(record.DetectorID), 20000u);  // 14 is not in the detector table
  EXPECT_EQ(packed(record.BeamSplitterID), 7u);
  EXPECT_EQ(packed(record.SourceID), 2u);        // default
  EXPECT_EQ(packed(record.Duration), 29u);
  EXPECT_EQ(packed(record.NumScans), 32u);
  EXPECT_EQ(packed(record.LaserFreq), 15798.0f);  // default
  EXPECT_EQ(packed(record.CollectErrorMap), 31u);
  EXPECT_EQ(packed(record.BKCollectErrorMap), 0u);
  EXPECT_STREQ(ap7d_GetHistoryText(spectrum), "Collected\r\n  at 4 cm-1\r\n\t Converted");
  EXPECT_EQ(file.spectra[0].sample, nullptr);
  EXPECT_EQ(file.spectra[0].background, nullptr);
}

gamlwriter::Xdata interferogram_element(const char* section, std::vector<double> y, const char* scans) {
  gamlwriter::Xdata xdata = element(0, static_cast<double>(y.size() - 1), std::move(y), "POINTS", "VOLTS");
  xdata.parameters = {{section, "NumScans", scans}, {section, "FinalPeakPos", "1"}, {section, "Laser", "15798.5"}};
  return xdata;
}

TEST_F(EndToEnd, TheSampleInterferogramOfATwoElementTraceIsStored) {
  gamlwriter::Trace trace = full_trace();
  trace.elements.push_back(interferogram_element("Archived Sample Interferogram Header", {0.5, -1, 0.25}, "16"));
  const std::string target = out_ + "/sample.spa";
  ASSERT_EQ(convert({trace}, target), S_OK);
  readback::NativeFile file;
  ASSERT_TRUE(readback::read(target, &file));
  const AP7_SPECTRUM* sample = file.spectra[0].sample;
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(values(sample), (std::vector<float>{0.5f, -1.0f, 0.25f}));
  EXPECT_EQ(packed(sample->header->data.NumScans), 16u);
  EXPECT_EQ(packed(sample->header->data.LaserFreq), 15798.5f);
  EXPECT_EQ(file.spectra[0].background, nullptr);
}

TEST_F(EndToEnd, BothInterferogramsOfAThreeElementTraceAreStored) {
  gamlwriter::Trace trace = full_trace();
  trace.elements.push_back(interferogram_element("Archived Background Interferogram Header", {1, 2, 3, 4}, "64"));
  trace.elements.push_back(interferogram_element("Archived Sample Interferogram Header", {5, 6}, "32"));
  const std::string target = out_ + "/both.spa";
  ASSERT_EQ(convert({trace}, target), S_OK);
  readback::NativeFile file;
  ASSERT_TRUE(readback::read(target, &file));
  ASSERT_NE(file.spectra[0].background, nullptr);
  ASSERT_NE(file.spectra[0].sample, nullptr);
  EXPECT_EQ(values(file.spectra[0].background), (std::vector<float>{1, 2, 3, 4}));
  EXPECT_EQ(packed(file.spectra[0].background->header->data.NumScans), 64u);
  EXPECT_EQ(values(file.spectra[0].sample), (std::vector<float>{5, 6}));
}

TEST_F(EndToEnd, ScanCountsBeyondTheHeadersCheckedRangeAreStoredAsGiven) {
  // The header's checked set of scan counts ends at 65536; the field is a
  // u32 and the document's count is what the file must hold.
  gamlwriter::Trace trace = full_trace();
  trace.elements[0].parameters = {{"Spectrum Header", "NumScans", "100000"}};
  trace.elements.push_back(interferogram_element("Archived Sample Interferogram Header", {0.5, -1, 0.25}, "65537"));
  const std::string target = out_ + "/many.spa";
  ASSERT_EQ(convert({trace}, target), S_OK);
  readback::NativeFile file;
  ASSERT_TRUE(readback::read(target, &file));
  EXPECT_EQ(packed(file.spectra[0].spectrum->header->data.NumScans), 100000u);
  ASSERT_NE(file.spectra[0].sample, nullptr);
  EXPECT_EQ(packed(file.spectra[0].sample->header->data.NumScans), 65537u);
}

TEST_F(EndToEnd, ATraceThatFailsLeavesNoFile) {
  gamlwriter::Trace broken = full_trace();
  broken.elements[0].children[0].values.numbers.clear();
  const std::string target = out_ + "/broken.spa";
  EXPECT_EQ(convert({broken}, target), E_FAIL);
  EXPECT_TRUE(fs::is_empty(out_));
}

std::vector<gamlwriter::Trace> named_traces(std::initializer_list<const char*> names) {
  std::vector<gamlwriter::Trace> traces;
  float offset = 0;
  for (const char* name : names) {
    gamlwriter::Trace trace;
    trace.name = name;
    trace.elements = {element(400, 4000, {offset, offset + 1, offset + 2})};
    traces.push_back(trace);
    offset += 10;
  }
  return traces;
}

std::vector<std::string> titles(const readback::NativeFile& file) {
  std::vector<std::string> found;
  for (const readback::Spectrum& read : file.spectra) found.push_back(read.spectrum->header->data.title);
  return found;
}

TEST_F(EndToEnd, SeveralTracesBecomeAGroupFileWithTheMembersInDocumentOrder) {
  std::vector<gamlwriter::Trace> traces = named_traces({"first", "second", "third"});
  traces[0].elements.push_back(interferogram_element("Archived Background Interferogram Header", {1, 2}, "64"));
  traces[0].elements.push_back(interferogram_element("Archived Sample Interferogram Header", {3, 4, 5}, "32"));
  traces[1].elements.push_back(interferogram_element("Archived Sample Interferogram Header", {6, 7}, "16"));
  const std::string target = out_ + "/three.spg";
  ASSERT_EQ(convert(traces, target), S_OK);
  EXPECT_EQ(file_type(target), 10u);
  EXPECT_EQ(converter_->ValidateFormat(text(target).get(), text(u"KOV_TLVO").get()), S_OK);
  readback::NativeFile file;
  ASSERT_TRUE(readback::read(target, &file));
  EXPECT_EQ(file.format_class, AP52_CLASS_ID);
  EXPECT_EQ(titles(file), (std::vector<std::string>{"first", "second", "third"}));
  EXPECT_EQ(values(file.spectra[1].spectrum), (std::vector<float>{10, 11, 12}));
  ASSERT_NE(file.spectra[0].background, nullptr);
  ASSERT_NE(file.spectra[0].sample, nullptr);
  EXPECT_EQ(values(file.spectra[0].background), (std::vector<float>{1, 2}));
  EXPECT_EQ(values(file.spectra[0].sample), (std::vector<float>{3, 4, 5}));
  ASSERT_NE(file.spectra[1].sample, nullptr);
  EXPECT_EQ(values(file.spectra[1].sample), (std::vector<float>{6, 7}));
  EXPECT_EQ(file.spectra[1].background, nullptr);
  EXPECT_EQ(file.spectra[2].sample, nullptr);
  EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(out_), fs::directory_iterator()),
            std::vector<fs::path>{target});  // no probe file stays
}

TEST_F(EndToEnd, ATraceBeforeTheLastThatFailsIsLeftOutOfTheGroup) {
  std::vector<gamlwriter::Trace> traces = named_traces({"first", "second", "third"});
  traces[1].elements[0].children.clear();
  const std::string target = out_ + "/two.spg";
  ASSERT_EQ(convert(traces, target), S_OK);
  readback::NativeFile file;
  ASSERT_TRUE(readback::read(target, &file));
  EXPECT_EQ(titles(file), (std::vector<std::string>{"first", "third"}));
}

TEST_F(EndToEnd, AFailingLastTraceFailsTheJobAndLeavesNoFile) {
  std::vector<gamlwriter::Trace> traces = named_traces({"first", "second", "third"});
  traces[2].elements[0].children.clear();
  EXPECT_EQ(convert(traces, out_ + "/none.spg"), E_FAIL);
  EXPECT_TRUE(fs::is_empty(out_));
}

TEST_F(EndToEnd, ADocumentWithoutTracesIsSavedAsAnEmptyGroup) {
  const std::string target = out_ + "/empty.spg";
  ASSERT_EQ(convert({}, target), S_OK);
  EXPECT_EQ(file_type(target), 10u);
  readback::NativeFile file;
  ASSERT_TRUE(readback::read(target, &file));
  EXPECT_TRUE(file.spectra.empty());
}

TEST_F(EndToEnd, TwoThousandTracesOf4096PointsConvert) {
  std::vector<gamlwriter::Trace> traces(2000);
  std::vector<double> y(4096);
  for (size_t i = 0; i < y.size(); ++i) y[i] = static_cast<double>(i % 97) / 97.0;
  for (size_t t = 0; t < traces.size(); ++t) {
    traces[t].name = "trace " + std::to_string(t + 1);
    traces[t].parameters = {{"History", "1", "Collected"}};
    traces[t].elements = {element(4000, 400, y)};
  }
  const std::string target = out_ + "/large.spg";
  ASSERT_EQ(convert(traces, target), S_OK);
  EXPECT_EQ(file_type(target), 10u);
  uint16_t format = 0;
  AP_OBJECT* group = readback::open_detected(AP51_CLASS_ID, target, &format);
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(format, AP52_CLASS_ID);
  EXPECT_EQ(GU2_DoMethod_MSG(AP51_MSG_MEMBER_COUNT, group, nullptr), 2000u);
  AP7_SPECTRUM* last = readback::read_spectrum(AP51_MSG_READ_MEMBER, group, reinterpret_cast<void*>(1999));
  ASSERT_NE(last, nullptr);
  EXPECT_STREQ(last->header->data.title, "trace 2000");
  EXPECT_EQ(packed(last->header->data.points), 4096u);
  ap7a_Delete(last, nullptr);
  readback::close_and_destroy(group);
}

}  // namespace
}  // namespace convertertest
