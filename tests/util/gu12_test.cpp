#include <cstring>
#include <filesystem>
#include <string>

#include "platform/modules.h"
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
  platform::register_builtin_module("kernel32.dll", nullptr, 0);
  testsupport::write_file("drive_c/data/a.spa", "x");
  DWORD sectors = 0, bytes = 0, free_clusters = 0, total_clusters = 0;
  ASSERT_TRUE(GetDiskFreeSpaceA("C:\\", &sectors, &bytes, &free_clusters, &total_clusters));
  const uint64_t cluster = static_cast<uint64_t>(sectors) * bytes;
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

}  // namespace
