#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "array/array.h"
#include "array/array_fixture.h"
#include "files/files_fixture.h"
#include "support/test_home.h"

namespace {

using namespace arraytest;

uint32_t bits_of(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

class ArrayText : public filetest::FileObjects {
 protected:
  using FileObjects::destroy;
  static uint32_t destroy(AP4_ARRAY* array) { return arraytest::destroy(array); }
  static AP4_ARRAY* of(uint32_t rows, uint32_t columns, const std::vector<float>& data) {
    AP4_ARRAY* array = make(rows, columns);
    std::copy(data.begin(), data.end(), ap4a_GetDataAddress(array));
    return array;
  }
  static uint32_t write(AP4_ARRAY* array, AP20_FILE* file) { return send(AP4_MSG_WRITE_TEXT, array, file); }
  static AP4_ARRAY* read(AP20_FILE* file) {
    uint16_t class_id = AP4_CLASS_ID;
    return ap_result_object<AP4_ARRAY>(send(AP4_MSG_READ_TEXT, &class_id, file));
  }
  static uint32_t position(AP20_FILE* file) { return send(AP20_MSG_POSITION, file); }
  static uint32_t live_arrays() { return array_class().live; }

  // A file holding the bytes given, open for reading.
  AP20_FILE* stored(const std::string& name, const std::string& bytes) {
    testsupport::write_file(name, bytes);
    return opened_file(path(name), AP20_MODE_READ);
  }
  // What the writer leaves in a new file.
  std::string written(AP4_ARRAY* array, const std::string& name) {
    AP20_FILE* file = opened_file(path(name), AP20_MODE_CREATE);
    EXPECT_EQ(write(array, file), 1u);
    send(AP20_MSG_CLOSE, file);
    return testsupport::read_file(path(name));
  }
};

// ---------------------------------------------------------------------------
// Writing

TEST_F(ArrayText, WritesALineBreakTheHeaderLineAndOneLinePerRow) {
  AP4_ARRAY* array = of(2, 3, {1, 2, 3, 4, 5, 6});
  AP20_FILE* file = opened_file(path("two_by_three.txt"), AP20_MODE_CREATE);
  ASSERT_EQ(ap20_Write(file, "name", 4), 4u);  // the text goes where the file stands
  EXPECT_EQ(write(array, file), 1u);
  send(AP20_MSG_CLOSE, file);
  EXPECT_EQ(testsupport::read_file(path("two_by_three.txt")),
            "name\r\n2,3\r\n"
            "1.000000e+000,2.000000e+000,3.000000e+000\r\n"
            "4.000000e+000,5.000000e+000,6.000000e+000\r\n");
  destroy(array);
}

TEST_F(ArrayText, NumbersTakeThreeExponentDigitsAndMissingValuesTheirMark) {
  const float nan = AP1_GetNaNSG_MATH();
  AP4_ARRAY* array = of(2, 3, {-1.5e-7f, nan, 12345.678f, 0, 1e30f, nan});
  EXPECT_EQ(written(array, "marks.txt"),
            "\r\n2,3\r\n"
            "-1.500000e-007,#VALUE!,1.234568e+004\r\n"
            "0.000000e+000,1.000000e+030,#VALUE!\r\n");
  destroy(array);
}

TEST_F(ArrayText, AnArrayWithoutDataWritesNothing) {
  AP4_ARRAY* empty = make(0, 0);
  EXPECT_EQ(written(empty, "empty.txt"), "");
  destroy(empty);
}

TEST_F(ArrayText, WritingNeedsAnArrayAndAnOpenFile) {
  AP4_ARRAY* array = of(1, 1, {1});
  AP20_FILE* closed = named_file(path("closed.txt"));
  EXPECT_EQ(write(array, closed), 0u);
  EXPECT_EQ(ap4c_WriteText(array, nullptr), 0u);
  AP20_FILE* file = opened_file(path("other.txt"), AP20_MODE_CREATE);
  EXPECT_EQ(ap4c_WriteText(reinterpret_cast<AP4_ARRAY*>(file), file), 0u);
  destroy(array);
}

// ---------------------------------------------------------------------------
// Reading

TEST_F(ArrayText, WhatIsWrittenReadsBackAndWritesAgainByteForByte) {
  const float nan = AP1_GetNaNSG_MATH();
  AP4_ARRAY* array = make(3, 40);
  float* data = ap4a_GetDataAddress(array);
  for (int i = 0; i < 120; ++i) data[i] = std::ldexp(0.37f * static_cast<float>(i) - 21.0f, i % 40 - 20);
  data[5] = nan;
  data[39] = nan;  // the end of a row
  data[40] = -0.0f;
  data[41] = 3.4028235e38f;
  data[42] = 1.1754944e-38f;
  const std::string first = written(array, "first.txt");

  AP20_FILE* file = opened_file(path("first.txt"), AP20_MODE_READ);
  AP4_ARRAY* again = read(file);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(packed(again->rows), 3u);
  EXPECT_EQ(packed(again->columns), 40u);
  EXPECT_EQ(position(file), first.size());
  const std::vector<float> got = values(again);
  EXPECT_EQ(bits_of(got[5]), AP_NAN_BITS);
  EXPECT_EQ(bits_of(got[39]), AP_NAN_BITS);
  EXPECT_EQ(bits_of(got[40]), bits_of(-0.0f));
  for (size_t i = 0; i < got.size(); ++i) {
    if (ap1_is_missing(data[i])) continue;
    EXPECT_NEAR(got[i], data[i], std::fabs(data[i]) * 1e-6) << i;
  }
  EXPECT_EQ(written(again, "second.txt"), first);
  destroy(array);
  destroy(again);
}

TEST_F(ArrayText, ReadsTextWithOrWithoutItsLeadingLineBreakAndOneArrayAfterAnother) {
  AP20_FILE* file = stored("two.txt",
                           "\r\n1,2\r\n1.5,#x\r\n"
                           "2,1\n-3\n4e2\n"
                           "tail");
  AP4_ARRAY* first = read(file);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(values(first)[0], 1.5f);
  EXPECT_EQ(bits_of(values(first)[1]), AP_NAN_BITS) << "a token starting with '#' is missing";
  AP4_ARRAY* second = read(file);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(grid_of(second), (Grid{{-3}, {400}}));
  EXPECT_EQ(position(file), std::string("\r\n1,2\r\n1.5,#x\r\n2,1\n-3\n4e2\n").size());
  destroy(first);
  destroy(second);
}

TEST_F(ArrayText, ADamagedTextIsRefusedWithThePositionPutBackAndNoArrayLeft) {
  const std::string long_token(200, '1');
  struct Case {
    const char* what;
    std::string text;
  };
  const Case cases[] = {
      {"no rows", "\r\n0,5\r\n"},
      {"no columns", "\r\n5,0\r\n"},
      {"a negative count", "\r\n-1,2\r\n1,2\r\n"},
      {"a header that is not two counts", "\r\n2;3\r\n"},
      {"junk after the header", "\r\n1,1x\r\n1\r\n"},
      {"a count beyond 32 bits", "\r\n4294967297,1\r\n1\r\n"},
      {"no header at all", "\r\n"},
      {"a row too short", "\r\n2,2\r\n1,2\r\n3\r\n"},
      {"a row too long", "\r\n2,2\r\n1,2,3\r\n4,5\r\n"},
      {"a value that is no number", "\r\n1,2\r\n1,abc\r\n"},
      {"a number with junk after it", "\r\n1,2\r\n1,2.5q\r\n"},
      {"an empty value", "\r\n1,2\r\n,1\r\n"},
      {"a token over the limit", "\r\n1,1\r\n" + long_token + "\r\n"},
      {"a last line without its end", "\r\n1,2\r\n1,2"},
      {"more rows announced than held", "\r\n3,2\r\n1,2\r\n3,4\r\n"},
      {"more values announced than the file can hold", "\r\n100000,100000\r\n1,2\r\n"},
  };
  for (const Case& c : cases) {
    AP20_FILE* file = stored("damaged.txt", "xy" + c.text);
    AP20_SEEKPARM past_prefix{2, 0};
    ASSERT_EQ(send(AP20_MSG_SEEK, file, &past_prefix), 1u) << c.what;
    const uint32_t before = live_arrays();
    EXPECT_EQ(read(file), nullptr) << c.what;
    EXPECT_EQ(position(file), 2u) << c.what;
    EXPECT_EQ(live_arrays(), before) << c.what;
    destroy(file);
  }
}

TEST_F(ArrayText, ReadingNeedsTheArrayClassAndAnOpenFile) {
  testsupport::write_file("one.txt", "\r\n1,1\r\n1\r\n");
  AP20_FILE* closed = named_file(path("one.txt"));
  EXPECT_EQ(read(closed), nullptr);
  AP20_FILE* file = opened_file(path("one.txt"), AP20_MODE_READ);
  EXPECT_EQ(ap4c_ReadText(AP20_CLASS_ID, file), nullptr);
  EXPECT_EQ(ap4c_ReadText(AP4_CLASS_ID, nullptr), nullptr);
  AP4_ARRAY* array = ap4c_ReadText(AP4_CLASS_ID, file);
  ASSERT_NE(array, nullptr);
  destroy(array);
}

// ---------------------------------------------------------------------------
// Stored comparison

class StoredComparison : public ArrayText {
 protected:
  void SetUp() override {
    ArrayText::SetUp();
    report_ = opened_file(path("report.txt"), AP20_MODE_CREATE);
  }
  uint32_t compare(AP4_ARRAY* array, void* reference, const char* name = "sample") {
    AP4_COMPAREPARM parameter{reference, &errors_, report_, name};
    return send(AP4_MSG_COMPARE_STORED, array, &parameter);
  }
  std::string report() {
    send(AP20_MSG_CLOSE, report_);
    return testsupport::read_file(path("report.txt"));
  }

  AP20_FILE* report_ = nullptr;
  int16_t errors_ = 0;
};

TEST_F(StoredComparison, DifferencesUpTo5e05CompareEqual) {
  const float nan = AP1_GetNaNSG_MATH();
  AP4_ARRAY* reference = of(1, 4, {0, 1, nan, -2});
  const uint32_t before = live_arrays();
  EXPECT_EQ(compare(of(1, 4, {4e-05f, 1, 7, -2.00004f}), reference), 1u);
  EXPECT_EQ(errors_, 0);
  EXPECT_EQ(live_arrays(), before) << "the compared array is gone, the reference stays";
  EXPECT_EQ(values(reference)[3], -2);
  EXPECT_EQ(report(), "");
  destroy(reference);
}

TEST_F(StoredComparison, ALargerDifferenceReportsTheNameAndTheComparedArray) {
  AP4_ARRAY* reference = of(1, 3, {0, 1, 2});
  AP4_ARRAY* array = of(1, 3, {0, 1, 2.00006f});
  const std::string text = written(array, "expected.txt");
  const uint32_t before = live_arrays();
  errors_ = 3;
  EXPECT_EQ(compare(array, reference, "third"), 0u);
  EXPECT_EQ(errors_, 4);
  EXPECT_EQ(live_arrays(), before - 1);
  EXPECT_EQ(report(), "third" + text);
  destroy(reference);
}

TEST_F(StoredComparison, AReferenceInAFileIsReadAsTextAndDeletedAgain) {
  AP20_FILE* stored_file = stored("stored.txt", "\r\n2,1\r\n5.0\r\n#VALUE!\r\n");
  const float nan = AP1_GetNaNSG_MATH();
  const uint32_t before = live_arrays();
  EXPECT_EQ(compare(of(2, 1, {5.00001f, nan}), stored_file), 1u);
  EXPECT_EQ(errors_, 0);
  EXPECT_EQ(live_arrays(), before);
}

TEST_F(StoredComparison, NoComparisonIsAnErrorAndStillConsumesTheArray) {
  AP4_ARRAY* wider = of(1, 3, {1, 2, 3});
  AP20_FILE* damaged = stored("damaged.txt", "\r\n1,2\r\n1\r\n");
  struct Case {
    const char* what;
    void* reference;
  };
  for (const Case& c : {Case{"extents differ", wider}, Case{"the stored text is damaged", damaged},
                        Case{"the reference is of another class", report_}}) {
    errors_ = 0;
    const uint32_t before = live_arrays();
    EXPECT_EQ(compare(of(1, 2, {1, 2}), c.reference), 0u) << c.what;
    EXPECT_EQ(errors_, 1) << c.what;
    EXPECT_EQ(live_arrays(), before) << c.what;
  }
  EXPECT_EQ(report(), "");
  destroy(wider);
}

TEST_F(StoredComparison, RefusedArgumentsCountNothingButTheArrayIsStillConsumed) {
  AP4_ARRAY* reference = of(1, 1, {1});
  AP20_FILE* closed = named_file(path("closed.txt"));
  const uint32_t before = live_arrays();
  AP4_COMPAREPARM not_open{reference, &errors_, closed, "x"};
  EXPECT_EQ(send(AP4_MSG_COMPARE_STORED, of(1, 1, {1}), &not_open), 0u);
  AP4_COMPAREPARM no_count{reference, nullptr, report_, "x"};
  EXPECT_EQ(send(AP4_MSG_COMPARE_STORED, of(1, 1, {1}), &no_count), 0u);
  AP4_COMPAREPARM no_name{reference, &errors_, report_, nullptr};
  EXPECT_EQ(send(AP4_MSG_COMPARE_STORED, of(1, 1, {1}), &no_name), 0u);
  EXPECT_EQ(compare(of(1, 1, {1}), nullptr), 0u);
  EXPECT_EQ(errors_, 0);
  EXPECT_EQ(live_arrays(), before);
  destroy(reference);
}

}  // namespace
