// The comparison of a spectrum with the copy the library saved of it, item
// by item, and the RMS difference of two spectra. Stored copies are written
// by the library's own saves (a single-spectrum file and a group file)
// under the test's home folder; differences are then made in memory.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "files/files.h"
#include "spectrum/spectrum_fixture.h"
#include "support/test_home.h"

namespace {

using namespace spectrumtest;

constexpr uint16_t kAll = AP7_COMPARE_DATA | AP7_COMPARE_HISTORY | AP7_COMPARE_HEADER | AP7_COMPARE_ANNOTATIONS |
                          AP7_COMPARE_COMMENTS;
constexpr uint16_t kTolerant = AP7_COMPARE_DATA | AP7_COMPARE_TOLERANT;

void annotate(AP7_SPECTRUM* spectrum, float x, uint16_t flags, const char* label) {
  AP34_ANNOTREC mark{};
  mark.x = x;
  mark.text_x = x + 1.0f;
  mark.y = 50.0f;
  mark.flags = flags;
  mark.label = const_cast<char*>(label);
  ASSERT_EQ(ap34_Insert_ANTATN(spectrum->annotation, &mark, AP1_YUNIT_PERCENT_TRANSMITTANCE), 1);
}

struct Outcome {
  uint32_t code;
  std::string report;
};

class StoredFile : public SpectrumTest {
 protected:
  void TearDown() override {
    for (AP7_SPECTRUM* spectrum : spectra_) destroy(spectrum);
    SpectrumTest::TearDown();
  }

  AP7_SPECTRUM* keep(AP7_SPECTRUM* spectrum) {
    spectra_.push_back(spectrum);
    return spectrum;
  }

  // A spectrum with data, history, comment and an annotation.
  AP7_SPECTRUM* full(const std::vector<float>& y) {
    AP7_SPECTRUM* spectrum = keep(make_axis(1000.0f, 1000.0f + static_cast<float>(y.size() - 1), y));
    record(spectrum).y_units = AP1_YUNIT_PERCENT_TRANSMITTANCE;
    ap7d_SetHistoryText(spectrum, "collected\r\n");
    ap7d_SetCommentText(spectrum, "a sample");
    annotate(spectrum, 1001.0f, AP34_FLAG_ABSOLUTE, "band");
    return spectrum;
  }

  // The spectrum saved to a new file of that name; the path of the file.
  static std::string save(AP7_SPECTRUM* spectrum, const std::string& name) {
    const std::string path = testsupport::home() + "/" + name;
    EXPECT_EQ(ap7b_SetFilePath(spectrum, path.c_str()), 1);
    EXPECT_EQ(ap7a_SaveSigned(reinterpret_cast<AP_OBJECT*>(spectrum)), 1);
    return path;
  }

  static Outcome compare(AP7_SPECTRUM* spectrum, const std::string& path, uint16_t flags) {
    char report[AP7_COMPARE_REPORT_SIZE];
    std::memset(report, 'x', sizeof report);
    AP7_COMPAREFILEPARM parameter{path.c_str(), flags, report};
    const uint32_t code = send(AP7_MSG_COMPARE_WITH_STORED_FILE, spectrum, &parameter);
    return {code, report};
  }

