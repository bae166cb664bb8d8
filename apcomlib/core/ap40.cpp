// Object list class AP40 LLIST.
//
// A list holds an ordered set of other accessory objects, its members, in an
// indirect linked list; a member may belong to several lists, and the list
// destroys its members only when told to. With a key parameter set, members
// that carry a parameter table are kept in ascending order of that
// parameter's value. The class answers member operations (add, remove,
// index, walks with a parameter test, a callback or a message, messages to
// all members, navigation), stores itself with its members through a file
// object, and owns its instance heap. Spectra keep their attached objects in
// a list; the converter gathers the spectra of a document and their title in
// one to save them as a group.
#include <cstring>
#include <memory>
#include <new>

#include "array/array.h"
#include "core/core.h"
#include "files/files.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

constexpr uint32_t kInstanceCells = 80;
constexpr char kClassName[] = "AP40_LLIST";

// Stream form of a list: u32 member count, u16 key parameter, then per
// member its u16 class id and the member's own stream.
constexpr uint32_t kStreamHead = sizeof(uint32_t) + sizeof(uint16_t);
constexpr uint32_t kMemberHead = sizeof(uint16_t);
// The stream of an object with a parameter table: u16 owning class, u32
// size of the data block, then the block, whose size its message 56 tells.
constexpr uint32_t kParameterStreamHead = sizeof(uint16_t) + sizeof(uint32_t);

APX_CLASSREC* ap40_class() { return apx_class_record(AP40_CLASS_ID); }

bool ap40_is_list(const AP40_LLIST* list) {
  return !IsBadReadPtr(list, sizeof(AP40_LLIST)) && list->head.class_id == AP40_CLASS_ID;
}

AP2_OBJECT* ap40_part(const AP40_LLIST* list) { return reinterpret_cast<AP2_OBJECT*>(list->head.parent); }

AP_OBJECT* ap40_member(AP40_LLIST* list, GU1_NODE* node) {
  return node != nullptr ? static_cast<AP_OBJECT*>(gu1_item(&list->members, node)) : nullptr;
}

GU1_NODE* ap40_node_of(AP40_LLIST* list, const AP_OBJECT* member) {
  for (GU1_NODE* node = list->members.head; node != nullptr; node = node->next) {
    if (ap40_member(list, node) == member) return node;
  }
  return nullptr;
}

GU1_NODE* ap40_step(const GU1_NODE* node, uint16_t direction) {
  return direction == AP40_FROM_HEAD ? node->next : node->prev;
}

// The first node a walk visits: the head or the tail without a start
// member, else the node after (or before) the start member. Null when there
// is nothing to visit, the direction is neither 1 nor 2, or the start is not
// a member.
GU1_NODE* ap40_walk_start(AP40_LLIST* list, const AP_OBJECT* start, uint16_t direction) {
  if (direction != AP40_FROM_HEAD && direction != AP40_FROM_TAIL) return nullptr;
  if (start == nullptr) return direction == AP40_FROM_HEAD ? list->members.head : list->members.tail;
  GU1_NODE* node = ap40_node_of(list, start);
  return node != nullptr ? ap40_step(node, direction) : nullptr;
}

// The first member of a walk that passes the test, or null. The next node
// is taken first, so a test may remove the member it is given.
using MemberTest = bool (*)(AP_OBJECT* member, const void* context);

AP_OBJECT* ap40_walk(AP40_LLIST* list, const AP_OBJECT* start, uint16_t direction, MemberTest test,
                     const void* context) {
  GU1_NODE* node = ap40_walk_start(list, start, direction);
  while (node != nullptr) {
    GU1_NODE* next = ap40_step(node, direction);
    AP_OBJECT* member = ap40_member(list, node);
    if (test(member, context)) return member;
    node = next;
  }
  return nullptr;
}

// A member's value of one parameter, in a buffer one byte longer than the
// row (zeroed, so that a text always ends), with the parameter's type code.
// Only members whose parent part is a parameter-table part are asked: other
// classes give message 40 a meaning of their own.
struct MemberValue {
  std::unique_ptr<uint8_t[]> bytes;
  uint16_t type_code = 0;
};

