#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "files/files_fixture.h"

namespace {

using filetest::Entry;
using filetest::FileObjects;
using filetest::get16;
using filetest::get_entry;
using filetest::header_bytes;
using filetest::native_file;
using filetest::pattern;
using filetest::put16;
using filetest::put_entry;
using filetest::Section;

constexpr uint16_t kYData = 3;
constexpr uint16_t kHistory = 27;
constexpr uint16_t kComment = 4;
constexpr uint16_t kReservoir = 113;
constexpr uint16_t kFree = 1;

// An object of a test class that writes its own stream when it is saved
// (message 18), as the attached objects of a spectrum do.
constexpr uint16_t kWriterClass = 201;
struct StreamWriter {
  uint16_t class_id = kWriterClass;
  std::string stream;
  uint32_t answer = 1;
};

uint32_t writer_dispatcher(void* object, uint16_t message, void* parameter) {
  auto* writer = static_cast<StreamWriter*>(object);
  if (message != AP_MSG_WRITE) return 0;
  ap20_Write(parameter, writer->stream.data(), static_cast<uint32_t>(writer->stream.size()));
  return writer->answer;
}

class SectionStorage : public FileObjects {
 protected:
  void SetUp() override {
    FileObjects::SetUp();
    GU2_ImmedSetDispatcher(kWriterClass, writer_dispatcher);
  }
  void TearDown() override {
    for (GU3_HANDLE block : blocks_) GU3_Free_MM(block);
    FileObjects::TearDown();
  }

  // A new native file for that many entries, open for writing, growth on or off.
  AP20_FILE* new_native(const std::string& name, uint16_t expected = 0, uint16_t may_grow = 0) {
    AP20_FILE* file = make_file();
    AP20_NATIVEPARM parameter{path(name).c_str(), expected, 1};
    const std::string full = path(name);
    parameter.name = full.c_str();
    EXPECT_EQ(send(AP20_MSG_OPEN_NATIVE, file, &parameter), AP20_NATIVE_OPENED);
    AP20_WORDPARM grow{may_grow};
    send(AP20_MSG_SET_GROWTH, file, &grow);
    return file;
  }

  // The stored bytes, opened as a native file for writing.
  AP20_FILE* open_stored(const std::string& name, const std::string& bytes, uint16_t may_grow = 0) {
    testsupport::write_file(name, bytes);
    return new_native(name, 0, may_grow);
  }

  // A memory block holding the bytes, freed after the test.
  GU3_HANDLE block_of(const std::string& bytes) {
    GU3_HANDLE block = GU3_Allocate_MM(std::max<uint32_t>(static_cast<uint32_t>(bytes.size()), 1), 1, GU3_KIND_GLOBAL);
    std::memcpy(GU3_GetPointer_MM(block, 0, nullptr, nullptr), bytes.data(), bytes.size());
    blocks_.push_back(block);
    return block;
  }

  // Message 118 on the object's own header and directory.
  uint32_t put(AP20_FILE* file, uint16_t type, const std::string& bytes, uint16_t keyed = 1, uint16_t key2 = 0,
               uint32_t key3 = 0, uint16_t replace = 1) {
    AP20_WRITESECTIONPARM parameter{file, file->header, &file->directory_block, type,    static_cast<uint32_t>(bytes.size()),
                                    block_of(bytes), keyed, key2, key3, replace, nullptr};
    return send(AP20_MSG_WRITE_SECTION_CHOSEN, file, &parameter);
  }

  // Message 122 with a writer object, replacement on.
  static uint32_t put_stream(AP20_FILE* file, uint16_t type, StreamWriter* writer, uint32_t announced,
                             uint16_t key2 = 0) {
    AP20_WRITESECTIONPARM parameter{file, file->header, &file->directory_block, type, announced, nullptr, 1, key2,
                                    0,    1,            writer};
    return send(AP20_MSG_WRITE_SECTION_FULL, file, &parameter);
  }

  // Message 110: the section's stored bytes, or nothing.
  static std::optional<std::string> get(AP20_FILE* file, uint16_t type, uint16_t key2 = 0, uint32_t key3 = 0) {
    uint32_t length = 0xFFFF;
    AP20_OPENSECTIONPARM parameter{type, key2, key3, &length};
    auto* block = ap_result_object<GU3_DESCRIPTOR>(send(AP20_MSG_READ_OPEN_SECTION, file, &parameter));
    if (block == nullptr) return std::nullopt;
    std::string bytes(static_cast<char*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr)), length);
    GU3_Free_MM(block);
    return bytes;
  }

  static uint32_t free_section(AP20_FILE* file, uint16_t type, uint16_t key2 = 0, uint32_t key3 = 0) {
    AP20_OBJECTFINDPARM parameter{file, file->header, file->directory, type, key2, key3, nullptr};
    return send(AP20_MSG_FREE_SECTION, file, &parameter);
  }

  static void save(AP20_FILE* file) { EXPECT_EQ(send(AP20_MSG_WRITE_OPEN_DIRECTORY, file), 1u); }

  static Entry entry(AP20_FILE* file, size_t index) {
    const AP20_DIRENTRY& stored = file->directory[index];
    return Entry{stored.type, packed(stored.offset), packed(stored.length), stored.key2, packed(stored.key3)};
  }

  std::string disk(const std::string& name) { return testsupport::read_file(path(name)); }

 private:
  std::vector<GU3_HANDLE> blocks_;
};

