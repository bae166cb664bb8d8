// Accessory framework: the class table and the APX calls.
//
// Owns the process-wide class table (the object serial counter, the
// framework heap and one record per class id with its counts, state, heaps,
// class data and parent), the framework's init count and flags, and the
// handle of the bench mutex it probes. Class registration and every class's
// initialisation write the records; hosts that use the library as a
// framework call APX_Init and APX_UnRegister in pairs.
#include <cstddef>

#include "core/core.h"
#include "platform/handles.h"

namespace {

APX_CLASSTABLE g_class_table;
uint32_t g_init_count = 0;
uint32_t g_flags = 0;
HANDLE g_bench_mutex = nullptr;
// Whether APX_Init made the root class, so that only it is undone when the
// framework goes; a root class made by class registration stays for the
// objects that use it.
bool g_root_class_made_here = false;

constexpr uint32_t kFrameworkHeapCells = 50;
constexpr uint16_t kFrameworkCellSize = 24;
constexpr char kBenchMutexName[] = "CorvaneBenchMutex";

}  // namespace

APX_CLASSREC* apx_class_record(uint16_t class_id) {
  return class_id < AP_CLASS_LIMIT ? &g_class_table.classes[class_id] : nullptr;
}

uint16_t apx_InitInstanceHeap(uint16_t class_id, uint32_t cells, uint16_t cell_bytes, const char* name) {
  APX_CLASSREC* record = apx_class_record(class_id);
  if (record == nullptr) return 0;
  record->live = 0;
  record->created = 0;
  record->instance_heap = GU3_MakeCellHeap_MM(cells, cell_bytes, GU3_KIND_GLOBAL, name);
  return record->instance_heap != nullptr ? 1 : 0;
}

uint16_t apx_FreeInstanceHeap(uint16_t class_id) {
  APX_CLASSREC* record = apx_class_record(class_id);
  if (record == nullptr) return 0;
  const uint16_t freed = GU3_Free_MM(record->instance_heap);
  record->instance_heap = nullptr;
  return freed;
}

APEXPORT APX_CLASSTABLE* APX_GetClassTable() { return &g_class_table; }

APEXPORT uint16_t APX_SetClassState(uint16_t class_id, int16_t state) {
  APX_CLASSREC* record = apx_class_record(class_id);
  if (record == nullptr) return 0;
  record->state = state;
  return 1;
}

APEXPORT int16_t APX_GetClassState(uint16_t class_id) {
  const APX_CLASSREC* record = apx_class_record(class_id);
  return record != nullptr ? record->state : 0;
}

APEXPORT uint16_t APX_SetClassParentID(uint16_t class_id, uint16_t parent_id) {
  APX_CLASSREC* record = apx_class_record(class_id);
  if (record == nullptr) return 0;
  record->parent_id = parent_id;
  return 1;
}

APEXPORT uint16_t APX_GetClassParentID(uint16_t class_id) {
  const APX_CLASSREC* record = apx_class_record(class_id);
  return record != nullptr ? record->parent_id : 0;
}

APEXPORT uint16_t APX_GetAPClassInfo(uint16_t class_id, uint16_t* live, uint16_t* created, uint16_t* state) {
  const APX_CLASSREC* record = apx_class_record(class_id);
  if (record == nullptr) return 0;
  if (live != nullptr) *live = record->live;
  if (created != nullptr) *created = record->created;
  if (state != nullptr) *state = static_cast<uint16_t>(record->state);
  return 1;
}

APEXPORT uint16_t APX_GetClassInfoAll(APX_CLASSREC* records) {
  if (records == nullptr) return 0;
  // The first 20 bytes of each record: all but the class-data block.
  constexpr size_t kCopiedBytes = offsetof(APX_CLASSREC, data_block);
  for (uint16_t class_id = 1; class_id < AP_CLASS_LIMIT; ++class_id)
    GU3_MemMove_MM(kCopiedBytes, &g_class_table.classes[class_id], &records[class_id]);
  return 1;
}

APEXPORT uint16_t APX_GetAPVersion(uint32_t* version, uint32_t* second) {
  if (version != nullptr) *version = 0x20001;
  if (second != nullptr) *second = 1;
  return 1;
}

APEXPORT uint16_t APX_GetAPInfo(uint16_t* class_ids, uint16_t* second, uint16_t* third) {
  if (class_ids != nullptr) *class_ids = AP_CLASS_LIMIT;
  if (second != nullptr) *second = 4;
  if (third != nullptr) *third = 2;
  return 1;
}

// The framework is set up by the first of nested APX_Init calls only, so a
// second call neither makes the root class again nor loses its heaps.
APEXPORT uint16_t APX_Init() {
  if (g_init_count > 0) {
    ++g_init_count;
    return 1;
  }
  GU3_HANDLE heap = GU3_MakeCellHeap_MM(kFrameworkHeapCells, kFrameworkCellSize, GU3_KIND_GLOBAL, "APLLHEAP");
  if (heap == nullptr) return 0;
  g_class_table.framework_heap = heap;
  g_class_table.serial_counter = 0;
  // Classes that registration has already set up keep their states.
  for (APX_CLASSREC& record : g_class_table.classes) {
    if (record.state == 0) record.state = APX_NOT_REGISTERED;
  }
  g_bench_mutex = CreateMutexA(nullptr, FALSE, kBenchMutexName);
  APX_CLASSREC* root = apx_class_record(AP2_CLASS_ID);
  if (root->instance_heap == nullptr) {
    root->state = static_cast<int16_t>(ap2_InitClass(AP2_CLASS_ID));
    g_root_class_made_here = root->state == 1;
  }
  g_init_count = 1;
  return 1;
}

// An APX_UnRegister without a matching APX_Init changes nothing and answers 0.
APEXPORT uint16_t APX_UnRegister() {
  if (g_init_count == 0) return 0;
  if (--g_init_count > 0) return 1;
  uint16_t result = 1;
  if (g_root_class_made_here) {
    result = ap2_TermClass(AP2_CLASS_ID) & 1;
    g_root_class_made_here = false;
  }
  GU3_Free_MM(g_class_table.framework_heap);
  g_class_table.framework_heap = nullptr;
  CloseHandle(g_bench_mutex);
  g_bench_mutex = nullptr;
  return result;
}

// The bench is held by another process when the mutex cannot be taken at
// once; when it can, it is given back straight away.
APEXPORT uint32_t APX_GetAPFlags() {
  const DWORD wait = WaitForSingleObject(g_bench_mutex, 0);
  if (wait == WAIT_TIMEOUT) return g_flags | APX_FLAG_BENCH_HELD;
  if (wait == WAIT_OBJECT_0) ReleaseMutex(g_bench_mutex);
  return g_flags;
}

APEXPORT uint32_t APX_SetAPFlag(uint32_t bits) {
  g_flags |= bits;
  return g_flags;
}

APEXPORT uint32_t APX_ClearAPFlag() { return g_flags; }

APEXPORT uint16_t APX_GetAppCount() { return 1; }

// No host settings object is ever set; callers skip what they would read from it.
APEXPORT void* APX_GetGlobalObject() { return nullptr; }

APEXPORT uint16_t APX_InitAccessory(void*) { return 0; }

APEXPORT void APX_IncAppsRefCount() {}
APEXPORT void APX_DecAppsRefCount() {}
APEXPORT void APX_ClearAppCount() {}
APEXPORT void APX_ClearInitGlobal() {}
APEXPORT void APX_DestroyAccessory() {}
