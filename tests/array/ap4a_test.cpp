#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "array/array.h"
#include "array/array_fixture.h"
#include "files/files_fixture.h"
#include "support/test_home.h"

// Some tests here ask for a block the capped address space cannot give; the
// sanitizer's allocator then answers null, as the platform's heap does,
// instead of ending the process.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
#endif

namespace {

using namespace arraytest;

class ArrayObject : public ArrayTest {
 protected:
  static AP2_OBJECT* root_of(const AP4_ARRAY* array) { return reinterpret_cast<AP2_OBJECT*>(array->head.parent); }

  static AP4_ARRAY* allocate(AP_OBJECT* owner, uint32_t rows, uint32_t columns) {
    uint16_t class_id = AP4_CLASS_ID;
    AP4_ALLOCPARM parameter{owner, rows, columns};
    return ap_result_object<AP4_ARRAY>(send(AP_MSG_CREATE, &class_id, &parameter));
  }
  static AP4_ARRAY* duplicate(AP4_ARRAY* array, HWND window = nullptr) {
    AP_WINDOWPARM parameter{window, 0};
    return ap_result_object<AP4_ARRAY>(send(AP_MSG_DUPLICATE, array, &parameter));
  }
  static uint32_t copy(AP4_ARRAY* from, AP4_ARRAY* to, HWND window = nullptr) {
    AP_COPYPARM parameter{&to->head, window};
    return send(AP_MSG_COPY, from, &parameter);
  }
  static uint32_t get(AP4_ARRAY* array, int32_t row, int32_t column, float* value) {
    AP4_GETELEMENTPARM parameter{{row, column}, value};
    return send(AP4_MSG_GET_ELEMENT, array, &parameter);
  }
  static uint32_t set(AP4_ARRAY* array, int32_t row, int32_t column, float value) {
    AP4_SETELEMENTPARM parameter{{row, column}, value};
    return send(AP4_MSG_SET_ELEMENT, array, &parameter);
  }
  static AP4_ARRAY* extract(AP4_ARRAY* array, AP4_RANGE range) {
    return ap_result_object<AP4_ARRAY>(send(AP4_MSG_EXTRACT_RANGE, array, &range));
  }
  static uint32_t copy_range(AP4_ARRAY* from, AP4_RANGE range, AP4_ARRAY* to, AP4_CELL at) {
    AP4_COPYRANGEPARM parameter{range, to, at};
    return send(AP4_MSG_COPY_RANGE_TO, from, &parameter);
  }
  static uint32_t set_data(AP4_ARRAY* array, uint32_t rows, uint32_t columns, GU3_HANDLE block) {
    AP4_SETDATAPARM parameter{rows, columns, block};
    return send(AP4_MSG_SET_DATA_IN, array, &parameter);
  }
  static uint32_t fill(AP4_ARRAY* array, AP4_RANGE range, float value) {
    AP4_FILLPARM parameter{range, value};
    return send(AP4_MSG_FILL_RANGE, array, &parameter);
  }
  static GU3_HANDLE block_of(const std::vector<float>& floats) {
    GU3_HANDLE block = GU3_Allocate_MM(static_cast<uint32_t>(floats.size()), sizeof(float), GU3_KIND_GLOBAL);
    std::memcpy(GU3_GetPointer_MM(block, 0, nullptr, nullptr), floats.data(), floats.size() * sizeof(float));
    return block;
  }
};

// ---------------------------------------------------------------------------
// Life cycle

TEST_F(ArrayObject, RecordHasItsFixedLayout) {
  EXPECT_EQ(offsetof(AP4_ARRAY, rows), 6u);
  EXPECT_EQ(offsetof(AP4_ARRAY, columns), 10u);
  EXPECT_EQ(offsetof(AP4_ARRAY, data), 14u);
  EXPECT_EQ(offsetof(AP4_COPYRANGEPARM, target), 16u);
  EXPECT_EQ(offsetof(AP4_COPYRANGEPARM, at), 20u);
  EXPECT_EQ(offsetof(AP4_FILLPARM, value), 16u);
  EXPECT_EQ(offsetof(AP4_EXTENTPARM, extent), 16u);
}

TEST_F(ArrayObject, NewArraysAreZeroFilledEvenWhereADeletedArrayLay) {
  AP4_ARRAY* old = make_filled(64, 64);
  ASSERT_EQ(destroy(old), AP_DESTROYED);
  for (AP4_ARRAY* fresh : {make(64, 64), allocate(nullptr, 64, 64), make(3, 1000)}) {
    ASSERT_NE(fresh, nullptr);
    const std::vector<float> got = values(fresh);
    EXPECT_EQ(std::count(got.begin(), got.end(), 0.0f), static_cast<long>(got.size()));
  }
}

TEST_F(ArrayObject, AllocateMakesTheRecordAndARootPartOwnedAsAsked) {
  AP_OBJECT* owner = ap2_New_OBJ(AP2_CLASS_ID, nullptr);
  AP4_ARRAY* owned = allocate(owner, 2, 3);
  ASSERT_NE(owned, nullptr);
  EXPECT_EQ(owned->head.class_id, AP4_CLASS_ID);
  EXPECT_EQ(packed(owned->rows), 2u);
  EXPECT_EQ(packed(owned->columns), 3u);
  EXPECT_EQ(GU3_NumElements_MM(packed(owned->data)), 6u);
  EXPECT_EQ(GU3_LenElements_MM(packed(owned->data)), 4u);
  ASSERT_NE(root_of(owned), nullptr);
  EXPECT_EQ(root_of(owned)->head.class_id, AP2_CLASS_ID);
  EXPECT_EQ(packed(root_of(owned)->outer), owner);

  AP4_ARRAY* own = allocate(nullptr, 1, 1);
  EXPECT_EQ(packed(root_of(own)->outer), &own->head);
  EXPECT_EQ(array_class().live, 2);
  EXPECT_EQ(array_class().created, 2);
}

TEST_F(ArrayObject, AnEmptyArrayHoldsNoDataBlock) {
  AP4_ARRAY* empty = make(0, 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(packed(empty->data), nullptr);
  EXPECT_EQ(send(AP4_MSG_DATA_ADDRESS, empty), 0u);
  EXPECT_EQ(send(AP4_MSG_COPY_DATA_OUT, empty), 0u);
}

struct Dimensions {
  const char* name;
  uint32_t rows;
  uint32_t columns;
};

class RefusedDimensions : public ArrayObject, public testing::WithParamInterface<Dimensions> {};

// Nothing taken for a refused array stays: neither its cell nor a root part.
TEST_P(RefusedDimensions, MakeNoArray) {
  const Dimensions& d = GetParam();
  EXPECT_EQ(allocate(nullptr, d.rows, d.columns), nullptr);
  EXPECT_EQ(make(d.rows, d.columns), nullptr);
  EXPECT_EQ(array_class().live, 0);
  EXPECT_EQ(root_class().live, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedDimensions,
    testing::Values(Dimensions{"RowsWithoutColumns", 5, 0}, Dimensions{"ColumnsWithoutRows", 0, 5},
                    Dimensions{"NegativeRows", static_cast<uint32_t>(-1), 3},
                    Dimensions{"NegativeColumns", 3, static_cast<uint32_t>(-2)},
                    // 65536 × 65536 floats would wrap to no elements in 32 bits, and
                    // 65537 × 65536 to a block of 65536.
                    Dimensions{"ElementCountWrapsToZero", 65536, 65536},
                    Dimensions{"ElementCountWrapsToSmall", 65537, 65536},
                    Dimensions{"TwoGigabytes", 1, 0x20000000}),
    [](const testing::TestParamInfo<Dimensions>& info) { return std::string(info.param.name); });

TEST_F(ArrayObject, AnArrayWhoseDataCannotBeHadGivesBackItsCellAndRootPart) {
  if (!AddressSpaceCap::enforced()) GTEST_SKIP() << "the address space cannot be capped here";
  AddressSpaceCap cap;
  ASSERT_TRUE(cap.active());
  EXPECT_EQ(make(1, AddressSpaceCap::kUnobtainableFloats), nullptr);
  EXPECT_EQ(array_class().live, 0);
  EXPECT_EQ(root_class().live, 0);
}

TEST_F(ArrayObject, DeleteFreesTheDataTheRootPartAndTheCell) {
  AP4_ARRAY* array = make(2, 2);
  GU3_HANDLE data = array->data;
  EXPECT_EQ(destroy(array), AP_DESTROYED);
  EXPECT_EQ(GU3_NumElements_MM(data), 0u);
  EXPECT_EQ(array_class().live, 0);
  EXPECT_EQ(root_class().live, 0);
  EXPECT_EQ(make(1, 1), array);  // the cell is free again
}

TEST_F(ArrayObject, DeleteRefusedByTheRootPartKeepsTheArray) {
  // Windows that no longer exist hear no notices, so bare handles do here.
  const HWND holder = reinterpret_cast<HWND>(0x1111);
  const HWND caller = reinterpret_cast<HWND>(0x2222);
  AP4_ARRAY* array = make_filled(2, 2);
  AP_DEPENDENTWINDOWPARM hold{holder, AP2_KIND_CANT_DESTROY};
  ASSERT_EQ(send(AP_MSG_ADD_DEPENDENT_WINDOW, array, &hold), 1u);
  EXPECT_EQ(destroy(array, caller), AP_DESTROY_REFUSED);
  EXPECT_EQ(grid_of(array), filled_grid(2, 2));
  EXPECT_EQ(array_class().live, 1);
  EXPECT_EQ(destroy(array, holder), AP_DESTROYED);
  EXPECT_EQ(array_class().live, 0);
}

TEST_F(ArrayObject, DeleteRefusesWhatIsNotAnArray) {
  AP_OBJECT* other = ap2_New_OBJ(AP2_CLASS_ID, nullptr);
  EXPECT_EQ(ap4a_Delete(reinterpret_cast<AP4_ARRAY*>(other), nullptr), 0u);
  EXPECT_EQ(ap4a_Delete(nullptr, nullptr), 0u);
  EXPECT_EQ(root_class().live, 1);
}

TEST_F(ArrayObject, DuplicateIsAnEqualArrayOfItsOwn) {
  AP4_ARRAY* original = make_filled(3, 4);
  AP_WORDPARM saved{static_cast<uint16_t>(AP2_SAVED)};
  send(AP_MSG_SET_CHANGE_STATE, original, &saved);
  AP4_ARRAY* twin = duplicate(original);
  ASSERT_NE(twin, nullptr);
  EXPECT_NE(twin, original);
  EXPECT_NE(packed(twin->data), packed(original->data));
  EXPECT_EQ(grid_of(twin), filled_grid(3, 4));
  EXPECT_EQ(packed(root_of(twin)->outer), &twin->head);
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, twin), static_cast<uint32_t>(AP2_SAVED));
  ASSERT_EQ(set(twin, 0, 0, -1.0f), 1u);
  EXPECT_EQ(grid_of(original), filled_grid(3, 4));

  AP4_ARRAY* empty_twin = duplicate(make(0, 0));
  ASSERT_NE(empty_twin, nullptr);
  EXPECT_EQ(packed(empty_twin->rows), 0u);
  EXPECT_EQ(packed(empty_twin->data), nullptr);
}

// The first change under a "Cant Change" window hands the other dependents a
// duplicate made through the array's own message 6; the window keeps the
// array that changes.
TEST_F(ArrayObject, AChangeUnderACantChangeWindowLeavesTheOldValuesInACopy) {
  AP4_ARRAY* array = make_filled(2, 3);
  AP_DEPENDENTWINDOWPARM keep{reinterpret_cast<HWND>(0x3333), AP2_KIND_CANT_CHANGE};
  ASSERT_EQ(send(AP_MSG_ADD_DEPENDENT_WINDOW, array, &keep), 1u);
  NoticeCounter counter;
  watch(array, counter);
  ASSERT_EQ(set(array, 1, 2, 0.5f), 1u);
  ASSERT_NE(counter.copy, nullptr);
  ASSERT_EQ(counter.copy->class_id, AP4_CLASS_ID);
  EXPECT_EQ(grid_of(reinterpret_cast<AP4_ARRAY*>(counter.copy)), filled_grid(2, 3));
  Grid changed = filled_grid(2, 3);
  changed[1][2] = 0.5f;
  EXPECT_EQ(grid_of(array), changed);
}

TEST_F(ArrayObject, CopyNeedsTheSameExtentAndLeavesAnotherTargetAlone) {
  AP4_ARRAY* source = make_filled(2, 3);
  AP4_ARRAY* transposed = make(3, 2);
  NoticeCounter counter;
  watch(transposed, counter);
  EXPECT_EQ(copy(source, transposed), 0u);
  EXPECT_EQ(grid_of(transposed), Grid(3, std::vector<float>(2, 0.0f)));
  EXPECT_EQ(counter.changes, 0);
  AP_COPYPARM to_other{ap2_New_OBJ(AP2_CLASS_ID, nullptr), nullptr};
  EXPECT_EQ(send(AP_MSG_COPY, source, &to_other), 0u);
}

TEST_F(ArrayObject, CopyMovesTheValuesAndTheChangeStateIntoTheTarget) {
  AP4_ARRAY* source = make_filled(2, 3);
  AP4_ARRAY* target = make(2, 3);
  NoticeCounter counter;
  watch(target, counter);
  const HWND window = reinterpret_cast<HWND>(0x4444);
  EXPECT_EQ(copy(source, target, window), 1u);
  EXPECT_EQ(grid_of(target), filled_grid(2, 3));
  EXPECT_EQ(counter.changes, 1);
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, target), static_cast<uint32_t>(AP2_UNCHANGED));
  EXPECT_EQ(packed(root_of(target)->dependents->count), 2u);  // the counter and the window
}

