#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "files/files_fixture.h"

namespace {

using filetest::FileObjects;

class WholeFiles : public FileObjects {
 protected:
  static uint32_t rename(AP20_FILE* file, const char* directory, const char* name) {
    AP20_NAMEPARM parameter{directory, name};
    return send(AP20_MSG_RENAME, file, &parameter);
  }
  static uint32_t reserve(AP20_FILE* file, uint32_t size, uint16_t extend) {
    AP20_RESERVEPARM parameter{0, size, extend};
    return send(AP20_MSG_RESERVE, file, &parameter);
  }
  static std::string name_of(AP20_FILE* file) {
    char buffer[AP20_NAME_SIZE];
    send(AP20_MSG_GET_NAME, file, buffer);
    return buffer;
  }
  static uint32_t error_of(AP20_FILE* file) { return send(AP20_MSG_LAST_ERROR, file); }
};

// ---------------------------------------------------------------------------
// Delete

TEST_F(WholeFiles, DeletingClosesAnOpenFileAndRemovesIt) {
  AP20_FILE* file = opened_file(path("gone.bin"), AP20_MODE_CREATE);
  EXPECT_EQ(send(AP20_MSG_DELETE, file), 1u);
  EXPECT_EQ(send(AP20_MSG_IS_OPEN, file), 0u);
  EXPECT_FALSE(testsupport::file_exists(path("gone.bin")));
  testsupport::write_file("closed.bin", "x");
  EXPECT_EQ(send(AP20_MSG_DELETE, named_file(path("closed.bin"))), 1u);
  EXPECT_FALSE(testsupport::file_exists(path("closed.bin")));
}

TEST_F(WholeFiles, AFileThatIsNotThereOrInUseIsNotDeleted) {
  AP20_FILE* missing = named_file(path("missing.bin"));
  EXPECT_EQ(send(AP20_MSG_DELETE, missing), 0u);
  EXPECT_EQ(error_of(missing), ERROR_FILE_NOT_FOUND);
  // Held for reading elsewhere: the file is there, but may not go.
  testsupport::write_file("held.bin", "x");
  opened_file(path("held.bin"), AP20_MODE_READ);
  AP20_FILE* other = named_file(path("held.bin"));
  EXPECT_EQ(send(AP20_MSG_DELETE, other), 0u);
  EXPECT_EQ(error_of(other), static_cast<uint32_t>(EACCES));
  // Held for writing elsewhere: not even the existence test opens it.
  AP20_FILE* written = opened_file(path("written.bin"), AP20_MODE_CREATE);
  AP20_FILE* third = named_file(path("written.bin"));
  EXPECT_EQ(send(AP20_MSG_DELETE, third), 0u);
  EXPECT_EQ(error_of(third), ERROR_SHARING_VIOLATION);
  EXPECT_TRUE(testsupport::file_exists(path("held.bin")));
  EXPECT_EQ(send(AP20_MSG_IS_OPEN, written), 1u);
}

// ---------------------------------------------------------------------------
// Rename

TEST_F(WholeFiles, RenamingAFileOpenInCreateModeKeepsItsContentAndReopensItForWriting) {
  AP20_FILE* file = opened_file(path("before.bin"), AP20_MODE_CREATE);
  ap20_Write(file, "content", 7);
  EXPECT_EQ(rename(file, testsupport::home().c_str(), "after.bin"), 1u);
  EXPECT_EQ(name_of(file), testsupport::home() + "\\after.bin");
  EXPECT_EQ(send(AP20_MSG_OPEN_MODE, file), AP20_MODE_WRITE);
  EXPECT_FALSE(testsupport::file_exists(path("before.bin")));
  EXPECT_EQ(testsupport::read_file(path("after.bin")), "content");
}

TEST_F(WholeFiles, RenamingAClosedFileLeavesItClosed) {
  testsupport::write_file("before.bin", "x");
  AP20_FILE* file = named_file(path("before.bin"));
  EXPECT_EQ(rename(file, nullptr, path("after.bin").c_str()), 1u);
  EXPECT_EQ(send(AP20_MSG_IS_OPEN, file), 0u);
  EXPECT_EQ(testsupport::read_file(path("after.bin")), "x");
}

TEST_F(WholeFiles, AFailedRenameKeepsTheOldNameAndTheOpenFile) {
  AP20_FILE* file = opened_file(path("stays.bin"), AP20_MODE_CREATE);
  AP20_OPENPARM read_write{AP20_MODE_READWRITE, 0, 0};
  send(AP20_MSG_OPEN, file, &read_write);
  EXPECT_EQ(rename(file, nullptr, path("no/folder.bin").c_str()), 0u);
  EXPECT_EQ(error_of(file), static_cast<uint32_t>(ENOENT));
  EXPECT_EQ(name_of(file), path("stays.bin"));
  EXPECT_EQ(send(AP20_MSG_OPEN_MODE, file), AP20_MODE_READWRITE);
  EXPECT_EQ(rename(file, nullptr, std::string(300, 'n').c_str()), 0u);
  EXPECT_EQ(error_of(file), static_cast<uint32_t>(EINVAL));
  EXPECT_EQ(name_of(file), path("stays.bin"));
  EXPECT_EQ(rename(make_file(), nullptr, "x.bin"), 0u);
}

TEST_F(WholeFiles, RenamingWithoutANameFailsWithError2) {
  AP20_FILE* file = make_file();
  EXPECT_EQ(rename(file, nullptr, "x.bin"), 0u);
  EXPECT_EQ(error_of(file), AP20_ERROR_NO_NAME);
}

// ---------------------------------------------------------------------------
// Copy

TEST_F(WholeFiles, ADuplicateOfANamedFileNamesATemporaryCopyOfItsBytes) {
  testsupport::write_file("source.bin", std::string(1300, 'a') + "end");
  AP20_FILE* source = opened_file(path("source.bin"), AP20_MODE_READWRITE);
  send(AP_MSG_BEGIN_CHANGE, source);
  send(AP_MSG_END_CHANGE, source);
  AP_WINDOWPARM none{nullptr, 0};
  auto* copy = ap_result_object<AP20_FILE>(send(AP_MSG_DUPLICATE, source, &none));
  ASSERT_NE(copy, nullptr);
  const std::string copy_name = name_of(copy);
  EXPECT_EQ(std::filesystem::path(copy_name).parent_path(), std::filesystem::path(testsupport::home() + "/temp"));
  EXPECT_EQ(std::filesystem::path(copy_name).filename().string().substr(0, 3), "Tes");
  EXPECT_EQ(testsupport::read_file(copy_name), std::string(1300, 'a') + "end");
  EXPECT_EQ(send(AP20_MSG_IS_OPEN, copy), 0u);
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, copy), static_cast<uint32_t>(AP2_CHANGED));
  EXPECT_EQ(send(AP20_MSG_OPEN_MODE, source), AP20_MODE_READWRITE);
  destroy(copy);
}

