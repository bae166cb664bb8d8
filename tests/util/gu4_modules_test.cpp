#include <cstring>

#include "platform/user.h"
#include "util_fixture.h"

namespace {

using utiltest::ModuleBuilder;

class DllTable : public utiltest::Utilities {};

HINSTANCE fake_instance(uintptr_t n) { return reinterpret_cast<HINSTANCE>(0x10000 + n * 0x10); }

VS_FIXEDFILEINFO version(uint16_t a, uint16_t b, uint16_t c, uint16_t d, DWORD flags) {
  VS_FIXEDFILEINFO fixed{};
  fixed.dwSignature = VS_FFI_SIGNATURE;
  fixed.dwFileVersionMS = static_cast<DWORD>(a) << 16 | b;
  fixed.dwFileVersionLS = static_cast<DWORD>(c) << 16 | d;
  fixed.dwFileFlags = flags;
  return fixed;
}

std::string version_block(const VS_FIXEDFILEINFO& fixed, const std::string& pairs) {
  return std::string(reinterpret_cast<const char*>(&fixed), sizeof fixed) + pairs + std::string(1, '\0');
}

TEST_F(DllTable, RegisteringANameTwiceKeepsOneEntryAndCountsLibraryLoads) {
  ASSERT_EQ(GU4_AddDLLInst("C:\\Talvo\\talvosea.dll", fake_instance(1), 1), 1);
  ASSERT_EQ(GU4_AddDLLInst("TALVOSEA.DLL", fake_instance(2), 0), 1);
  EXPECT_EQ(GU4_GetDLLInst("talvosea.dll"), fake_instance(1));
  EXPECT_EQ(GU4_GetResourceInstance(1), nullptr);
  EXPECT_EQ(GU4_IsDLLDynamicallyLoaded(fake_instance(1)), 1);
  ASSERT_EQ(GU4_AddDLLInst("talvo_ap.dll", fake_instance(3), 0), 1);
  EXPECT_EQ(GU4_IsDLLDynamicallyLoaded(fake_instance(3)), 0);
  EXPECT_EQ(GU4_IsSearchingAll(fake_instance(3)), 0);
  EXPECT_EQ(GU4_IsSearchingAll(fake_instance(9)), 1);
}

TEST_F(DllTable, LongNamesAreKeptAsTheirFirstTwelveCharacters) {
  ASSERT_EQ(GU4_AddDLLInst("d:\\x\\averylongname.dll", fake_instance(1), 0), 1);
  char name[GU4_DLL_NAME_LENGTH + 1];
  EXPECT_EQ(GU4_GetDLLName(fake_instance(1), name), 1);
  EXPECT_STREQ(name, "averylongnam");
  EXPECT_EQ(GU4_GetDLLInst("AVERYLONGNAME.DLL"), fake_instance(1));  // compared in the cut form
  EXPECT_EQ(GU4_GetDLLName(fake_instance(5), name), 0);
  EXPECT_STREQ(name, "Unknown DLL");
}

TEST_F(DllTable, RemovingAnEntryMovesTheLaterOnesDownWhole) {
  for (uintptr_t i = 0; i < 3; ++i) GU4_AddDLLInst((std::string("m") + char('0' + i) + ".dll").c_str(), fake_instance(i + 1), 0);
  GU4_AddResourceInstance(fake_instance(3));
  ASSERT_EQ(GU4_RemoveDLLInst(fake_instance(2)), 1);
  EXPECT_EQ(GU4_GetResourceInstance(0), fake_instance(1));
  EXPECT_EQ(GU4_GetResourceInstance(1), fake_instance(3));
  EXPECT_EQ(GU4_GetResourceInstance(2), nullptr);
  EXPECT_EQ(GU4_FindTranslatedResource("x", "y"), nullptr);  // fake modules have no resources
  EXPECT_EQ(GU4_RemoveDLLInst(fake_instance(2)), 0);
}

TEST_F(DllTable, AFullTableRefusesNewEntries) {
  for (uintptr_t i = 0; i < GU4_DLL_TABLE_SIZE; ++i)
    ASSERT_EQ(GU4_AddDLLInst(("dll" + std::to_string(i)).c_str(), fake_instance(i + 1), 0), 1);
  EXPECT_EQ(GU4_AddDLLInst("onemore.dll", fake_instance(100), 0), 0);
  EXPECT_EQ(GU4_AddDLLInst("dll7", fake_instance(8), 1), 1);  // a known name still counts its loads
  EXPECT_EQ(GU4_GetResourceInstance(GU4_DLL_TABLE_SIZE), nullptr);
}

TEST_F(DllTable, ResourcesAreSearchedNewestResourceModuleFirst) {
  HMODULE own = utiltest::add_resource_module("gu4a_own.dll", ModuleBuilder().string(7, "own seven").string(8, "own eight"));
  char buffer[32];
  ASSERT_NE(GU4_GetString(7, buffer, sizeof buffer), nullptr);
  EXPECT_STREQ(buffer, "own seven");
  HMODULE language = utiltest::add_resource_module("gu4a_lang.dll", ModuleBuilder().string(7, "sieben"));
  EXPECT_STREQ(GU4_GetString(7, buffer, sizeof buffer), "sieben");
  EXPECT_STREQ(GU4_GetString(8, buffer, sizeof buffer), "own eight");
  EXPECT_EQ(GU4_GetString(9, buffer, sizeof buffer), nullptr);
  EXPECT_EQ(GU4_FindTranslatedResource(MAKEINTRESOURCEA(7), RT_STRING), language);

  HINSTANCE instance = nullptr;
  int16_t index = 0;
  ASSERT_NE(GU4_FindFirstResource(&instance, MAKEINTRESOURCEA(7), RT_STRING, &index), nullptr);
  EXPECT_EQ(instance, language);
  ASSERT_NE(GU4_FindNextResource(&instance, MAKEINTRESOURCEA(7), RT_STRING, &index), nullptr);
  EXPECT_EQ(instance, own);
  EXPECT_EQ(GU4_FindNextResource(&instance, MAKEINTRESOURCEA(7), RT_STRING, &index), nullptr);
}

TEST_F(DllTable, ReadsVersionsAndFlagsFromTheVersionResource) {
  const std::string block =
      version_block(version(2, 5, 300, 7, 0x01 | 0x04 | 0x100), std::string("FileVersion\0" "2.5.300.7\0", 22));
  HMODULE module = utiltest::add_resource_module("gu4a_ver.dll", ModuleBuilder().raw(RT_VERSION, MAKEINTRESOURCEA(1), block));
  uint16_t parts[4] = {};
  char text[80];
  ASSERT_EQ(GU4_GetVersionInfo(module, text, &parts[0], &parts[1], &parts[2], &parts[3]), 1);
  EXPECT_EQ(std::vector<uint16_t>(parts, parts + 4), (std::vector<uint16_t>{2, 5, 300, 7}));
  EXPECT_STREQ(text, "2.5.300.7 Debug  Patched    Unknown");  // the clear flags leave empty texts
  char version_text[6];
  EXPECT_EQ(GU4_GetFileVersionString(module, version_text, sizeof version_text), 1);
  EXPECT_STREQ(version_text, "2.5.3");  // cut to the buffer and terminated
  uint16_t by_file[4] = {};
  EXPECT_EQ(GU4_GetFileVersion_ByFilename("C:\\x\\gu4a_ver.dll", &by_file[0], &by_file[1], &by_file[2], &by_file[3]), 1);
  EXPECT_EQ(by_file[2], 300);
  EXPECT_EQ(GU4_GetVersionInfo(fake_instance(1), nullptr, nullptr, nullptr, nullptr, nullptr), 0);
}

TEST_F(DllTable, OnlyDllsNewerThanTheModuleAreReported) {
  HMODULE own = utiltest::ModuleBuilder()
                    .raw(RT_VERSION, MAKEINTRESOURCEA(1), version_block(version(3, 1, 0, 0, 0), ""))
                    .install("gu4a_main.dll");
  HMODULE older = utiltest::ModuleBuilder()
                      .raw(RT_VERSION, MAKEINTRESOURCEA(1), version_block(version(2, 9, 0, 0, 0), ""))
                      .install("gu4a_older.dll");
  HMODULE newer = utiltest::ModuleBuilder()
                      .raw(RT_VERSION, MAKEINTRESOURCEA(1), version_block(version(3, 2, 0, 0, 0), ""))
                      .install("gu4a_newer.dll");
  GU4_AddDLLInst("gu4a_older.dll", older, 0);
  GU4_AddDLLInst("gu4a_newer.dll", newer, 0);
  platform::clear_message_boxes();
  GU4_SetLevelForDllVersionVerification(1);  // majors only: 3 against 2 and 3
  ASSERT_EQ(GU4_CheckDllVersions(own), 1);
  EXPECT_TRUE(platform::message_boxes().empty());
  GU4_SetDLLVersionVerified(nullptr, 0);
  GU4_SetLevelForDllVersionVerification(2);
  ASSERT_EQ(GU4_CheckDllVersions(own), 1);
  ASSERT_EQ(platform::message_boxes().size(), 1u);
  EXPECT_EQ(platform::message_boxes()[0].text, "Dll Version newer than expected.");
  EXPECT_EQ(platform::message_boxes()[0].caption, "gu4a_newer.dll");
  ASSERT_EQ(GU4_CheckDllVersions(own), 1);  // each entry is checked once
  EXPECT_EQ(platform::message_boxes().size(), 1u);
  platform::clear_message_boxes();
}

TEST_F(DllTable, ExecutableSlotAnswersByInstanceWindowOrObject) {
  HWND window = reinterpret_cast<HWND>(0x44);
  EXPECT_EQ(GU4_GetExeInfoByInst(nullptr, nullptr, nullptr), 0);
  GU4_AddToExeTable(fake_instance(1), window, 0x99);
  HWND found_window = nullptr;
  uint32_t object = 0;
  EXPECT_EQ(GU4_GetExeInfoByInst(nullptr, &found_window, &object), 1);
  EXPECT_EQ(found_window, window);
  EXPECT_EQ(object, 0x99u);
  EXPECT_EQ(GU4_GetExeInfoByInst(fake_instance(2), &found_window, &object), 0);
  HINSTANCE instance = nullptr;
  EXPECT_EQ(GU4_GetExeInfoByGlobalObj(&instance, &found_window, 0x99), 1);
  EXPECT_EQ(instance, fake_instance(1));
  EXPECT_EQ(GU4_RemoveExeOwnerTask(window, fake_instance(1)), 0);
  EXPECT_EQ(GU4_GetExeInfoByHWnd(&instance, window, &object), 0);
}

TEST_F(DllTable, SecurityServicesNeedTheSignatureLibraryAndAHostProgram) {
  GU4_AddDLLInst("talvo_cr.dll", fake_instance(1), 0);
  EXPECT_EQ(GU4_SupportsSecurityServices(), 0);
  GU4_AddDLLInst("C:\\Talvo\\TVQRK32.EXE", fake_instance(2), 0);
  EXPECT_EQ(GU4_SupportsSecurityServices(), 1);
}

int g_secondary_calls = 0;
void count_secondary_init() { ++g_secondary_calls; }

TEST_F(DllTable, SecondaryInitRunsOnceForMarkedModules) {
  static const platform::ModuleExport exports[] = {{"SecondaryInit", reinterpret_cast<FARPROC>(&count_secondary_init)}};
  HMODULE module = platform::register_builtin_module("gu4a_second.dll", exports, 1);
  GU4_AddDLLInst("gu4a_second.dll", module, 0);
  EXPECT_EQ(GU4_RequiresSecondaryInit("GU4A_SECOND.DLL"), 1);
  GU4_ExecuteAllSecondaryInitFunctions();
  GU4_ExecuteAllSecondaryInitFunctions();
  EXPECT_EQ(g_secondary_calls, 1);
}

}  // namespace