struct SizeCase {
  const char* name;
  uint32_t rows;
  uint32_t columns;
  uint32_t dependents;
};

class MemorySize : public ArrayObject, public testing::WithParamInterface<SizeCase> {};

// Root part (46 bytes and 18 a dependent), the floats and the 18-byte record.
TEST_P(MemorySize, CountsTheRootPartTheDataAndTheRecord) {
  const SizeCase& c = GetParam();
  AP4_ARRAY* array = make(c.rows, c.columns);
  std::vector<NoticeCounter> counters(c.dependents);
  for (NoticeCounter& counter : counters) watch(array, counter);
  EXPECT_EQ(send(AP_MSG_SIZE, array), 46 + 18 * c.dependents + 4 * c.rows * c.columns + 18);
}

INSTANTIATE_TEST_SUITE_P(Cases, MemorySize,
                         testing::Values(SizeCase{"Empty", 0, 0, 0}, SizeCase{"ThreeByFive", 3, 5, 0},
                                         SizeCase{"WithTwoDependents", 1, 7, 2}),
                         [](const testing::TestParamInfo<SizeCase>& info) { return std::string(info.param.name); });

TEST_F(ArrayObject, StoredSizeIsTheFileBlocksLength) {
  EXPECT_EQ(send(AP4_MSG_STORED_SIZE, make(1, 20000)), 80008u);
  EXPECT_EQ(send(AP4_MSG_STORED_SIZE, make(3, 4)), 8u + 12 * 4);
  EXPECT_EQ(send(AP4_MSG_STORED_SIZE, make(0, 0)), 8u);
}