 private:
  std::vector<AP7_SPECTRUM*> spectra_;
};

TEST_F(StoredFile, ASpectrumMatchesItsFreshlySavedFile) {
  AP7_SPECTRUM* spectrum = full({1.0f, -2.5f, 3.25f, 0.0f});
  const std::string path = save(spectrum, "fresh.spa");
  for (uint16_t flags : {kAll, static_cast<uint16_t>(kAll | AP7_COMPARE_TOLERANT), uint16_t{0}}) {
    const Outcome outcome = compare(spectrum, path, flags);
    EXPECT_EQ(outcome.code, AP7_COMPARE_SAME) << flags;
    EXPECT_EQ(outcome.report, "OK") << flags;
  }
}

TEST_F(StoredFile, EveryDifferingItemIsNamedInOrder) {
  AP7_SPECTRUM* spectrum = full({1.0f, 2.0f, 3.0f});
  const std::string path = save(spectrum, "changed.spa");
  put_values(spectrum, {1.0f, 2.0f, 3.5f});
  ap7d_SetHistoryText(spectrum, "collected\r\nsmoothed\r\n");
  ap7d_SetCommentText(spectrum, "another sample");
  annotate(spectrum, 1002.0f, AP34_FLAG_ABSOLUTE, "shoulder");
  const Outcome outcome = compare(spectrum, path, kAll);
  EXPECT_EQ(outcome.code, AP7_COMPARE_DIFFERENT);
  EXPECT_EQ(outcome.report, "DataMismatch;HistoryMismatch;AnnotationMismatch;CommentMismatch");
  EXPECT_LT(outcome.report.size(), AP7_COMPARE_REPORT_SIZE);
  EXPECT_EQ(compare(spectrum, path, AP7_COMPARE_COMMENTS).report, "CommentMismatch");
  EXPECT_EQ(compare(spectrum, path, AP7_COMPARE_HEADER).report, "OK") << "headers are not compared";
}

// Tolerant mode allows 5e-5 % of the stored value's size: negative values
// compare as positive ones do, and -0.0 equals 0.0.
TEST_F(StoredFile, TolerantDataComparisonTakesTheSizeOfTheStoredValue) {
  struct Case {
    const char* name;
    float stored;
    float now;
    bool exact_equal;
    bool tolerant_equal;
  };
  const float near = 1.0f + std::ldexp(1.0f, -22);  // 2.4e-7 apart: 2.4e-5 %
  const float far = 1.0f + std::ldexp(1.0f, -19);   // 1.9e-6 apart: 1.9e-4 %
  int saved = 0;
  for (const Case& c : {Case{"same", 2.0f, 2.0f, true, true}, Case{"near, positive", 2.0f, 2.0f * near, false, true},
                        Case{"near, negative", -2.0f, -2.0f * near, false, true},
                        Case{"far, negative", -2.0f, -2.0f * far, false, false},
                        Case{"far, positive", 2.0f, 2.0f * far, false, false},
                        Case{"signed zero", 0.0f, -0.0f, false, true},
                        Case{"both missing", AP1_GetNaNSG_MATH(), AP1_GetNaNSG_MATH(), true, true},
                        Case{"one missing", 1.0f, AP1_GetNaNSG_MATH(), false, false}}) {
    AP7_SPECTRUM* spectrum = full({5.0f, c.stored, 7.0f});
    const std::string path = save(spectrum, std::string("tolerant") + std::to_string(++saved) + ".spa");
    put_values(spectrum, {5.0f, c.now, 7.0f});
    EXPECT_EQ(compare(spectrum, path, AP7_COMPARE_DATA).report, c.exact_equal ? "OK" : "DataMismatch") << c.name;
    EXPECT_EQ(compare(spectrum, path, kTolerant).report, c.tolerant_equal ? "OK" : "DataMismatch") << c.name;
  }
}

// Counts that differ are a mismatch before any value is read.
TEST_F(StoredFile, DataOfAnotherLengthDiffer) {
  AP7_SPECTRUM* longer = full({1, 2, 3, 4, 5, 6});
  AP7_SPECTRUM* shorter = full({1, 2, 3});
  const std::string path = save(shorter, "short.spa");
  for (uint16_t flags : {AP7_COMPARE_DATA, kTolerant}) EXPECT_EQ(compare(longer, path, flags).report, "DataMismatch");
  const std::string long_path = save(longer, "long.spa");
  EXPECT_EQ(compare(shorter, long_path, kTolerant).report, "DataMismatch");
}

TEST_F(StoredFile, HistoryLinesWithStampsAreLeftOutOfTheComparison) {
  utiltest::ModuleBuilder builder;
  builder.group(AP7_GROUP_LOGIN, {{AP7_LOGIN_LABEL, "Logged in: ", 0}});
  utiltest::add_resource_module("stamps.dll", builder);
  AP7_SPECTRUM* spectrum = full({1, 2});
  ap7d_SetHistoryText(spectrum, "collected\r\nLogged in: alice\r\nsmoothed\r\n");
  const std::string path = save(spectrum, "stamped.spa");
  ap7d_SetHistoryText(spectrum, "collected\r\nLogged in: bob\r\nsmoothed\r\nLogged in: carol");
  EXPECT_EQ(compare(spectrum, path, AP7_COMPARE_HISTORY).report, "OK");
  ap7d_SetHistoryText(spectrum, "collected\r\nLogged in: bob\r\nbaseline\r\n");
  EXPECT_EQ(compare(spectrum, path, AP7_COMPARE_HISTORY).report, "HistoryMismatch");
}

TEST_F(StoredFile, CuttingStampLinesRemovesEachThroughItsLineFeed) {
  struct Case {
    const char* text;
    const char* expected;
  };
  for (const Case& c : {Case{"a\r\nUser: x\r\nb\r\n", "a\r\nb\r\n"}, Case{"User: x\nUser: y\n", ""},
                        Case{"a User: x", "a "}, Case{"none here", "none here"}}) {
    std::string text = c.text;
    ap7d_CutLinesFrom(text.data(), "User: ");
    EXPECT_STREQ(text.c_str(), c.expected) << c.text;
  }
}

TEST_F(StoredFile, ProtectedAnnotationsAreNotCompared) {
  AP7_SPECTRUM* spectrum = full({1, 2, 3});
  const std::string path = save(spectrum, "annotated.spa");
  annotate(spectrum, 1000.5f, AP34_FLAG_PROTECTED | AP34_FLAG_ABSOLUTE, "kept");
  EXPECT_EQ(compare(spectrum, path, AP7_COMPARE_ANNOTATIONS).report, "OK");
  annotate(spectrum, 1001.5f, AP34_FLAG_ABSOLUTE, "extra");
  EXPECT_EQ(compare(spectrum, path, AP7_COMPARE_ANNOTATIONS).report, "AnnotationMismatch") << "counts differ";
}

TEST_F(StoredFile, AnnotationRecordsDifferByLabelAndTheValuesTheirFlagsName) {
  AP34_ANNOTREC a{};
  a.flags = 0;
  a.x = 1.0f;
  a.text_x = 2.0f;
  a.y = 3.0f;
  a.label = const_cast<char*>("peak");
  struct Case {
    const char* name;
    void (*change)(AP34_ANNOTREC&);
    bool differ;
  };
  for (const Case& c : {
           Case{"same", [](AP34_ANNOTREC&) {}, false},
           Case{"label", [](AP34_ANNOTREC& r) { r.label = const_cast<char*>("band"); }, true},
           Case{"no label", [](AP34_ANNOTREC& r) { r.label = nullptr; }, true},
           Case{"x without flag 8", [](AP34_ANNOTREC& r) { r.x = 9.0f; }, false},
           Case{"x with flag 8", [](AP34_ANNOTREC& r) { r.x = 9.0f; r.flags = AP34_FLAG_ABSOLUTE; }, true},
           Case{"text x", [](AP34_ANNOTREC& r) { r.text_x = 9.0f; }, true},
           Case{"y", [](AP34_ANNOTREC& r) { r.y = 9.0f; }, true},
           Case{"second point without flag", [](AP34_ANNOTREC& r) { r.x2 = 9.0f; }, false},
           Case{"second point", [](AP34_ANNOTREC& r) { r.x2 = 9.0f; r.flags = AP34_FLAG_SECOND_POINT; }, true},
           Case{"third point", [](AP34_ANNOTREC& r) { r.y3 = 9.0f; r.flags = AP34_FLAG_THIRD_POINT_ALT; }, true},
       }) {
    AP34_ANNOTREC b = a;
    c.change(b);
    EXPECT_EQ(ap7d_AnnotationsDiffer(&a, &b), c.differ) << c.name;
  }
  AP34_ANNOTREC unlabelled = a;
  unlabelled.label = nullptr;
  EXPECT_FALSE(ap7d_AnnotationsDiffer(&unlabelled, &unlabelled)) << "two records without labels agree";
}

TEST_F(StoredFile, AMemberIsComparedWithItsPlaceInAGroupFile) {
  AP7_SPECTRUM* first = full({1, 2, 3});
  AP7_SPECTRUM* second = full({4, 5, 6});
  const std::string path = testsupport::home() + "/pair.spg";
  AP40_LLIST* list = ap40_New_LLIST(nullptr, AP40_NO_KEY);
  for (AP7_SPECTRUM* member : {first, second})
    ap40_Add_LLIST(list, reinterpret_cast<AP_OBJECT*>(ap7a_Duplicate(member, nullptr)));
  AP_OBJECT* title = ap2_New_OBJ(AP43_CLASS_ID, nullptr);
  GU2_SetParmValue_MSG(title, AP43_TEXT_PARM, const_cast<char*>(path.c_str()));
  ap40_Add_LLIST(list, title);
  ASSERT_EQ(ap7d_SaveListToFile(list, AP52_CLASS_ID, nullptr), 1);
  ap40_Destroy_LLIST(list, nullptr, 1);

  AP7_SPECTRUM* member = ap7d_ReadGroupMember(path.c_str(), 1);
  ASSERT_NE(member, nullptr);
  EXPECT_STREQ(member->path, path.c_str());
  EXPECT_EQ(values(member), (std::vector<float>{4, 5, 6}));
  destroy(member);

  second->groupIndex = 1;
  EXPECT_EQ(compare(second, path, kAll).report, "OK");
  first->groupIndex = 1;
  EXPECT_EQ(compare(first, path, AP7_COMPARE_DATA).report, "DataMismatch");
  first->groupIndex = 7;
  EXPECT_EQ(compare(first, path, AP7_COMPARE_DATA).code, AP7_COMPARE_UNREADABLE) << "no such member";
}

TEST_F(StoredFile, MissingArgumentsAndUnreadableFilesHaveTheirCodes) {
  AP7_SPECTRUM* spectrum = full({1, 2});
  const Outcome missing = compare(spectrum, testsupport::home() + "/absent.spa", kAll);
  EXPECT_EQ(missing.code, AP7_COMPARE_UNREADABLE);
  EXPECT_EQ(missing.report, "");
  char report[AP7_COMPARE_REPORT_SIZE] = "stale";
  EXPECT_EQ(ap7d_CompareWithStoredFile(spectrum, nullptr, kAll, report), AP7_COMPARE_MISSING_ARGUMENT);
  EXPECT_STREQ(report, "");
  EXPECT_EQ(ap7d_CompareWithStoredFile(nullptr, "x.spa", kAll, report), AP7_COMPARE_MISSING_ARGUMENT);
  EXPECT_EQ(ap7d_CompareWithStoredFile(spectrum, "x.spa", kAll, nullptr), AP7_COMPARE_MISSING_ARGUMENT);
}

TEST_F(StoredFile, ASpectrumFileIsReadThroughTheClass) {
  AP7_SPECTRUM* spectrum = full({1.5f, 2.5f});
  const std::string path = save(spectrum, "read.spa");
  uint16_t class_id = AP7_CLASS_ID;
  auto* read = ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_READ_SPECTRUM_FILE, &class_id, const_cast<char*>(path.c_str())));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(values(read), (std::vector<float>{1.5f, 2.5f}));
  destroy(read);
  const std::string absent = testsupport::home() + "/absent.spa";
  EXPECT_EQ(send(AP7_MSG_READ_SPECTRUM_FILE, &class_id, const_cast<char*>(absent.c_str())), 0u);
}

