// The DATAPAIR class (AP9): a growable list of (tag, x, y) points that the
// spectrum operations use for anchor points, correction curves and peak
// fits.
//
// Owns the class's cell heap "AP9_DATAPAIR", the object's life cycle, its
// stored form inside a native file section, and the list operations: get
// and set a pair, insert and delete runs of pairs, sort and map the pairs
// to device coordinates. AP9_Dispatcher_DATAPAIR is the class's message
// table; the curves and fits through the pairs are in ap9_fit.cpp.
//
// Pair blocks come zero-filled from the memory manager and new entries are
// cleared whole, so every byte of an entry, the reserved ones included, is
// either zero or what a file held: a write sends no uninitialised memory.
#include <algorithm>
#include <cstring>

#include "array/array.h"
#include "files/files.h"
#include "platform/memory.h"

namespace {

constexpr char kClassName[] = "AP9_DATAPAIR";
constexpr uint32_t kInstanceCells = 25;

// The memory manager gives no block of 2^31 bytes or more.
constexpr uint32_t kMaxPairs = 0x7FFFFFFF / sizeof(AP9_PAIR);

APX_CLASSREC* ap9_class() { return apx_class_record(AP9_CLASS_ID); }

AP2_OBJECT* ap9_part(const AP9_DATAPAIR* pairs) { return reinterpret_cast<AP2_OBJECT*>(pairs->head.parent); }

GU3_HANDLE ap9_new_block(uint32_t count) {
  if (count > kMaxPairs) return nullptr;
  GU3_HANDLE block = GU3_Allocate_MM(count, sizeof(AP9_PAIR), GU3_KIND_GLOBAL);
  void* entries = GU3_GetPointer_MM(block, 0, nullptr, nullptr);
  if (entries == nullptr) {
    GU3_Free_MM(block);
    return nullptr;
  }
  std::memset(entries, 0, count * sizeof(AP9_PAIR));
  return block;
}

// Reads the stored number of pairs and their entries into a block of their
// own (none for no pairs). The number is checked against what the file
// still holds before anything is allocated for it.
bool ap9_read_entries(void* file, uint32_t* count, GU3_HANDLE* block) {
  *block = nullptr;
  if (ap20_Read(file, count, sizeof *count) != sizeof *count) {
    ap4a_cut_short(file);
    return false;
  }
  if (*count > kMaxPairs) {
    ap20_SetError(file, AP20_ERROR_DAMAGED);
    return false;
  }
  const uint32_t bytes = *count * sizeof(AP9_PAIR);
  if (ap4a_falls_short(file, bytes)) {
    ap4a_cut_short(file);
    return false;
  }
  if (*count == 0) return true;
  *block = ap9_new_block(*count);
  if (*block == nullptr) return false;
  if (ap20_Read(file, GU3_GetPointer_MM(*block, 0, nullptr, nullptr), bytes) == bytes) return true;
  ap4a_cut_short(file);
  GU3_Free_MM(*block);
  *block = nullptr;
  return false;
}

float ap9_key(const AP9_PAIR& pair, uint16_t key) {
  if (key == AP9_KEY_X) return pair.x;
  if (key == AP9_KEY_Y) return pair.y;
  return static_cast<float>(pair.tag);
}

int32_t ap9_device(float value, float from, float scale, int16_t p1, int16_t p2) {
  const int32_t low = std::min(p1, p2);
  const int32_t high = std::max(p1, p2);
  const int64_t p = int64_t{p1} + ap1_TruncateToInt32((static_cast<double>(value) - from) * scale);
  return static_cast<int32_t>(std::clamp<int64_t>(p, low, high));
}

}  // namespace

bool ap9_is_datapair(const void* object) {
  return !IsBadReadPtr(object, sizeof(AP9_DATAPAIR)) &&
         static_cast<const AP9_DATAPAIR*>(object)->head.class_id == AP9_CLASS_ID;
}

AP9_PAIR* ap9_pairs(const AP9_DATAPAIR* pairs) {
  return static_cast<AP9_PAIR*>(GU3_GetPointer_MM(pairs->pairs, 0, nullptr, nullptr));
}

uint16_t ap9_InitClass(uint16_t class_id) {
  if (class_id != AP9_CLASS_ID) return 0;
  return apx_InitInstanceHeap(class_id, kInstanceCells, sizeof(AP9_DATAPAIR), kClassName);
}

uint16_t ap9_TermClass(uint16_t class_id) {
  if (class_id != AP9_CLASS_ID) return 0;
  return apx_FreeInstanceHeap(class_id);
}

