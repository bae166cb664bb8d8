#include <cstring>

#include "platform/profile.h"
#include "util_fixture.h"

namespace {

using utiltest::ModuleBuilder;

constexpr const char* kBench = "SOFTWARE\\Corvane Instrument\\Bench";

class RegistryHelpers : public utiltest::Utilities {
 protected:
  static void set_value(const char* path, const char* name, DWORD type, const std::string& bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
  }
};

TEST_F(RegistryHelpers, ValuesAreCopiedByTypeAndTextsAlwaysBoundedAndTerminated) {
  set_value(GU9_TALVO_KEY, "Ten", REG_SZ, std::string("123456789\0", 10));
  set_value(GU9_TALVO_KEY, "Bytes", REG_BINARY, "ABCDEFGH");
  set_value(GU9_TALVO_KEY, "Dword", REG_DWORD, std::string("\x07\0\0\0", 4));
  set_value(GU9_TALVO_KEY, "Nothing", REG_NONE, "zz");
  char buffer[16];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GU9_GetKeyValue(GU9_TALVO_KEY, "Ten", HKEY_LOCAL_MACHINE, 8, buffer), 1);
  EXPECT_EQ(std::string(buffer, 9), std::string("1234567\0x", 9));
  EXPECT_EQ(GU9_GetKeyValue(GU9_TALVO_KEY, "Bytes", HKEY_LOCAL_MACHINE, 3, buffer), 1);
  EXPECT_EQ(std::string(buffer, 4), "ABC4");
  uint32_t dword = 0;
  EXPECT_EQ(GU9_GetKeyValue(GU9_TALVO_KEY, "Dword", HKEY_LOCAL_MACHINE, 4, &dword), 1);
  EXPECT_EQ(dword, 7u);
  EXPECT_EQ(GU9_GetKeyValue(GU9_TALVO_KEY, "Nothing", HKEY_LOCAL_MACHINE, 4, buffer), 0);
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GU9_GetKeyStringValue(GU9_TALVO_KEY, "Bytes", HKEY_LOCAL_MACHINE, 5, buffer), 1);
  EXPECT_EQ(std::string(buffer, 6), std::string("ABCD\0x", 6));
  dword = 99;
  EXPECT_EQ(GU9_GetDWordKeyValue(GU9_TALVO_KEY, "Missing", HKEY_LOCAL_MACHINE, &dword), 0);
  EXPECT_EQ(dword, 99u);
  EXPECT_EQ(GU9_GetDWordKeyValue("SOFTWARE\\Nobody", "x", HKEY_LOCAL_MACHINE, &dword), 0);
}

TEST_F(RegistryHelpers, WritesCreatesEnumeratesAndDeletes) {
  GU9_CreateKey(GU9_TALVO_KEY, "SmartAcc");
  const uint32_t value = 5;
  EXPECT_EQ(GU9_SetDWordKeyValue(GU9_TALVO_KEY, "COGMETHOD", &value, 4), 1);
  EXPECT_EQ(GU9_SetStringKeyValue(GU9_TALVO_KEY, "Directory", "C:\\Talvo\\", 10), 1);
  EXPECT_EQ(GU9_SetStringKeyValue("SOFTWARE\\Nobody", "x", "y", 2), 0);  // only existing keys
  uint32_t read = 0;
  EXPECT_EQ(GU9_GetDWordKeyValue(GU9_TALVO_KEY, "cogmethod", HKEY_LOCAL_MACHINE, &read), 1);
  EXPECT_EQ(read, 5u);
  HKEY key = GU9_RegOpenKey(GU9_TALVO_KEY, HKEY_LOCAL_MACHINE, KEY_READ);
  ASSERT_NE(key, nullptr);
  char name[GU9_PATH_SIZE];
  EXPECT_EQ(GU9_RegEnumKey(key, 0, name, sizeof name), 1);
  EXPECT_STREQ(name, "SmartAcc");
  EXPECT_EQ(GU9_RegEnumKey(key, 1, name, sizeof name), 0);
  EXPECT_EQ(GU9_RegCloseKey(key), 1);
  EXPECT_EQ(GU9_DeleteValue(GU9_TALVO_KEY, "COGMETHOD"), 1);
  EXPECT_EQ(GU9_GetDWordKeyValue(GU9_TALVO_KEY, "COGMETHOD", HKEY_LOCAL_MACHINE, &read), 0);
  EXPECT_EQ(GU9_DeleteKey("SOFTWARE\\Corvane Instrument", "Talvo"), 0);  // it has a subkey
  EXPECT_EQ(GU9_DeleteKey(GU9_TALVO_KEY, "SmartAcc"), 1);
  EXPECT_EQ(GU9_RegOpenKey(nullptr, HKEY_LOCAL_MACHINE, KEY_READ), nullptr);
}