// The member is asked only for the value: the row's size and type come from
// its own table through its PARAMS part, so that a class that answers the
// value message alone orders as the library's own classes do.
bool ap40_member_value(AP_OBJECT* member, uint16_t parameter, MemberValue* value) {
  if (IsBadReadPtr(member, sizeof(AP_OBJECT)) || IsBadReadPtr(member->parent, sizeof(AP_OBJECT)) ||
      member->parent->class_id != AP13_CLASS_ID)
    return false;
  auto* part = reinterpret_cast<AP13_PARAMS*>(member->parent);
  const AP13_PARMENTRY* row = ap13_is_part(part) ? ap13_row(part, parameter) : nullptr;
  if (row == nullptr || row->size == 0 || row->size > AP13_LARGEST_VALUE) return false;
  value->type_code = row->type;
  value->bytes.reset(new (std::nothrow) uint8_t[row->size + 1]());
  return value->bytes != nullptr && GU2_GetParmValue_MSG(member, parameter, value->bytes.get()) == 1;
}

bool ap40_value_passes(AP_OBJECT* member, const void* context) {
  const auto* find = static_cast<const AP40_FINDPARM*>(context);
  MemberValue value;
  return ap40_member_value(member, find->parameter, &value) &&
         AP1_Compare_MATH(value.bytes.get(), find->compare, const_cast<void*>(find->value), value.type_code) != 0;
}

bool ap40_passes_callback(AP_OBJECT* member, const void* context) {
  const auto* block = static_cast<const AP40_TESTPARM*>(context);
  return block->test(member, block->argument) != 0;
}

bool ap40_answers_message(AP_OBJECT* member, const void* context) {
  const auto* block = static_cast<const AP40_ASKPARM*>(context);
  return GU2_DoMethod_MSG(block->message, member, block->parameter) != 0;
}

// Calls the visit for every member in order and answers the sum of its
// answers: how many members it acted on, for visits that answer 0 or 1. The
// next node is taken first, so a visit may remove the member it is given.
using MemberVisit = uint32_t (*)(AP_OBJECT* member, const void* context);

uint32_t ap40_visit_all(AP40_LLIST* list, MemberVisit visit, const void* context) {
  uint32_t sum = 0;
  GU1_NODE* node = list->members.head;
  while (node != nullptr) {
    GU1_NODE* next = node->next;
    sum += visit(ap40_member(list, node), context);
    node = next;
  }
  return sum;
}

uint32_t ap40_call_function(AP_OBJECT* member, const void* context) {
  const auto* block = static_cast<const AP40_EACHPARM*>(context);
  return block->function(member, block->argument);
}

uint32_t ap40_call_action_if_passing(AP_OBJECT* member, const void* context) {
  const auto* block = static_cast<const AP40_EACHPASSINGPARM*>(context);
  if (block->test(member, block->test_argument) == 0) return 0;
  block->action(member, block->action_argument);
  return 1;
}

uint32_t ap40_send_message(AP_OBJECT* member, const void* context) {
  const auto* block = static_cast<const AP40_SENDPARM*>(context);
  GU2_DoMethod_MSG(block->message, member, block->parameter);
  return 1;
}

uint32_t ap40_send_message_if_passing(AP_OBJECT* member, const void* context) {
  const auto* block = static_cast<const AP40_SENDPASSINGPARM*>(context);
  if (GU2_DoMethod_MSG(block->test_message, member, block->test_parameter) == 0) return 0;
  GU2_DoMethod_MSG(block->message, member, block->parameter);
  return 1;
}

uint32_t ap40_size_of(AP_OBJECT* member, const void*) { return GU2_DoMethod_MSG(AP_MSG_SIZE, member, nullptr); }

// Size of the parameter block each message reads; messages whose parameter
// is an object or a buffer check it themselves.
uint32_t ap40_block_size(uint16_t message) {
  switch (message) {
    case AP_MSG_INIT:
    case AP_MSG_REMOVE_DEPENDENT: return sizeof(HWND);
    case AP_MSG_NEW:
    case AP_MSG_DESTROY:
    case AP_MSG_DUPLICATE: return sizeof(AP_WINDOWPARM);
    case AP_MSG_READ: return sizeof(AP_READPARM);
    case AP40_MSG_REMOVE: return sizeof(AP40_REMOVEPARM);
    case AP40_MSG_AT_INDEX: return sizeof(AP40_INDEXPARM);
    case AP40_MSG_SET_KEY: return sizeof(AP40_KEYPARM);
    case AP40_MSG_FIND_BY_VALUE: return sizeof(AP40_FINDPARM);
    case AP40_MSG_FIND_BY_TEST: return sizeof(AP40_TESTPARM);
    case AP40_MSG_FOR_EACH: return sizeof(AP40_EACHPARM);
    case AP40_MSG_FOR_EACH_PASSING: return sizeof(AP40_EACHPASSINGPARM);
    case AP40_MSG_SAVE_AS: return sizeof(AP7_SAVEPARM);
    case AP40_MSG_FIND_BY_MESSAGE: return sizeof(AP40_ASKPARM);
    case AP40_MSG_SEND_TO_ALL: return sizeof(AP40_SENDPARM);
    case AP40_MSG_SEND_TO_PASSING: return sizeof(AP40_SENDPASSINGPARM);
    default: return 0;
  }
}

