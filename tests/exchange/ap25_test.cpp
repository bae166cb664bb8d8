// The X-Y pairs format class: the format test on first lines, the reader
// over files of every shape (separators, headings, missing values, short
// and long files and lines, the last line without its end), the writer's
// lines, and spectra made from pairs (messages 168 and 250), including the
// round trip of a spectrum through a file and a file in descending X.
#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "exchange/exchange_fixture.h"

namespace {

constexpr uint16_t kPairs = AP25_CLASS_ID;
using PairList = std::vector<std::pair<float, float>>;

class XYPairs : public exchangetest::ExchangeFiles {
 protected:
  // The separator of a typical machine; the library's own default is ';'.
  void SetUp() override {
    ExchangeFiles::SetUp();
    set_list_separator(',');
  }
  static void set_list_separator(char separator) { GUX_SetInternationalChar(separator, GUX_LIST); }

  uint32_t format_test(const std::string& content) {
    testsupport::write_file("p.txt", content);
    AP21_SPECTRUM_FILE* spectrum_file = opened("p.txt", AP20_MODE_READ, kPairs);
    EXPECT_NE(spectrum_file, nullptr);
    return spectrum_file != nullptr ? send(AP21_FORMAT_TEST, format_of(spectrum_file)) : 0;
  }

  // The pairs the format object reads from a file of that content; null
  // when none.
  AP_OBJECT* read_pairs(const std::string& content) {
    testsupport::write_file("p.txt", content);
    AP21_SPECTRUM_FILE* spectrum_file = opened("p.txt", AP20_MODE_READ, kPairs);
    if (spectrum_file == nullptr) return nullptr;
    AP_OBJECT* pairs = keep_object(ap_result_object<AP_OBJECT>(send(AP21_FORMAT_READ, format_of(spectrum_file))));
    close(spectrum_file);
    if (pairs != nullptr) {
      EXPECT_EQ(pairs->class_id, AP9_CLASS_ID);
    }
    return pairs;
  }
  static PairList pair_list(AP_OBJECT* pairs) {
    PairList list;
    const uint32_t count = send(AP9_MSG_GET_COUNT, pairs);
    for (uint32_t index = 0; index < count; ++index) {
      uint16_t tag = 1;
      float x = 0;
      float y = 0;
      AP9_GETPARM parameter{index, &tag, &x, &y};
      EXPECT_EQ(send(AP9_MSG_GET_PAIR, pairs, &parameter), 1u);
      EXPECT_EQ(tag, 0);
      list.emplace_back(x, y);
    }
    return list;
  }
  PairList read_list(const std::string& content) {
    AP_OBJECT* pairs = read_pairs(content);
    return pairs != nullptr ? pair_list(pairs) : PairList{};
  }

  // A format object of the class, for the messages that need no file.
  AP_OBJECT* pairs_format() {
    if (format_ == nullptr) {
      testsupport::write_file("f.txt", "");
      AP21_SPECTRUM_FILE* spectrum_file = opened("f.txt", AP20_MODE_READ, kPairs);
      format_ = spectrum_file != nullptr ? format_of(spectrum_file) : nullptr;
    }
    return format_;
  }
  // The spectrum made from the pairs by messages 168 and 250.
  AP7_SPECTRUM* spectrum_from(AP_OBJECT* pairs) {
    AP7_SPECTRUM* made = keep(ap_result_object<AP7_SPECTRUM>(
        send(AP25_MSG_HEADER_FROM_PAIRS, pairs_format(), pairs)));
    if (made == nullptr) return nullptr;
    AP25_DATAPARM parameter{reinterpret_cast<AP_OBJECT*>(made), pairs};
    EXPECT_EQ(send(AP25_MSG_DATA_FROM_PAIRS, pairs_format(), &parameter), 1u);
    return made;
  }

  std::string written(AP7_SPECTRUM* spectrum) {
    EXPECT_EQ(write_as("w.txt", kPairs, spectrum), 1u);
    return testsupport::read_file(path("w.txt"));
  }

