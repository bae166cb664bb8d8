#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "processing/processing_fixture.h"
#include "support/test_home.h"

namespace {

using namespace spectrumtest;

// Fields of a correction table as the file holds them: numbers left in 14
// bytes, texts in 42, blank-filled.
std::string number(const std::string& text) { return text + std::string(14 - text.size(), ' '); }
std::string text(const std::string& value) { return value + std::string(42 - value.size(), ' '); }

struct Table {
  std::string magic = "70493";
  uint32_t y_code = 15;
  uint32_t derivative = 0;
  std::vector<std::string> skipped;
  std::vector<std::vector<std::string>> regions;  // high, low, code
  std::vector<std::vector<std::string>> entries;  // sample, background, codes
  float high = 2000.0f;
  float low = 1000.0f;

  std::string bytes() const {
    std::string b = number(magic) + number(std::to_string(y_code)) + number(std::to_string(derivative)) +
                    number(std::to_string(skipped.size())) + number(std::to_string(regions.size())) +
                    number(std::to_string(entries.size())) + number(std::to_string(high)) +
                    number(std::to_string(low));
    for (const std::string& line : skipped) b += text(line);
    for (const auto& r : regions) b += number(r[0]) + number(r[1]) + number(r[2]);
    for (const auto& e : entries) b += text(e[0]) + text(e[1]) + number(e[2]);
    return b;
  }
};

// A correction file laid out by hand: the 20-byte head, then the rows.
std::string correction_file(uint32_t rows, uint32_t columns, float low, float high, uint32_t derivative,
                            const std::vector<float>& values) {
  std::string b(20, '\0');
  std::memcpy(&b[0], &rows, 4);
  std::memcpy(&b[4], &columns, 4);
  std::memcpy(&b[8], &low, 4);
  std::memcpy(&b[12], &high, 4);
  std::memcpy(&b[16], &derivative, 4);
  b.append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(float));
  return b;
}

class CorrectionTables : public ProcessingTest {
 protected:
  // The host's correction directory is there before the files are made.
  void SetUp() override {
    ProcessingTest::SetUp();
    std::filesystem::create_directories(directory());
  }

  std::string directory() const { return testsupport::home() + "/corrections"; }
  std::string level_file(uint32_t r, uint32_t k) const {
    return directory() + "/_corrn" + std::to_string(r) + std::to_string(k) + ".crn";
  }

  // A stored interferogram on the point axis: a centre burst at point 64
  // and 2048 points after it at a sample spacing of 2.
  std::string stored_interferogram(const std::string& name, double width, float spacing = 2.0f) {
    const uint32_t peak = 64, after = 2048;
    std::vector<float> y(peak + after);
    for (uint32_t i = 0; i < y.size(); ++i) {
      const double t = (static_cast<double>(i) - peak) / width;
      y[i] = static_cast<float>(std::exp(-t * t));
    }
    AP7_SPECTRUM* s = keep(make_axis(0.0f, static_cast<float>(y.size() - 1), y));
    AP41_HEADERDATA& h = record(s);
    h.x_units = 2;
    h.y_units = 22;
    h.SSP = spacing;
    h.LaserFreq = 15798.0f;
    h.FinalPeakPos = peak;
    h.NumPostPeakPts = after;
    h.ApodID = AP4_APODIZE_NONE;
    h.PhaseCorrID = AP4_PHASE_MAGNITUDE;
    const std::string path = testsupport::home() + "/" + name + ".spa";
    EXPECT_EQ(ap7b_SetFilePath(s, path.c_str()), 1);
    EXPECT_EQ(send(AP_MSG_SAVE, s), 1u);
    return path;
  }

