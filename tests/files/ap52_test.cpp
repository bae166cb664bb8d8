#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "files/group_files_fixture.h"

namespace {

using filetest::Entry;
using filetest::Section;
using groupfiletest::GroupFiles;

class GroupFormat : public GroupFiles {
 protected:
  static uint32_t member_count(AP51_GROUP_FILE* group_file) {
    return send(AP51_MSG_MEMBER_COUNT, group_file->format);
  }
  static std::string title(AP51_GROUP_FILE* group_file, uint16_t member, uint32_t* result) {
    char buffer[256] = {};
    AP51_TITLEPARM parameter{buffer, member};
    *result = send(AP51_MSG_TITLE, group_file->format, &parameter);
    return buffer;
  }
};

TEST_F(GroupFormat, IsRegisteredUnderTheGroupFileClass) {
  EXPECT_EQ(GU2_GetDispatcher(AP52_CLASS_ID), &AP52_Dispatcher_SPG);
  EXPECT_EQ(APX_GetClassParentID(AP52_CLASS_ID), AP51_CLASS_ID);
  EXPECT_EQ(GU2_GetDispatcher(AP51_CLASS_ID), &AP51_Dispatcher_GROUP);
  EXPECT_EQ(APX_GetClassParentID(AP51_CLASS_ID), AP20_CLASS_ID);
}

TEST_F(GroupFormat, IsOwnedByTheGroupFileAndNamesItself) {
  AP51_GROUP_FILE* group_file = opened_group("a.spg", groupfiletest::group_file(0));
  ASSERT_NE(format_of(group_file), nullptr);
  EXPECT_EQ(group_file->format->class_id, AP52_CLASS_ID);
  const AP_OBJECT* owner = group_file->format->parent;
  EXPECT_EQ(owner, &group_file->head);
  char name[64] = {};
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, group_file->format, name), 1u);
  EXPECT_STREQ(name, "AP52_SPG_FILE");
  EXPECT_EQ(send(AP_MSG_SIZE, group_file->format), 8u);
  EXPECT_EQ(send(AP20_MSG_IS_OPEN, group_file->format), 1u);
}

struct FormatCase {
  const char* what;
  const char* magic;
  uint8_t byte20;
  uint16_t file_type;
  uint32_t answer;
};

TEST_F(GroupFormat, FormatTestAsksForTheMagicInAnyCaseAndFileType10) {
  const FormatCase cases[] = {
      {"group file", "Spectral Data File\r\n", 0, 10, 1},
      {"magic in other letter case", "SPECTRAL data FILE\r\n", 0, 10, 1},
      {"single-spectrum file", "Spectral Data File\r\n", 0, 1, 0},
      {"magic not ended by NUL", "Spectral Data File\r\n", 'x', 10, 0},
      {"other text", "Spectral Data Fils\r\n", 0, 10, 0},
  };
  for (const FormatCase& c : cases) {
    std::string bytes = groupfiletest::group_file(1);
    std::memcpy(&bytes[0], c.magic, 20);
    bytes[20] = static_cast<char>(c.byte20);
    filetest::put16(bytes, 288, c.file_type);
    AP51_GROUP_FILE* group_file = opened_group("a.spg", bytes);
    EXPECT_EQ(send(AP21_FORMAT_TEST, group_file->format), c.answer) << c.what;
    destroy(group_file);
  }
}

TEST_F(GroupFormat, CountsTheHeaderSectionsOfTheMembers) {
  const uint16_t counts[] = {0, 1, 3};
  for (uint16_t count : counts) {
    AP51_GROUP_FILE* group_file = opened_group("a.spg", groupfiletest::group_file(count));
    EXPECT_EQ(member_count(group_file), count);
    EXPECT_EQ(send(AP51_MSG_MEMBER_COUNT, group_file), count) << "through the group-file object";
    destroy(group_file);
  }
}

TEST_F(GroupFormat, CountsNoMembersWhenTheFirstEntryKeysNameNoHeader) {
  // The only header section is keyed 5 while the first entry is keyed 0.
  const std::string bytes = filetest::native_file(
      AP20_FILE_GROUP, 1, {{Entry{107, 560, 264, 0, 0}, groupfiletest::member_record("x", 0, 0)},
                           {Entry{2, 824, 140, 5, 0}, filetest::pattern(140, 1)}});
  AP51_GROUP_FILE* group_file = opened_group("a.spg", bytes);
  EXPECT_EQ(member_count(group_file), 0u);
}

