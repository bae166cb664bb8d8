// User interface services. There is no screen: a message box writes its
// title and text to standard error, is recorded for tests to read, and is
// answered with IDOK.
#pragma once
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

namespace platform {

struct MessageBoxRecord {
  std::string caption;
  std::string text;
  UINT type;
};

// Every box shown since the last clear, oldest first.
const std::vector<MessageBoxRecord>& message_boxes();
void clear_message_boxes();

}  // namespace platform
