// User interface services. There is no screen: a message box writes its
// title and text to standard error, is recorded for tests to read, and is
// answered with IDOK; debugger output is written and recorded the same way.
// Windows are entries of a table of ids with callbacks and an optional
// parent: SendMessageA calls the window's callback at once, PostMessageA
// queues the message until the pump delivers it. The object core tells its
// dependent windows about changes through these calls. A window's device
// context is one of the display, which keeps nothing drawn on it.
//
// Dialog boxes, property sheets and help cannot be shown: dialogs and sheets
// answer as when they cannot be created, and help requests are recorded and
// answered FALSE. Menus, icons, cursors and accelerator tables load as the
// module's resource data, read-only; the system has none of its own.
#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/gdi.h"
#include "platform/resources.h"
#include "platform/wintypes.h"

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr UINT MB_TASKMODAL = 0x00002000;
constexpr UINT MB_SYSTEMMODAL = 0x00001000;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
// Text for a debugger: written to standard error and recorded for tests.
void OutputDebugStringA(LPCSTR text);

// Whether the window exists (was made and not yet destroyed).
BOOL IsWindow(HWND window);
// Calls the window's callback and answers its result; 0 for a window that
// does not exist.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Queues the message for the pump; FALSE for a window that does not exist.
BOOL PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_WINDOWPOSCHANGED = 0x0047;
constexpr UINT WM_MDICREATE = 0x0220;

HWND GetParent(HWND window);
// The desktop, whose rectangle is the display's size.
HWND GetDesktopWindow();
// A window's rectangle as SetWindowPos last placed it (empty at first).
BOOL GetWindowRect(HWND window, RECT* rect);
// Queues WM_PAINT for the window.
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);

constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOREDRAW = 0x0008;
// 28 bytes: what WM_WINDOWPOSCHANGED carries in its lparam.
struct WINDOWPOS {
  HWND hwnd;
  HWND hwndInsertAfter;
  int x;
  int y;
  int cx;
  int cy;
  UINT flags;
};
static_assert(sizeof(WINDOWPOS) == 28);
// Places the window and tells it with WM_WINDOWPOSCHANGED.
BOOL SetWindowPos(HWND window, HWND insert_after, int x, int y, int cx, int cy, UINT flags);

// A display context for the window (null: for the whole display); null for
// a window that does not exist. ReleaseDC deletes it: 1, or 0 for a context
// that is not the window's.
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);

constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_BTNSHADOW = 16;
constexpr int COLOR_BTNHIGHLIGHT = 20;
// The colours of the standard scheme.
COLORREF GetSysColor(int index);

// ---------------------------------------------------------------------------
// Window classes and MDI children

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
// 40 bytes.
struct WNDCLASSA {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  void* hIcon;
  void* hCursor;
  void* hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
};
static_assert(sizeof(WNDCLASSA) == 40);
// Class names are compared without regard to case, per instance.
WORD RegisterClassA(const WNDCLASSA* window_class);
BOOL GetClassInfoA(HINSTANCE instance, LPCSTR class_name, WNDCLASSA* window_class);

// What WM_MDICREATE carries, 36 bytes.
struct MDICREATESTRUCTA {
  LPCSTR szClass;
  LPCSTR szTitle;
  HINSTANCE hOwner;
  int x;
  int y;
  int cx;
  int cy;
  DWORD style;
  LPARAM lParam;
};
static_assert(sizeof(MDICREATESTRUCTA) == 36);

// ---------------------------------------------------------------------------
// Resources of the user interface

struct HMENU__;
using HMENU = HMENU__*;
struct HICON__;
using HICON = HICON__*;
using HCURSOR = HICON;
struct HACCEL__;
using HACCEL = HACCEL__*;

inline LPCSTR const RT_CURSOR = MAKEINTRESOURCEA(1);
inline LPCSTR const RT_BITMAP = MAKEINTRESOURCEA(2);
inline LPCSTR const RT_ICON = MAKEINTRESOURCEA(3);
inline LPCSTR const RT_MENU = MAKEINTRESOURCEA(4);
inline LPCSTR const RT_DIALOG = MAKEINTRESOURCEA(5);
inline LPCSTR const RT_ACCELERATOR = MAKEINTRESOURCEA(9);
inline LPCSTR const RT_GROUP_CURSOR = MAKEINTRESOURCEA(12);
inline LPCSTR const RT_GROUP_ICON = MAKEINTRESOURCEA(14);