TEST_F(GroupFormat, TitleOfAMemberComesFromItsMemberRecord) {
  AP51_GROUP_FILE* group_file = opened_group("a.spg", groupfiletest::group_file(3));
  uint32_t result = 0;
  EXPECT_EQ(title(group_file, 2, &result), "member 2");
  EXPECT_EQ(result, 1u);
  EXPECT_EQ(title(group_file, 1, &result), "member 1");
  title(group_file, 3, &result);
  EXPECT_EQ(result, 0u) << "no record for member 3";
}

TEST_F(GroupFormat, ATitleOf256CharactersWithoutNulReadsAsItsFirst255) {
  const std::string long_title(256, 'q');
  const std::string bytes = filetest::native_file(
      AP20_FILE_GROUP, 1, {{Entry{2, 560, 140, 0, 0}, filetest::pattern(140, 1)},
                           {Entry{107, 700, 256, 0, 0}, groupfiletest::member_record(long_title, 0, 0, 256)}});
  AP51_GROUP_FILE* group_file = opened_group("a.spg", bytes);
  uint32_t result = 0;
  EXPECT_EQ(title(group_file, 0, &result), std::string(255, 'q'));
  EXPECT_EQ(result, 1u);
}

TEST_F(GroupFormat, TellsWhetherAMemberHoldsAStoredInterferogram) {
  // Member 1 holds a sample descriptor (100) only.
  const std::string bytes = filetest::native_file(
      AP20_FILE_GROUP, 1, {{Entry{2, 560, 140, 0, 0}, filetest::pattern(140, 1)},
                           {Entry{2, 700, 140, 1, 0}, filetest::pattern(140, 2)},
                           {Entry{100, 840, 24, 1, 0}, filetest::pattern(24, 3)}});
  AP51_GROUP_FILE* group_file = opened_group("a.spg", bytes);
  struct Case {
    uint16_t which, member;
    uint32_t answer;
  } cases[] = {{1, 1, 1}, {0, 1, 0}, {1, 0, 0}, {7, 1, 1}};
  for (const Case& c : cases) {
    AP51_IFGPARM parameter{c.which, c.member, 0};
    EXPECT_EQ(send(AP51_MSG_HAS_INTERFEROGRAM, group_file->format, &parameter), c.answer)
        << "which " << c.which << ", member " << c.member;
  }
}

// ---------------------------------------------------------------------------
// Sizing

// The entries the sizing counts for a member with nothing but its header
// blocks, record, history flags and points.
constexpr uint64_t kBareEntries = 5;

// The directory blocks for a count of entries: enough to hold them, and one
// more when they fill their blocks exactly.
uint32_t blocks_for(uint64_t entries) { return static_cast<uint32_t>(entries / 16 + 1); }

class GroupSizing : public GroupFiles {
 protected:
  // The bytes of such a member: 140, 56, 264, 12 and 4 × points, and the
  // size of its empty object list (counted without an entry).
  static uint64_t bare_bytes(uint32_t points) {
    AP7_SPECTRUM* spectrum = make_spectrum(1);
    const uint32_t list_bytes = send(AP_MSG_SIZE, spectrum->list);
    AP_WINDOWPARM none{nullptr, 0};
    send(AP_MSG_DESTROY, spectrum, &none);
    return 140 + 56 + 264 + 12 + 4ull * points + list_bytes;
  }
  AP40_LLIST* bare_members(uint32_t count, uint32_t points) {
    AP40_LLIST* list = make_list();
    for (uint32_t i = 0; i < count; ++i) EXPECT_NE(add(list, make_spectrum(points)), AP40_NO_INDEX);
    return list;
  }
};

TEST_F(GroupSizing, BareMembersCountFiveEntriesAndTheirBytes) {
  struct Case {
    uint32_t members;
    uint32_t blocks;
  } cases[] = {{0, 1}, {1, 1}, {2, 1}, {3, 2}, {4, 2}};
  for (const Case& c : cases) {
    AP40_LLIST* list = bare_members(c.members, 10);
    AP52_SIZING sizing{};
    ASSERT_EQ(ap52_SizeGroup(as_object(list), UINT64_MAX, &sizing), 1u) << c.members;
    const uint64_t entries = 1 + kBareEntries * c.members;
    EXPECT_EQ(sizing.entries, entries) << c.members;
    EXPECT_EQ(sizing.blocks, c.blocks) << c.members;
    EXPECT_EQ(sizing.blocks, blocks_for(entries)) << c.members;
    EXPECT_EQ(sizing.bytes, 304 + 256ull * c.blocks + c.members * bare_bytes(10)) << c.members;
  }
}

