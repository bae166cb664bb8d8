#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "array/datapair_fixture.h"
#include "files/files_fixture.h"
#include "support/test_home.h"

namespace {

using namespace pairtest;

class DataPair : public ArrayTest {};

TEST_F(DataPair, IsRegisteredAsClassNineUnderTheRootClass) {
  EXPECT_EQ(APX_GetClassParentID(AP9_CLASS_ID), AP2_CLASS_ID);
  AP9_DATAPAIR* pairs = make(3);
  ASSERT_NE(pairs, nullptr);
  EXPECT_EQ(pair_class().live, 1);
  EXPECT_EQ(send(AP9_MSG_GET_COUNT, pairs), 3u);
  EXPECT_EQ(points_of(pairs), (std::vector<Point>(3, Point{0, 0, 0})));
  char name[32] = {};
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, pairs, name), 1u);
  EXPECT_STREQ(name, "AP9_DATAPAIR");
  AP9_DATAPAIR* none = make(0);
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->pairs, nullptr);
  EXPECT_EQ(send(AP_MSG_SIZE, pairs) - send(AP_MSG_SIZE, none), 3u * 16u);
  EXPECT_EQ(destroy_pairs(pairs), AP_DESTROYED);
  EXPECT_EQ(destroy_pairs(none), AP_DESTROYED);
  EXPECT_EQ(pair_class().live, 0);
  EXPECT_EQ(pair_class().created, 2);
}

TEST_F(DataPair, AnswersNoMessageItDoesNotKnow) {
  AP9_DATAPAIR* pairs = make_of({{1, 2, 3}, {4, 5, 6}});
  uint32_t block[8] = {};
  for (uint16_t message : {AP_MSG_SET_USER_WORD, uint16_t{19}, uint16_t{35}, uint16_t{46}, uint16_t{47},
                           uint16_t{50}, uint16_t{94}})
    EXPECT_EQ(send(message, pairs, block), 0u) << message;
  AP4_ARRAY* array = arraytest::make(2, 2);
  EXPECT_EQ(AP9_Dispatcher_DATAPAIR(array, AP9_MSG_GET_COUNT, nullptr), 0u);
  arraytest::destroy(array);
  destroy_pairs(pairs);
}

TEST_F(DataPair, SetWritesTagAndValuesOnlyWithinTheList) {
  AP9_DATAPAIR* pairs = make(2);
  EXPECT_EQ(set(pairs, 1, {7, 1.5f, -2.5f}), 1u);
  EXPECT_EQ(set(pairs, 2, {1, 1, 1}), 0u);
  EXPECT_EQ(points_of(pairs), (std::vector<Point>{{0, 0, 0}, {7, 1.5f, -2.5f}}));
  uint16_t tag = 0;
  float x = 0;
  float y = 0;
  AP9_GETPARM outside{2, &tag, &x, &y};
  EXPECT_EQ(send(AP9_MSG_GET_PAIR, pairs, &outside), 0u);
  AP9_GETPARM no_tag{0, nullptr, &x, &y};
  EXPECT_EQ(send(AP9_MSG_GET_PAIR, pairs, &no_tag), 0u);
  // The reserved bytes of an entry stay as they were: zero in a new list.
  const AP9_PAIR* entries = ap9_pairs(pairs);
  for (int i = 0; i < 2; ++i)
    for (uint8_t byte : entries[i].reserved) EXPECT_EQ(byte, 0);
  destroy_pairs(pairs);
}