 private:
  AP_OBJECT* format_ = nullptr;
};

// ---------------------------------------------------------------------------
// Format test

struct TestCase {
  const char* name;
  char separator;
  std::string content;
  uint32_t answer;
};

class PairsFormatTest : public XYPairs, public testing::WithParamInterface<TestCase> {};

TEST_P(PairsFormatTest, LooksAtTheFirstTwoPiecesOfTheFirstLine) {
  set_list_separator(GetParam().separator);
  EXPECT_EQ(format_test(GetParam().content), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(
    FirstLines, PairsFormatTest,
    testing::Values(TestCase{"comma_pair", ',', "4000.0,0.5\r\n3998.0,0.6\r\n", 1},
                    TestCase{"semicolon_pair", ';', "4000.0;0.5\n", 1},
                    TestCase{"tab_pair", ',', "4000.0\t0.5", 1},
                    TestCase{"blank_pair", ',', "  4000.0   0.5\n", 1},
                    TestCase{"one_number", ',', "4000.0\n", 0}, TestCase{"one_word", ',', "spectrum\n", 0},
                    TestCase{"heading", ',', "wavenumber,absorbance\n4000,0.5\n", 0},
                    TestCase{"other_separator", ';', "4000.0,0.5\n", 0}, TestCase{"empty", ',', "", 0},
                    TestCase{"line_end_first", ',', "\n4000,1\n", 0}),
    [](const testing::TestParamInfo<TestCase>& info) { return std::string(info.param.name); });

TEST_F(XYPairs, DetectionFindsAPairsFile) {
  testsupport::write_file("p.txt", "1000.5,0.25\r\n1001.5,0.5\r\n");
  AP21_SPECTRUM_FILE* spectrum_file = opened("p.txt", AP20_MODE_READ, 0);
  ASSERT_NE(spectrum_file, nullptr);
  EXPECT_EQ(packed(format_of(spectrum_file)->class_id), kPairs);
  EXPECT_EQ(send(AP21_FORMAT_TEST, spectrum_file), 0u) << "the spectrum-file object's 48 is detection";
  EXPECT_EQ(AP25_Dispatcher_XYPAIRS(spectrum_file, AP21_FORMAT_TEST, nullptr), AP25_NOT_MINE);
}

// ---------------------------------------------------------------------------
// Read

struct ReadCase {
  const char* name;
  char separator;
  std::string content;
  PairList pairs;
};

class Reads : public XYPairs, public testing::WithParamInterface<ReadCase> {};

TEST_P(Reads, GiveThePairsOfEveryLineOfTwoNumbers) {
  set_list_separator(GetParam().separator);
  EXPECT_EQ(read_list(GetParam().content), GetParam().pairs);
}

const std::string kLongLine = std::string(150, ' ') + "1.5," + std::string(60, '0') + "2.5\n";

INSTANTIATE_TEST_SUITE_P(
    Files, Reads,
    testing::Values(
        ReadCase{"crlf_lines", ',', "1.5,2.5\r\n3.5,-4.5e-1\r\n", {{1.5f, 2.5f}, {3.5f, -0.45f}}},
        ReadCase{"last_line_without_its_end", ',', "1,2\n3,4", {{1, 2}, {3, 4}}},
        ReadCase{"one_line", ',', "7,8", {{7, 8}}},
        ReadCase{"two_lines", ',', "7,8\n9,10\n", {{7, 8}, {9, 10}}},
        ReadCase{"heading_and_missing_value", ',', "x,y\n1,2\n3,#NaN\n5,6\n", {{1, 2}, {5, 6}}},
        ReadCase{"blanks", ',', "  1.0   2.0\n3.0 4.0\n", {{1, 2}, {3, 4}}},
        ReadCase{"tabs", ',', "1\t2\n3\t4\n", {{1, 2}, {3, 4}}},
        ReadCase{"separator_and_blank", ',', "1, 2\n3 ,4\n", {{1, 2}, {3, 4}}},
        ReadCase{"semicolons", ';', "1.25;2\n3;4.5\n", {{1.25f, 2}, {3, 4.5f}}},
        ReadCase{"decimal_commas_are_not_numbers", ';', "1,5;2,5\n3;4\n", {{3, 4}}},
        ReadCase{"long_line_read_whole", ',', kLongLine + "3,4\n", {{1.5f, 2.5f}, {3, 4}}},
        ReadCase{"three_columns_skipped", ',', "1,2,3\n4,5\n", {{4, 5}}}),
    [](const testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

TEST_F(XYPairs, AFileWithoutPairsReadsNothing) {
  EXPECT_EQ(read_pairs("no numbers here\n"), nullptr);
  EXPECT_EQ(read_pairs(""), nullptr);
}

TEST_F(XYPairs, NumbersAreReadWithAPointWhateverTheLocale) {
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr && std::setlocale(LC_NUMERIC, "fr_FR.UTF-8") == nullptr)
    GTEST_SKIP() << "no locale with a decimal comma here";
  const PairList pairs = read_list("1.5,2.25\n");
  std::setlocale(LC_NUMERIC, "C");
  EXPECT_EQ(pairs, (PairList{{1.5f, 2.25f}}));
}

// ---------------------------------------------------------------------------
// Write

TEST_F(XYPairs, WritesALineAPointWithTheComputedX) {
  const float missing = std::numeric_limits<float>::quiet_NaN();
  AP7_SPECTRUM* source = spectrum({0.5f, missing, -1.25e-5f}, 17, 4000.0f, 3996.0f);
  EXPECT_EQ(written(source),
            "4.000000e+003,5.000000e-001\r\n"
            "3.998000e+003,#NaN\r\n"
            "3.996000e+003,-1.250000e-005\r\n");
}

TEST_F(XYPairs, WritesWithTheListSeparator) {
  set_list_separator(';');
  EXPECT_EQ(written(spectrum({2.0f, 3.0f}, 17, 1.0f, 2.0f)), "1.000000e+000;2.000000e+000\r\n2.000000e+000;3.000000e+000\r\n");
}

TEST_F(XYPairs, ASinglePointIsWrittenAtItsFirstX) {
  EXPECT_EQ(written(spectrum({2.0f}, 17, 5.0f, 5.0f)), "5.000000e+000,2.000000e+000\r\n");
}

TEST_F(XYPairs, AnInfiniteValueIsRefusedBeforeAnythingIsWritten) {
  AP7_SPECTRUM* source = spectrum({1.0f, std::numeric_limits<float>::infinity()}, 17, 1.0f, 2.0f);
  AP21_SPECTRUM_FILE* spectrum_file = opened("w.txt", AP20_MODE_CREATE, kPairs);
  ASSERT_NE(spectrum_file, nullptr);
  EXPECT_EQ(send(AP21_FORMAT_WRITE, format_of(spectrum_file), source), 0u);
  close(spectrum_file);
  EXPECT_EQ(testsupport::read_file(path("w.txt")), "");
}

TEST_F(XYPairs, WritesTheRegionOfAnXRange) {
  AP7_SPECTRUM* source = spectrum({1, 2, 3, 4, 5}, 17, 10.0f, 14.0f);
  AP21_SPECTRUM_FILE* spectrum_file = opened("w.txt", AP20_MODE_CREATE, kPairs);
  ASSERT_NE(spectrum_file, nullptr);
  AP21_RANGEPARM parameter{reinterpret_cast<AP_OBJECT*>(source), 11.0f, 12.0f};
  EXPECT_EQ(send(AP21_MSG_WRITE_RANGE, spectrum_file, &parameter), 1u);
  close(spectrum_file);
  EXPECT_EQ(testsupport::read_file(path("w.txt")), "1.100000e+001,2.000000e+000\r\n1.200000e+001,3.000000e+000\r\n");
  EXPECT_EQ(values(source).size(), 5u) << "the spectrum itself is not cut";
}

// ---------------------------------------------------------------------------
// Spectra from pairs

TEST_F(XYPairs, UnitStepsMakeAnInterferogramPeakedAtTheLargestMagnitude) {
  AP_OBJECT* pairs = read_pairs("0,0.1\n1,-0.2\n2,0.9\n3,-0.9\n4,0.3\n");
  ASSERT_NE(pairs, nullptr);
  AP7_SPECTRUM* made = spectrum_from(pairs);
  ASSERT_NE(made, nullptr);
  const AP41_HEADERDATA& h = header(made);
  EXPECT_EQ(packed(h.x_units), AP41_XUNITS_POINTS);
  EXPECT_EQ(packed(h.y_units), AP41_YUNITS_INTERFEROGRAM);
  EXPECT_EQ(packed(h.FinalPeakPos), 2u) << "the first of equal magnitudes";
  EXPECT_EQ(packed(h.p30), 2.0f);
  EXPECT_EQ(packed(h.NumTransformPts), 4u) << "the smallest power of two above 5 - 2";
  EXPECT_EQ(packed(h.NumPostPeakPts), 2u);
  EXPECT_EQ(packed(h.NumScanPts), 5u);
  EXPECT_EQ(packed(h.first_x), 0.0f);
  EXPECT_EQ(packed(h.last_x), 4.0f);
  EXPECT_EQ(values(made), (std::vector<float>{0.1f, -0.2f, 0.9f, -0.9f, 0.3f}));
}

TEST_F(XYPairs, WavenumberPairsGiveTheCollectionHeader) {
  // Spacing 3: s doubles from 0.125 past it to 4; the largest X 4000 lies
  // below half the laser frequency 15798, so SSP is 2.
  AP_OBJECT* pairs = read_pairs("1000,1\n1003,2\n1006,3\n4000,4\n");
  ASSERT_NE(pairs, nullptr);
  auto* made = keep(ap_result_object<AP7_SPECTRUM>(send(AP25_MSG_HEADER_FROM_PAIRS, pairs_format(), pairs)));
  ASSERT_NE(made, nullptr);
  const AP41_HEADERDATA& h = header(made);
  EXPECT_EQ(packed(h.x_units), 1u);
  EXPECT_EQ(packed(h.y_units), 17u);
  EXPECT_EQ(packed(h.time), 4u) << "the wanted number of points";
  EXPECT_EQ(packed(h.LaserFreq), 15798.0f);
  EXPECT_EQ(packed(h.SSP), 2.0f) << "4000 is not above 15798 / 2";
  EXPECT_EQ(packed(h.NumPostPeakPts), 2048u) << "trunc(16384 / (4 * 2) + 0.5)";
  EXPECT_EQ(packed(h.NumTransformPts), 4096u);
  EXPECT_EQ(packed(h.FinalPeakPos), 2048u) << "below 8192 * 2";
  EXPECT_EQ(packed(h.NumScanPts), 4096u);
  EXPECT_EQ(packed(h.PhaseCorrID), 1u);
  EXPECT_EQ(packed(h.ApodID), 1u);
}

TEST_F(XYPairs, DescendingPairsAreReversedInThePairsObject) {
  AP_OBJECT* pairs = read_pairs("4000,1\n3000,2\n2000,3\n");
  ASSERT_NE(pairs, nullptr);
  auto* made = keep(ap_result_object<AP7_SPECTRUM>(send(AP25_MSG_HEADER_FROM_PAIRS, pairs_format(), pairs)));
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(pair_list(pairs), (PairList{{2000, 3}, {3000, 2}, {4000, 1}}));
  EXPECT_EQ(packed(header(made).first_x), 2000.0f);
  EXPECT_EQ(packed(header(made).last_x), 4000.0f);
}

TEST_F(XYPairs, ADescendingFileReadsAsItsAscendingTwin) {
  const std::string ascending = "1000,0.5\n1002,0.75\n1004,0.25\n1006,1\n1008,0.125\n";
  const std::string descending = "1008,0.125\n1006,1\n1004,0.25\n1002,0.75\n1000,0.5\n";
  AP7_SPECTRUM* up = spectrum_from(read_pairs(ascending));
  AP7_SPECTRUM* down = spectrum_from(read_pairs(descending));
  ASSERT_NE(up, nullptr);
  ASSERT_NE(down, nullptr);
  const std::vector<float> expected = {0.5f, 0.75f, 0.25f, 1.0f, 0.125f};
  ASSERT_EQ(values(up).size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(values(up)[i], expected[i], 1e-6) << i;
  EXPECT_EQ(values(down), values(up));
  EXPECT_EQ(packed(header(down).first_x), 1000.0f);
  EXPECT_EQ(packed(header(down).last_x), 1008.0f);
  EXPECT_EQ(packed(header(down).points), 5u);
}

TEST_F(XYPairs, PairsOffTheGridAreInterpolatedOnAParabola) {
  // y = x^2 at uneven X: the parabola through three neighbours is exact.
  AP_OBJECT* pairs = read_pairs("1,1\n3,9\n4,16\n7,49\n");
  ASSERT_NE(pairs, nullptr);
  AP7_SPECTRUM* made = spectrum_from(pairs);
  ASSERT_NE(made, nullptr);
  const std::vector<float> got = values(made);
  ASSERT_EQ(got.size(), 4u);
  for (size_t i = 0; i < got.size(); ++i) {
    const double x = 1.0 + 2.0 * static_cast<double>(i);
    EXPECT_NEAR(got[i], x * x, 1e-4) << x;
  }
  EXPECT_EQ(packed(header(made).HPF), 10.0f);
  EXPECT_EQ(packed(header(made).LPF), 11000.0f);
}

TEST_F(XYPairs, ASinglePairMakesASpectrumOfOnePoint) {
  AP7_SPECTRUM* made = spectrum_from(read_pairs("1500,0.75"));
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(values(made), (std::vector<float>{0.75f}));
  EXPECT_EQ(packed(header(made).first_x), 1500.0f);
}

TEST_F(XYPairs, TwoPairsAreJoinedByALine) {
  AP7_SPECTRUM* made = spectrum_from(read_pairs("1500,0.75\n1501,0.25\n"));
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(packed(header(made).y_units), AP41_YUNITS_INTERFEROGRAM) << "a step of exactly 1";
  made = spectrum_from(read_pairs("1500,0.75\n1502,0.25\n"));
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(values(made), (std::vector<float>{0.75f, 0.25f}));
}

TEST_F(XYPairs, ASpectrumComesBackThroughAFile) {
  std::vector<float> y;
  for (int i = 0; i < 64; ++i) y.push_back(static_cast<float>(std::sin(i * 0.3) + 1.5));
  AP7_SPECTRUM* source = spectrum(y, 17, 400.0f, 4000.0f);
  written(source);
  // The spectrum-file object reads the pairs and has them made a spectrum.
  auto* back = reinterpret_cast<AP7_SPECTRUM*>(read_as("w.txt", 0));
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(back->class_id, AP7_CLASS_ID);
  EXPECT_EQ(APX_GetClassTable()->classes[AP9_CLASS_ID].live, 0)
      << "the pairs are gone";
  EXPECT_EQ(packed(header(back).first_x), 400.0f);
  EXPECT_NEAR(packed(header(back).last_x), 4000.0f, 1e-3);
  const std::vector<float> got = values(back);
  ASSERT_EQ(got.size(), y.size());
  for (size_t i = 0; i < y.size(); ++i) EXPECT_NEAR(got[i], y[i], 1e-4) << i;
}

TEST_F(XYPairs, MessagesOfTheFrameThisClassDoesNotAnswer) {
  AP_OBJECT* format = pairs_format();
  ASSERT_NE(format, nullptr);
  char buffer[256] = {};
  EXPECT_EQ(send(AP21_FORMAT_TITLE, format, buffer), 0u);
  AP20_WORDPARM code{11};
  EXPECT_EQ(send(AP20_MSG_SET_ERROR, format, &code), 0u);
  AP25_WHICHPARM which{0, 0};
  EXPECT_EQ(send(AP63_MSG_NO_EFFECT, format, &which), 1u);
  char name[64] = {};
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, format, name), 1u);
  EXPECT_STREQ(name, "AP25_X-Y PAIRS_FILE");
}

}  // namespace
