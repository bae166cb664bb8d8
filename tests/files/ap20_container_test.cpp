#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "files/files_fixture.h"

namespace {

using filetest::Entry;
using filetest::FileObjects;
using filetest::get16;
using filetest::get32;
using filetest::get_entry;
using filetest::header_bytes;
using filetest::native_file;
using filetest::pattern;
using filetest::put16;
using filetest::put32;
using filetest::put_entry;
using filetest::Section;

class NativeContainer : public FileObjects {
 protected:
  static uint32_t open_native(AP20_FILE* file, const std::string& name, uint16_t message, uint16_t file_type,
                              uint16_t expected = 0) {
    AP20_NATIVEPARM parameter{name.c_str(), expected, file_type};
    return send(message, file, &parameter);
  }
  static uint32_t format_test(AP20_FILE* file, const char* name, uint16_t* file_type, uint32_t* error) {
    AP20_FORMATPARM parameter{name, file_type, error};
    return send(AP20_MSG_FORMAT_TEST, file, &parameter);
  }
  // Writes a section into the open native file through the object's copies.
  static uint32_t write_section(AP20_FILE* file, uint16_t type, const std::string& bytes) {
    GU3_HANDLE data = GU3_Allocate_MM(static_cast<uint32_t>(bytes.size()), 1, GU3_KIND_GLOBAL);
    std::memcpy(GU3_GetPointer_MM(data, 0, nullptr, nullptr), bytes.data(), bytes.size());
    AP20_WRITEOPENPARM parameter{type, static_cast<uint32_t>(bytes.size()), data, 1, 0, 0};
    const uint32_t result = send(AP20_MSG_WRITE_OPEN_SECTION, file, &parameter);
    GU3_Free_MM(data);
    return result;
  }
};

// ---------------------------------------------------------------------------
// Format test

struct FormatCase {
  const char* what;
  std::string bytes;
  uint32_t result;
  uint16_t file_type;
};

std::string with_byte(std::string bytes, size_t at, char value) {
  bytes[at] = value;
  return bytes;
}

class FormatTests : public NativeContainer, public testing::WithParamInterface<FormatCase> {};

TEST_P(FormatTests, ANativeFileIsTheExactMagicTextFollowedByItsNul) {
  const FormatCase& test = GetParam();
  testsupport::write_file("probe.bin", test.bytes);
  uint16_t file_type = 77;
  uint32_t error = 77;
  EXPECT_EQ(format_test(make_file(), path("probe.bin").c_str(), &file_type, &error), test.result) << test.what;
  EXPECT_EQ(file_type, test.file_type);
  EXPECT_EQ(error, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FormatTests,
    testing::Values(FormatCase{"single spectrum", header_bytes(1, 1, 0), 1, 1},
                    FormatCase{"group", header_bytes(10, 1, 0), 1, 10},
                    FormatCase{"only the header", header_bytes(7, 0, 0), 1, 7},
                    FormatCase{"text goes on at 20", with_byte(header_bytes(1, 1, 0), 20, 'X'), 0, 0},
                    FormatCase{"letter case differs", with_byte(header_bytes(1, 1, 0), 0, 's'), 0, 0},
                    FormatCase{"bytes after the NUL are not looked at", with_byte(header_bytes(1, 1, 0), 25, 'X'), 1, 1},
                    FormatCase{"303 bytes", header_bytes(1, 1, 0).substr(0, 303), 0, 0},
                    FormatCase{"empty", "", 0, 0}));

TEST_F(NativeContainer, AFileThatDoesNotOpenFailsTheTestWithTheSystemError) {
  uint16_t file_type = 77;
  uint32_t error = 0;
  EXPECT_EQ(format_test(make_file(), path("missing.spa").c_str(), &file_type, &error), 0u);
  EXPECT_EQ(file_type, 0);
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
}

TEST_F(NativeContainer, AnOpenFileIsTestedThroughItsHandleAndKeepsItsPosition) {
  testsupport::write_file("open.spa", header_bytes(10, 1, 0) + std::string(256, '\0'));
  AP20_FILE* file = opened_file(path("open.spa"), AP20_MODE_READ);
  AP20_SEEKPARM seven{7, FILE_BEGIN};
  send(AP20_MSG_SEEK, file, &seven);
  uint16_t file_type = 0;
  uint32_t error = 0;
  EXPECT_EQ(format_test(file, path("missing.spa").c_str(), &file_type, &error), 1u);
  EXPECT_EQ(file_type, 10);
  EXPECT_EQ(send(AP20_MSG_POSITION, file), 7u);
}

// ---------------------------------------------------------------------------
// New files

TEST_F(NativeContainer, ANewFileFor32EntriesHas3FreeBlocksAndItsFirstSectionAt1072) {
  AP20_FILE* file = make_file();
  ASSERT_EQ(open_native(file, path("new.spa"), AP20_MSG_OPEN_NATIVE, AP20_FILE_SPECTRUM, 32), AP20_NATIVE_OPENED);
  std::string expected = header_bytes(1, 3, 0);
  for (size_t index = 0; index < 48; ++index) put_entry(expected, index, Entry{1, 0, 0, 0, 0});
  ASSERT_EQ(expected.size(), 1072u);
  EXPECT_EQ(testsupport::read_file(path("new.spa")), expected);

  ASSERT_EQ(write_section(file, 3, "ABCDEFGH"), 1u);
  ASSERT_EQ(send(AP20_MSG_SAVE_NATIVE, file), 1u);
  put16(expected, 294, 1);
  put_entry(expected, 0, Entry{3, 1072, 8, 0, 0});
  expected += "ABCDEFGH";
  EXPECT_EQ(testsupport::read_file(path("new.spa")), expected);
}

struct BlocksCase {
  uint16_t expected_entries;
  uint16_t blocks;
};

class NewFileBlocks : public NativeContainer, public testing::WithParamInterface<BlocksCase> {};

TEST_P(NewFileBlocks, TheDirectoryHoldsTheExpectedEntriesDividedBy16PlusOneBlocks) {
  AP20_FILE* file = make_file();
  ASSERT_EQ(open_native(file, path("new.grp"), AP20_MSG_OPEN_NATIVE, AP20_FILE_GROUP, GetParam().expected_entries),
            AP20_NATIVE_OPENED);
  const std::string bytes = testsupport::read_file(path("new.grp"));
  EXPECT_EQ(get16(bytes, 288), AP20_FILE_GROUP);
  EXPECT_EQ(get16(bytes, 292), GetParam().blocks);
  EXPECT_EQ(bytes.size(), 304u + 256u * GetParam().blocks);
  EXPECT_EQ(file->header->blocks, GetParam().blocks);
}

INSTANTIATE_TEST_SUITE_P(Table, NewFileBlocks,
                         testing::Values(BlocksCase{0, 1}, BlocksCase{15, 1}, BlocksCase{16, 2}, BlocksCase{47, 3},
                                         BlocksCase{48, 4}));

TEST_F(NativeContainer, AnInitialisedHeaderHasMagicMarkTypeVersionAndBlocks) {
  std::string bytes(304, '\x55');
  AP20_INITHEADERPARM parameter{reinterpret_cast<AP20_FILEHEADER*>(&bytes[0]), 10, 7};
  EXPECT_EQ(send(AP20_MSG_INIT_HEADER, make_file(), &parameter), 1u);
  EXPECT_EQ(bytes.substr(0, 30), std::string("Spectral Data File\r\n") + std::string(10, '\0'));
  EXPECT_EQ(bytes[30], '\0');
  EXPECT_EQ(bytes[31], '\x55');  // the rest of the title is the caller's
  EXPECT_EQ(bytes[286], '\x1A');
  EXPECT_EQ(bytes[287], '\0');
  EXPECT_EQ(get16(bytes, 288), 10);
  EXPECT_EQ(get16(bytes, 290), 521);
  EXPECT_EQ(get16(bytes, 292), 7);
  EXPECT_EQ(get16(bytes, 294), 0);
}

// ---------------------------------------------------------------------------
// Native open and close

TEST_F(NativeContainer, AnExistingNativeFileIsOpenedAsItIsWithItsCopies) {
  const std::string stored = native_file(1, 1, {Section{{3, 560, 8, 0, 0}, "ABCDEFGH"}});
  testsupport::write_file("kept.spa", stored);
  AP20_FILE* file = make_file();
  ASSERT_EQ(open_native(file, path("kept.spa"), AP20_MSG_OPEN_NATIVE, 1, 32), AP20_NATIVE_OPENED);
  EXPECT_EQ(send(AP20_MSG_OPEN_MODE, file), AP20_MODE_READWRITE);
  EXPECT_EQ(file->header->count, 1);
  EXPECT_EQ(packed(file->directory[0].offset), 560u);
  EXPECT_EQ(testsupport::read_file(path("kept.spa")), stored);
  destroy(file);
  AP20_FILE* reader = make_file();
  ASSERT_EQ(open_native(reader, path("kept.spa"), AP20_MSG_OPEN_NATIVE_READ, 1), AP20_NATIVE_OPENED);
  EXPECT_EQ(send(AP20_MSG_OPEN_MODE, reader), AP20_MODE_READ);
}

TEST_F(NativeContainer, OpeningForReadingNeedsAFileOfTheRequestedType) {
  testsupport::write_file("group.spg", native_file(10, 1, {}));
  AP20_FILE* file = make_file();
  EXPECT_EQ(open_native(file, path("group.spg"), AP20_MSG_OPEN_NATIVE_READ, 1), AP20_NATIVE_FAILED);
  EXPECT_EQ(send(AP20_MSG_LAST_ERROR, file), AP20_ERROR_NOT_NATIVE);
  EXPECT_EQ(send(AP20_MSG_IS_OPEN, file), 0u);
  EXPECT_EQ(open_native(file, path("group.spg"), AP20_MSG_OPEN_NATIVE, 1), AP20_NATIVE_FAILED);
  EXPECT_EQ(open_native(file, path("missing.spa"), AP20_MSG_OPEN_NATIVE_READ, 1), AP20_NATIVE_FAILED);
  EXPECT_EQ(send(AP20_MSG_LAST_ERROR, file), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(testsupport::file_exists(path("missing.spa")));
}

TEST_F(NativeContainer, AnEmptyFileBecomesANewNativeFile) {
  testsupport::write_file("empty.spa", "");
  AP20_FILE* file = make_file();
  EXPECT_EQ(open_native(file, path("empty.spa"), AP20_MSG_OPEN_NATIVE, 1), AP20_NATIVE_OPENED);
  EXPECT_EQ(testsupport::read_file(path("empty.spa")).size(), 304u + 256u);
}

TEST_F(NativeContainer, AFileOfAnotherFormatIsNeverWrittenOver) {
  testsupport::write_file("spectrum.jdx", "##TITLE=not native\n##END=\n");
  AP20_FILE* file = make_file();
  EXPECT_EQ(open_native(file, path("spectrum.jdx"), AP20_MSG_OPEN_NATIVE, 1), AP20_NATIVE_FAILED);
  EXPECT_EQ(send(AP20_MSG_LAST_ERROR, file), AP20_ERROR_SHORT_FILE);
  const std::string long_text(400, 'x');
  testsupport::write_file("long.txt", long_text);
  EXPECT_EQ(open_native(file, path("long.txt"), AP20_MSG_OPEN_NATIVE, 1), AP20_NATIVE_FAILED);
  EXPECT_EQ(send(AP20_MSG_LAST_ERROR, file), AP20_ERROR_NOT_NATIVE);
  EXPECT_EQ(testsupport::read_file(path("spectrum.jdx")), "##TITLE=not native\n##END=\n");
  EXPECT_EQ(testsupport::read_file(path("long.txt")), long_text);
}

TEST_F(NativeContainer, ClosingWithoutSavingDiscardsTheCopiesAndSavingWritesThemBack) {
  AP20_FILE* file = make_file();
  open_native(file, path("close.spa"), AP20_MSG_OPEN_NATIVE, 1);
  write_section(file, 3, "1234");
  EXPECT_EQ(send(AP20_MSG_CLOSE_NATIVE, file), 1u);
  EXPECT_EQ(packed(file->header), nullptr);
  EXPECT_EQ(send(AP20_MSG_IS_OPEN, file), 0u);
  EXPECT_EQ(get16(testsupport::read_file(path("close.spa")), 294), 0);  // the section's bytes, but no entry

  open_native(file, path("close.spa"), AP20_MSG_OPEN_NATIVE, 1);
  write_section(file, 3, "5678");
  EXPECT_EQ(send(AP20_MSG_SAVE_NATIVE, file), 1u);
  const std::string bytes = testsupport::read_file(path("close.spa"));
  EXPECT_EQ(get16(bytes, 294), 1);
  EXPECT_EQ(bytes.substr(get_entry(bytes, 0).offset, 4), "5678");
  EXPECT_EQ(send(AP20_MSG_SAVE_NATIVE, file), 0u);  // nothing left to save
}

TEST_F(NativeContainer, ASaveThatCannotBeWrittenIsReportedAsFailed) {
  testsupport::write_file("read.spa", native_file(1, 1, {Section{{3, 560, 4, 0, 0}, "ABCD"}}));
  AP20_FILE* file = make_file();
  ASSERT_EQ(open_native(file, path("read.spa"), AP20_MSG_OPEN_NATIVE_READ, 1), AP20_NATIVE_OPENED);
  EXPECT_EQ(send(AP20_MSG_SAVE_NATIVE, file), 0u);
  EXPECT_EQ(send(AP20_MSG_IS_OPEN, file), 0u);
  EXPECT_EQ(packed(file->header), nullptr);
}

TEST_F(NativeContainer, DestroyingANativeFileDoesNotWriteItsCopiesBack) {
  AP20_FILE* file = make_file();
  open_native(file, path("gone.spa"), AP20_MSG_OPEN_NATIVE, 1);
  write_section(file, 3, "1234");
  destroy(file);
  EXPECT_EQ(get16(testsupport::read_file(path("gone.spa")), 294), 0);
}

TEST_F(NativeContainer, HeaderAndDirectoryAreReadIntoNewBlocks) {
  const std::string stored = native_file(10, 2, {Section{{2, 816, 140, 0, 0}, pattern(140, 1)}});
  testsupport::write_file("read.spg", stored);
  AP20_FILE* file = opened_file(path("read.spg"), AP20_MODE_READ);
  auto header_block = ap_result_object<GU3_DESCRIPTOR>(send(AP20_MSG_READ_HEADER, file, file));
  auto* header = static_cast<AP20_FILEHEADER*>(GU3_GetPointer_MM(header_block, 0, nullptr, nullptr));
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(header), 304), stored.substr(0, 304));
  AP20_DIRECTORYPARM parameter{file, header};
  auto directory_block = ap_result_object<GU3_DESCRIPTOR>(send(AP20_MSG_READ_DIRECTORY, file, &parameter));
  ASSERT_NE(directory_block, nullptr);
  EXPECT_EQ(GU3_NumElements_MM(directory_block) * GU3_LenElements_MM(directory_block), 512u);
  EXPECT_EQ(std::string(static_cast<char*>(GU3_GetPointer_MM(directory_block, 0, nullptr, nullptr)), 512),
            stored.substr(304, 512));
  GU3_Free_MM(header_block);
  GU3_Free_MM(directory_block);
  send(AP20_MSG_CLOSE, file);
  EXPECT_EQ(send(AP20_MSG_READ_HEADER, file, file), 0u);
}

TEST_F(NativeContainer, TheExportedQuestionsAnswerForFilesAndSections) {
  testsupport::write_file("one.spa", native_file(1, 1, {Section{{3, 560, 4, 0, 5}, "ABCD"}}));
  EXPECT_EQ(AP20_DoesFileExist(path("one.spa").c_str()), 1);
  EXPECT_EQ(AP20_DoesFileExist(path("none.spa").c_str()), 0);
  EXPECT_EQ(AP20_DoesSectionExist(path("one.spa").c_str(), 1, 3, 0, 5), 1);
  EXPECT_EQ(AP20_DoesSectionExist(path("one.spa").c_str(), 1, 3, 0, 0), 0);
  EXPECT_EQ(AP20_DoesSectionExist(path("one.spa").c_str(), 10, 3, 0, 5), 0);
  EXPECT_EQ(AP20_DoesSectionExist(path("none.spa").c_str(), 1, 3, 0, 5), 0);
  EXPECT_EQ(APX_GetClassTable()->classes[AP20_CLASS_ID].live, 0);
}

// ---------------------------------------------------------------------------
// Damaged files: each is refused by both native opens with its error code,
// and left as it was.

// A sound file: one directory block, three sections one after the other.
std::string sound_file() {
  return native_file(1, 1,
                     {Section{{2, 560, 140, 0, 0}, pattern(140, 1)}, Section{{3, 700, 40, 0, 0}, pattern(40, 2)},
                      Section{{27, 740, 12, 0, 0}, pattern(12, 3)}});
}

std::string changed(size_t at, char value) { return with_byte(sound_file(), at, value); }

std::string cut(size_t size) { return sound_file().substr(0, size); }

std::string with_entry(size_t index, Entry entry) {
  std::string bytes = sound_file();
  put_entry(bytes, index, entry);
  return bytes;
}

std::string with_count(uint16_t count) {
  std::string bytes = sound_file();
  put16(bytes, 294, count);
  return bytes;
}

struct DamageCase {
  const char* what;
  std::string bytes;
  uint32_t error;  // 0: the file is sound
};

class DamagedFiles : public NativeContainer, public testing::WithParamInterface<DamageCase> {};

TEST_P(DamagedFiles, AreRefusedWithTheirErrorCodeAndLeftUnchanged) {
  const DamageCase& damage = GetParam();
  testsupport::write_file("damaged.spa", damage.bytes);
  for (uint16_t message : {AP20_MSG_OPEN_NATIVE_READ, AP20_MSG_OPEN_NATIVE}) {
    AP20_FILE* file = make_file();
    const uint32_t result = open_native(file, path("damaged.spa"), message, 1);
    if (damage.error == 0) {
      EXPECT_EQ(result, AP20_NATIVE_OPENED) << damage.what;
      destroy(file);  // one writer at a time, as the share rules want
      continue;
    }
    EXPECT_EQ(result, AP20_NATIVE_FAILED) << damage.what;
    EXPECT_EQ(send(AP20_MSG_LAST_ERROR, file), damage.error) << damage.what;
    EXPECT_EQ(send(AP20_MSG_IS_OPEN, file), 0u) << damage.what;
    EXPECT_EQ(packed(file->header), nullptr) << damage.what;
  }
  EXPECT_EQ(testsupport::read_file(path("damaged.spa")), damage.bytes) << damage.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, DamagedFiles,
    testing::Values(
        DamageCase{"sound", sound_file(), 0},
        DamageCase{"title byte changed", changed(40, 'x'), 0},
        DamageCase{"version byte changed", changed(290, 0x7F), 0},
        DamageCase{"magic byte 0 changed", changed(0, 'X'), AP20_ERROR_NOT_NATIVE},
        DamageCase{"NUL after the magic changed", changed(20, 'X'), AP20_ERROR_NOT_NATIVE},
        DamageCase{"file type byte changed", changed(288, 10), AP20_ERROR_NOT_NATIVE},
        DamageCase{"no directory blocks", changed(292, 0), AP20_ERROR_DAMAGED},
        DamageCase{"more blocks than any directory has", changed(293, 0x30), AP20_ERROR_DAMAGED},
        DamageCase{"directory beyond the end", changed(292, 40), AP20_ERROR_SHORT_FILE},
        DamageCase{"count beyond the directory", with_count(17), AP20_ERROR_DAMAGED},
        DamageCase{"count byte changed beyond the directory", changed(295, 1), AP20_ERROR_DAMAGED},
        DamageCase{"truncated in the header", cut(100), AP20_ERROR_SHORT_FILE},
        DamageCase{"truncated after the header", cut(304), AP20_ERROR_SHORT_FILE},
        DamageCase{"truncated in the directory", cut(400), AP20_ERROR_SHORT_FILE},
        DamageCase{"truncated in the first section", cut(600), AP20_ERROR_DAMAGED},
        DamageCase{"truncated in the last section", cut(750), AP20_ERROR_DAMAGED},
        DamageCase{"entry past the end", with_entry(2, Entry{27, 752, 12, 0, 0}), AP20_ERROR_DAMAGED},
        DamageCase{"entry running past the end", with_entry(1, Entry{3, 700, 400, 0, 0}), AP20_ERROR_DAMAGED},
        DamageCase{"entry wrapping past 4 GB", with_entry(1, Entry{3, 0xFFFFFFF0u, 0x20, 0, 0}), AP20_ERROR_DAMAGED},
        DamageCase{"entry inside the directory", with_entry(1, Entry{3, 400, 40, 0, 0}), AP20_ERROR_DAMAGED},
        DamageCase{"entry inside the header", with_entry(1, Entry{3, 0, 40, 0, 0}), AP20_ERROR_DAMAGED},
        DamageCase{"overlapping sections", with_entry(1, Entry{3, 696, 40, 0, 0}), AP20_ERROR_DAMAGED},
        DamageCase{"one section inside another", with_entry(2, Entry{27, 600, 12, 0, 0}), AP20_ERROR_DAMAGED},
        DamageCase{"a free entry anywhere", with_entry(2, Entry{1, 0xFFFFFFF0u, 0x20, 0, 0}), 0},
        DamageCase{"an empty entry anywhere", with_entry(2, Entry{27, 0xFFFFFFF0u, 0, 0, 0}), 0}));

TEST_F(NativeContainer, ADirectoryReadByItselfIsCheckedTheSameWay) {
  testsupport::write_file("damaged.spa", with_entry(1, Entry{3, 696, 40, 0, 0}));
  AP20_FILE* file = opened_file(path("damaged.spa"), AP20_MODE_READ);
  const std::string header = with_count(3).substr(0, 304);
  AP20_DIRECTORYPARM parameter{file, reinterpret_cast<AP20_FILEHEADER*>(const_cast<char*>(header.data()))};
  EXPECT_EQ(send(AP20_MSG_READ_DIRECTORY, file, &parameter), 0u);
  EXPECT_EQ(send(AP20_MSG_LAST_ERROR, file), AP20_ERROR_DAMAGED);
  const std::string too_many = with_count(17).substr(0, 304);
  parameter.header = reinterpret_cast<AP20_FILEHEADER*>(const_cast<char*>(too_many.data()));
  EXPECT_EQ(send(AP20_MSG_READ_DIRECTORY, file, &parameter), 0u);
}

}  // namespace