// ---------------------------------------------------------------------------
// Appending

struct PaddingCase {
  uint32_t length;
  uint32_t stored;
};

class Padding : public SectionStorage, public testing::WithParamInterface<PaddingCase> {};

TEST_P(Padding, ASectionIsAppendedAfterTheDirectoryPaddedWithZerosToAMultipleOf4) {
  const PaddingCase& sizes = GetParam();
  AP20_FILE* file = new_native("pad.spa");
  const std::string data = pattern(sizes.length, 9);
  ASSERT_EQ(put(file, kYData, data, 1, 0, 0, 0), 1u);
  save(file);
  const std::string padded = data + std::string(sizes.stored - sizes.length, '\0');
  std::string expected = native_file(1, 1, {Section{{kYData, 560, sizes.stored, 0, 0}, padded}});
  for (size_t index = 1; index < 16; ++index) put_entry(expected, index, Entry{kFree, 0, 0, 0, 0});
  EXPECT_EQ(disk("pad.spa"), expected);
  EXPECT_EQ(get(file, kYData), padded);
}

INSTANTIATE_TEST_SUITE_P(Table, Padding,
                         testing::Values(PaddingCase{10, 12}, PaddingCase{130, 132}, PaddingCase{8, 8},
                                         PaddingCase{1, 4}));

TEST_F(SectionStorage, WritingWithoutKeysFreesEveryOlderSectionOfTheTypeOnDiskAtOnce) {
  AP20_FILE* file = new_native("keys.spa");
  put(file, kYData, "AAAA", 1, 0);
  put(file, kYData, "BBBB", 1, 1);
  put(file, kHistory, "CCCC", 1, 0);
  ASSERT_EQ(put(file, kYData, "DDDD", 0, 0, 0, 0), 1u);
  EXPECT_EQ(entry(file, 0), (Entry{kFree, 560, 4, 0, 0}));
  EXPECT_EQ(entry(file, 1), (Entry{kFree, 564, 4, 0, 0}));
  EXPECT_EQ(entry(file, 2), (Entry{kHistory, 568, 4, 0, 0}));
  EXPECT_EQ(entry(file, 3), (Entry{kYData, 572, 4, 0, 0}));
  const std::string bytes = disk("keys.spa");
  EXPECT_EQ(get16(bytes, 294), 3);  // the new entry is in memory only
  EXPECT_EQ(get_entry(bytes, 1), (Entry{kFree, 564, 4, 0, 0}));
  EXPECT_EQ(bytes.substr(572, 4), "DDDD");
}

TEST_F(SectionStorage, AWriteNeverReadsBeyondTheDataBlock) {
  AP20_FILE* file = new_native("short.spa");
  AP20_WRITESECTIONPARM parameter{file, file->header, &file->directory_block, kYData, 100, block_of("0123456789"),
                                  1,    0,            0,                      1,      nullptr};
  EXPECT_EQ(send(AP20_MSG_WRITE_SECTION_CHOSEN, file, &parameter), 0u);
  EXPECT_EQ(file->header->count, 0);
  EXPECT_EQ(disk("short.spa").size(), 560u);
}

TEST_F(SectionStorage, AFileOpenForReadingIsNotWritten) {
  const std::string stored = native_file(1, 1, {Section{{kYData, 560, 4, 0, 0}, "ABCD"}});
  testsupport::write_file("read.spa", stored);
  AP20_FILE* file = make_file();
  const std::string full = path("read.spa");
  AP20_NATIVEPARM parameter{full.c_str(), 0, 1};
  ASSERT_EQ(send(AP20_MSG_OPEN_NATIVE_READ, file, &parameter), AP20_NATIVE_OPENED);
  EXPECT_EQ(put(file, kHistory, "WXYZ"), 0u);
  EXPECT_EQ(disk("read.spa"), stored);
}

// ---------------------------------------------------------------------------
// Reuse of freed entries

TEST_F(SectionStorage, ReplacingTakesTheFirstFreeEntryLongEnoughAtItsOffset) {
  AP20_FILE* file =
      open_stored("reuse.spa", native_file(1, 1,
                                           {Section{{kYData, 560, 64, 0, 0}, pattern(64, 1)},
                                            Section{{kComment, 624, 128, 0, 0}, pattern(128, 2)},
                                            Section{{kHistory, 752, 16, 0, 0}, pattern(16, 3)}}));
  free_section(file, kYData);
  free_section(file, kComment);
  const std::string data = pattern(100, 4);
  ASSERT_EQ(put(file, 106, data), 1u);
  EXPECT_EQ(entry(file, 1), (Entry{106, 624, 100, 0, 0}));
  EXPECT_EQ(entry(file, 0), (Entry{kFree, 560, 64, 0, 0}));  // too short for it
  EXPECT_EQ(file->header->count, 3);
  const std::string bytes = disk("reuse.spa");
  EXPECT_EQ(bytes.size(), 768u);
  EXPECT_EQ(bytes.substr(624, 100), data);
  EXPECT_EQ(bytes.substr(724, 28), pattern(128, 2).substr(100));  // the rest of the old space is abandoned
  EXPECT_EQ(get(file, kHistory), pattern(16, 3));
}