  // A spectrum collected with 2048 post-peak points at spacing 2 (level 6)
  // and the transform size given (its zero filling), with the correction
  // taken out.
  AP7_SPECTRUM* corrected(float first_x, float last_x, const std::vector<float>& y, uint32_t transform,
                          float& residual) {
    AP7_SPECTRUM* s = keep(make_axis(first_x, last_x, y));
    record(s).NumPostPeakPts = 2048;
    record(s).NumTransformPts = transform;
    record(s).SSP = 2.0f;
    AP7_SPECTRUM* out = keep(ap7e_ApplyCorrectionFrom(s, directory().c_str(), &residual));
    EXPECT_EQ(values(s), y) << "input untouched";
    return out;
  }

  AP4_ARRAY* read_file(const std::string& path, AP7E_CORRECTIONHEAD& head) {
    AP4_ARRAY* vectors = nullptr;
    if (!ap7e_ReadCorrectionFile(path.c_str(), &head, &vectors)) return nullptr;
    return keep(vectors);
  }
};

TEST_F(CorrectionTables, TableFieldsAreCutAtTheirFirstBlank) {
  Table table;
  table.skipped = {"A comment line", "and another"};
  table.regions = {{"1400.5", "1200", "1"}, {"1500", "1800.25 x", "2"}};
  table.entries = {{"/data/a.spa", "", "21"}, {"/data/b.spa", "/data/bg.spa", "301"}};
  const std::string path = testsupport::write_file("table.txt", table.bytes());
  AP7E_CORRECTIONTABLE read;
  ASSERT_EQ(ap7e_ReadCorrectionTable(path.c_str(), &read), 1);
  EXPECT_EQ(read.y_code, 15u);
  EXPECT_EQ(read.high, 2000.0f);
  EXPECT_EQ(read.low, 1000.0f);
  ASSERT_EQ(read.regions.size(), 2u);
  EXPECT_EQ(read.regions[0].high, 1400.5f);
  EXPECT_EQ(read.regions[0].low, 1200.0f);
  EXPECT_EQ(read.regions[1].high, 1800.25f) << "ordered, the larger first";
  EXPECT_EQ(read.regions[1].code, 2);
  ASSERT_EQ(read.entries.size(), 2u);
  EXPECT_EQ(read.entries[0].sample, "/data/a.spa");
  EXPECT_EQ(read.entries[0].background, "");
  EXPECT_EQ(read.entries[1].background, "/data/bg.spa");
  EXPECT_EQ(read.entries[1].codes, 301);
}

TEST_F(CorrectionTables, TablesThatDoNotHoldWhatTheyCountAreRefused) {
  AP7E_CORRECTIONTABLE read;
  Table wrong_magic;
  wrong_magic.magic = "70492";
  EXPECT_EQ(ap7e_ReadCorrectionTable(testsupport::write_file("magic.txt", wrong_magic.bytes()).c_str(), &read), 0);
  Table table;
  table.entries = {{"/data/a.spa", "", "1"}};
  std::string cut = table.bytes();
  cut.resize(cut.size() - 1);
  EXPECT_EQ(ap7e_ReadCorrectionTable(testsupport::write_file("cut.txt", cut).c_str(), &read), 0);
  // A count far beyond the file is refused before anything is read.
  std::string huge = table.bytes();
  huge.replace(5 * 14, 14, number("2000000000"));
  EXPECT_EQ(ap7e_ReadCorrectionTable(testsupport::write_file("huge.txt", huge).c_str(), &read), 0);
  std::string negative = table.bytes();
  negative.replace(3 * 14, 14, number("-5"));
  EXPECT_EQ(ap7e_ReadCorrectionTable(testsupport::write_file("negative.txt", negative).c_str(), &read), 0);
  std::string blank = table.bytes();
  blank.replace(1 * 14, 14, number(""));
  EXPECT_EQ(ap7e_ReadCorrectionTable(testsupport::write_file("blank.txt", blank).c_str(), &read), 0);
  EXPECT_EQ(ap7e_ReadCorrectionTable((testsupport::home() + "/none.txt").c_str(), &read), 0);
}