TEST_F(ArrayObject, ClassNameIsAP4Array) {
  AP4_ARRAY* array = make(1, 1);
  char name[16];
  std::memset(name, 'x', sizeof name);
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, array, name), 1u);
  EXPECT_STREQ(name, "AP4_ARRAY");
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, array, nullptr), 0u);
}

TEST_F(ArrayObject, DimensionsAndDataAddress) {
  AP4_ARRAY* array = make_filled(3, 4);
  uint32_t rows = 0;
  uint32_t columns = 0;
  AP4_DIMSPARM both{&rows, &columns};
  EXPECT_EQ(send(AP4_MSG_GET_DIMS, array, &both), 1u);
  EXPECT_EQ(rows, 3u);
  EXPECT_EQ(columns, 4u);
  AP4_DIMSPARM columns_only{nullptr, &columns};
  columns = 0;
  EXPECT_EQ(send(AP4_MSG_GET_DIMS, array, &columns_only), 1u);
  EXPECT_EQ(columns, 4u);
  auto* data = ap_result_object<float>(send(AP4_MSG_DATA_ADDRESS, array));
  EXPECT_EQ(data, GU3_GetPointer_MM(packed(array->data), 0, nullptr, nullptr));
  EXPECT_EQ(data[1 * 4 + 2], cell_value(1, 2));
}

// ---------------------------------------------------------------------------
// Elements

TEST_F(ArrayObject, GetElementReadsRowMajorCells) {
  AP4_ARRAY* array = make_filled(3, 4);
  for (int32_t r = 0; r < 3; ++r) {
    for (int32_t c = 0; c < 4; ++c) {
      float value = 0.0f;
      EXPECT_EQ(get(array, r, c, &value), 1u);
      EXPECT_EQ(value, cell_value(r, c)) << r << ", " << c;
    }
  }
  EXPECT_EQ(get(array, 0, 0, nullptr), 0u);
}

class OutsideCell : public ArrayObject, public testing::WithParamInterface<AP4_CELL> {};

TEST_P(OutsideCell, IsNeitherReadNorWritten) {
  AP4_ARRAY* array = make_filled(3, 4);
  NoticeCounter counter;
  watch(array, counter);
  const AP4_CELL cell = GetParam();
  float value = 42.0f;
  EXPECT_EQ(get(array, cell.row, cell.column, &value), 0u);
  EXPECT_EQ(value, 42.0f);
  EXPECT_EQ(set(array, cell.row, cell.column, 7.0f), 0u);
  EXPECT_EQ(grid_of(array), filled_grid(3, 4));
  EXPECT_EQ(counter.changes, 0);
}

// (-1, -1) is refused too, though it stands for the whole array in a range.
INSTANTIATE_TEST_SUITE_P(Cells, OutsideCell,
                         testing::Values(AP4_CELL{3, 0}, AP4_CELL{0, 4}, AP4_CELL{-1, 0}, AP4_CELL{0, -1},
                                         AP4_CELL{-1, -1}, AP4_CELL{INT32_MAX, INT32_MAX}));

TEST_F(ArrayObject, SetElementStoresTheValueInOneChange) {
  AP4_ARRAY* array = make_filled(3, 4);
  NoticeCounter counter;
  watch(array, counter);
  const float missing = AP1_GetNaNSG_MATH();
  EXPECT_EQ(set(array, 2, 1, missing), 1u);
  EXPECT_EQ(counter.changes, 1);
  std::vector<float> expected = values(make_filled(3, 4));
  expected[2 * 4 + 1] = missing;
  const std::vector<float> got = values(array);
  EXPECT_EQ(std::memcmp(got.data(), expected.data(), got.size() * sizeof(float)), 0);
}

// ---------------------------------------------------------------------------
// Ranges

TEST_F(ArrayObject, ExtentOfARangeLeavesTheCallersCells) {
  AP4_ARRAY* array = make(3, 4);
  AP4_CELL extent{};
  AP4_EXTENTPARM part{{{1, 1}, {2, 3}}, &extent};
  EXPECT_EQ(send(AP4_MSG_GET_EXTENT, array, &part), 1u);
  EXPECT_EQ(extent.row, 2);
  EXPECT_EQ(extent.column, 3);
  AP4_EXTENTPARM whole{{{-1, -1}, {9, 9}}, &extent};
  EXPECT_EQ(send(AP4_MSG_GET_EXTENT, array, &whole), 1u);
  EXPECT_EQ(extent.row, 3);
  EXPECT_EQ(extent.column, 4);
  EXPECT_EQ(packed(whole.range.start.row), -1);
  EXPECT_EQ(packed(whole.range.end.row), 9);
  AP4_EXTENTPARM outside{{{0, 0}, {3, 0}}, &extent};
  EXPECT_EQ(send(AP4_MSG_GET_EXTENT, array, &outside), 0u);
  EXPECT_EQ(extent.row, -1);
  EXPECT_EQ(extent.column, -1);
}

