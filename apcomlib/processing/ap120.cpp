// The quality-check settings class AP120 SQ, and the frame it shares with
// the results class AP121 SQR.
//
// Both are parameter sets (parent AP13 PARAMS) whose record lies inline
// after the PARAMS part; the frame owns each class's cell heap and table and
// answers creation, destruction, size, class name, reading, copying and the
// pairing of a short and a long path parameter. SQ adds the upgrade of older
// stored settings and routes its check messages to ap120_checks.cpp and
// ap120_spectrum.cpp. Class registration calls the init and term functions.
#include <cstring>

#include "files/files.h"
#include "processing/processing.h"
#include "platform/memory.h"
#include "util/util.h"

namespace {

constexpr uint32_t kInstanceCells = 5;
// The module whose exports hold the classes' dispatchers.
constexpr char kLibraryModule[] = "talvo_ap.dll";
constexpr uint32_t kLongPathSize = 260;
constexpr uint32_t kShortPathSize = 80;

// Offsets are filled in at class initialisation, as the running sum of the
// sizes.
#define AP120_ROW(number, type, size, text) {number, AP13_TYPE_##type, size, AP13_LIMITS_FREE, 0, text}
AP13_PARMENTRY g_rows[AP120_PARM_COUNT] = {
    AP120_ROW(0, WORD, 2, "1"),          AP120_ROW(1, STRING, 80, " "),       AP120_ROW(2, STRING, 64, "Untitled"),
    AP120_ROW(3, STRING, 255, "Description"), AP120_ROW(4, WORD, 2, "0"),     AP120_ROW(5, WORD, 2, "0"),
    AP120_ROW(6, BOOL, 2, "TRUE"),       AP120_ROW(7, BOOL, 2, "TRUE"),       AP120_ROW(8, BOOL, 2, "TRUE"),
    AP120_ROW(9, BOOL, 2, "TRUE"),       AP120_ROW(10, BOOL, 2, "TRUE"),      AP120_ROW(11, BOOL, 2, "TRUE"),
    AP120_ROW(12, SINGLE, 4, "0.125"),   AP120_ROW(13, SINGLE, 4, "32"),      AP120_ROW(14, BOOL, 2, "TRUE"),
    AP120_ROW(15, BOOL, 2, "TRUE"),      AP120_ROW(16, BOOL, 2, "TRUE"),      AP120_ROW(17, BOOL, 2, "TRUE"),
    AP120_ROW(18, BOOL, 2, "TRUE"),      AP120_ROW(19, SINGLE, 4, "10"),      AP120_ROW(20, BOOL, 2, "TRUE"),
    AP120_ROW(21, SINGLE, 4, "10"),      AP120_ROW(22, BOOL, 2, "TRUE"),      AP120_ROW(23, BOOL, 2, "TRUE"),
    AP120_ROW(24, BOOL, 2, "TRUE"),      AP120_ROW(25, BOOL, 2, "TRUE"),      AP120_ROW(26, SINGLE, 4, "5.6"),
    AP120_ROW(27, SINGLE, 4, "9.8"),     AP120_ROW(28, BOOL, 2, "TRUE"),      AP120_ROW(29, BOOL, 2, "FALSE"),
    AP120_ROW(30, BOOL, 2, "TRUE"),      AP120_ROW(31, BOOL, 2, "TRUE"),      AP120_ROW(32, BOOL, 2, "TRUE"),
    AP120_ROW(33, SINGLE, 4, "10"),      AP120_ROW(34, BOOL, 2, "TRUE"),      AP120_ROW(35, SINGLE, 4, "10"),
    AP120_ROW(36, BOOL, 2, "TRUE"),      AP120_ROW(37, BOOL, 2, "TRUE"),      AP120_ROW(38, BOOL, 2, "FALSE"),
    AP120_ROW(39, WORD, 2, "1"),         AP120_ROW(40, BOOL, 2, "TRUE"),      AP120_ROW(41, SINGLE, 4, "10"),
    AP120_ROW(42, SINGLE, 4, "50"),      AP120_ROW(43, BOOL, 2, "TRUE"),      AP120_ROW(44, ADDR, 4, "0"),
    AP120_ROW(45, STRING, 256, " "),     AP120_ROW(46, BOOL, 2, "FALSE"),     AP120_ROW(47, BOOL, 2, "FALSE"),
    AP120_ROW(48, BOOL, 2, "FALSE"),     AP120_ROW(49, BOOL, 2, "FALSE"),     AP120_ROW(50, SINGLE, 4, "5"),
    AP120_ROW(51, SINGLE, 4, "50"),      AP120_ROW(52, SINGLE, 4, "10"),      AP120_ROW(53, SINGLE, 4, "80"),
    AP120_ROW(54, SINGLE, 4, "50"),      AP120_ROW(55, SINGLE, 4, "10"),      AP120_ROW(56, STRING, 260, " "),
};
#undef AP120_ROW

constexpr AP12X_CLASS kSettingsClass = {
    AP120_CLASS_ID, "AP120_SQ",         "AP120",         "AP120_Dispatcher_SQ", AP120_Dispatcher_SQ, kInstanceCells,
    AP120_OBJECT_BYTES, AP120_RECORD_BYTES, AP120_TABLE_TAG, AP120_NAME_GROUP, g_rows,
    AP120_PARM_COUNT, 4,              AP120_PATH_SHORT, AP120_PATH_LONG,
};
static_assert(sizeof(AP120_SQ) == AP120_OBJECT_BYTES + 1, "a cell starts every object on an even address");

// The record versions of stored settings and what reading them brings up
// to date.
constexpr uint16_t kFirstVersion = 1;
constexpr uint16_t kCurrentVersion = 4;
constexpr float kReversedScaleSum = 101.0f;
constexpr float kNewSensitivity = 50.0f;

template <typename T>
void ap120_put(AP13_PARAMS* part, uint16_t number, T value) {
  std::memcpy(ap13_GetValuePtr_PARAMS(part, number), &value, sizeof value);
}

// Older settings took the fit sensitivity on a reversed scale and had no
// noise and out-of-range sensitivities; before version 4 the accessory
// codes were the old ones.
void ap120_upgrade(AP13_PARAMS* part) {
  uint16_t version = ap12x_get<uint16_t>(part, AP120_VERSION);
  if (version == kFirstVersion) {
    version = 2;
    ap120_put(part, AP120_FIT_SENS, kReversedScaleSum - ap12x_get<float>(part, AP120_FIT_SENS));
  }
  if (version < 3) {
    version = 3;
    ap120_put(part, AP120_NOISE_SENS, kNewSensitivity);
    ap120_put(part, AP120_OUT_OF_RANGE_SENS, kNewSensitivity);
  }
  if (version < kCurrentVersion) {
    version = kCurrentVersion;
    uint16_t code = ap12x_get<uint16_t>(part, AP120_ACCESSORY);
    if (ap121_MapAccessoryCode(&code) != 0) ap120_put(part, AP120_ACCESSORY, code);
  }
  ap120_put(part, AP120_VERSION, version);
}

uint16_t ap120_class_id_of(const void* object) {
  if (IsBadReadPtr(object, sizeof(uint16_t))) return 0;
  uint16_t class_id;
  std::memcpy(&class_id, object, sizeof class_id);
  return class_id;
}

// The companion of a path parameter set by message 41, 43 or 65: the same
// message to the own part, for the other parameter, with the other form of
// the path. A path that has no other form leaves the companion as it was.
void ap120_pair_paths(const AP12X_CLASS& kind, AP13_PARAMS* part, uint16_t message, void* parameter) {
  const uint16_t index = ap13_load<uint16_t>(parameter);
  if (index != kind.short_path && index != kind.long_path) return;
  const char* text = nullptr;
  if (message == GU2_MSG_SET_PARM_VALUE) text = static_cast<const char*>(static_cast<GU2_PARMVALUE*>(parameter)->value);
  else if (message == GU2_MSG_SET_PARM_STR) text = static_cast<GU2_PARMSTRSET*>(parameter)->text;
  else text = static_cast<AP13_PARSEPARM*>(parameter)->text;
  if (text == nullptr || IsBadReadPtr(text, 1)) return;
  char other[kLongPathSize + 1] = {};
  const bool converted = index == kind.short_path ? GU4_GetLongPathName(text, kLongPathSize, other) != 0
                                                  : GU4_GetShortPathName(text, other, kShortPathSize) != 0;
  if (!converted) return;
  const uint16_t companion = index == kind.short_path ? kind.long_path : kind.short_path;
  switch (message) {
    case GU2_MSG_SET_PARM_VALUE: {
      GU2_PARMVALUE block = *static_cast<GU2_PARMVALUE*>(parameter);
      block.index = companion;
      block.value = other;
      AP13_Dispatcher_PARAMS(part, message, &block);
      break;
    }
    case GU2_MSG_SET_PARM_STR: {
      GU2_PARMSTRSET block = *static_cast<GU2_PARMSTRSET*>(parameter);
      block.index = companion;
      block.text = other;
      AP13_Dispatcher_PARAMS(part, message, &block);
      break;
    }
    default: {
      AP13_PARSEPARM block = *static_cast<AP13_PARSEPARM*>(parameter);
      block.index = companion;
      block.text = other;
      AP13_Dispatcher_PARAMS(part, message, &block);
      break;
    }
  }
}

AP13_CHILD* ap12x_create(const AP12X_CLASS& kind, AP_OBJECT* outer) {
  APX_CLASSREC* record = apx_class_record(kind.class_id);
  if (record->instance_heap == nullptr || record->class_data == nullptr) return nullptr;
  auto* object = static_cast<AP13_CHILD*>(GU3_HeapGetEx_MM(record->instance_heap));
  if (object == nullptr) return nullptr;
  object->class_id = kind.class_id;
  AP_OBJECT* owner = outer != nullptr ? outer : reinterpret_cast<AP_OBJECT*>(object);
  object->params = ap13_Create_PARAMS(AP13_CLASS_ID, kind.class_id, owner, reinterpret_cast<uint8_t*>(object) + 6);
  if (object->params == nullptr) {
    GU3_HeapRelease_MM(record->instance_heap, object);
    return nullptr;
  }
  ap120_put(object->params, 0, kind.created_version);
  return object;
}

uint32_t ap12x_destroy(const AP12X_CLASS& kind, AP13_CHILD* object, HWND window) {
  if (object == nullptr) return 0;
  const uint32_t result = ap13_Destroy_PARAMS(object->params, window);
  if (result == AP_DESTROYED) GU3_HeapRelease_MM(apx_class_record(kind.class_id)->instance_heap, object);
  return result;
}

}  // namespace