// ---------------------------------------------------------------------------
// Streams

bool ap40_put(void* file, const void* bytes, uint32_t count) { return ap20_Write(file, bytes, count) == count; }

// A read that ends before `count` bytes leaves the file object saying so,
// unless the read itself stored a system error.
bool ap40_take(void* file, void* bytes, uint32_t count) {
  if (ap20_Read(file, bytes, count) == count) return true;
  if (ap20_GetError(ap20_file(file)) == 0) ap20_SetError(file, AP20_ERROR_SHORT_FILE);
  return false;
}

bool ap40_damaged(void* file) {
  ap20_SetError(file, AP20_ERROR_DAMAGED);
  return false;
}

// Every member takes at least its class id, so a count larger than the
// bytes left in the file cannot be right.
bool ap40_count_fits(void* file, uint32_t count) {
  AP20_FILE* open_file = ap20_file(file);
  const uint32_t size = ap20_GetFileSize(open_file);
  const uint32_t position = ap20_GetPosition(open_file);
  if (size == 0xFFFFFFFF || position == 0xFFFFFFFF || position > size) return false;
  return count <= (size - position) / kMemberHead;
}

// Reads `count` member streams into a list of their own, in stream order.
// The first member whose class id is not a registered class, or whose read
// gives no object, ends the read: what follows it cannot be told apart.
bool ap40_read_members(void* file, uint32_t count, AP40_LLIST* staged) {
  for (uint32_t read = 0; read < count; ++read) {
    uint16_t class_id = 0;
    if (!ap40_take(file, &class_id, sizeof class_id)) return false;
    if (!GU2_IsValidClassID_MSG(class_id)) return ap40_damaged(file);
    AP_READPARM parameter{static_cast<AP_OBJECT*>(file), 1};
    auto* member = ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP_MSG_READ, &class_id, &parameter));
    if (member == nullptr) return false;
    if (!GU1_Append_LL(&staged->members, member)) {
      AP_WINDOWPARM no_window{nullptr, 0};
      GU2_DoMethod_MSG(AP_MSG_DESTROY, member, &no_window);
      return false;
    }
  }
  return true;
}

// Reads the stream's head and its members into the staging list; the key
// it holds comes back in `key`.
bool ap40_read_stream(void* file, AP40_LLIST* staged, uint16_t* key) {
  uint32_t count = 0;
  if (!ap40_take(file, &count, sizeof count) || !ap40_take(file, key, sizeof *key)) return false;
  if (!ap40_count_fits(file, count)) return ap40_damaged(file);
  return ap40_read_members(file, count, staged);
}

// Adds the members read to the target in their stream order (so that the
// target's key decides their places); when one cannot be added, those added
// before it leave the target again.
bool ap40_take_over_members(AP40_LLIST* target, AP40_LLIST* staged) {
  for (GU1_NODE* node = staged->members.head; node != nullptr; node = node->next) {
    if (ap40_Add_LLIST(target, ap40_member(staged, node)) != AP40_NO_INDEX) continue;
    for (GU1_NODE* added = staged->members.head; added != node; added = added->next)
      ap40_Remove_LLIST(target, ap40_member(staged, added), 0);
    return false;
  }
  return true;
}

