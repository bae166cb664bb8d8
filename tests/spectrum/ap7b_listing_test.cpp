#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "files/files_fixture.h"
#include "spectrum/spectrum_fixture.h"
#include "support/test_home.h"

namespace {

uint32_t bits_of(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

const float kMissing = AP1_GetNaNSG_MATH();

class Listing : public filetest::FileObjects {
 protected:
  using FileObjects::destroy;
  using FileObjects::send;
  static void destroy(AP7_SPECTRUM* spectrum) { spectrumtest::destroy(spectrum); }
  static uint32_t live_spectra() { return spectrumtest::spectrum_class().live; }

  // The spectrum of the layout examples: a falling axis, a missing value.
  static AP7_SPECTRUM* sample() {
    AP7_SPECTRUM* spectrum = spectrumtest::make_axis(4000.0f, 400.0f, {1.0f, kMissing, -2.5e-7f});
    AP41_HEADERDATA& record = spectrumtest::record(spectrum);
    record.x_units = 1;
    record.y_units = 17;
    record.p39 = 1.5f;
    record.FinalPeakPos = 7;
    record.p30 = -2.25f;
    return spectrum;
  }

  static uint32_t write(AP7_SPECTRUM* spectrum, AP20_FILE* file) {
    return send(AP7_MSG_WRITE_TEXT, spectrum, file);
  }
  static AP7_SPECTRUM* read(AP20_FILE* file) {
    uint16_t class_id = AP7_CLASS_ID;
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_READ_TEXT, &class_id, file));
  }

  // What the writer leaves in a new file.
  std::string written(AP7_SPECTRUM* spectrum, const std::string& name) {
    AP20_FILE* file = opened_file(path(name), AP20_MODE_CREATE);
    EXPECT_EQ(write(spectrum, file), 1u);
    destroy(file);
    return testsupport::read_file(path(name));
  }
  // The spectrum read from a file holding these bytes.
  AP7_SPECTRUM* read_from(const std::string& bytes) {
    testsupport::write_file("listing.txt", bytes);
    AP20_FILE* file = opened_file(path("listing.txt"), AP20_MODE_READ);
    AP7_SPECTRUM* spectrum = read(file);
    destroy(file);
    return spectrum;
  }
};

// The layout line by line: "%ld" counts and codes, "%10.4lf" X values and
// header values, "%e" Y values with three exponent digits.
const char kSampleListing[] =
    "3\r\n"
    "1\r\n"
    "17\r\n"
    " 4000.0000\r\n"
    "  400.0000\r\n"
    "    1.5000\r\n"
    "7\r\n"
    "   -2.2500\r\n"
    "1.000000e+000\r\n"
    "#VALUE!\r\n"
    "-2.500000e-007\r\n";

TEST_F(Listing, WritesTheHeaderLinesThenOneValuePerPointInStoredOrder) {
  AP7_SPECTRUM* spectrum = sample();
  EXPECT_EQ(written(spectrum, "sample.txt"), kSampleListing);
  destroy(spectrum);
}

TEST_F(Listing, AFallingListingReadsBackRisingWithItsValuesReversed) {
  AP7_SPECTRUM* spectrum = read_from(kSampleListing);
  ASSERT_NE(spectrum, nullptr);
  const AP41_HEADERDATA& record = spectrumtest::record(spectrum);
  EXPECT_EQ(packed(record.points), 3u);
  EXPECT_EQ(packed(record.x_units), 1u);
  EXPECT_EQ(packed(record.y_units), 17u);
  EXPECT_EQ(packed(record.first_x), 400.0f);
  EXPECT_EQ(packed(record.last_x), 4000.0f);
  EXPECT_EQ(packed(record.p39), 1.5f);
  EXPECT_EQ(packed(record.FinalPeakPos), 7u);
  EXPECT_EQ(packed(record.p30), -2.25f);
  const std::vector<float> y = spectrumtest::values(spectrum);
  EXPECT_EQ(y[0], -2.5e-7f);
  EXPECT_EQ(bits_of(y[1]), AP_NAN_BITS);
  EXPECT_EQ(y[2], 1.0f);
  destroy(spectrum);
}

TEST_F(Listing, ARisingListingReadsBackAndWritesAgainByteForByte) {
  AP7_SPECTRUM* spectrum = spectrumtest::make_axis(400.0f, 4000.0f, {0.125f, kMissing, 3.0e5f, -7.0f});
  spectrumtest::record(spectrum).y_units = 16;
  const std::string first = written(spectrum, "first.txt");
  AP7_SPECTRUM* again = read_from(first);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(written(again, "second.txt"), first);
  destroy(spectrum);
  destroy(again);
}