TEST_F(SectionStorage, AFreeEntryOverLiveBytesIsNotReused) {
  // A damaged directory: two free entries whose space is not free.
  AP20_FILE* file = open_stored("hostile.spa", native_file(1, 1,
                                                           {Section{{kYData, 560, 64, 0, 0}, pattern(64, 1)},
                                                            Section{{kFree, 560, 128, 0, 0}, ""},
                                                            Section{{kFree, 300, 128, 0, 0}, ""}}));
  ASSERT_EQ(put(file, kHistory, pattern(100, 2)), 1u);
  EXPECT_EQ(entry(file, 3), (Entry{kHistory, 624, 100, 0, 0}));
  EXPECT_EQ(get(file, kYData), pattern(64, 1));
  EXPECT_EQ(disk("hostile.spa").substr(0, 304), header_bytes(1, 1, 3));
}

// ---------------------------------------------------------------------------
// The reservoir

TEST_F(SectionStorage, ANewSectionTakesTheStartOfTheReservoir) {
  AP20_FILE* file = open_stored("reservoir.spa", native_file(1, 1,
                                                             {Section{{kReservoir, 560, 400, 0, 0}, ""},
                                                              Section{{kYData, 960, 16, 0, 0}, pattern(16, 1)}}));
  const std::string data = pattern(100, 2);
  ASSERT_EQ(put(file, kHistory, data), 1u);
  EXPECT_EQ(entry(file, 2), (Entry{kHistory, 560, 100, 0, 0}));
  EXPECT_EQ(entry(file, 0), (Entry{kReservoir, 660, 300, 0, 0}));
  const std::string bytes = disk("reservoir.spa");
  EXPECT_EQ(bytes.size(), 976u);
  EXPECT_EQ(bytes.substr(560, 100), data);
  EXPECT_EQ(get(file, kYData), pattern(16, 1));
}

TEST_F(SectionStorage, AReservoirShorterThanTheSectionIsNotGrownOverTheSectionBehindIt) {
  AP20_FILE* file = open_stored("reservoir.spa", native_file(1, 1,
                                                             {Section{{kReservoir, 560, 64, 0, 0}, ""},
                                                              Section{{kYData, 624, 16, 0, 0}, pattern(16, 1)}}));
  ASSERT_EQ(put(file, kHistory, pattern(100, 2)), 1u);
  EXPECT_EQ(entry(file, 2), (Entry{kHistory, 640, 100, 0, 0}));
  EXPECT_EQ(entry(file, 0), (Entry{kReservoir, 560, 64, 0, 0}));
  EXPECT_EQ(get(file, kYData), pattern(16, 1));
  EXPECT_EQ(get(file, kHistory), pattern(100, 2));
}

TEST_F(SectionStorage, AReservoirAtTheEndOfTheFileIsGrownForTheSection) {
  AP20_FILE* file = open_stored("reservoir.spa", native_file(1, 1,
                                                             {Section{{kReservoir, 576, 16, 0, 0}, std::string(16, '\0')},
                                                              Section{{kYData, 560, 16, 0, 0}, pattern(16, 1)}}));
  ASSERT_EQ(put(file, kHistory, pattern(100, 2)), 1u);
  EXPECT_EQ(entry(file, 2), (Entry{kHistory, 576, 100, 0, 0}));
  EXPECT_EQ(entry(file, 0), (Entry{kReservoir, 676, 0, 0, 0}));
  EXPECT_EQ(disk("reservoir.spa").size(), 676u);
  EXPECT_EQ(get(file, kYData), pattern(16, 1));
}

// ---------------------------------------------------------------------------
// Directory growth

struct GrowthCase {
  uint16_t step;
  uint16_t added_blocks;
};

class DirectoryGrowth : public SectionStorage, public testing::WithParamInterface<GrowthCase> {};

TEST_P(DirectoryGrowth, AFullDirectoryGrowsAndEverySectionMovesWithIt) {
  AP20_FILE* file = new_native("grow.spa", 31, 1);
  AP20_WORDPARM step{GetParam().step};
  send(AP20_MSG_SET_GROWTH_STEP, file, &step);
  // 32 sections of 600 bytes: a data region of more than one move chunk.
  for (uint16_t key2 = 0; key2 < 32; ++key2)
    ASSERT_EQ(put(file, kYData, pattern(600, static_cast<uint8_t>(key2)), 1, key2, 0, 0), 1u);
  save(file);
  const std::string before = disk("grow.spa");
  ASSERT_EQ(before.size(), 816u + 32u * 600u);

  ASSERT_EQ(put(file, kHistory, pattern(40, 99), 1, 0, 0, 0), 1u);
  save(file);
  const uint32_t shift = 256u * GetParam().added_blocks;
  const uint32_t data_start = 816 + shift;
  const std::string after = disk("grow.spa");
  EXPECT_EQ(get16(after, 292), 2 + GetParam().added_blocks);
  EXPECT_EQ(get16(after, 294), 33);
  EXPECT_EQ(after.substr(data_start, before.size() - 816), before.substr(816));
  for (size_t index = 0; index < 32; ++index) {
    Entry moved = get_entry(before, index);
    moved.offset += shift;
    EXPECT_EQ(get_entry(after, index), moved);
  }
  EXPECT_EQ(get_entry(after, 32), (Entry{kHistory, static_cast<uint32_t>(before.size()) + shift, 40, 0, 0}));
  for (size_t index = 33; index < 32u + 16u * GetParam().added_blocks; ++index)
    EXPECT_EQ(get_entry(after, index), (Entry{0, 0, 0, 0, 0}));
  for (uint16_t key2 = 0; key2 < 32; ++key2) EXPECT_EQ(get(file, kYData, key2), pattern(600, static_cast<uint8_t>(key2)));
}

