// The history and comment texts of a spectrum.
//
// Every spectrum carries two free texts in text objects of its own: the
// history, a running log of what was done to the spectrum, and the comment.
// This module appends to, replaces, reads and searches them, writes the
// history line of a processing step (its label, the date and time) and
// appends the logged-in user's name where the workstation asks for it. It
// never creates, replaces or destroys the text objects, only their texts.
// AP7_Dispatcher_SPECTRUM calls these for their messages; the processing
// operations write their history lines here, the file layer reads and fills
// both texts, and the converter reaches the text objects to fill them.
#include <cstring>
#include <string>

#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"
#include "util/util.h"

namespace {

constexpr char kLineEnd[] = "\r\n";

// The user name of the login line, and the time of a history line.
constexpr uint16_t kUserNameSize = 68;
constexpr uint32_t kTimeTextSize = 81;
constexpr uint16_t kFreeForm = 0xFFFF;

// Parameters of the host's settings object and of its display objects.
constexpr uint16_t kSettingsUserName = 58;
constexpr uint16_t kSettingsDisplay = 29;
constexpr uint16_t kSettingsDisplayFallback = 27;
constexpr uint16_t kDisplayFlags = 3;
constexpr uint16_t kDisplayItem = 4;
constexpr uint16_t kItemRefresh = 17;
constexpr uint16_t kDisplayItemClass = 32;
constexpr uint16_t kRefreshMark = 0xFFFF;

uint16_t ap7d_append(AP48_TEXT* text, const char* added) {
  if (text == nullptr || added == nullptr) return 0;
  return GU2_DoMethod_MSG(AP48_MSG_APPEND, text, const_cast<char*>(added)) != 0 ? 1 : 0;
}

// The text, cleared first; a text that cannot be cleared stays as it was.
uint16_t ap7d_replace(AP48_TEXT* text, const char* replacement) {
  if (text == nullptr || replacement == nullptr) return 0;
  if (GU2_DoMethod_MSG(AP48_MSG_CLEAR, text, nullptr) == 0) return 0;
  return ap7d_append(text, replacement);
}

char* ap7d_text_of(AP48_TEXT* text) {
  return text != nullptr ? ap_result_object<char>(GU2_DoMethod_MSG(AP48_MSG_TEXT, text, nullptr)) : nullptr;
}

AP48_TEXT* ap7d_history(const AP7_SPECTRUM* spectrum) {
  const AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  return checked != nullptr ? checked->history : nullptr;
}

AP48_TEXT* ap7d_comment(const AP7_SPECTRUM* spectrum) {
  const AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  return checked != nullptr ? checked->comment : nullptr;
}

void* ap7d_object_parameter(void* object, uint16_t index) {
  uint32_t reference = 0;
  if (GU2_GetParmValue_MSG(object, index, &reference) == 0) return nullptr;
  return reinterpret_cast<void*>(static_cast<uintptr_t>(reference));
}

// Tells the host's display item of a change: its refresh parameter is
// marked and put back, each in a change of its own, so that its dependents
// hear two notices. Whatever fails here is passed over.
void ap7d_refresh_display(void* settings) {
  void* display = ap7d_object_parameter(settings, kSettingsDisplay);
  if (display == nullptr) display = ap7d_object_parameter(settings, kSettingsDisplayFallback);
  uint16_t flags = 0;
  if (display == nullptr || GU2_GetParmValue_MSG(display, kDisplayFlags, &flags) == 0 || (flags & 1) == 0) return;
  void* item = ap7d_object_parameter(display, kDisplayItem);
  if (gu2_ClassIdOf(item) != kDisplayItemClass) return;
  uint16_t saved = 0;
  GU2_DoMethod_MSG(AP_MSG_BEGIN_CHANGE, item, nullptr);
  GU2_GetParmValue_MSG(item, kItemRefresh, &saved);
  uint16_t mark = kRefreshMark;
  GU2_SetParmValue_MSG(item, kItemRefresh, &mark);
  GU2_DoMethod_MSG(AP_MSG_END_CHANGE, item, nullptr);
  GU2_DoMethod_MSG(AP_MSG_BEGIN_CHANGE, item, nullptr);
  GU2_SetParmValue_MSG(item, kItemRefresh, &saved);
  GU2_DoMethod_MSG(AP_MSG_END_CHANGE, item, nullptr);
}

}  // namespace

// ---------------------------------------------------------------------------
// The texts

uint16_t ap7d_AddHistoryText(AP7_SPECTRUM* spectrum, const char* text) { return ap7d_append(ap7d_history(spectrum), text); }