// ---------------------------------------------------------------------------
// The frame shared with the results class

uint16_t ap12x_InitClass(const AP12X_CLASS& kind) {
  HINSTANCE module = GU4_GetDLLInst(kLibraryModule);
  if (module == nullptr) return 0;
  APX_CLASSREC* record = apx_class_record(kind.class_id);
  record->live = 0;
  record->created = 0;
  record->instance_heap = GU3_MakeCellHeap_MM(kind.cells_per_block, kind.object_bytes + 1, GU3_KIND_GLOBAL,
                                              kind.heap_name);
  if (record->instance_heap == nullptr) return 0;
  GU3_HANDLE block = GU3_Allocate_MM(1, AP13_TableBytes(kind.row_count), GU3_KIND_GLOBAL);
  if (block == nullptr) {
    GU3_Free_MM(record->instance_heap);
    record->instance_heap = nullptr;
    return 0;
  }
  uint16_t offset = 0;
  for (uint16_t row = 0; row < kind.row_count; ++row) {
    kind.rows[row].offset = offset;
    offset = static_cast<uint16_t>(offset + kind.rows[row].size);
  }
  // The block comes zeroed: the reserved word, every limits reference and
  // the closing word stay 0.
  auto* table = static_cast<AP13_PARMTABLE*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  table->row_bytes = kind.table_tag;
  table->data_size = kind.record_bytes;
  table->one = 1;
  table->name_group = kind.name_group;
  table->count = kind.row_count;
  table->rows = kind.rows;
  record->data_block = block;
  record->class_data = table;
  // Only a class whose slot was free takes it; a slot still holding this
  // same dispatcher is the library's own from before it was loaded again.
  const AP_DISPATCHER previous = GU2_SetDispatcher(kind.class_id, module, kind.dispatcher_name);
  if (previous != nullptr && previous != kind.dispatcher) {
    ap12x_TermClass(kind);
    return 0;
  }
  return 1;
}