INSTANTIATE_TEST_SUITE_P(Table, DirectoryGrowth,
                         testing::Values(GrowthCase{32, 2}, GrowthCase{64, 4}, GrowthCase{16, 2}));

TEST_F(SectionStorage, WithoutGrowthPermissionThe49thEntryFailsAndTheFileKeepsOnlyThePreDeletion) {
  AP20_FILE* file = new_native("full.spa", 32);
  for (uint16_t key2 = 0; key2 < 48; ++key2) ASSERT_EQ(put(file, kYData, "1234", 1, key2, 0, 0), 1u);
  save(file);
  const std::string before = disk("full.spa");
  EXPECT_EQ(put(file, kHistory, "ABCD", 1, 0, 0, 0), 0u);
  EXPECT_EQ(disk("full.spa"), before);
  EXPECT_EQ(put(file, kYData, "ABCD", 0, 0, 0, 0), 0u);  // every older section 3 freed first
  std::string freed = before;
  for (size_t index = 0; index < 48; ++index) put_entry(freed, index, Entry{kFree, 1072u + 4u * index, 4, 0, 0});
  EXPECT_EQ(disk("full.spa"), freed);
  EXPECT_EQ(file->header->count, 48);
}

TEST_F(SectionStorage, AFullDirectoryWithAReservoirGrowsBeforeTakingANewEntry) {
  std::vector<Section> sections{Section{{kReservoir, 560, 1000, 0, 0}, std::string(1000, '\0')}};
  for (uint16_t key2 = 0; key2 < 15; ++key2)
    sections.push_back(Section{{kYData, 1560u + 8u * key2, 8, key2, 0}, pattern(8, static_cast<uint8_t>(key2))});
  const std::string stored = native_file(1, 1, sections);
  AP20_FILE* refused = open_stored("full.spa", stored, 0);
  EXPECT_EQ(put(refused, kHistory, "ABCD"), 0u);
  EXPECT_EQ(disk("full.spa"), stored);
  destroy(refused);

  AP20_FILE* file = open_stored("full.spa", stored, 1);
  ASSERT_EQ(put(file, kHistory, "ABCD"), 1u);
  EXPECT_EQ(file->header->blocks, 3);
  EXPECT_EQ(entry(file, 16), (Entry{kHistory, 560 + 512, 4, 0, 0}));
  EXPECT_EQ(entry(file, 0), (Entry{kReservoir, 564 + 512, 996, 0, 0}));
  for (uint16_t key2 = 0; key2 < 15; ++key2) EXPECT_EQ(get(file, kYData, key2), pattern(8, static_cast<uint8_t>(key2)));
  EXPECT_EQ(get(file, kHistory), "ABCD");
}

// ---------------------------------------------------------------------------
// Sections written by an object

TEST_F(SectionStorage, AWriterObjectsEntryRecordsTheBytesItWrotePaddedTo4) {
  AP20_FILE* file = new_native("stream.spa");
  StreamWriter writer;
  writer.stream = pattern(10, 5);
  ASSERT_EQ(put_stream(file, 130, &writer, 6), 1u);
  EXPECT_EQ(entry(file, 0), (Entry{130, 560, 12, 0, 0}));
  EXPECT_EQ(disk("stream.spa").size(), 572u);
  EXPECT_EQ(get(file, 130), pattern(10, 5) + std::string(2, '\0'));
}

TEST_F(SectionStorage, AWriterObjectsStreamReusesAFreeEntryItFits) {
  AP20_FILE* file = open_stored("stream.spa", native_file(1, 1,
                                                          {Section{{130, 560, 16, 0, 0}, pattern(16, 1)},
                                                           Section{{kYData, 576, 8, 0, 0}, pattern(8, 2)}}));
  StreamWriter writer;
  writer.stream = pattern(10, 5);
  ASSERT_EQ(put_stream(file, 130, &writer, 10), 1u);
  EXPECT_EQ(entry(file, 0), (Entry{130, 560, 12, 0, 0}));
  EXPECT_EQ(disk("stream.spa").size(), 584u);
  EXPECT_EQ(get(file, kYData), pattern(8, 2));
}