// ---------------------------------------------------------------------------
// The object

AP9_DATAPAIR* ap9_Allocate(uint16_t class_id, AP_OBJECT* owner, uint32_t count) {
  APX_CLASSREC* record = ap9_class();
  if (class_id != AP9_CLASS_ID || record->instance_heap == nullptr || count > kMaxPairs) return nullptr;
  auto* pairs = static_cast<AP9_DATAPAIR*>(GU3_HeapGetEx_MM(record->instance_heap));
  if (pairs == nullptr) return nullptr;
  GU3_HANDLE block = count != 0 ? ap9_new_block(count) : nullptr;
  AP2_OBJECT* part = nullptr;
  if (count == 0 || block != nullptr) part = ap2_Create_OBJ(AP2_CLASS_ID, owner != nullptr ? owner : &pairs->head);
  if (part == nullptr) {
    GU3_Free_MM(block);
    GU3_HeapRelease_MM(record->instance_heap, pairs);
    return nullptr;
  }
  pairs->head = AP_OBJECT{AP9_CLASS_ID, &part->head};
  pairs->count = count;
  pairs->pairs = block;
  ++record->live;
  ++record->created;
  return pairs;
}

AP9_DATAPAIR* ap9_New(uint16_t class_id, uint32_t count, HWND window) {
  AP9_DATAPAIR* pairs = ap9_Allocate(class_id, nullptr, count);
  if (pairs == nullptr) return nullptr;
  if (ap2_Init_OBJ(ap9_part(pairs), window)) return pairs;
  ap9_Destroy(pairs, window);
  return nullptr;
}

uint32_t ap9_Destroy(AP9_DATAPAIR* pairs, HWND window) {
  if (IsBadWritePtr(pairs, sizeof(AP9_DATAPAIR)) || pairs->head.class_id != AP9_CLASS_ID) return 0;
  const uint32_t destroyed = ap2_Destroy_OBJ(ap9_part(pairs), window);
  if (destroyed != AP_DESTROYED) return destroyed;
  GU3_Free_MM(pairs->pairs);
  APX_CLASSREC* record = ap9_class();
  GU3_HeapRelease_MM(record->instance_heap, pairs);
  --record->live;
  return AP_DESTROYED;
}

AP9_DATAPAIR* ap9_Duplicate(AP9_DATAPAIR* pairs, HWND window) {
  if (!ap9_is_datapair(pairs)) return nullptr;
  AP9_DATAPAIR* copy = ap9_Allocate(AP9_CLASS_ID, nullptr, pairs->count);
  if (copy == nullptr) return nullptr;
  if (ap9_Copy(pairs, copy, window)) return copy;
  ap9_Destroy(copy, nullptr);
  return nullptr;
}

uint32_t ap9_GetSize(AP9_DATAPAIR* pairs) {
  if (!ap9_is_datapair(pairs)) return 0;
  return ap2_GetSize_OBJ(ap9_part(pairs)) + sizeof(AP9_DATAPAIR) + pairs->count * sizeof(AP9_PAIR);
}

uint16_t ap9_Copy(AP9_DATAPAIR* pairs, AP9_DATAPAIR* target, HWND window) {
  if (!ap9_is_datapair(pairs) || !ap9_is_datapair(target) || pairs->count != target->count) return 0;
  {
    ap9_change_bracket bracket(target);
    if (!bracket.begun()) return 0;
    const AP9_PAIR* from = ap9_pairs(pairs);
    AP9_PAIR* to = ap9_pairs(target);
    if (from != nullptr && to != nullptr) std::memmove(to, from, pairs->count * sizeof(AP9_PAIR));
  }
  return ap2_Copy_OBJ(ap9_part(pairs), ap9_part(target), window);
}

// ---------------------------------------------------------------------------
// Stored form

// A new object (create set; the object then is a pointer to the class id)
// or this one takes the stored pairs. The entries are read into a block of
// their own first, so that a short or damaged block leaves this object as
// it was.
AP9_DATAPAIR* ap9_Read(void* object, void* file, uint16_t create) {
  if (gu2_ClassIdOf(object) != AP9_CLASS_ID || (!create && !ap9_is_datapair(object)) || !ap20_IsOpen(file))
    return nullptr;
  uint32_t count = 0;
  GU3_HANDLE block = nullptr;
  if (!ap9_read_entries(file, &count, &block)) return nullptr;
  if (create) {
    AP9_DATAPAIR* fresh = ap9_Allocate(AP9_CLASS_ID, nullptr, 0);
    if (fresh == nullptr || ap2_Read_OBJ(ap9_part(fresh), 0) == nullptr) {
      ap9_Destroy(fresh, nullptr);
      GU3_Free_MM(block);
      return nullptr;
    }
    fresh->count = count;
    fresh->pairs = block;
    return fresh;
  }
  auto* pairs = static_cast<AP9_DATAPAIR*>(object);
  ap9_change_bracket bracket(pairs);
  if (!bracket.begun() || ap2_Read_OBJ(ap9_part(pairs), 0) == nullptr) {
    GU3_Free_MM(block);
    return nullptr;
  }
  GU3_Free_MM(pairs->pairs);
  pairs->pairs = block;
  pairs->count = count;
  return pairs;
}

