#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/modules.h"
#include "platform/user.h"
#include "util_fixture.h"

namespace {

class Paths : public utiltest::Utilities {
 protected:
  static std::string in_home(const std::string& name) { return testsupport::home() + "/" + name; }
};

// ---------------------------------------------------------------------------
// Parts of a path

struct PartsCase {
  const char* path;
  size_t name_offset;  // where GU12_GetFileNamePtrA points
  const char* folder;  // GU12_GetPathNameFromFilePath, "" when it gives 0
  const char* root;    // GU12_GetRootPathFromFilePath, "" when it gives 0
};

std::u16string utf16(const char* ascii) { return std::u16string(ascii, ascii + std::strlen(ascii)); }

class PathParts : public Paths, public testing::WithParamInterface<PartsCase> {};

TEST_P(PathParts, NameFolderAndRoot) {
  const PartsCase& c = GetParam();
  EXPECT_EQ(GU12_GetFileNamePtrA(c.path), c.path + c.name_offset);
  const std::u16string wide = utf16(c.path);
  EXPECT_EQ(GU12_GetFileNamePtrW(wide.c_str()), wide.c_str() + c.name_offset);
  char out[MAX_PATH] = "stale";
  EXPECT_EQ(GU12_GetPathNameFromFilePath(c.path, out, sizeof out), std::strlen(c.folder));
  EXPECT_STREQ(out, c.folder);
  std::strcpy(out, "stale");
  EXPECT_EQ(GU12_GetRootPathFromFilePath(c.path, out, sizeof out), std::strlen(c.root));
  EXPECT_STREQ(out, c.root);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PathParts,
    testing::Values(PartsCase{"C:\\data\\run\\a.spa", 12, "C:\\data\\run\\", "C:\\"},
                    PartsCase{"C:a.spa", 2, "C:", ""},
                    PartsCase{"a.spa", 0, "", ""},
                    PartsCase{"", 0, "", ""},
                    PartsCase{"C:\\", 3, "C:\\", "C:\\"},
                    PartsCase{"/tmp/run/a.spa", 9, "/tmp/run/", "/"},
                    PartsCase{"data/run\\a.spa", 9, "data/run\\", "data/"},
                    PartsCase{"\\\\server\\share\\dir\\a.spa", 19, "\\\\server\\share\\dir\\", "\\\\server\\share\\"},
                    PartsCase{"\\\\server\\share", 9, "\\\\server\\", ""},
                    PartsCase{"\\\\server", 2, "\\\\", ""},
                    PartsCase{"\\\\\\share\\a", 9, "\\\\\\share\\", ""}));

struct ExtensionCase {
  const char* path;
  size_t offset;  // where the extension pointer points
};

class Extensions : public Paths, public testing::WithParamInterface<ExtensionCase> {};

TEST_P(Extensions, StartAtTheLastDotOfTheFileName) {
  const ExtensionCase& c = GetParam();
  EXPECT_EQ(GU12_GetFileNameExtensionPtrA(c.path), c.path + c.offset);
  const std::u16string wide = utf16(c.path);
  EXPECT_EQ(GU12_GetFileNameExtensionPtrW(wide.c_str()), wide.c_str() + c.offset);
}

INSTANTIATE_TEST_SUITE_P(Cases, Extensions,
                         testing::Values(ExtensionCase{"C:\\data\\a.spa", 9}, ExtensionCase{"a.b.spg", 3},
                                         ExtensionCase{"C:\\dir.x\\file", 13}, ExtensionCase{"dir.x/file", 10},
                                         ExtensionCase{"file", 4}, ExtensionCase{"a.", 1},
                                         ExtensionCase{".profile", 0}, ExtensionCase{"a.sp?", 5},
                                         ExtensionCase{"a.b:c", 5}, ExtensionCase{"caf\xE9.d\xE9j\xE0", 4},
                                         ExtensionCase{"", 0}));

TEST_F(Paths, FolderAndRootThatDoNotFitGiveZeroAndAnEmptyText) {
  char out[8] = "stale";
  EXPECT_EQ(GU12_GetPathNameFromFilePath("C:\\data\\a.spa", out, 8), 0u);  // "C:\data\" needs 9 bytes
  EXPECT_STREQ(out, "");
  char fits[9];
  EXPECT_EQ(GU12_GetPathNameFromFilePath("C:\\data\\a.spa", fits, sizeof fits), 8u);
  EXPECT_STREQ(fits, "C:\\data\\");
  char root[3] = "x";
  EXPECT_EQ(GU12_GetRootPathFromFilePath("C:\\data", root, sizeof root), 0u);
  EXPECT_STREQ(root, "");
  EXPECT_EQ(GU12_GetRootPathFromFilePath("C:\\data", root, 0), 0u);
  EXPECT_EQ(GU12_GetFileNamePtrA(nullptr), nullptr);
  EXPECT_EQ(GU12_GetFileNamePtrW(nullptr), nullptr);
  EXPECT_EQ(GU12_GetFileNameExtensionPtrA(nullptr), nullptr);
  EXPECT_EQ(GU12_GetPathNameFromFilePath(nullptr, out, sizeof out), 0u);
  EXPECT_EQ(GU12_GetRootPathFromFilePath("C:\\", nullptr, 8), 0u);
}

// ---------------------------------------------------------------------------
// Names, full paths, wildcards and sizes

struct NameCase {
  const char* name;
  uint16_t valid;
  const char* fixed;
};

class FileNames : public Paths, public testing::WithParamInterface<NameCase> {};

TEST_P(FileNames, AreValidWithoutReservedCharactersAndFixedWithUnderscores) {
  const NameCase& c = GetParam();
  std::string name = c.name;
  EXPECT_EQ(GU12_ValidateFileName(name.data(), 0), c.valid);
  EXPECT_EQ(name, c.name);  // checked, not changed
  EXPECT_EQ(GU12_ValidateFileName(name.data(), 1), c.valid);
  EXPECT_EQ(name, c.fixed);
  EXPECT_EQ(GU12_ValidateFileName(name.data(), 0), 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, FileNames,
                         testing::Values(NameCase{"a:b", 0, "a_b"}, NameCase{"run 7.spa", 1, "run 7.spa"},
                                         NameCase{"<a>\"b\"*c/d?e\\f|g", 0, "_a__b__c_d_e_f_g"},
                                         NameCase{"caf\xE9", 1, "caf\xE9"}, NameCase{"", 1, ""}));

TEST_F(Paths, AddSlashNeedsRoomForTheSeparatorAndTheTerminator) {
  char path[16] = "C:\\data";
  EXPECT_EQ(GU12_AddSlashToPathName(path, 8), 0u);
  EXPECT_STREQ(path, "C:\\data");
  EXPECT_EQ(GU12_AddSlashToPathName(path, 9), 8u);
  EXPECT_STREQ(path, "C:\\data\\");
  EXPECT_EQ(GU12_AddSlashToPathName(path, 9), 8u);  // already there
  char posix[16] = "/tmp/";
  EXPECT_EQ(GU12_AddSlashToPathName(posix, sizeof posix), 5u);
  char empty[4] = "";
  EXPECT_EQ(GU12_AddSlashToPathName(empty, sizeof empty), 0u);
  EXPECT_EQ(GU12_AddSlashToPathName(nullptr, 4), 0u);
}

struct ExtensionChange {
  const char* path;
  const char* ext;
  uint32_t size;
  const char* result;
  uint32_t length;
};

class ExtensionChanges : public Paths, public testing::WithParamInterface<ExtensionChange> {};

TEST_P(ExtensionChanges, ReplaceOrAddTheExtensionWithinTheBuffer) {
  const ExtensionChange& c = GetParam();
  char path[32];
  std::strcpy(path, c.path);
  EXPECT_EQ(GU12_AddExtensionToPathName(path, c.size, c.ext), c.length);
  EXPECT_STREQ(path, c.result);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtensionChanges,
    testing::Values(ExtensionChange{"C:\\a.spa", "spg", 32, "C:\\a.spg", 8},
                    ExtensionChange{"C:\\a.SPA", ".spa", 32, "C:\\a.SPA", 8},
                    ExtensionChange{"C:\\a", ".spa", 32, "C:\\a.spa", 8},
                    ExtensionChange{"C:\\dir.x\\a", "spa", 32, "C:\\dir.x\\a.spa", 14},
                    ExtensionChange{"C:\\a.spa", "jdx", 9, "C:\\a.jdx", 8},
                    ExtensionChange{"C:\\a.sp", "spa", 8, "C:\\a.sp", 0},  // "C:\a.spa" needs 9 bytes with its end
                    ExtensionChange{"C:\\a", "spa", 8, "C:\\a", 0}));

TEST_F(Paths, QualifiedPathIsTheFullPathWhenItFits) {
  char out[MAX_PATH] = "stale";
  EXPECT_EQ(GU12_QualifyPath("C:\\a\\..\\b.spa", out, sizeof out), 1);
  EXPECT_STREQ(out, "C:\\b.spa");
  char small[8] = "stale";
  EXPECT_EQ(GU12_QualifyPath("C:\\a\\..\\b.spa", small, sizeof small), 0);
  EXPECT_STREQ(small, "");
  EXPECT_EQ(GU12_QualifyPath(nullptr, out, sizeof out), 0);
}

TEST_F(Paths, ModulePathIsTheFolderOfTheProgram) {
  char program[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(nullptr, program, sizeof program), 0u);
  const std::string folder = std::filesystem::path(program).parent_path().string() + "/";
  char out[MAX_PATH] = "stale";
  EXPECT_EQ(GU4_GetModulePath(out, sizeof out), folder.size());
  EXPECT_EQ(out, folder);
  EXPECT_EQ(GU12_GetModulePath(nullptr, out, sizeof out), folder.size());
  EXPECT_EQ(out, folder);
  EXPECT_EQ(GU12_GetModulePath(nullptr, out, static_cast<uint32_t>(folder.size())), 0u);  // no room for the end
  EXPECT_STREQ(out, "");
}

struct WildcardCase {
  const char* pattern;
  const char* name;
  uint16_t matches;
};

class Wildcards : public Paths, public testing::WithParamInterface<WildcardCase> {};

TEST_P(Wildcards, MatchFileNames) {
  EXPECT_EQ(GU12_IsMatchWildCard(GetParam().pattern, GetParam().name), GetParam().matches)
      << GetParam().pattern << " " << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Wildcards,
    testing::Values(WildcardCase{"*", "any.thing.at.all", 1}, WildcardCase{"*", "", 1},
                    WildcardCase{"*.spa", "x.spa", 1}, WildcardCase{"*.SPA", "Run.spa", 1},
                    WildcardCase{"*.spa", "x.spg", 0}, WildcardCase{"a?c", "abc", 1}, WildcardCase{"a?c", "abd", 0},
                    WildcardCase{"a?c", "ac", 0}, WildcardCase{"*a", "banana", 1}, WildcardCase{"*na", "banana", 1}, WildcardCase{"*an", "banana", 0},
                    WildcardCase{"b*n", "banana", 0}, WildcardCase{"*n*n*", "banana", 1},
                    WildcardCase{"r*.s?a", "run12.spa", 1}, WildcardCase{"abc", "abc.", 1},
                    WildcardCase{"abc.", "abc", 1}, WildcardCase{"abc*", "abc", 1}, WildcardCase{"abc", "abcd", 0},
                    WildcardCase{"abcd", "abc", 0}, WildcardCase{"a*", "ab.c", 0}, WildcardCase{"*", "", 1},
                    WildcardCase{nullptr, "a", 0}, WildcardCase{"a", nullptr, 0}));

struct SizeText {
  uint64_t size;
  const char* text;
};

class FileSizeTexts : public Paths, public testing::WithParamInterface<SizeText> {};

TEST_P(FileSizeTexts, ScaleToTheLargestUnitWithDecimalsByMagnitude) {
  char out[GU12_FILESIZE_TEXT_SIZE];
  EXPECT_EQ(GU12_FileSizeToString(GetParam().size, out), out);
  EXPECT_STREQ(out, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Cases, FileSizeTexts,
                         testing::Values(SizeText{1536, "1.50 KB"}, SizeText{100, "100 Bytes"},
                                         SizeText{150ull << 20, "150 MB"}, SizeText{0, "0 Bytes"},
                                         SizeText{1023, "1023 Bytes"}, SizeText{1024, "1.00 KB"},
                                         SizeText{10ull << 20, "10.0 MB"}, SizeText{(11ull << 29), "5.50 GB"},
                                         SizeText{UINT64_MAX, "17179869184 GB"}));

// ---------------------------------------------------------------------------
// Disks

struct Disk {
  uint64_t free_to_caller = 0;
  uint64_t total = 0;
};

Disk disk_of(const std::string& folder) {
  Disk disk;
  EXPECT_TRUE(GetDiskFreeSpaceExA(folder.c_str(), &disk.free_to_caller, &disk.total, nullptr));
  return disk;
}

// Other processes write while a test runs: free space is compared within this.
constexpr uint64_t kFreeSpaceDrift = 256ull << 20;

TEST_F(Paths, TotalSpaceIsTheSizeOfThePathsDiskInUnits) {
  testsupport::write_file("drive_c/data/a.spa", "x");
  const Disk disk = disk_of(in_home("drive_c/data"));
  for (const uint32_t unit : {1u << 20, 1u << 30, 4096u}) {
    EXPECT_EQ(GU12_GetDiskTotalSpace("C:\\data\\a.spa", unit), disk.total / unit) << unit;
    EXPECT_EQ(GU12_GetDiskTotalSpace((in_home("drive_c/data") + "/a.spa").c_str(), unit), disk.total / unit);
  }
}

TEST_F(Paths, FreeSpaceIsWhatTheCallerMayUse) {
  testsupport::write_file("drive_c/data/a.spa", "x");
  const Disk disk = disk_of(in_home("drive_c/data"));
  EXPECT_NEAR(static_cast<double>(GU4_GetDiskFreeSpace("C:\\data\\a.spa")), static_cast<double>(disk.free_to_caller),
              static_cast<double>(kFreeSpaceDrift));
  EXPECT_NEAR(GU12_GetDiskFreeSpace("C:\\data\\a.spa", 1u << 20), static_cast<double>(disk.free_to_caller >> 20),
              static_cast<double>(kFreeSpaceDrift >> 20));
}

TEST_F(Paths, FreeSpaceBeyond32BitsIsCappedNotWrapped) {
  const Disk disk = disk_of(testsupport::home());
  if (disk.free_to_caller <= 0xFFFFFFFFull + kFreeSpaceDrift) GTEST_SKIP() << "the test disk has less than 4 GB free";
  const std::string path = in_home("a.spa");
  EXPECT_EQ(GU12_GetDiskFreeSpace(path.c_str(), 0), 0xFFFFFFFFu);
  EXPECT_EQ(GU12_GetDiskFreeSpace(path.c_str(), 1), 0xFFFFFFFFu);
  EXPECT_GT(GU4_GetDiskFreeSpace(path.c_str()), 0xFFFFFFFFull);
}

class UnmeasurableDisks : public Paths, public testing::WithParamInterface<const char*> {};

TEST_P(UnmeasurableDisks, AreReportedAsNoRoom) {
  EXPECT_EQ(GU4_GetDiskFreeSpace(GetParam()), 0u);
  EXPECT_EQ(GU12_GetDiskFreeSpace(GetParam(), 1024), 0u);
  EXPECT_EQ(GU12_GetDiskTotalSpace(GetParam(), 1024), 0u);
}

const std::string kLongPath = "C:\\" + std::string(300, 'a') + "\\b.spa";

INSTANTIATE_TEST_SUITE_P(Cases, UnmeasurableDisks,
                         testing::Values("\\\\server\\share\\file.spa", "\\\\server\\share\\", "C:\\missing\\a.spa",
                                         kLongPath.c_str(), nullptr));

TEST_F(Paths, WithoutTheExtendedFunctionFreeSpaceCountsWholeClustersOfTheRoot) {
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  ASSERT_NE(kernel, nullptr);
  static const platform::ModuleExport extended[] = {{"GetDiskFreeSpaceExA", GetProcAddress(kernel, "GetDiskFreeSpaceExA")}};
  testsupport::write_file("drive_c/data/a.spa", "x");
  DWORD sectors = 0, bytes = 0, free_clusters = 0, total_clusters = 0;
  ASSERT_TRUE(GetDiskFreeSpaceA("C:\\", &sectors, &bytes, &free_clusters, &total_clusters));
  const uint64_t cluster = static_cast<uint64_t>(sectors) * bytes;
  platform::register_builtin_module("kernel32.dll", nullptr, 0);
  const uint64_t measured = GU4_GetDiskFreeSpace("C:\\data\\a.spa");
  platform::register_builtin_module("kernel32.dll", extended, 1);
  EXPECT_EQ(measured % cluster, 0u);
  EXPECT_NEAR(static_cast<double>(measured), static_cast<double>(free_clusters * cluster),
              static_cast<double>(kFreeSpaceDrift));
}

// ---------------------------------------------------------------------------
// Temporary folder

TEST_F(Paths, ValidTempPathIsTheTempFolderAndLeavesNoProbeBehind) {
  char expected[MAX_PATH];
  ASSERT_GT(GetTempPathA(sizeof expected, expected), 0u);
  char out[MAX_PATH] = "stale";
  EXPECT_EQ(GU12_GetValidSysTempPath(out), 1);
  EXPECT_STREQ(out, expected);
  EXPECT_TRUE(std::filesystem::is_empty(expected));
}

TEST_F(Paths, TempFolderThatCannotTakeAFileIsRefused) {
  testsupport::write_file("temp", "a file where the folder should be");
  char out[MAX_PATH] = "stale";
  EXPECT_EQ(GU12_GetValidSysTempPath(out), 0);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(GU12_GetValidSysTempPath(nullptr), 0);
}

// ---------------------------------------------------------------------------
// Security

mode_t mode_of(const std::string& path) {
  struct stat status;
  EXPECT_EQ(stat(path.c_str(), &status), 0);
  return status.st_mode & 0777;
}

TEST_F(Paths, WideOpenAccessMakesAFileReadableAndWritableByAll) {
  const std::string path = testsupport::write_file("secure/a.spa", "a");
  chmod(path.c_str(), 0600);
  EXPECT_EQ(GU12_SetWideOpenAccess(path.c_str()), 1);
  EXPECT_EQ(mode_of(path), 0666u);
  const std::string folder = testsupport::home() + "/secure";
  chmod(folder.c_str(), 0700);
  EXPECT_EQ(GU12_SetWideOpenAccess(folder.c_str()), 1);
  EXPECT_EQ(mode_of(folder), 0777u);  // folders must also be entered
}

TEST_F(Paths, GrantReplacesTheFilesOwnGrantToTheSameIdentifier) {
  const std::string path = testsupport::write_file("secure/a.spa", "a");
  chmod(path.c_str(), 0640);
  // The owner's identifier, as the platform names Unix users.
  const SID_IDENTIFIER_AUTHORITY unix_authority = {{0, 0, 0, 0, 0, 22}};
  PSID owner = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&unix_authority, 2, 1, getuid(), 0, 0, 0, 0, 0, 0, &owner));
  EXPECT_EQ(GU12_AddAccessAllowedAce(path.c_str(), owner, GENERIC_READ), 1);
  FreeSid(owner);
  EXPECT_EQ(mode_of(path), 0440u);  // the owner's read and write gave way; the group's read stays
}

TEST_F(Paths, FailedGrantNamesTheStepOnTheDebuggerOutput) {
  platform::clear_debug_output();
  const std::string missing = testsupport::home() + "/secure/missing.spa";
  EXPECT_EQ(GU12_SetWideOpenAccess(missing.c_str()), 0);
  ASSERT_EQ(platform::debug_output().size(), 1u);
  EXPECT_EQ(platform::debug_output()[0], "GetFileSecurity() failed.  Error 2\n");
  const std::string path = testsupport::write_file("secure/a.spa", "a");
  const BYTE not_an_identifier[8] = {7};
  EXPECT_EQ(GU12_AddAccessAllowedAce(path.c_str(), const_cast<BYTE*>(not_an_identifier), GENERIC_ALL), 0);
  EXPECT_EQ(GU12_AddAccessAllowedAce(path.c_str(), nullptr, GENERIC_ALL), 0);
  EXPECT_EQ(platform::debug_output().size(), 3u);
  platform::clear_debug_output();
}

}  // namespace