TEST_F(SectionStorage, AFailingWriterObjectLeavesNoBytesBehind) {
  AP20_FILE* file = new_native("stream.spa");
  StreamWriter writer;
  writer.stream = pattern(10, 5);
  writer.answer = 0;
  EXPECT_EQ(put_stream(file, 130, &writer, 10), 0u);
  EXPECT_EQ(file->header->count, 0);
  EXPECT_EQ(disk("stream.spa").size(), 560u);
}

TEST_F(SectionStorage, AWriterObjectWritesIntoAFileOpenForWritingOnly) {
  testsupport::write_file("write.spa", "");
  AP20_FILE* file = opened_file(path("write.spa"), AP20_MODE_WRITE);
  std::string header(304, '\0');
  auto* header_record = reinterpret_cast<AP20_FILEHEADER*>(&header[0]);
  AP20_INITHEADERPARM init{header_record, 1, 1};
  send(AP20_MSG_INIT_HEADER, file, &init);
  GU3_HANDLE directory = GU3_Allocate_MM(16, 16, GU3_KIND_GLOBAL);
  AP20_WRITEDIRECTORYPARM write{file, header_record,
                                static_cast<AP20_DIRENTRY*>(GU3_GetPointer_MM(directory, 0, nullptr, nullptr))};
  ASSERT_EQ(send(AP20_MSG_WRITE_DIRECTORY, file, &write), 1u);
  StreamWriter writer;
  writer.stream = "stream";
  AP20_WRITESECTIONPARM parameter{file, header_record, &directory, 130, 6, nullptr, 1, 0, 0, 1, &writer};
  EXPECT_EQ(send(AP20_MSG_WRITE_SECTION_FULL, file, &parameter), 1u);
  EXPECT_EQ(send(AP20_MSG_OPEN_MODE, file), AP20_MODE_WRITE);
  EXPECT_EQ(header_record->count, 1);
  GU3_Free_MM(directory);
  send(AP20_MSG_CLOSE, file);
  EXPECT_EQ(disk("write.spa").substr(560), std::string("stream") + std::string(2, '\0'));
}

// ---------------------------------------------------------------------------
// Compaction

TEST_F(SectionStorage, CompactingMovesLaterSectionsOverAFreedOneAndShrinksTheFile) {
  AP20_FILE* file = open_stored("compact.spa", native_file(1, 1,
                                                           {Section{{2, 560, 140, 0, 0}, pattern(140, 1)},
                                                            Section{{kYData, 700, 32, 0, 0}, pattern(32, 2)},
                                                            Section{{kHistory, 732, 8, 0, 0}, pattern(8, 3)}}));
  free_section(file, kYData);
  ASSERT_EQ(send(AP20_MSG_COMPACT, file), 1u);
  std::string expected = native_file(1, 1,
                                     {Section{{2, 560, 140, 0, 0}, pattern(140, 1)},
                                      Section{{kHistory, 700, 8, 0, 0}, pattern(8, 3)}});
  EXPECT_EQ(disk("compact.spa"), expected);
  EXPECT_EQ(get(file, kHistory), pattern(8, 3));
}

TEST_F(SectionStorage, CompactingGoesInFileOrderAndNeverOverwritesOrCutsASection) {
  // In directory order the second section lies after the third: moving it
  // first would write over the third, and cutting after the third would
  // lose it.
  AP20_FILE* file = open_stored("order.spa", native_file(1, 1,
                                                         {Section{{5, 560, 16, 0, 0}, pattern(16, 1)},
                                                          Section{{kYData, 640, 40, 0, 0}, pattern(40, 2)},
                                                          Section{{kHistory, 592, 16, 0, 0}, pattern(16, 3)},
                                                          Section{{kComment, 576, 16, 0, 0}, pattern(16, 4)}}));
  free_section(file, kComment);
  ASSERT_EQ(send(AP20_MSG_COMPACT, file), 1u);
  EXPECT_EQ(entry(file, 0), (Entry{5, 560, 16, 0, 0}));
  EXPECT_EQ(entry(file, 1), (Entry{kYData, 592, 40, 0, 0}));
  EXPECT_EQ(entry(file, 2), (Entry{kHistory, 576, 16, 0, 0}));
  EXPECT_EQ(file->header->count, 3);
  EXPECT_EQ(disk("order.spa").size(), 632u);
  EXPECT_EQ(get(file, 5), pattern(16, 1));
  EXPECT_EQ(get(file, kYData), pattern(40, 2));
  EXPECT_EQ(get(file, kHistory), pattern(16, 3));
  const std::string bytes = disk("order.spa");
  EXPECT_EQ(get_entry(bytes, 1), (Entry{kYData, 592, 40, 0, 0}));
  EXPECT_EQ(get_entry(bytes, 3), (Entry{0, 0, 0, 0, 0}));
}

TEST_F(SectionStorage, CompactingDropsFreeAndEmptyEntriesAndCutsAfterTheLastSection) {
  AP20_FILE* file = open_stored("tail.spa", native_file(1, 1,
                                                        {Section{{kYData, 560, 16, 0, 0}, pattern(16, 1)},
                                                         Section{{kComment, 576, 0, 0, 0}, ""},
                                                         Section{{kHistory, 576, 64, 0, 0}, pattern(64, 2)}}));
  free_section(file, kHistory);
  ASSERT_EQ(send(AP20_MSG_COMPACT, file), 1u);
  EXPECT_EQ(disk("tail.spa"), native_file(1, 1, {Section{{kYData, 560, 16, 0, 0}, pattern(16, 1)}}));
}