TEST_F(CorrectionTables, CorrectionFilesAreReadOnlyWhenTheirSizesAgree) {
  AP7E_CORRECTIONHEAD head{};
  const std::vector<float> v = {1, 2, 3, 4, 5, 6};
  AP4_ARRAY* read = read_file(testsupport::write_file("ok.crn", correction_file(2, 3, 10, 20, 1, v)), head);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(packed(head.rows), 2u);
  EXPECT_EQ(packed(head.columns), 3u);
  EXPECT_EQ(packed(head.low), 10.0f);
  EXPECT_EQ(packed(head.high), 20.0f);
  EXPECT_EQ(packed(head.derivative), 1u);
  EXPECT_EQ(arraytest::values(read), v);
  struct Case {
    const char* name;
    std::string bytes;
  };
  std::string longer = correction_file(2, 3, 10, 20, 0, v) + "x";
  const Case bad[] = {{"short.crn", correction_file(2, 3, 10, 20, 0, {1, 2, 3, 4, 5})},
                      {"long.crn", longer},
                      {"head.crn", correction_file(2, 3, 10, 20, 0, {}).substr(0, 12)},
                      {"wrap.crn", correction_file(0x10000, 0x10000, 10, 20, 0, v)},
                      {"zero.crn", correction_file(0, 3, 10, 20, 0, {})}};
  for (const Case& c : bad) {
    AP4_ARRAY* vectors = reinterpret_cast<AP4_ARRAY*>(1);
    EXPECT_EQ(ap7e_ReadCorrectionFile(testsupport::write_file(c.name, c.bytes).c_str(), &head, &vectors), 0)
        << c.name;
    EXPECT_EQ(vectors, nullptr) << c.name;
  }
}

// The spectrum's header picks the file: zero filling from the transform
// size, resolution from the post-peak span.
TEST_F(CorrectionTables, RemovingTheVectorsLeavesWhatIsOrthogonalToThem) {
  const uint32_t n = 10;
  // Two orthonormal vectors over points 2..7 of the spectrum.
  const float h = static_cast<float>(1.0 / std::sqrt(2.0));
  const std::vector<float> v1 = {h, 0, 0, h, 0, 0}, v2 = {0, h, -h, 0, 0, 0};
  std::vector<float> rows = v1;
  rows.insert(rows.end(), v2.begin(), v2.end());
  testsupport::write_file("corrections/_corrn63.crn", correction_file(2, 6, 102.0f, 107.0f, 0, rows));
  std::vector<float> w = {1, 1, 0, 0, 0, 0, 5, 4, 1, 1};
  std::vector<float> y = w;
  for (uint32_t j = 0; j < 6; ++j) y[2 + j] += 2.0f * v1[j] - 3.0f * v2[j];
  float residual = 0.0f;
  AP7_SPECTRUM* out = corrected(100.0f, 109.0f, y, 16 * 2048, residual);
  ASSERT_NE(out, nullptr);
  const std::vector<float> got = values(out);
  for (uint32_t i = 0; i < n; ++i) EXPECT_NEAR(got[i], w[i], 1e-5) << i;
  double norm = 0.0;
  for (float value : w) norm += value * value;
  EXPECT_NEAR(residual, std::sqrt(norm), 1e-4);
  // Another zero filling names a file that is not there.
  EXPECT_EQ(corrected(100.0f, 109.0f, y, 4 * 2048, residual), nullptr);
  EXPECT_TRUE(std::isnan(residual));
}

TEST_F(CorrectionTables, WithTheDerivativeFlagDifferencesAreCorrectedAndSummedBack) {
  // The differences of points two apart are 5 x v over points 0..3; the
  // correction takes them away, leaving the two starting values repeated.
  const float h = 0.5f;
  const std::vector<float> v = {h, h, -h, h};
  testsupport::write_file("corrections/_corrn60.crn", correction_file(1, 4, 0.0f, 3.0f, 1, v));
  std::vector<float> y = {1.0f, -2.0f, 0, 0, 0, 0, 0, 0};
  for (size_t i = 2; i < y.size(); ++i) y[i] = y[i - 2] + (i - 2 < v.size() ? 5.0f * v[i - 2] : 0.0f);
  float residual = -1.0f;
  AP7_SPECTRUM* out = corrected(0.0f, 7.0f, y, 2 * 2048, residual);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(values(out), (std::vector<float>{1, -2, 1, -2, 1, -2, 1, -2}));
  EXPECT_NEAR(residual, 0.0f, 1e-5);
}