// Every byte must reach the file: a write cut short fails.
uint16_t ap9_Write(const AP9_DATAPAIR* pairs, void* file) {
  if (!ap9_is_datapair(pairs) || !ap20_IsOpen(file)) return 0;
  const uint32_t bytes = pairs->count * sizeof(AP9_PAIR);
  const AP9_PAIR* entries = ap9_pairs(pairs);
  if (bytes != 0 && entries == nullptr) return 0;
  const uint32_t count = pairs->count;
  if (ap20_Write(file, &count, sizeof count) != sizeof count) return 0;
  if (bytes != 0 && ap20_Write(file, entries, bytes) != bytes) return 0;
  return ap2_Write_OBJ(ap9_part(pairs), file);
}

// ---------------------------------------------------------------------------
// The list

uint32_t ap9_GetCount(const AP9_DATAPAIR* pairs) { return ap9_is_datapair(pairs) ? pairs->count : 0; }

uint16_t ap9_GetPair(const AP9_DATAPAIR* pairs, uint32_t index, uint16_t* tag, float* x, float* y) {
  if (!ap9_is_datapair(pairs) || index >= pairs->count || IsBadWritePtr(tag, sizeof *tag) ||
      IsBadWritePtr(x, sizeof *x) || IsBadWritePtr(y, sizeof *y))
    return 0;
  const AP9_PAIR* entries = ap9_pairs(pairs);
  if (entries == nullptr) return 0;
  *tag = entries[index].tag;
  *x = entries[index].x;
  *y = entries[index].y;
  return 1;
}

uint16_t ap9_SetPair(AP9_DATAPAIR* pairs, uint32_t index, uint16_t tag, float x, float y) {
  if (!ap9_is_datapair(pairs) || index >= pairs->count) return 0;
  ap9_change_bracket bracket(pairs);
  AP9_PAIR* entries = ap9_pairs(pairs);
  if (!bracket.begun() || entries == nullptr) return 0;
  entries[index].tag = tag;
  entries[index].x = x;
  entries[index].y = y;
  return 1;
}

// The block grows first; a failure there leaves the pairs as they were.
uint16_t ap9_InsertPairs(AP9_DATAPAIR* pairs, uint32_t index, int32_t count) {
  if (!ap9_is_datapair(pairs)) return 0;
  if (index == AP9_ALL) index = pairs->count;
  if (index > pairs->count || count < 1 || uint64_t{pairs->count} + static_cast<uint32_t>(count) > kMaxPairs)
    return 0;
  const uint32_t added = static_cast<uint32_t>(count);
  const uint32_t total = pairs->count + added;
  ap9_change_bracket bracket(pairs);
  if (!bracket.begun()) return 0;
  if (pairs->pairs == nullptr) {
    pairs->pairs = ap9_new_block(total);
    if (pairs->pairs == nullptr) return 0;
  } else if (GU3_NumElements_MM(pairs->pairs) < total && !GU3_Reallocate_MM(pairs->pairs, total)) {
    return 0;
  }
  AP9_PAIR* entries = ap9_pairs(pairs);
  if (entries == nullptr) return 0;
  std::memmove(entries + index + added, entries + index, (pairs->count - index) * sizeof(AP9_PAIR));
  std::memset(entries + index, 0, added * sizeof(AP9_PAIR));
  pairs->count = total;
  return 1;
}

// The block keeps its size.
uint16_t ap9_DeletePairs(AP9_DATAPAIR* pairs, uint32_t index, uint32_t count) {
  if (!ap9_is_datapair(pairs)) return 0;
  if (index == AP9_ALL) {
    index = 0;
    count = pairs->count;
  } else if (static_cast<int32_t>(index) < 0 || static_cast<int32_t>(count) < 1 ||
             uint64_t{index} + count > pairs->count) {
    return 0;
  }
  if (count == 0) return 1;
  ap9_change_bracket bracket(pairs);
  AP9_PAIR* entries = ap9_pairs(pairs);
  if (!bracket.begun() || entries == nullptr) return 0;
  std::memmove(entries + index, entries + index + count, (pairs->count - index - count) * sizeof(AP9_PAIR));
  pairs->count -= count;
  return 1;
}

