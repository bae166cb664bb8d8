// Collection-parameter comparison and derivation against host settings
// objects made here: a class of this test that keeps parameters by number,
// refuses the ones it is told to, turns raw detector and beam-splitter
// values into codes (messages 90 and 89) and records message 71.
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "processing_fixture.h"

using namespace spectrumtest;

namespace {

constexpr uint16_t kHostClass = 212;

struct HostSettings {
  uint16_t class_id = kHostClass;
  std::map<uint16_t, uint32_t> values;
  std::set<uint16_t> narrow;   // 16-bit parameters
  std::set<uint16_t> refused;  // refused by validation
  std::vector<uint16_t> notices;

  void set_real(uint16_t index, float value) { std::memcpy(&values[index], &value, sizeof value); }
  float real(uint16_t index) const {
    float value = 0.0f;
    std::memcpy(&value, &values.at(index), sizeof value);
    return value;
  }
};

uint32_t host_dispatcher(void* object, uint16_t message, void* parameter) {
  auto* host = static_cast<HostSettings*>(object);
  switch (message) {
    case GU2_MSG_GET_PARM_VALUE: {
      const auto* block = static_cast<const GU2_PARMVALUE*>(parameter);
      const uint16_t index = block->index;
      const auto found = host->values.find(index);
      if (found == host->values.end()) return 0;
      std::memcpy(block->value, &found->second, host->narrow.count(index) != 0 ? 2 : 4);
      return 1;
    }
    case GU2_MSG_SET_PARM_VALUE: {
      const auto* block = static_cast<const GU2_PARMVALUE*>(parameter);
      const uint16_t index = block->index;
      uint32_t value = 0;
      std::memcpy(&value, block->value, host->narrow.count(index) != 0 ? 2 : 4);
      host->values[index] = value;
      return 1;
    }
    case AP13_MSG_VALIDATE_PARM: {
      const auto* block = static_cast<const AP13_VALUEPARM*>(parameter);
      return host->refused.count(block->index) != 0 ? 0 : 1;
    }
    case AP7E_BENCH_MSG_DETECTOR_CODE: return *static_cast<const uint32_t*>(parameter) / 10;
    case AP7E_BENCH_MSG_BEAMSPLITTER_CODE: return *static_cast<const uint32_t*>(parameter) / 100;
    case AP7E_BENCH_MSG_FILLED: host->notices.push_back(message); return 1;
    default: return 0;
  }
}

class Collect : public ProcessingTest {
 protected:
  void SetUp() override {
    ProcessingTest::SetUp();
    GU2_ImmedSetDispatcher(kHostClass, host_dispatcher);
    spectrum_ = keep(make_ramp(16, 400.0f, 4000.0f));
    AP41_HEADERDATA& r = record(spectrum_);
    r.x_units = 1;
    r.y_units = kAbsorbance;
    r.time = 1234;
    r.BenchID = 3;
    r.DetectorID = 7;
    r.SourceID = 2;
    r.BeamSplitterID = 5;
    r.Aperture = 50.0f;
    r.Velocity = 0.6329f;
    r.SSP = 2.0f;
    r.HPF = 0.0f;
    r.LPF = 11000.0f;
    r.ADBits = 16;
    r.Gain = 1.0f;
    r.NumScanPts = 8000;
    r.LaserFreq = 15798.0f;
    r.p40 = 1;
    r.NumScans = 32;
    r.BKNumScans = 32;
    r.FinalPeakPos = 1024;
    r.NumPostPeakPts = 4096;    // resolution 2097152 / 2 / 4096 / 64 = 4
    r.NumTransformPts = 16384;  // zero fill code 1: 4096 >= 16384 / 4
    r.ApodID = 3;
    r.PhaseCorrID = 1;
    // Settings that agree with the spectrum.
    bench_.values = {{1, 3}, {3, 70}, {4, 2}, {5, 500}, {11, 16}, {15, 8000}, {27, 1}};
    bench_.narrow = {11};
    for (auto [index, value] : std::vector<std::pair<uint16_t, float>>{
             {6, 50.0f}, {7, 0.6329f}, {8, 2.0f}, {9, 0.0f}, {10, 11000.0f}, {12, 1.0f}, {17, 15798.0f},
             {29, 400.0f}, {30, 4000.0f}})
      bench_.set_real(index, value);
    collection_.values = {{1, 32}, {14, 1234}, {6, 1024}, {7, 16384}, {10, 3}, {11, 1}, {16, kAbsorbance}, {15, 1}};
    collection_.narrow = {5, 10, 11, 63};
    collection_.set_real(0, 4.0f);
  }

