// User interface services without a screen: recorded message boxes and
// debugger output, and the window table with its queue of posted messages.
#include "platform/user.h"

#include <cstdio>
#include <deque>
#include <map>

namespace {

std::vector<platform::MessageBoxRecord> g_message_boxes;
std::vector<std::string> g_debug_output;

struct PostedMessage {
  HWND window;
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
};

std::map<HWND, platform::WindowProcedure> g_windows;
std::deque<PostedMessage> g_posted;
// Ids start above the low 64 KB, where no handle of the original platform lies.
uintptr_t g_next_window_id = 0x00010000;

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
  platform::WindowProcedure procedure = found->second;
  return procedure(window, message, wparam, lparam);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (!IsWindow(window)) return FALSE;
  g_posted.push_back(PostedMessage{window, message, wparam, lparam});
  return TRUE;
}

namespace platform {

const std::vector<MessageBoxRecord>& message_boxes() { return g_message_boxes; }
void clear_message_boxes() { g_message_boxes.clear(); }

const std::vector<std::string>& debug_output() { return g_debug_output; }
void clear_debug_output() { g_debug_output.clear(); }

HWND create_window(WindowProcedure procedure) {
  HWND window = reinterpret_cast<HWND>(g_next_window_id);
  g_next_window_id += 4;
  g_windows[window] = std::move(procedure);
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
