#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/home.h"
#include "support/test_home.h"

namespace {

std::string in_home(const std::string& name) { return testsupport::home() + "/" + name; }

HANDLE open_for(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
  return CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(Files, WriteSeekReadTruncateAndSize) {
  const std::string path = in_home("data.bin");
  HANDLE file = open_for(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD moved = 0;
  ASSERT_TRUE(WriteFile(file, "0123456789", 10, &moved, nullptr));
  EXPECT_EQ(moved, 10u);
  EXPECT_EQ(SetFilePointer(file, 4, nullptr, FILE_BEGIN), 4u);
  char got[8] = {};
  ASSERT_TRUE(ReadFile(file, got, 3, &moved, nullptr));
  EXPECT_EQ(std::string(got, moved), "456");
  EXPECT_EQ(SetFilePointer(file, -2, nullptr, FILE_END), 8u);
  EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_CURRENT), 7u);
  ASSERT_TRUE(SetEndOfFile(file));
  BY_HANDLE_FILE_INFORMATION information;
  ASSERT_TRUE(GetFileInformationByHandle(file, &information));
  EXPECT_EQ(information.nFileSizeLow, 7u);
  EXPECT_EQ(information.nFileSizeHigh, 0u);
  // Reading at the end succeeds with no bytes.
  ASSERT_TRUE(ReadFile(file, got, 8, &moved, nullptr));
  EXPECT_EQ(moved, 0u);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(testsupport::read_file(path), "0123456");
}

TEST(Files, RefusedSeekLeavesThePositionAlone) {
  HANDLE file = open_for(in_home("seek.bin"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  WriteFile(file, "abcdef", 6, nullptr, nullptr);
  SetFilePointer(file, 3, nullptr, FILE_BEGIN);
  EXPECT_EQ(SetFilePointer(file, -10, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 3u);
  CloseHandle(file);
}

DWORD size_of(HANDLE file) { return GetFileSize(file, nullptr); }

// A handle that writes and lets nobody else write knows the file's size from
// its own writes, cuts and writes past the end; handles that share writing
// see each other's writes.
TEST(Files, SizeAndPositionFollowEveryWrite) {
  const std::string path = in_home("sizes.bin");
  HANDLE sole = open_for(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
  ASSERT_NE(sole, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(WriteFile(sole, "0123456789", 10, nullptr, nullptr));
  EXPECT_EQ(size_of(sole), 10u);
  EXPECT_EQ(SetFilePointer(sole, 4, nullptr, FILE_BEGIN), 4u);
  ASSERT_TRUE(SetEndOfFile(sole));
  EXPECT_EQ(size_of(sole), 4u);
  EXPECT_EQ(SetFilePointer(sole, 0, nullptr, FILE_CURRENT), 4u);
  EXPECT_EQ(SetFilePointer(sole, 8, nullptr, FILE_BEGIN), 8u);
  ASSERT_TRUE(WriteFile(sole, "x", 1, nullptr, nullptr));
  EXPECT_EQ(size_of(sole), 9u);
  EXPECT_EQ(SetFilePointer(sole, 0, nullptr, FILE_END), 9u);
  ASSERT_TRUE(CloseHandle(sole));
  EXPECT_EQ(testsupport::read_file(path), std::string("0123\0\0\0\0x", 9));

  const DWORD shared = FILE_SHARE_READ | FILE_SHARE_WRITE;
  HANDLE first = open_for(path, GENERIC_READ | GENERIC_WRITE, shared, OPEN_EXISTING);
  HANDLE second = open_for(path, GENERIC_WRITE, shared, OPEN_EXISTING);
  ASSERT_NE(second, INVALID_HANDLE_VALUE);
  EXPECT_EQ(SetFilePointer(second, 0, nullptr, FILE_END), 9u);
  ASSERT_TRUE(WriteFile(second, "yz", 2, nullptr, nullptr));
  EXPECT_EQ(size_of(first), 11u);
  EXPECT_EQ(SetFilePointer(first, -2, nullptr, FILE_END), 9u);
  char got[2] = {};
  DWORD moved = 0;
  ASSERT_TRUE(ReadFile(first, got, 2, &moved, nullptr));
  EXPECT_EQ(std::string(got, moved), "yz");
  EXPECT_EQ(SetFilePointer(first, 0, nullptr, FILE_CURRENT), 11u);
  CloseHandle(first);
  CloseHandle(second);
}

// A write the system takes only in part is reported as failed, with the
// bytes that reached the file counted in the position and the size.
// Sets a file size limit for the scope, so that writes past it fail.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit fails instead of ending the process
    getrlimit(RLIMIT_FSIZE, &former_);
    rlimit limit = former_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &former_);
    std::signal(SIGXFSZ, SIG_DFL);
  }

 private:
  rlimit former_{};
};

TEST(Files, AWriteCutShortCountsWhatWasWritten) {
  HANDLE file = open_for(in_home("limited.bin"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(WriteFile(file, "ab", 2, nullptr, nullptr));
  DWORD moved = 99;
  BOOL written;
  {
    const FileSizeLimit limit(6);
    written = WriteFile(file, "cdefgh", 6, &moved, nullptr);
  }
  EXPECT_FALSE(written);
  EXPECT_EQ(moved, 4u);
  EXPECT_EQ(size_of(file), 6u);
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 6u);
  CloseHandle(file);
  EXPECT_EQ(testsupport::read_file(in_home("limited.bin")), "abcdef");
}

// Small writes in a row, a write elsewhere, large writes, reads through the
// handle and through another one: every view of the file is the same as
// without gathering, and so is the file.
TEST(Files, GatheredWritesKeepEveryViewOfTheFile) {
  const std::string path = in_home("gathered.bin");
  HANDLE file = open_for(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  std::string expected;
  platform::WriteGathering gathered(file);
  auto append = [&](const std::string& bytes) {
    ASSERT_EQ(SetFilePointer(file, 0, nullptr, FILE_END), expected.size());
    DWORD moved = 0;
    ASSERT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &moved, nullptr));
    EXPECT_EQ(moved, bytes.size());
    expected += bytes;
    EXPECT_EQ(size_of(file), expected.size());
  };
  for (int i = 0; i < 3000; ++i) append(std::string(static_cast<size_t>(i % 97 + 1), static_cast<char>('a' + i % 26)));
  // Elsewhere in the file, then read back through the same handle.
  ASSERT_EQ(SetFilePointer(file, 10, nullptr, FILE_BEGIN), 10u);
  ASSERT_TRUE(WriteFile(file, "HEAD", 4, nullptr, nullptr));
  expected.replace(10, 4, "HEAD");
  char got[6] = {};
  DWORD moved = 0;
  ASSERT_EQ(SetFilePointer(file, 8, nullptr, FILE_BEGIN), 8u);
  ASSERT_TRUE(ReadFile(file, got, 6, &moved, nullptr));
  EXPECT_EQ(std::string(got, moved), expected.substr(8, 6));
  append(std::string(700000, 'L'));  // larger than what is gathered at once
  for (int i = 0; i < 5000; ++i) append(std::string(static_cast<size_t>(i % 200 + 1), static_cast<char>('A' + i % 26)));
  // Another handle opened on the file sees everything written so far.
  HANDLE reader = open_for(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  std::string seen(expected.size() + 1, '\0');
  ASSERT_TRUE(ReadFile(reader, seen.data(), static_cast<DWORD>(seen.size()), &moved, nullptr));
  seen.resize(moved);
  EXPECT_TRUE(seen == expected);
  CloseHandle(reader);
  append("end");
  EXPECT_TRUE(gathered.finish());
  EXPECT_TRUE(testsupport::read_file(path) == expected);
  CloseHandle(file);
  EXPECT_TRUE(testsupport::read_file(path) == expected);
}

TEST(Files, GatheredBytesThatCannotBeWrittenFailTheFinishAndEveryLaterWrite) {
  HANDLE file = open_for(in_home("lost.bin"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  {
    platform::WriteGathering gathered(file);
    ASSERT_TRUE(WriteFile(file, "abcdef", 6, nullptr, nullptr));
    const FileSizeLimit limit(3);
    EXPECT_FALSE(gathered.finish());
  }
  platform::WriteGathering gathered(file);
  ASSERT_TRUE(WriteFile(file, "ghi", 3, nullptr, nullptr));
  {
    const FileSizeLimit limit(3);
    // A write elsewhere sends the gathered bytes first, which cannot go.
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    EXPECT_FALSE(WriteFile(file, "x", 1, nullptr, nullptr));
  }
  SetFilePointer(file, 0, nullptr, FILE_END);
  EXPECT_FALSE(WriteFile(file, "jkl", 3, nullptr, nullptr));
  EXPECT_FALSE(gathered.finish());
  CloseHandle(file);
}

// Gathering needs the handle to know its file's size: a handle that lets
// others write writes at once, and so does every handle once the gathering
// has ended.
TEST(Files, OnlyASoleWriterGathersAndOnlyWhileTheGatheringLives) {
  const std::string path = in_home("shared.bin");
  HANDLE shared = open_for(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_ALWAYS);
  {
    platform::WriteGathering gathered(shared);
    ASSERT_TRUE(WriteFile(shared, "abc", 3, nullptr, nullptr));
    EXPECT_EQ(testsupport::read_file(path), "abc");
  }
  CloseHandle(shared);
  HANDLE sole = open_for(path, GENERIC_WRITE, 0, OPEN_EXISTING);
  {
    platform::WriteGathering gathered(sole);
    SetFilePointer(sole, 0, nullptr, FILE_END);
    ASSERT_TRUE(WriteFile(sole, "def", 3, nullptr, nullptr));
    ASSERT_TRUE(WriteFile(sole, nullptr, 0, nullptr, nullptr));
    {
      // A second scope on the same handle neither gathers nor ends the first.
      platform::WriteGathering inner(sole);
      EXPECT_TRUE(inner.finish());
    }
    EXPECT_EQ(testsupport::read_file(path), "abc");
  }
  EXPECT_EQ(testsupport::read_file(path), "abcdef");
  ASSERT_TRUE(WriteFile(sole, "g", 1, nullptr, nullptr));
  EXPECT_EQ(testsupport::read_file(path), "abcdefg");
  CloseHandle(sole);
}

// Room set aside is not length: the file stays as long as what is written.
TEST(Files, RoomSetAsideLeavesTheLengthToTheWrites) {
  const std::string path = in_home("reserved.bin");
  HANDLE file = open_for(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  platform::reserve_file_space(file, 1 << 20);
  EXPECT_EQ(size_of(file), 0u);
  ASSERT_TRUE(WriteFile(file, "abc", 3, nullptr, nullptr));
  EXPECT_EQ(size_of(file), 3u);
  CloseHandle(file);
  EXPECT_EQ(testsupport::read_file(path), "abc");
  struct stat status {};
  ASSERT_EQ(stat(platform::native_path(path.c_str()).c_str(), &status), 0);
  EXPECT_EQ(status.st_size, 3);
}

struct OpenCase {
  const char* name;
  bool file_exists;
  DWORD disposition;
  bool opens;
  DWORD error;         // last error after the call
  const char* content;  // the file's content afterwards ("" = empty, null = absent)
};

class FileDispositions : public testing::TestWithParam<OpenCase> {};

TEST_P(FileDispositions, CreateOpenOrRefuse) {
  const OpenCase& c = GetParam();
  const std::string path = in_home(std::string("disposition-") + c.name);
  if (c.file_exists) testsupport::write_file(std::string("disposition-") + c.name, "old");
  HANDLE file = open_for(path, GENERIC_READ | GENERIC_WRITE, 0, c.disposition);
  EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.opens);
  EXPECT_EQ(GetLastError(), c.error);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  EXPECT_EQ(testsupport::file_exists(path), c.content != nullptr);
  if (c.content != nullptr) {
    EXPECT_EQ(testsupport::read_file(path), c.content);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileDispositions,
    testing::Values(OpenCase{"CreateNewMissing", false, CREATE_NEW, true, ERROR_SUCCESS, ""},
                    OpenCase{"CreateNewExisting", true, CREATE_NEW, false, ERROR_FILE_EXISTS, "old"},
                    OpenCase{"CreateAlwaysExisting", true, CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, ""},
                    OpenCase{"OpenExistingMissing", false, OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
                    OpenCase{"OpenExistingKeepsContent", true, OPEN_EXISTING, true, ERROR_SUCCESS, "old"},
                    OpenCase{"OpenAlwaysMissing", false, OPEN_ALWAYS, true, ERROR_SUCCESS, ""},
                    OpenCase{"OpenAlwaysExisting", true, OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, "old"},
                    OpenCase{"TruncateExisting", true, TRUNCATE_EXISTING, true, ERROR_SUCCESS, ""}),
    [](const testing::TestParamInfo<OpenCase>& info) { return std::string(info.param.name); });

TEST(Files, MissingFolderIsPathNotFoundAndFoldersDoNotOpen) {
  EXPECT_EQ(open_for(in_home("no/such/file"), GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(open_for(testsupport::home(), GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(open_for("", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
}

struct ShareCase {
  const char* name;
  DWORD first_access, first_share, second_access, second_share;
  bool second_opens;
};

class FileSharing : public testing::TestWithParam<ShareCase> {};

TEST_P(FileSharing, SecondOpenFollowsTheShareRules) {
  const ShareCase& c = GetParam();
  const std::string path = testsupport::write_file(std::string("share-") + c.name, "x");
  HANDLE first = open_for(path, c.first_access, c.first_share, OPEN_EXISTING);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  HANDLE second = open_for(path, c.second_access, c.second_share, OPEN_EXISTING);
  EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.second_opens);
  if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
  else EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  CloseHandle(first);
  // Once the first handle is closed, anything opens.
  HANDLE again = open_for(path, c.second_access, c.second_share, OPEN_EXISTING);
  EXPECT_NE(again, INVALID_HANDLE_VALUE);
  CloseHandle(again);
}

constexpr DWORD R = GENERIC_READ, W = GENERIC_WRITE, SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE;
INSTANTIATE_TEST_SUITE_P(Table, FileSharing,
                         testing::Values(ShareCase{"ReadersSharingRead", R, SR, R, SR, true},
                                         ShareCase{"WriterRefusedByReadShare", R, SR, W, SR | SW, false},
                                         ShareCase{"ReaderRefusedWhileWriterDeniesWrite", W | R, SR, R, SR, false},
                                         ShareCase{"ReaderWelcomeWhenWriterSharesWrite", W, SR | SW, R, SR | SW, true},
                                         ShareCase{"ExclusiveRefusesAll", R, 0, R, SR | SW, false}),
                         [](const testing::TestParamInfo<ShareCase>& info) { return std::string(info.param.name); });

TEST(Files, AccessIsCheckedPerHandle) {
  const std::string path = testsupport::write_file("readonly.bin", "abc");
  HANDLE file = open_for(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  DWORD moved = 1;
  EXPECT_FALSE(WriteFile(file, "x", 1, &moved, nullptr));
  EXPECT_EQ(moved, 0u);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(SetEndOfFile(file));
  CloseHandle(file);
  EXPECT_FALSE(CloseHandle(file));  // the record is gone
  EXPECT_FALSE(ReadFile(INVALID_HANDLE_VALUE, nullptr, 0, &moved, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Files, DrivePathsLiveUnderTheHome) {
  HANDLE file = open_for("C:\\spectra\\one.spa", GENERIC_WRITE, 0, CREATE_ALWAYS);
  EXPECT_EQ(file, INVALID_HANDLE_VALUE);  // the folder does not exist yet
  ASSERT_TRUE(CreateDirectoryA("C:\\spectra", nullptr));
  EXPECT_FALSE(CreateDirectoryA("C:\\spectra", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  file = open_for("C:\\spectra\\one.spa", GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  WriteFile(file, "spa", 3, nullptr, nullptr);
  CloseHandle(file);
  EXPECT_EQ(testsupport::read_file(in_home("drive_c/spectra/one.spa")), "spa");
  EXPECT_EQ(GetFileAttributesA("c:/spectra"), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesA("C:\\spectra\\one.spa"), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(GetFileAttributesA("C:\\spectra\\two.spa"), INVALID_FILE_ATTRIBUTES);
}

TEST(Files, DeleteCopyAndMove) {
  const std::string a = testsupport::write_file("a.txt", "alpha");
  const std::string b = in_home("b.txt");
  ASSERT_TRUE(CopyFileA(a.c_str(), b.c_str(), TRUE));
  EXPECT_EQ(testsupport::read_file(b), "alpha");
  testsupport::write_file("a.txt", "beta");
  EXPECT_FALSE(CopyFileA(a.c_str(), b.c_str(), TRUE));
  EXPECT_EQ(testsupport::read_file(b), "alpha");
  ASSERT_TRUE(CopyFileA(a.c_str(), b.c_str(), FALSE));
  EXPECT_EQ(testsupport::read_file(b), "beta");
  EXPECT_FALSE(MoveFileA(a.c_str(), b.c_str()));  // the target exists
  const std::string c = in_home("c.txt");
  ASSERT_TRUE(MoveFileA(a.c_str(), c.c_str()));
  EXPECT_FALSE(testsupport::file_exists(a));
  HANDLE open = open_for(c, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_FALSE(DeleteFileA(c.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  CloseHandle(open);
  EXPECT_TRUE(DeleteFileA(c.c_str()));
  EXPECT_FALSE(DeleteFileA(c.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(CopyFileA(c.c_str(), b.c_str(), FALSE));
}

TEST(Files, MoveWithReplaceTakesThePlaceOfAFileButNotOfAFolder) {
  const std::string a = testsupport::write_file("move/a.txt", "new");
  const std::string b = testsupport::write_file("move/b.txt", "old");
  EXPECT_FALSE(MoveFileExA(a.c_str(), b.c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  ASSERT_TRUE(MoveFileExA(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(testsupport::read_file(b), "new");
  EXPECT_FALSE(testsupport::file_exists(a));
  const std::string folder = in_home("move/folder");
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  EXPECT_FALSE(MoveFileExA(b.c_str(), folder.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(testsupport::read_file(b), "new");
}

TEST(Files, SearchMatchesWindowsWildcardsInNameOrder) {
  for (const char* name : {"b.spa", "A.SPA", "c.spg", "abc", "abd.txt"}) testsupport::write_file(std::string("find/") + name, "");
  auto names = [](const std::string& pattern) {
    std::vector<std::string> found;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return found;
    do found.push_back(data.cFileName);
    while (FindNextFileA(search, &data));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(search));
    return found;
  };
  const std::string folder = in_home("find") + "/";
  EXPECT_EQ(names(folder + "*.spa"), (std::vector<std::string>{"A.SPA", "b.spa"}));
  EXPECT_EQ(names(folder + "a?c"), (std::vector<std::string>{"abc"}));
  EXPECT_EQ(names(folder + "*.*").size(), 5u);
  EXPECT_EQ(names(folder + "b.spa"), (std::vector<std::string>{"b.spa"}));
  EXPECT_TRUE(names(folder + "*.xyz").empty());
  WIN32_FIND_DATAA data;
  EXPECT_EQ(FindFirstFileA((folder + "none").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(FindFirstFileA((folder + "missing/*").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  // A folder is found by name and says it is one.
  HANDLE search = FindFirstFileA(in_home("find").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
  FindClose(search);
}

TEST(Files, TemporaryFilesAreCreatedWithUniqueNames) {
  char folder[MAX_PATH];
  const DWORD length = GetTempPathA(MAX_PATH, folder);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(folder[length - 1], '/');
  char first[MAX_PATH], second[MAX_PATH];
  ASSERT_NE(GetTempFileNameA(folder, "Testing", 0, first), 0u);
  ASSERT_NE(GetTempFileNameA(folder, "Testing", 0, second), 0u);
  EXPECT_STRNE(first, second);
  EXPECT_TRUE(testsupport::file_exists(first));
  EXPECT_NE(std::strstr(first, "/Tes"), nullptr);
  EXPECT_EQ(std::strstr(first, "Test"), nullptr);  // the prefix is cut to three characters
  char named[MAX_PATH];
  EXPECT_EQ(GetTempFileNameA("C:\\tmp", "~tv", 0x1A2B, named), 0x1A2Bu);
  EXPECT_STREQ(named, "C:\\tmp\\~tv1A2B.TMP");
  EXPECT_FALSE(testsupport::file_exists(platform::native_path(named)));
  char small[4];
  EXPECT_GT(GetTempPathA(sizeof small, small), sizeof small);
}

struct FullPathCase {
  const char* input;
  const char* expected;
};

class FullPathNames : public testing::TestWithParam<FullPathCase> {};

TEST_P(FullPathNames, FoldDotsWithoutTouchingTheDisk) {
  char full[MAX_PATH];
  char* file_part = nullptr;
  const DWORD length = GetFullPathNameA(GetParam().input, MAX_PATH, full, &file_part);
  EXPECT_EQ(std::string(full), GetParam().expected);
  EXPECT_EQ(length, std::strlen(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Table, FullPathNames,
                         testing::Values(FullPathCase{"C:\\a\\..\\b\\.\\c.spa", "C:\\b\\c.spa"},
                                         FullPathCase{"C:\\a\\b\\", "C:\\a\\b\\"},
                                         FullPathCase{"C:\\..", "C:\\"},
                                         FullPathCase{"/tmp/x/../y", "/tmp/y"}));

TEST(Files, FullPathNameOfARelativePathAndATooSmallBuffer) {
  char full[MAX_PATH];
  char* file_part = nullptr;
  ASSERT_GT(GetFullPathNameA("name.spa", MAX_PATH, full, &file_part), 0u);
  EXPECT_EQ(full[0], '/');
  EXPECT_STREQ(file_part, "name.spa");
  char small[4];
  EXPECT_EQ(GetFullPathNameA("C:\\abc\\def", sizeof small, small, nullptr), 11u);  // size needed with the NUL
}

TEST(Files, DiskSpaceIsMeasured) {
  uint64_t free_bytes = 0, total = 0, total_free = 0;
  ASSERT_TRUE(GetDiskFreeSpaceExA(testsupport::home().c_str(), &free_bytes, &total, &total_free));
  EXPECT_GT(total, 0u);
  EXPECT_LE(free_bytes, total);
  EXPECT_FALSE(GetDiskFreeSpaceExA(in_home("no/such/folder").c_str(), &free_bytes, nullptr, nullptr));
  DWORD sectors = 0, bytes = 0, free_clusters = 0, clusters = 0;
  ASSERT_TRUE(GetDiskFreeSpaceA(testsupport::home().c_str(), &sectors, &bytes, &free_clusters, &clusters));
  EXPECT_EQ(static_cast<uint64_t>(sectors) * bytes, 4096u);
}

TEST(Files, AFreeSpaceLimitCapsWhatEveryVolumeReports) {
  const std::string home = testsupport::home();
  uint64_t real_free = 0, real_total = 0, real_total_free = 0;
  ASSERT_TRUE(GetDiskFreeSpaceExA(home.c_str(), &real_free, &real_total, &real_total_free));
  ASSERT_GT(real_free, 3u * 4096);

  platform::set_free_space_limit(3 * 4096 + 100);
  uint64_t free_bytes = 0, total = 0, total_free = 0;
  ASSERT_TRUE(GetDiskFreeSpaceExA(home.c_str(), &free_bytes, &total, &total_free));
  EXPECT_EQ(free_bytes, 3u * 4096 + 100);
  EXPECT_EQ(total_free, 3u * 4096 + 100);
  EXPECT_EQ(total, real_total);  // only the free space is played
  ASSERT_TRUE(GetDiskFreeSpaceExA("/", &free_bytes, nullptr, nullptr));
  EXPECT_EQ(free_bytes, 3u * 4096 + 100);
  DWORD sectors = 0, bytes = 0, free_clusters = 0, clusters = 0;
  ASSERT_TRUE(GetDiskFreeSpaceA(home.c_str(), &sectors, &bytes, &free_clusters, &clusters));
  EXPECT_EQ(free_clusters, 3u);

  // A limit above the real free space changes nothing.
  platform::set_free_space_limit(UINT64_MAX);
  ASSERT_TRUE(GetDiskFreeSpaceExA(home.c_str(), &free_bytes, nullptr, nullptr));
  EXPECT_LE(free_bytes, real_total);
  EXPECT_GT(free_bytes, 3u * 4096 + 100);

  platform::set_free_space_limit(std::nullopt);
  ASSERT_TRUE(GetDiskFreeSpaceExA(home.c_str(), &free_bytes, nullptr, nullptr));
  EXPECT_GT(free_bytes, 3u * 4096 + 100);
}

TEST(Files, ShortPathOfAnExistingFileIsThePathItself) {
  testsupport::write_file("drive_c/Long Folder Name/Report.txt", "");
  char short_path[MAX_PATH];
  const char* path = "C:\\Long Folder Name\\Report.txt";
  EXPECT_EQ(GetShortPathNameA(path, short_path, sizeof short_path), std::strlen(path));
  EXPECT_STREQ(short_path, path);
  char small[8];
  EXPECT_EQ(GetShortPathNameA(path, small, sizeof small), std::strlen(path) + 1);
  EXPECT_EQ(GetShortPathNameA("C:\\missing.txt", short_path, sizeof short_path), 0u);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(Files, CurrentDirectoryInsideADriveIsShownAsTheDrivesPath) {
  char saved[MAX_PATH];
  ASSERT_GT(GetCurrentDirectoryA(sizeof saved, saved), 0u);
  testsupport::write_file("drive_d/work/a.spa", "a");
  char current[MAX_PATH];
  ASSERT_TRUE(SetCurrentDirectoryA("D:\\work"));
  EXPECT_EQ(GetCurrentDirectoryA(sizeof current, current), 7u);
  EXPECT_STREQ(current, "D:\\work");
  EXPECT_EQ(GetFileAttributesA("a.spa"), FILE_ATTRIBUTE_NORMAL);  // relative paths follow it
  ASSERT_TRUE(SetCurrentDirectoryA("d:"));
  EXPECT_EQ(GetCurrentDirectoryA(sizeof current, current), 3u);
  EXPECT_STREQ(current, "D:\\");
  char small[3];
  EXPECT_EQ(GetCurrentDirectoryA(sizeof small, small), 4u);
  ASSERT_TRUE(SetCurrentDirectoryA(saved));
  EXPECT_EQ(GetCurrentDirectoryA(sizeof current, current), std::strlen(saved));
  EXPECT_STREQ(current, saved);  // outside the drives the POSIX path
  EXPECT_FALSE(SetCurrentDirectoryA("D:\\missing"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(Files, WindowsDirectoryIsTheHomesWindowsFolder) {
  char folder[MAX_PATH];
  const std::string expected = in_home("windows");
  EXPECT_EQ(GetWindowsDirectoryA(folder, sizeof folder), expected.size());
  EXPECT_EQ(folder, expected);
  char small[4];
  EXPECT_EQ(GetWindowsDirectoryA(small, sizeof small), expected.size() + 1);
}

TEST(Files, SixteenBitCallsWorkOverHandles) {
  const std::string path = in_home("old.bin");
  HFILE file = _lcreat(path.c_str(), 0);
  ASSERT_NE(file, HFILE_ERROR);
  EXPECT_EQ(_hwrite(file, "abcdef", 6), 6);
  EXPECT_EQ(_llseek(file, 2, FILE_BEGIN), 2);
  char got[4] = {};
  EXPECT_EQ(_hread(file, got, 3), 3);
  EXPECT_STREQ(got, "cde");
  EXPECT_EQ(_lclose(file), 0);
  EXPECT_EQ(_lclose(file), HFILE_ERROR);
  file = _lopen(path.c_str(), OF_READ | OF_SHARE_DENY_WRITE);
  ASSERT_NE(file, HFILE_ERROR);
  EXPECT_EQ(_lwrite(file, "x", 1), static_cast<UINT>(HFILE_ERROR));
  EXPECT_EQ(_lopen(path.c_str(), OF_READWRITE), HFILE_ERROR);  // denied by the first handle's share
  _lclose(file);
  EXPECT_EQ(_lopen(in_home("missing.bin").c_str(), OF_READ), HFILE_ERROR);
}

}  // namespace