  uint32_t compare(AP48_TEXT* text, std::vector<uint16_t>& counts, const std::vector<uint16_t>& group,
                   std::vector<uint16_t>& differs, HostSettings* bench) {
    differs.assign(group.size(), 0xFFFF);
    AP7E_COMPAREPARM block{&collection_, bench, text, counts.data(), static_cast<uint16_t>(counts.size() - 1),
                           const_cast<uint16_t*>(group.data()), differs.data(), static_cast<uint16_t>(group.size())};
    return send(AP7_MSG_COMPARE_COLLECT_PARAMS, spectrum_, &block);
  }
  uint32_t derive(HostSettings* bench, uint16_t gain) {
    AP7E_DERIVEPARM block{&collection_, bench, gain};
    return send(AP7_MSG_DERIVE_COLLECT_PARAMS, spectrum_, &block);
  }

  AP7_SPECTRUM* spectrum_ = nullptr;
  HostSettings bench_;
  HostSettings collection_;
};

// Rows 0-15 compare with the bench settings, 16-24 with the collection
// settings.
std::vector<uint16_t> two_groups() {
  std::vector<uint16_t> group(25, 1);
  for (int k = 16; k < 25; ++k) group[k] = 2;
  return group;
}

void add_texts(const std::vector<std::pair<uint16_t, std::vector<utiltest::Record>>>& groups) {
  utiltest::ModuleBuilder builder;
  for (const auto& [number, records] : groups) builder.group(number, records);
  utiltest::add_resource_module("collect_texts.dll", builder);
}

}  // namespace

TEST_F(Collect, ComparisonCountsAndListsTheDifferencesByGroup) {
  add_texts({{AP7E_GROUP_COMPARE_LINES,
              {{1, "%s: detector %s, spectrum %s", 0},
               {4, "%s: aperture %.1f, spectrum %.1f", 0},
               {17, "%s: scans %ld, spectrum %ld", 0}}},
             {AP7E_GROUP_COMPARE_GROUPS, {{1, "Bench", 0}, {2, "Collection", 0}}},
             {AP41_GROUP_DETECTORS, {{7, "DTGS", 0}, {8, "MCT", 0}}}});
  std::vector<uint16_t> counts(3, 0xFFFF);
  std::vector<uint16_t> differs;
  const std::vector<uint16_t> group = two_groups();
  ASSERT_EQ(compare(nullptr, counts, group, differs, &bench_), 1u);
  EXPECT_EQ(counts, (std::vector<uint16_t>{25, 0, 0}));
  EXPECT_EQ(differs, std::vector<uint16_t>(25, 0));

  bench_.values[3] = 80;         // detector code 8
  bench_.set_real(6, 100.0f);    // aperture
  collection_.values[1] = 64;    // scans
  AP48_TEXT* text = new_text("");
  ASSERT_EQ(compare(text, counts, group, differs, &bench_), 1u);
  EXPECT_EQ(counts, (std::vector<uint16_t>{22, 2, 1}));
  std::vector<uint16_t> expected(25, 0);
  expected[1] = 1;
  expected[4] = 1;
  expected[17] = 2;
  EXPECT_EQ(differs, expected);
  const std::string lines = text_of(text);
  destroy(text);
  const size_t scans = lines.find("Collection: scans 64, spectrum 32");
  const size_t detector = lines.find("Bench: detector MCT, spectrum DTGS");
  const size_t aperture = lines.find("Bench: aperture 100.0, spectrum 50.0");
  ASSERT_NE(scans, std::string::npos) << lines;
  ASSERT_NE(detector, std::string::npos) << lines;
  ASSERT_NE(aperture, std::string::npos) << lines;
  EXPECT_LT(scans, detector);  // the higher group first
  EXPECT_LT(detector, aperture);
}

TEST_F(Collect, RowsWithoutTheirObjectOrGroupNeverCount) {
  collection_.values[1] = 64;
  record(spectrum_).Aperture = 75.0f;
  std::vector<uint16_t> group(20, 1);
  group[17] = 0;
  std::vector<uint16_t> counts(2, 0xFFFF);
  std::vector<uint16_t> differs;
  ASSERT_EQ(compare(nullptr, counts, group, differs, nullptr), 1u);
  EXPECT_EQ(counts, (std::vector<uint16_t>{20, 0}));
  EXPECT_EQ(differs, std::vector<uint16_t>(20, 0));

  group[17] = 1;
  ASSERT_EQ(compare(nullptr, counts, group, differs, nullptr), 1u);
  EXPECT_EQ(counts, (std::vector<uint16_t>{19, 1}));
  EXPECT_EQ(differs[17], 1u);
}

