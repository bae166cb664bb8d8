// User interface services without a screen: recorded message boxes, help
// requests and debugger output; the window table with parents, rectangles
// and its queue of posted messages; window classes; the interface resources
// of modules; and dialogs and property sheets that cannot be shown.
#include "platform/user.h"

#include <cctype>
#include <cstdio>
#include <deque>
#include <map>
#include <string>

namespace {

std::vector<platform::MessageBoxRecord> g_message_boxes;
std::vector<std::string> g_debug_output;

struct PostedMessage {
  HWND window;
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
};

struct Window {
  platform::WindowProcedure procedure;
  HWND parent;
  RECT rect;
};

std::map<HWND, Window> g_windows;
std::deque<PostedMessage> g_posted;
// Ids start above the low 64 KB, where no handle of the original platform lies.
uintptr_t g_next_window_id = 0x00010000;
// The desktop is no entry of the table: it has no procedure.
HWND const kDesktop = reinterpret_cast<HWND>(0x0000FFF0);

std::multimap<HWND, HDC> g_window_contexts;
std::vector<platform::HelpRequest> g_help_requests;
platform::PropertySheetHandler g_property_sheet_handler;

struct RegisteredClass {
  HINSTANCE instance;
  std::string name;  // in lower case
  WNDCLASSA window_class;
};
std::vector<RegisteredClass> g_classes;

std::string lower_case(LPCSTR text) {
  std::string lowered;
  for (; text != nullptr && *text != '\0'; ++text)
    lowered += static_cast<char>(std::tolower(static_cast<unsigned char>(*text)));
  return lowered;
}

// The data of a module's resource, or null; the system (null module) has
// no resources of its own.
const void* resource_data(HINSTANCE module, LPCSTR name, LPCSTR type) {
  if (module == nullptr) return nullptr;
  const HRSRC resource = FindResourceA(module, name, type);
  return resource != nullptr ? LockResource(LoadResource(module, resource)) : nullptr;
}

}  // namespace

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  const char* shown_caption = caption != nullptr ? caption : "Error";
  const char* shown_text = text != nullptr ? text : "";
  std::fprintf(stderr, "[%s] %s\n", shown_caption, shown_text);
  g_message_boxes.push_back(platform::MessageBoxRecord{shown_caption, shown_text, type});
  return IDOK;
}

void OutputDebugStringA(LPCSTR text) {
  const char* shown = text != nullptr ? text : "";
  std::fprintf(stderr, "[debug] %s", shown);
  g_debug_output.push_back(shown);
}

BOOL IsWindow(HWND window) { return g_windows.count(window) != 0 ? TRUE : FALSE; }

LRESULT SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto found = g_windows.find(window);
  if (found == g_windows.end()) return 0;
  // A copy, so that a window that destroys itself while it runs stays callable.
  platform::WindowProcedure procedure = found->second.procedure;
  return procedure(window, message, wparam, lparam);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (!IsWindow(window)) return FALSE;
  g_posted.push_back(PostedMessage{window, message, wparam, lparam});
  return TRUE;
}

HWND GetParent(HWND window) {
  auto found = g_windows.find(window);
  return found != g_windows.end() ? found->second.parent : nullptr;
}

HWND GetDesktopWindow() { return kDesktop; }

BOOL GetWindowRect(HWND window, RECT* rect) {
  if (rect == nullptr) return FALSE;
  if (window == kDesktop) {
    *rect = RECT{0, 0, DISPLAY_WIDTH, DISPLAY_HEIGHT};
    return TRUE;
  }
  auto found = g_windows.find(window);
  if (found == g_windows.end()) return FALSE;
  *rect = found->second.rect;
  return TRUE;
}

BOOL InvalidateRect(HWND window, const RECT*, BOOL) { return PostMessageA(window, WM_PAINT, 0, 0); }

BOOL SetWindowPos(HWND window, HWND insert_after, int x, int y, int cx, int cy, UINT flags) {
  auto found = g_windows.find(window);
  if (found == g_windows.end()) return FALSE;
  RECT& rect = found->second.rect;
  if ((flags & SWP_NOMOVE) == 0) rect = RECT{x, y, x + (rect.right - rect.left), y + (rect.bottom - rect.top)};
  if ((flags & SWP_NOSIZE) == 0) rect = RECT{rect.left, rect.top, rect.left + cx, rect.top + cy};
  WINDOWPOS position{window, insert_after, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, flags};
  SendMessageA(window, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&position));
  return TRUE;
}

HDC GetDC(HWND window) {
  if (window != nullptr && !IsWindow(window)) return nullptr;
  const HDC dc = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  if (dc != nullptr) g_window_contexts.emplace(window, dc);
  return dc;
}

int ReleaseDC(HWND window, HDC dc) {
  auto [first, last] = g_window_contexts.equal_range(window);
  for (auto it = first; it != last; ++it) {
    if (it->second != dc) continue;
    g_window_contexts.erase(it);
    DeleteDC(dc);
    return 1;
  }
  return 0;
}