TEST_F(DataPair, InsertOpensZeroedPairsBeforeTheIndexOrAtTheEnd) {
  struct Case {
    const char* what;
    uint32_t index;
    int32_t count;
    std::vector<Point> expected;
  };
  const std::vector<Point> three{{1, 1, 10}, {2, 2, 20}, {3, 3, 30}};
  const Case cases[] = {
      {"inside", 1, 2, {{1, 1, 10}, {0, 0, 0}, {0, 0, 0}, {2, 2, 20}, {3, 3, 30}}},
      {"at the start", 0, 1, {{0, 0, 0}, {1, 1, 10}, {2, 2, 20}, {3, 3, 30}}},
      {"at the end", 3, 1, {{1, 1, 10}, {2, 2, 20}, {3, 3, 30}, {0, 0, 0}}},
      {"end marker", AP9_ALL, 2, {{1, 1, 10}, {2, 2, 20}, {3, 3, 30}, {0, 0, 0}, {0, 0, 0}}},
  };
  for (const Case& c : cases) {
    AP9_DATAPAIR* pairs = make_of(three);
    AP_WORDPARM unchanged{static_cast<uint16_t>(AP2_UNCHANGED)};
    send(AP_MSG_SET_CHANGE_STATE, pairs, &unchanged);
    AP9_SPANPARM span{c.index, c.count};
    EXPECT_EQ(send(AP9_MSG_INSERT_PAIRS, pairs, &span), 1u) << c.what;
    EXPECT_EQ(points_of(pairs), c.expected) << c.what;
    EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, pairs), static_cast<uint32_t>(AP2_CHANGED)) << c.what;
    destroy_pairs(pairs);
  }
  AP9_DATAPAIR* empty = make(0);
  AP9_SPANPARM two{AP9_ALL, 2};
  EXPECT_EQ(send(AP9_MSG_INSERT_PAIRS, empty, &two), 1u);
  EXPECT_EQ(points_of(empty), (std::vector<Point>(2, Point{0, 0, 0})));
  destroy_pairs(empty);
}

TEST_F(DataPair, InsertRefusesAnIndexBeyondTheListOrNoPairs) {
  AP9_DATAPAIR* pairs = make_of({{1, 1, 10}, {2, 2, 20}});
  for (AP9_SPANPARM span : {AP9_SPANPARM{3, 1}, AP9_SPANPARM{0, 0}, AP9_SPANPARM{0, -1}, AP9_SPANPARM{0x7FFFFFFF, 1},
                            AP9_SPANPARM{0, 0x7FFFFFFF}})
    EXPECT_EQ(send(AP9_MSG_INSERT_PAIRS, pairs, &span), 0u) << span.index << " " << span.count;
  EXPECT_EQ(points_of(pairs), (std::vector<Point>{{1, 1, 10}, {2, 2, 20}}));
  destroy_pairs(pairs);
}

