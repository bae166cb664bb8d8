#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/profile.h"
#include "support/test_home.h"

namespace {

const char kSample[] =
    "; settings of the workstation\r\n"
    "[CustomerInfo]\r\n"
    "  CompanyName = Corvane Labs  \r\n"
    "CharSet=128\r\n"
    "Quoted=\"  spaced  \"\r\n"
    "Empty=\r\n"
    "just text\r\n"
    "\r\n"
    "[ Files ]\r\n"
    "V20Search=C:\\Data\r\n";

class Profile : public testing::Test {
 protected:
  void SetUp() override { path_ = testsupport::write_file("windows/Talvo32.ini", kSample); }
  void TearDown() override { std::filesystem::remove_all(testsupport::home() + "/windows"); }

  static std::string get(const char* section, const char* key, const char* fallback = "-") {
    char buffer[64];
    GetPrivateProfileStringA(section, key, fallback, buffer, sizeof buffer, "Talvo32.ini");
    return buffer;
  }

  std::string path_;
};

struct ReadCase {
  const char* section;
  const char* key;
  const char* expected;
};

class ProfileReads : public Profile, public testing::WithParamInterface<ReadCase> {};

TEST_P(ProfileReads, FindNamesWithoutRegardToCaseAndTrimValues) {
  EXPECT_EQ(get(GetParam().section, GetParam().key), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfileReads,
                         testing::Values(ReadCase{"CustomerInfo", "CompanyName", "Corvane Labs"},
                                         ReadCase{"customerinfo", "COMPANYNAME", "Corvane Labs"},
                                         ReadCase{"CustomerInfo", "Quoted", "  spaced  "},
                                         ReadCase{"CustomerInfo", "Empty", ""},
                                         ReadCase{"files", "v20search", "C:\\Data"},
                                         ReadCase{"CustomerInfo", "just text", "-"},
                                         ReadCase{"CustomerInfo", "V20Search", "-"},
                                         ReadCase{"Nowhere", "CharSet", "-"}));

TEST_F(Profile, AbsentKeysGiveTheDefaultWithoutTrailingBlanksAndCopiesAreCut) {
  char buffer[8];
  EXPECT_EQ(GetPrivateProfileStringA("x", "y", "dflt   ", buffer, sizeof buffer, "Talvo32.ini"), 4u);
  EXPECT_STREQ(buffer, "dflt");
  EXPECT_EQ(GetPrivateProfileStringA("x", "y", nullptr, buffer, sizeof buffer, "Talvo32.ini"), 0u);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(GetPrivateProfileStringA("CustomerInfo", "CompanyName", "", buffer, sizeof buffer, "Talvo32.ini"), 7u);
  EXPECT_STREQ(buffer, "Corvane");
  EXPECT_EQ(GetPrivateProfileStringA("CustomerInfo", "CompanyName", "", buffer, 0, "Talvo32.ini"), 0u);
}

TEST_F(Profile, ANullKeyListsTheKeysAndANullSectionTheSections) {
  char buffer[64];
  const std::string keys("CompanyName\0CharSet\0Quoted\0Empty\0\0", 34);
  EXPECT_EQ(GetPrivateProfileStringA("CUSTOMERINFO", nullptr, "", buffer, sizeof buffer, "Talvo32.ini"), 33u);
  EXPECT_EQ(std::string(buffer, 34), keys);
  EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer, "Talvo32.ini"), 19u);
  EXPECT_EQ(std::string(buffer, 20), std::string("CustomerInfo\0Files\0\0", 20));
  char small[10];
  EXPECT_EQ(GetPrivateProfileStringA("CustomerInfo", nullptr, "", small, sizeof small, "Talvo32.ini"), 8u);
  EXPECT_EQ(std::string(small, 10), std::string("CompanyN\0\0", 10));
  EXPECT_EQ(GetPrivateProfileStringA("Nowhere", nullptr, "", buffer, sizeof buffer, "Talvo32.ini"), 0u);
  EXPECT_EQ(buffer[0], '\0');
}

struct IntCase {
  const char* value;  // null: key absent
  int expected;
};

class ProfileInts : public Profile, public testing::WithParamInterface<IntCase> {};