// ---------------------------------------------------------------------------
// RMS difference

class RmsDifference : public SpectrumTest {
 protected:
  static uint32_t rms(AP7_SPECTRUM* a, AP7_SPECTRUM* b, float tolerance, double* mean_square, double* root) {
    AP7_RMSPARM parameter{b, tolerance, mean_square, root};
    return send(AP7_MSG_RMS_DIFFERENCE, a, &parameter);
  }
};

// Pairs 0..2 count (point 3 is missing in A): squares 0.25, 0, 1, mean
// 1.25 / 3; t = tolerance / 1000.
TEST_F(RmsDifference, MeanSquareOverThePresentPairs) {
  const float nan = AP1_GetNaNSG_MATH();
  AP7_SPECTRUM* a = make_axis(0, 3, {1.0f, 2.0f, 3.0f, nan});
  AP7_SPECTRUM* b = make_axis(0, 3, {1.5f, 2.0f, 2.0f, 7.0f});
  const double mean = 1.25 / 3.0;
  for (float tolerance : {0.0f, 2.0f}) {
    double mean_square = 0.0;
    double root = 0.0;
    ASSERT_EQ(rms(a, b, tolerance, &mean_square, &root), 1u);
    const double t = (tolerance == 0.0f ? 0.001 : tolerance) / 1000.0;  // to float precision
    EXPECT_DOUBLE_EQ(root, std::sqrt(mean) * 1000.0);
    EXPECT_NEAR(mean_square, mean / (t * t), 1e-6 * mean / (t * t));
  }
  destroy(b);
  destroy(a);
}

