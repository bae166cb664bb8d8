#include <string>

#include <gtest/gtest.h>

#include "array/array.h"
#include "array/array_fixture.h"

namespace {

using namespace arraytest;

bool same(AP4_CELL a, AP4_CELL b) { return a.row == b.row && a.column == b.column; }

// A range resolved in a 3 × 4 array: the extent it yields and the cells the
// caller holds afterwards.
struct RangeCase {
  const char* name;
  AP4_RANGE given;
  AP4_CELL extent;
  AP4_RANGE after;
};

class RangeResolution : public ArrayTest, public testing::WithParamInterface<RangeCase> {};
class CellRanges : public ArrayTest {};

TEST_P(RangeResolution, YieldsTheExtentOrTheInvalidMark) {
  const RangeCase& c = GetParam();
  AP4_ARRAY* array = make(3, 4);
  AP4_RANGE range = c.given;
  const AP4_CELL extent = ap4c_ClampCellRange(array, &range.start, &range.end);
  EXPECT_TRUE(same(extent, c.extent)) << extent.row << ", " << extent.column;
  EXPECT_TRUE(same(range.start, c.after.start));
  EXPECT_TRUE(same(range.end, c.after.end));
}

constexpr AP4_CELL kInvalid{-1, -1};

INSTANTIATE_TEST_SUITE_P(
    Cases, RangeResolution,
    testing::Values(
        // (-1, -1) stands for the whole extent and replaces whatever end was given.
        RangeCase{"WholeExtentIgnoresTheEnd", {{-1, -1}, {7, 9}}, {3, 4}, {{0, 0}, {2, 3}}},
        RangeCase{"WholeExtentWithNegativeEnd", {{-1, -1}, {-5, -5}}, {3, 4}, {{0, 0}, {2, 3}}},
        RangeCase{"OneCell", {{1, 2}, {1, 2}}, {1, 1}, {{1, 2}, {1, 2}}},
        RangeCase{"AllCellsNamed", {{0, 0}, {2, 3}}, {3, 4}, {{0, 0}, {2, 3}}},
        RangeCase{"LastRowOnly", {{2, 0}, {2, 3}}, {1, 4}, {{2, 0}, {2, 3}}},
        RangeCase{"NegativeStartRow", {{-1, 0}, {1, 1}}, kInvalid, {{-1, 0}, {1, 1}}},
        RangeCase{"NegativeStartColumn", {{0, -1}, {1, 1}}, kInvalid, {{0, -1}, {1, 1}}},
        RangeCase{"EndOnRowPastTheLast", {{0, 0}, {3, 3}}, kInvalid, {{0, 0}, {3, 3}}},
        RangeCase{"EndOnColumnPastTheLast", {{0, 0}, {2, 4}}, kInvalid, {{0, 0}, {2, 4}}},
        RangeCase{"RowsReversed", {{2, 0}, {1, 3}}, kInvalid, {{2, 0}, {1, 3}}},
        RangeCase{"ColumnsReversed", {{0, 3}, {2, 2}}, kInvalid, {{0, 3}, {2, 2}}},
        RangeCase{"EndNegative", {{0, 0}, {-1, -1}}, kInvalid, {{0, 0}, {-1, -1}}}),
    [](const testing::TestParamInfo<RangeCase>& info) { return std::string(info.param.name); });

TEST_F(CellRanges, WholeExtentOfAnEmptyArrayIsZeroByZeroEndingBeforeTheStart) {
  AP4_ARRAY* empty = make(0, 0);
  AP4_CELL start{-1, -1};
  AP4_CELL end{4, 4};
  EXPECT_TRUE(same(ap4c_ClampCellRange(empty, &start, &end), AP4_CELL{0, 0}));
  EXPECT_TRUE(same(start, AP4_CELL{0, 0}));
  EXPECT_TRUE(same(end, AP4_CELL{-1, -1}));
  // No cell lies in an empty array.
  start = end = AP4_CELL{0, 0};
  EXPECT_TRUE(same(ap4c_ClampCellRange(empty, &start, &end), kInvalid));
}

TEST_F(CellRanges, RangesOfWhatIsNotAnArrayAreInvalid) {
  AP_OBJECT* other = ap2_New_OBJ(AP2_CLASS_ID, nullptr);
  AP4_CELL start{-1, -1};
  AP4_CELL end{0, 0};
  EXPECT_TRUE(same(ap4c_ClampCellRange(reinterpret_cast<AP4_ARRAY*>(other), &start, &end), kInvalid));
  EXPECT_TRUE(same(start, AP4_CELL{-1, -1}));
  EXPECT_TRUE(same(ap4c_ClampCellRange(nullptr, &start, &end), kInvalid));
}

}  // namespace
