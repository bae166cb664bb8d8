#include <cstdlib>
#include <cstring>

#include "platform/profile.h"
#include "util_fixture.h"

namespace {

using utiltest::ModuleBuilder;

class International : public utiltest::Utilities {
 protected:
  void TearDown() override {
    unsetenv("LANG");
    Utilities::TearDown();
  }
  static void language(const char* lang) { setenv("LANG", lang, 1); }
  static std::string abbreviation() {
    char buffer[8];
    GUX_GetInternatLangAbbrev(buffer, sizeof buffer);
    return buffer;
  }
};

TEST_F(International, CharactersComeFromWinIniWithTheirDefaults) {
  GUX_SetInternationalChar('x', GUX_THOUSANDS);
  EXPECT_EQ(GUX_InitInternationalChars(), 1);
  EXPECT_EQ(GUX_GetInternationalChar(GUX_DECIMAL), '.');
  EXPECT_EQ(GUX_GetInternationalChar(GUX_LIST), ';');
  EXPECT_EQ(GUX_GetInternationalChar(GUX_THOUSANDS), ',');  // the default thousands separator
  EXPECT_EQ(GUX_GetInternationalChar(7), ',');
  EXPECT_EQ(GUX_SetInternationalChar('#', 4), 0);
  WriteProfileStringA("intl", "sDecimal", ",");
  WriteProfileStringA("intl", "sThousand", ".");
  GUX_InitInternationalChars();
  EXPECT_EQ(GUX_GetInternationalChar(GUX_DECIMAL), ',');
  EXPECT_EQ(GUX_GetInternationalChar(GUX_THOUSANDS), '.');
}

TEST_F(International, DecimalConversionsGoBothWays) {
  GUX_SetInternationalChar(',', GUX_DECIMAL);
  char text[] = "1.5";
  GUX_ChangeUSDecimalToInternat(text);
  EXPECT_STREQ(text, "1,5");
  GUX_ChangeInternatDecimalToUS(text);
  EXPECT_STREQ(text, "1.5");
}

TEST_F(International, FixDecimalCharStopsAtTheFirstTerminator) {
  GUX_SetInternationalChar(',', GUX_DECIMAL);
  GUX_SetInternationalChar('.', GUX_THOUSANDS);
  char texts[] = "1,000.5\0" "2.5";
  GUX_FixDecimalChar(texts);
  EXPECT_EQ(std::string(texts, sizeof texts), std::string("1.000,5\0" "2.5", sizeof texts));
}

TEST_F(International, MeasurementIsEnglishUnlessIMeasureIsZero) {
  EXPECT_EQ(GUX_IsMeasurementEnglish(), 1);
  WriteProfileStringA("intl", "iMeasure", "0");
  EXPECT_EQ(GUX_IsMeasurementEnglish(), 0);
}

TEST_F(International, LanguageAbbreviationsFromTheUsersLanguage) {
  language("de_DE.UTF-8");
  EXPECT_EQ(abbreviation(), "DEU");
  language("ja_JP.UTF-8");
  EXPECT_EQ(abbreviation(), "JPN");  // not in the table: the system's own form
  language("C");
  EXPECT_EQ(abbreviation(), "ENU");
  char name[] = "helpenu.hlp";
  language("de_DE");
  EXPECT_EQ(GUX_TranslateFileName(name), 1);
  EXPECT_STREQ(name, "helpDEU.hlp");
  char short_name[] = "abc.hlp";
  EXPECT_EQ(GUX_TranslateFileName(short_name), 0);
}

TEST_F(International, LanguageDllLoadKeepsCharSetInStepAndLoadsNothingForEnglish) {
  GU6_SetConfig("CustomerInfo", "CharSet", "134");
  language("en_US");
  EXPECT_EQ(GUX_LoadInternatDLL("talvo"), 1);
  EXPECT_EQ(GU6_GetConfigInt("CustomerInfo", "CharSet", -1), 0);
  language("ja_JP");
  EXPECT_EQ(GUX_LoadInternatDLL("talvo"), 0);  // no product directory
  EXPECT_EQ(GU6_GetConfigInt("CustomerInfo", "CharSet", -1), 128);
  set_registry_text(HKEY_LOCAL_MACHINE, GU9_TALVO_KEY, "Directory", "C:\\Talvo");
  EXPECT_EQ(GUX_LoadInternatDLL("talvo"), 1);  // no talvoJPN.dll there: nothing to load
  testsupport::write_file("drive_c/Talvo/talvoJPN.dll", "not a module");
  EXPECT_EQ(GUX_LoadInternatDLL("talvo"), 0);  // present but cannot be loaded
  EXPECT_EQ(GU4_GetResourceInstance(0), nullptr);
}

TEST_F(International, HelpNamesPreferTheUsersLanguageThenEnglish) {
  char out[64];
  EXPECT_EQ(GUX_BuildHelpName("C:\\Help", out, sizeof out), 0);  // no help base name
  utiltest::add_resource_module("gux_help.dll", ModuleBuilder().group(GUX_GROUP_HELPFILES, {{1, "talvo", 0}}));
  language("fr_FR");
  EXPECT_EQ(GUX_BuildHelpName("C:\\Help", out, sizeof out), 0);
  EXPECT_STREQ(out, "");
  testsupport::write_file("drive_c/Help/talvoenu.hlp", "");
  EXPECT_EQ(GUX_BuildHelpName("C:\\Help", out, sizeof out), 1);
  EXPECT_STREQ(out, "C:\\Help\\talvoenu.hlp");
  testsupport::write_file("drive_c/Help/talvoFRA.hlp", "");
  EXPECT_EQ(GUX_BuildHelpName("C:\\Help\\", out, sizeof out), 1);
  EXPECT_STREQ(out, "C:\\Help\\talvoFRA.hlp");
  EXPECT_EQ(GUX_BuildHelpName("C:\\Help", out, 8), 0);  // the directory is longer than the buffer
}

}  // namespace