TEST_P(ProfileInts, TakeTheLeadingDigits) {
  if (GetParam().value != nullptr) {
    ASSERT_TRUE(WritePrivateProfileStringA("Debug", "SSVerify", GetParam().value, "Talvo32.ini"));
  }
  EXPECT_EQ(static_cast<int>(GetPrivateProfileIntA("Debug", "SSVerify", 77, "Talvo32.ini")), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfileInts,
                         testing::Values(IntCase{"12abc", 12}, IntCase{"abc", 0}, IntCase{"-5", -5},
                                         IntCase{"0x1F", 31}, IntCase{" 7 ", 7}, IntCase{"", 77},
                                         IntCase{nullptr, 77}));

TEST_F(Profile, WritesKeepCommentsAndOtherLinesAndPlaceNewKeysInTheirSection) {
  ASSERT_TRUE(WritePrivateProfileStringA("customerinfo", "CHARSET", "0", "Talvo32.ini"));
  ASSERT_TRUE(WritePrivateProfileStringA("CustomerInfo", "UseLogin", "1", "Talvo32.ini"));
  ASSERT_TRUE(WritePrivateProfileStringA("CustomerInfo", "Quoted", nullptr, "Talvo32.ini"));
  ASSERT_TRUE(WritePrivateProfileStringA("Debug", "SSVerify", "1", "Talvo32.ini"));
  ASSERT_TRUE(WritePrivateProfileStringA("Nowhere", "x", nullptr, "Talvo32.ini"));  // nothing to delete
  EXPECT_EQ(testsupport::read_file(path_),
            "; settings of the workstation\r\n"
            "[CustomerInfo]\r\n"
            "  CompanyName = Corvane Labs  \r\n"
            "CharSet=0\r\n"
            "Empty=\r\n"
            "just text\r\n"
            "UseLogin=1\r\n"
            "\r\n"
            "[ Files ]\r\n"
            "V20Search=C:\\Data\r\n"
            "[Debug]\r\n"
            "SSVerify=1\r\n");
}

TEST_F(Profile, ANullKeyDeletesTheSectionAndANullSectionFlushes) {
  ASSERT_TRUE(WritePrivateProfileStringA("CUSTOMERINFO", nullptr, nullptr, "Talvo32.ini"));
  EXPECT_EQ(testsupport::read_file(path_), "; settings of the workstation\r\n[ Files ]\r\nV20Search=C:\\Data\r\n");
  EXPECT_TRUE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, "Talvo32.ini"));
}

TEST_F(Profile, BareNamesLiveInTheWindowsFolderFoundWithoutRegardToCase) {
  EXPECT_EQ(platform::profile_path("TALVO32.INI"), path_);
  EXPECT_EQ(get("Files", "V20Search"), "C:\\Data");
  ASSERT_TRUE(WritePrivateProfileStringA("ScreenWheel", "1", "KBr", "BenchData.ini"));
  EXPECT_EQ(testsupport::read_file(testsupport::home() + "/windows/BenchData.ini"), "[ScreenWheel]\r\n1=KBr\r\n");
  EXPECT_EQ(platform::profile_path("C:\\Talvo\\BenchData.ini"), testsupport::home() + "/drive_c/Talvo/BenchData.ini");
}

TEST_F(Profile, AFileInAMissingFolderIsNotWrittenAndReadsGiveDefaults) {
  EXPECT_FALSE(WritePrivateProfileStringA("a", "b", "c", "Q:\\missing\\folder\\x.ini"));
  EXPECT_FALSE(std::filesystem::exists(testsupport::home() + "/drive_q/missing"));
  EXPECT_EQ(GetPrivateProfileIntA("a", "b", 5, "Q:\\missing\\folder\\x.ini"), 5u);
}

TEST_F(Profile, WinIniIsTheWindowsFoldersWinIni) {
  ASSERT_TRUE(WriteProfileStringA("intl", "sDecimal", ","));
  EXPECT_EQ(testsupport::read_file(testsupport::home() + "/windows/win.ini"), "[intl]\r\nsDecimal=,\r\n");
  char buffer[4];
  EXPECT_EQ(GetProfileStringA("Intl", "SDECIMAL", ".", buffer, sizeof buffer), 1u);
  EXPECT_STREQ(buffer, ",");
  EXPECT_EQ(GetProfileIntA("intl", "iDate", 2), 2u);
}

}  // namespace