uint16_t ap12x_TermClass(const AP12X_CLASS& kind) {
  APX_CLASSREC* record = apx_class_record(kind.class_id);
  const uint16_t freed = record->instance_heap != nullptr ? GU3_Free_MM(record->instance_heap) : 0;
  if (record->data_block != nullptr) GU3_Free_MM(record->data_block);
  record->instance_heap = nullptr;
  record->data_block = nullptr;
  record->class_data = nullptr;
  return freed;
}

AP13_CHILD* ap12x_object(const AP12X_CLASS& kind, void* object) {
  if (IsBadReadPtr(object, kind.object_bytes) || ap120_class_id_of(object) != kind.class_id) return nullptr;
  return static_cast<AP13_CHILD*>(object);
}

uint32_t ap12x_BlockSize(uint16_t message) {
  switch (message) {
    case AP_MSG_NEW: return sizeof(AP_NEWPARM);
    case AP_MSG_DESTROY: return sizeof(HWND);
    case AP_MSG_READ: return sizeof(AP_READPARM);
    case AP_MSG_COPY: return sizeof(AP_COPYPARM);
    case GU2_MSG_SET_PARM_VALUE: return sizeof(GU2_PARMVALUE);
    case GU2_MSG_SET_PARM_STR: return sizeof(GU2_PARMSTRSET);
    case AP13_MSG_PARSE_PARM: return sizeof(AP13_PARSEPARM);
    default: return 0;
  }
}