TEST_F(DataPair, DeleteClosesTheRunAndKeepsTheBlock) {
  const std::vector<Point> five{{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {4, 4, 4}};
  struct Case {
    const char* what;
    uint32_t index;
    int32_t count;
    uint32_t result;
    std::vector<Point> expected;
  };
  const Case cases[] = {
      {"inside", 1, 2, 1, {{0, 0, 0}, {3, 3, 3}, {4, 4, 4}}},
      {"the tail", 3, 2, 1, {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}},
      {"all", AP9_ALL, 0, 1, {}},
      {"beyond the end", 4, 2, 0, five},
      {"nothing", 1, 0, 0, five},
      {"negative index", 0x80000000, 1, 0, five},
      {"negative count", 1, -1, 0, five},
      {"count wrapping the sum", 1, 0x7FFFFFFF, 0, five},
  };
  for (const Case& c : cases) {
    AP9_DATAPAIR* pairs = make_of(five);
    AP9_SPANPARM span{c.index, c.count};
    EXPECT_EQ(send(AP9_MSG_DELETE_PAIRS, pairs, &span), c.result) << c.what;
    EXPECT_EQ(points_of(pairs), c.expected) << c.what;
    EXPECT_EQ(GU3_NumElements_MM(pairs->pairs), 5u) << c.what;
    destroy_pairs(pairs);
  }
}

TEST_F(DataPair, SortIsAStableAscendingSortByTheKey) {
  const std::vector<Point> points{{2, 3, 0.5f}, {1, 1, 0.5f}, {2, 2, -1}, {0, 1, 9}};
  struct Case {
    uint16_t key;
    std::vector<Point> expected;
  };
  const Case cases[] = {
      {AP9_KEY_X, {{1, 1, 0.5f}, {0, 1, 9}, {2, 2, -1}, {2, 3, 0.5f}}},
      {AP9_KEY_Y, {{2, 2, -1}, {2, 3, 0.5f}, {1, 1, 0.5f}, {0, 1, 9}}},
      {AP9_KEY_TAG, {{0, 1, 9}, {1, 1, 0.5f}, {2, 3, 0.5f}, {2, 2, -1}}},
  };
  for (const Case& c : cases) {
    AP9_DATAPAIR* pairs = make_of(points);
    AP9_SORTPARM sort{c.key, AP9_ASCENDING};
    EXPECT_EQ(send(AP9_MSG_SORT, pairs, &sort), 1u);
    EXPECT_EQ(points_of(pairs), c.expected) << c.key;
    destroy_pairs(pairs);
  }
  AP9_DATAPAIR* pairs = make_of(points);
  for (AP9_SORTPARM refused : {AP9_SORTPARM{AP9_KEY_X, 1}, AP9_SORTPARM{3, AP9_ASCENDING}})
    EXPECT_EQ(send(AP9_MSG_SORT, pairs, &refused), 0u);
  EXPECT_EQ(points_of(pairs), points);
  AP9_DATAPAIR* empty = make(0);
  AP9_SORTPARM sort{AP9_KEY_X, AP9_ASCENDING};
  EXPECT_EQ(send(AP9_MSG_SORT, empty, &sort), 1u);
  destroy_pairs(pairs);
  destroy_pairs(empty);
}

TEST_F(DataPair, DevicePointsScaleTruncateAndStayInTheWindow) {
  // x 0..10 onto 100..300, y 0..1 onto 400..0 (a screen's downward y).
  AP9_DATAPAIR* pairs = make_of({{0, 2.5f, 0.25f}, {0, 0.01f, 1.0f}, {0, -3, 2}, {0, 12, -1}, {0, 10, 0}});
  uint16_t xs[5] = {};
  uint16_t ys[5] = {};
  AP9_DEVICEPARM window{0, 10, 0, 1, 100, 300, 400, 0, xs, ys};
  EXPECT_EQ(send(AP9_MSG_TO_DEVICE_POINTS, pairs, &window), 1u);
  EXPECT_EQ(std::vector<uint16_t>(xs, xs + 5), (std::vector<uint16_t>{150, 100, 100, 300, 300}));
  EXPECT_EQ(std::vector<uint16_t>(ys, ys + 5), (std::vector<uint16_t>{300, 0, 0, 400, 400}));
  AP9_DEVICEPARM flat{0, 10, 1, 1, 100, 300, 400, 0, xs, ys};
  EXPECT_EQ(send(AP9_MSG_TO_DEVICE_POINTS, pairs, &flat), 0u);
  AP9_DEVICEPARM nowhere{0, 10, 0, 1, 100, 300, 400, 0, nullptr, ys};
  EXPECT_EQ(send(AP9_MSG_TO_DEVICE_POINTS, pairs, &nowhere), 0u);
  destroy_pairs(pairs);
}

TEST_F(DataPair, DuplicateAndCopyCarryWholeEntries) {
  AP9_DATAPAIR* pairs = make_of({{1, 2, 3}, {4, 5, 6}});
  ap9_pairs(pairs)[1].reserved[3] = 0x5A;
  AP_WINDOWPARM none{nullptr, 0};
  auto* copy = ap_result_object<AP9_DATAPAIR>(send(AP_MSG_DUPLICATE, pairs, &none));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(std::memcmp(ap9_pairs(copy), ap9_pairs(pairs), 2 * sizeof(AP9_PAIR)), 0);
  AP9_DATAPAIR* target = make(2);
  AP_COPYPARM into{&target->head, nullptr};
  EXPECT_EQ(send(AP_MSG_COPY, pairs, &into), 1u);
  EXPECT_EQ(points_of(target), points_of(pairs));
  AP9_DATAPAIR* shorter = make(1);
  AP_COPYPARM mismatched{&shorter->head, nullptr};
  EXPECT_EQ(send(AP_MSG_COPY, pairs, &mismatched), 0u);
  EXPECT_EQ(points_of(shorter), (std::vector<Point>{{0, 0, 0}}));
  for (AP9_DATAPAIR* p : {pairs, copy, target, shorter}) destroy_pairs(p);
}

// ---------------------------------------------------------------------------
// Stored form

// The stored form as the layout gives it: the number of pairs, then each
// entry's tag, six reserved bytes and the bits of x and y, little-endian.
std::string stored_bytes(const std::vector<Point>& points, uint8_t reserved = 0) {
  std::string bytes;
  filetest::put32(bytes, 0, static_cast<uint32_t>(points.size()));
  for (size_t i = 0; i < points.size(); ++i) {
    const size_t at = 4 + 16 * i;
    bytes.resize(at + 16, static_cast<char>(reserved));
    bytes[at] = static_cast<char>(points[i].tag & 0xFF);
    bytes[at + 1] = static_cast<char>(points[i].tag >> 8);
    uint32_t bits;
    std::memcpy(&bits, &points[i].x, sizeof bits);
    filetest::put32(bytes, at + 8, bits);
    std::memcpy(&bits, &points[i].y, sizeof bits);
    filetest::put32(bytes, at + 12, bits);
  }
  return bytes;
}

class DataPairStream : public filetest::FileObjects {
 protected:
  AP20_FILE* stored(const std::string& name, const std::string& bytes) {
    testsupport::write_file(name, bytes);
    return opened_file(path(name), AP20_MODE_READ);
  }
  static uint32_t write(AP9_DATAPAIR* pairs, AP20_FILE* file) { return send(AP_MSG_WRITE, pairs, file); }
  static AP9_DATAPAIR* read_new(AP20_FILE* file) {
    uint16_t class_id = AP9_CLASS_ID;
    AP_READPARM parameter{&file->head, 1};
    return ap_result_object<AP9_DATAPAIR>(send(AP_MSG_READ, &class_id, &parameter));
  }
  static AP9_DATAPAIR* read_into(AP9_DATAPAIR* pairs, AP20_FILE* file) {
    AP_READPARM parameter{&file->head, 0};
    return ap_result_object<AP9_DATAPAIR>(send(AP_MSG_READ, pairs, &parameter));
  }
  static uint32_t last_error(AP20_FILE* file) { return send(AP20_MSG_LAST_ERROR, file); }
};

TEST_F(DataPairStream, RoundTripsByteForByte) {
  const float missing = AP1_GetNaNSG_MATH();
  const std::vector<Point> points{{3, 1.5f, -2.0f}, {0xBEEF, -0.0f, missing}, {0, 1e30f, 7}};
  AP9_DATAPAIR* pairs = make_of(points);
  AP20_FILE* file = opened_file(path("pairs.bin"), AP20_MODE_CREATE);
  EXPECT_EQ(write(pairs, file), 1u);
  destroy(file);
  EXPECT_EQ(testsupport::read_file(path("pairs.bin")), stored_bytes(points));

  // Reserved bytes that a file holds come back as they were.
  const std::string foreign = stored_bytes(points, 0xA5);
  AP9_DATAPAIR* read = read_new(stored("foreign.bin", foreign));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(send(AP9_MSG_GET_COUNT, read), 3u);
  AP20_FILE* again = opened_file(path("again.bin"), AP20_MODE_CREATE);
  EXPECT_EQ(write(read, again), 1u);
  destroy(again);
  EXPECT_EQ(testsupport::read_file(path("again.bin")), foreign);
  destroy_pairs(pairs);
  destroy_pairs(read);
}

TEST_F(DataPairStream, ALongListWritesAndReadsBackWhole) {
  std::vector<Point> points;
  for (uint32_t i = 0; i < 5000; ++i) points.push_back(Point{static_cast<uint16_t>(i), i * 0.5f, -1.0f * i});
  AP9_DATAPAIR* pairs = make_of(points);
  AP20_FILE* file = opened_file(path("long.bin"), AP20_MODE_CREATE);
  EXPECT_EQ(write(pairs, file), 1u);
  destroy(file);
  EXPECT_EQ(testsupport::read_file(path("long.bin")).size(), 4u + 80000u);
  AP9_DATAPAIR* target = make(1);
  AP20_FILE* in = opened_file(path("long.bin"), AP20_MODE_READ);
  EXPECT_EQ(read_into(target, in), target);
  EXPECT_EQ(points_of(target), points);
  EXPECT_EQ(send(AP20_MSG_POSITION, in), 80004u);
  destroy_pairs(pairs);
  destroy_pairs(target);
}

TEST_F(DataPairStream, AnEmptyListIsTheCountAlone) {
  AP9_DATAPAIR* pairs = make(0);
  AP20_FILE* file = opened_file(path("empty.bin"), AP20_MODE_CREATE);
  EXPECT_EQ(write(pairs, file), 1u);
  destroy(file);
  EXPECT_EQ(testsupport::read_file(path("empty.bin")), std::string(4, '\0'));
  AP9_DATAPAIR* filled = make_of({{1, 1, 1}});
  EXPECT_EQ(read_into(filled, opened_file(path("empty.bin"), AP20_MODE_READ)), filled);
  EXPECT_EQ(send(AP9_MSG_GET_COUNT, filled), 0u);
  destroy_pairs(pairs);
  destroy_pairs(filled);
}

TEST_F(DataPairStream, AWriteCutShortIsAFailure) {
  AP9_DATAPAIR* pairs = make(10);
  for (rlim_t limit : {rlim_t{100}, rlim_t{2}}) {
    AP20_FILE* file = opened_file(path("cut" + std::to_string(limit) + ".bin"), AP20_MODE_CREATE);
    arraytest::FileSizeCap cap(limit);
    ASSERT_TRUE(cap.active());
    EXPECT_EQ(write(pairs, file), 0u) << limit;
  }
  EXPECT_EQ(write(pairs, named_file(path("closed.bin"))), 0u);
  destroy_pairs(pairs);
}

struct BadStream {
  const char* name;
  std::string bytes;
  uint32_t error;
};

class DamagedStream : public DataPairStream, public testing::WithParamInterface<BadStream> {};

// Neither a new list nor a change of an existing one comes of a damaged
// stream, and the file object tells what was wrong.
TEST_P(DamagedStream, MakesAndChangesNoList) {
  const BadStream& c = GetParam();
  AP20_FILE* file = stored("bad.bin", c.bytes);
  EXPECT_EQ(read_new(file), nullptr);
  EXPECT_EQ(last_error(file), c.error);
  EXPECT_EQ(pair_class().live, 0);

  const std::vector<Point> before{{1, 2, 3}, {4, 5, 6}};
  AP9_DATAPAIR* pairs = make_of(before);
  AP_WORDPARM unchanged{static_cast<uint16_t>(AP2_UNCHANGED)};
  send(AP_MSG_SET_CHANGE_STATE, pairs, &unchanged);
  ASSERT_EQ(send(AP20_MSG_REWIND, file), 1u);
  EXPECT_EQ(read_into(pairs, file), nullptr);
  EXPECT_EQ(last_error(file), c.error);
  EXPECT_EQ(points_of(pairs), before);
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, pairs), static_cast<uint32_t>(AP2_UNCHANGED));
  destroy_pairs(pairs);
}

std::string count_only(uint32_t count) {
  std::string bytes;
  filetest::put32(bytes, 0, count);
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedStream,
    testing::Values(BadStream{"NothingAtAll", "", AP20_ERROR_SHORT_FILE},
                    BadStream{"CountCutShort", std::string("\x02\x00\x00", 3), AP20_ERROR_SHORT_FILE},
                    BadStream{"NoEntries", count_only(2), AP20_ERROR_SHORT_FILE},
                    BadStream{"EntriesCutShort", count_only(2) + std::string(31, '\x01'), AP20_ERROR_SHORT_FILE},
                    // 2^28 entries would wrap the byte count to 0.
                    BadStream{"CountWrapsTheBytes", count_only(0x10000000) + std::string(64, '\x01'),
                              AP20_ERROR_DAMAGED},
                    BadStream{"AllOnesCount", count_only(0xFFFFFFFF), AP20_ERROR_DAMAGED},
                    BadStream{"CountBeyondTheFile", count_only(1000000) + std::string(160, '\x01'),
                              AP20_ERROR_SHORT_FILE}),
    [](const testing::TestParamInfo<BadStream>& info) { return std::string(info.param.name); });

}  // namespace
