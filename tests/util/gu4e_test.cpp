#include <cstring>
#include <string>

#include "util_fixture.h"

namespace {

// Tests that change the current folder put it back.
class PathHelpers : public utiltest::Utilities {
 protected:
  void SetUp() override { ASSERT_GT(GetCurrentDirectoryA(sizeof saved_folder_, saved_folder_), 0u); }
  void TearDown() override {
    SetCurrentDirectoryA(saved_folder_);
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
