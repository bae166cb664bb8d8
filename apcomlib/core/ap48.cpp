// Text class AP48 TEXT.
//
// A text object holds one NUL-terminated text in the string space, which it
// owns: the text is replaced whole when something is appended or put in
// front, removed when it is cleared or the object is destroyed, and written
// inside only where message 41 fills a fixed-width field at a keyword. Each
// change is one change of the object, whose dependents hear notice 1002 with
// the word 4800. The class owns its instance heap "AP48". Spectra keep their
// history and comment texts in such objects; the parameter classes list
// their values into one.
#include <algorithm>
#include <cstring>

#include "core/core.h"
#include "platform/memory.h"

namespace {

constexpr uint32_t kInstanceCells = 150;
constexpr char kClassName[] = "AP48_TEXT";
constexpr char kHeapName[] = "AP48";

APX_CLASSREC* ap48_class() { return apx_class_record(AP48_CLASS_ID); }

bool ap48_is_text(const AP48_TEXT* text) {
  return !IsBadReadPtr(text, sizeof(AP48_TEXT)) && text->head.class_id == AP48_CLASS_ID;
}

AP2_OBJECT* ap48_part(const AP48_TEXT* text) { return reinterpret_cast<AP2_OBJECT*>(text->head.parent); }

size_t ap48_length(const AP48_TEXT* text) { return text->text != nullptr ? std::strlen(text->text) : 0; }

// Puts a new text in place of the object's own and removes the old one.
void ap48_replace(AP48_TEXT* text, char* replacement) {
  if (text->text != nullptr) GU3_RemoveString(text->text);
  text->text = replacement;
}

// Ends a change of the text, telling the dependents it was a text change.
void ap48_end_text_change(AP48_TEXT* text) {
  ap2_SetUserWord_OBJ(ap48_part(text), AP48_NOTICE_WORD);
  ap2_EndChange_OBJ(ap48_part(text));
}

// The text with `added` after it (or in front of it), in a block of its own.
// Lengths are taken whole: a text longer than 64 KB is joined as it is, not
// cut to a block sized modulo 65536. Both pieces are copied before the old
// text goes, so a piece that lies inside the text itself joins correctly.
uint16_t ap48_join(AP48_TEXT* text, const char* added, bool in_front) {
  if (!ap48_is_text(text) || added == nullptr) return 0;
  if (!ap2_BeginChange_OBJ(ap48_part(text))) return 0;
  const size_t old_length = ap48_length(text);
  const size_t added_length = std::strlen(added);
  const size_t total = old_length + added_length;
  char* joined = total < GU3_STRING_SPACE_BYTES ? GU3_GetStringSpaceEx(static_cast<uint32_t>(total + 1)) : nullptr;
  if (joined != nullptr) {
    const char* first = in_front ? added : text->text;
    const size_t first_length = in_front ? added_length : old_length;
    const char* second = in_front ? text->text : added;
    if (first_length != 0) std::memcpy(joined, first, first_length);
    if (total != first_length) std::memcpy(joined + first_length, second, total - first_length);
    joined[total] = '\0';
    ap48_replace(text, joined);
  }
  ap48_end_text_change(text);
  return joined != nullptr ? 1 : 0;
}

// Size of the parameter block each message reads; messages whose parameter
// is a text or a buffer check it themselves.
uint32_t ap48_block_size(uint16_t message) {
  switch (message) {
    case AP_MSG_INIT:
    case AP_MSG_NEW:
    case AP_MSG_DESTROY:
    case AP_MSG_DUPLICATE: return sizeof(HWND);
    case AP_MSG_COPY: return sizeof(AP_COPYPARM);
    case AP48_MSG_SET_FIELD: return sizeof(AP48_FIELDPARM);
    default: return 0;
  }
}

// ---------------------------------------------------------------------------
// Operations, one a message

AP48_TEXT* ap48_Create_TEXT(uint16_t class_id) {
  if (class_id != AP48_CLASS_ID) return nullptr;
  APX_CLASSREC* record = ap48_class();
  auto* text = static_cast<AP48_TEXT*>(GU3_HeapGetEx_MM(record->instance_heap));
  if (text == nullptr) return nullptr;
  text->head.class_id = AP48_CLASS_ID;
  AP2_OBJECT* part = ap2_Create_OBJ(AP2_CLASS_ID, &text->head);
  if (part == nullptr) {
    GU3_HeapRelease_MM(record->instance_heap, text);
    return nullptr;
  }
  text->head.parent = &part->head;
  text->text = nullptr;
  ++record->live;
  ++record->created;
  return text;
}

// A text that was already there goes with the fresh start.
uint16_t ap48_Init_TEXT(AP48_TEXT* text, HWND window) {
  if (!ap48_is_text(text)) return 0;
  const uint16_t result = ap2_Init_OBJ(ap48_part(text), window);
  ap48_replace(text, nullptr);
  return result;
}

uint32_t ap48_Destroy_TEXT(AP48_TEXT* text, HWND window) {
  if (!ap48_is_text(text)) return 0;
  const uint32_t result = ap2_Destroy_OBJ(ap48_part(text), window);
  if (result != AP_DESTROYED) return result;
  ap48_replace(text, nullptr);
  APX_CLASSREC* record = ap48_class();
  if (!GU3_HeapRelease_MM(record->instance_heap, text)) return 0;
  --record->live;
  return AP_DESTROYED;
}

AP_OBJECT* ap48_Duplicate_TEXT(AP48_TEXT* text, HWND window) {
  return ap48_is_text(text) ? ap2_Duplicate_OBJ(ap48_part(text), window) : nullptr;
}

uint32_t ap48_GetSize_TEXT(AP48_TEXT* text) {
  return ap48_is_text(text) ? ap2_GetSize_OBJ(ap48_part(text)) + sizeof(AP48_TEXT) : 0;
}

uint16_t ap48_DumpObject_TEXT(AP48_TEXT* text, char* buffer) {
  return ap48_is_text(text) ? ap2_DumpObject_OBJ(ap48_part(text), buffer) : 0;
}

uint16_t ap48_GetClassName_TEXT(AP48_TEXT* text, char* buffer) {
  return ap48_is_text(text) ? ap2_copy_class_name(buffer, kClassName) : 0;
}

// Fills a target text object (a new one, for a duplicate) with this one's
// AP2 state and a copy of its text in a block of the target's own. When the
// copy cannot be had the target keeps its text.
uint16_t ap48_Copy_TEXT(AP48_TEXT* text, AP48_TEXT* target, HWND window) {
  if (!ap48_is_text(text) || !ap48_is_text(target)) return 0;
  if (!ap2_Copy_OBJ(ap48_part(text), ap48_part(target), window)) return 0;
  char* copy = nullptr;
  if (text->text != nullptr) {
    copy = GU3_StoreStringEx(text->text);
    if (copy == nullptr) return 0;
  }
  ap48_replace(target, copy);
  return 1;
}

uint16_t ap48_Append_TEXT(AP48_TEXT* text, const char* added) { return ap48_join(text, added, false); }

uint16_t ap48_Prepend_TEXT(AP48_TEXT* text, const char* added) { return ap48_join(text, added, true); }

uint32_t ap48_GetLength_TEXT(AP48_TEXT* text) {
  return ap48_is_text(text) ? static_cast<uint32_t>(ap48_length(text)) : 0;
}

uint16_t ap48_Clear_TEXT(AP48_TEXT* text) {
  if (!ap48_is_text(text)) return 0;
  if (text->text == nullptr) return 1;
  if (!ap2_BeginChange_OBJ(ap48_part(text))) return 0;
  ap48_replace(text, nullptr);
  ap48_end_text_change(text);
  return 1;
}

char* ap48_GetText_TEXT(AP48_TEXT* text) { return ap48_is_text(text) ? text->text : nullptr; }

// Overwrites the field that starts at the keyword's first occurrence: the
// value, cut to the keyword's line, then blanks up to the field's width. The
// field never reaches past the end of the text: a keyword near the end gets
// a narrower field rather than bytes written beyond the text's block.
uint16_t ap48_SetField_TEXT(AP48_TEXT* text, const char* keyword, const char* value) {
  if (!ap48_is_text(text) || keyword == nullptr || value == nullptr) return 0;
  if (!ap2_BeginChange_OBJ(ap48_part(text))) return 0;
  char* field = text->text != nullptr ? std::strstr(text->text, keyword) : nullptr;
  if (field != nullptr) {
    const size_t line = std::strcspn(field, "\r");
    const size_t width = std::min<size_t>(AP48_FIELD_WIDTH, std::strlen(field));
    const size_t value_length = std::min({std::strlen(value), line, width});
    std::memmove(field, value, value_length);
    std::memset(field + value_length, ' ', width - value_length);
  }
  ap2_EndChange_OBJ(ap48_part(text));
  return field != nullptr ? 1 : 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Operations called directly too

uint16_t ap48_AppendText(AP48_TEXT* text, const char* added) { return ap48_Append_TEXT(text, added); }

uint32_t ap48_GetTextLength(AP48_TEXT* text) { return ap48_GetLength_TEXT(text); }

uint16_t ap48_ClearText(AP48_TEXT* text) { return ap48_Clear_TEXT(text); }

char* ap48_GetText(AP48_TEXT* text) { return ap48_GetText_TEXT(text); }

uint16_t ap48_CopyContents(AP48_TEXT* text, AP48_TEXT* target, HWND window) {
  return ap48_Copy_TEXT(text, target, window);
}

// ---------------------------------------------------------------------------
// Class initialisation and termination

uint16_t ap48_InitClass(uint16_t class_id) {
  if (class_id != AP48_CLASS_ID) return 0;
  return apx_InitInstanceHeap(class_id, kInstanceCells, sizeof(AP48_TEXT), kHeapName);
}

uint16_t ap48_TermClass(uint16_t class_id) {
  if (class_id != AP48_CLASS_ID) return 0;
  return apx_FreeInstanceHeap(class_id);
}

// ---------------------------------------------------------------------------
// Dispatcher

APEXPORT uint32_t AP48_Dispatcher_TEXT(void* object, uint16_t message, void* parameter) {
  if (IsBadReadPtr(parameter, ap48_block_size(message))) return 0;
  auto* text = static_cast<AP48_TEXT*>(object);
  auto* buffer = static_cast<char*>(parameter);
  const auto* window = static_cast<const AP_WINDOWPARM*>(parameter);
  const auto* copy = static_cast<const AP_COPYPARM*>(parameter);
  const auto* field = static_cast<const AP48_FIELDPARM*>(parameter);
  switch (message) {
    case AP_MSG_SET_USER_WORD:
    case AP_MSG_BEGIN_CHANGE:
    case AP_MSG_END_CHANGE:
    case AP_MSG_GET_CHANGE_STATE:
    case AP_MSG_SET_CHANGE_STATE:
    case AP_MSG_ADD_DEPENDENT_WINDOW:
    case AP_MSG_REMOVE_DEPENDENT: return ap48_is_text(text) ? AP2_Dispatcher_OBJ(ap48_part(text), message, parameter) : 0;
    case AP_MSG_CREATE:           return ap_object_result(ap48_Create_TEXT(gu2_ClassIdOf(object)));
    case AP_MSG_INIT:             return ap48_Init_TEXT(text, window->window);
    case AP_MSG_NEW:              return ap_object_result(ap2_New_OBJ(AP48_CLASS_ID, window->window));
    case AP_MSG_DESTROY:          return ap48_Destroy_TEXT(text, window->window);
    case AP_MSG_DUPLICATE:        return ap_object_result(ap48_Duplicate_TEXT(text, window->window));
    case AP_MSG_SIZE:             return ap48_GetSize_TEXT(text);
    case AP_MSG_DUMP:             return ap48_DumpObject_TEXT(text, buffer);
    case AP_MSG_CLASS_NAME:       return ap48_GetClassName_TEXT(text, buffer);
    case AP_MSG_COPY:             return ap48_Copy_TEXT(text, reinterpret_cast<AP48_TEXT*>(copy->target), copy->window);
    case AP48_MSG_APPEND:         return ap48_Append_TEXT(text, buffer);
    case AP48_MSG_LENGTH:         return ap48_GetLength_TEXT(text);
    case AP48_MSG_CLEAR:          return ap48_Clear_TEXT(text);
    case AP48_MSG_TEXT:           return ap_object_result(ap48_GetText_TEXT(text));
    case AP48_MSG_PREPEND:        return ap48_Prepend_TEXT(text, buffer);
    case AP48_MSG_SET_FIELD:      return ap48_SetField_TEXT(text, field->keyword, field->value);
    default:                      return 0;
  }
}
