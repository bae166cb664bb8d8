// The printing state: which window is being printed, on which device
// context, at what size and in which mode, and the replacements for the
// window calls that behave differently while a window is printed (device
// contexts, invalidation, placement, clipping and offset scaling). Also the
// information context of the default printer and the name of the current
// printer device.
//
// The host starts and ends a print job here; its drawing code calls the
// replacements; the fonts and pens ask here whether a window is printed.
#include <cstdint>

#include "util/util.h"

namespace {

struct PrintState {
  int16_t flag;
  HWND window;
  HDC dc;
  uint32_t width;
  uint32_t height;
  uint16_t abort;
  HDC cached_ic;
  char* device_name;  // in the string space
};
PrintState g_print;

void gu8_drop_cached_ic() {
  if (g_print.cached_ic == nullptr) return;
  if (g_print.dc == g_print.cached_ic) g_print.dc = nullptr;
  DeleteDC(g_print.cached_ic);
  g_print.cached_ic = nullptr;
}

HDC gu8_display_ic() { return CreateICA("DISPLAY", nullptr, nullptr, nullptr); }

// An information context of the default printer as the print dialog gives
// it, naming the device; null when there is no printer.
HDC gu8_default_printer_ic() {
  PRINTDLGA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.Flags = PD_RETURNDEFAULT;
  if (!PrintDlgA(&dialog)) return nullptr;
  HDC ic = nullptr;
  if (const auto* names = static_cast<const DEVNAMES*>(GlobalLock(dialog.hDevNames))) {
    const char* base = reinterpret_cast<const char*>(names);
    const char* device = base + names->wDeviceOffset;
    ic = CreateICA(base + names->wDriverOffset, device, base + names->wOutputOffset, GlobalLock(dialog.hDevMode));
    if (ic != nullptr) GU8_SetCurrentDeviceName(device);
    GlobalUnlock(dialog.hDevMode);
    GlobalUnlock(dialog.hDevNames);
  }
  GlobalFree(dialog.hDevMode);
  GlobalFree(dialog.hDevNames);
  return ic;
}

int16_t gu8_scaled(HWND window, int32_t value, uint32_t print_size, LONG RECT::*edge) {
  if (GU8_IsPrinting_PRN(window) == 0 || g_print.flag == GU8_PRINT_UNSCALED) return static_cast<int16_t>(value);
  RECT desktop{};
  GetWindowRect(GetDesktopWindow(), &desktop);
  if (desktop.*edge == 0) return static_cast<int16_t>(value);
  return static_cast<int16_t>(int64_t{value} * print_size / desktop.*edge);
}

uint16_t gu8_select_clip(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  const HRGN region = CreateRectRgn(left, top, right, bottom);
  const int kind = SelectClipRgn(g_print.dc, region);
  DeleteObject(region);
  return kind != REGION_ERROR ? 1 : 0;
}

}  // namespace

HDC gu8_PrintDC() { return g_print.dc; }

APEXPORT void GU8_InitPrintVars(HWND window, HDC dc, uint32_t width, uint32_t height, int16_t flag) {
  // A job printed on the cached context keeps it until the job ends.
  if (dc != g_print.cached_ic) gu8_drop_cached_ic();
  g_print.window = window;
  g_print.dc = dc;
  g_print.width = width;
  g_print.height = height;
  g_print.flag = flag;
  g_print.abort = 0;
}

APEXPORT void GU8_NullPrintVars() {
  gu8_drop_cached_ic();
  g_print.flag = 0;
  g_print.window = nullptr;
  g_print.dc = nullptr;
}

APEXPORT int16_t GU8_SetPrtFlag_PRN(HWND, int16_t flag) {
  const int16_t previous = g_print.flag;
  g_print.flag = flag;
  return previous;
}

APEXPORT uint16_t GU8_StartPrinting_PRN() { return g_print.flag <= 0 ? 1 : 0; }

