#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/home.h"
#include "platform/modules.h"
#include "platform/user.h"
#include "support/test_home.h"

namespace {

struct PathCase {
  const char* windows;
  const char* relative_to_home;  // null: the path stays as given
  const char* native;
};

class NativePath : public testing::TestWithParam<PathCase> {};

TEST_P(NativePath, MapsDrivesAndSeparators) {
  const PathCase& c = GetParam();
  const std::string expected =
      c.relative_to_home != nullptr ? testsupport::home() + "/" + c.relative_to_home : std::string(c.native);
  EXPECT_EQ(platform::native_path(c.windows), expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, NativePath,
                         testing::Values(PathCase{"C:\\Data\\a.spa", "drive_c/Data/a.spa", nullptr},
                                         PathCase{"d:/x/y.spg", "drive_d/x/y.spg", nullptr},
                                         PathCase{"E:", "drive_e", nullptr},
                                         PathCase{"/tmp/a.spa", nullptr, "/tmp/a.spa"},
                                         PathCase{"dir\\file.txt", nullptr, "dir/file.txt"}));

TEST(Home, FollowsTheEnvironmentAndNamesBaseNames) {
  EXPECT_EQ(platform::home_folder(), testsupport::home());
  EXPECT_EQ(platform::base_name("C:\\a\\b/c.dll"), "c.dll");
  EXPECT_EQ(platform::lower_case("Talvo32.INI"), "talvo32.ini");
}

TEST(MessageBoxes, AreRecordedAndAnsweredWithOk) {
  platform::clear_message_boxes();
  EXPECT_EQ(MessageBoxA(nullptr, "Line: 12", "Assertion Failure", MB_OK | MB_ICONSTOP), IDOK);
  ASSERT_EQ(platform::message_boxes().size(), 1u);
  EXPECT_EQ(platform::message_boxes()[0].caption, "Assertion Failure");
  EXPECT_EQ(platform::message_boxes()[0].text, "Line: 12");
  platform::clear_message_boxes();
  EXPECT_TRUE(platform::message_boxes().empty());
}

TEST(DebugOutput, IsRecordedAsWritten) {
  platform::clear_debug_output();
  OutputDebugStringA("AddAce() failed.  Error 1344\n");
  OutputDebugStringA(nullptr);
  EXPECT_EQ(platform::debug_output(), (std::vector<std::string>{"AddAce() failed.  Error 1344\n", ""}));
  platform::clear_debug_output();
  EXPECT_TRUE(platform::debug_output().empty());
}

int answer_seven() { return 7; }

TEST(Modules, BuiltInModulesAnswerTheirExportsByName) {
  static const platform::ModuleExport exports[] = {{"AnswerSeven", reinterpret_cast<FARPROC>(&answer_seven)}};
  HMODULE module = platform::register_builtin_module("Builtin.dll", exports, 1);
  EXPECT_EQ(GetModuleHandleA("builtin.DLL"), module);
  EXPECT_EQ(LoadLibraryA("C:\\somewhere\\builtin.dll"), module);
  auto answer = reinterpret_cast<int (*)()>(GetProcAddress(module, "AnswerSeven"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 7);
  EXPECT_EQ(GetProcAddress(module, "Missing"), nullptr);
  EXPECT_EQ(FreeLibrary(module), TRUE);
  EXPECT_EQ(GetModuleHandleA("builtin.dll"), module);  // built-in modules stay
}

TEST(Modules, ModulesThatAreNotInstalledAreNotFound) {
  EXPECT_EQ(LoadLibraryA("talvosea.dll"), nullptr);
  EXPECT_EQ(LoadLibraryA("/nonexistent/module.so"), nullptr);
  EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
  EXPECT_EQ(GetModuleHandleA("talvosea.dll"), nullptr);
}

TEST(Modules, Kernel32IsBuiltInWithTheFunctionsLookedUpByName) {
  const HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
  ASSERT_NE(kernel, nullptr);
  EXPECT_EQ(LoadLibraryA("kernel32.dll"), kernel);
  EXPECT_EQ(GetProcAddress(kernel, "GetDiskFreeSpaceExA"), reinterpret_cast<FARPROC>(&GetDiskFreeSpaceExA));
}

TEST(Modules, ProgramModuleNamesTheExecutable) {
  char path[4096];
  const DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), path, sizeof path);
  EXPECT_GT(length, 0u);
  EXPECT_NE(std::strstr(path, "test_platform"), nullptr);
  char small[4];
  EXPECT_EQ(GetModuleFileNameA(GetModuleHandleA(nullptr), small, sizeof small), 3u);
  EXPECT_EQ(std::strlen(small), 3u);
}

TEST(Modules, TheModuleHoldingAnAddressKnowsItsPathAndStaysWithItsLoader) {
  const HMODULE own = platform::module_containing(reinterpret_cast<const void*>(&GetModuleFileNameA));
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(platform::module_containing(reinterpret_cast<const void*>(&LoadLibraryA)), own);
  char path[4096];
  ASSERT_GT(GetModuleFileNameA(own, path, sizeof path), 0u);
  char executable[4096];
  ASSERT_NE(realpath("/proc/self/exe", executable), nullptr);
  EXPECT_STREQ(path, executable);
  EXPECT_EQ(FreeLibrary(own), TRUE);
  EXPECT_EQ(platform::module_containing(reinterpret_cast<const void*>(&LoadLibraryA)), own);
  EXPECT_EQ(DisableThreadLibraryCalls(own), TRUE);
  EXPECT_EQ(DisableThreadLibraryCalls(nullptr), FALSE);
}

}  // namespace