TEST_F(RmsDifference, NoPresentPairGivesZero) {
  const float nan = AP1_GetNaNSG_MATH();
  AP7_SPECTRUM* a = make_axis(0, 1, {nan, nan});
  AP7_SPECTRUM* b = make_axis(0, 1, {nan, nan});
  double mean_square = 1.0;
  double root = 1.0;
  ASSERT_EQ(rms(a, b, 0.0f, &mean_square, &root), 1u);
  EXPECT_EQ(mean_square, 0.0);
  EXPECT_EQ(root, 0.0);
  destroy(b);
  destroy(a);
}

TEST_F(RmsDifference, SpectraOfDifferentLengthsAreRefused) {
  AP7_SPECTRUM* a = make_axis(0, 2, {1, 2, 3});
  AP7_SPECTRUM* b = make_axis(0, 1, {1, 2});
  double mean_square = 0.0;
  double root = 0.0;
  EXPECT_EQ(rms(a, b, 0.0f, &mean_square, &root), 0u);
  EXPECT_EQ(mean_square, -1e20);
  EXPECT_EQ(root, -1e20);
  EXPECT_EQ(rms(a, nullptr, 0.0f, &mean_square, &root), 0u);
  EXPECT_EQ(ap7d_RmsDifference(a, a, 0.0f, nullptr, &root), 0);
  destroy(b);
  destroy(a);
}

}  // namespace