struct BoolCase {
  const char* text;
  uint16_t result, value;
};

class BenchBools : public RegistryHelpers, public testing::WithParamInterface<BoolCase> {};

TEST_P(BenchBools, ReadTrueFalseOneAndZeroAndKeepTheDefaultOtherwise) {
  GU9_BenchSetKey("Laser", "Enabled", GetParam().text, static_cast<uint32_t>(std::strlen(GetParam().text) + 1));
  uint16_t value = 7;
  EXPECT_EQ(GU9_BenchGetKeyBool("Laser", "Enabled", 7, &value), GetParam().result);
  EXPECT_EQ(value, GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Cases, BenchBools,
                         testing::Values(BoolCase{"true", 1, 1}, BoolCase{"1", 1, 1}, BoolCase{"FALSE", 1, 0},
                                         BoolCase{"0", 1, 0}, BoolCase{"yes", 1, 7}));

TEST_F(RegistryHelpers, BenchFloatsReadWithTheLibrarysDecimalCharacter) {
  float value = 0;
  GU9_BenchSetKey(nullptr, "LaserFrequency", "9393.642", 9);
  EXPECT_EQ(GU9_BenchGetKeyFloat(nullptr, "LaserFrequency", 1.5f, &value), 1);
  EXPECT_FLOAT_EQ(value, 9393.642f);
  GU9_BenchSetKey(nullptr, "Bad", "abc", 4);
  EXPECT_EQ(GU9_BenchGetKeyFloat(nullptr, "Bad", 1.5f, &value), 0);
  EXPECT_EQ(value, 1.5f);
  EXPECT_EQ(GU9_BenchGetKeyFloat(nullptr, "Missing", 2.5f, &value), 0);
  EXPECT_EQ(value, 2.5f);
  GUX_SetInternationalChar(',', GUX_DECIMAL);
  GU9_BenchSetKey("Laser", "Comma", " +15798,25", 11);
  EXPECT_EQ(GU9_BenchGetKeyFloat("Laser", "Comma", 0.0f, &value), 1);
  EXPECT_FLOAT_EQ(value, 15798.25f);
}

TEST_F(RegistryHelpers, BenchIntegersConvertTextValuesAndReadDwordsRaw) {
  const int32_t stored = -12;
  EXPECT_EQ(GU9_BenchSetKeyInt("Collect", "Scans", &stored), 1);
  int32_t value = 0;
  EXPECT_EQ(GU9_BenchGetKeyInt("Collect", "Scans", 3, &value), 1);
  EXPECT_EQ(value, -12);
  GU9_BenchSetKey("Collect", "Gain", "16", 3);
  uint32_t dword = 0;
  EXPECT_EQ(GU9_BenchGetKeyDWord("Collect", "Gain", 1, &dword), 1);
  EXPECT_EQ(dword, 16u);  // the text's number, not its bytes
  GU9_BenchSetKey("Collect", "Word", "high", 5);
  EXPECT_EQ(GU9_BenchGetKeyDWord("Collect", "Word", 1, &dword), 0);
  EXPECT_EQ(dword, 1u);
  EXPECT_EQ(GU9_BenchSetKeyInt("Collect", nullptr, &stored), 0);
  char text[4];
  EXPECT_STREQ(GU9_BenchGetKey("Collect", "Gain", text, sizeof text), "16");
  EXPECT_EQ(GU9_BenchGetKey("Collect", "Missing", text, sizeof text), nullptr);
}

class Wheels : public RegistryHelpers {
 protected:
  void SetUp() override { set_registry_text(HKEY_LOCAL_MACHINE, GU9_TALVO_KEY, "DataDirectory", "C:\\TalvoData\\"); }
  static std::string describe(uint16_t wheel, int16_t position, uint16_t* result, uint16_t* flag) {
    char buffer[64];
    *result = GU9_GetWheelPosDescription(wheel, position, buffer, sizeof buffer, flag);
    return buffer;
  }
};

TEST_F(Wheels, DescriptionsComeFromBenchDataThenFromAssociatedStrings) {
  testsupport::write_file("drive_c/TalvoData/BenchData.ini", "[ScreenWheel]\r\n1=KBr window\r\n");
  utiltest::add_resource_module("gu9_wheels.dll", ModuleBuilder().group(16126, {{2, "CsI", 1}, {1, "unused", 0}}));
  uint16_t result = 0, flag = 9;
  EXPECT_EQ(describe(16126, 1, &result, &flag), "KBr window");
  EXPECT_EQ(result, 1);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(describe(16126, 2, &result, &flag), "CsI");
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(describe(16127, 5, &result, &flag), "");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(describe(100, 5, &result, &flag), "");
  EXPECT_EQ(result, 1);
}

TEST_F(Wheels, IdsBeyondTheWheelTableAreRefusedAndNeverWritten) {
  uint16_t result = 1, flag = 0;
  EXPECT_EQ(describe(16129, 1, &result, &flag), "");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(GU9_SetWheelPosDescription(16129, 1, "x"), 0);
  EXPECT_EQ(GU9_SetWheelPosDescription(16125, 1, "x"), 0);
  EXPECT_FALSE(testsupport::file_exists(testsupport::home() + "/drive_c/TalvoData/BenchData.ini"));
  std::filesystem::create_directories(testsupport::home() + "/drive_c/TalvoData");
  EXPECT_EQ(GU9_SetWheelPosDescription(16128, -3, "Gold"), 1);
  EXPECT_EQ(testsupport::read_file(testsupport::home() + "/drive_c/TalvoData/BenchData.ini"),
            "[SecondFilterWheel]\r\n-3=Gold\r\n");
}

TEST_F(Wheels, WithoutTheDataDirectoryNothingIsRead) {
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, GU9_TALVO_KEY);
  uint16_t result = 1, flag = 0;
  EXPECT_EQ(describe(100, 1, &result, &flag), "");
  EXPECT_EQ(result, 0);
}