// ---------------------------------------------------------------------------
// Look-ups

// A group directory in memory: header sections 2 for members 4, 7 and 9,
// Y data for member 7 with two key-3 values, and a freed entry.
class GroupDirectory : public SectionStorage {
 protected:
  void SetUp() override {
    SectionStorage::SetUp();
    std::string bytes = header_bytes(10, 1, 7);
    bytes.resize(304 + 256, '\0');
    const Entry entries[] = {{2, 600, 140, 4, 0},  {2, 740, 140, 7, 0}, {kYData, 880, 16, 7, 5}, {kFree, 896, 8, 0, 0},
                             {kYData, 904, 16, 7, 6}, {2, 920, 140, 9, 0}, {kHistory, 1060, 4, 7, 0}};
    for (size_t index = 0; index < 7; ++index) put_entry(bytes, index, entries[index]);
    header_ = bytes.substr(0, 304);
    directory_ = bytes.substr(304);
  }
  AP20_FILEHEADER* header() { return reinterpret_cast<AP20_FILEHEADER*>(&header_[0]); }
  AP20_DIRENTRY* directory() { return reinterpret_cast<AP20_DIRENTRY*>(&directory_[0]); }
  uint32_t find(uint16_t message, uint16_t type, uint16_t key2, uint32_t key3, uint16_t* count = nullptr) {
    AP20_FINDPARM parameter{header(), directory(), type, key2, key3, count};
    return send(message, make_file(), &parameter);
  }
  uint32_t next_key2(uint16_t key2, uint16_t* next) {
    AP20_NEXTKEYPARM parameter{header(), directory(), 2, key2, next};
    return send(AP20_MSG_NEXT_KEY2, make_file(), &parameter);
  }

  std::string header_;
  std::string directory_;
};

TEST_F(GroupDirectory, ASectionIsTheFirstEntryMatchingTypeKey2AndKey3) {
  uint16_t count = 0;
  EXPECT_EQ(find(AP20_MSG_HAS_SECTION, kYData, 7, 6, &count), 1u);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(find(AP20_MSG_HAS_SECTION, kYData, 7, 7, &count), 0u);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(find(AP20_MSG_SECTION_OFFSET, kYData, 7, 6), 904u);
  EXPECT_EQ(find(AP20_MSG_SECTION_LENGTH, 2, 9, 0), 140u);
  EXPECT_EQ(find(AP20_MSG_SECTION_OFFSET, kFree, 0, 0), 896u);
  EXPECT_EQ(find(AP20_MSG_SECTION_OFFSET, 2, 5, 0), 0u);
  AP20_NEXTKEYPARM member{header(), directory(), kYData, 7, nullptr};
  EXPECT_EQ(send(AP20_MSG_MEMBER_OFFSET, make_file(), &member), 880u);  // key 3 aside
  AP20_TYPEPARM highest{header(), directory(), 2};
  EXPECT_EQ(send(AP20_MSG_HIGHEST_KEY2, make_file(), &highest), 9u);
  highest.type = 106;
  EXPECT_EQ(send(AP20_MSG_HIGHEST_KEY2, make_file(), &highest), 0u);
}

struct NextCase {
  uint16_t key2;
  uint32_t result;
  uint16_t next;
};

class NextMembers : public GroupDirectory, public testing::WithParamInterface<NextCase> {};

TEST_P(NextMembers, TheNextKey2FollowsTheGivenOneInDirectoryOrder) {
  uint16_t next = 0;
  EXPECT_EQ(next_key2(GetParam().key2, &next), GetParam().result);
  EXPECT_EQ(next, GetParam().next);
}

INSTANTIATE_TEST_SUITE_P(Table, NextMembers,
                         testing::Values(NextCase{9999, 1, 4}, NextCase{4, 1, 7}, NextCase{7, 1, 9},
                                         NextCase{9, 0, 9999}, NextCase{5, 0, 9999}));

TEST_F(GroupDirectory, ACountBeyondTheDirectoryFindsNothing) {
  put16(header_, 294, 17);
  uint16_t count = 77;
  EXPECT_EQ(find(AP20_MSG_HAS_SECTION, 2, 4, 0, &count), 0u);
  EXPECT_EQ(find(AP20_MSG_SECTION_OFFSET, 2, 4, 0), 0u);
  uint16_t next = 0;
  EXPECT_EQ(next_key2(9999, &next), 0u);
  EXPECT_EQ(next, 9999);
}

// ---------------------------------------------------------------------------
// Reading