// The largest single-precision value takes 39 digits before the point.
TEST_F(Listing, HeaderValuesOfAnySizeAreWrittenWhole) {
  AP7_SPECTRUM* spectrum = sample();
  spectrumtest::record(spectrum).p39 = 3.4028235e38f;
  spectrumtest::record(spectrum).p30 = -3.4028235e38f;
  const std::string text = written(spectrum, "huge.txt");
  EXPECT_NE(text.find("\r\n340282346638528859811704183484516925440.0000\r\n7\r\n"
                      "-340282346638528859811704183484516925440.0000\r\n"),
            std::string::npos);
  AP7_SPECTRUM* again = read_from(text);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(packed(spectrumtest::record(again).p39), 3.4028235e38f);
  EXPECT_EQ(packed(spectrumtest::record(again).p30), -3.4028235e38f);
  destroy(spectrum);
  destroy(again);
}

// More lines than one write takes, and more than any line buffer holds.
TEST_F(Listing, ALongListingIsWrittenWholeAndReadsBackWhole) {
  constexpr uint32_t kPoints = 50000;
  std::vector<float> y(kPoints);
  for (uint32_t i = 0; i < kPoints; ++i) y[i] = std::ldexp(static_cast<float>(i % 977) - 400.5f, static_cast<int>(i % 40) - 20);
  y[kPoints - 1] = kMissing;
  AP7_SPECTRUM* spectrum = spectrumtest::make_axis(0.0f, static_cast<float>(kPoints - 1), y);
  const std::string text = written(spectrum, "long.txt");

  // Every line is there: 8 header lines and one per value.
  size_t lines = 0;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++lines;
  EXPECT_EQ(lines, 8u + kPoints);
  EXPECT_EQ(text.substr(text.size() - 9), "#VALUE!\r\n");

  AP7_SPECTRUM* again = read_from(text);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(packed(spectrumtest::record(again).points), kPoints);
  const std::vector<float> back = spectrumtest::values(again);
  for (uint32_t i = 0; i + 1 < kPoints; ++i) ASSERT_NEAR(back[i], y[i], std::fabs(y[i]) * 1e-6) << i;
  EXPECT_EQ(bits_of(back[kPoints - 1]), AP_NAN_BITS);
  destroy(spectrum);
  destroy(again);
}

TEST_F(Listing, AWriteThatFallsShortFailsTheListing) {
  AP7_SPECTRUM* spectrum = sample();
  testsupport::write_file("readonly.txt", "");
  AP20_FILE* file = opened_file(path("readonly.txt"), AP20_MODE_READ);
  EXPECT_EQ(write(spectrum, file), 0u);
  destroy(spectrum);
}

TEST_F(Listing, WritingNeedsASpectrumAndAnOpenFile) {
  AP7_SPECTRUM* spectrum = sample();
  AP20_FILE* closed = named_file(path("closed.txt"));
  EXPECT_EQ(write(spectrum, closed), 0u);
  EXPECT_EQ(ap7b_WriteText(spectrum, nullptr), 0u);
  AP20_FILE* file = opened_file(path("other.txt"), AP20_MODE_CREATE);
  EXPECT_EQ(ap7b_WriteText(reinterpret_cast<AP7_SPECTRUM*>(file), file), 0u);
  destroy(spectrum);
}

// Numbers are read as leading numbers: what follows them is ignored, and a
// line without one reads as 0.
TEST_F(Listing, LinesReadAsTheirLeadingNumber) {
  AP7_SPECTRUM* spectrum = read_from("2 points\n1\n17\n  10.5 cm-1\n-3\n0\n12\n0\n2.5e1 and more\nnothing\n");
  ASSERT_NE(spectrum, nullptr);
  EXPECT_EQ(packed(spectrumtest::record(spectrum).first_x), -3.0f);
  EXPECT_EQ(packed(spectrumtest::record(spectrum).last_x), 10.5f);
  EXPECT_EQ(spectrumtest::values(spectrum), (std::vector<float>{0.0f, 25.0f}));
  destroy(spectrum);
}