// An object made here for the read is destroyed again when the read fails,
// so that a failed read leaves nothing behind.
AP13_CHILD* ap12x_Read(const AP12X_CLASS& kind, void* object, const AP_READPARM* block) {
  GU2_DoMethod_MSG(AP20_MSG_IS_OPEN, block->file, nullptr);
  AP13_CHILD* target = nullptr;
  if (block->create != 0) {
    if (ap120_class_id_of(object) != kind.class_id) return nullptr;
    target = ap12x_create(kind, nullptr);
    if (target == nullptr) return nullptr;
    if (ap13_Init_PARAMS(target->params, nullptr) == 0) {
      ap12x_destroy(kind, target, nullptr);
      return nullptr;
    }
  } else {
    target = ap12x_object(kind, object);
    if (target == nullptr) return nullptr;
  }
  if (ap13_Read_PARAMS(target->params, block->file, 0) != nullptr) return target;
  if (block->create != 0) ap12x_destroy(kind, target, nullptr);
  return nullptr;
}

uint32_t ap12x_Dispatch(const AP12X_CLASS& kind, void* object, uint16_t message, void* parameter) {
  if (IsBadReadPtr(parameter, ap12x_BlockSize(message))) return 0;
  AP13_CHILD* self = ap12x_object(kind, object);
  switch (message) {
    case AP_MSG_CREATE:
      return ap120_class_id_of(object) == kind.class_id ? ap_object_result(ap12x_create(kind, nullptr)) : 0;
    case AP_MSG_NEW:
      return ap_object_result(ap2_New_OBJ(kind.class_id, static_cast<const AP_NEWPARM*>(parameter)->window));
    // Initialising takes the table's defaults; a new object keeps the
    // version it was made with.
    case AP_MSG_INIT: {
      if (self == nullptr) return 0;
      const uint32_t initialised = AP13_Dispatcher_PARAMS(self->params, message, parameter);
      if (initialised != 0) ap120_put(self->params, 0, kind.created_version);
      return initialised;
    }
    case AP_MSG_DESTROY: return ap12x_destroy(kind, self, static_cast<const AP_WINDOWPARM*>(parameter)->window);
    case AP_MSG_SIZE: return self != nullptr ? ap13_GetSize_PARAMS(self->params) + kind.object_bytes : 0;
    case AP_MSG_CLASS_NAME: return ap2_copy_class_name(static_cast<char*>(parameter), kind.class_name);
    case AP_MSG_READ: return ap_object_result(ap12x_Read(kind, object, static_cast<const AP_READPARM*>(parameter)));
    case AP_MSG_COPY: {
      AP13_CHILD* target = ap12x_object(kind, static_cast<const AP_COPYPARM*>(parameter)->target);
      if (self == nullptr || target == nullptr) return 0;
      return ap13_Copy_PARAMS(self->params, target->params, static_cast<const AP_COPYPARM*>(parameter)->window);
    }
    case GU2_MSG_SET_PARM_VALUE:
    case GU2_MSG_SET_PARM_STR:
    case AP13_MSG_PARSE_PARM:
      if (self == nullptr) return 0;
      ap120_pair_paths(kind, self->params, message, parameter);
      return AP13_Dispatcher_PARAMS(self->params, message, parameter);
    default: return self != nullptr ? AP13_Dispatcher_PARAMS(self->params, message, parameter) : 0;
  }
}

