#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "array/array.h"
#include "core/core.h"

namespace {

// A record of a direct list: the two link words, then its key.
struct Record {
  GU1_NODE links;
  int32_t number;
  char text[8];
  float value;
};

// An item of an indirect list.
struct Item {
  int32_t number;
  char text[8];
  float value;
};

class LinkedLists : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(GU1_Register_LL(), 1); }
  void TearDown() override {
    GU1_UnRegister_LL();
    GU3_Unregister();
  }

  static std::vector<int32_t> direct_numbers(GU1_LINKLIST* list) {
    std::vector<int32_t> numbers;
    for (GU1_NODE* node = list->head; node != nullptr; node = node->next)
      numbers.push_back(reinterpret_cast<Record*>(node)->number);
    return numbers;
  }

  static std::vector<int32_t> indirect_numbers(GU1_LINKLIST* list) {
    std::vector<int32_t> numbers;
    for (GU1_NODE* node = list->head; node != nullptr; node = node->next)
      numbers.push_back(static_cast<Item*>(gu1_item(list, node))->number);
    return numbers;
  }

  // Walking back from the tail must give the same order reversed.
  static void expect_consistent(GU1_LINKLIST* list) {
    uint32_t forward = 0;
    GU1_NODE* last = nullptr;
    for (GU1_NODE* node = list->head; node != nullptr; node = node->next) {
      EXPECT_EQ(node->prev, last);
      last = node;
      ++forward;
    }
    EXPECT_EQ(list->tail, last);
    EXPECT_EQ(list->count, forward);
  }
};

TEST_F(LinkedLists, HeaderAndNodesHaveTheirFixedLayout) {
  EXPECT_EQ(offsetof(GU1_LINKLIST, count), 12u);
  EXPECT_EQ(offsetof(GU1_LINKLIST, key_offset), 16u);
  EXPECT_EQ(offsetof(GU1_LINKLIST, indirect), 22u);
  EXPECT_EQ(offsetof(GU1_INDIRECTNODE, item), 8u);
}

TEST_F(LinkedLists, RegisterMakesTheMainListHeapOnce) {
  GU3_HANDLE heap = GU1_GetMainLLHeap_LL();
  ASSERT_NE(heap, nullptr);
  EXPECT_EQ(GU3_NumElements_MM(heap), 2000u);
  EXPECT_EQ(GU3_LenElements_MM(heap), 12u);
  EXPECT_EQ(GU1_Register_LL(), 1);
  EXPECT_EQ(GU1_GetMainLLHeap_LL(), heap);
  EXPECT_EQ(GU1_UnRegister_LL(), 1);
  EXPECT_EQ(GU1_GetMainLLHeap_LL(), nullptr);
  EXPECT_EQ(GU1_UnRegister_LL(), 0);
}

TEST_F(LinkedLists, AddAppendAndPositionalInsert) {
  Record r[5] = {{{}, 1, "", 0}, {{}, 2, "", 0}, {{}, 3, "", 0}, {{}, 4, "", 0}, {{}, 5, "", 0}};
  GU1_LINKLIST list;
  GU1_Create_LL(&list, offsetof(Record, number), 4, GU1_KEY_BYTES);
  ASSERT_EQ(GU1_InsertP_LL(&list, &r[1], 0), 1);  // empty list: head and tail
  EXPECT_EQ(list.head, &r[1].links);
  EXPECT_EQ(list.tail, &r[1].links);
  GU1_Add_LL(&list, &r[0]);
  GU1_Append_LL(&list, &r[3]);
  ASSERT_EQ(GU1_InsertP_LL(&list, &r[2], 2), 1);  // before the node at position 2
  EXPECT_EQ(list.cursor, &r[2].links);
  ASSERT_EQ(GU1_InsertP_LL(&list, &r[4], list.count), 1);  // at the end: appended
  EXPECT_EQ(direct_numbers(&list), (std::vector<int32_t>{1, 2, 3, 4, 5}));
  expect_consistent(&list);
  EXPECT_EQ(GU1_Add_LL(nullptr, &r[0]), 0);
  EXPECT_EQ(GU1_Add_LL(&list, nullptr), 0);
}

