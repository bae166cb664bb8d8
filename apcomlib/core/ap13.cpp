// The parameter-table class AP13 PARAMS and its value messages.
//
// A PARAMS part gives a parameter-set object (spectral header, title,
// quality-check settings and results) its table of named, typed values: the
// class owns the cell heap of the parts, creates, initialises, copies,
// streams and destroys them, and answers the messages that read and write
// one value by value or by text, reset, validate and compare values.
// AP13_Dispatcher_PARAMS routes every message; the parameter-set classes
// send it each message they do not handle themselves, with their part.
#include <cstddef>
#include <cstring>

#include "array/array.h"
#include "core/core.h"
#include "files/files.h"
#include "platform/memory.h"
#include "util/util.h"

namespace {

constexpr uint32_t kInstanceCells = 500;
constexpr char kClassName[] = "AP13_PARAMS";

APX_CLASSREC* ap13_class() { return apx_class_record(AP13_CLASS_ID); }

// The class id at the start of an object, or of a pointer to a bare class id.
uint16_t ap13_class_id_of(const void* object) {
  return IsBadReadPtr(object, sizeof(uint16_t)) ? 0 : ap13_load<uint16_t>(object);
}

AP2_OBJECT* ap13_root(const AP13_PARAMS* part) { return reinterpret_cast<AP2_OBJECT*>(part->head.parent); }

// The common messages that the AP2 part answers unchanged.
uint32_t ap13_to_root(AP13_PARAMS* part, uint16_t message, void* parameter) {
  return ap13_is_part(part) ? AP2_Dispatcher_OBJ(ap13_root(part), message, parameter) : 0;
}

// Every value that owns a text gives it back.
void ap13_free_owned_texts(AP13_PARAMS* part) {
  for (uint16_t index = 0; part->table != nullptr && index < part->table->count; ++index) {
    if (part->table->rows[index].type != AP13_TYPE_OWNEDTEXT) continue;
    uint8_t* value = ap13_GetValuePtr_PARAMS(part, index);
    GU3_FreePointer(ap13_load<void*>(value));
    std::memset(value, 0, sizeof(void*));
  }
}

// A text the object owns: a copy of length + 1 bytes, or null for an empty
// text or when no memory is left.
char* ap13_own_text(const char* text) {
  if (text == nullptr || text[0] == '\0') return nullptr;
  const size_t bytes = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(GU3_NewPointer(static_cast<uint32_t>(bytes)));
  if (copy != nullptr) std::memcpy(copy, text, bytes);
  return copy;
}

bool ap13_has_text_form(uint16_t type) {
  return type >= AP13_TYPE_BOOL && type <= AP13_TYPE_LAST && type != AP13_TYPE_OWNEDTEXT;
}

// Size of the parameter block each message reads, checked before the
// dispatcher unpacks it; messages whose parameter is not a block read none.
uint32_t ap13_block_size(uint16_t message) {
  switch (message) {
    case AP_MSG_CREATE: return sizeof(AP13_CREATEPARM);
    case AP_MSG_INIT:
    case AP_MSG_DESTROY: return sizeof(HWND);
    case AP_MSG_NEW: return sizeof(AP_NEWPARM);
    case AP_MSG_READ: return sizeof(AP_READPARM);
    case AP_MSG_COPY: return sizeof(AP_COPYPARM);
    case AP13_MSG_GET_CLASS_TITLE: return sizeof(const char*);
    case AP13_MSG_GET_PARM_COUNT:
    case AP13_MSG_GET_PARM_TYPE:
    case AP13_MSG_RESET_PARM:
    case AP13_MSG_GET_CHOICE_COUNT:
    case AP13_MSG_GET_PARM_SIZE: return sizeof(AP13_INDEXPARM);
    case AP13_MSG_GET_PARM_NAME: return sizeof(AP13_NAMEPARM);
    case GU2_MSG_GET_PARM_VALUE: return offsetof(GU2_PARMVALUE, force);
    case GU2_MSG_SET_PARM_VALUE: return sizeof(GU2_PARMVALUE);
    case GU2_MSG_GET_PARM_STR: return sizeof(GU2_PARMSTR);
    case GU2_MSG_SET_PARM_STR: return sizeof(GU2_PARMSTRSET);
    case AP13_MSG_VALIDATE_PARM: return sizeof(AP13_VALUEPARM);
    case AP13_MSG_VALIDATE_TEXT: return sizeof(AP13_TEXTPARM);
    case AP13_MSG_COMPARE_VALUE: return sizeof(AP13_COMPAREPARM);
    case AP13_MSG_GET_CHOICE_VALUE: return sizeof(AP13_CHOICEVALUEPARM);
    case AP13_MSG_GET_CHOICE_TEXT: return sizeof(AP13_CHOICETEXTPARM);
    case AP13_MSG_FIND_CHOICE_INDEX: return sizeof(AP13_FINDCHOICEPARM);
    case AP13_MSG_GET_ALL_TEXT:
    case AP13_MSG_SET_ALL_TEXT: return 1;
    case AP13_MSG_COPY_DIFFERING: return sizeof(AP13_COPYDIFFPARM);
    case AP13_MSG_LIST_TO_TEXT: return sizeof(AP13_LISTPARM);
    case AP13_MSG_TEST_CLASS_FLAG: return sizeof(AP13_FLAGPARM);
    case AP13_MSG_GET_TEXT_SIZE: return sizeof(AP13_TEXTSIZEPARM);
    case AP13_MSG_FORMAT_PARM: return sizeof(AP13_FORMATPARM);
    case AP13_MSG_PARSE_PARM: return sizeof(AP13_PARSEPARM);
    case AP13_MSG_DESCRIBE_PARM: return sizeof(AP13_DESCRIBEPARM);
    case AP13_MSG_TAKE_VALUES: return sizeof(AP13_TAKEPARM);
    default: return 0;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Class initialisation and termination

uint16_t ap13_InitClass_PARAMS(uint16_t class_id) {
  if (class_id != AP13_CLASS_ID) return 0;
  return apx_InitInstanceHeap(class_id, kInstanceCells, sizeof(AP13_PARAMS), "AP13");
}

uint16_t ap13_TermClass_PARAMS(uint16_t class_id) {
  if (class_id != AP13_CLASS_ID) return 0;
  return apx_FreeInstanceHeap(class_id);
}

// ---------------------------------------------------------------------------
// Part operations

AP13_PARAMS* ap13_Create_PARAMS(uint16_t class_id, uint16_t owner_class, AP_OBJECT* outer, void* data) {
  APX_CLASSREC* record = ap13_class();
  APX_CLASSREC* owner = apx_class_record(owner_class);
  if (class_id != AP13_CLASS_ID || record->instance_heap == nullptr || owner == nullptr) return nullptr;
  auto* part = static_cast<AP13_PARAMS*>(GU3_HeapGetEx_MM(record->instance_heap));
  if (part == nullptr) return nullptr;
  part->head = AP_OBJECT{AP13_CLASS_ID, nullptr};
  part->table = static_cast<AP13_PARMTABLE*>(owner->class_data);
  if (part->table == nullptr) {
    GU3_HeapRelease_MM(record->instance_heap, part);
    return nullptr;
  }
  part->owner_class = owner_class;
  part->data = static_cast<uint8_t*>(data);
  if (data == nullptr) GU5_DlgMessage("Memory Allocation Error for AP13 Data.\r\n");
  AP2_OBJECT* root = ap2_Create_OBJ(AP2_CLASS_ID, outer != nullptr ? outer : &part->head);
  if (root == nullptr) {
    GU3_HeapRelease_MM(record->instance_heap, part);
    return nullptr;
  }
  part->head.parent = &root->head;
  ++record->live;
  ++record->created;
  ++owner->live;
  ++owner->created;
  return part;
}

uint16_t ap13_Init_PARAMS(AP13_PARAMS* part, HWND window) {
  if (!ap13_is_part(part)) return 0;
  AP2_OBJECT* root = ap13_root(part);
  bool done = ap2_Init_OBJ(root, nullptr) != 0 && part->table != nullptr && part->data != nullptr &&
              ap13_ResetAll_PARAMS(part) == 1;
  ap2_SetChangeState_OBJ(root, AP2_SAVED);
  if (window != nullptr && ap2_AddDependentWindow_OBJ(root, window, AP2_KIND_NOTIFY_CHANGE) == 0) done = false;
  return done ? 1 : 0;
}

uint32_t ap13_Destroy_PARAMS(AP13_PARAMS* part, HWND window) {
  if (!ap13_is_part(part)) return 0;
  const uint32_t result = ap2_Destroy_OBJ(ap13_root(part), window);
  if (result != AP_DESTROYED) return result;
  if (part->data != nullptr) ap13_free_owned_texts(part);
  if (APX_CLASSREC* owner = apx_class_record(part->owner_class)) --owner->live;
  APX_CLASSREC* record = ap13_class();
  GU3_HeapRelease_MM(record->instance_heap, part);
  --record->live;
  return result;
}

uint32_t ap13_GetSize_PARAMS(AP13_PARAMS* part) {
  if (!ap13_is_part(part)) return 0;
  const uint32_t data_size = part->table != nullptr ? part->table->data_size : 0;
  return ap2_GetSize_OBJ(ap13_root(part)) + data_size + sizeof(AP13_PARAMS);
}

// Both parts must describe their values with the same table, or the block
// of the one would not fit the other.
uint16_t ap13_Copy_PARAMS(AP13_PARAMS* part, AP13_PARAMS* target, HWND window) {
  if (!ap13_is_part(part) || !ap13_is_part(target) || part->table != target->table || part->data == nullptr ||
      target->data == nullptr)
    return 0;
  if (ap2_Copy_OBJ(ap13_root(part), ap13_root(target), window) == 0) return 0;
  if (part == target) return 1;
  // The target's own texts go first: the block copy overwrites their references.
  ap13_free_owned_texts(target);
  std::memcpy(target->data, part->data, part->table->data_size);
  uint16_t copied = 1;
  for (uint16_t index = 0; index < part->table->count; ++index) {
    if (part->table->rows[index].type != AP13_TYPE_OWNEDTEXT) continue;
    const char* text = ap13_load<const char*>(ap13_GetValuePtr_PARAMS(part, index));
    char* own = ap13_own_text(text);
    if (own == nullptr && text != nullptr && text[0] != '\0') copied = 0;
    std::memcpy(ap13_GetValuePtr_PARAMS(target, index), &own, sizeof own);
  }
  return copied;
}

// ---------------------------------------------------------------------------
// Stream: the owning class id, the block size and the block

namespace {

// A transfer counts only when it moved every byte.
bool ap13_write_all(AP_OBJECT* file, const void* bytes, uint32_t count) {
  return ap20_Write(file, bytes, count) == count;
}

bool ap13_read_all(AP_OBJECT* file, void* bytes, uint32_t count) { return ap20_Read(file, bytes, count) == count; }

}  // namespace

uint16_t ap13_Write_PARAMS(AP13_PARAMS* part, AP_OBJECT* file) {
  if (!ap13_is_part(part) || part->table == nullptr || part->data == nullptr) return 0;
  const uint16_t owner = part->owner_class;
  const uint32_t size = part->table->data_size;
  if (!ap13_write_all(file, &owner, sizeof owner) || !ap13_write_all(file, &size, sizeof size) ||
      !ap13_write_all(file, part->data, size))
    return 0;
  ap2_SetChangeState_OBJ(ap13_root(part), AP2_SAVED);
  return 1;
}

// A bare part made from a file would have no data block to read into: the
// parameter-set classes make their objects and read into their part.
AP_OBJECT* ap13_Read_PARAMS(void* object, AP_OBJECT* file, uint16_t create) {
  auto* part = static_cast<AP13_PARAMS*>(object);
  if (create != 0 || !ap13_is_part(part) || part->table == nullptr || ap20_IsOpen(file) == 0) return nullptr;
  uint16_t owner = 0;
  uint32_t stored_size = 0;
  if (!ap13_read_all(file, &owner, sizeof owner) || owner != part->owner_class ||
      !ap13_read_all(file, &stored_size, sizeof stored_size))
    return nullptr;
  const AP13_TAKEPARM take{file, part->data, stored_size, part->table->data_size};
  if (ap13_TakeValues_PARAMS(part, &take) == 0) return nullptr;
  ap2_SetChangeState_OBJ(ap13_root(part), AP2_SAVED);
  return &part->head;
}

void ap13_end_change(AP13_PARAMS* part, uint16_t index) {
  AP2_OBJECT* root = ap13_root(part);
  ap2_SetUserWord_OBJ(root, static_cast<uint16_t>(index + 1));
  ap2_EndChange_OBJ(root);
}

AP13_PARAMS* ap13_FindParamsPart(const void* object) {
  const void* at = object;
  // A chain never holds more parts than there are classes.
  for (uint16_t step = 0; step < AP_CLASS_LIMIT && at != nullptr; ++step) {
    if (IsBadReadPtr(at, sizeof(AP_OBJECT))) return nullptr;
    const uint16_t class_id = ap13_load<uint16_t>(at);
    if (!GU2_IsValidClassID_MSG(class_id)) return nullptr;
    if (class_id == AP13_CLASS_ID) {
      auto* part = static_cast<AP13_PARAMS*>(const_cast<void*>(at));
      return ap13_is_part(part) ? part : nullptr;
    }
    at = static_cast<const AP_OBJECT*>(at)->parent;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Messages 36 to 48

uint32_t ap13_GetClassTitle_PARAMS(AP13_PARAMS* part, const char** title) {
  if (!ap13_is_part(part) || IsBadWritePtr(title, sizeof *title)) return 0;
  const char* text = GU4_GetAssocString(AP13_GROUP_CLASS_TITLES, part->owner_class, nullptr, nullptr);
  if (text == nullptr) return 0;
  *title = text;
  return 1;
}

uint32_t ap13_GetParmCount_PARAMS(AP13_PARAMS* part, uint16_t* count) {
  if (!ap13_is_part(part) || part->table == nullptr || IsBadWritePtr(count, sizeof *count)) return 0;
  *count = part->table->count;
  return 1;
}

uint32_t ap13_GetParmType_PARAMS(AP13_PARAMS* part, uint16_t index) {
  if (!ap13_is_part(part)) return 0;
  const AP13_PARMENTRY* row = ap13_row(part, index);
  return row != nullptr ? row->type : AP13_BAD_INDEX;
}

uint32_t ap13_GetParmName_PARAMS(AP13_PARAMS* part, uint16_t index, char* buffer) {
  if (!ap13_is_part(part)) return 0;
  if (ap13_row(part, index) == nullptr) return AP13_BAD_INDEX;
  const char* name = GU4_GetAssocString(part->table->name_group, index, nullptr, nullptr);
  return name != nullptr ? ap13_copy_text(buffer, name, 0) : 0;
}

uint32_t ap13_GetParmValue_PARAMS(AP13_PARAMS* part, uint16_t index, void* value) {
  if (!ap13_is_part(part)) return 0;
  const AP13_PARMENTRY* row = ap13_row(part, index);
  if (row == nullptr) return AP13_BAD_INDEX;
  if (part->data == nullptr || IsBadWritePtr(value, row->size)) return 0;
  std::memcpy(value, part->data + row->offset, row->size);
  if (row->type == AP13_TYPE_PSTR) {
    ap13_PascalToC_PARAMS(static_cast<uint8_t*>(value), static_cast<char*>(value), row->size);
  }
  return 1;
}

uint32_t ap13_SetParmValue_PARAMS(AP13_PARAMS* part, uint16_t index, const void* value, uint16_t force) {
  if (!ap13_is_part(part)) return 0;
  const AP13_PARMENTRY* row = ap13_row(part, index);
  if (row == nullptr) return AP13_BAD_INDEX;
  if ((force == 0 && row->limits == AP13_LIMITS_NONE) || part->data == nullptr) return 0;
  const bool text = row->type == AP13_TYPE_STRING || row->type == AP13_TYPE_PSTR || row->type == AP13_TYPE_OWNEDTEXT;
  if (text ? value == nullptr : IsBadReadPtr(value, row->size)) return 0;
  if (ap13_ValidateParm_PARAMS(part, index, value) != 1) return 0;

  // Everything that can fail is done before the change begins, so that a
  // refused set leaves the value and the change state as they were. The
  // caller's text is read, never rewritten.
  uint8_t pascal[UINT8_MAX + 1];
  if (row->type == AP13_TYPE_PSTR) {
    ap13_CToPascal_PARAMS(static_cast<const char*>(value), pascal, row->size < sizeof pascal ? row->size : sizeof pascal);
  }
  char* owned = row->type == AP13_TYPE_OWNEDTEXT ? ap13_own_text(static_cast<const char*>(value)) : nullptr;
  if (ap2_BeginChange_OBJ(ap13_root(part)) == 0) {
    GU3_FreePointer(owned);
    return 0;
  }
  uint8_t* stored = part->data + row->offset;
  switch (row->type) {
    case AP13_TYPE_STRING: {
      const size_t length = strnlen(static_cast<const char*>(value), row->size - 1u);
      std::memcpy(stored, value, length);
      stored[length] = '\0';
      break;
    }
    case AP13_TYPE_PSTR: std::memcpy(stored, pascal, pascal[0] + 1u); break;
    case AP13_TYPE_OWNEDTEXT:
      GU3_FreePointer(ap13_load<void*>(stored));
      std::memcpy(stored, &owned, sizeof owned);
      break;
    default: std::memcpy(stored, value, row->size); break;
  }
  ap13_end_change(part, index);
  return 1;
}

uint32_t ap13_GetParmStr_PARAMS(AP13_PARAMS* part, uint16_t index, uint16_t size, uint16_t precision, char* buffer) {
  if (!ap13_is_part(part)) return 0;
  const AP13_PARMENTRY* row = ap13_row(part, index);
  if (row == nullptr) return AP13_BAD_INDEX;
  if (!ap13_has_text_form(row->type)) return 0;
  const AP13_FORMATPARM core{index, static_cast<uint16_t>(size - 1), precision, buffer, size, 0};
  return ap13_FormatParm_PARAMS(part, &core);
}

uint32_t ap13_SetParmStr_PARAMS(AP13_PARAMS* part, uint16_t index, const char* text, uint16_t force) {
  if (!ap13_is_part(part)) return 0;
  const AP13_PARMENTRY* row = ap13_row(part, index);
  if (row == nullptr) return AP13_BAD_INDEX;
  if (row->type < AP13_TYPE_BOOL || row->type > AP13_TYPE_LAST) return 0;
  return ap13_ParseParm_PARAMS(part, index, text, force, 0);
}

uint32_t ap13_ResetAll_PARAMS(AP13_PARAMS* part) {
  if (!ap13_is_part(part) || part->table == nullptr) return 0;
  for (uint16_t index = 0; index < part->table->count; ++index) {
    if (ap13_ResetParm_PARAMS(part, index) != 1) return 0;
  }
  return 1;
}

// A reset always forces: rows of limits kind 0 take their default too.
uint32_t ap13_ResetParm_PARAMS(AP13_PARAMS* part, uint16_t index) {
  if (!ap13_is_part(part)) return 0;
  const AP13_PARMENTRY* row = ap13_row(part, index);
  if (row == nullptr) return AP13_BAD_INDEX;
  if (row->default_text == nullptr) return 0;
  if (row->limits == AP13_LIMITS_CHOICE) {
    const void* value = nullptr;
    if (ap13_ParseValue_PARAMS(row->default_text, row->type, &value) == 0) return 0;
    return ap13_SetParmValue_PARAMS(part, index, value, 1);
  }
  return ap13_SetParmStr_PARAMS(part, index, row->default_text, 1);
}

uint32_t ap13_ValidateText_PARAMS(AP13_PARAMS* part, uint16_t index, const char* text) {
  if (!ap13_is_part(part)) return 0;
  const AP13_PARMENTRY* row = ap13_row(part, index);
  if (row == nullptr) return AP13_BAD_INDEX;
  if (text == nullptr) return 0;
  if (row->limits == AP13_LIMITS_CHOICE) {
    const uint8_t* limits = ap13_limits_record(part, index);
    if (limits == nullptr) return 0;
    const int32_t number = GU4_GetAssocNumber(ap13_load<int16_t>(limits), text, nullptr, nullptr);
    uint8_t value[sizeof(uint32_t)] = {};
    if (number == -1 || !ap13_store_number(number, row->type, value)) return 0;
    return ap13_ValidateParm_PARAMS(part, index, value);
  }
  const void* value = nullptr;
  if (ap13_ParseValue_PARAMS(text, row->type, &value) == 0) return 0;
  return ap13_ValidateParm_PARAMS(part, index, value);
}

uint32_t ap13_CompareValue_PARAMS(AP13_PARAMS* part, uint16_t index, uint16_t op, const void* value) {
  if (!ap13_is_part(part)) return 0;
  const AP13_PARMENTRY* row = ap13_row(part, index);
  if (row == nullptr) return AP13_BAD_INDEX;
  if (part->data == nullptr) return 0;
  return static_cast<uint16_t>(
      AP1_Compare_MATH(const_cast<void*>(value), op, part->data + row->offset, row->type));
}

// ---------------------------------------------------------------------------
// Dispatcher

APEXPORT uint32_t AP13_Dispatcher_PARAMS(void* object, uint16_t message, void* parameter) {
  if (IsBadReadPtr(parameter, ap13_block_size(message))) return 0;
  auto* part = static_cast<AP13_PARAMS*>(object);
  auto* text = static_cast<char*>(parameter);
  const auto* index = static_cast<const AP13_INDEXPARM*>(parameter);
  const auto* create = static_cast<const AP13_CREATEPARM*>(parameter);
  const auto* window = static_cast<const AP_WINDOWPARM*>(parameter);
  const auto* fresh = static_cast<const AP_NEWPARM*>(parameter);
  const auto* read = static_cast<const AP_READPARM*>(parameter);
  const auto* copy = static_cast<const AP_COPYPARM*>(parameter);
  const auto* name = static_cast<const AP13_NAMEPARM*>(parameter);
  const auto* value = static_cast<const GU2_PARMVALUE*>(parameter);
  const auto* get_text = static_cast<const GU2_PARMSTR*>(parameter);
  const auto* set_text = static_cast<const GU2_PARMSTRSET*>(parameter);
  const auto* check = static_cast<const AP13_VALUEPARM*>(parameter);
  const auto* check_text = static_cast<const AP13_TEXTPARM*>(parameter);
  const auto* compare = static_cast<const AP13_COMPAREPARM*>(parameter);
  const auto* choice = static_cast<const AP13_CHOICEVALUEPARM*>(parameter);
  const auto* text_size = static_cast<const AP13_TEXTSIZEPARM*>(parameter);
  const auto* parse = static_cast<const AP13_PARSEPARM*>(parameter);
  const auto* list = static_cast<const AP13_LISTPARM*>(parameter);
  const auto* flags = static_cast<const AP13_FLAGPARM*>(parameter);
  switch (message) {
    case AP_MSG_SET_USER_WORD:
    case AP_MSG_DUPLICATE:
    case AP_MSG_DUMP:
    case AP_MSG_BEGIN_CHANGE:
    case AP_MSG_END_CHANGE:
    case AP_MSG_GET_CHANGE_STATE:
    case AP_MSG_SET_CHANGE_STATE:
    case AP_MSG_SAVE:
    case AP_MSG_ADD_DEPENDENT_WINDOW:
    case AP_MSG_REMOVE_DEPENDENT:
    case AP_MSG_ADD_DEPENDENT_OBJECT: return ap13_to_root(part, message, parameter);
    case AP_MSG_CREATE:                return ap_object_result(ap13_Create_PARAMS(ap13_class_id_of(object), create->owner_class, create->outer, create->data));
    case AP_MSG_INIT:                  return ap13_Init_PARAMS(part, window->window);
    case AP_MSG_NEW:                   return ap_object_result(ap2_New_OBJ(fresh->class_id, fresh->window));
    case AP_MSG_DESTROY:               return ap13_Destroy_PARAMS(part, window->window);
    case AP_MSG_SIZE:                  return ap13_GetSize_PARAMS(part);
    case AP_MSG_CLASS_NAME:            return ap13_is_part(part) ? ap2_copy_class_name(text, kClassName) : 0;
    case AP_MSG_READ:                  return ap_object_result(ap13_Read_PARAMS(object, read->file, read->create));
    case AP_MSG_WRITE:                 return ap13_Write_PARAMS(part, static_cast<AP_OBJECT*>(parameter));
    case AP_MSG_COPY:                  return ap13_Copy_PARAMS(part, reinterpret_cast<AP13_PARAMS*>(copy->target), copy->window);
    case AP13_MSG_GET_CLASS_TITLE:     return ap13_GetClassTitle_PARAMS(part, static_cast<const char**>(parameter));
    case AP13_MSG_GET_PARM_COUNT:      return ap13_GetParmCount_PARAMS(part, static_cast<uint16_t*>(parameter));
    case AP13_MSG_GET_PARM_TYPE:       return ap13_GetParmType_PARAMS(part, index->index);
    case AP13_MSG_GET_PARM_NAME:       return ap13_GetParmName_PARAMS(part, name->index, name->buffer);
    case GU2_MSG_GET_PARM_VALUE:       return ap13_GetParmValue_PARAMS(part, value->index, value->value);
    case GU2_MSG_SET_PARM_VALUE:       return ap13_SetParmValue_PARAMS(part, value->index, value->value, value->force);
    case GU2_MSG_GET_PARM_STR:         return ap13_GetParmStr_PARAMS(part, get_text->index, get_text->size, get_text->precision, get_text->buffer);
    case GU2_MSG_SET_PARM_STR:         return ap13_SetParmStr_PARAMS(part, set_text->index, set_text->text, set_text->force);
    case AP13_MSG_RESET_ALL:           return ap13_ResetAll_PARAMS(part);
    case AP13_MSG_RESET_PARM:          return ap13_ResetParm_PARAMS(part, index->index);
    case AP13_MSG_VALIDATE_PARM:       return ap13_ValidateParm_PARAMS(part, check->index, check->value);
    case AP13_MSG_VALIDATE_TEXT:       return ap13_ValidateText_PARAMS(part, check_text->index, check_text->text);
    case AP13_MSG_COMPARE_VALUE:       return ap13_CompareValue_PARAMS(part, compare->index, compare->op, compare->value);
    case AP13_MSG_GET_CHOICE_COUNT:    return ap13_GetChoiceCount_PARAMS(part, index->index);
    case AP13_MSG_GET_CHOICE_VALUE:    return ap13_GetChoiceValue_PARAMS(part, choice->index, choice->n, choice->value);
    case AP13_MSG_GET_CHOICE_TEXT:     return ap13_GetChoiceText_PARAMS(part, static_cast<const AP13_CHOICETEXTPARM*>(parameter));
    case AP13_MSG_FIND_CHOICE_INDEX:   return ap13_FindChoiceIndex_PARAMS(part, static_cast<AP13_FINDCHOICEPARM*>(parameter));
    case AP13_MSG_GET_ALL_TEXT:        return ap13_GetAllText_PARAMS(part, text);
    case AP13_MSG_SET_ALL_TEXT:        return ap13_SetAllText_PARAMS(part, text);
    case AP13_MSG_VALIDATE_ALL:        return ap13_ValidateAll_PARAMS(part);
    case AP13_MSG_GET_DATA_SIZE:       return ap13_GetDataSize_PARAMS(part);
    case AP13_MSG_GET_DATA_PTR:        return ap_object_result(ap13_GetDataPtr_PARAMS(part));
    case AP13_MSG_COPY_DIFFERING:      return ap13_CopyDiffering_PARAMS(part, static_cast<AP13_COPYDIFFPARM*>(parameter));
    case AP13_MSG_LIST_TO_TEXT:        return ap13_ListToText_PARAMS(part, list->text);
    case AP13_MSG_TEST_CLASS_FLAG:     return ap13_TestClassFlag_PARAMS(part, flags->flags);
    case AP13_MSG_GET_PARM_SIZE:       return ap13_GetParmSize_PARAMS(part, index->index);
    case AP13_MSG_GET_TEXT_SIZE:       return ap13_GetTextSize_PARAMS(part, text_size->index, text_size->width, text_size->precision);
    case AP13_MSG_FORMAT_PARM:         return ap13_FormatParm_PARAMS(part, static_cast<const AP13_FORMATPARM*>(parameter));
    case AP13_MSG_PARSE_PARM:          return ap13_ParseParm_PARAMS(part, parse->index, parse->text, parse->force, parse->deep);
    case AP13_MSG_DESCRIBE_PARM:       return ap13_DescribeParm_PARAMS(part, static_cast<const AP13_DESCRIBEPARM*>(parameter));
    case AP13_MSG_TAKE_VALUES:         return ap13_TakeValues_PARAMS(part, static_cast<const AP13_TAKEPARM*>(parameter));
    case AP13_MSG_VALIDATE_EACH:       return ap13_ValidateEach_PARAMS(part);
    default:                           return 0;
  }
}