// The bytes of a member's own stream, for the members whose stream form the
// list knows: a list tells its own, an array its file block's, an object
// with a parameter table writes a head and its data block, and a bare root
// object writes nothing. Other members' message 56 means something else
// (an array's divides it), so their size cannot be told.
bool ap40_member_stream_size(AP_OBJECT* member, uint32_t* bytes) {
  if (IsBadReadPtr(member, sizeof(AP_OBJECT))) return false;
  if (member->class_id == AP40_CLASS_ID || member->class_id == AP4_CLASS_ID) {
    const uint16_t message = member->class_id == AP40_CLASS_ID ? AP40_MSG_STREAM_SIZE : AP4_MSG_STORED_SIZE;
    *bytes = GU2_DoMethod_MSG(message, member, nullptr);
    return *bytes != 0;
  }
  if (member->class_id == AP2_CLASS_ID) {
    *bytes = 0;
    return true;
  }
  if (!GU2_IsAP13Child(member)) return false;
  *bytes = kParameterStreamHead + GU2_DoMethod_MSG(AP40_MSG_STREAM_SIZE, member, nullptr);
  return true;
}

// ---------------------------------------------------------------------------
// Operations, one a message

AP40_LLIST* ap40_Create_LLIST(uint16_t class_id, AP_OBJECT* outer) {
  if (class_id != AP40_CLASS_ID) return nullptr;
  APX_CLASSREC* record = ap40_class();
  auto* list = static_cast<AP40_LLIST*>(GU3_HeapGetEx_MM(record->instance_heap));
  if (list == nullptr) return nullptr;
  list->head.class_id = AP40_CLASS_ID;
  AP2_OBJECT* part = ap2_Create_OBJ(AP2_CLASS_ID, outer != nullptr ? outer : &list->head);
  if (part == nullptr) {
    GU3_HeapRelease_MM(record->instance_heap, list);
    return nullptr;
  }
  list->head.parent = &part->head;
  list->key = 0;
  GU1_CreateIndirect_LL(&list->members, 0, 0, 0);
  ++record->live;
  ++record->created;
  return list;
}

uint32_t ap40_GetSize_LLIST(AP40_LLIST* list) {
  if (!ap40_is_list(list)) return 0;
  return ap2_GetSize_OBJ(ap40_part(list)) + sizeof(AP40_LLIST) + sizeof(GU1_INDIRECTNODE) * list->members.count +
         ap40_visit_all(list, ap40_size_of, nullptr);
}

// Every byte the write puts in the file is counted; 0 when a member's
// stream size cannot be told.
uint32_t ap40_GetStreamSize_LLIST(AP40_LLIST* list) {
  if (!ap40_is_list(list)) return 0;
  uint64_t total = kStreamHead;
  for (GU1_NODE* node = list->members.head; node != nullptr; node = node->next) {
    uint32_t member_bytes = 0;
    if (!ap40_member_stream_size(ap40_member(list, node), &member_bytes)) return 0;
    total += kMemberHead + member_bytes;
    if (total > 0xFFFFFFFF) return 0;
  }
  return static_cast<uint32_t>(total);
}

// The write fails at the first piece that does not reach the file, a
// member's own stream included.
uint16_t ap40_Write_LLIST(AP40_LLIST* list, void* file) {
  if (!ap40_is_list(list) || !ap20_IsOpen(file)) return 0;
  const uint32_t count = list->members.count;
  const uint16_t key = list->key;
  if (!ap40_put(file, &count, sizeof count) || !ap40_put(file, &key, sizeof key)) return 0;
  for (GU1_NODE* node = list->members.head; node != nullptr; node = node->next) {
    AP_OBJECT* member = ap40_member(list, node);
    if (IsBadReadPtr(member, sizeof(AP_OBJECT))) return 0;
    const uint16_t class_id = member->class_id;
    if (!ap40_put(file, &class_id, sizeof class_id) || GU2_DoMethod_MSG(AP_MSG_WRITE, member, file) == 0) return 0;
  }
  return 1;
}

// Reads into this list, or with create set into a new one. The members are
// read whole before any joins the target, so a stream cut short or damaged
// leaves the target as it was (a new target is destroyed) and the file
// positioned where the read stopped, its error word telling why.
AP40_LLIST* ap40_Read_LLIST(void* object, void* file, uint16_t create) {
  if (!ap20_IsOpen(file)) return nullptr;
  AP40_LLIST* target =
      create ? ap40_Create_LLIST(gu2_ClassIdOf(object), nullptr) : static_cast<AP40_LLIST*>(object);
  if (!ap40_is_list(target)) return nullptr;
  AP40_LLIST* staged = ap40_Create_LLIST(AP40_CLASS_ID, nullptr);
  uint16_t key = 0;
  bool read = staged != nullptr && ap40_read_stream(file, staged, &key);
  const uint16_t old_key = target->key;
  if (read) {
    target->key = key;
    read = ap40_take_over_members(target, staged);
    if (!read) target->key = old_key;
  }
  if (staged != nullptr) ap40_Destroy_LLIST(staged, nullptr, read ? 0 : 1);
  if (read) return target;
  if (create) ap40_Destroy_LLIST(target, nullptr, 0);
  return nullptr;
}