TEST_F(RegistryHelpers, FileAssociationsWriteTheClassKeysAndExtensions) {
  GU9_SetAssociationsToApp("C:\\Talvo\\talvo32.exe", "Talvo", "System", 2);
  auto default_value = [](const char* path) {
    char text[GU9_PATH_SIZE] = "";
    GU9_GetKeyStringValue(path, nullptr, HKEY_CLASSES_ROOT, sizeof text, text);
    return std::string(text);
  };
  EXPECT_EQ(default_value("Talvo_Spectra"), "Talvo Spectral Files");
  EXPECT_EQ(default_value("Talvo_Spectra\\DefaultIcon"), "\"C:\\Talvo\\talvo32.exe\",2");
  EXPECT_EQ(default_value("Talvo_Spectra\\Shell\\Open\\Command"), "\"C:\\Talvo\\talvo32.exe\" \"%1\"");
  EXPECT_EQ(default_value("Talvo_Spectra\\Shell\\Print\\DdeExec"), "[NewWindow;Import \"%1\";Print;CloseWindow]");
  EXPECT_EQ(default_value("Talvo_Spectra\\Shell\\Open\\DdeExec\\Topic"), "System");
  for (const char* extension : {".spa", ".SPG", ".ird", ".jdx"}) EXPECT_EQ(default_value(extension), "Talvo_Spectra");
  EXPECT_EQ(GU9_CheckFileTypeClassExists("Talvo_Spectra"), 1);
  EXPECT_EQ(GU9_IsFileTypeClassThisExe("Talvo_Spectra", "c:\\talvo\\TALVO32.EXE"), 0);  // icon 2, not 0
  GU9_SetAssociationsToKX("C:\\KX\\kx.exe", "KX", "System", 0);
  EXPECT_EQ(GU9_IsFileTypeClassThisExe("KX_Methods", "c:\\kx\\KX.EXE"), 1);
  EXPECT_EQ(default_value("KX_Methods\\Shell\\Print\\DdeExec"), "");
  EXPECT_EQ(default_value(".qnt"), "KX_Methods");
  EXPECT_EQ(GU9_CheckFileTypeClassExists("Nobody"), 0);
}

}  // namespace