TEST_F(ArrayObject, ExtractOfTheWholeExtentCopiesTheArray) {
  AP4_ARRAY* array = make_filled(3, 4);
  AP4_ARRAY* whole = extract(array, AP4_RANGE{{-1, -1}, {0, 0}});
  ASSERT_NE(whole, nullptr);
  EXPECT_NE(whole, array);
  EXPECT_EQ(grid_of(whole), filled_grid(3, 4));
}

TEST_F(ArrayObject, ExtractCopiesTheRangesCellsIntoANewArray) {
  AP4_ARRAY* array = make_filled(3, 4);
  AP4_ARRAY* part = extract(array, AP4_RANGE{{1, 1}, {2, 3}});
  ASSERT_NE(part, nullptr);
  Grid expected(2, std::vector<float>(3));
  for (uint32_t r = 0; r < 2; ++r)
    for (uint32_t c = 0; c < 3; ++c) expected[r][c] = cell_value(1 + r, 1 + c);
  EXPECT_EQ(grid_of(part), expected);
  EXPECT_EQ(extract(array, AP4_RANGE{{0, 0}, {3, 3}}), nullptr);
  EXPECT_EQ(array_class().live, 2);
}

TEST_F(ArrayObject, CopyRangeToPlacesTheCellsAtTheTargetCell) {
  AP4_ARRAY* source = make_filled(3, 4);
  AP4_ARRAY* target = make(4, 5);
  NoticeCounter source_counter;
  NoticeCounter target_counter;
  watch(source, source_counter);
  watch(target, target_counter);
  EXPECT_EQ(copy_range(source, AP4_RANGE{{0, 1}, {1, 2}}, target, AP4_CELL{2, 3}), 1u);
  Grid expected(4, std::vector<float>(5, 0.0f));
  for (uint32_t r = 0; r < 2; ++r)
    for (uint32_t c = 0; c < 2; ++c) expected[2 + r][3 + c] = cell_value(r, 1 + c);
  EXPECT_EQ(grid_of(target), expected);
  EXPECT_EQ(target_counter.changes, 1);
  EXPECT_EQ(source_counter.changes, 0);
}

TEST_F(ArrayObject, CopyRangeFromTakesTheSourcesRangeIntoTheReceiver) {
  AP4_ARRAY* source = make_filled(3, 4);
  AP4_ARRAY* target = make(4, 5);
  EXPECT_EQ(ap4a_CopyRangeFrom(target, ap4a_MakeCell(2, 3), source, AP4_RANGE{{0, 1}, {1, 2}}), 1);
  Grid expected(4, std::vector<float>(5, 0.0f));
  for (uint32_t r = 0; r < 2; ++r)
    for (uint32_t c = 0; c < 2; ++c) expected[2 + r][3 + c] = cell_value(r, 1 + c);
  EXPECT_EQ(grid_of(target), expected);
  EXPECT_EQ(ap4a_CopyRangeFrom(target, ap4a_MakeCell(3, 4), source, AP4_RANGE{{0, 0}, {1, 1}}), 0);
  EXPECT_EQ(grid_of(target), expected);
}

TEST_F(ArrayObject, SetElementsTakesTheCellAsRowAndColumn) {
  AP4_ARRAY* array = make(2, 3);
  const AP4_CELL cell = ap4a_MakeCell(1, 2);
  EXPECT_EQ(cell.row, 1);
  EXPECT_EQ(cell.column, 2);
  EXPECT_EQ(ap4a_SetElements(array, 1, 2, 7.5f), 1);
  EXPECT_EQ(grid_of(array), (Grid{{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 7.5f}}));
  EXPECT_EQ(ap4a_SetElements(array, 2, 0, 1.0f), 0);
}

class TargetCell : public ArrayObject, public testing::WithParamInterface<AP4_CELL> {};

// A 2 × 2 range does not fit into a 4 × 5 target at these cells.
TEST_P(TargetCell, ThatTheRangeDoesNotFitIsRefused) {
  AP4_ARRAY* source = make_filled(3, 4);
  AP4_ARRAY* target = make(4, 5);
  NoticeCounter counter;
  watch(target, counter);
  EXPECT_EQ(copy_range(source, AP4_RANGE{{0, 0}, {1, 1}}, target, GetParam()), 0u);
  EXPECT_EQ(grid_of(target), Grid(4, std::vector<float>(5, 0.0f)));
  EXPECT_EQ(counter.changes, 0);
}

INSTANTIATE_TEST_SUITE_P(Cells, TargetCell,
                         testing::Values(AP4_CELL{-1, -1}, AP4_CELL{3, 0}, AP4_CELL{0, 4}, AP4_CELL{-2, 0},
                                         AP4_CELL{INT32_MAX, 0}, AP4_CELL{0, INT32_MAX}));

struct OverlapCase {
  const char* name;
  AP4_RANGE range;
  AP4_CELL at;
};

class CopyWithinOneArray : public ArrayObject, public testing::WithParamInterface<OverlapCase> {};