uint16_t ap40_GetClassName_LLIST(AP40_LLIST* list, char* buffer) {
  return ap40_is_list(list) ? ap2_copy_class_name(buffer, kClassName) : 0;
}

AP_OBJECT* ap40_GetAtIndex_LLIST(AP40_LLIST* list, uint32_t index) {
  return ap40_is_list(list) ? ap40_member(list, GU1_Locate_LL(&list->members, index)) : nullptr;
}

uint32_t ap40_GetIndex_LLIST(AP40_LLIST* list, const AP_OBJECT* member) {
  if (!ap40_is_list(list)) return AP40_NO_INDEX;
  uint32_t index = 0;
  for (GU1_NODE* node = list->members.head; node != nullptr; node = node->next, ++index) {
    if (ap40_member(list, node) == member) return index;
  }
  return AP40_NO_INDEX;
}

uint32_t ap40_GetCount_LLIST(AP40_LLIST* list) { return ap40_is_list(list) ? list->members.count : 0; }

// A new order by another key: the members are added to a list made with
// that key, and when every one of them found its place this list takes over
// the new order in one change. A member that cannot be placed leaves the
// list as it was.
uint16_t ap40_SetKey_LLIST(AP40_LLIST* list, uint16_t key) {
  if (!ap40_is_list(list)) return 0;
  const uint32_t count = list->members.count;
  if (key == AP40_NO_KEY || count == 0) {
    list->key = key;
    return 1;
  }
  AP40_LLIST* ordered = ap40_New_LLIST(nullptr, key);
  if (ordered == nullptr) return 0;
  bool placed = true;
  for (GU1_NODE* node = list->members.head; node != nullptr && placed; node = node->next)
    placed = ap40_Add_LLIST(ordered, ap40_member(list, node)) != AP40_NO_INDEX;
  if (placed && ap2_BeginChange_OBJ(ap40_part(list))) {
    GU1_Destroy_LL(&list->members);
    list->members = ordered->members;
    GU1_CreateIndirect_LL(&ordered->members, 0, 0, 0);
    list->key = key;
    ap2_EndChange_OBJ(ap40_part(list));
  } else {
    placed = false;
  }
  const bool destroyed = ap40_Destroy_LLIST(ordered, nullptr, 0) == AP_DESTROYED;
  return placed && destroyed && count == list->members.count ? 1 : 0;
}

// Messages 46 to 49 and the value search: operator 7 with parameter 65535
// answers the walk's start position; a test of a parameter's value is made
// on members that carry a parameter table.
AP_OBJECT* ap40_FindByValue_LLIST(AP40_LLIST* list, const AP40_FINDPARM* find) {
  if (!ap40_is_list(list)) return nullptr;
  if (find->parameter == AP40_NO_KEY && find->compare == AP1_OP_ALWAYS)
    return ap40_member(list, ap40_walk_start(list, find->start, find->direction));
  if (find->parameter == AP40_NO_KEY || find->compare == AP1_OP_ALWAYS || find->value == nullptr) return nullptr;
  return ap40_walk(list, find->start, find->direction, ap40_value_passes, find);
}

// Where a new member goes: in a keyed list before the first member whose
// value of the key is greater than its own, so that equal values keep the
// order they came in; at the end without a key, without a greater value, or
// for a member without the key parameter.
uint32_t ap40_key_position(AP40_LLIST* list, AP_OBJECT* member) {
  MemberValue value;
  if (list->key == AP40_NO_KEY || !ap40_member_value(member, list->key, &value)) return list->members.count;
  const AP40_FINDPARM find{list->key, AP1_OP_GREATER, value.bytes.get(), nullptr, AP40_FROM_HEAD};
  AP_OBJECT* greater = ap40_FindByValue_LLIST(list, &find);
  return greater != nullptr ? ap40_GetIndex_LLIST(list, greater) : list->members.count;
}