TEST_F(WholeFiles, ACopyOfAnUnnamedOrMissingFileHasNoContent) {
  AP20_FILE* target = make_file();
  AP_COPYPARM into{&target->head, nullptr};
  EXPECT_EQ(send(AP_MSG_COPY, make_file(), &into), 1u);
  EXPECT_EQ(name_of(target), "");
  AP20_FILE* missing = named_file(path("missing.bin"));
  EXPECT_EQ(send(AP_MSG_COPY, missing, &into), 1u);
  EXPECT_EQ(error_of(missing), 0u);
  EXPECT_EQ(name_of(target), "");
}

// ---------------------------------------------------------------------------
// Reserve

TEST_F(WholeFiles, Reserving100BytesForANewFileMakesA100ByteFileEndingInTwoZeros) {
  AP20_FILE* file = named_file(path("reserved.bin"));
  EXPECT_EQ(reserve(file, 100, 0), 1u);
  const std::string bytes = testsupport::read_file(path("reserved.bin"));
  ASSERT_EQ(bytes.size(), 100u);
  EXPECT_EQ(bytes.substr(98), std::string(2, '\0'));
  EXPECT_EQ(send(AP20_MSG_IS_OPEN, file), 0u);
}

TEST_F(WholeFiles, AnExistingClosedFileIsExtendedOnlyWhenAsked) {
  testsupport::write_file("short.bin", "abc");
  AP20_FILE* file = named_file(path("short.bin"));
  EXPECT_EQ(reserve(file, 10, 0), 1u);
  EXPECT_EQ(testsupport::read_file(path("short.bin")), "abc");
  EXPECT_EQ(reserve(file, 10, 1), 1u);
  EXPECT_EQ(testsupport::read_file(path("short.bin")), std::string("abc") + std::string(7, '\0'));
}

