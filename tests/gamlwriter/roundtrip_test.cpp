// GAML to a native group, the group to GAML through the export converter,
// and that GAML to a native group again: the two groups hold the same
// spectra, member by member: the whole header record (title, time, X range,
// units, every mapped parameter), the Y values bit for bit, the history
// text and the stored interferograms.
#include <cmath>
#include <cstring>
#include <limits>

#include "gamlwriter/export_fixture.h"

namespace exporttest {
namespace {

using gamlwriter::Parameter;

// The first byte where two header records differ, or -1.
int first_difference(const AP41_HEADERDATA& a, const AP41_HEADERDATA& b) {
  const auto* left = reinterpret_cast<const unsigned char*>(&a);
  const auto* right = reinterpret_cast<const unsigned char*>(&b);
  for (size_t at = 0; at < sizeof a; ++at) {
    if (left[at] != right[at]) return static_cast<int>(at);
  }
  return -1;
}

void expect_same(const AP7_SPECTRUM* first, const AP7_SPECTRUM* second, const std::string& what) {
  ASSERT_EQ(first == nullptr, second == nullptr) << what;
  if (first == nullptr) return;
  EXPECT_EQ(first_difference(first->header->data, second->header->data), -1) << what;
  const uint32_t points = first->header->data.points;
  ASSERT_EQ(uint32_t{second->header->data.points}, points) << what;
  EXPECT_EQ(std::memcmp(ap7b_GetDataPtr(first), ap7b_GetDataPtr(second), points * sizeof(float)), 0) << what;
}

gamlwriter::Xdata interferogram(const char* section, std::vector<double> y, const char* scans, const char* laser) {
  gamlwriter::Xdata xdata =
      convertertest::element(0, static_cast<double>(y.size() - 1), std::move(y), "POINTS", "VOLTS");
  xdata.parameters = {{section, "NumScans", scans}, {section, "FinalPeakPos", "1"}, {section, "Laser", laser}};
  return xdata;
}

// Three traces over two dates: every mapped parameter on the first, with
// both interferograms; the sample interferogram alone on the second; on
// the third, descending X, other units, a missing value and no parameters.
std::vector<gamlwriter::Experiment> source_document() {
  gamlwriter::Trace full;
  full.name = "Polystyrene film, 4 cm-1";
  full.parameters = {{"Bench Info", "BenchID", "7"},       {"Bench Info", "Gain", "2.5"},
                     {"Bench Info", "Velocity", "0.6329"}, {"Bench Info", "DetectorID", "41"},
                     {"Bench Info", "BeamSplitterID", "6"}, {"Bench Info", "SourceID", "3"},
                     {"Bench Info", "ADBits", "24"},       {"Bench Info", "HPF", "0.1"},
                     {"Bench Info", "LPF", "11000.5"},     {"History", "1", "Collected"},
                     {"History", "2", "  at 4 cm-1"},      {"History", "3", "Converted"}};
  gamlwriter::Xdata spectrum = convertertest::element(399.5, 4000.25, {0.25, -0.125, 1e-30, 3.4e38, 0.1});
  const char* header = "Spectrum Header";
  spectrum.parameters = {{header, "Duration", "2900"},        {header, "LaserFreq", "15798.002"},
                         {header, "FinalPeakPos", "2048"},    {header, "NumScanPts", "16384"},
                         {header, "NumTransformPts", "32768"}, {header, "NumPostPeakPts", "7"},
                         {header, "NumScans", "32"},          {header, "BKNumScans", "64"},
                         {header, "SSP", "1.5"},              {header, "ApodID", "3"},
                         {header, "BKGain", "4"},             {header, "PhaseCorrID", "2"},
                         {header, "Aperture", "33.3"},        {header, "BadScans", "-1"},
                         {header, "BKBadScans", "2"},         {header, "CollectErrorMap", "0xDEADBEEF"},
                         {header, "BKCollectErrorMap", "ff"}};
  full.elements = {spectrum,
                   interferogram("Archived Background Interferogram Header", {1, 2, 3, 4}, "64", "15798.5"),
                   interferogram("Archived Sample Interferogram Header", {5, -6}, "32", "15797.25")};

  gamlwriter::Trace second;
  second.name = "Second";
  second.parameters = {{"Bench Info", "DetectorID", "14"}, {"Bench Info", "BeamSplitterID", "15"}};
  second.elements = {convertertest::element(400, 4000, {1, 2, 3}),
                     interferogram("Archived Sample Interferogram Header", {0.5, 0.75, -1}, "16", "15798")};

  gamlwriter::Trace third;
  third.name = "Third";
  third.elements = {convertertest::element(25, 2.5, {0.5, std::numeric_limits<double>::quiet_NaN(), 0.75},
                                           "MICRONS", "TRANSMITTANCE")};

  std::vector<gamlwriter::Experiment> experiments = convertertest::experiment({full, second});
  experiments.push_back(convertertest::experiment({third}, "2025-01-02T03:04:05")[0]);
  return experiments;
}

TEST_F(GamlExport, GamlToGroupToGamlToGroupKeepsEverySpectrum) {
  const std::string source = testsupport::write_file("source.gaml", gamlwriter::document(source_document()));
  ASSERT_EQ(import(source, path("first.spg")), S_OK);
  ASSERT_EQ(export_gaml(path("first.spg"), path("exported.gaml")), S_OK);
  ASSERT_EQ(import(path("exported.gaml"), path("second.spg")), S_OK);

  readback::NativeFile first, second;
  ASSERT_TRUE(readback::read(path("first.spg"), &first));
  ASSERT_TRUE(readback::read(path("second.spg"), &second));
  ASSERT_EQ(first.spectra.size(), 3u);
  ASSERT_EQ(second.spectra.size(), 3u);
  for (size_t m = 0; m < 3; ++m) {
    const readback::Spectrum& a = first.spectra[m];
    const readback::Spectrum& b = second.spectra[m];
    const std::string what = "member " + std::to_string(m);
    expect_same(a.spectrum, b.spectrum, what);
    EXPECT_STREQ(ap7d_GetHistoryText(a.spectrum), ap7d_GetHistoryText(b.spectrum)) << what;
    expect_same(a.background, b.background, what + " background");
    expect_same(a.sample, b.sample, what + " sample");
  }
  // What the first conversion made of the source, so that the comparison
  // above compares something.
  const AP41_HEADERDATA& full = first.spectra[0].spectrum->header->data;
  EXPECT_STREQ(full.title, "Polystyrene film, 4 cm-1");
  EXPECT_EQ(packed(full.DetectorID), 19u);
  EXPECT_EQ(packed(full.CollectErrorMap), 0xDEADBEEFu);
  EXPECT_EQ(packed(full.BadScans), 0xFFFFFFFFu);
  EXPECT_EQ(packed(full.Gain), 2.5f);
  EXPECT_EQ(packed(full.HPF), 0.1f);
  EXPECT_STREQ(ap7d_GetHistoryText(first.spectra[0].spectrum), "Collected\r\n  at 4 cm-1\r\n\t Converted");
  EXPECT_NE(first.spectra[0].background, nullptr);
  EXPECT_NE(first.spectra[1].sample, nullptr);
  EXPECT_EQ(first.spectra[1].background, nullptr);
  EXPECT_NE(packed(first.spectra[0].spectrum->header->data.time), packed(first.spectra[2].spectrum->header->data.time));
  EXPECT_TRUE(std::isnan(values(first.spectra[2].spectrum)[1]));
}

// A native single-spectrum file is exported as a document of one trace,
// which the converter makes a single-spectrum file again.
TEST_F(GamlExport, ASingleSpectrumFileComesBackAsOne) {
  std::vector<gamlwriter::Experiment> one = source_document();
  one.resize(1);
  one[0].traces.resize(1);
  const std::string source = testsupport::write_file("one.gaml", gamlwriter::document(one));
  ASSERT_EQ(import(source, path("first.spa")), S_OK);
  ASSERT_EQ(export_gaml(path("first.spa"), path("exported.gaml")), S_OK);
  ASSERT_EQ(import(path("exported.gaml"), path("second.spa")), S_OK);
  readback::NativeFile first, second;
  ASSERT_TRUE(readback::read(path("first.spa"), &first));
  ASSERT_TRUE(readback::read(path("second.spa"), &second));
  EXPECT_EQ(second.format_class, AP45_CLASS_ID);
  ASSERT_EQ(second.spectra.size(), 1u);
  expect_same(first.spectra[0].spectrum, second.spectra[0].spectrum, "spectrum");
  expect_same(first.spectra[0].background, second.spectra[0].background, "background");
  expect_same(first.spectra[0].sample, second.spectra[0].sample, "sample");
  EXPECT_NE(second.spectra[0].sample, nullptr);
}

}  // namespace
}  // namespace exporttest