AP_OBJECT* ap40_FindByTest_LLIST(AP40_LLIST* list, const AP40_TESTPARM* find) {
  if (!ap40_is_list(list) || find->test == nullptr) return nullptr;
  return ap40_walk(list, find->start, find->direction, ap40_passes_callback, find);
}

AP_OBJECT* ap40_FindByMessage_LLIST(AP40_LLIST* list, const AP40_ASKPARM* find) {
  if (!ap40_is_list(list)) return nullptr;
  return ap40_walk(list, find->start, find->direction, ap40_answers_message, find);
}

// The member next to the start one, or the first or last member: the value
// search with no test.
AP_OBJECT* ap40_Neighbour_LLIST(AP40_LLIST* list, AP_OBJECT* start, uint16_t direction) {
  const AP40_FINDPARM find{AP40_NO_KEY, AP1_OP_ALWAYS, nullptr, start, direction};
  return ap40_FindByValue_LLIST(list, &find);
}

uint16_t ap40_ForEach_LLIST(AP40_LLIST* list, const AP40_EACHPARM* each) {
  if (!ap40_is_list(list) || each->function == nullptr || list->members.count == 0) return 0;
  ap40_visit_all(list, ap40_call_function, each);
  return 1;
}

uint16_t ap40_ForEachPassing_LLIST(AP40_LLIST* list, const AP40_EACHPASSINGPARM* each) {
  if (!ap40_is_list(list) || each->test == nullptr || each->action == nullptr) return 0;
  return ap40_visit_all(list, ap40_call_action_if_passing, each) != 0 ? 1 : 0;
}

uint16_t ap40_SendToAll_LLIST(AP40_LLIST* list, const AP40_SENDPARM* send) {
  if (!ap40_is_list(list)) return 0;
  return ap40_visit_all(list, ap40_send_message, send) != 0 ? 1 : 0;
}

uint16_t ap40_SendToPassing_LLIST(AP40_LLIST* list, const AP40_SENDPASSINGPARM* send) {
  if (!ap40_is_list(list)) return 0;
  return ap40_visit_all(list, ap40_send_message_if_passing, send) != 0 ? 1 : 0;
}

// Members that were destroyed elsewhere leave the list without a message.
uint16_t ap40_RemoveUnreadable_LLIST(AP40_LLIST* list) {
  if (!ap40_is_list(list)) return 0;
  uint16_t result = 1;
  GU1_NODE* node = list->members.head;
  while (node != nullptr) {
    GU1_NODE* next = node->next;
    AP_OBJECT* member = ap40_member(list, node);
    if (IsBadReadPtr(member, sizeof(uint32_t)) && !ap40_Remove_LLIST(list, member, 0)) result = 0;
    node = next;
  }
  return result;
}

}  // namespace

// ---------------------------------------------------------------------------
// Operations called directly too

AP40_LLIST* ap40_New_LLIST(HWND window, uint16_t key) {
  auto* list = reinterpret_cast<AP40_LLIST*>(ap2_New_OBJ(AP40_CLASS_ID, window));
  if (list != nullptr) list->key = key;
  return list;
}

uint32_t ap40_Destroy_LLIST(AP40_LLIST* list, HWND window, uint16_t destroy_members) {
  if (!ap40_is_list(list)) return 0;
  const uint32_t result = ap2_Destroy_OBJ(ap40_part(list), window);
  if (result != AP_DESTROYED) return result;
  bool all_destroyed = true;
  if (destroy_members) {
    for (GU1_NODE* node = list->members.head; node != nullptr; node = node->next) {
      AP_WINDOWPARM parameter{window, destroy_members};
      if (GU2_DoMethod_MSG(AP_MSG_DESTROY, ap40_member(list, node), &parameter) != AP_DESTROYED)
        all_destroyed = false;
    }
  }
  GU1_Destroy_LL(&list->members);
  APX_CLASSREC* record = ap40_class();
  if (!GU3_HeapRelease_MM(record->instance_heap, list)) return 0;
  --record->live;
  return all_destroyed ? AP_DESTROYED : 0;
}