// A stable insertion sort: each entry moves down past those whose key is
// greater, so that equal keys keep their order.
uint16_t ap9_Sort(AP9_DATAPAIR* pairs, uint16_t key, int16_t order) {
  if (!ap9_is_datapair(pairs) || key > AP9_KEY_TAG || order != AP9_ASCENDING) return 0;
  if (pairs->count == 0) return 1;
  ap9_change_bracket bracket(pairs);
  AP9_PAIR* entries = ap9_pairs(pairs);
  if (!bracket.begun() || entries == nullptr) return 0;
  for (uint32_t i = 1; i < pairs->count; ++i) {
    const AP9_PAIR moving = entries[i];
    const float value = ap9_key(moving, key);
    uint32_t j = i;
    for (; j > 0 && ap9_key(entries[j - 1], key) > value; --j) entries[j] = entries[j - 1];
    entries[j] = moving;
  }
  return 1;
}

uint16_t ap9_ToDevicePoints(const AP9_DATAPAIR* pairs, const AP9_DEVICEPARM* window) {
  if (!ap9_is_datapair(pairs)) return 0;
  if (AP1_KovFloatCompareSG_MATH(window->x1, window->x2) || AP1_KovFloatCompareSG_MATH(window->y1, window->y2))
    return 0;
  const uint32_t bytes = pairs->count * sizeof(uint16_t);
  if (pairs->count != 0 && (IsBadWritePtr(window->xs, bytes) || IsBadWritePtr(window->ys, bytes))) return 0;
  const AP9_PAIR* entries = ap9_pairs(pairs);
  if (pairs->count != 0 && entries == nullptr) return 0;
  const double sx = (window->px2 - window->px1) / (static_cast<double>(window->x2) - window->x1);
  const double sy = (window->py2 - window->py1) / (static_cast<double>(window->y2) - window->y1);
  for (uint32_t i = 0; i < pairs->count; ++i) {
    window->xs[i] = static_cast<uint16_t>(ap9_device(entries[i].x, window->x1, sx, window->px1, window->px2));
    window->ys[i] = static_cast<uint16_t>(ap9_device(entries[i].y, window->y1, sy, window->py1, window->py2));
  }
  return 1;
}

// ---------------------------------------------------------------------------
// Dispatcher

namespace {

uint32_t ap9_block_size(uint16_t message) {
  switch (message) {
    case AP_MSG_CREATE: return sizeof(AP9_ALLOCPARM);
    case AP_MSG_NEW: return sizeof(AP9_NEWPARM);
    case AP_MSG_DESTROY:
    case AP_MSG_DUPLICATE: return sizeof(HWND);
    case AP_MSG_READ: return sizeof(AP_READPARM);
    case AP_MSG_COPY: return sizeof(AP_COPYPARM);
    case AP9_MSG_GET_PAIR: return sizeof(AP9_GETPARM);
    case AP9_MSG_SET_PAIR: return sizeof(AP9_SETPARM);
    case AP9_MSG_INSERT_PAIRS:
    case AP9_MSG_DELETE_PAIRS: return sizeof(AP9_SPANPARM);
    case AP9_MSG_TO_DEVICE_POINTS: return sizeof(AP9_DEVICEPARM);
    case AP9_MSG_POLY_FIT_NORMAL:
    case AP9_MSG_RATIO_FIT: return sizeof(uint16_t);
    case AP9_MSG_INTERPOLATE:
    case AP9_MSG_INTERPOLATE_SMOOTH: return sizeof(AP9_CURVEPARM);
    case AP9_MSG_SORT: return sizeof(AP9_SORTPARM);
    case AP9_MSG_REJECT_OUTLIERS: return sizeof(AP9_OUTLIERPARM);
    default: return 0;
  }
}

void* ap9_root_part(const void* object) {
  return ap9_is_datapair(object) ? static_cast<const AP9_DATAPAIR*>(object)->head.parent : nullptr;
}

}  // namespace

