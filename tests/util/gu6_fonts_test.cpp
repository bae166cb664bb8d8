// Fonts from their descriptions, the screen and printer tables, printer
// twins of screen ids, fonts by name, and measuring with the font the print
// state chooses.
#include "platform/user.h"
#include "util_fixture.h"

namespace {

using utiltest::ModuleBuilder;

class Fonts : public utiltest::Utilities {
 protected:
  void SetUp() override { dc_ = CreateCompatibleDC(nullptr); }
  void TearDown() override {
    GU8_NullPrintVars();
    GU6_DestroyAllFonts(1);
    GU6_DestroyAllPrtFonts(1);
    DeleteDC(dc_);
    Utilities::TearDown();
  }
  static LOGFONTA description(HFONT font) {
    LOGFONTA logical{};
    EXPECT_EQ(GetObjectA(font, sizeof logical, &logical), static_cast<int>(sizeof logical));
    return logical;
  }

  HDC dc_ = nullptr;
};

TEST_F(Fonts, DescriptionsGiveHeightWeightAndSlant) {
  // At 96 pixels per inch a point is 4/3 pixel, rounded to the nearest.
  const struct {
    const char* text;
    LONG height, weight;
    BYTE italic;
    const char* face;
  } cases[] = {{"BOLD ITALIC,10,Arial", 13, FW_BOLD, 1, "Arial"},
               {"OBLIQUE,12,Courier", 16, FW_MEDIUM, 1, "Courier"},
               {"medium,8,Arial", 11, FW_MEDIUM, 0, "Arial"},
               {"Regular,9,Times New Roman", 12, FW_NORMAL, 0, "Times New Roman"},
               {"bold,7,Small Fonts", 9, FW_BOLD, 0, "Small Fonts"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const HFONT font = GU6_CreateFontFromStr(dc_, c.text, 0);
    ASSERT_NE(font, nullptr);
    const LOGFONTA logical = description(font);
    EXPECT_EQ(logical.lfHeight, c.height);
    EXPECT_EQ(logical.lfWeight, c.weight);
    EXPECT_EQ(logical.lfItalic, c.italic);
    EXPECT_EQ(logical.lfEscapement, 0);
    EXPECT_STREQ(logical.lfFaceName, c.face);
    DeleteObject(font);
  }
  for (const char* incomplete : {"BOLD,10", ",10,Arial", "BOLD,,Arial", "BOLD,10,", ""})
    EXPECT_EQ(GU6_CreateFontFromStr(dc_, incomplete, 0), nullptr) << incomplete;
  const HFONT turned = GU6_CreateFontFromStr(dc_, "Regular,10,Arial", 1);
  EXPECT_EQ(description(turned).lfEscapement, 900);
  DeleteObject(turned);
}

TEST_F(Fonts, StyleWordsAndCharacterSetComeFromTheResourcesAndConfiguration) {
  utiltest::add_resource_module(
      "deu.dll", ModuleBuilder().group(GU6_GROUP_FONT_STYLES, {{2, "Fett", 0}, {3, "Kursiv", 0}, {5, "Schraeg", 0}}));
  GU6_SetConfig("CustomerInfo", "CharSet", "204");
  const HFONT font = GU6_CreateFontFromStr(dc_, "fett kursiv,10,Arial", 0);
  const LOGFONTA logical = description(font);
  EXPECT_EQ(logical.lfWeight, FW_BOLD);
  EXPECT_EQ(logical.lfItalic, 1);
  EXPECT_EQ(logical.lfCharSet, 204);
  DeleteObject(font);
  const HFONT oblique = GU6_CreateFontFromStr(dc_, "SCHRAEG,10,Arial", 0);
  EXPECT_EQ(description(oblique).lfWeight, FW_MEDIUM);
  DeleteObject(oblique);
}

TEST_F(Fonts, DynamicFontsGetAPrinterTwinAndKeepTheirFirstDescription) {
  EXPECT_EQ(GU6_GetDynamicFontID(), -1);  // no table yet
  ASSERT_EQ(GU6_CreateFontEx(dc_, 5, "Regular,10,Arial"), 1);
  EXPECT_EQ(GU6_NewGetPrtFont(5), GetStockObject(SYSTEM_FONT));  // fixed fonts have none
  EXPECT_EQ(GU6_GetDynamicFontID(), 100);
  ASSERT_EQ(GU6_CreateFontEx(dc_, 100, "Regular,20,Arial"), 1);
  EXPECT_EQ(GU6_GetDynamicFontID(), 101);
  EXPECT_EQ(GU6_IsFontAvailable(100), 1);
  EXPECT_EQ(description(GU6_NewGetPrtFont(100)).lfHeight, 27);
  const HFONT first = GU6_NewGetFont(100);
  ASSERT_EQ(GU6_CreateFontEx(dc_, 100, "Regular,30,Arial"), 1);
  EXPECT_EQ(GU6_NewGetFont(100), first);

  ASSERT_EQ(GU6_ModifyFont(dc_, 100, "Regular,30,Arial"), 1);
  EXPECT_EQ(description(GU6_NewGetFont(100)).lfHeight, 40);
  const HFONT modified = GU6_NewGetFont(100);
  EXPECT_EQ(GU6_ModifyFont(dc_, 100, "broken"), 0);
  EXPECT_EQ(GU6_NewGetFont(100), modified);  // the old font stays
  EXPECT_EQ(GU6_ModifyFont(dc_, 101, "Regular,30,Arial"), 0);

  // Fixed fonts go with DestroyAllFonts(0); dynamic ones stay until all.
  GU6_DestroyAllFonts(0);
  EXPECT_EQ(GU6_IsFontAvailable(5), 0);
  EXPECT_EQ(GU6_IsFontAvailable(100), 1);
  EXPECT_EQ(GU6_DestroyFont(100), 1);
  EXPECT_EQ(GU6_IsFontAvailable(100), 0);
  EXPECT_EQ(GU6_NewGetPrtFont(100), GetStockObject(SYSTEM_FONT));
  GU6_DestroyAllFonts(1);
  EXPECT_EQ(GU6_GetDynamicFontID(), -1);
}

TEST_F(Fonts, AFullTableRefusesNewIds) {
  for (int16_t id = 1; id <= GU6_FONT_TABLE_SIZE; ++id) ASSERT_EQ(GU6_CreateFontEx(dc_, id, "Regular,8,Arial"), 1);
  EXPECT_EQ(GU6_CreateFontEx(dc_, 40, "Regular,8,Arial"), 0);
  EXPECT_EQ(GU6_CreateFontEx(dc_, 3, "Regular,8,Arial"), 1);  // already there
  EXPECT_EQ(GU6_GetDynamicFontID(), 100);
}

TEST_F(Fonts, PrinterFontsAboveTheFirstPrinterIdAreTurned) {
  ASSERT_EQ(GU6_CreatePrtFontEx(dc_, 1030, "Regular,8,Arial"), 1);
  ASSERT_EQ(GU6_CreatePrtFontEx(dc_, 150, "Regular,8,Arial"), 1);
  EXPECT_EQ(description(GU6_NewGetPrtFont(1030)).lfEscapement, 900);
  EXPECT_EQ(description(GU6_NewGetPrtFont(150)).lfEscapement, 0);
  ASSERT_EQ(GU6_ModifyPrtFont(dc_, 1030, "Regular,10,Arial"), 1);
  EXPECT_EQ(description(GU6_NewGetPrtFont(1030)).lfEscapement, 900);
  EXPECT_EQ(GU6_IsFontAvailable(150), 0);  // the printer table only
  EXPECT_EQ(GU6_GetFontType(99), GU6_FONT_FIXED);
  EXPECT_EQ(GU6_GetFontType(1023), GU6_FONT_DYNAMIC);
  EXPECT_EQ(GU6_GetFontType(1024), GU6_FONT_PRINTER);

  // Recreating the dynamic printer fonts: ids 100 to 1023 only.
  const HFONT turned = GU6_NewGetPrtFont(1030);
  const HFONT dynamic = GU6_NewGetPrtFont(150);
  ASSERT_EQ(GU6_ReCreateAllDynamicPrtFonts(dc_), 1);
  EXPECT_EQ(GU6_NewGetPrtFont(1030), turned);
  EXPECT_NE(GU6_NewGetPrtFont(150), dynamic);
  GU6_DestroyAllPrtFonts(0);
  EXPECT_EQ(GU6_NewGetPrtFont(1030), GetStockObject(SYSTEM_FONT));
  EXPECT_NE(GU6_NewGetPrtFont(150), GetStockObject(SYSTEM_FONT));
}

TEST_F(Fonts, PrintedWindowsInColourTakeThePrinterTwinOfTheirId) {
  const HWND window = platform::create_window([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
  for (int16_t id : {21, 25, 30, 58, 59, 150, 1024 + 59, 1024 + 58}) GU6_CreatePrtFontEx(dc_, id, "Regular,8,Arial");
  GU6_CreateFontEx(dc_, 21, "Regular,9,Arial");
  const struct {
    int16_t screen, printer;
  } twins[] = {{21, 59}, {25, 58}, {20, 58}, {30, 58}, {150, 150}, {1024 + 21, 1024 + 59}, {1024 + 27, 1024 + 58},
               {22, 58} /* 60 is missing: the default printer font */};
  GU8_InitPrintVars(window, dc_, 1, 1, GU8_PRINT_COLOUR);
  for (const auto& twin : twins)
    EXPECT_EQ(GU6_NewGetFontEX(window, twin.screen), GU6_NewGetPrtFont(twin.printer)) << twin.screen;
  GU8_SetPrtFlag_PRN(window, GU8_PRINT_MONOCHROME_COPY);
  EXPECT_EQ(GU6_NewGetFontEX(window, 21), GU6_NewGetFont(21));
  GU8_NullPrintVars();
  EXPECT_EQ(GU6_NewGetFontEX(window, 21), GU6_NewGetFont(21));
}

TEST_F(Fonts, NamesFindFontsThroughTheirGroups) {
  utiltest::add_resource_module("fonts.dll", ModuleBuilder()
                                                 .group(GU6_GROUP_SCREEN_FONTS, {{21, "Axis", 0}, {22, "Title", 0}})
                                                 .group(GU6_GROUP_PRINTER_FONTS, {{59, "Axis", 0}}));
  EXPECT_EQ(GU6_CreateFont(""), 1);
  EXPECT_EQ(GU6_CreateFont("Axis"), 0);  // no screen table yet
  ASSERT_EQ(GU6_CreateFontEx(dc_, 21, "Regular,9,Arial"), 1);
  ASSERT_EQ(GU6_CreatePrtFontEx(dc_, 59, "Regular,18,Arial"), 1);
  EXPECT_EQ(GU6_CreateFont("axis"), 1);
  EXPECT_EQ(GU6_CreateFont("Legend"), 0);
  EXPECT_EQ(GU6_GetFontNumber("AXIS"), 21);
  EXPECT_EQ(GU6_GetFontNumber("Legend"), 0);
  EXPECT_EQ(GU6_GetFont("Axis"), GU6_NewGetFont(21));
  EXPECT_EQ(GU6_GetFontEX(nullptr, "Axis"), GU6_NewGetFont(21));
  EXPECT_EQ(GU6_GetPrtFont("Axis"), GU6_NewGetPrtFont(59));
  EXPECT_EQ(GU6_GetFont("Title"), GetStockObject(SYSTEM_FONT));
}

// A screen font 12 pixels high and its printer twin 24 pixels high tell
// which one measured; a font cell is half as wide as high.
TEST_F(Fonts, TextIsMeasuredWithTheFontThePrintStateChooses) {
  utiltest::add_resource_module("fonts.dll", ModuleBuilder()
                                                 .group(GU6_GROUP_SCREEN_FONTS, {{21, "Axis", 0}})
                                                 .group(GU6_GROUP_PRINTER_FONTS, {{59, "Axis", 0}}));
  const HWND window = platform::create_window([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
  ASSERT_EQ(GU6_CreateFontEx(dc_, 21, "Regular,9,Arial"), 1);
  ASSERT_EQ(GU6_CreatePrtFontEx(dc_, 59, "Regular,18,Arial"), 1);
  const HDC page = CreateCompatibleDC(nullptr);
  const auto metrics_height = [&](bool by_name) {
    TEXTMETRICA metrics{};
    const uint16_t done = by_name ? GU6_GetTextMetrics(window, "Axis", &metrics)
                                  : GU6_NewGetTextMetrics(window, 21, &metrics);
    return done != 0 ? metrics.tmHeight : -1;
  };
  const auto extent = [&](bool by_name) {
    int32_t width = -1, height = -1;
    const uint16_t done = by_name ? GU6_GetTextExtent(window, "Axis", "abcd", 0, &width, &height)
                                  : GU6_NewGetTextExtent(window, 21, "abcd", 0, &width, &height);
    return done != 0 ? std::make_pair(width, height) : std::make_pair(-1, -1);
  };
  const struct {
    int16_t flag;
    HDC print_dc;
    LONG by_id, by_name;            // metrics heights
    int32_t extent_id, extent_name;  // extent widths of four characters
  } cases[] = {{0, nullptr, 12, 12, 24, 24},
               {GU8_PRINT_COLOUR, page, 24, 24, 48, 48},
               {GU8_PRINT_COLOUR, nullptr, 12, 12, 24, 24},  // no print DC: the screen font
               {GU8_PRINT_MONOCHROME_COPY_UNCLIPPED, page, 12, 24, 48, 48},
               {GU8_PRINT_MONOCHROME_COPY, page, 12, 12, 24, 24}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flag);
    GU8_InitPrintVars(window, c.print_dc, 1, 1, c.flag);
    EXPECT_EQ(metrics_height(false), c.by_id);
    EXPECT_EQ(metrics_height(true), c.by_name);
    EXPECT_EQ(extent(false).first, c.extent_id);
    EXPECT_EQ(extent(true).first, c.extent_name);
  }
  GU8_NullPrintVars();
  EXPECT_EQ(extent(false).second, 12);
  // A window that does not exist has no DC to measure on.
  TEXTMETRICA metrics{};
  EXPECT_EQ(GU6_NewGetTextMetrics(reinterpret_cast<HWND>(0x7FFF0000), 21, &metrics), 0);
  DeleteDC(page);
}

}  // namespace