TEST_F(CorrectionTables, WithoutTheHostSettingsNoFileIsTouched) {
  Table table;
  const std::string path = testsupport::write_file("table.txt", table.bytes());
  EXPECT_EQ(send(AP7_MSG_BUILD_CORRECTION_FILES, nullptr, const_cast<char*>(path.c_str())), 0u);
  AP7_SPECTRUM* s = keep(make_ramp(4, 0.0f, 3.0f));
  EXPECT_EQ(send(AP7_MSG_BUILD_CORRECTION_FILES, s, const_cast<char*>(path.c_str())), 0u);
  float residual = 0.0f;
  EXPECT_EQ(send(AP7_MSG_APPLY_CORRECTION_FILE, s, &residual), 0u);
  EXPECT_TRUE(std::isnan(residual));
}

// The first interferogram's 2048 post-peak points at spacing 2 reach level
// 6 only: its three files get the vectors, the other files go.
TEST_F(CorrectionTables, BuiltFilesHoldOrthonormalRegionVectorsAndRoundTrip) {
  const std::string sample = stored_interferogram("sample", 2.0);
  Table table;
  table.regions = {{"1400", "1200", "1"}, {"1800", "1500", "2"}, {"1950", "1900", "3"}};
  table.entries = {{sample, "", "21"}, {sample, "", "0"}};
  const std::string path = testsupport::write_file("table.txt", table.bytes());
  const std::string stale = testsupport::write_file("corrections/_corrn00.crn", "stale");
  ASSERT_EQ(ap7e_BuildCorrectionFilesIn(path.c_str(), directory().c_str()), 1);
  // The limits move outwards onto the grid of the laser reference.
  const double step = AP1_GetLaserRef_MATH(1) / 2.0 / 2048.0;
  ASSERT_GT(step, 0.0);
  const auto low = static_cast<float>(std::trunc(1000.0 / step) * step);
  const auto high = static_cast<float>(std::trunc(2000.0 / step + 0.99) * step);
  EXPECT_FALSE(testsupport::file_exists(stale));
  for (uint32_t r = 1; r < 6; ++r) EXPECT_FALSE(testsupport::file_exists(level_file(r, 0))) << r;
  for (uint32_t k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    AP7E_CORRECTIONHEAD head{};
    AP4_ARRAY* vectors = read_file(level_file(6, k), head);
    ASSERT_NE(vectors, nullptr);
    ASSERT_EQ(packed(head.rows), 2u) << "digits 1 and 2 of 21; the code 0 gives none";
    EXPECT_NEAR(packed(head.low), low, 1e-3);
    EXPECT_NEAR(packed(head.high), high, 1e-3);
    EXPECT_EQ(packed(head.derivative), 0u);
    const uint32_t c = head.columns;
    ASSERT_GT(c, 100u);
    const std::vector<float> v = arraytest::values(vectors);
    double dot = 0.0, n0 = 0.0, n1 = 0.0;
    for (uint32_t j = 0; j < c; ++j) {
      dot += double{v[j]} * v[c + j];
      n0 += double{v[j]} * v[j];
      n1 += double{v[c + j]} * v[c + j];
      const float x = head.low + (head.high - head.low) * static_cast<float>(j) / static_cast<float>(c - 1);
      // Each row lies in its own region, the chord taken off.
      if (x < 1195.0f || x > 1405.0f) {
        EXPECT_EQ(v[j], 0.0f) << j;
      }
      if (x < 1495.0f || x > 1805.0f) {
        EXPECT_EQ(v[c + j], 0.0f) << j;
      }
    }
    EXPECT_NEAR(n0, 1.0, 1e-4);
    EXPECT_NEAR(n1, 1.0, 1e-4);
    EXPECT_NEAR(dot, 0.0, 1e-5);

    // Applied to a spectrum on the vectors' own axis made of them and a
    // part outside both regions, only that part stays.
    std::vector<float> w(c, 0.0f), y(c);
    for (uint32_t j = 0; j < c; ++j) {
      const float x = head.low + (head.high - head.low) * static_cast<float>(j) / static_cast<float>(c - 1);
      if (x > 1850.0f) w[j] = 0.25f;
      y[j] = w[j] + 4.0f * v[j] - 1.5f * v[c + j];
    }
    float residual = 0.0f;
    AP7_SPECTRUM* out = corrected(head.low, head.high, y, 2048u << (k + 1), residual);
    ASSERT_NE(out, nullptr);
    const std::vector<float> got = values(out);
    for (uint32_t j = 0; j < c; ++j) EXPECT_NEAR(got[j], w[j], 1e-4) << j;
  }
}

