#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "util_fixture.h"

namespace {

// Tests that change the current folder put it back.
class PathHelpers : public utiltest::Utilities {
 protected:
  void SetUp() override { ASSERT_GT(GetCurrentDirectoryA(sizeof saved_folder_, saved_folder_), 0u); }
  void TearDown() override {
    SetCurrentDirectoryA(saved_folder_);
    GU4_FindClose();
    utiltest::Utilities::TearDown();
  }

 private:
  char saved_folder_[MAX_PATH] = "";
};

struct Split {
  std::string drive, dir, name, ext;
  bool operator==(const Split& other) const {
    return drive == other.drive && dir == other.dir && name == other.name && ext == other.ext;
  }
};

std::ostream& operator<<(std::ostream& out, const Split& split) {
  return out << '[' << split.drive << "][" << split.dir << "][" << split.name << "][" << split.ext << ']';
}

using SplitFunction = void (*)(const char*, char*, char*, char*, char*);

Split split_with(SplitFunction function, const char* path) {
  char drive[GU4_DRIVE_SIZE], dir[GU4_DIR_SIZE], name[GU4_FNAME_SIZE], ext[GU4_EXT_SIZE];
  function(path, drive, dir, name, ext);
  return Split{drive, dir, name, ext};
}

Split split_safe(const char* path, bool fill_drive) {
  char drive[GU4_DRIVE_SIZE], dir[GU4_DIR_SIZE], name[GU4_FNAME_SIZE], ext[GU4_EXT_SIZE];
  (fill_drive ? GU4_splitpathsafe : GU4_splitpathtrueSafe)(path, drive, dir, name, ext, sizeof drive, sizeof dir,
                                                          sizeof name, sizeof ext);
  return Split{drive, dir, name, ext};
}

// ---------------------------------------------------------------------------
// Splitting and joining

struct SplitCase {
  const char* path;
  Split parts;
};

class PathSplits : public PathHelpers, public testing::WithParamInterface<SplitCase> {};

TEST_P(PathSplits, GiveDriveFolderNameAndExtension) {
  const SplitCase& c = GetParam();
  EXPECT_EQ(split_with(GU4_splitpathtrue, c.path), c.parts);
  EXPECT_EQ(split_safe(c.path, false), c.parts);
}

TEST_P(PathSplits, JoinBackToThePath) {
  const Split& parts = GetParam().parts;
  char path[MAX_PATH];
  GU4_makepath(path, parts.drive.c_str(), parts.dir.c_str(), parts.name.c_str(), parts.ext.c_str());
  EXPECT_STREQ(path, GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PathSplits,
    testing::Values(SplitCase{"C:\\data\\run\\a.spa", {"C:", "\\data\\run\\", "a", ".spa"}},
                    SplitCase{"C:a.b.spa", {"C:", "", "a.b", ".spa"}},
                    SplitCase{"\\\\server\\share\\a", {"", "\\\\server\\share\\", "a", ""}},
                    SplitCase{"/tmp/x.d/file", {"", "/tmp/x.d/", "file", ""}},
                    SplitCase{"dir/sub\\name.", {"", "dir/sub\\", "name", "."}},
                    SplitCase{".profile", {"", "", "", ".profile"}},
                    SplitCase{"C:", {"C:", "", "", ""}},
                    SplitCase{"", {"", "", "", ""}}));

TEST_F(PathHelpers, SafeSplitCutsEveryPartToItsSizeAndTerminatesIt) {
  char drive[8], dir[16], name[16], ext[16];
  std::memset(drive, 'x', sizeof drive);
  std::memset(dir, 'x', sizeof dir);
  std::memset(name, 'x', sizeof name);
  std::memset(ext, 'x', sizeof ext);
  GU4_splitpathtrueSafe("C:\\folder\\filename.extension", drive, dir, name, ext, 2, 5, 4, 3);
  EXPECT_EQ(std::string(drive, 3), std::string("C\0x", 3));
  EXPECT_EQ(std::string(dir, 6), std::string("\\fol\0x", 6));
  EXPECT_EQ(std::string(name, 5), std::string("fil\0x", 5));
  EXPECT_EQ(std::string(ext, 4), std::string(".e\0x", 4));
  // Exactly the room a part needs, and no room at all.
  GU4_splitpathsafe("C:\\a\\b.c", drive, dir, nullptr, ext, 3, 4, 0, 0);
  EXPECT_STREQ(drive, "C:");
  EXPECT_STREQ(dir, "\\a\\");
  EXPECT_EQ(std::string(ext, 4), std::string(".e\0x", 4));  // untouched
}

TEST_F(PathHelpers, PlainSplitCutsPartsToTheStandardSizes) {
  const std::string long_name(300, 'n');
  std::string name(400, 'x');
  char drive[GU4_DRIVE_SIZE], dir[GU4_DIR_SIZE], ext[GU4_EXT_SIZE];
  GU4_splitpathtrue(("C:\\" + long_name + ".spa").c_str(), drive, dir, name.data(), ext);
  EXPECT_EQ(name.substr(0, GU4_FNAME_SIZE), std::string(GU4_FNAME_SIZE - 1, 'n') + '\0');
  EXPECT_EQ(name[GU4_FNAME_SIZE], 'x');
  EXPECT_STREQ(ext, ".spa");
  GU4_splitpath(nullptr, drive, dir, nullptr, ext);  // a null path has no parts
  EXPECT_STREQ(dir, "");
}

TEST_F(PathHelpers, SplitFillsAMissingDriveWithTheCurrentOneExceptOnTheNetwork) {
  testsupport::write_file("drive_d/work/a.spa", "");
  ASSERT_TRUE(SetCurrentDirectoryA("D:\\work"));
  EXPECT_EQ(split_with(GU4_splitpath, "a.spa"), (Split{"D:", "", "a", ".spa"}));
  EXPECT_EQ(split_safe("\\x\\a.spa", true), (Split{"D:", "\\x\\", "a", ".spa"}));
  EXPECT_EQ(split_with(GU4_splitpath, "C:\\a.spa").drive, "C:");
  EXPECT_EQ(split_with(GU4_splitpathtrue, "a.spa").drive, "");
  EXPECT_EQ(split_safe("a.spa", false).drive, "");
  EXPECT_EQ(split_safe("\\\\server\\share\\a.spa", true).drive, "");
  EXPECT_EQ(split_with(GU4_splitpath, "\\\\server\\share\\a.spa").drive, "");
}

TEST_F(PathHelpers, OutsideTheDrivesNoDriveIsFilledIn) {
  ASSERT_TRUE(SetCurrentDirectoryA(testsupport::home().c_str()));
  EXPECT_EQ(split_with(GU4_splitpath, "a.spa").drive, "");
}

struct JoinCase {
  const char* drive;
  const char* dir;
  const char* name;
  const char* ext;
  const char* path;
};

class PathJoins : public PathHelpers, public testing::WithParamInterface<JoinCase> {};

TEST_P(PathJoins, AddTheMissingColonSeparatorAndDot) {
  const JoinCase& c = GetParam();
  char path[MAX_PATH] = "stale";
  GU4_makepath(path, c.drive, c.dir, c.name, c.ext);
  EXPECT_STREQ(path, c.path);
}

INSTANTIATE_TEST_SUITE_P(Cases, PathJoins,
                         testing::Values(JoinCase{"C:", "\\data", "a", "spa", "C:\\data\\a.spa"},
                                         JoinCase{"c", "\\data\\", "a", ".spa", "c:\\data\\a.spa"},
                                         JoinCase{nullptr, "/tmp/", "a", "spa", "/tmp/a.spa"},
                                         JoinCase{"", "", "a", "", "a"},
                                         JoinCase{"C:", nullptr, nullptr, "spa", "C:.spa"},
                                         JoinCase{nullptr, nullptr, nullptr, nullptr, ""}));

TEST_F(PathHelpers, JoinedPathThatDoesNotFitComesOutEmpty) {
  char path[MAX_PATH + 16];
  std::memset(path, 'x', sizeof path);
  const std::string dir(250, 'd');
  GU4_makepath(path, "C:", dir.c_str(), "name", "spa");  // 2 + 251 + 4 + 4 = 261 characters
  EXPECT_STREQ(path, "");
  EXPECT_EQ(path[1], 'x');
  GU4_makepath(path, "C:", dir.c_str(), "nam", "sp");  // 259 characters just fit
  EXPECT_EQ(std::strlen(path), 259u);
}

// ---------------------------------------------------------------------------
// Long and short paths

std::string long_path(const char* short_path, uint32_t size = MAX_PATH) {
  char out[MAX_PATH + 1] = "stale";
  const uint16_t built = GU4_GetLongPathName(short_path, size, out);
  return built == 1 ? std::string(out) : "refused:" + std::string(out);
}

TEST_F(PathHelpers, LongPathNamesEachShortPartAsTheFileSystemStoresIt) {
  testsupport::write_file("drive_c/MyData~1/Report~1.txt", "");
  EXPECT_EQ(long_path("C:\\MYDATA~1\\REPORT~1.TXT"), "C:\\MyData~1\\Report~1.txt");
  EXPECT_EQ(long_path("c:/mydata~1/"), "c:\\MyData~1\\");
  // Parts without '~' and parts not found are kept as given.
  EXPECT_EQ(long_path("C:\\mydata~1\\notes.txt"), "C:\\MyData~1\\notes.txt");
  EXPECT_EQ(long_path("C:\\OTHER~1\\A~1.TXT"), "C:\\OTHER~1\\A~1.TXT");
  EXPECT_EQ(long_path("C:\\"), "C:\\");
  EXPECT_EQ(long_path("C:"), "C:");
}

TEST_F(PathHelpers, LongPathOfAShortNameNeverTakesASiblingsName) {
  testsupport::write_file("drive_c/DATA~1/a.spa", "");
  testsupport::write_file("drive_c/DATA~2/b.spa", "");
  EXPECT_EQ(long_path("C:\\data~2\\b.spa"), "C:\\DATA~2\\b.spa");
  EXPECT_EQ(long_path("C:\\DATA~*\\b.spa"), "C:\\DATA~*\\b.spa");  // wildcards are not looked up
}

TEST_F(PathHelpers, LongPathWithoutADriveIsThePathItself) {
  EXPECT_EQ(long_path("/tmp/AB~1/x.spa"), "/tmp/AB~1/x.spa");
  EXPECT_EQ(long_path("dir\\x.spa"), "dir\\x.spa");
}

TEST_F(PathHelpers, LongPathThatDoesNotFitIsRefusedWithAnEmptyText) {
  testsupport::write_file("drive_c/Longer Name~1/a.spa", "");
  EXPECT_EQ(long_path("C:\\LONGER~1\\a.spa", 8), "refused:");
  EXPECT_EQ(long_path("C:\\longer name~1\\a.spa", 22), "refused:");  // 22 characters and the end
  EXPECT_EQ(long_path("C:\\longer name~1\\a.spa", 23), "C:\\Longer Name~1\\a.spa");
  EXPECT_EQ(long_path("/tmp/a.spa", 10), "refused:");
  char out[4];
  EXPECT_EQ(GU4_GetLongPathName(nullptr, sizeof out, out), 0);
  EXPECT_EQ(GU4_GetLongPathName("C:\\a", 0, out), 0);
}

TEST_F(PathHelpers, ShortPathOfAnExistingFileIsItsPath) {
  testsupport::write_file("drive_c/Long Folder/Report.txt", "");
  char out[MAX_PATH] = "stale";
  EXPECT_EQ(GU4_GetShortPathName("C:\\Long Folder\\Report.txt", out, sizeof out), 25u);
  EXPECT_STREQ(out, "C:\\Long Folder\\Report.txt");
  EXPECT_EQ(GU4_GetShortPathName("C:\\Long Folder\\Report.txt", out, 25), 0u);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(GU4_GetShortPathName("C:\\Long Folder\\Missing.txt", out, sizeof out), 0u);
}

// ---------------------------------------------------------------------------
// Files

std::vector<std::string> found_names(const std::string& pattern) {
  std::vector<std::string> names;
  GU4_FINDDATA data;
  for (int32_t result = GU4_FindFirst(pattern.c_str(), 0, &data); result == 0; result = GU4_FindNext(&data))
    names.push_back(data.name);
  return names;
}

TEST_F(PathHelpers, FindListsTheMatchesOneAtATimeAndThenAnswersMinusOne) {
  for (const char* name : {"b.spa", "A.SPA", "c.spg"}) testsupport::write_file(std::string("find/") + name, "12345");
  const std::string folder = testsupport::home() + "/find";
  EXPECT_EQ(found_names(folder + "/*.spa"), (std::vector<std::string>{"A.SPA", "b.spa"}));
  EXPECT_EQ(GU4_FindNext(nullptr), -1);
  GU4_FINDDATA data;
  EXPECT_EQ(GU4_FindNext(&data), -1);  // still at the end
  EXPECT_EQ(GU4_FindClose(), 1);
  EXPECT_EQ(GU4_FindNext(&data), -1);  // no search open
  EXPECT_EQ(GU4_FindClose(), 1);
  EXPECT_EQ(GU4_FindFirst((folder + "/*.xyz").c_str(), 0, &data), -1);
  EXPECT_EQ(GU4_FindFirst(nullptr, 0, &data), -1);
  EXPECT_EQ(GU4_FindFirst((folder + "/*").c_str(), 0, nullptr), -1);
}

TEST_F(PathHelpers, FindRecordCarriesAttributesSizeTimesAndName) {
  testsupport::write_file("find/data.spa", "12345");
  const std::string folder = testsupport::home() + "/find";
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  GU4_FINDDATA data;
  ASSERT_EQ(GU4_FindFirst((folder + "/data.spa").c_str(), 0, &data), 0);
  EXPECT_EQ(data.attrib, FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(data.size, 5u);
  EXPECT_STREQ(data.name, "data.spa");
  EXPECT_NEAR(data.time_write, now, 60);
  ASSERT_EQ(GU4_FindFirst(folder.c_str(), 0, &data), 0);
  EXPECT_EQ(data.attrib, FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(PathHelpers, FindRecordSizeStopsAtTheLargest32BitValue) {
  const std::string path = testsupport::write_file("find/big.spa", "");
  std::filesystem::resize_file(path, 5ull << 30);  // sparse: no disk space is taken
  GU4_FINDDATA data;
  ASSERT_EQ(GU4_FindFirst(path.c_str(), 0, &data), 0);
  EXPECT_EQ(data.size, 0xFFFFFFFFu);
}

TEST_F(PathHelpers, NewFindClosesTheSearchStillOpen) {
  for (const char* name : {"a.spa", "b.spa", "c.spg"}) testsupport::write_file(std::string("find/") + name, "");
  const std::string folder = testsupport::home() + "/find";
  GU4_FINDDATA data;
  ASSERT_EQ(GU4_FindFirst((folder + "/*.spa").c_str(), 0, &data), 0);
  ASSERT_EQ(GU4_FindFirst((folder + "/*.spg").c_str(), 0, &data), 0);
  EXPECT_STREQ(data.name, "c.spg");
  EXPECT_EQ(GU4_FindNext(&data), -1);  // the first search does not go on
}

TEST_F(PathHelpers, RemoveRenameAndMkdirAnswerAsTheRunTimeDoes) {
  const std::string a = testsupport::write_file("files/a.spa", "a");
  const std::string b = testsupport::home() + "/files/b.spa";
  const std::string folder = testsupport::home() + "/files/made";
  EXPECT_EQ(GU4_rename(a.c_str(), b.c_str()), 0);
  EXPECT_EQ(testsupport::read_file(b), "a");
  EXPECT_EQ(GU4_mkdir(folder.c_str()), 0);
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(GU4_remove(b.c_str()), 0);
  EXPECT_FALSE(testsupport::file_exists(b));
}

struct RuntimeFailure {
  const char* what;
  int32_t (*call)(const std::string& home);
  int error;
};

class RuntimeFailures : public PathHelpers, public testing::WithParamInterface<RuntimeFailure> {};

TEST_P(RuntimeFailures, GiveMinusOneAndTheErrorNumber) {
  testsupport::write_file("files/a.spa", "a");
  testsupport::write_file("files/b.spa", "b");
  errno = 0;
  EXPECT_EQ(GetParam().call(testsupport::home() + "/files/"), -1);
  EXPECT_EQ(errno, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RuntimeFailures,
    testing::Values(
        RuntimeFailure{"remove missing", [](const std::string& at) { return GU4_remove((at + "x.spa").c_str()); },
                       ENOENT},
        RuntimeFailure{"remove folder", [](const std::string& at) { return GU4_remove(at.c_str()); }, EACCES},
        RuntimeFailure{"remove null", [](const std::string&) { return GU4_remove(nullptr); }, EINVAL},
        RuntimeFailure{"rename missing",
                       [](const std::string& at) { return GU4_rename((at + "x.spa").c_str(), (at + "y.spa").c_str()); },
                       ENOENT},
        RuntimeFailure{"rename onto existing",
                       [](const std::string& at) { return GU4_rename((at + "a.spa").c_str(), (at + "b.spa").c_str()); },
                       EEXIST},
        RuntimeFailure{"rename null", [](const std::string& at) { return GU4_rename((at + "a.spa").c_str(), nullptr); },
                       EINVAL},
        RuntimeFailure{"mkdir existing", [](const std::string& at) { return GU4_mkdir(at.c_str()); }, EEXIST},
        RuntimeFailure{"mkdir without parent", [](const std::string& at) { return GU4_mkdir((at + "x/y").c_str()); },
                       ENOENT},
        RuntimeFailure{"mkdir null", [](const std::string&) { return GU4_mkdir(nullptr); }, EINVAL}),
    [](const testing::TestParamInfo<RuntimeFailure>& info) {
      std::string name = info.param.what;
      for (char& c : name) c = c == ' ' ? '_' : c;
      return name;
    });

TEST_F(PathHelpers, RemoveRefusesAFileHeldOpenWithoutDeleteSharing) {
  const std::string path = testsupport::write_file("files/held.spa", "a");
  const HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GU4_remove(path.c_str()), -1);
  EXPECT_EQ(errno, EACCES);
  CloseHandle(held);
  EXPECT_EQ(GU4_remove(path.c_str()), 0);
}

TEST_F(PathHelpers, ABareNameIsAlsoLookedForInTheWindowsDirectory) {
  testsupport::write_file("windows/Talvo32.ini", "[Files]\n");
  EXPECT_EQ(GU4_DoesFileExist("Talvo32.ini"), 1);
  EXPECT_EQ(GU4_DoesFileExist("C:\\Talvo32.ini"), 0);
  EXPECT_EQ(GU4_DoesFileExist("C:Talvo32.ini"), 0);
  EXPECT_EQ(GU12_DoesFileExist("Talvo32.ini"), 0);
  EXPECT_EQ(GU4_DoesFileExist("Missing.ini"), 0);
  EXPECT_EQ(GU4_DoesFileExist(nullptr), 0);
  EXPECT_EQ(GU12_DoesFileExist(nullptr), 0);
}

TEST_F(PathHelpers, AFileInUseExistsOnlyForTheTestThatAllowsForIt) {
  const std::string path = testsupport::write_file("files/busy.spa", "a");
  EXPECT_EQ(GU4_DoesFileExist(path.c_str()), 1);
  EXPECT_EQ(GU12_DoesFileExist(path.c_str()), 1);
  const HANDLE busy = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(busy, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GU4_DoesFileExist(path.c_str()), 0);
  EXPECT_EQ(GU12_DoesFileExist(path.c_str()), 1);
  CloseHandle(busy);
  const std::string folder = testsupport::home() + "/files";
  EXPECT_EQ(GU4_DoesFileExist(folder.c_str()), 0);
  EXPECT_EQ(GU12_DoesFileExist(folder.c_str()), 0);
}

TEST_F(PathHelpers, WildcardAndAccessTestsFindFilesAndFolders) {
  testsupport::write_file("files/a.spa", "a");
  const std::string folder = testsupport::home() + "/files";
  EXPECT_EQ(GU4_WildcardFileExists((folder + "/*.spa").c_str()), 1);
  EXPECT_EQ(GU4_WildcardFileExists((folder + "/*.spg").c_str()), 0);
  EXPECT_EQ(GU4_WildcardFileExists(nullptr), 0);
  EXPECT_EQ(GU4_Access((folder + "/a.spa").c_str()), 1);
  EXPECT_EQ(GU4_Access(folder.c_str()), 1);
  EXPECT_EQ(GU4_Access((folder + "/b.spa").c_str()), 0);
  EXPECT_EQ(GU4_Access(nullptr), 0);
}

// ---------------------------------------------------------------------------
// Drives

TEST_F(PathHelpers, SetDriveEntersTheDrivesRootAndKeepsTheFolderOfTheCurrentOne) {
  EXPECT_EQ(GU4_SetDrive(3), 1);
  EXPECT_EQ(GU4_GetCurrentWorkingDrive(), 3);
  char folder[MAX_PATH];
  GetCurrentDirectoryA(sizeof folder, folder);
  EXPECT_STREQ(folder, "C:\\");
  testsupport::write_file("drive_c/data/a.spa", "");
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\data"));
  EXPECT_EQ(GU4_SetDrive(3), 1);
  GetCurrentDirectoryA(sizeof folder, folder);
  EXPECT_STREQ(folder, "C:\\data");
  EXPECT_EQ(GU4_SetDrive(26), 1);
  EXPECT_EQ(GU4_GetCurrentWorkingDrive(), 26);
}

TEST_F(PathHelpers, DrivesOutsideAToZAreRefused) {
  for (const int32_t drive : {0, -1, 27}) EXPECT_EQ(GU4_SetDrive(drive), 0) << drive;
  ASSERT_TRUE(SetCurrentDirectoryA(testsupport::home().c_str()));
  EXPECT_EQ(GU4_GetCurrentWorkingDrive(), 0);
}

}  // namespace