TEST_F(GroupSizing, CountsTheTextsAnnotationAndHeaderTextsOfAMember) {
  AP40_LLIST* list = make_list();
  AP7_SPECTRUM* spectrum = make_spectrum(8);
  add(list, spectrum);
  ASSERT_EQ(ap7d_SetHistoryText(spectrum, "made\r\n"), 1u);
  ASSERT_EQ(ap7d_SetCommentText(spectrum, "a\r\nb"), 1u);
  std::strcpy(spectrum->header->data.p51, "operator");
  AP52_SIZING sizing{};
  ASSERT_EQ(ap52_SizeGroup(as_object(list), UINT64_MAX, &sizing), 1u);
  EXPECT_EQ(sizing.entries, 1 + kBareEntries + 3) << "history text, comment and header texts";
  EXPECT_EQ(sizing.bytes, 304 + 256 + bare_bytes(8) + 6 + 4 + 728);
}

TEST_F(GroupSizing, StoredInterferogramsCountTheirPointsAndDescriptors) {
  AP40_LLIST* list = make_list();
  AP7_SPECTRUM* spectrum = make_spectrum(4);
  add(list, spectrum);
  AP7_SPECTRUM* background = make_spectrum(32);
  AP7_SPECTRUM* sample = make_spectrum(64);
  ASSERT_EQ(ap7b_SetNameAndSubSpectra(spectrum, "", background, sample), 1u);
  AP52_SIZING sizing{};
  ASSERT_EQ(ap52_SizeGroup(as_object(list), UINT64_MAX, &sizing), 1u);
  EXPECT_EQ(sizing.entries, 1 + kBareEntries + 4);
  EXPECT_EQ(sizing.bytes, 304 + 256 + bare_bytes(4) + 4 * 32 + 24 + 4 * 64 + 24);
}

// A thousand members, each with every section the write gives a member:
// the directory must hold them all without growing.
TEST_F(GroupSizing, ADirectoryForAThousandFullMembersHoldsEverySection) {
  AP40_LLIST* list = make_list();
  for (int i = 0; i < 1000; ++i) {
    AP7_SPECTRUM* spectrum = make_spectrum(16);
    add(list, spectrum);
    ap7d_SetHistoryText(spectrum, "h");
    ap7d_SetCommentText(spectrum, "c");
    std::strcpy(spectrum->header->data.p49, "t");
    ap7b_SetNameAndSubSpectra(spectrum, "", make_spectrum(8), make_spectrum(8));
  }
  AP52_SIZING sizing{};
  ASSERT_EQ(ap52_SizeGroup(as_object(list), UINT64_MAX, &sizing), 1u);
  // Per member: 2, 106, 146, 107, 105, 3, 27, 4, and 100/102, 101/103.
  const uint64_t entries = 1 + 1000 * 12;
  EXPECT_EQ(sizing.entries, entries);
  EXPECT_GE(uint64_t{sizing.blocks} * 16, entries);
  EXPECT_EQ(sizing.blocks, blocks_for(entries));
}

TEST_F(GroupSizing, FreeSpaceIsComparedInSixtyFourBits) {
  AP40_LLIST* list = bare_members(3, 10);
  const uint64_t needed = 304 + 2 * 256 + 3 * bare_bytes(10);
  struct Case {
    uint64_t free_bytes;
    uint16_t fits;
  } cases[] = {
      {needed, 1},
      {needed - 1, 0},
      {0, 0},
      {(1ull << 32) + 16, 1},       // 16 in the low 32 bits
      {(1ull << 32) + needed - 1, 1},
      {5ull << 32, 1},
  };
  for (const Case& c : cases) {
    AP52_SIZING sizing{};
    EXPECT_EQ(ap52_SizeGroup(as_object(list), c.free_bytes, &sizing), c.fits) << c.free_bytes;
  }
}

}  // namespace