TEST_P(CopyWithinOneArray, MovesOverlappingCellsAsFromASnapshot) {
  const OverlapCase& c = GetParam();
  AP4_ARRAY* array = make_filled(4, 4);
  const Grid before = filled_grid(4, 4);
  Grid expected = before;
  for (int32_t r = c.range.start.row; r <= c.range.end.row; ++r)
    for (int32_t col = c.range.start.column; col <= c.range.end.column; ++col)
      expected[c.at.row + r - c.range.start.row][c.at.column + col - c.range.start.column] = before[r][col];
  EXPECT_EQ(copy_range(array, c.range, array, c.at), 1u);
  EXPECT_EQ(grid_of(array), expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, CopyWithinOneArray,
                         testing::Values(OverlapCase{"DownRight", {{0, 0}, {2, 2}}, {1, 1}},
                                         OverlapCase{"UpLeft", {{1, 1}, {3, 3}}, {0, 0}},
                                         OverlapCase{"DownLeft", {{0, 1}, {2, 3}}, {1, 0}},
                                         OverlapCase{"OneRowRight", {{2, 0}, {2, 2}}, {2, 1}}),
                         [](const testing::TestParamInfo<OverlapCase>& info) { return std::string(info.param.name); });

TEST_F(ArrayObject, CopyDataOutGivesABlockOfItsOwn) {
  AP4_ARRAY* array = make_filled(2, 3);
  GU3_HANDLE block = ap_result_object<GU3_DESCRIPTOR>(send(AP4_MSG_COPY_DATA_OUT, array));
  ASSERT_NE(block, nullptr);
  EXPECT_NE(block, packed(array->data));
  EXPECT_EQ(GU3_NumElements_MM(block), 6u);
  EXPECT_EQ(GU3_LenElements_MM(block), 4u);
  auto* floats = static_cast<float*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  EXPECT_EQ(std::vector<float>(floats, floats + 6), values(array));
  floats[0] = -5.0f;
  EXPECT_EQ(grid_of(array), filled_grid(2, 3));
  GU3_Free_MM(block);
}

TEST_F(ArrayObject, SetDataInTakesDimensionsAndValuesFromTheBlock) {
  AP4_ARRAY* array = make_filled(2, 2);
  NoticeCounter counter;
  watch(array, counter);
  GU3_HANDLE block = block_of({1, 2, 3, 4, 5, 6});
  EXPECT_EQ(set_data(array, 3, 2, block), 1u);
  EXPECT_EQ(grid_of(array), (Grid{{1, 2}, {3, 4}, {5, 6}}));
  EXPECT_NE(packed(array->data), block);
  EXPECT_EQ(counter.changes, 1);
  GU3_Free_MM(block);
}

// Reshaping an array from its own block reads the block before it goes.
TEST_F(ArrayObject, SetDataInFromTheArraysOwnBlock) {
  AP4_ARRAY* array = make_filled(2, 3);
  const std::vector<float> before = values(array);
  EXPECT_EQ(set_data(array, 3, 2, packed(array->data)), 1u);
  EXPECT_EQ(packed(array->rows), 3u);
  EXPECT_EQ(values(array), before);
}

TEST_F(ArrayObject, SetDataInRefusesABlockSmallerThanTheDimensions) {
  AP4_ARRAY* array = make_filled(2, 2);
  NoticeCounter counter;
  watch(array, counter);
  GU3_HANDLE block = block_of({1, 2, 3, 4, 5});
  EXPECT_EQ(set_data(array, 2, 3, block), 0u);
  EXPECT_EQ(set_data(array, 2, 3, nullptr), 0u);
  EXPECT_EQ(set_data(array, 0, 3, block), 0u);
  EXPECT_EQ(set_data(array, static_cast<uint32_t>(-1), 1, block), 0u);
  // Bytes count, not elements: five 2-byte elements hold two and a half floats.
  GU3_HANDLE halves = GU3_Allocate_MM(5, 2, GU3_KIND_GLOBAL);
  EXPECT_EQ(set_data(array, 1, 3, halves), 0u);
  EXPECT_EQ(grid_of(array), filled_grid(2, 2));
  EXPECT_EQ(counter.changes, 0);
  GU3_Free_MM(block);
  GU3_Free_MM(halves);
}

TEST_F(ArrayObject, SetDataInOfNoElementsEmptiesTheArray) {
  AP4_ARRAY* array = make_filled(2, 2);
  EXPECT_EQ(set_data(array, 0, 0, nullptr), 1u);
  EXPECT_EQ(packed(array->rows), 0u);
  EXPECT_EQ(packed(array->columns), 0u);
  EXPECT_EQ(packed(array->data), nullptr);
}

TEST_F(ArrayObject, SetDataInKeepsTheOldBlockWhenTheNewCannotBeHad) {
  if (!AddressSpaceCap::enforced()) GTEST_SKIP() << "the address space cannot be capped here";
  AP4_ARRAY* array = make_filled(2, 2);
  GU3_HANDLE old = array->data;
  GU3_HANDLE large = GU3_Allocate_MM(AddressSpaceCap::kUnobtainableFloats, sizeof(float), GU3_KIND_GLOBAL);
  ASSERT_NE(large, nullptr);
  {
    AddressSpaceCap cap;
    ASSERT_TRUE(cap.active());
    EXPECT_EQ(set_data(array, 1, AddressSpaceCap::kUnobtainableFloats, large), 0u);
  }
  EXPECT_EQ(packed(array->data), old);
  EXPECT_EQ(grid_of(array), filled_grid(2, 2));
  GU3_Free_MM(large);
}

// ---------------------------------------------------------------------------
// Inserting and deleting rows and columns

enum class Span { InsertRows, DeleteRows, InsertColumns, DeleteColumns };

struct SpanCase {
  const char* name;
  Span operation;
  uint32_t rows;
  uint32_t columns;
  int32_t index;
  int32_t count;
  uint16_t result;
};

uint16_t span_message(Span operation) {
  switch (operation) {
    case Span::InsertRows: return AP4_MSG_INSERT_ROWS;
    case Span::DeleteRows: return AP4_MSG_DELETE_ROWS;
    case Span::InsertColumns: return AP4_MSG_INSERT_COLUMNS;
    case Span::DeleteColumns: return AP4_MSG_DELETE_COLUMNS;
  }
  return 0;
}

// What an accepted span does to the cells, on a grid of rows: inserted cells
// are 0, a deletion stops at the edge, and rows without columns are no
// array at all.
Grid apply_span(Grid grid, Span operation, int32_t index, int32_t count, uint32_t columns) {
  auto clipped = [&](size_t extent) { return std::min(extent, static_cast<size_t>(index) + count); };
  switch (operation) {
    case Span::InsertRows: grid.insert(grid.begin() + index, count, std::vector<float>(columns, 0.0f)); break;
    case Span::DeleteRows: grid.erase(grid.begin() + index, grid.begin() + clipped(grid.size())); break;
    case Span::InsertColumns:
      for (auto& row : grid) row.insert(row.begin() + index, count, 0.0f);
      break;
    case Span::DeleteColumns:
      for (auto& row : grid) row.erase(row.begin() + index, row.begin() + clipped(row.size()));
      break;
  }
  if (!grid.empty() && grid[0].empty()) grid.clear();
  return grid;
}

class SpanOperation : public ArrayObject, public testing::WithParamInterface<SpanCase> {};

TEST_P(SpanOperation, ChangesTheCellsAsSpecifiedInOneChange) {
  const SpanCase& c = GetParam();
  AP4_ARRAY* array = make_filled(c.rows, c.columns);
  NoticeCounter counter;
  watch(array, counter);
  AP4_SPANPARM parameter{c.index, c.count};
  EXPECT_EQ(send(span_message(c.operation), array, &parameter), c.result);

  const Grid before = filled_grid(c.rows, c.columns);
  const Grid expected = c.result != 0 ? apply_span(before, c.operation, c.index, c.count, c.columns) : before;
  EXPECT_EQ(grid_of(array), expected);
  EXPECT_EQ(packed(array->rows), expected.size());
  EXPECT_EQ(packed(array->columns), expected.empty() ? 0u : expected[0].size());
  EXPECT_EQ(packed(array->data) == nullptr, expected.empty());
  EXPECT_EQ(counter.changes, expected != before ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SpanOperation,
    testing::Values(SpanCase{"InsertRowsAtTheStart", Span::InsertRows, 3, 2, 0, 2, 1},
                    SpanCase{"InsertRowsInside", Span::InsertRows, 3, 2, 1, 1, 1},
                    SpanCase{"InsertRowsAtTheEndAppends", Span::InsertRows, 3, 2, 3, 2, 1},
                    SpanCase{"InsertRowsPastTheEnd", Span::InsertRows, 3, 2, 4, 1, 0},
                    SpanCase{"InsertRowsNegativeIndex", Span::InsertRows, 3, 2, -1, 1, 0},
                    SpanCase{"InsertRowsNegativeCount", Span::InsertRows, 3, 2, 1, -1, 0},
                    SpanCase{"InsertNoRows", Span::InsertRows, 3, 2, 9, 0, 1},
                    SpanCase{"InsertRowsIntoAnEmptyArray", Span::InsertRows, 0, 0, 0, 2, 0},
                    SpanCase{"DeleteRowsCutAtTheLastRow", Span::DeleteRows, 5, 2, 2, 10, 1},
                    SpanCase{"DeleteOneRow", Span::DeleteRows, 5, 2, 0, 1, 1},
                    SpanCase{"DeleteEveryRowEmptiesTheArray", Span::DeleteRows, 3, 2, 0, 3, 1},
                    SpanCase{"DeleteRowsFromTheEndDeletesNothing", Span::DeleteRows, 3, 2, 3, 2, 1},
                    SpanCase{"DeleteRowsPastTheEnd", Span::DeleteRows, 3, 2, 4, 1, 0},
                    SpanCase{"DeleteRowsNegativeCount", Span::DeleteRows, 3, 2, 0, -2, 0},
                    SpanCase{"DeleteRowsOfAnEmptyArray", Span::DeleteRows, 0, 0, 0, 1, 1},
                    SpanCase{"InsertColumnsAtTheStart", Span::InsertColumns, 2, 3, 0, 2, 1},
                    SpanCase{"InsertColumnsInside", Span::InsertColumns, 2, 3, 2, 1, 1},
                    SpanCase{"InsertColumnsAtTheEndAppends", Span::InsertColumns, 2, 3, 3, 1, 1},
                    SpanCase{"InsertColumnsPastTheEnd", Span::InsertColumns, 2, 3, 4, 1, 0},
                    SpanCase{"InsertColumnsIntoAnEmptyArray", Span::InsertColumns, 0, 0, 0, 2, 0},
                    SpanCase{"DeleteColumnsInside", Span::DeleteColumns, 2, 4, 1, 2, 1},
                    SpanCase{"DeleteColumnsCutAtTheLastColumn", Span::DeleteColumns, 2, 4, 3, 5, 1},
                    SpanCase{"DeleteEveryColumnEmptiesTheArray", Span::DeleteColumns, 2, 4, 0, 4, 1},
                    SpanCase{"DeleteColumnsNegativeIndex", Span::DeleteColumns, 2, 4, -1, 1, 0}),
    [](const testing::TestParamInfo<SpanCase>& info) { return std::string(info.param.name); });

// Sizes are worked out wide: rows + count, or columns + count, times the
// other dimension must not wrap round to a small block.
TEST_F(ArrayObject, InsertingBeyondTheLargestBlockIsRefused) {
  AP4_ARRAY* array = make_filled(2, 3);
  EXPECT_EQ(ap4a_InsertRows(array, 0, INT32_MAX), 0u);
  EXPECT_EQ(ap4a_InsertColumns(array, 0, INT32_MAX), 0u);
  EXPECT_EQ(ap4a_InsertColumns(array, 0, 0x40000000 - 3), 0u);  // 2 × 2^30 floats
  EXPECT_EQ(grid_of(array), filled_grid(2, 3));
}

TEST_F(ArrayObject, InsertingWhenTheNewBlockCannotBeHadLeavesTheArray) {
  if (!AddressSpaceCap::enforced()) GTEST_SKIP() << "the address space cannot be capped here";
  AP4_ARRAY* array = make_filled(2, 3);
  GU3_HANDLE old = array->data;
  {
    AddressSpaceCap cap;
    ASSERT_TRUE(cap.active());
    EXPECT_EQ(ap4a_InsertRows(array, 1, AddressSpaceCap::kUnobtainableFloats), 0u);
    EXPECT_EQ(ap4a_InsertColumns(array, 1, AddressSpaceCap::kUnobtainableFloats), 0u);
  }
  EXPECT_EQ(packed(array->data), old);
  EXPECT_EQ(grid_of(array), filled_grid(2, 3));
}

// ---------------------------------------------------------------------------
// Fill and swap

TEST_F(ArrayObject, FillSetsEveryCellOfTheRangeMissingOnesToo) {
  AP4_ARRAY* array = make_filled(3, 4);
  ASSERT_EQ(set(array, 1, 1, AP1_GetNaNSG_MATH()), 1u);
  NoticeCounter counter;
  watch(array, counter);
  EXPECT_EQ(fill(array, AP4_RANGE{{1, 1}, {2, 2}}, 5.0f), 1u);
  Grid expected = filled_grid(3, 4);
  for (int r = 1; r <= 2; ++r)
    for (int c = 1; c <= 2; ++c) expected[r][c] = 5.0f;
  EXPECT_EQ(grid_of(array), expected);
  EXPECT_EQ(counter.changes, 1);

  EXPECT_EQ(fill(array, AP4_RANGE{{-1, -1}, {0, 0}}, -2.0f), 1u);
  EXPECT_EQ(grid_of(array), Grid(3, std::vector<float>(4, -2.0f)));
  EXPECT_EQ(fill(array, AP4_RANGE{{0, 0}, {0, 4}}, 9.0f), 0u);
  EXPECT_EQ(grid_of(array), Grid(3, std::vector<float>(4, -2.0f)));
  EXPECT_EQ(counter.changes, 2);
}

TEST_F(ArrayObject, SwapRowsAndColumnsExchangeThem) {
  AP4_ARRAY* array = make_filled(3, 4);
  AP4_SWAPPARM rows{0, 2};
  EXPECT_EQ(send(AP4_MSG_SWAP_ROWS, array, &rows), 1u);
  Grid expected = filled_grid(3, 4);
  std::swap(expected[0], expected[2]);
  EXPECT_EQ(grid_of(array), expected);
  AP4_SWAPPARM columns{3, 1};
  EXPECT_EQ(send(AP4_MSG_SWAP_COLUMNS, array, &columns), 1u);
  for (auto& row : expected) std::swap(row[3], row[1]);
  EXPECT_EQ(grid_of(array), expected);
}

TEST_F(ArrayObject, SwapWithTheSameIndexChangesNothingAndSendsNoNotice) {
  AP4_ARRAY* array = make_filled(3, 4);
  NoticeCounter counter;
  watch(array, counter);
  AP4_SWAPPARM same{1, 1};
  EXPECT_EQ(send(AP4_MSG_SWAP_ROWS, array, &same), 1u);
  EXPECT_EQ(send(AP4_MSG_SWAP_ROWS, array, &same), 1u);
  EXPECT_EQ(send(AP4_MSG_SWAP_COLUMNS, array, &same), 1u);
  EXPECT_EQ(counter.changes, 0);
  EXPECT_EQ(grid_of(array), filled_grid(3, 4));
}

TEST_F(ArrayObject, SwapOutsideTheArrayIsRefused) {
  AP4_ARRAY* array = make_filled(3, 4);
  for (AP4_SWAPPARM rows : {AP4_SWAPPARM{0, 3}, AP4_SWAPPARM{-1, 0}})
    EXPECT_EQ(send(AP4_MSG_SWAP_ROWS, array, &rows), 0u);
  for (AP4_SWAPPARM columns : {AP4_SWAPPARM{4, 0}, AP4_SWAPPARM{0, -1}})
    EXPECT_EQ(send(AP4_MSG_SWAP_COLUMNS, array, &columns), 0u);
  EXPECT_EQ(grid_of(array), filled_grid(3, 4));
}

// ---------------------------------------------------------------------------
// File block

// A file block as the layout gives it: rows and columns as little-endian
// u32, then the floats' bits, row-major.
std::string block_bytes(uint32_t rows, uint32_t columns, const std::vector<float>& floats) {
  std::string bytes;
  filetest::put32(bytes, 0, rows);
  filetest::put32(bytes, 4, columns);
  for (size_t index = 0; index < floats.size(); ++index) {
    uint32_t bits;
    std::memcpy(&bits, &floats[index], sizeof bits);
    filetest::put32(bytes, 8 + 4 * index, bits);
  }
  return bytes;
}

class ArrayFileBlock : public filetest::FileObjects {
 protected:
  void SetUp() override {
    FileObjects::SetUp();
    install_notice_counters();
  }

  // A file holding the bytes given, open for reading.
  AP20_FILE* stored(const std::string& name, const std::string& bytes) {
    testsupport::write_file(name, bytes);
    return opened_file(path(name), AP20_MODE_READ);
  }
  static uint32_t write(AP4_ARRAY* array, AP20_FILE* file) { return send(AP_MSG_WRITE, array, file); }
  static AP4_ARRAY* read_new(AP20_FILE* file) {
    uint16_t class_id = AP4_CLASS_ID;
    AP_READPARM parameter{&file->head, 1};
    return ap_result_object<AP4_ARRAY>(send(AP_MSG_READ, &class_id, &parameter));
  }
  static AP4_ARRAY* read_into(AP4_ARRAY* array, AP20_FILE* file) {
    AP_READPARM parameter{&file->head, 0};
    return ap_result_object<AP4_ARRAY>(send(AP_MSG_READ, array, &parameter));
  }
  static uint32_t last_error(AP20_FILE* file) { return send(AP20_MSG_LAST_ERROR, file); }
};

TEST_F(ArrayFileBlock, WriteLaysDownRowsColumnsAndValuesAtTheFilesPosition) {
  AP4_ARRAY* array = make_filled(2, 3);
  const float missing = AP1_GetNaNSG_MATH();
  ASSERT_EQ(ap4a_SetElement(array, AP4_CELL{1, 0}, missing), 1u);
  AP20_FILE* file = opened_file(path("block.bin"), AP20_MODE_CREATE);
  ASSERT_EQ(ap20_Write(file, "abc", 3), 3u);  // the block has no alignment of its own
  EXPECT_EQ(write(array, file), 1u);
  send(AP20_MSG_CLOSE, file);
  const std::vector<float> floats{cell_value(0, 0), cell_value(0, 1), cell_value(0, 2),
                                  missing,          cell_value(1, 1), cell_value(1, 2)};
  EXPECT_EQ(testsupport::read_file(path("block.bin")), "abc" + block_bytes(2, 3, floats));
}

TEST_F(ArrayFileBlock, ARoundTripIsByteForByte) {
  AP4_ARRAY* array = make(1, 20000);
  float* data = ap4a_GetDataAddress(array);
  for (int i = 0; i < 20000; ++i) data[i] = 0.37f * i - 1000.0f;
  data[7] = AP1_GetNaNSG_MATH();
  data[8] = -0.0f;
  data[9] = std::numeric_limits<float>::infinity();
  EXPECT_EQ(send(AP4_MSG_STORED_SIZE, array), 80008u);
  AP20_FILE* first = opened_file(path("first.bin"), AP20_MODE_CREATE);
  ASSERT_EQ(write(array, first), 1u);
  send(AP20_MSG_CLOSE, first);
  EXPECT_EQ(testsupport::read_file(path("first.bin")), block_bytes(1, 20000, values(array)));

  AP4_ARRAY* again = read_new(opened_file(path("first.bin"), AP20_MODE_READ));
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(packed(again->rows), 1u);
  EXPECT_EQ(packed(again->columns), 20000u);
  EXPECT_EQ(std::memcmp(values(again).data(), values(array).data(), 80000), 0);
  AP20_FILE* second = opened_file(path("second.bin"), AP20_MODE_CREATE);
  ASSERT_EQ(write(again, second), 1u);
  send(AP20_MSG_CLOSE, second);
  EXPECT_EQ(testsupport::read_file(path("second.bin")), testsupport::read_file(path("first.bin")));
}

TEST_F(ArrayFileBlock, ReadingIntoAnArrayGivesItTheStoredDimensions) {
  AP4_ARRAY* array = make_filled(1, 5);
  NoticeCounter counter;
  watch(array, counter);
  AP20_FILE* file = stored("three_by_two.bin", block_bytes(3, 2, {1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(read_into(array, file), array);
  EXPECT_EQ(grid_of(array), (Grid{{1, 2}, {3, 4}, {5, 6}}));
  EXPECT_EQ(counter.changes, 1);
  EXPECT_EQ(send(AP20_MSG_POSITION, file), 32u);
}

TEST_F(ArrayFileBlock, AnEmptyArraysBlockIsRowsAndColumnsOnly) {
  AP20_FILE* file = opened_file(path("empty.bin"), AP20_MODE_CREATE);
  EXPECT_EQ(write(make(0, 0), file), 1u);
  send(AP20_MSG_CLOSE, file);
  EXPECT_EQ(testsupport::read_file(path("empty.bin")), block_bytes(0, 0, {}));

  AP4_ARRAY* read = read_new(opened_file(path("empty.bin"), AP20_MODE_READ));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(packed(read->data), nullptr);
  AP4_ARRAY* emptied = make_filled(2, 2);
  EXPECT_EQ(read_into(emptied, opened_file(path("empty.bin"), AP20_MODE_READ)), emptied);
  EXPECT_EQ(packed(emptied->rows), 0u);
  EXPECT_EQ(packed(emptied->data), nullptr);
}

TEST_F(ArrayFileBlock, SavingThroughTheRootPartWritesTheBlockAndMarksItSaved) {
  AP4_ARRAY* array = make_filled(1, 2);
  AP20_FILE* file = opened_file(path("saved.bin"), AP20_MODE_CREATE);
  EXPECT_EQ(send(AP_MSG_SAVE, array, file), 1u);
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, array), static_cast<uint32_t>(AP2_SAVED));
  send(AP20_MSG_CLOSE, file);
  EXPECT_EQ(testsupport::read_file(path("saved.bin")), block_bytes(1, 2, {cell_value(0, 0), cell_value(0, 1)}));
}

TEST_F(ArrayFileBlock, AFileThatIsNotOpenIsRefused) {
  AP20_FILE* file = named_file(path("never.bin"));
  AP4_ARRAY* array = make_filled(2, 2);
  EXPECT_EQ(write(array, file), 0u);
  EXPECT_EQ(read_new(file), nullptr);
  EXPECT_EQ(read_into(array, file), nullptr);
  EXPECT_EQ(send(AP_MSG_WRITE, array, nullptr), 0u);
  EXPECT_FALSE(testsupport::file_exists(path("never.bin")));
}

TEST_F(ArrayFileBlock, AWriteCutShortIsAFailure) {
  AP4_ARRAY* array = make_filled(1, 100);
  AP20_FILE* values_cut = opened_file(path("values_cut.bin"), AP20_MODE_CREATE);
  AP20_FILE* dims_cut = opened_file(path("dims_cut.bin"), AP20_MODE_CREATE);
  {
    FileSizeCap cap(100);
    ASSERT_TRUE(cap.active());
    EXPECT_EQ(write(array, values_cut), 0u);
  }
  {
    FileSizeCap cap(4);
    ASSERT_TRUE(cap.active());
    EXPECT_EQ(write(array, dims_cut), 0u);
  }
}

// A block that claims more values than the file holds is refused before
// anything is allocated for them: under the cap such an allocation would
// fail, and the file object would then not know the block as cut short.
TEST_F(ArrayFileBlock, ValuesTheFileDoesNotHoldAreNotAllocatedFor) {
  if (!AddressSpaceCap::enforced()) GTEST_SKIP() << "the address space cannot be capped here";
  AP20_FILE* file = stored("claims.bin", block_bytes(1, AddressSpaceCap::kUnobtainableFloats, {1, 2, 3}));
  AddressSpaceCap cap;
  ASSERT_TRUE(cap.active());
  EXPECT_EQ(read_new(file), nullptr);
  EXPECT_EQ(last_error(file), AP20_ERROR_SHORT_FILE);
}

struct BadBlock {
  const char* name;
  std::string bytes;
  uint32_t error;
};

std::string dims_only(uint32_t rows, uint32_t columns) { return block_bytes(rows, columns, {}); }

class StoredBlock : public ArrayFileBlock, public testing::WithParamInterface<BadBlock> {};

// Neither a new array nor a change of an existing one comes of a block that
// no array can have stored, and the file object tells what was wrong.
TEST_P(StoredBlock, ThatIsBadMakesAndChangesNoArray) {
  const BadBlock& c = GetParam();
  AP20_FILE* file = stored("bad.bin", c.bytes);
  EXPECT_EQ(read_new(file), nullptr);
  EXPECT_EQ(last_error(file), c.error);
  EXPECT_EQ(array_class().live, 0);
  EXPECT_EQ(root_class().live, 1);  // the file object's

  AP4_ARRAY* array = make_filled(2, 3);
  NoticeCounter counter;
  watch(array, counter);
  ASSERT_EQ(send(AP20_MSG_REWIND, file), 1u);
  EXPECT_EQ(read_into(array, file), nullptr);
  EXPECT_EQ(last_error(file), c.error);
  EXPECT_EQ(grid_of(array), filled_grid(2, 3));
  EXPECT_EQ(counter.changes, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StoredBlock,
    testing::Values(BadBlock{"RowsWithoutColumns", dims_only(5, 0), AP20_ERROR_DAMAGED},
                    BadBlock{"ColumnsWithoutRows", dims_only(0, 5), AP20_ERROR_DAMAGED},
                    BadBlock{"NegativeRows", dims_only(0xFFFFFFFF, 2), AP20_ERROR_DAMAGED},
                    BadBlock{"NegativeColumns", dims_only(2, 0x80000000), AP20_ERROR_DAMAGED},
                    BadBlock{"ElementCountWrapsToZero", dims_only(0x10000, 0x10000), AP20_ERROR_DAMAGED},
                    // Followed by as many values as the count wrapped to 32 bits
                    // would ask for.
                    BadBlock{"ElementCountWrapsToSmall", dims_only(65537, 65536) + std::string(65536 * 4, '\x01'),
                             AP20_ERROR_DAMAGED},
                    BadBlock{"TwoGigabytes", dims_only(1, 0x20000000), AP20_ERROR_DAMAGED},
                    BadBlock{"DimensionsCutShort", std::string("\x02\x00\x00\x00\x02", 5), AP20_ERROR_SHORT_FILE},
                    BadBlock{"ValuesCutShort", dims_only(2, 2) + std::string(15, '\x01'), AP20_ERROR_SHORT_FILE},
                    BadBlock{"NoValues", dims_only(2, 2), AP20_ERROR_SHORT_FILE},
                    BadBlock{"NothingAtAll", "", AP20_ERROR_SHORT_FILE}),
    [](const testing::TestParamInfo<BadBlock>& info) { return std::string(info.param.name); });

}  // namespace