// A deep copy holds copies of the members in the key's order; a shallow one
// holds the same members in the same order, in nodes of its own.
AP40_LLIST* ap40_Duplicate_LLIST(AP40_LLIST* list, HWND window, uint16_t deep) {
  if (!ap40_is_list(list)) return nullptr;
  AP40_LLIST* copy = ap40_Create_LLIST(AP40_CLASS_ID, nullptr);
  if (copy == nullptr) return nullptr;
  bool filled = ap2_Copy_OBJ(ap40_part(list), ap40_part(copy), window) != 0;
  copy->key = list->key;
  for (GU1_NODE* node = list->members.head; node != nullptr && filled; node = node->next) {
    AP_OBJECT* member = ap40_member(list, node);
    if (!deep) {
      filled = GU1_Append_LL(&copy->members, member) != 0;
      continue;
    }
    AP_WINDOWPARM parameter{window, deep};
    auto* member_copy = ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP_MSG_DUPLICATE, member, &parameter));
    filled = ap40_Add_LLIST(copy, member_copy) != AP40_NO_INDEX;
    if (!filled && member_copy != nullptr) {
      AP_WINDOWPARM no_window{nullptr, 0};
      GU2_DoMethod_MSG(AP_MSG_DESTROY, member_copy, &no_window);
    }
  }
  if (filled) return copy;
  ap40_Destroy_LLIST(copy, nullptr, deep);
  return nullptr;
}

uint32_t ap40_Add_LLIST(AP40_LLIST* list, AP_OBJECT* member) {
  if (!ap40_is_list(list) || member == nullptr) return AP40_NO_INDEX;
  if (!ap2_BeginChange_OBJ(ap40_part(list))) return AP40_NO_INDEX;
  uint32_t index = ap40_key_position(list, member);
  if (!GU1_InsertP_LL(&list->members, member, index)) index = AP40_NO_INDEX;
  ap2_EndChange_OBJ(ap40_part(list));
  return index;
}

uint16_t ap40_Remove_LLIST(AP40_LLIST* list, AP_OBJECT* member, uint16_t destroy) {
  if (!ap40_is_list(list)) return 0;
  GU1_NODE* node = ap40_node_of(list, member);
  if (node == nullptr || !ap2_BeginChange_OBJ(ap40_part(list))) return 0;
  uint16_t result = GU1_Unlink_LL(&list->members, node);
  if (destroy) {
    AP_WINDOWPARM no_window{nullptr, 0};
    if (GU2_DoMethod_MSG(AP_MSG_DESTROY, member, &no_window) != AP_DESTROYED) result = 0;
  }
  ap2_EndChange_OBJ(ap40_part(list));
  return result;
}

AP_OBJECT* ap40_GetAt_LLIST(AP40_LLIST* list, uint32_t index) { return ap40_GetAtIndex_LLIST(list, index); }

AP_OBJECT* ap40_Find_LLIST(AP40_LLIST* list, uint16_t parameter, uint16_t compare, const void* value,
                           AP_OBJECT* start, uint16_t direction) {
  const AP40_FINDPARM find{parameter, compare, value, start, direction};
  return ap40_FindByValue_LLIST(list, &find);
}

// ---------------------------------------------------------------------------
// Class initialisation and termination

uint16_t ap40_InitClass(uint16_t class_id) {
  if (class_id != AP40_CLASS_ID) return 0;
  return apx_InitInstanceHeap(class_id, kInstanceCells, sizeof(AP40_LLIST), kClassName);
}

uint16_t ap40_TermClass(uint16_t class_id) {
  if (class_id != AP40_CLASS_ID) return 0;
  return apx_FreeInstanceHeap(class_id);
}

// ---------------------------------------------------------------------------
// Dispatcher