TEST_F(SectionStorage, ASectionIsReadIntoWordsAndACommentGetsANulAfterIt) {
  AP20_FILE* file = open_stored("read.spa", native_file(1, 1,
                                                        {Section{{kComment, 560, 8, 0, 0}, std::string("a\0b\0\0\0\0\0", 8)},
                                                         Section{{kHistory, 568, 5, 0, 0}, std::string("hist\0", 5)}}));
  uint32_t length = 0;
  AP20_OBJECTFINDPARM parameter{file, file->header, file->directory, kComment, 0, 0, &length};
  auto* block = ap_result_object<GU3_DESCRIPTOR>(send(AP20_MSG_READ_SECTION, file, &parameter));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(length, 8u);
  EXPECT_EQ(GU3_NumElements_MM(block), 3u);
  EXPECT_EQ(GU3_LenElements_MM(block), 4u);
  EXPECT_EQ(static_cast<char*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr))[8], '\0');
  GU3_Free_MM(block);
  parameter.type = kHistory;
  block = ap_result_object<GU3_DESCRIPTOR>(send(AP20_MSG_READ_SECTION, file, &parameter));
  EXPECT_EQ(length, 5u);
  EXPECT_EQ(GU3_NumElements_MM(block), 2u);
  GU3_Free_MM(block);
}

struct ShortCase {
  uint16_t type;
  uint32_t length;
  bool refused;
};

class TooShortSections : public SectionStorage, public testing::WithParamInterface<ShortCase> {};

TEST_P(TooShortSections, ASectionShorterThanItsTypeNeedsIsRefused) {
  const ShortCase& section = GetParam();
  AP20_FILE* file = open_stored("short.spa", native_file(1, 1,
                                                         {Section{{kYData, 560, 8, 0, 0}, pattern(8, 1)},
                                                          Section{{section.type, 568, section.length, 0, 0},
                                                                  pattern(section.length, 2)}}));
  EXPECT_EQ(get(file, section.type).has_value(), !section.refused);
  EXPECT_EQ(send(AP20_MSG_LAST_ERROR, file), section.refused ? AP20_ERROR_DAMAGED : 0u);
  EXPECT_EQ(get(file, kYData), pattern(8, 1));
}

INSTANTIATE_TEST_SUITE_P(Table, TooShortSections,
                         testing::Values(ShortCase{2, 100, true}, ShortCase{2, 140, false}, ShortCase{106, 52, true},
                                         ShortCase{146, 128, false}, ShortCase{146, 124, true},
                                         ShortCase{105, 8, true}, ShortCase{107, 256, false},
                                         ShortCase{107, 252, true}, ShortCase{100, 20, false},
                                         ShortCase{kHistory, 1, false}));

TEST_F(SectionStorage, ASectionBeyondTheFileIsNotRead) {
  AP20_FILE* file = open_stored("beyond.spa", native_file(1, 1, {Section{{kYData, 560, 8, 0, 0}, pattern(8, 1)}}));
  file->directory[0].length = 4000;  // a caller's copy that the file does not bear out
  EXPECT_FALSE(get(file, kYData).has_value());
  EXPECT_EQ(send(AP20_MSG_LAST_ERROR, file), AP20_ERROR_DAMAGED);
  file->directory[0].length = 8;
  file->directory[0].offset = 300;
  EXPECT_FALSE(get(file, kYData).has_value());
}

TEST_F(SectionStorage, ReadingIntoABufferGoesOnFromAnIndexAndKeepsToTheTypesLayout) {
  AP20_FILE* file = open_stored("into.spa", native_file(1, 1,
                                                        {Section{{100, 560, 24, 0, 0}, pattern(24, 1)},
                                                         Section{{kYData, 584, 8, 0, 0}, pattern(8, 2)},
                                                         Section{{100, 592, 24, 0, 0}, pattern(24, 3)},
                                                         Section{{100, 616, 28, 1, 0}, pattern(28, 4)}}));
  char buffer[24];
  uint16_t index = 1;
  AP20_READINTOPARM parameter{file, file->header, file->directory, 100, 0, 0, 0, buffer, &index};
  EXPECT_EQ(send(AP20_MSG_READ_SECTION_INTO, file, &parameter), 1u);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(std::string(buffer, 24), pattern(24, 3));
  index = 3;
  EXPECT_EQ(send(AP20_MSG_READ_SECTION_INTO, file, &parameter), 0u);
  parameter.key2 = 1;
  index = 0;
  EXPECT_EQ(send(AP20_MSG_READ_SECTION_INTO, file, &parameter), 0u);  // 28 bytes do not fit a descriptor
  EXPECT_EQ(send(AP20_MSG_LAST_ERROR, file), AP20_ERROR_DAMAGED);
}

// ---------------------------------------------------------------------------
// Freeing and renumbering

TEST_F(SectionStorage, FreeingWritesTheDirectoryAtOnceAndKeepsTheSpace) {
  AP20_FILE* file = open_stored("free.spa", native_file(1, 1,
                                                        {Section{{kYData, 560, 8, 2, 5}, pattern(8, 1)},
                                                         Section{{kHistory, 568, 8, 2, 0}, pattern(8, 2)},
                                                         Section{{kHistory, 576, 8, 3, 0}, pattern(8, 3)}}));
  EXPECT_EQ(free_section(file, kYData, 2, 5), 1u);
  EXPECT_EQ(get_entry(disk("free.spa"), 0), (Entry{kFree, 560, 8, 0, 0}));
  AP20_FREETYPEPARM every{file, file->header, file->directory, kHistory};
  EXPECT_EQ(send(AP20_MSG_FREE_TYPE, file, &every), 1u);
  const std::string bytes = disk("free.spa");
  EXPECT_EQ(get_entry(bytes, 1), (Entry{kFree, 568, 8, 0, 0}));
  EXPECT_EQ(get_entry(bytes, 2), (Entry{kFree, 576, 8, 0, 0}));
}

