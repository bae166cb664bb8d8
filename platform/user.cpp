// User interface services without a screen.
#include "platform/user.h"

#include <cstdio>

namespace {
std::vector<platform::MessageBoxRecord> g_message_boxes;
}

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  const char* shown_caption = caption != nullptr ? caption : "Error";
  const char* shown_text = text != nullptr ? text : "";
  std::fprintf(stderr, "[%s] %s\n", shown_caption, shown_text);
  g_message_boxes.push_back(platform::MessageBoxRecord{shown_caption, shown_text, type});
  return IDOK;
}

namespace platform {
const std::vector<MessageBoxRecord>& message_boxes() { return g_message_boxes; }
void clear_message_boxes() { g_message_boxes.clear(); }
}  // namespace platform
