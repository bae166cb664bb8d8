// Doubly linked lists with a cursor and a key description.
//
// Direct lists link the caller's own records, which begin with the two link
// words; indirect lists link 12-byte nodes from the process-wide main list
// heap that point at the caller's items. Cell heaps keep their free cells in
// direct lists; objects keep their dependents and members in indirect ones.
#include <cstring>
#include <utility>

#include "array/array.h"
#include "core/core.h"
#include "platform/memory.h"

namespace {

GU3_HANDLE g_main_list_heap = nullptr;

// Callers walk lists by position (0, 1, 2, ...), which from the head each
// time costs a step per member before it, so that saving a group cost time
// by the square of its number of members. The node located last is
// remembered; the next position at or after it is walked to from there.
// Any change to the links of any list forgets it, and a list is recognised
// by its address, head and count as well, so a record copied over it is
// not taken for it. Like the list heap, this is the state of a library
// used from one thread at a time.
uint32_t g_link_changes = 0;

struct LocatedNode {
  const GU1_LINKLIST* list = nullptr;
  const GU1_NODE* head = nullptr;
  uint32_t count = 0;
  uint32_t changes = 0;
  GU1_NODE* node = nullptr;
  uint32_t position = 0;
};
LocatedNode g_located;

void gu1_links_changed() { ++g_link_changes; }

GU1_NODE* gu1_locate(GU1_LINKLIST* list, uint32_t position) {
  const uint32_t changes = g_link_changes;
  LocatedNode& last = g_located;
  const bool known = last.list == list && last.head == list->head && last.count == list->count &&
                     last.changes == changes && last.position <= position;
  GU1_NODE* node = known ? last.node : list->head;
  uint32_t at = known ? last.position : 0;
  for (; at < position && node != nullptr; ++at) node = node->next;
  if (node != nullptr) last = LocatedNode{list, list->head, list->count, changes, node, at};
  return node;
}

constexpr uint32_t kMainListHeapCells = 2000;

// Does the item's key equal the given key, as a search compares them?
bool gu1_key_matches(const void* item, const void* key, uint16_t key_offset, uint16_t key_size, uint16_t key_type) {
  const char* item_key = static_cast<const char*>(item) + key_offset;
  switch (key_type) {
    case GU1_KEY_BYTES:
      return key_size != 0 && std::memcmp(item_key, key, key_size) == 0;
    case GU1_KEY_FLOAT: {
      float a, b;
      std::memcpy(&a, item_key, sizeof a);
      std::memcpy(&b, key, sizeof b);
      return AP1_KovFloatCompareSG_MATH(a, b) == 1;
    }
    default: {
      // Text: the item matches when its text begins with the key.
      const char* wanted = static_cast<const char*>(key);
      for (uint16_t i = 0; i < key_size && wanted[i] != '\0'; ++i) {
        if (item_key[i] != wanted[i]) return false;
      }
      return true;
    }
  }
}

// Sign of the comparison of two keys, as a sort orders them; a float pair
// holding a missing value counts as in order (0).
int gu1_key_order(const void* a, const void* b, uint16_t key_size, uint16_t key_type) {
  if (key_type == GU1_KEY_FLOAT) {
    float x, y;
    std::memcpy(&x, a, sizeof x);
    std::memcpy(&y, b, sizeof y);
    if (ap1_is_missing(x) || ap1_is_missing(y)) return 0;
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  const auto* x = static_cast<const signed char*>(a);
  const auto* y = static_cast<const signed char*>(b);
  for (uint16_t i = 0; i < key_size; ++i) {
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
    if (key_type == GU1_KEY_TEXT && x[i] == 0) return 0;
  }
  return 0;
}

// The node an item is linked by: the item itself in a direct list, a new
// cell of the main list heap in an indirect one.
GU1_NODE* gu1_node_for(GU1_LINKLIST* list, void* item) {
  if (!list->indirect) return static_cast<GU1_NODE*>(item);
  auto* node = static_cast<GU1_INDIRECTNODE*>(GU3_HeapGetEx_MM(g_main_list_heap));
  if (node == nullptr) return nullptr;
  node->item = item;
  return &node->links;
}

void gu1_link_before(GU1_LINKLIST* list, GU1_NODE* node, GU1_NODE* successor) {
  gu1_links_changed();
  node->next = successor;
  node->prev = successor->prev;
  if (successor->prev != nullptr) successor->prev->next = node;
  else list->head = node;
  successor->prev = node;
  list->cursor = node;
  ++list->count;
}

void gu1_link_after(GU1_LINKLIST* list, GU1_NODE* node, GU1_NODE* predecessor) {
  gu1_links_changed();
  node->prev = predecessor;
  node->next = predecessor->next;
  if (predecessor->next != nullptr) predecessor->next->prev = node;
  else list->tail = node;
  predecessor->next = node;
  list->cursor = node;
  ++list->count;
}

GU1_NODE* gu1_first_match(GU1_LINKLIST* list, const void* key) {
  GU1_NODE* node = list->head;
  while (node != nullptr && !gu1_key_matches(gu1_item(list, node), key, list->key_offset, list->key_size, list->key_type))
    node = node->next;
  return node;
}

uint16_t gu1_create(GU1_LINKLIST* list, uint16_t key_offset, uint16_t key_size, uint16_t key_type, uint16_t indirect) {
  if (list == nullptr) return 0;
  gu1_links_changed();
  *list = GU1_LINKLIST{nullptr, nullptr, nullptr, 0, key_offset, key_size, key_type, indirect};
  return 1;
}

}  // namespace

void* gu1_item(const GU1_LINKLIST* list, GU1_NODE* node) {
  if (node == nullptr) return nullptr;
  return list->indirect ? reinterpret_cast<GU1_INDIRECTNODE*>(node)->item : node;
}

APEXPORT uint16_t GU1_Register_LL() {
  if (g_main_list_heap != nullptr) return 1;
  g_main_list_heap = GU3_MakeCellHeap_MM(kMainListHeapCells, sizeof(GU1_INDIRECTNODE), GU3_KIND_GLOBAL, "GU1LinkList");
  return g_main_list_heap != nullptr ? 1 : 0;
}

APEXPORT uint16_t GU1_UnRegister_LL() {
  if (g_main_list_heap == nullptr) return 0;
  const uint16_t result = GU3_Free_MM(g_main_list_heap);
  g_main_list_heap = nullptr;
  return result;
}

APEXPORT GU3_HANDLE GU1_GetMainLLHeap_LL() { return g_main_list_heap; }

APEXPORT uint16_t GU1_Create_LL(GU1_LINKLIST* list, uint16_t key_offset, uint16_t key_size, uint16_t key_type) {
  return gu1_create(list, key_offset, key_size, key_type, 0);
}

APEXPORT uint16_t GU1_CreateIndirect_LL(GU1_LINKLIST* list, uint16_t key_offset, uint16_t key_size, uint16_t key_type) {
  return gu1_create(list, key_offset, key_size, key_type, 1);
}

APEXPORT uint16_t GU1_Add_LL(GU1_LINKLIST* list, void* item) {
  if (list == nullptr || item == nullptr) return 0;
  GU1_NODE* node = gu1_node_for(list, item);
  if (node == nullptr) return 0;
  if (list->head != nullptr) {
    gu1_link_before(list, node, list->head);
    return 1;
  }
  gu1_links_changed();
  node->next = node->prev = nullptr;
  list->head = list->tail = list->cursor = node;
  list->count = 1;
  return 1;
}

APEXPORT uint16_t GU1_Append_LL(GU1_LINKLIST* list, void* item) {
  if (list == nullptr || item == nullptr) return 0;
  if (list->tail == nullptr) return GU1_Add_LL(list, item);
  GU1_NODE* node = gu1_node_for(list, item);
  if (node == nullptr) return 0;
  gu1_link_after(list, node, list->tail);
  return 1;
}

APEXPORT uint16_t GU1_Insert_LL(GU1_LINKLIST* list, void* item, const void* key, uint16_t where) {
  if (list == nullptr || item == nullptr || key == nullptr) return 0;
  if (where != GU1_INSERT_BEFORE && where != GU1_INSERT_AFTER) return 0;
  GU1_NODE* anchor = gu1_first_match(list, key);
  if (anchor == nullptr) return 0;
  if (where == GU1_INSERT_BEFORE && anchor == list->head) return GU1_Add_LL(list, item);
  if (where == GU1_INSERT_AFTER && anchor == list->tail) return GU1_Append_LL(list, item);
  GU1_NODE* node = gu1_node_for(list, item);
  if (node == nullptr) return 0;
  if (where == GU1_INSERT_BEFORE) gu1_link_before(list, node, anchor);
  else gu1_link_after(list, node, anchor);
  return 1;
}

APEXPORT uint16_t GU1_InsertP_LL(GU1_LINKLIST* list, void* item, uint32_t position) {
  if (list == nullptr || item == nullptr) return 0;
  if (position == 0) return GU1_Add_LL(list, item);
  // At or past the end is an append, without a walk to the end first.
  if (position >= list->count) return GU1_Append_LL(list, item);
  GU1_NODE* successor = gu1_locate(list, position);
  if (successor == nullptr) return GU1_Append_LL(list, item);
  GU1_NODE* node = gu1_node_for(list, item);
  if (node == nullptr) return 0;
  gu1_link_before(list, node, successor);
  return 1;
}

APEXPORT uint16_t GU1_Unlink_LL(GU1_LINKLIST* list, GU1_NODE* node) {
  if (list == nullptr || node == nullptr) return 0;
  gu1_links_changed();
  if (node == list->head) {
    list->head = list->cursor = node->next;
    if (list->head != nullptr) list->head->prev = nullptr;
    else list->tail = nullptr;
  } else if (node == list->tail) {
    list->tail = list->cursor = node->prev;
    list->tail->next = nullptr;
  } else {
    node->prev->next = node->next;
    node->next->prev = node->prev;
    list->cursor = node->next;
  }
  if (list->indirect) GU3_HeapRelease_MM(g_main_list_heap, node);
  --list->count;
  return 1;
}

APEXPORT uint16_t GU1_DeleteNode_LL(GU1_LINKLIST* list, GU1_NODE* node) { return GU1_Unlink_LL(list, node); }

APEXPORT uint16_t GU1_Delete_LL(GU1_LINKLIST* list, const void* key) {
  if (list == nullptr || key == nullptr) return 0;
  return GU1_Unlink_LL(list, gu1_first_match(list, key));
}

APEXPORT uint16_t GU1_DeleteP_LL(GU1_LINKLIST* list, uint32_t position) {
  if (list == nullptr) return 0;
  return GU1_Unlink_LL(list, gu1_locate(list, position));
}

APEXPORT uint16_t GU1_Destroy_LL(GU1_LINKLIST* list) {
  if (list == nullptr || IsBadWritePtr(list, sizeof(GU1_LINKLIST))) return 0;
  gu1_links_changed();
  if (list->indirect) {
    GU1_NODE* node = list->head;
    while (node != nullptr) {
      GU1_NODE* next = node->next;
      GU3_HeapRelease_MM(g_main_list_heap, node);
      node = next;
    }
  }
  list->head = list->tail = list->cursor = nullptr;
  list->count = 0;
  list->key_size = 0;
  list->key_type = 0;
  return 1;
}

void gu1_swap(GU1_LINKLIST* list, GU1_NODE* a, GU1_NODE* b) {
  if (a == b) return;
  gu1_links_changed();
  if (b->next == a) std::swap(a, b);  // adjacent nodes: a directly before b
  GU1_NODE* a_prev = a->prev;
  GU1_NODE* b_next = b->next;
  if (a->next == b) {
    b->prev = a_prev;
    b->next = a;
    a->prev = b;
    a->next = b_next;
  } else {
    GU1_NODE* a_next = a->next;
    GU1_NODE* b_prev = b->prev;
    a->next = b_next;
    a->prev = b_prev;
    b->next = a_next;
    b->prev = a_prev;
  }
  if (a->prev != nullptr) a->prev->next = a;
  if (a->next != nullptr) a->next->prev = a;
  if (b->prev != nullptr) b->prev->next = b;
  if (b->next != nullptr) b->next->prev = b;
  if (list->head == a) list->head = b;
  else if (list->head == b) list->head = a;
  if (list->tail == a) list->tail = b;
  else if (list->tail == b) list->tail = a;
  list->cursor = list->tail;
}

APEXPORT uint16_t GU1_Exchange_LL(GU1_LINKLIST* list, const void* key1, const void* key2) {
  if (list == nullptr || key1 == nullptr || key2 == nullptr) return 0;
  GU1_NODE* first = gu1_first_match(list, key1);
  GU1_NODE* second = gu1_first_match(list, key2);
  if (first == nullptr || second == nullptr) return 0;
  gu1_swap(list, first, second);
  list->cursor = first;
  return 1;
}

APEXPORT uint16_t GU1_ExchangeP_LL(GU1_LINKLIST* list, uint32_t position1, uint32_t position2) {
  if (list == nullptr) return 0;
  GU1_NODE* first = list->head;
  for (uint32_t i = 0; i < position1 && first != nullptr; ++i) first = first->next;
  GU1_NODE* second = list->head;
  for (uint32_t i = 0; i < position2 && second != nullptr; ++i) second = second->next;
  if (first == nullptr || second == nullptr) return 0;
  gu1_swap(list, first, second);
  list->cursor = first;
  return 1;
}

APEXPORT GU1_NODE* GU1_Head_LL(GU1_LINKLIST* list) {
  if (list == nullptr) return nullptr;
  return list->cursor = list->head;
}

APEXPORT GU1_NODE* GU1_Tail_LL(GU1_LINKLIST* list) {
  if (list == nullptr) return nullptr;
  return list->cursor = list->tail;
}

APEXPORT GU1_NODE* GU1_Locate_LL(GU1_LINKLIST* list, uint32_t position) {
  if (list == nullptr) return nullptr;
  GU1_NODE* node = gu1_locate(list, position);
  if (node != nullptr) list->cursor = node;
  return node;
}

APEXPORT GU1_NODE* GU1_Next_LL(GU1_LINKLIST* list, GU1_NODE* node) {
  if (list == nullptr) return nullptr;
  if (node != nullptr) list->cursor = node;
  if (list->cursor == nullptr) return nullptr;
  return list->cursor = list->cursor->next;
}

APEXPORT GU1_NODE* GU1_Prev_LL(GU1_LINKLIST* list, GU1_NODE* node) {
  if (list == nullptr) return nullptr;
  if (node != nullptr) list->cursor = node;
  if (list->cursor == nullptr) return nullptr;
  return list->cursor = list->cursor->prev;
}

APEXPORT GU1_NODE* GU1_Search_LL(GU1_LINKLIST* list, const void* key, GU1_NODE* start, uint16_t key_offset,
                                 uint16_t key_size, uint16_t key_type) {
  if (list == nullptr || key == nullptr) return nullptr;
  for (GU1_NODE* node = start != nullptr ? start : list->head; node != nullptr; node = node->next) {
    if (gu1_key_matches(gu1_item(list, node), key, key_offset, key_size, key_type)) return list->cursor = node;
  }
  return nullptr;
}

APEXPORT uint32_t GU1_Return_LL(GU1_LINKLIST* list, const void* key, uint32_t n, GU1_NODE** nodes, uint16_t backward) {
  if (list == nullptr || key == nullptr || nodes == nullptr || n == 0) return 0;
  GU1_NODE* node = gu1_first_match(list, key);
  uint32_t stored = 0;
  while (node != nullptr && stored < n) {
    nodes[stored++] = node;
    node = backward ? node->prev : node->next;
  }
  return stored;
}

APEXPORT uint16_t GU1_Sort_LL(GU1_LINKLIST* list, uint16_t key_offset, uint16_t key_size, uint16_t key_type,
                              uint16_t descending) {
  if (list == nullptr) return 0;
  // Float comparison is chosen by the given type even when the list's own
  // key description stands in for a given size of 0.
  const bool floats = key_type == GU1_KEY_FLOAT;
  if (key_size == 0) {
    key_offset = list->key_offset;
    key_size = list->key_size;
    key_type = list->key_type;
  }
  if (floats) key_type = GU1_KEY_FLOAT;
  else if (key_type == GU1_KEY_FLOAT) key_type = GU1_KEY_BYTES;
  // Exchange sort: after every swap the walk starts again at the head.
  GU1_NODE* node = list->head;
  while (node != nullptr && node->next != nullptr) {
    const char* key = static_cast<const char*>(gu1_item(list, node)) + key_offset;
    const char* next_key = static_cast<const char*>(gu1_item(list, node->next)) + key_offset;
    const int order = gu1_key_order(key, next_key, key_size, key_type);
    if (descending ? order < 0 : order > 0) {
      gu1_swap(list, node, node->next);
      node = list->head;
    } else {
      node = node->next;
    }
  }
  list->cursor = nullptr;
  return 1;
}