TEST_F(WholeFiles, AnOpenFileIsExtendedInPlaceAndKeepsItsPosition) {
  AP20_FILE* file = opened_file(path("open.bin"), AP20_MODE_CREATE);
  ap20_Write(file, "abcd", 4);
  EXPECT_EQ(reserve(file, 64, 0), 1u);
  EXPECT_EQ(send(AP20_MSG_POSITION, file), 4u);
  EXPECT_EQ(send(AP20_MSG_FILE_SIZE, file), 64u);
}

TEST_F(WholeFiles, ReservingNeverWritesOverContent) {
  const std::string content(200, 'c');
  testsupport::write_file("long.bin", content);
  EXPECT_EQ(reserve(named_file(path("long.bin")), 100, 1), 1u);
  EXPECT_EQ(testsupport::read_file(path("long.bin")), content);
  AP20_FILE* open_file = opened_file(path("long.bin"), AP20_MODE_READWRITE);
  EXPECT_EQ(reserve(open_file, 100, 1), 1u);
  send(AP20_MSG_CLOSE, open_file);
  EXPECT_EQ(testsupport::read_file(path("long.bin")), content);
}

TEST_F(WholeFiles, AFileOpenForReadingOrADiskWithoutMeasurableRoomIsNotReserved) {
  testsupport::write_file("read.bin", "abc");
  EXPECT_EQ(reserve(opened_file(path("read.bin"), AP20_MODE_READ), 100, 1), 0u);
  AP20_FILE* nowhere = named_file("Q:\\nowhere\\x.bin");
  EXPECT_EQ(reserve(nowhere, 100, 0), 0u);
  EXPECT_EQ(error_of(nowhere), AP20_ERROR_DISK_FULL);
}

// ---------------------------------------------------------------------------
// Compare

struct CompareCase {
  std::string first;
  std::string second;
  uint32_t result;
  uint32_t position;  // of the first file after the first difference
};

class Comparisons : public WholeFiles, public testing::WithParamInterface<CompareCase> {};

TEST_P(Comparisons, TwoOpenFilesAreEqualInContentAndLengthOrDifferAtAPosition) {
  testsupport::write_file("first.bin", GetParam().first);
  testsupport::write_file("second.bin", GetParam().second);
  AP20_FILE* first = opened_file(path("first.bin"), AP20_MODE_READ);
  AP20_FILE* second = opened_file(path("second.bin"), AP20_MODE_READ);
  uint32_t position = 0xABCD;
  AP20_COMPAREPARM parameter{second, &position};
  EXPECT_EQ(send(AP20_MSG_COMPARE, first, &parameter), GetParam().result);
  if (GetParam().result == 0) {
    EXPECT_EQ(position, GetParam().position);
    EXPECT_EQ(send(AP20_MSG_POSITION, first), GetParam().position);
  }
}