TEST_F(LinkedLists, InsertNextToTheFirstNodeMatchingTheKey) {
  Record r[4] = {{{}, 1, "", 0}, {{}, 2, "", 0}, {{}, 3, "", 0}, {{}, 4, "", 0}};
  GU1_LINKLIST list;
  GU1_Create_LL(&list, offsetof(Record, number), 4, GU1_KEY_BYTES);
  GU1_Append_LL(&list, &r[0]);
  GU1_Append_LL(&list, &r[2]);
  const int32_t one = 1, three = 3, nine = 9;
  ASSERT_EQ(GU1_Insert_LL(&list, &r[1], &three, GU1_INSERT_BEFORE), 1);
  ASSERT_EQ(GU1_Insert_LL(&list, &r[3], &three, GU1_INSERT_AFTER), 1);  // after the tail
  EXPECT_EQ(direct_numbers(&list), (std::vector<int32_t>{1, 2, 3, 4}));
  EXPECT_EQ(list.tail, &r[3].links);
  Record extra{{}, 0, "", 0};
  ASSERT_EQ(GU1_Insert_LL(&list, &extra, &one, GU1_INSERT_BEFORE), 1);  // before the head
  EXPECT_EQ(list.head, &extra.links);
  Record stray{{}, 7, "", 0};
  EXPECT_EQ(GU1_Insert_LL(&list, &stray, &nine, GU1_INSERT_AFTER), 0);
  EXPECT_EQ(GU1_Insert_LL(&list, &stray, &one, 2), 0);
  EXPECT_EQ(list.count, 5u);
  expect_consistent(&list);
}

TEST_F(LinkedLists, UnlinkingMovesTheCursorAndEmptiesCleanly) {
  Record r[3] = {{{}, 1, "", 0}, {{}, 2, "", 0}, {{}, 3, "", 0}};
  GU1_LINKLIST list;
  GU1_Create_LL(&list, offsetof(Record, number), 4, GU1_KEY_BYTES);
  for (Record& record : r) GU1_Append_LL(&list, &record);
  ASSERT_EQ(GU1_DeleteP_LL(&list, 1), 1);  // middle: cursor to its next
  EXPECT_EQ(list.cursor, &r[2].links);
  const int32_t three = 3;
  ASSERT_EQ(GU1_Delete_LL(&list, &three), 1);  // tail: cursor to its previous
  EXPECT_EQ(list.cursor, &r[0].links);
  EXPECT_EQ(list.tail, &r[0].links);
  ASSERT_EQ(GU1_DeleteNode_LL(&list, &r[0].links), 1);  // the only node
  EXPECT_EQ(list.head, nullptr);
  EXPECT_EQ(list.tail, nullptr);
  EXPECT_EQ(list.cursor, nullptr);
  EXPECT_EQ(list.count, 0u);
  EXPECT_EQ(GU1_DeleteNode_LL(&list, nullptr), 0);
  EXPECT_EQ(GU1_DeleteP_LL(&list, 0), 0);
  EXPECT_EQ(GU1_Delete_LL(&list, &three), 0);
}