TEST_F(Listing, ABadListingMakesNoSpectrum) {
  const std::string header = "1\r\n17\r\n400\r\n4000\r\n0\r\n0\r\n0\r\n";
  struct Case {
    const char* what;
    std::string text;
  };
  const Case cases[] = {
      {"a count of 0", "0\r\n" + header + "1\r\n"},
      {"a negative count", "-2\r\n" + header + "1\r\n2\r\n"},
      {"no count", "points\r\n" + header + "1\r\n"},
      {"an empty file", ""},
      {"fewer values than the count", "3\r\n" + header + "1\r\n2\r\n"},
      {"a header cut short", "2\r\n1\r\n17\r\n"},
      {"a count the file cannot hold", "100000000\r\n" + header + "1\r\n"},
      {"a line over 150 characters", "1\r\n" + header + std::string(160, '1') + "\r\n"},
      {"a last line without its end", "1\r\n" + header + "1"},
  };
  for (const Case& c : cases) {
    const uint32_t before = live_spectra();
    EXPECT_EQ(read_from(c.text), nullptr) << c.what;
    EXPECT_EQ(live_spectra(), before) << c.what;
  }
}

TEST_F(Listing, ReadingNeedsTheSpectrumClassAndAnOpenFile) {
  testsupport::write_file("one.txt", kSampleListing);
  AP20_FILE* closed = named_file(path("one.txt"));
  EXPECT_EQ(read(closed), nullptr);
  AP20_FILE* file = opened_file(path("one.txt"), AP20_MODE_READ);
  EXPECT_EQ(ap7b_ReadText(AP4_CLASS_ID, file), nullptr);
  EXPECT_EQ(ap7b_ReadText(AP7_CLASS_ID, nullptr), nullptr);
  AP7_SPECTRUM* spectrum = ap7b_ReadText(AP7_CLASS_ID, file);
  ASSERT_NE(spectrum, nullptr);
  destroy(spectrum);
}

// ---------------------------------------------------------------------------
// Comparison

class Comparison : public Listing {
 protected:
  void SetUp() override {
    Listing::SetUp();
    report_ = opened_file(path("report.txt"), AP20_MODE_CREATE);
  }
  uint32_t compare(AP7_SPECTRUM* spectrum, void* reference, const char* name = "sample") {
    AP7_COMPAREPARM parameter{reference, &errors_, report_, name};
    return send(AP7_MSG_COMPARE_STORED, spectrum, &parameter);
  }
  std::string report() {
    send(AP20_MSG_CLOSE, report_);
    return testsupport::read_file(path("report.txt"));
  }
  // The spectrum saved as a native file under the home folder.
  std::string saved(AP7_SPECTRUM* spectrum, const std::string& name) {
    const std::string where = path(name);
    EXPECT_EQ(ap7b_SetFilePath(spectrum, where.c_str()), 1u);
    AP7_SAVEPARM format{AP45_CLASS_ID};
    EXPECT_EQ(send(AP7_MSG_SAVE_TO_FILE, spectrum, &format), 1u);
    return where;
  }
  // An open list file whose lines name the given files.
  AP20_FILE* list_of(const std::string& lines) {
    testsupport::write_file("list.txt", lines);
    return opened_file(path("list.txt"), AP20_MODE_READ);
  }

  AP20_FILE* report_ = nullptr;
  uint16_t errors_ = 0;
};

// The largest magnitude of {100, 200, -500} is 500: the tolerance is 1.
TEST_F(Comparison, DifferencesUpToOneFiveHundredthOfTheLargestMagnitudeMatch) {
  AP7_SPECTRUM* spectrum = spectrumtest::make_axis(400.0f, 402.0f, {100.0f, 200.0f, -500.0f});
  AP7_SPECTRUM* reference = spectrumtest::make_axis(400.0f, 402.0f, {101.0f, 199.0f, kMissing});
  EXPECT_EQ(compare(spectrum, reference), 1u);
  EXPECT_EQ(errors_, 0);
  EXPECT_EQ(report(), "");
  EXPECT_EQ(live_spectra(), 2u) << "both spectra stay the caller's";
  destroy(spectrum);
  destroy(reference);
}

TEST_F(Comparison, ALargerDifferenceReportsTheNameAndTheListing) {
  AP7_SPECTRUM* spectrum = spectrumtest::make_axis(400.0f, 402.0f, {100.0f, 200.0f, -500.0f});
  AP7_SPECTRUM* reference = spectrumtest::make_axis(400.0f, 402.0f, {100.0f, 201.25f, -500.0f});
  EXPECT_EQ(compare(spectrum, reference, "case 7"), 0u);
  EXPECT_EQ(errors_, 1);
  EXPECT_EQ(report(), "case 7" + written(spectrum, "expected.txt"));
  destroy(spectrum);
  destroy(reference);
}