char* ap7d_GetHistoryText(const AP7_SPECTRUM* spectrum) { return ap7d_text_of(ap7d_history(spectrum)); }

uint16_t ap7d_AddCommentText(AP7_SPECTRUM* spectrum, const char* text) { return ap7d_append(ap7d_comment(spectrum), text); }

char* ap7d_GetCommentText(const AP7_SPECTRUM* spectrum) { return ap7d_text_of(ap7d_comment(spectrum)); }

AP48_TEXT* ap7d_GetHistoryObject(const AP7_SPECTRUM* spectrum) { return ap7d_history(spectrum); }

AP48_TEXT* ap7d_GetCommentObject(const AP7_SPECTRUM* spectrum) { return ap7d_comment(spectrum); }

uint16_t ap7d_SetCommentText(AP7_SPECTRUM* spectrum, const char* text) { return ap7d_replace(ap7d_comment(spectrum), text); }

// The user line follows a replaced history whatever the append gave.
uint16_t ap7d_SetHistoryText(AP7_SPECTRUM* spectrum, const char* text) {
  AP48_TEXT* history = ap7d_history(spectrum);
  if (history == nullptr || text == nullptr || GU2_DoMethod_MSG(AP48_MSG_CLEAR, history, nullptr) == 0) return 0;
  const uint16_t appended = ap7d_append(history, text);
  ap7d_AddLoginUser(spectrum);
  return appended;
}

// The value is what follows the keyword up to the end of its line. Keyword
// lines are fields of AP48_FIELD_WIDTH characters, and the caller's buffer
// holds that many bytes: a longer value is cut to fit with its terminator.
uint16_t ap7d_GetHistoryKeyword(const AP7_SPECTRUM* spectrum, const char* keyword, char* value) {
  const char* history = ap7d_GetHistoryText(spectrum);
  if (history == nullptr || keyword == nullptr || keyword[0] == '\0') return 0;
  const char* found = std::strstr(history, keyword);
  if (found == nullptr) return 0;
  const char* start = found + std::strlen(keyword);
  size_t length = std::strcspn(start, "\r\n");
  if (length > AP48_FIELD_WIDTH - 1) length = AP48_FIELD_WIDTH - 1;
  if (IsBadWritePtr(value, length + 1)) return 0;
  std::memcpy(value, start, length);
  value[length] = '\0';
  return 1;
}

// ---------------------------------------------------------------------------
// The login line and the history line of a step

uint16_t ap7d_AddLoginUser(AP7_SPECTRUM* spectrum) { return ap7d_AddLoginUserFrom(spectrum, APX_GetGlobalObject()); }

uint16_t ap7d_AddLoginUserFrom(AP7_SPECTRUM* spectrum, void* settings) {
  const bool wanted = GU6_GetConfigInt("CustomerInfo", "UseLogin", 0) != 0 || GU4_SupportsSecurityServices() != 0;
  if (settings == nullptr || !wanted) return 0;
  uint16_t appended = 0;
  if (const char* label = GU4_GetAssocString(AP7_GROUP_LOGIN, AP7_LOGIN_LABEL, nullptr, nullptr)) {
    char name[kUserNameSize] = "";
    if (GU2_GetParmStrValue_MSG(settings, kSettingsUserName, name, sizeof name, kFreeForm) != 0 && name[0] != '\0') {
      name[sizeof name - 1] = '\0';
      ap7d_AddHistoryText(spectrum, label);
      appended = ap7d_AddHistoryText(spectrum, (std::string(name) + kLineEnd).c_str());
    }
  }
  ap7d_refresh_display(settings);
  return appended;
}

uint16_t ap7d_AddHistoryLine(AP7_SPECTRUM* spectrum, uint16_t label) {
  const char* text = GU4_GetAssocString(AP7_GROUP_HISTORY, label, nullptr, nullptr);
  return text != nullptr ? ap7d_AddHistoryTextLine(spectrum, text) : 0;
}

uint16_t ap7d_AddHistoryTextLine(AP7_SPECTRUM* spectrum, const char* text) {
  char when[kTimeTextSize] = "";
  if (GU4_Time2StringSafe(GU4_SystemTime(), when, GU4_TIMEFMT_LONG2, sizeof when) == nullptr) when[0] = '\0';
  const uint16_t appended = ap7d_AddHistoryText(spectrum, (std::string(text) + when + kLineEnd).c_str());
  if (appended) ap7d_AddLoginUser(spectrum);
  return appended;
}