TEST_F(Collect, AnUndeterminedZeroFillAlwaysDiffers) {
  record(spectrum_).NumTransformPts = 4194304;  // 4096 points fill no factor up to 128
  collection_.values[15] = 0xFFFFFFFF;
  std::vector<uint16_t> counts(3, 0);
  std::vector<uint16_t> differs;
  ASSERT_EQ(compare(nullptr, counts, two_groups(), differs, &bench_), 1u);
  EXPECT_EQ(differs[24], 2u);
  EXPECT_EQ(derive(&bench_, 0), AP7E_DERIVE_REFUSED);
}

TEST_F(Collect, DerivationFillsBothSettingsSoThatACollectionRepeatsTheSpectrum) {
  add_texts({{AP7E_GROUP_FINAL_FORMATS, {{kAbsorbance, "Absorbance", 0}}}});
  record(spectrum_).BKNumScans = 16;
  record(spectrum_).Gain = 2.0f;
  bench_.values.clear();
  bench_.values[3] = 70;
  bench_.values[5] = 500;
  collection_.values.clear();
  float ssp = 0.0f;
  uint32_t q[8] = {};
  float data_spacing = 0.0f;
  AP1_ConvertParam_MATH(4.0f, 1, 15798.0f, 4000.0f, &ssp, &q[0], &q[1], &q[2], &q[3], &q[4], &q[5], &q[6], &q[7],
                        &data_spacing);

  ASSERT_EQ(derive(&bench_, 1), AP7E_DERIVE_DONE);
  EXPECT_FLOAT_EQ(bench_.real(6), 50.0f);
  EXPECT_FLOAT_EQ(bench_.real(7), 0.6329f);
  EXPECT_FLOAT_EQ(bench_.real(8), ssp);
  EXPECT_FLOAT_EQ(bench_.real(12), 2.0f);
  EXPECT_EQ(bench_.values.at(15), q[0]);
  EXPECT_EQ(bench_.values.at(16), q[6]);
  EXPECT_FLOAT_EQ(bench_.real(29), 400.0f);
  EXPECT_FLOAT_EQ(bench_.real(30), 4000.0f);
  EXPECT_EQ(bench_.notices, std::vector<uint16_t>{AP7E_BENCH_MSG_FILLED});

  EXPECT_FLOAT_EQ(collection_.real(0), 4.0f);
  const std::map<uint16_t, uint32_t> expected = {
      {1, 32},   {5, q[7]},         {6, q[5]}, {7, q[2]},  {8, q[3]},  {9, q[4]},  {10, 3},
      {11, 1},   {15, 1},           {16, kAbsorbance},     {27, q[1]}, {28, 0},    {63, 1},
      {64, 16}};
  for (const auto& [index, value] : expected) EXPECT_EQ(collection_.values.at(index), value) << "K " << index;
}

TEST_F(Collect, DerivationRefusals) {
  add_texts({{AP7E_GROUP_FINAL_FORMATS, {{kAbsorbance, "Absorbance", 0}}}});
  EXPECT_EQ(derive(nullptr, 0), AP7E_DERIVE_REFUSED);
  // A derived value the bench refuses changes nothing.
  bench_.refused = {8};
  const std::map<uint16_t, uint32_t> before = bench_.values;
  EXPECT_EQ(derive(&bench_, 0), AP7E_DERIVE_REFUSED);
  EXPECT_EQ(bench_.values, before);
  EXPECT_TRUE(bench_.notices.empty());
  // A Y unit that gives no final format.
  bench_.refused.clear();
  record(spectrum_).y_units = 20;
  EXPECT_EQ(derive(&bench_, 0), AP7E_DERIVE_NO_FORMAT);
}

// A Raman-shift final format: the bench range is the laser line less the
// spectrum's X limits, the default line when the bench has none.
TEST_F(Collect, RamanShiftRangeIsTheLaserLineLessTheLimits) {
  add_texts({{AP7E_GROUP_RAMAN_FORMATS, {{31, "Raman", 0}}}});
  record(spectrum_).y_units = 31;
  record(spectrum_).x_units = AP41_XUNITS_RAMAN_SHIFT;
  record(spectrum_).first_x = 100.0f;
  record(spectrum_).last_x = 3500.0f;
  ASSERT_EQ(derive(&bench_, 0), AP7E_DERIVE_DONE);
  EXPECT_FLOAT_EQ(bench_.real(29), 9393.642f - 3500.0f);
  EXPECT_FLOAT_EQ(bench_.real(30), 9393.642f - 100.0f);
  EXPECT_EQ(collection_.values.at(16), 32u);
}