TEST_F(Comparison, TheWholeNameIsReportedHoweverLong) {
  const std::string name(5000, 'n');
  AP7_SPECTRUM* spectrum = spectrumtest::make_axis(400.0f, 401.0f, {1.0f, 2.0f});
  AP7_SPECTRUM* reference = spectrumtest::make_axis(400.0f, 401.0f, {1.0f, 3.0f});
  EXPECT_EQ(compare(spectrum, reference, name.c_str()), 0u);
  EXPECT_EQ(compare(spectrum, nullptr, name.c_str()), 0u);
  EXPECT_EQ(errors_, 1) << "a missing reference is refused before anything is counted";
  EXPECT_EQ(report(), name + written(spectrum, "expected.txt"));
  destroy(spectrum);
  destroy(reference);
}

TEST_F(Comparison, TheReferenceCanBeTheFileThatAListLineNames) {
  AP7_SPECTRUM* spectrum = spectrumtest::make_axis(400.0f, 402.0f, {1.0f, 2.0f, 3.0f});
  AP7_SPECTRUM* stored = spectrumtest::make_axis(400.0f, 402.0f, {1.0f, 2.0f, 3.0f});
  AP7_SPECTRUM* other = spectrumtest::make_axis(400.0f, 402.0f, {1.0f, 2.0f, 30.0f});
  const std::string same = saved(stored, "same spectrum.spa");
  const std::string different = saved(other, "different.spa");
  destroy(stored);
  destroy(other);
  AP20_FILE* list = list_of(same + "\r\n" + different + "\r\n");
  const uint32_t before = live_spectra();
  EXPECT_EQ(compare(spectrum, list), 1u);
  EXPECT_EQ(compare(spectrum, list), 0u);
  EXPECT_EQ(errors_, 1);
  EXPECT_EQ(live_spectra(), before) << "a reference read from a file is deleted again";
  destroy(spectrum);
}

TEST_F(Comparison, AReferenceThatCannotBeReadCountsAsAFailedComparison) {
  AP7_SPECTRUM* spectrum = spectrumtest::make_axis(400.0f, 402.0f, {1.0f, 2.0f, 3.0f});
  AP20_FILE* list = list_of(path("missing.spa") + "\r\n" + std::string(200, 'x') + "\r\n");
  EXPECT_EQ(compare(spectrum, list), 0u);
  EXPECT_EQ(compare(spectrum, list), 0u) << "a line over 150 characters names no file";
  EXPECT_EQ(compare(spectrum, list), 0u) << "the end of the list";
  EXPECT_EQ(errors_, 3);
  EXPECT_EQ(report(), "") << "only a mismatch is reported";
  destroy(spectrum);
}

TEST_F(Comparison, SpectraWithoutCommonPointsCannotBeCompared) {
  AP7_SPECTRUM* spectrum = spectrumtest::make_axis(400.0f, 402.0f, {1.0f, 2.0f, 3.0f});
  AP7_SPECTRUM* apart = spectrumtest::make_axis(1000.0f, 1002.0f, {1.0f, 2.0f, 3.0f});
  EXPECT_EQ(compare(spectrum, apart), 0u);
  EXPECT_EQ(errors_, 1);
  destroy(spectrum);
  destroy(apart);
}

TEST_F(Comparison, BadArgumentsAreRefusedWithoutCounting) {
  AP7_SPECTRUM* spectrum = spectrumtest::make_axis(400.0f, 401.0f, {1.0f, 2.0f});
  AP7_SPECTRUM* reference = spectrumtest::make_axis(400.0f, 401.0f, {1.0f, 2.0f});
  AP20_FILE* closed_name = named_file(path("x.txt"));
  EXPECT_EQ(ap7b_CompareWithStored(spectrum, reference, &errors_, spectrum, "n"), 0u) << "report not a file";
  EXPECT_EQ(ap7b_CompareWithStored(spectrum, report_, &errors_, nullptr, "n"), 0u) << "no report";
  EXPECT_EQ(ap7b_CompareWithStored(spectrum, reference, nullptr, report_, "n"), 0u) << "no counter";
  EXPECT_EQ(ap7b_CompareWithStored(spectrum, reference, &errors_, report_, nullptr), 0u) << "no name";
  EXPECT_EQ(ap7b_CompareWithStored(spectrum, reference->data, &errors_, report_, "n"), 0u) << "an array";
  EXPECT_EQ(ap7b_CompareWithStored(reinterpret_cast<AP7_SPECTRUM*>(closed_name), reference, &errors_, report_, "n"),
            0u)
      << "not a spectrum";
  EXPECT_EQ(errors_, 0);
  destroy(spectrum);
  destroy(reference);
}

}  // namespace