// ---------------------------------------------------------------------------
// The settings class

uint16_t ap120_InitClass_SQ(uint16_t class_id) {
  return class_id == AP120_CLASS_ID ? ap12x_InitClass(kSettingsClass) : 0;
}

uint16_t ap120_TermClass_SQ(uint16_t class_id) {
  return class_id == AP120_CLASS_ID ? ap12x_TermClass(kSettingsClass) : 0;
}

AP120_SQ* ap120_sq(void* object) { return reinterpret_cast<AP120_SQ*>(ap12x_object(kSettingsClass, object)); }

namespace {

uint32_t ap120_block_size(uint16_t message) {
  switch (message) {
    case AP120_MSG_COLLECTION_CHECKS:
    case AP120_MSG_COPY_SETTINGS: return sizeof(AP120_COLLECTIONPARM);
    case AP120_MSG_SPECTRUM_SETTINGS: return sizeof(AP120_SPECTRUMSETTINGSPARM);
    case AP120_MSG_IFG_CHECKS_INT:
    case AP120_MSG_IFG_CHECKS_FLOAT: return sizeof(AP120_IFGPARM);
    case AP120_MSG_SPECTRUM_CHECKS:
    case AP120_MSG_BAND_CHECKS: return sizeof(AP120_SPECTRUMPARM);
    case AP120_MSG_BAND_RATIO_CHECKS: return sizeof(AP120_BANDRATIOPARM);
    case AP120_MSG_ENERGY_CHECK: return sizeof(AP120_ENERGYPARM);
    case AP120_MSG_FILTER_COMPARE: return sizeof(AP120_FILTERPARM);
    default: return 0;
  }
}

}  // namespace

APEXPORT uint32_t AP120_Dispatcher_SQ(void* object, uint16_t message, void* parameter) {
  const uint32_t block_size = ap120_block_size(message);
  if (block_size != 0 && IsBadReadPtr(parameter, block_size)) return 0;
  AP120_SQ* sq = ap120_sq(object);
  switch (message) {
    case AP_MSG_READ: {
      if (IsBadReadPtr(parameter, sizeof(AP_READPARM))) return 0;
      AP13_CHILD* read = ap12x_Read(kSettingsClass, object, static_cast<const AP_READPARM*>(parameter));
      if (read != nullptr) ap120_upgrade(read->params);
      return ap_object_result(read);
    }
    case AP120_MSG_COLLECTION_CHECKS:  return ap120_CollectionChecks(sq, static_cast<const AP120_COLLECTIONPARM*>(parameter));
    case AP120_MSG_COPY_SETTINGS:      return ap120_CopySettings(sq, static_cast<const AP120_COLLECTIONPARM*>(parameter));
    case AP120_MSG_SPECTRUM_SETTINGS:  return ap120_SpectrumSettings(sq, static_cast<const AP120_SPECTRUMSETTINGSPARM*>(parameter));
    case AP120_MSG_IFG_CHECKS_INT:     return ap120_InterferogramChecks(sq, static_cast<const AP120_IFGPARM*>(parameter), false);
    case AP120_MSG_IFG_CHECKS_FLOAT:   return ap120_InterferogramChecks(sq, static_cast<const AP120_IFGPARM*>(parameter), true);
    case AP120_MSG_SPECTRUM_CHECKS:    return ap120_SpectrumChecks(sq, static_cast<const AP120_SPECTRUMPARM*>(parameter));
    case AP120_MSG_BAND_CHECKS:        return ap120_BandChecks(sq, static_cast<const AP120_SPECTRUMPARM*>(parameter));
    case AP120_MSG_BAND_RATIO_CHECKS:  return ap120_BandRatioChecks(sq, static_cast<const AP120_BANDRATIOPARM*>(parameter));
    case AP120_MSG_ENERGY_CHECK:       return ap120_EnergyCheck(sq, static_cast<const AP120_ENERGYPARM*>(parameter));
    case AP120_MSG_FILTER_COMPARE:     return ap120_FilterCompare(static_cast<const AP120_FILTERPARM*>(parameter));
    default:                           return ap12x_Dispatch(kSettingsClass, object, message, parameter);
  }
}