TEST_F(LinkedLists, IndirectListsTakeAndReturnMainHeapCells) {
  Item items[5] = {{1, "", 0}, {2, "", 0}, {3, "", 0}, {4, "", 0}, {5, "", 0}};
  GU1_LINKLIST list;
  GU1_CreateIndirect_LL(&list, offsetof(Item, number), 4, GU1_KEY_BYTES);
  for (Item& item : items) ASSERT_EQ(GU1_Append_LL(&list, &item), 1);
  EXPECT_EQ(indirect_numbers(&list), (std::vector<int32_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(reinterpret_cast<GU1_INDIRECTNODE*>(list.head)->item, &items[0]);

  // The five cells go back to the heap: the next five handed out are they.
  std::vector<GU1_NODE*> nodes;
  for (GU1_NODE* node = list.head; node != nullptr; node = node->next) nodes.push_back(node);
  ASSERT_EQ(GU1_Destroy_LL(&list), 1);
  EXPECT_EQ(list.count, 0u);
  EXPECT_EQ(list.head, nullptr);
  EXPECT_EQ(list.indirect, 1);
  EXPECT_EQ(list.key_offset, offsetof(Item, number));
  EXPECT_EQ(list.key_size, 0);
  for (int i = 0; i < 5; ++i) {
    void* cell = GU3_HeapGetEx_MM(GU1_GetMainLLHeap_LL());
    EXPECT_NE(std::find(nodes.begin(), nodes.end(), cell), nodes.end());
  }
  EXPECT_EQ(items[2].number, 3);  // items untouched
}

TEST_F(LinkedLists, IndirectDeleteReturnsTheCell) {
  Item items[2] = {{1, "", 0}, {2, "", 0}};
  GU1_LINKLIST list;
  GU1_CreateIndirect_LL(&list, offsetof(Item, number), 4, GU1_KEY_BYTES);
  GU1_Append_LL(&list, &items[0]);
  GU1_Append_LL(&list, &items[1]);
  GU1_NODE* node = list.head;
  ASSERT_EQ(GU1_DeleteP_LL(&list, 0), 1);
  EXPECT_EQ(GU3_HeapRelease_MM(GU1_GetMainLLHeap_LL(), node), 0);  // already back on the free list
  EXPECT_EQ(GU3_HeapGetEx_MM(GU1_GetMainLLHeap_LL()), node);
}

TEST_F(LinkedLists, WalkingAndLocating) {
  Record r[3] = {{{}, 1, "", 0}, {{}, 2, "", 0}, {{}, 3, "", 0}};
  GU1_LINKLIST list;
  GU1_Create_LL(&list, offsetof(Record, number), 4, GU1_KEY_BYTES);
  for (Record& record : r) GU1_Append_LL(&list, &record);
  EXPECT_EQ(GU1_Head_LL(&list), &r[0].links);
  EXPECT_EQ(GU1_Next_LL(&list, nullptr), &r[1].links);
  EXPECT_EQ(GU1_Next_LL(&list, nullptr), &r[2].links);
  EXPECT_EQ(GU1_Next_LL(&list, nullptr), nullptr);
  EXPECT_EQ(GU1_Next_LL(&list, nullptr), nullptr);  // no cursor any more
  EXPECT_EQ(GU1_Prev_LL(&list, &r[2].links), &r[1].links);
  EXPECT_EQ(GU1_Tail_LL(&list), &r[2].links);
  EXPECT_EQ(GU1_Locate_LL(&list, 1), &r[1].links);
  EXPECT_EQ(list.cursor, &r[1].links);
  EXPECT_EQ(GU1_Locate_LL(&list, 3), nullptr);  // position == count
  EXPECT_EQ(list.cursor, &r[1].links);
}

// Locating walks on from the node located last: every kind of change in
// between, and locating in another list, must still give the node at the
// position, as a walk from the head finds it.
TEST_F(LinkedLists, LocatingByPositionFollowsEveryChangeOfTheLinks) {
  Record r[8] = {};
  GU1_LINKLIST list, other;
  GU1_Create_LL(&list, offsetof(Record, number), 4, GU1_KEY_BYTES);
  GU1_Create_LL(&other, offsetof(Record, number), 4, GU1_KEY_BYTES);
  for (int i = 0; i < 6; ++i) {
    r[i].number = 10 - i;
    GU1_Append_LL(&list, &r[i]);
  }
  r[6].number = 99;
  GU1_Append_LL(&other, &r[6]);
  // Positions from `first` on, then all of them from the head.
  auto expect_positions = [&](GU1_LINKLIST* walked, uint32_t first) {
    const std::vector<int32_t> numbers = direct_numbers(walked);
    for (uint32_t pass = 0; pass < 2; ++pass) {
      for (uint32_t i = pass == 0 ? first : 0; i < numbers.size(); ++i) {
        GU1_NODE* node = GU1_Locate_LL(walked, i);
        ASSERT_NE(node, nullptr) << i;
        EXPECT_EQ(reinterpret_cast<Record*>(node)->number, numbers[i]) << i;
      }
    }
    EXPECT_EQ(GU1_Locate_LL(walked, static_cast<uint32_t>(numbers.size())), nullptr);
  };
  expect_positions(&list, 0);
  EXPECT_EQ(reinterpret_cast<Record*>(GU1_Locate_LL(&list, 1))->number, 9);  // behind the last one located
  GU1_Locate_LL(&list, 3);
  EXPECT_EQ(reinterpret_cast<Record*>(GU1_Locate_LL(&other, 0))->number, 99);
  expect_positions(&list, 3);
  GU1_Locate_LL(&list, 3);
  ASSERT_EQ(GU1_DeleteP_LL(&list, 1), 1);
  expect_positions(&list, 3);
  GU1_Locate_LL(&list, 2);
  ASSERT_EQ(GU1_InsertP_LL(&list, &r[7], 1), 1);
  expect_positions(&list, 2);
  GU1_Locate_LL(&list, 4);
  ASSERT_EQ(GU1_ExchangeP_LL(&list, 2, 4), 1);
  expect_positions(&list, 4);
  GU1_Locate_LL(&list, 5);
  ASSERT_EQ(GU1_Sort_LL(&list, offsetof(Record, number), 4, GU1_KEY_BYTES, 0), 1);
  expect_positions(&list, 5);
  GU1_Locate_LL(&list, 3);
  ASSERT_EQ(GU1_Unlink_LL(&list, list.head), 1);
  expect_positions(&list, 3);
  // A list record written over by another is a different list.
  GU1_Locate_LL(&list, 2);
  std::memcpy(&list, &other, sizeof list);
  EXPECT_EQ(reinterpret_cast<Record*>(GU1_Locate_LL(&list, 0))->number, 99);
  EXPECT_EQ(GU1_Locate_LL(&list, 2), nullptr);
}

struct SearchCase {
  const char* name;
  uint16_t key_offset;
  uint16_t key_size;
  uint16_t key_type;
  Item key;
  int32_t found;  // number of the item found, 0 for none
};

class ListSearch : public LinkedLists, public testing::WithParamInterface<SearchCase> {};

TEST_P(ListSearch, FindsTheFirstMatchingItem) {
  Item items[3] = {{10, "ABC", 1.0f}, {20, "ABD", 2.0f}, {30, "XYZ", 3.0f}};
  GU1_LINKLIST list;
  GU1_CreateIndirect_LL(&list, 0, 4, GU1_KEY_BYTES);
  for (Item& item : items) GU1_Append_LL(&list, &item);
  const SearchCase& c = GetParam();
  const char* key = reinterpret_cast<const char*>(&c.key) + c.key_offset;
  GU1_NODE* node = GU1_Search_LL(&list, key, nullptr, c.key_offset, c.key_size, c.key_type);
  if (c.found == 0) {
    EXPECT_EQ(node, nullptr);
  } else {
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(static_cast<Item*>(gu1_item(&list, node))->number, c.found);
    EXPECT_EQ(list.cursor, node);
  }
}

INSTANTIATE_TEST_SUITE_P(
    KeyTypes, ListSearch,
    testing::Values(
        SearchCase{"BytesEqual", 0, 4, GU1_KEY_BYTES, {20, "", 0}, 20},
        SearchCase{"BytesAbsent", 0, 4, GU1_KEY_BYTES, {25, "", 0}, 0},
        SearchCase{"BytesOfSizeZeroNeverMatch", 0, 0, GU1_KEY_BYTES, {10, "", 0}, 0},
        SearchCase{"TextPrefixWithLargerKeySize", 4, 8, 3, {0, "AB", 0}, 10},
        SearchCase{"TextWholeWord", 4, 8, 3, {0, "ABD", 0}, 20},
        SearchCase{"TextComparedOverKeySizeOnly", 4, 2, 3, {0, "XYQ", 0}, 30},
        SearchCase{"TextAbsent", 4, 8, 3, {0, "ABE", 0}, 0},
        SearchCase{"FloatWithinTolerance", 12, 4, GU1_KEY_FLOAT, {0, "", 2.0000005f}, 20},
        SearchCase{"FloatOutsideTolerance", 12, 4, GU1_KEY_FLOAT, {0, "", 2.001f}, 0}),
    [](const testing::TestParamInfo<SearchCase>& info) { return std::string(info.param.name); });

TEST_F(LinkedLists, SearchFromAStartNodeAndCursorStaysWithoutMatch) {
  Item items[3] = {{1, "", 0}, {2, "", 0}, {1, "", 0}};
  GU1_LINKLIST list;
  GU1_CreateIndirect_LL(&list, 0, 4, GU1_KEY_BYTES);
  for (Item& item : items) GU1_Append_LL(&list, &item);
  const int32_t one = 1, nine = 9;
  GU1_NODE* second = list.head->next;
  GU1_NODE* found = GU1_Search_LL(&list, &one, second, 0, 4, GU1_KEY_BYTES);
  EXPECT_EQ(gu1_item(&list, found), &items[2]);
  EXPECT_EQ(GU1_Search_LL(&list, &nine, nullptr, 0, 4, GU1_KEY_BYTES), nullptr);
  EXPECT_EQ(list.cursor, found);
}

TEST_F(LinkedLists, ReturnCollectsNodesForwardOrBackward) {
  Item items[4] = {{1, "", 0}, {2, "", 0}, {3, "", 0}, {4, "", 0}};
  GU1_LINKLIST list;
  GU1_CreateIndirect_LL(&list, 0, 4, GU1_KEY_BYTES);
  for (Item& item : items) GU1_Append_LL(&list, &item);
  const int32_t two = 2, nine = 9;
  GU1_NODE* nodes[3] = {};
  EXPECT_EQ(GU1_Return_LL(&list, &two, 3, nodes, 0), 3u);
  EXPECT_EQ(gu1_item(&list, nodes[2]), &items[3]);
  EXPECT_EQ(GU1_Return_LL(&list, &two, 3, nodes, 1), 2u);
  EXPECT_EQ(gu1_item(&list, nodes[1]), &items[0]);
  EXPECT_EQ(GU1_Return_LL(&list, &nine, 3, nodes, 0), 0u);
}

TEST_F(LinkedLists, ExchangeSwapsAdjacentAndDistantNodes) {
  Record r[4] = {{{}, 1, "", 0}, {{}, 2, "", 0}, {{}, 3, "", 0}, {{}, 4, "", 0}};
  GU1_LINKLIST list;
  GU1_Create_LL(&list, offsetof(Record, number), 4, GU1_KEY_BYTES);
  for (Record& record : r) GU1_Append_LL(&list, &record);
  const int32_t one = 1, two = 2, four = 4, nine = 9;
  ASSERT_EQ(GU1_Exchange_LL(&list, &one, &four), 1);  // head and tail
  EXPECT_EQ(direct_numbers(&list), (std::vector<int32_t>{4, 2, 3, 1}));
  EXPECT_EQ(list.cursor, &r[0].links);
  expect_consistent(&list);
  ASSERT_EQ(GU1_Exchange_LL(&list, &two, &four), 1);  // adjacent, second before first
  EXPECT_EQ(direct_numbers(&list), (std::vector<int32_t>{2, 4, 3, 1}));
  expect_consistent(&list);
  ASSERT_EQ(GU1_ExchangeP_LL(&list, 2, 3), 1);  // adjacent at the tail
  EXPECT_EQ(direct_numbers(&list), (std::vector<int32_t>{2, 4, 1, 3}));
  expect_consistent(&list);
  EXPECT_EQ(GU1_ExchangeP_LL(&list, 0, 4), 0);
  EXPECT_EQ(GU1_Exchange_LL(&list, &one, &nine), 0);
}

struct SortCase {
  const char* name;
  uint16_t key_type;
  uint16_t descending;
  std::vector<float> keys;
  std::vector<int> expected_order;  // indexes of the input items
};

class ListSort : public LinkedLists, public testing::WithParamInterface<SortCase> {};

TEST_P(ListSort, ExchangeSortOrdersByKey) {
  const SortCase& c = GetParam();
  std::vector<Item> items(c.keys.size());
  for (size_t i = 0; i < items.size(); ++i) {
    items[i].number = static_cast<int32_t>(i);
    items[i].value = c.keys[i];
    // Byte keys: the float's integer value in one signed byte.
    items[i].text[0] = static_cast<char>(static_cast<int>(c.keys[i]));
    items[i].text[1] = 0;
  }
  GU1_LINKLIST list;
  GU1_CreateIndirect_LL(&list, 0, 4, GU1_KEY_BYTES);
  for (Item& item : items) GU1_Append_LL(&list, &item);
  const uint16_t offset = c.key_type == GU1_KEY_FLOAT ? offsetof(Item, value) : offsetof(Item, text);
  const uint16_t size = c.key_type == GU1_KEY_FLOAT ? 4 : 1;
  ASSERT_EQ(GU1_Sort_LL(&list, offset, size, c.key_type, c.descending), 1);
  std::vector<int32_t> order = indirect_numbers(&list);
  EXPECT_EQ(order, std::vector<int32_t>(c.expected_order.begin(), c.expected_order.end()));
  EXPECT_EQ(list.cursor, nullptr);
  expect_consistent(&list);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, ListSort,
    testing::Values(SortCase{"BytesDescending", GU1_KEY_BYTES, 1, {1, 3, 2}, {1, 2, 0}},
                    SortCase{"BytesAscendingKeepsEqualKeysInOrder", GU1_KEY_BYTES, 0, {2, 1, 2, 1}, {1, 3, 0, 2}},
                    SortCase{"BytesAreSigned", GU1_KEY_BYTES, 0, {5, -3, 0}, {1, 2, 0}},
                    SortCase{"FloatsAscending", GU1_KEY_FLOAT, 0, {2.5f, -1.0f, 0.5f}, {1, 2, 0}},
                    SortCase{"FloatsDescending", GU1_KEY_FLOAT, 1, {2.5f, -1.0f, 0.5f}, {0, 2, 1}}),
    [](const testing::TestParamInfo<SortCase>& info) { return std::string(info.param.name); });

TEST_F(LinkedLists, FloatSortLeavesPairsHoldingAMissingValueAsTheyAre) {
  Item items[3] = {{0, "", 3.0f}, {1, "", AP1_GetNaNSG_MATH()}, {2, "", 1.0f}};
  GU1_LINKLIST list;
  GU1_CreateIndirect_LL(&list, 0, 4, GU1_KEY_BYTES);
  for (Item& item : items) GU1_Append_LL(&list, &item);
  GU1_Sort_LL(&list, offsetof(Item, value), 4, GU1_KEY_FLOAT, 0);
  EXPECT_EQ(indirect_numbers(&list), (std::vector<int32_t>{0, 1, 2}));
}

TEST_F(LinkedLists, TextSortStopsAtACommonNulAndUsesTheListKeyWhenSizeIsZero) {
  Item items[3] = {{0, "pear", 0}, {1, "apple", 0}, {2, "fig", 0}};
  std::memcpy(items[0].text + 5, "zz", 2);  // bytes after the NUL must not count
  std::memcpy(items[2].text + 4, "aa", 2);
  GU1_LINKLIST list;
  GU1_CreateIndirect_LL(&list, offsetof(Item, text), 8, GU1_KEY_TEXT);
  for (Item& item : items) GU1_Append_LL(&list, &item);
  GU1_Sort_LL(&list, 0, 0, GU1_KEY_TEXT, 0);
  EXPECT_EQ(indirect_numbers(&list), (std::vector<int32_t>{1, 2, 0}));
}

}  // namespace