APEXPORT uint32_t AP40_Dispatcher_LLIST(void* object, uint16_t message, void* parameter) {
  if (IsBadReadPtr(parameter, ap40_block_size(message))) return 0;
  auto* list = static_cast<AP40_LLIST*>(object);
  auto* member = static_cast<AP_OBJECT*>(parameter);
  const auto* window = static_cast<const AP_WINDOWPARM*>(parameter);
  const auto* remove = static_cast<const AP40_REMOVEPARM*>(parameter);
  const auto* read = static_cast<const AP_READPARM*>(parameter);
  switch (message) {
    case AP_MSG_SET_USER_WORD:
    case AP_MSG_INIT:
    case AP_MSG_BEGIN_CHANGE:
    case AP_MSG_END_CHANGE:
    case AP_MSG_GET_CHANGE_STATE:
    case AP_MSG_SET_CHANGE_STATE:
    case AP_MSG_SAVE:
    case AP_MSG_ADD_DEPENDENT_WINDOW:
    case AP_MSG_REMOVE_DEPENDENT:
    case AP_MSG_ADD_DEPENDENT_OBJECT:   return ap40_is_list(list) ? AP2_Dispatcher_OBJ(ap40_part(list), message, parameter) : 0;
    case AP_MSG_CREATE:                 return ap_object_result(ap40_Create_LLIST(gu2_ClassIdOf(object), member));
    case AP_MSG_NEW:                    return ap_object_result(ap40_New_LLIST(window->window, window->flag));
    case AP_MSG_DESTROY:                return ap40_Destroy_LLIST(list, window->window, window->flag);
    case AP_MSG_DUPLICATE:              return ap_object_result(ap40_Duplicate_LLIST(list, window->window, window->flag));
    case AP_MSG_SIZE:                   return ap40_GetSize_LLIST(list);
    case AP_MSG_CLASS_NAME:             return ap40_GetClassName_LLIST(list, static_cast<char*>(parameter));
    case AP_MSG_READ:                   return ap_object_result(ap40_Read_LLIST(object, read->file, read->create));
    case AP_MSG_WRITE:                  return ap40_Write_LLIST(list, parameter);
    case AP40_MSG_ADD:                  return ap40_Add_LLIST(list, member);
    case AP40_MSG_REMOVE:               return ap40_Remove_LLIST(list, remove->member, remove->destroy);
    case AP40_MSG_AT_INDEX:             return ap_object_result(ap40_GetAtIndex_LLIST(list, static_cast<const AP40_INDEXPARM*>(parameter)->index));
    case AP40_MSG_INDEX_OF:             return ap40_GetIndex_LLIST(list, member);
    case AP40_MSG_COUNT:                return ap40_GetCount_LLIST(list);
    case AP40_MSG_SET_KEY:              return ap40_SetKey_LLIST(list, static_cast<const AP40_KEYPARM*>(parameter)->key);
    case AP40_MSG_FIND_BY_VALUE:        return ap_object_result(ap40_FindByValue_LLIST(list, static_cast<const AP40_FINDPARM*>(parameter)));
    case AP40_MSG_FIND_BY_TEST:         return ap_object_result(ap40_FindByTest_LLIST(list, static_cast<const AP40_TESTPARM*>(parameter)));
    case AP40_MSG_FOR_EACH:             return ap40_ForEach_LLIST(list, static_cast<const AP40_EACHPARM*>(parameter));
    case AP40_MSG_FOR_EACH_PASSING:     return ap40_ForEachPassing_LLIST(list, static_cast<const AP40_EACHPASSINGPARM*>(parameter));
    case AP40_MSG_FIRST:                return ap_object_result(ap40_Neighbour_LLIST(list, nullptr, AP40_FROM_HEAD));
    case AP40_MSG_LAST:                 return ap_object_result(ap40_Neighbour_LLIST(list, nullptr, AP40_FROM_TAIL));
    case AP40_MSG_NEXT:                 return ap_object_result(member != nullptr ? ap40_Neighbour_LLIST(list, member, AP40_FROM_HEAD) : nullptr);
    case AP40_MSG_PREVIOUS:             return ap_object_result(member != nullptr ? ap40_Neighbour_LLIST(list, member, AP40_FROM_TAIL) : nullptr);
    case AP40_MSG_SAVE_AS:              return ap7d_SaveToFile(&list->head, static_cast<const AP7_SAVEPARM*>(parameter)->format_class);
    case AP40_MSG_FIND_BY_MESSAGE:      return ap_object_result(ap40_FindByMessage_LLIST(list, static_cast<const AP40_ASKPARM*>(parameter)));
    case AP40_MSG_SEND_TO_ALL:          return ap40_SendToAll_LLIST(list, static_cast<const AP40_SENDPARM*>(parameter));
    case AP40_MSG_SEND_TO_PASSING:      return ap40_SendToPassing_LLIST(list, static_cast<const AP40_SENDPASSINGPARM*>(parameter));
    case AP40_MSG_REMOVE_UNREADABLE:    return ap40_RemoveUnreadable_LLIST(list);
    case AP40_MSG_STREAM_SIZE:          return ap40_GetStreamSize_LLIST(list);
    default:                            return 0;
  }
}