COLORREF GetSysColor(int index) {
  switch (index) {
    case COLOR_WINDOW: return RGB(0xFF, 0xFF, 0xFF);
    case COLOR_BTNFACE: return RGB(0xD4, 0xD0, 0xC8);
    case COLOR_BTNSHADOW: return RGB(0x80, 0x80, 0x80);
    case COLOR_BTNHIGHLIGHT: return RGB(0xFF, 0xFF, 0xFF);
    default: return RGB(0, 0, 0);
  }
}

WORD RegisterClassA(const WNDCLASSA* window_class) {
  if (window_class == nullptr || window_class->lpszClassName == nullptr) return 0;
  const std::string name = lower_case(window_class->lpszClassName);
  for (const RegisteredClass& known : g_classes) {
    if (known.instance == window_class->hInstance && known.name == name) return 0;
  }
  g_classes.push_back(RegisteredClass{window_class->hInstance, name, *window_class});
  return static_cast<WORD>(0xC000 + g_classes.size());
}

BOOL GetClassInfoA(HINSTANCE instance, LPCSTR class_name, WNDCLASSA* window_class) {
  const std::string name = lower_case(class_name);
  for (const RegisteredClass& known : g_classes) {
    if (known.instance != instance || known.name != name) continue;
    if (window_class != nullptr) *window_class = known.window_class;
    return TRUE;
  }
  return FALSE;
}

HMENU LoadMenuA(HINSTANCE module, LPCSTR name) {
  return static_cast<HMENU>(const_cast<void*>(resource_data(module, name, RT_MENU)));
}

HICON LoadIconA(HINSTANCE module, LPCSTR name) {
  return static_cast<HICON>(const_cast<void*>(resource_data(module, name, RT_GROUP_ICON)));
}

HCURSOR LoadCursorA(HINSTANCE module, LPCSTR name) {
  return static_cast<HCURSOR>(const_cast<void*>(resource_data(module, name, RT_GROUP_CURSOR)));
}

HACCEL LoadAcceleratorsA(HINSTANCE module, LPCSTR name) {
  return static_cast<HACCEL>(const_cast<void*>(resource_data(module, name, RT_ACCELERATOR)));
}

HBITMAP LoadBitmapA(HINSTANCE module, LPCSTR name) {
  const auto* info = static_cast<const BITMAPINFO*>(resource_data(module, name, RT_BITMAP));
  platform::DibLayout layout;
  if (info == nullptr || !platform::dib_layout(info, &layout) ||
      SizeofResource(module, FindResourceA(module, name, RT_BITMAP)) < layout.total_bytes)
    return nullptr;
  const HDC screen = GetDC(nullptr);
  const BYTE* bits = reinterpret_cast<const BYTE*>(info) + layout.total_bytes - layout.pixel_bytes;
  const HBITMAP bitmap = CreateDIBitmap(screen, &info->bmiHeader, CBM_INIT, bits, info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  return bitmap;
}

HWND CreateDialogParamA(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM) { return nullptr; }

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM) { return -1; }

INT_PTR PropertySheetA(const PROPSHEETHEADERA* header) {
  if (header == nullptr || !g_property_sheet_handler) return -1;
  return g_property_sheet_handler(header);
}

BOOL WinHelpA(HWND, LPCSTR file, UINT command, DWORD_PTR data) {
  g_help_requests.push_back(platform::HelpRequest{file != nullptr ? file : "", command, data});
  return FALSE;
}

namespace platform {

const std::vector<HelpRequest>& help_requests() { return g_help_requests; }
void clear_help_requests() { g_help_requests.clear(); }

void set_property_sheet_handler(PropertySheetHandler handler) { g_property_sheet_handler = std::move(handler); }

const std::vector<MessageBoxRecord>& message_boxes() { return g_message_boxes; }
void clear_message_boxes() { g_message_boxes.clear(); }

const std::vector<std::string>& debug_output() { return g_debug_output; }
void clear_debug_output() { g_debug_output.clear(); }

HWND create_window(WindowProcedure procedure, HWND parent) {
  HWND window = reinterpret_cast<HWND>(g_next_window_id);
  g_next_window_id += 4;
  g_windows[window] = Window{std::move(procedure), parent, RECT{}};
  return window;
}

BOOL destroy_window(HWND window) { return g_windows.erase(window) != 0 ? TRUE : FALSE; }

size_t pump_messages() {
  size_t delivered = 0;
  while (!g_posted.empty()) {
    const PostedMessage posted = g_posted.front();
    g_posted.pop_front();
    if (!IsWindow(posted.window)) continue;
    SendMessageA(posted.window, posted.message, posted.wparam, posted.lparam);
    ++delivered;
  }
  return delivered;
}

}  // namespace platform
