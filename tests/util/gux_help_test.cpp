// Help in the user's language: which help files are asked for, in which
// order and with which topic, read from the requests the help system
// records (it has no viewer, so every request fails and the next one is
// tried).
#include <cstdlib>

#include "platform/user.h"
#include "util_fixture.h"

namespace {

using utiltest::ModuleBuilder;

constexpr UINT kHelpContext = 1;

class Help : public utiltest::Utilities {
 protected:
  void SetUp() override {
    setenv("LANG", "de_DE", 1);
    platform::clear_help_requests();
  }
  void TearDown() override {
    unsetenv("LANG");
    Utilities::TearDown();
  }
  // The files, commands and data of the requests so far.
  static std::vector<std::string> requests() {
    std::vector<std::string> seen;
    for (const platform::HelpRequest& request : platform::help_requests())
      seen.push_back(request.file + " " + std::to_string(request.command) + " " + std::to_string(request.data));
    return seen;
  }
  static void help_strings() {
    utiltest::add_resource_module(
        "help.dll", ModuleBuilder()
                        .group(GUX_GROUP_HELPFILES, {{1, "talvo", 0}, {3, "quant", 0}})
                        .group(3 + GUX_GROUP_HELPTOPICS_OFFSET, {{42, ">topic", 900}, {0xFFFE, ">neg", 901}}));
  }
};

TEST_F(Help, NothingIsAskedForWithoutAHelpFile) {
  EXPECT_EQ(GUX_LaunchInternatHelpEx(nullptr, kHelpContext, GUX_NO_HELPFILE, 1, 0), 0);
  EXPECT_EQ(GUX_LaunchInternatHelp(nullptr, kHelpContext, 3, 1), 0);  // no help-file names
  EXPECT_EQ(GUX_LaunchInternatHelpByFile(nullptr, kHelpContext, GUX_NO_HELPFILE, "talvo", 1, 0), 0);
  EXPECT_TRUE(requests().empty());
}

TEST_F(Help, TheProductFolderIsTriedInTheUsersLanguageThenInEnglishWithTheTopic) {
  help_strings();
  set_registry_text(HKEY_LOCAL_MACHINE, GU9_TALVO_KEY, "Directory", "C:\\Talvo");
  testsupport::write_file("drive_c/Talvo/quantDEU.hlp", "");
  EXPECT_EQ(GUX_LaunchInternatHelp(nullptr, kHelpContext, 3, 42), 0);
  EXPECT_EQ(requests(), (std::vector<std::string>{"C:\\Talvo\\quantDEU.hlp>topic 1 900",
                                                   // the English file is the forced last step, present or not
                                                   "C:\\Talvo\\quantenu.hlp>topic 1 900",
                                                   "C:\\Talvo\\quantenu.hlp 1 42"}));
}

TEST_F(Help, WithoutATopicTheCallersDataGoesToTheHelp) {
  help_strings();
  set_registry_text(HKEY_LOCAL_MACHINE, GU9_TALVO_KEY, "Directory", "C:\\Talvo\\");
  EXPECT_EQ(GUX_LaunchInternatHelp(nullptr, kHelpContext, 1, 42), 0);
  EXPECT_EQ(requests(), (std::vector<std::string>{"C:\\Talvo\\talvoenu.hlp 1 42"}));
  // The data is a signed 16-bit topic number: 0x1FFFE finds topic 0xFFFE.
  platform::clear_help_requests();
  EXPECT_EQ(GUX_LaunchInternatHelpByFile(nullptr, kHelpContext, 3, "quant", 0x1FFFE, 0), 0);
  EXPECT_EQ(requests().front(), "C:\\Talvo\\quantenu.hlp>neg 1 901");
}

TEST_F(Help, TheAlternateFolderComesFirstButOnlyWithFilesThatExist) {
  help_strings();
  GU6_SetConfig("CustomExeSettings", "AlternateHelpDir", "D:\\Manuals");
  set_registry_text(HKEY_LOCAL_MACHINE, GU9_TALVO_KEY, "Directory", "C:\\Talvo");
  EXPECT_EQ(GUX_LaunchInternatHelp(nullptr, kHelpContext, 1, 5), 0);
  EXPECT_EQ(requests(), (std::vector<std::string>{"C:\\Talvo\\talvoenu.hlp 1 5"}));

  platform::clear_help_requests();
  testsupport::write_file("drive_d/Manuals/talvoenu.hlp", "");
  EXPECT_EQ(GUX_LaunchInternatHelp(nullptr, kHelpContext, 1, 5), 0);
  EXPECT_EQ(requests(), (std::vector<std::string>{"D:\\Manuals\\talvoenu.hlp 1 5", "C:\\Talvo\\talvoenu.hlp 1 5"}));
}

TEST_F(Help, WithoutAProductFolderTheProgramsFolderIsUsed) {
  help_strings();
  char program[MAX_PATH];
  ASSERT_GT(GU12_GetModulePath(nullptr, program, sizeof program), 0u);
  EXPECT_EQ(GUX_LaunchInternatHelp(nullptr, kHelpContext, 1, 5), 0);
  EXPECT_EQ(requests(), (std::vector<std::string>{std::string(program) + "talvoenu.hlp 1 5"}));
}

}  // namespace