TEST_F(SectionStorage, FreeingAMemberAndRenumberingChangeTheCopiesOnly) {
  const std::string stored = native_file(10, 1,
                                         {Section{{2, 560, 4, 5, 0}, "AAAA"}, Section{{kYData, 564, 4, 5, 0}, "BBBB"},
                                          Section{{2, 568, 4, 8, 0}, "CCCC"}, Section{{2, 572, 4, 9, 0}, "DDDD"},
                                          Section{{kYData, 576, 4, 9, 0}, "EEEE"}, Section{{2, 580, 4, 12, 0}, "FFFF"}});
  testsupport::write_file("group.spg", stored);
  AP20_FILE* file = make_file();
  const std::string full = path("group.spg");
  AP20_NATIVEPARM open{full.c_str(), 0, 10};
  ASSERT_EQ(send(AP20_MSG_OPEN_NATIVE, file, &open), AP20_NATIVE_OPENED);
  AP20_WORDPARM member{8};
  EXPECT_EQ(send(AP20_MSG_FREE_MEMBER, file, &member), 1u);
  member.word = 7;
  EXPECT_EQ(send(AP20_MSG_FREE_MEMBER, file, &member), 0u);
  EXPECT_EQ(send(AP20_MSG_RENUMBER, file), 0u);
  const uint16_t key2s[] = {0, 0, 0, 1, 1, 2};
  for (size_t index = 0; index < 6; ++index) EXPECT_EQ(file->directory[index].key2, key2s[index]) << index;
  EXPECT_EQ(file->directory[2].type, kFree);
  EXPECT_EQ(disk("group.spg"), stored);
  save(file);
  EXPECT_EQ(get_entry(disk("group.spg"), 3), (Entry{2, 572, 4, 1, 0}));
}

// ---------------------------------------------------------------------------
// The directory index

// A run of keyed and unkeyed writes over a growing directory, replacements
// that free entries and take freed ones again, frees, a freed member and a
// renumbering, then more writes: the file and every read must come out the
// same whether or not the directory is indexed meanwhile.
class IndexedDirectory : public SectionStorage {
 protected:
  std::string run(const std::string& name, bool indexed) {
    AP20_FILE* file = new_native(name, 0, 1);
    std::optional<ap20_indexed_directory> index;
    AP20_FILEHEADER* header = file->header;  // by value: the field is packed
    if (indexed) index.emplace(header, &file->directory_block);
    std::string found;
    const auto read = [&](uint16_t type, uint16_t key2, uint32_t key3) {
      found += get(file, type, key2, key3).value_or("<none>") + "|";
    };
    for (uint16_t member = 0; member < 40; ++member) {
      EXPECT_EQ(put(file, kYData, pattern(40u + member, static_cast<uint8_t>(member)), 1, member), 1u);
      EXPECT_EQ(put(file, kHistory, pattern(24, static_cast<uint8_t>(member + 1)), 1, member), 1u);
      EXPECT_EQ(put(file, kComment, pattern(12, static_cast<uint8_t>(member + 2)), 1, member, 1), 1u);
    }
    for (uint16_t member = 0; member < 40; member += 7) {
      EXPECT_EQ(put(file, kYData, pattern(20, static_cast<uint8_t>(member + 3)), 1, member), 1u);
    }
    free_section(file, kHistory, 5);
    free_section(file, kHistory, 9);
    EXPECT_EQ(put(file, 106, pattern(24, 7), 1, 100), 1u);  // into a freed history entry
    EXPECT_EQ(put(file, 106, pattern(16, 8), 1, 100), 1u);  // replacing itself
    EXPECT_EQ(put(file, 50, pattern(8, 9), 0), 1u);
    EXPECT_EQ(put(file, 50, pattern(8, 10), 0), 1u);  // frees the first unkeyed one
    AP20_WORDPARM member{12};
    send(AP20_MSG_FREE_MEMBER, file, &member);
    send(AP20_MSG_RENUMBER, file);
    for (uint16_t key2 : {0, 5, 7, 11, 12, 38}) {
      read(kYData, key2, 0);
      read(kHistory, key2, 0);
      read(kComment, key2, 1);
    }
    EXPECT_EQ(put(file, kYData, pattern(60, 11), 1, 3), 1u);
    EXPECT_EQ(put(file, kHistory, pattern(8, 12), 1, 38), 1u);
    read(kYData, 3, 0);
    read(106, 99, 0);
    read(50, 0, 0);
    save(file);
    return disk(name) + found;
  }
};

TEST_F(IndexedDirectory, WritesAndReadsComeOutAsWithoutTheIndex) {
  const std::string plain = run("plain.spg", false);
  const std::string indexed = run("indexed.spg", true);
  EXPECT_EQ(indexed.size(), plain.size());
  EXPECT_TRUE(indexed == plain);
}

}  // namespace