// Null when the module (null: the system) has no such resource.
HMENU LoadMenuA(HINSTANCE module, LPCSTR name);
HICON LoadIconA(HINSTANCE module, LPCSTR name);
HCURSOR LoadCursorA(HINSTANCE module, LPCSTR name);
HACCEL LoadAcceleratorsA(HINSTANCE module, LPCSTR name);
// The module's bitmap resource (a packed DIB) as a bitmap of the display.
HBITMAP LoadBitmapA(HINSTANCE module, LPCSTR name);

// ---------------------------------------------------------------------------
// Dialogs, property sheets and help

using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);
// No dialog can be made: null.
HWND CreateDialogParamA(HINSTANCE module, LPCSTR name, HWND parent, DLGPROC procedure, LPARAM parameter);
// No dialog can be shown: -1.
INT_PTR DialogBoxParamA(HINSTANCE module, LPCSTR name, HWND parent, DLGPROC procedure, LPARAM parameter);

// Page of a property sheet, 40 bytes.
struct PROPSHEETPAGEA {
  DWORD dwSize;
  DWORD dwFlags;
  HINSTANCE hInstance;
  LPCSTR pszTemplate;
  HICON hIcon;
  LPCSTR pszTitle;
  DLGPROC pfnDlgProc;
  LPARAM lParam;
  void* pfnCallback;
  UINT* pcRefParent;
};
static_assert(sizeof(PROPSHEETPAGEA) == 40);
// Header of a property sheet: the first 40 bytes, then (in the 52-byte
// form of the newer common controls) a watermark, its palette and a header
// bitmap.
struct PROPSHEETHEADERA {
  DWORD dwSize;
  DWORD dwFlags;
  HWND hwndParent;
  HINSTANCE hInstance;
  HICON hIcon;
  LPCSTR pszCaption;
  UINT nPages;
  UINT nStartPage;
  const PROPSHEETPAGEA* ppsp;
  void* pfnCallback;
  HBITMAP hbmWatermark;
  HPALETTE hplWatermark;
  HBITMAP hbmHeader;
};
static_assert(sizeof(PROPSHEETHEADERA) == 52);
constexpr DWORD PSP_USETITLE = 0x00000008;
constexpr DWORD PSH_PROPSHEETPAGE = 0x00000008;
constexpr DWORD PSH_NOAPPLYNOW = 0x00000080;
constexpr DWORD PSH_WIZARD = 0x00000020;
// No sheet can be shown: -1, unless a test has put a handler in its place.
INT_PTR PropertySheetA(const PROPSHEETHEADERA* header);

// No help viewer: the request is recorded and answered FALSE.
BOOL WinHelpA(HWND window, LPCSTR file, UINT command, DWORD_PTR data);

namespace platform {

struct MessageBoxRecord {
  std::string caption;
  std::string text;
  UINT type;
};

// Every box shown since the last clear, oldest first.
const std::vector<MessageBoxRecord>& message_boxes();
void clear_message_boxes();

// Every debugger text since the last clear, oldest first.
const std::vector<std::string>& debug_output();
void clear_debug_output();

struct HelpRequest {
  std::string file;
  UINT command;
  DWORD_PTR data;
};

// Every help request since the last clear, oldest first.
const std::vector<HelpRequest>& help_requests();
void clear_help_requests();

// Answers PropertySheetA in place of a sheet on the screen while set; an
// empty function removes it.
using PropertySheetHandler = std::function<INT_PTR(const PROPSHEETHEADERA*)>;
void set_property_sheet_handler(PropertySheetHandler handler);

using WindowProcedure = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

// A new window whose messages go to the procedure, a child of `parent` when
// one is given. Window ids are never reused, so a destroyed window's id
// stays invalid.
HWND create_window(WindowProcedure procedure, HWND parent = nullptr);
// Removes the window; messages still queued for it are dropped by the pump.
BOOL destroy_window(HWND window);
// Delivers the queued messages in the order they were posted, including any
// posted while delivering, and answers how many reached a window.
size_t pump_messages();

}  // namespace platform
