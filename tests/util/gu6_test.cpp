#include <cstdlib>

#include "platform/profile.h"
#include "util_fixture.h"

namespace {

class Configuration : public utiltest::Utilities {
 protected:
  void TearDown() override {
    unsetenv("TALVODATA");
    Utilities::TearDown();
  }
};

TEST_F(Configuration, TheNameStartsAsTalvo32IniAndIsCopiedOnlyWhenItFits) {
  char buffer[12];  // "Talvo32.ini" has 11 characters
  EXPECT_EQ(GU4_GetIniFileForTask(buffer, 11), 0);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(GU4_GetIniFileForTask(buffer, 12), 1);
  EXPECT_STREQ(buffer, "Talvo32.ini");
  const std::string long_name(300, 'n');
  GU4_SetIniFileForTask(long_name.c_str());
  char wide[300];
  EXPECT_EQ(GU4_GetIniFileForTask(wide, sizeof wide), 1);
  EXPECT_EQ(std::string(wide), std::string(260, 'n'));
}

TEST_F(Configuration, ReadsWritesDeletesAndEmptyValuesReadAsAbsent) {
  char value[GU6_CONFIG_VALUE_LENGTH + 1];
  EXPECT_EQ(GU6_SetConfig("CustomerInfo", "CompanyName", "Corvane"), 1);
  EXPECT_STREQ(GU6_GetConfig("customerinfo", "companyname", value), "Corvane");
  EXPECT_EQ(GU6_SetConfig("CustomerInfo", "CompanyName", ""), 0);
  WritePrivateProfileStringA("CustomerInfo", "Empty", "", "Talvo32.ini");
  value[0] = 'x';
  EXPECT_EQ(GU6_GetConfig("CustomerInfo", "Empty", value), nullptr);
  EXPECT_EQ(value[0], '\0');
  EXPECT_EQ(GU6_DeleteConfig("CustomerInfo", "CompanyName"), 1);
  EXPECT_EQ(GU6_GetConfig("CustomerInfo", "CompanyName", value), nullptr);
  EXPECT_EQ(GU6_GetConfigInt("Debug", "SSVerify", 3), 3);
  GU6_SetConfig("Debug", "SSVerify", "1");
  EXPECT_EQ(GU6_GetConfigInt("Debug", "SSVerify", 3), 1);
}

TEST_F(Configuration, AnEmptyNameFailsEveryReaderAndWriter) {
  GU6_SetConfig("Files", "V20Search", "1");
  GU4_SetIniFileForTask("");
  char value[GU6_CONFIG_VALUE_LENGTH + 1];
  EXPECT_EQ(GU6_GetConfig("Files", "V20Search", value), nullptr);
  EXPECT_EQ(GU6_GetConfigInt("Files", "V20Search", 9), 9);
  EXPECT_EQ(GU6_SetConfig("Files", "V20Search", "2"), 0);
  EXPECT_EQ(GU6_StartEnumList("Files"), nullptr);
  EXPECT_STREQ(GU6_GetConfigTALVO("Files", "V20Search", value), "1");  // always Talvo32.ini
}

TEST_F(Configuration, SwappingGoesToTheSharedSettingsFileAndBack) {
  setenv("TALVODATA", "D:\\TalvoData", 1);
  GU4_SetIniFileForTask("Task.ini");
  EXPECT_EQ(GUX_SwapIniFile(1), 1);
  char name[300];
  GU4_GetIniFileForTask(name, sizeof name);
  EXPECT_STREQ(name, "D:\\TalvoData\\TalvoSettings.ini");
  EXPECT_EQ(GUX_SwapIniFile(0), 1);
  GU4_GetIniFileForTask(name, sizeof name);
  EXPECT_STREQ(name, "Task.ini");
  GU6_GetOldLoginIniFilename(name, sizeof name);
  EXPECT_STREQ(name, "D:\\TalvoData\\tv32_log.ini");
}

TEST_F(Configuration, KeyListsWalkToTheEmptyTextAndGiveTheLargestNumber) {
  testsupport::write_file("windows/Talvo32.ini", "[Wheel]\n3=a\n12=b\nx=c\n");
  char* list = GU6_StartEnumList("wheel");
  ASSERT_NE(list, nullptr);
  EXPECT_STREQ(list, "3");
  EXPECT_STREQ(GU6_NextEnumList(list), "12");
  EXPECT_STREQ(GU6_NextEnumList(GU6_NextEnumList(GU6_NextEnumList(list))), "");
  EXPECT_EQ(GU6_MaxEnumList(list), 12);
  EXPECT_EQ(GU6_MaxEnumList(nullptr), 0);
}

}  // namespace