APEXPORT int16_t GU8_DonePrinting_PRN() { return g_print.flag; }

APEXPORT int16_t GU8_IsPrinting_PRN(HWND window) {
  if (g_print.flag == 0) return 0;
  for (HWND ancestor = window; ancestor != nullptr; ancestor = GetParent(ancestor)) {
    if (ancestor == g_print.window) return g_print.flag;
  }
  return 0;
}

APEXPORT int16_t GU8_AdjustXOffset_PRN(HWND window, int32_t x) {
  return gu8_scaled(window, x, g_print.width, &RECT::right);
}

APEXPORT int16_t GU8_AdjustYOffset_PRN(HWND window, int32_t y) {
  return gu8_scaled(window, y, g_print.height, &RECT::bottom);
}

APEXPORT int32_t GU8_InvalidateRect_PRN(HWND window, BOOL erase) {
  const int16_t flag = GU8_IsPrinting_PRN(window);
  if (flag != 0) return flag;
  return InvalidateRect(window, nullptr, erase);
}

APEXPORT BOOL GU8_SetWindowPos_PRN(HWND window, HWND after, int32_t x, int32_t y, int32_t cx, int32_t cy,
                                   UINT flags) {
  if (GU8_IsPrinting_PRN(window) != 0) flags |= SWP_NOREDRAW;
  return SetWindowPos(window, after, x, y, cx, cy, flags);
}

APEXPORT HDC GU8_GetDC(HWND window) { return GU8_IsPrinting_PRN(window) != 0 ? g_print.dc : GetDC(window); }

APEXPORT int32_t GU8_ReleaseDC(HWND window, HDC dc) {
  return GU8_IsPrinting_PRN(window) != 0 ? 1 : ReleaseDC(window, dc);
}

APEXPORT uint16_t GU8_ClipData(HWND window, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (GU8_IsPrinting_PRN(window) == 0) return 0;
  return gu8_select_clip(x, y, x + width, y + height);
}

APEXPORT uint16_t GU8_UnClip(HWND window) {
  const int16_t flag = GU8_IsPrinting_PRN(window);
  if (flag == 0 || flag == GU8_PRINT_MONOCHROME_COPY_UNCLIPPED) return 0;
  return gu8_select_clip(0, 0, GetDeviceCaps(g_print.dc, HORZRES), GetDeviceCaps(g_print.dc, VERTRES));
}

APEXPORT uint16_t GU8_SetAbortFlag(uint16_t flag) { return g_print.abort = flag; }

APEXPORT uint16_t GU8_IsPrintAborted(HWND window) {
  return GU8_IsPrinting_PRN(window) != 0 && g_print.abort != 0 ? 1 : 0;
}

APEXPORT HDC GU8_GetIC(int16_t kind) {
  if (kind != GU8_DEFAULT_PRINTER) return gu8_display_ic();
  if (g_print.cached_ic == nullptr) {
    g_print.cached_ic = gu8_default_printer_ic();
    if (g_print.cached_ic == nullptr) g_print.cached_ic = gu8_display_ic();
  }
  return g_print.cached_ic;
}

APEXPORT HDC GU8_GetDCorIC(int16_t kind) {
  if (kind != GU8_DEFAULT_PRINTER) return gu8_display_ic();
  if (g_print.dc == nullptr) g_print.dc = GU8_GetIC(GU8_DEFAULT_PRINTER);
  return g_print.dc;
}

APEXPORT char* GU8_GetCurrentDeviceName() { return g_print.device_name; }

APEXPORT uint16_t GU8_SetCurrentDeviceName(const char* name) {
  char* copy = name != nullptr ? GU3_StoreStringEx(name) : nullptr;
  if (name != nullptr && copy == nullptr) return 0;
  if (g_print.device_name != nullptr) GU3_RemoveString(g_print.device_name);
  g_print.device_name = copy;
  return 1;
}
