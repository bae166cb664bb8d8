// The printing state: which windows count as printed, the window calls
// that change while they are, offsets scaled to the page, clipping on the
// print DC, and information contexts on a machine without a printer.
#include "platform/user.h"
#include "util_fixture.h"

namespace {

class Printing : public utiltest::Utilities {
 protected:
  void SetUp() override {
    parent_ = platform::create_window(record());
    child_ = platform::create_window(record(), parent_);
    grandchild_ = platform::create_window(record(), child_);
    sibling_ = platform::create_window(record());
    page_ = CreateCompatibleDC(nullptr);
  }
  void TearDown() override {
    GU8_NullPrintVars();
    DeleteDC(page_);
    Utilities::TearDown();
  }
  platform::WindowProcedure record() {
    return [this](HWND window, UINT message, WPARAM, LPARAM lparam) -> LRESULT {
      if (message == WM_WINDOWPOSCHANGED) position_flags_ = reinterpret_cast<const WINDOWPOS*>(lparam)->flags;
      if (message == WM_PAINT) painted_.push_back(window);
      return 0;
    };
  }

  HWND parent_, child_, grandchild_, sibling_;
  HDC page_;
  UINT position_flags_ = 0;
  std::vector<HWND> painted_;
};

TEST_F(Printing, ThePrintWindowAndItsDescendantsArePrinted) {
  EXPECT_EQ(GU8_StartPrinting_PRN(), 1);
  GU8_InitPrintVars(parent_, page_, 2048, 1536, GU8_PRINT_COLOUR);
  EXPECT_EQ(GU8_StartPrinting_PRN(), 0);
  EXPECT_EQ(GU8_DonePrinting_PRN(), GU8_PRINT_COLOUR);
  for (HWND window : {parent_, child_, grandchild_}) EXPECT_EQ(GU8_IsPrinting_PRN(window), GU8_PRINT_COLOUR);
  EXPECT_EQ(GU8_IsPrinting_PRN(sibling_), 0);
  EXPECT_EQ(GU8_IsPrinting_PRN(nullptr), 0);
  EXPECT_EQ(GU8_SetPrtFlag_PRN(sibling_, GU8_PRINT_UNSCALED), GU8_PRINT_COLOUR);
  EXPECT_EQ(GU8_IsPrinting_PRN(child_), GU8_PRINT_UNSCALED);
  GU8_NullPrintVars();
  EXPECT_EQ(GU8_IsPrinting_PRN(parent_), 0);
  EXPECT_EQ(GU8_StartPrinting_PRN(), 1);
}

TEST_F(Printing, DeviceContextsComeFromTheJobOnlyWhilePrinted) {
  GU8_InitPrintVars(parent_, page_, 2048, 1536, 0);  // flag 0: no job
  const HDC own = GU8_GetDC(parent_);
  ASSERT_NE(own, nullptr);
  EXPECT_NE(own, page_);
  EXPECT_EQ(GU8_ReleaseDC(parent_, own), 1);

  GU8_SetPrtFlag_PRN(parent_, GU8_PRINT_COLOUR);
  EXPECT_EQ(GU8_GetDC(child_), page_);
  EXPECT_EQ(GU8_ReleaseDC(child_, page_), 1);
  EXPECT_EQ(GetDeviceCaps(page_, BITSPIXEL), 1);  // still alive: nothing was released
  const HDC sibling_dc = GU8_GetDC(sibling_);
  EXPECT_NE(sibling_dc, page_);
  EXPECT_EQ(GU8_ReleaseDC(sibling_, sibling_dc), 1);
  EXPECT_EQ(GU8_GetDC(reinterpret_cast<HWND>(0x7FFF0000)), nullptr);  // no such window
}

TEST_F(Printing, OffsetsScaleFromTheDesktopToThePage) {
  GU8_InitPrintVars(parent_, page_, 2048, 1536, GU8_PRINT_COLOUR);
  // The desktop is DISPLAY_WIDTH x DISPLAY_HEIGHT = 1024 x 768.
  EXPECT_EQ(GU8_AdjustXOffset_PRN(child_, 300), 600);
  EXPECT_EQ(GU8_AdjustYOffset_PRN(child_, 100), 200);
  EXPECT_EQ(GU8_AdjustXOffset_PRN(sibling_, 300), 300);
  // The result is cut to 16 bits: 20000 * 2 = 40000 becomes 40000 - 65536.
  EXPECT_EQ(GU8_AdjustXOffset_PRN(child_, 20000), static_cast<int16_t>(40000 - 65536));
  GU8_SetPrtFlag_PRN(nullptr, GU8_PRINT_UNSCALED);
  EXPECT_EQ(GU8_AdjustXOffset_PRN(child_, 300), 300);
  EXPECT_EQ(GU8_AdjustYOffset_PRN(child_, 100), 100);
}

TEST_F(Printing, PrintedWindowsAreNeitherRepaintedNorRedrawn) {
  GU8_InitPrintVars(parent_, page_, 100, 100, GU8_PRINT_MONOCHROME_COPY);
  EXPECT_EQ(GU8_InvalidateRect_PRN(child_, TRUE), GU8_PRINT_MONOCHROME_COPY);
  EXPECT_EQ(GU8_InvalidateRect_PRN(sibling_, TRUE), TRUE);
  platform::pump_messages();
  EXPECT_EQ(painted_, std::vector<HWND>{sibling_});

  ASSERT_TRUE(GU8_SetWindowPos_PRN(child_, nullptr, 1, 2, 30, 40, SWP_NOZORDER));
  EXPECT_EQ(position_flags_, SWP_NOZORDER | SWP_NOREDRAW);
  ASSERT_TRUE(GU8_SetWindowPos_PRN(sibling_, nullptr, 1, 2, 30, 40, SWP_NOZORDER));
  EXPECT_EQ(position_flags_, SWP_NOZORDER);
  RECT placed{};
  GetWindowRect(sibling_, &placed);
  EXPECT_EQ(placed.right, 31);
  EXPECT_EQ(placed.bottom, 42);
}

TEST_F(Printing, ClippingActsOnThePrintDcWhilePrinted) {
  RECT box{};
  GU8_InitPrintVars(parent_, page_, 100, 100, GU8_PRINT_COLOUR);
  EXPECT_EQ(GU8_ClipData(sibling_, 10, 20, 30, 40), 0);
  EXPECT_EQ(GU8_ClipData(child_, 10, 20, 30, 40), 1);
  GetClipBox(page_, &box);
  EXPECT_EQ(box.left, 10);
  EXPECT_EQ(box.top, 20);
  EXPECT_EQ(box.right, 40);
  EXPECT_EQ(box.bottom, 60);
  EXPECT_EQ(GU8_UnClip(child_), 1);
  GetClipBox(page_, &box);
  EXPECT_EQ(box.right, GetDeviceCaps(page_, HORZRES));
  EXPECT_EQ(box.bottom, GetDeviceCaps(page_, VERTRES));

  GU8_ClipData(child_, 1, 1, 2, 2);
  GU8_SetPrtFlag_PRN(nullptr, GU8_PRINT_MONOCHROME_COPY_UNCLIPPED);
  EXPECT_EQ(GU8_UnClip(child_), 0);
  GetClipBox(page_, &box);
  EXPECT_EQ(box.right, 3);
}

TEST_F(Printing, AbortCountsOnlyForPrintedWindows) {
  GU8_InitPrintVars(parent_, page_, 100, 100, GU8_PRINT_COLOUR);
  EXPECT_EQ(GU8_SetAbortFlag(1), 1);
  EXPECT_EQ(GU8_IsPrintAborted(grandchild_), 1);
  EXPECT_EQ(GU8_IsPrintAborted(sibling_), 0);
  GU8_InitPrintVars(parent_, page_, 100, 100, GU8_PRINT_COLOUR);  // a new job clears it
  EXPECT_EQ(GU8_IsPrintAborted(parent_), 0);
}

TEST_F(Printing, WithoutAPrinterTheDefaultContextIsTheDisplays) {
  const HDC printer = GU8_GetIC(GU8_DEFAULT_PRINTER);
  ASSERT_NE(printer, nullptr);
  EXPECT_EQ(GU8_GetIC(GU8_DEFAULT_PRINTER), printer);  // cached
  EXPECT_EQ(GetDeviceCaps(printer, LOGPIXELSY), DISPLAY_PIXELS_PER_INCH);
  EXPECT_EQ(GU8_GetCurrentDeviceName(), nullptr);  // no printer named it

  const HDC other = GU8_GetIC(0);
  EXPECT_NE(other, printer);
  EXPECT_NE(GU8_GetIC(0), other);  // a new one each time, for the caller to delete
  DeleteDC(other);

  EXPECT_EQ(GU8_GetDCorIC(GU8_DEFAULT_PRINTER), printer);  // no print DC: the context becomes it
  EXPECT_EQ(gu8_PrintDC(), printer);
  GU8_NullPrintVars();  // deletes the cached context
  EXPECT_EQ(GetDeviceCaps(printer, LOGPIXELSY), 0);
  EXPECT_EQ(gu8_PrintDC(), nullptr);

  GU8_InitPrintVars(parent_, page_, 1, 1, GU8_PRINT_COLOUR);
  EXPECT_EQ(GU8_GetDCorIC(GU8_DEFAULT_PRINTER), page_);

  // A job started on the cached context prints on a live one.
  const HDC cached = GU8_GetIC(GU8_DEFAULT_PRINTER);
  GU8_InitPrintVars(parent_, cached, 1, 1, GU8_PRINT_COLOUR);
  EXPECT_EQ(GetDeviceCaps(GU8_GetDC(parent_), LOGPIXELSY), DISPLAY_PIXELS_PER_INCH);
}

TEST_F(Printing, TheDeviceNameIsACopyInTheStringSpace) {
  char name[] = "Laser 5";
  ASSERT_EQ(GU8_SetCurrentDeviceName(name), 1);
  name[0] = 'X';
  EXPECT_STREQ(GU8_GetCurrentDeviceName(), "Laser 5");
  ASSERT_EQ(GU8_SetCurrentDeviceName("Plotter"), 1);
  EXPECT_STREQ(GU8_GetCurrentDeviceName(), "Plotter");
}

}  // namespace