std::string differing_at(size_t at) {
  std::string bytes(1000, 'z');
  bytes[at] = 'y';
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(Table, Comparisons,
                         testing::Values(CompareCase{std::string(1000, 'z'), std::string(1000, 'z'), 1, 0},
                                         CompareCase{"", "", 1, 0},
                                         CompareCase{std::string(1000, 'z'), differing_at(700), 0, 701},
                                         CompareCase{std::string(1000, 'z'), differing_at(0), 0, 1},
                                         CompareCase{std::string(600, 'z'), std::string(1000, 'z'), 0, 600},
                                         CompareCase{std::string(1000, 'z'), std::string(600, 'z'), 0, 601}));

TEST_F(WholeFiles, AClosedFileIsNotCompared) {
  testsupport::write_file("one.bin", "x");
  AP20_FILE* open_file = opened_file(path("one.bin"), AP20_MODE_READ);
  uint32_t position = 0;
  AP20_COMPAREPARM parameter{named_file(path("one.bin")), &position};
  EXPECT_EQ(send(AP20_MSG_COMPARE, open_file, &parameter), 0u);
}

// ---------------------------------------------------------------------------
// Search, name parts and folders

TEST_F(WholeFiles, TheSearchListsTheMatchingFilesOneAtATime) {
  testsupport::write_file("found/a.spa", "");
  testsupport::write_file("found/b.spa", "");
  testsupport::write_file("found/c.txt", "");
  AP20_FILE* file = make_file();
  GU4_FINDDATA found{};
  const std::string pattern = path("found/*.spa");
  AP20_FINDFIRSTPARM first{pattern.c_str(), &found};
  ASSERT_EQ(send(AP20_MSG_FIND_FIRST, file, &first), 1u);
  std::vector<std::string> names{found.name};
  while (send(AP20_MSG_FIND_NEXT, file, &found) == 1) names.push_back(found.name);
  EXPECT_EQ(names, (std::vector<std::string>{"a.spa", "b.spa"}));
  EXPECT_EQ(send(AP20_MSG_FIND_CLOSE, file), 1u);
  const std::string none = path("found/*.jdx");
  first.pattern = none.c_str();
  EXPECT_EQ(send(AP20_MSG_FIND_FIRST, file, &first), 0u);
}

TEST_F(WholeFiles, TheNameSplitsIntoDriveFolderBaseAndExtension) {
  AP20_FILE* file = named_file("C:\\data\\x.spa");
  char name[AP20_NAME_SIZE], drive[3], directory[256], base[256], extension[256];
  AP20_SPLITPARM parameter{name, drive, directory, base, extension};
  EXPECT_EQ(send(AP20_MSG_SPLIT_NAME, file, &parameter), 1u);
  EXPECT_STREQ(name, "C:\\data\\x.spa");
  EXPECT_STREQ(drive, "C:");
  EXPECT_STREQ(directory, "\\data\\");
  EXPECT_STREQ(base, "x");
  EXPECT_STREQ(extension, ".spa");
  AP20_SPLITPARM only_base{nullptr, nullptr, nullptr, base, nullptr};
  EXPECT_EQ(send(AP20_MSG_SPLIT_NAME, named_file("y.grp"), &only_base), 1u);
  EXPECT_STREQ(base, "y");
  EXPECT_EQ(send(AP20_MSG_SPLIT_NAME, make_file(), &parameter), 0u);
}

struct FolderCase {
  const char* path;
  uint32_t exists;
};

class Folders : public WholeFiles, public testing::WithParamInterface<FolderCase> {};

TEST_P(Folders, AFolderOrABareDriveExistsWithOrWithoutItsTrailingSeparator) {
  std::filesystem::create_directories(testsupport::home() + "/drive_c/data");
  testsupport::write_file("drive_c/data/file.spa", "");
  EXPECT_EQ(send(AP20_MSG_DIRECTORY_EXISTS, make_file(), const_cast<char*>(GetParam().path)), GetParam().exists)
      << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(Table, Folders,
                         testing::Values(FolderCase{"C:\\data", 1}, FolderCase{"C:\\data\\", 1},
                                         FolderCase{"C:/data/", 1}, FolderCase{"C:", 1}, FolderCase{"C:\\", 1},
                                         FolderCase{"C:\\data\\file.spa", 0},
                                         FolderCase{"C:\\missing", 0}, FolderCase{"", 0}));

TEST_F(WholeFiles, EveryMissingFolderOfAPathIsMadeFromTheDriveDown) {
  uint32_t made = send(AP20_MSG_MAKE_DIRECTORIES, make_file(), const_cast<char*>("C:\\a\\b\\c\\"));
  EXPECT_EQ(made, 1u);
  EXPECT_TRUE(std::filesystem::is_directory(testsupport::home() + "/drive_c/a/b/c"));
  EXPECT_EQ(send(AP20_MSG_MAKE_DIRECTORIES, make_file(), const_cast<char*>("C:\\a\\b")), 1u);
  testsupport::write_file("drive_c/file", "");
  EXPECT_EQ(send(AP20_MSG_MAKE_DIRECTORIES, make_file(), const_cast<char*>("C:\\file\\below")), 0u);
  const std::string posix = path("posix/one/two");
  EXPECT_EQ(send(AP20_MSG_MAKE_DIRECTORIES, make_file(), const_cast<char*>(posix.c_str())), 1u);
  EXPECT_TRUE(std::filesystem::is_directory(posix));
}

}  // namespace