TEST_F(CorrectionTables, AFailedStepLeavesEveryFileAsItWas) {
  const std::string sample = stored_interferogram("sample", 2.0);
  Table table;
  table.regions = {{"1400", "1200", "1"}};
  // The second entry's interferogram cannot be read.
  table.entries = {{sample, "", "1"}, {testsupport::home() + "/missing.spa", "", "1"}};
  const std::string path = testsupport::write_file("table.txt", table.bytes());
  const std::string kept = testsupport::write_file("corrections/_corrn60.crn", "kept");
  const std::string stale = testsupport::write_file("corrections/_corrn00.crn", "stale");
  EXPECT_EQ(ap7e_BuildCorrectionFilesIn(path.c_str(), directory().c_str()), 0);
  EXPECT_EQ(testsupport::read_file(kept), "kept");
  EXPECT_EQ(testsupport::read_file(stale), "stale");
  // So is a region that holds no point of the spectrum.
  table.regions = {{"6000", "5000", "1"}};
  table.entries = {{sample, "", "1"}};
  EXPECT_EQ(ap7e_BuildCorrectionFilesIn(testsupport::write_file("table.txt", table.bytes()).c_str(),
                                        directory().c_str()),
            0);
  EXPECT_EQ(testsupport::read_file(kept), "kept");
}

// An absorbance table ratios each sample against its background; a first
// interferogram of too short a span is refused.
TEST_F(CorrectionTables, BackgroundsAreRatioedAndShortSpansRefused) {
  const std::string sample = stored_interferogram("sample", 2.0);
  const std::string background = stored_interferogram("background", 3.0);
  Table table;
  table.y_code = 17;
  table.regions = {{"1400", "1200", "1"}};
  table.entries = {{sample, background, "1"}};
  ASSERT_EQ(ap7e_BuildCorrectionFilesIn(testsupport::write_file("table.txt", table.bytes()).c_str(),
                                        directory().c_str()),
            1);
  AP7E_CORRECTIONHEAD head{};
  ASSERT_NE(read_file(level_file(6, 0), head), nullptr);
  EXPECT_EQ(packed(head.rows), 1u);
  table.entries = {{sample, "", "1"}};
  EXPECT_EQ(ap7e_BuildCorrectionFilesIn(testsupport::write_file("table.txt", table.bytes()).c_str(),
                                        directory().c_str()),
            0)
      << "absorbance needs a background";
  const std::string short_span = stored_interferogram("short", 2.0, 1.0f);
  table.y_code = 15;
  table.entries = {{short_span, "", "1"}};
  EXPECT_EQ(ap7e_BuildCorrectionFilesIn(testsupport::write_file("table.txt", table.bytes()).c_str(),
                                        directory().c_str()),
            0)
      << "2048 points at spacing 1 span less than 4096";
}

}  // namespace