// Messages 2, 4 and 17 with the create flag come with a pointer to the bare
// class id in place of an object; every other message with a DATAPAIR.
APEXPORT uint32_t AP9_Dispatcher_DATAPAIR(void* object, uint16_t message, void* parameter) {
  const uint16_t class_id = gu2_ClassIdOf(object);
  if (class_id != AP9_CLASS_ID || IsBadReadPtr(parameter, ap9_block_size(message))) return 0;
  auto* pairs = static_cast<AP9_DATAPAIR*>(object);
  const auto* allocate = static_cast<const AP9_ALLOCPARM*>(parameter);
  const auto* fresh = static_cast<const AP9_NEWPARM*>(parameter);
  const auto* window = static_cast<const AP_WINDOWPARM*>(parameter);
  const auto* read = static_cast<const AP_READPARM*>(parameter);
  const auto* copy = static_cast<const AP_COPYPARM*>(parameter);
  const auto* get = static_cast<const AP9_GETPARM*>(parameter);
  const auto* set = static_cast<const AP9_SETPARM*>(parameter);
  const auto* span = static_cast<const AP9_SPANPARM*>(parameter);
  const auto* device = static_cast<const AP9_DEVICEPARM*>(parameter);
  const auto* order = static_cast<const uint16_t*>(parameter);
  const auto* curve = static_cast<const AP9_CURVEPARM*>(parameter);
  const auto* sort = static_cast<const AP9_SORTPARM*>(parameter);
  const auto* outliers = static_cast<const AP9_OUTLIERPARM*>(parameter);
  switch (message) {
    case AP_MSG_INIT:
    case AP_MSG_DUMP:
    case AP_MSG_BEGIN_CHANGE:
    case AP_MSG_END_CHANGE:
    case AP_MSG_GET_CHANGE_STATE:
    case AP_MSG_SET_CHANGE_STATE:
    case AP_MSG_SAVE:
    case AP_MSG_ADD_DEPENDENT_WINDOW:
    case AP_MSG_REMOVE_DEPENDENT: return AP2_Dispatcher_OBJ(ap9_root_part(object), message, parameter);
    case AP_MSG_CREATE:           return ap_object_result(ap9_Allocate(class_id, allocate->owner, allocate->count));
    case AP_MSG_NEW:              return ap_object_result(ap9_New(class_id, fresh->count, fresh->window));
    case AP_MSG_DESTROY:          return ap9_Destroy(pairs, window->window);
    case AP_MSG_DUPLICATE:        return ap_object_result(ap9_Duplicate(pairs, window->window));
    case AP_MSG_SIZE:             return ap9_GetSize(pairs);
    case AP_MSG_CLASS_NAME:
      return ap9_is_datapair(pairs) ? ap2_copy_class_name(static_cast<char*>(parameter), kClassName) : 0;
    case AP_MSG_READ:             return ap_object_result(ap9_Read(object, read->file, read->create));
    case AP_MSG_WRITE:            return ap9_Write(pairs, parameter);
    case AP_MSG_COPY:             return ap9_Copy(pairs, reinterpret_cast<AP9_DATAPAIR*>(copy->target), copy->window);
    case AP9_MSG_GET_COUNT:       return ap9_GetCount(pairs);
    case AP9_MSG_GET_PAIR:        return ap9_GetPair(pairs, get->index, get->tag, get->x, get->y);
    case AP9_MSG_SET_PAIR:        return ap9_SetPair(pairs, set->index, set->tag, set->x, set->y);
    case AP9_MSG_INSERT_PAIRS:    return ap9_InsertPairs(pairs, span->index, span->count);
    case AP9_MSG_DELETE_PAIRS:    return ap9_DeletePairs(pairs, span->index, static_cast<uint32_t>(span->count));
    case AP9_MSG_TO_DEVICE_POINTS: return ap9_ToDevicePoints(pairs, device);
    case AP9_MSG_POLY_FIT_NORMAL: return ap_object_result(ap9_PolyFitNormal(pairs, *order));
    case AP9_MSG_INTERPOLATE:
      return ap_object_result(ap9_Interpolate(pairs, curve->start, curve->end, curve->n, curve->sort));
    case AP9_MSG_INTERPOLATE_SMOOTH:
      return ap_object_result(
          ap9_InterpolateSmooth(pairs, curve->start, curve->end, static_cast<uint32_t>(curve->n), curve->sort));
    case AP9_MSG_SORT:            return ap9_Sort(pairs, sort->key, sort->order);
    case AP9_MSG_REJECT_OUTLIERS:
      return static_cast<uint16_t>(ap9_RejectOutliers(pairs, outliers->coefficients, outliers->side, outliers->level));
    case AP9_MSG_RATIO_FIT:       return ap_object_result(ap9_RatioFit(pairs, static_cast<int16_t>(*order)));
    default:                      return 0;
  }
}
