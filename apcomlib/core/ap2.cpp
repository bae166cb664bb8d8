// Root object class AP2 OBJECT and the common object protocol.
//
// Every accessory object carries an AP2 part: its serial number, its
// outermost object, its change bracket and state, its user word and its
// dependents (windows and objects that hear when it changes, is copied for a
// change, or is destroyed). The class owns two cell heaps, its parts and the
// dependents' cells. AP2_Dispatcher_OBJ answers messages 1 to 24; every
// class hands these down to its AP2 part, and classes call the change
// bracket and the other part operations directly.
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/core.h"
#include "platform/memory.h"
#include "platform/user.h"

namespace {

constexpr uint32_t kInstanceCells = 1000;
constexpr uint32_t kDependentCells = 1000;
constexpr char kClassName[] = "AP2_OBJECT";

// Dependents are found by their window.
constexpr uint16_t kKeyOffset = offsetof(AP2_DEPENDENT, window);
constexpr uint16_t kKeySize = sizeof(HWND);

APX_CLASSREC* ap2_class() { return apx_class_record(AP2_CLASS_ID); }

GU3_HANDLE ap2_dependents_heap() { return static_cast<GU3_HANDLE>(ap2_class()->class_data); }

bool ap2_is_part(const AP2_OBJECT* part) {
  return !IsBadReadPtr(part, sizeof(AP2_OBJECT)) && part->head.class_id == AP2_CLASS_ID;
}

AP2_DEPENDENT* ap2_first(const AP2_OBJECT* part) { return reinterpret_cast<AP2_DEPENDENT*>(part->dependents->head); }

AP2_DEPENDENT* ap2_next(const AP2_DEPENDENT* dependent) {
  return reinterpret_cast<AP2_DEPENDENT*>(dependent->links.next);
}

AP2_DEPENDENT* ap2_find_window(AP2_OBJECT* part, HWND window) {
  return reinterpret_cast<AP2_DEPENDENT*>(
      GU1_Search_LL(part->dependents, &window, nullptr, kKeyOffset, kKeySize, GU1_KEY_BYTES));
}

AP2_DEPENDENT* ap2_find_object(const AP2_OBJECT* part, const AP_OBJECT* object) {
  for (AP2_DEPENDENT* dependent = ap2_first(part); dependent != nullptr; dependent = ap2_next(dependent)) {
    if (dependent->object == object) return dependent;
  }
  return nullptr;
}

bool ap2_has_kind(const AP2_OBJECT* part, uint16_t kind) {
  for (AP2_DEPENDENT* dependent = ap2_first(part); dependent != nullptr; dependent = ap2_next(dependent)) {
    if (dependent->kind == kind) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Notices

void ap2_notify_window(const AP2_DEPENDENT* dependent, const AP_NOTIFYPARM& notice) {
  if (dependent->kind == AP2_KIND_CANT_CHANGE || !IsWindow(dependent->window)) return;
  const LPARAM outer = reinterpret_cast<LPARAM>(notice.outer);
  switch (notice.notice) {
    case AP_NOTICE_CHANGED:
      SendMessageA(dependent->window, AP_NOTICE_CHANGED, notice.word, outer);
      break;
    case AP_NOTICE_DESTROYING:
      SendMessageA(dependent->window, AP_NOTICE_DESTROYING, 0, outer);
      break;
    case AP_NOTICE_COPIED: {
      AP_COPYNOTICE block{notice.outer, notice.copy};
      SendMessageA(dependent->window, AP_NOTICE_COPIED, 0, reinterpret_cast<LPARAM>(&block));
      break;
    }
    case AP_NOTICE_ONE_LEFT:
      PostMessageA(dependent->window, AP_NOTICE_ONE_LEFT, 0, outer);
      break;
  }
}

// Visits the dependents in list order; one that fails does not stop the rest.
void ap2_notify(AP2_OBJECT* part, uint16_t notice, AP_OBJECT* copy) {
  const AP_NOTIFYPARM block{notice, notice == AP_NOTICE_CHANGED ? part->user_word : uint16_t{0}, part->outer, copy};
  AP2_DEPENDENT* dependent = ap2_first(part);
  while (dependent != nullptr) {
    AP2_DEPENDENT* next = ap2_next(dependent);
    if (dependent->window != nullptr) {
      ap2_notify_window(dependent, block);
    } else if (dependent->object != nullptr) {
      AP_NOTIFYPARM parameter = block;
      GU2_DoMethod_MSG(AP_MSG_NOTIFY, dependent->object, &parameter);
    }
    dependent = next;
  }
}

// ---------------------------------------------------------------------------
// Dependents

// Appends a dependent without asking whether it is one already.
uint16_t ap2_append_dependent(AP2_OBJECT* part, HWND window, uint16_t kind, AP_OBJECT* object) {
  auto* dependent = static_cast<AP2_DEPENDENT*>(GU3_HeapGetEx_MM(ap2_dependents_heap()));
  if (dependent == nullptr) return 0;
  dependent->window = window;
  dependent->kind = kind;
  dependent->object = object;
  return GU1_Append_LL(part->dependents, dependent);
}

// Unlinks a dependent and returns its cell. A dependent left alone hears
// notice 1005 when the caller asks for it.
void ap2_drop_dependent(AP2_OBJECT* part, AP2_DEPENDENT* dependent, bool tell_last) {
  GU1_Unlink_LL(part->dependents, &dependent->links);
  dependent->window = nullptr;
  dependent->kind = 0;
  GU3_HeapRelease_MM(ap2_dependents_heap(), dependent);
  if (tell_last && part->dependents->count == 1) ap2_notify(part, AP_NOTICE_ONE_LEFT, nullptr);
}

// A change under a "Cant Change" window: the object goes on changing under
// that window, and every other dependent is handed to a copy of the object as
// it stands. Object dependents move with the windows.
bool ap2_hand_over_to_copy(AP2_OBJECT* part) {
  AP_WINDOWPARM no_window{nullptr, 0};
  auto* copy = ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP_MSG_DUPLICATE, part->outer, &no_window));
  if (copy == nullptr) return false;
  for (AP2_DEPENDENT* dependent = ap2_first(part); dependent != nullptr; dependent = ap2_next(dependent)) {
    if (dependent->kind == AP2_KIND_CANT_CHANGE) continue;
    if (dependent->window != nullptr) {
      AP_DEPENDENTWINDOWPARM add{dependent->window, dependent->kind};
      GU2_DoMethod_MSG(AP_MSG_ADD_DEPENDENT_WINDOW, copy, &add);
    } else {
      AP_DEPENDENTOBJECTPARM add{dependent->object, dependent->kind};
      GU2_DoMethod_MSG(AP_MSG_ADD_DEPENDENT_OBJECT, copy, &add);
    }
  }
  ap2_notify(part, AP_NOTICE_COPIED, copy);
  AP2_DEPENDENT* dependent = ap2_first(part);
  while (dependent != nullptr) {
    AP2_DEPENDENT* next = ap2_next(dependent);
    if (dependent->kind != AP2_KIND_CANT_CHANGE) ap2_drop_dependent(part, dependent, true);
    dependent = next;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Dump

void ap2_append(std::string& text, const char* format, ...) __attribute__((format(printf, 2, 3)));

void ap2_append(std::string& text, const char* format, ...) {
  char piece[256];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(piece, sizeof piece, format, arguments);
  va_end(arguments);
  text += piece;
}

const char* ap2_kind_name(uint16_t kind) {
  switch (kind) {
    case AP2_KIND_CANT_CHANGE: return "Cant Change";
    case AP2_KIND_CANT_DESTROY: return "Cant Destroy";
    case AP2_KIND_NOTIFY_CHANGE: return "Notify Change";
    default: return nullptr;
  }
}

// The dump text, or false when a part of it cannot be told.
bool ap2_dump_text(AP2_OBJECT* part, std::string& text) {
  char class_name[80] = "";
  GU2_DoMethod_MSG(AP_MSG_CLASS_NAME, part->outer, class_name);
  class_name[sizeof class_name - 1] = '\0';
  const uint32_t size = GU2_DoMethod_MSG(AP_MSG_SIZE, part->outer, nullptr);
  const APX_CLASSREC* outer_class = apx_class_record(part->outer->class_id);
  if (size == 0 || outer_class == nullptr) return false;

  ap2_append(text, "%s:  %d 0x%lx Size:  %d Flags:  ", class_name, part->serial,
             static_cast<unsigned long>(reinterpret_cast<uintptr_t>(part)), static_cast<int>(size));
  // A fresh object (state 0) carries no mark.
  switch (part->change_state) {
    case AP2_UNCHANGED: break;
    case AP2_CHANGED: text += "U"; break;
    case AP2_SAVED: text += "S"; break;
    default: return false;
  }
  if (part->nesting != 0) ap2_append(text, "C%d", part->nesting);
  text += "\r\n";
  ap2_append(text, "    Allocs--Total:  %d  Cur:  %d \r\n", outer_class->created, outer_class->live);
  text += "    ";
  for (AP2_DEPENDENT* dependent = ap2_first(part); dependent != nullptr; dependent = ap2_next(dependent)) {
    const char* kind = ap2_kind_name(dependent->kind);
    if (kind == nullptr) return false;
    ap2_append(text, "    winID 0x%x  %s\r\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(dependent->window)),
               kind);
  }
  return true;
}

// Size of the parameter block each message reads, checked before the
// dispatcher unpacks it; messages whose parameter is not a block read none.
uint32_t ap2_block_size(uint16_t message) {
  switch (message) {
    case AP_MSG_SET_USER_WORD:
    case AP_MSG_SET_CHANGE_STATE: return sizeof(AP_WORDPARM);
    case AP_MSG_INIT:
    case AP_MSG_DESTROY:
    case AP_MSG_DUPLICATE:
    case AP_MSG_REMOVE_DEPENDENT: return sizeof(HWND);
    case AP_MSG_NEW: return sizeof(AP_NEWPARM);
    case AP_MSG_ADD_DEPENDENT_WINDOW: return sizeof(AP_DEPENDENTWINDOWPARM);
    case AP_MSG_READ: return sizeof(AP_READPARM);
    case AP_MSG_COPY: return sizeof(AP_COPYPARM);
    case AP_MSG_ADD_DEPENDENT_OBJECT: return sizeof(AP_DEPENDENTOBJECTPARM);
    default: return 0;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Class initialisation and termination

uint16_t ap2_InitClass(uint16_t class_id) {
  if (class_id != AP2_CLASS_ID || !apx_InitInstanceHeap(class_id, kInstanceCells, sizeof(AP2_OBJECT), kClassName))
    return 0;
  APX_CLASSREC* record = ap2_class();
  record->class_data = GU3_MakeCellHeap_MM(kDependentCells, sizeof(AP2_DEPENDENT), GU3_KIND_GLOBAL, "AP2_DEPENDENTS");
  if (record->class_data != nullptr) return 1;
  apx_FreeInstanceHeap(class_id);
  return 0;
}

uint16_t ap2_TermClass(uint16_t class_id) {
  if (class_id != AP2_CLASS_ID) return 0;
  APX_CLASSREC* record = ap2_class();
  const uint16_t dependents_freed = GU3_Free_MM(ap2_dependents_heap());
  // The handle goes with its heap, so no later create reaches a freed heap.
  record->class_data = nullptr;
  return apx_FreeInstanceHeap(class_id) & dependents_freed;
}

// ---------------------------------------------------------------------------
// Part operations

AP2_OBJECT* ap2_Create_OBJ(uint16_t class_id, AP_OBJECT* outer) {
  if (class_id != AP2_CLASS_ID) return nullptr;
  APX_CLASSREC* record = ap2_class();
  auto* part = static_cast<AP2_OBJECT*>(GU3_HeapGetEx_MM(record->instance_heap));
  if (part == nullptr) return nullptr;
  part->head = AP_OBJECT{AP2_CLASS_ID, nullptr};
  part->outer = outer != nullptr ? outer : &part->head;
  part->dependents = &part->dependent_list;
  GU1_Create_LL(part->dependents, kKeyOffset, kKeySize, GU1_KEY_BYTES);
  APX_CLASSTABLE* table = APX_GetClassTable();
  part->serial = static_cast<uint16_t>(table->serial_counter++);
  ++record->live;
  ++record->created;
  return part;
}

uint16_t ap2_Init_OBJ(AP2_OBJECT* part, HWND window) {
  if (!ap2_is_part(part)) return 0;
  part->nesting = 0;
  part->change_state = AP2_UNCHANGED;
  return window != nullptr ? ap2_append_dependent(part, window, AP2_KIND_NOTIFY_CHANGE, nullptr) : 1;
}

AP_OBJECT* ap2_New_OBJ(uint16_t class_id, HWND window) {
  if (class_id < AP2_CLASS_ID || class_id >= AP_CLASS_LIMIT) return nullptr;
  auto* object = ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP_MSG_CREATE, &class_id, nullptr));
  if (object == nullptr) return nullptr;
  AP_WINDOWPARM parameter{window, 0};
  if (GU2_DoMethod_MSG(AP_MSG_INIT, object, &parameter) != 0) return object;
  GU2_DoMethod_MSG(AP_MSG_DESTROY, object, &parameter);
  return nullptr;
}

uint32_t ap2_Destroy_OBJ(AP2_OBJECT* part, HWND window) {
  if (!ap2_is_part(part)) return 0;
  uint32_t holders = 0;
  for (AP2_DEPENDENT* dependent = ap2_first(part); dependent != nullptr; dependent = ap2_next(dependent)) {
    if (dependent->window != window &&
        (dependent->kind == AP2_KIND_CANT_CHANGE || dependent->kind == AP2_KIND_CANT_DESTROY))
      ++holders;
  }
  // The caller's own entry goes in any case. Only a window is the caller's:
  // an object dependent taken away here would never hear notice 1003. Notice
  // 1005 goes out only when the object stays, since it carries the address
  // of the object.
  if (window != nullptr) {
    if (AP2_DEPENDENT* own = ap2_find_window(part, window)) ap2_drop_dependent(part, own, holders != 0);
  }
  if (holders != 0) return AP_DESTROY_REFUSED;

  ap2_notify(part, AP_NOTICE_DESTROYING, nullptr);
  while (AP2_DEPENDENT* dependent = ap2_first(part)) ap2_drop_dependent(part, dependent, false);
  APX_CLASSREC* record = ap2_class();
  if (!GU3_HeapRelease_MM(record->instance_heap, part)) return 0;
  --record->live;
  return AP_DESTROYED;
}

AP_OBJECT* ap2_Duplicate_OBJ(AP2_OBJECT* part, HWND window) {
  if (!ap2_is_part(part) || part->outer == nullptr) return nullptr;
  auto* copy = ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP_MSG_CREATE, part->outer, nullptr));
  if (copy == nullptr) return nullptr;
  AP_COPYPARM fill{copy, window};
  if (GU2_DoMethod_MSG(AP_MSG_COPY, part->outer, &fill) != 0) return copy;
  AP_WINDOWPARM no_window{nullptr, 0};
  GU2_DoMethod_MSG(AP_MSG_DESTROY, copy, &no_window);
  return nullptr;
}

uint32_t ap2_GetSize_OBJ(AP2_OBJECT* part) {
  if (!ap2_is_part(part)) return 0;
  return sizeof(AP2_OBJECT) + sizeof(AP2_DEPENDENT) * part->dependents->count;
}

uint16_t ap2_DumpObject_OBJ(AP2_OBJECT* part, char* text) {
  if (!ap2_is_part(part) || part->outer == nullptr) return 0;
  std::string dump;
  // The whole text is made first, so that nothing is written to a buffer
  // that cannot take it.
  if (!ap2_dump_text(part, dump) || IsBadWritePtr(text, dump.size() + 1)) return 0;
  std::memcpy(text, dump.c_str(), dump.size() + 1);
  return 1;
}

bool ap2_DumpText_OBJ(AP_OBJECT* object, std::string& text) {
  AP_OBJECT* part = object;
  // Every class reaches its root part within a few steps.
  constexpr int kMaxPartDepth = 8;
  for (int depth = 0; depth < kMaxPartDepth && part != nullptr && !IsBadReadPtr(part, sizeof *part); ++depth) {
    if (part->class_id != AP2_CLASS_ID) {
      part = part->parent;
      continue;
    }
    auto* root = reinterpret_cast<AP2_OBJECT*>(part);
    text.clear();
    return ap2_is_part(root) && root->outer != nullptr && ap2_dump_text(root, text);
  }
  return false;
}

uint16_t ap2_copy_class_name(char* buffer, const char* class_name) {
  const size_t bytes = std::strlen(class_name) + 1;
  if (IsBadWritePtr(buffer, bytes)) return 0;
  std::memcpy(buffer, class_name, bytes);
  return 1;
}

uint16_t ap2_SetUserWord_OBJ(AP2_OBJECT* part, uint16_t word) {
  if (!ap2_is_part(part)) return 0;
  part->user_word = word;
  return 1;
}

uint16_t ap2_BeginChange_OBJ(AP2_OBJECT* part) {
  if (!ap2_is_part(part) || part->outer == nullptr) return 0;
  if (part->nesting == 0 && ap2_has_kind(part, AP2_KIND_CANT_CHANGE) && !ap2_hand_over_to_copy(part)) return 0;
  ++part->nesting;
  part->change_state = AP2_CHANGED;
  return 1;
}

uint16_t ap2_EndChange_OBJ(AP2_OBJECT* part) {
  if (!ap2_is_part(part) || part->nesting == 0) return 0;
  if (--part->nesting == 0) ap2_notify(part, AP_NOTICE_CHANGED, nullptr);
  return 1;
}

int16_t ap2_GetChangeState_OBJ(AP2_OBJECT* part) { return ap2_is_part(part) ? part->change_state : -1; }

uint16_t ap2_SetChangeState_OBJ(AP2_OBJECT* part, int16_t state) {
  if (!ap2_is_part(part)) return 0;
  part->change_state = state;
  return 1;
}

uint16_t ap2_SaveViaOwner_OBJ(AP2_OBJECT* part, void* file) {
  if (!ap2_is_part(part) || part->outer == nullptr) return 0;
  if (GU2_DoMethod_MSG(AP_MSG_WRITE, part->outer, file) == 0) return 0;
  part->change_state = AP2_SAVED;
  return 1;
}

uint16_t ap2_AddDependentWindow_OBJ(AP2_OBJECT* part, HWND window, uint16_t kind) {
  if (!ap2_is_part(part) || window == nullptr || ap2_find_window(part, window) != nullptr) return 0;
  return ap2_append_dependent(part, window, kind, nullptr);
}

uint16_t ap2_RemoveDependent_OBJ(AP2_OBJECT* part, HWND window) {
  if (!ap2_is_part(part)) return 0;
  AP2_DEPENDENT* dependent = ap2_find_window(part, window);
  if (dependent == nullptr) return 0;
  ap2_drop_dependent(part, dependent, true);
  return 1;
}

// An AP2 part keeps nothing in a file: reading either makes a bare object or
// answers the object itself.
AP_OBJECT* ap2_Read_OBJ(void* object, uint16_t create) {
  if (gu2_ClassIdOf(object) != AP2_CLASS_ID) return nullptr;
  return create ? ap2_New_OBJ(AP2_CLASS_ID, nullptr) : static_cast<AP_OBJECT*>(object);
}

uint16_t ap2_Write_OBJ(AP2_OBJECT* part, void* file) { return ap2_is_part(part) && file != nullptr ? 1 : 0; }

uint16_t ap2_Copy_OBJ(AP2_OBJECT* part, AP2_OBJECT* target, HWND window) {
  if (!ap2_is_part(part) || !ap2_is_part(target)) return 0;
  target->nesting = part->nesting;
  target->user_word = part->user_word;
  target->change_state = part->change_state;
  return window != nullptr ? ap2_AddDependentWindow_OBJ(target, window, AP2_KIND_NOTIFY_CHANGE) : 1;
}

uint16_t ap2_AddDependentObject_OBJ(AP2_OBJECT* part, AP_OBJECT* object, uint16_t kind) {
  if (!ap2_is_part(part) || object == nullptr || ap2_find_object(part, object) != nullptr) return 0;
  return ap2_append_dependent(part, nullptr, kind, object);
}

uint16_t ap2_SetOuterObject_OBJ(AP2_OBJECT* part, AP_OBJECT* layer) {
  if (!ap2_is_part(part) || IsBadWritePtr(layer, sizeof(AP_OBJECT))) return 0;
  layer->parent = part->outer;
  part->outer = layer;
  return 1;
}

// ---------------------------------------------------------------------------
// Dispatcher

APEXPORT uint32_t AP2_Dispatcher_OBJ(void* object, uint16_t message, void* parameter) {
  if (IsBadReadPtr(parameter, ap2_block_size(message))) return 0;
  auto* part = static_cast<AP2_OBJECT*>(object);
  auto* text = static_cast<char*>(parameter);
  const auto* word = static_cast<const AP_WORDPARM*>(parameter);
  const auto* window = static_cast<const AP_WINDOWPARM*>(parameter);
  const auto* fresh = static_cast<const AP_NEWPARM*>(parameter);
  const auto* add_window = static_cast<const AP_DEPENDENTWINDOWPARM*>(parameter);
  const auto* add_object = static_cast<const AP_DEPENDENTOBJECTPARM*>(parameter);
  const auto* read = static_cast<const AP_READPARM*>(parameter);
  const auto* copy = static_cast<const AP_COPYPARM*>(parameter);
  switch (message) {
    case AP_MSG_SET_USER_WORD:        return ap2_SetUserWord_OBJ(part, word->word);
    case AP_MSG_CREATE:               return ap_object_result(ap2_Create_OBJ(gu2_ClassIdOf(object), static_cast<AP_OBJECT*>(parameter)));
    case AP_MSG_INIT:                 return ap2_Init_OBJ(part, window->window);
    case AP_MSG_NEW:                  return ap_object_result(ap2_New_OBJ(fresh->class_id, fresh->window));
    case AP_MSG_DESTROY:              return ap2_Destroy_OBJ(part, window->window);
    case AP_MSG_DUPLICATE:            return ap_object_result(ap2_Duplicate_OBJ(part, window->window));
    case AP_MSG_SIZE:                 return ap2_GetSize_OBJ(part);
    case AP_MSG_DUMP:                 return ap2_DumpObject_OBJ(part, text);
    case AP_MSG_CLASS_NAME:           return ap2_is_part(part) ? ap2_copy_class_name(text, kClassName) : 0;
    case AP_MSG_BEGIN_CHANGE:         return ap2_BeginChange_OBJ(part);
    case AP_MSG_END_CHANGE:           return ap2_EndChange_OBJ(part);
    case AP_MSG_GET_CHANGE_STATE:     return static_cast<uint32_t>(static_cast<int32_t>(ap2_GetChangeState_OBJ(part)));
    case AP_MSG_SET_CHANGE_STATE:     return ap2_SetChangeState_OBJ(part, static_cast<int16_t>(word->word));
    case AP_MSG_SAVE:                 return ap2_SaveViaOwner_OBJ(part, parameter);
    case AP_MSG_ADD_DEPENDENT_WINDOW: return ap2_AddDependentWindow_OBJ(part, add_window->window, add_window->kind);
    case AP_MSG_REMOVE_DEPENDENT:     return ap2_RemoveDependent_OBJ(part, window->window);
    case AP_MSG_READ:                 return ap_object_result(ap2_Read_OBJ(object, read->create));
    case AP_MSG_WRITE:                return ap2_Write_OBJ(part, parameter);
    case AP_MSG_COPY:                 return ap2_Copy_OBJ(part, reinterpret_cast<AP2_OBJECT*>(copy->target), copy->window);
    case AP_MSG_ADD_DEPENDENT_OBJECT: return ap2_AddDependentObject_OBJ(part, add_object->object, add_object->kind);
    case AP_MSG_NOTIFY:               return ap2_is_part(part) ? 1 : 0;
    default:                          return 0;
  }
}
