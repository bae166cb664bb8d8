// User interface services. There is no screen: a message box writes its
// title and text to standard error, is recorded for tests to read, and is
// answered with IDOK; debugger output is written and recorded the same way. Windows are entries of a table of ids with callbacks:
// SendMessageA calls the window's callback at once, PostMessageA queues the
// message until the pump delivers it. The object core tells its dependent
// windows about changes through these calls.
#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

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

using WindowProcedure = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

// A new window whose messages go to the procedure. Window ids are never
// reused, so a destroyed window's id stays invalid.
HWND create_window(WindowProcedure procedure);
// Removes the window; messages still queued for it are dropped by the pump.
BOOL destroy_window(HWND window);
// Delivers the queued messages in the order they were posted, including any
// posted while delivering, and answers how many reached a window.
size_t pump_messages();

}  // namespace platform
