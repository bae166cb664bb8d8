// The quality-check results class AP121 SQR: the outcome of one check (its
// level, warning, failure and done bits, measured values and scores, and
// copies of the settings' title, description, accessory and path).
//
// The checks (ap120_checks.cpp, ap120_spectrum.cpp) fill it through the bit
// messages and parameter message 41; the report (ap121_report.cpp) reads
// it; the accessory messages answer from the smart-accessory table
// (ap121_accessories.cpp), which class termination frees. The class frame
// is shared with the settings class (ap120.cpp).
#include <cstring>

#include "processing/processing.h"
#include "platform/memory.h"

namespace {

constexpr uint32_t kInstanceCells = 70;

#define AP121_ROW(number, type, size, text) {number, AP13_TYPE_##type, size, AP13_LIMITS_FREE, 0, text}
AP13_PARMENTRY g_rows[AP121_PARM_COUNT] = {
    AP121_ROW(0, WORD, 2, "1"),       AP121_ROW(1, WORD, 2, "0"),       AP121_ROW(2, STRING, 80, ""),
    AP121_ROW(3, STRING, 64, ""),     AP121_ROW(4, STRING, 255, ""),    AP121_ROW(5, WORD, 2, "0"),
    AP121_ROW(6, WORD, 2, "0"),       AP121_ROW(7, STRING, 100, " "),   AP121_ROW(8, DWORD, 4, "0"),
    AP121_ROW(9, DWORD, 4, "0"),      AP121_ROW(10, DWORD, 4, "0"),     AP121_ROW(11, DWORD, 4, "0"),
    AP121_ROW(12, BOOL, 2, "FALSE"),  AP121_ROW(13, SINGLE, 4, "1"),    AP121_ROW(14, SINGLE, 4, "8"),
    AP121_ROW(15, SINGLE, 4, "8"),    AP121_ROW(16, DWORD, 4, "0"),     AP121_ROW(17, DWORD, 4, "0"),
    AP121_ROW(18, DWORD, 4, "0"),     AP121_ROW(19, DWORD, 4, "0"),     AP121_ROW(20, SINGLE, 4, "1"),
    AP121_ROW(21, DWORD, 4, "0"),     AP121_ROW(22, DWORD, 4, "0"),     AP121_ROW(23, SINGLE, 4, "1"),
    AP121_ROW(24, SINGLE, 4, "1"),    AP121_ROW(25, SINGLE, 4, "1"),    AP121_ROW(26, SINGLE, 4, "1"),
    AP121_ROW(27, BOOL, 2, "FALSE"),  AP121_ROW(28, GU3MEMFLOATADDR, 4, "0"), AP121_ROW(29, BOOL, 2, "FALSE"),
    AP121_ROW(30, SINGLE, 4, "0"),    AP121_ROW(31, SINGLE, 4, "5.6"),  AP121_ROW(32, SINGLE, 4, "9.8"),
    AP121_ROW(33, SINGLE, 4, "1"),    AP121_ROW(34, SINGLE, 4, "1"),    AP121_ROW(35, SINGLE, 4, "1"),
    AP121_ROW(36, SINGLE, 4, "1"),    AP121_ROW(37, SINGLE, 4, "1"),    AP121_ROW(38, SINGLE, 4, "1"),
    AP121_ROW(39, SINGLE, 4, "1"),    AP121_ROW(40, SINGLE, 4, "1"),    AP121_ROW(41, DWORD, 4, "0"),
    AP121_ROW(42, DWORD, 4, "0"),     AP121_ROW(43, SINGLE, 4, "1"),    AP121_ROW(44, SINGLE, 4, "1"),
    AP121_ROW(45, SINGLE, 4, "1"),    AP121_ROW(46, SINGLE, 4, "1"),    AP121_ROW(47, SINGLE, 4, "1"),
    AP121_ROW(48, SINGLE, 4, "1"),    AP121_ROW(49, STRING, 260, ""),
};
#undef AP121_ROW

constexpr AP12X_CLASS kResultsClass = {
    AP121_CLASS_ID, "AP121_SQR",       "AP121",         "AP121_Dispatcher_SQR", AP121_Dispatcher_SQR, kInstanceCells,
    AP121_OBJECT_BYTES, AP121_RECORD_BYTES, AP121_TABLE_TAG, AP121_NAME_GROUP, g_rows,
    AP121_PARM_COUNT, 1,               AP121_PATH_SHORT, AP121_PATH_LONG,
};
static_assert(sizeof(AP121_SQR) == AP121_OBJECT_BYTES + 1, "a cell starts every object on an even address");

// The warnings and failure that make a result serious (message 84).
constexpr uint32_t kSeriousFailures = 0x40;
constexpr uint32_t kSeriousWarnings = 0x100 | 0x2000000 | 0x4000000 | 0x20000000 | 0x40000000;

// The word of a pair a bit argument selects: the warning and failure pairs
// interleave (8, 10 and 9, 11), the done words follow each other.
uint16_t ap121_word(uint16_t first, uint32_t bits) {
  if ((bits & AP121_SECOND_WORD) == 0) return first;
  return static_cast<uint16_t>(first == AP121_DONE ? AP121_DONE2 : first + 2);
}
uint32_t* ap121_word_at(const AP121_SQR* result, uint16_t word) {
  return reinterpret_cast<uint32_t*>(ap13_GetValuePtr_PARAMS(result->params, word));
}
uint32_t ap121_load(const AP121_SQR* result, uint16_t word) { return ap13_load<uint32_t>(ap121_word_at(result, word)); }
void ap121_store(AP121_SQR* result, uint16_t word, uint32_t value) {
  std::memcpy(ap121_word_at(result, word), &value, sizeof value);
}

// ORs the mask into the selected word; a warning or failure also raises
// the level, which goes out through the parameter message so that the
// change is told.
uint32_t ap121_set_bits(AP121_SQR* result, uint16_t first, uint32_t bits, uint16_t level) {
  if (result == nullptr) return 0;
  const uint16_t word = ap121_word(first, bits);
  ap121_store(result, word, ap121_load(result, word) | (bits & ~AP121_SECOND_WORD));
  if (level == AP121_PASS) return 1;
  const uint16_t current = ap12x_get<uint16_t>(result->params, AP121_LEVEL);
  uint16_t raised = ap121_RaiseLevel(current, level);
  if (raised != current) GU2_SetParmValue_MSG(result, AP121_LEVEL, &raised);
  return 1;
}

}  // namespace

uint16_t ap121_InitClass_SQR(uint16_t class_id) {
  return class_id == AP121_CLASS_ID ? ap12x_InitClass(kResultsClass) : 0;
}

uint16_t ap121_TermClass_SQR(uint16_t class_id) {
  if (class_id != AP121_CLASS_ID) return 0;
  ap121_FreeAccessories();
  return ap12x_TermClass(kResultsClass);
}

AP121_SQR* ap121_sqr(void* object) { return reinterpret_cast<AP121_SQR*>(ap12x_object(kResultsClass, object)); }

uint16_t ap121_RaiseLevel(uint16_t level, uint16_t raised) {
  if (level == AP121_FAILURE) return AP121_FAILURE;
  if (level == AP121_WARNING) return raised == AP121_FAILURE ? AP121_FAILURE : AP121_WARNING;
  return raised;
}

uint32_t ap121_SetWarnings(AP121_SQR* result, uint32_t bits) {
  return ap121_set_bits(result, AP121_WARNINGS, bits, AP121_WARNING);
}
uint32_t ap121_SetFailures(AP121_SQR* result, uint32_t bits) {
  return ap121_set_bits(result, AP121_FAILURES, bits, AP121_FAILURE);
}
uint32_t ap121_SetDone(AP121_SQR* result, uint32_t bits) { return ap121_set_bits(result, AP121_DONE, bits, AP121_PASS); }

uint32_t ap121_ClearBits(AP121_SQR* result, uint16_t first, uint32_t bits) {
  if (result == nullptr) return 0;
  const uint16_t word = ap121_word(first, bits);
  ap121_store(result, word, ap121_load(result, word) & ~(bits & ~AP121_SECOND_WORD));
  return 1;
}

bool ap121_AnyBit(const AP121_SQR* result, uint16_t first, uint32_t bits) {
  return result != nullptr && (ap121_load(result, ap121_word(first, bits)) & bits & ~AP121_SECOND_WORD) != 0;
}

namespace {

uint32_t ap121_block_size(uint16_t message) {
  switch (message) {
    case AP121_MSG_REPORT: return sizeof(AP121_REPORTPARM);
    case AP121_MSG_HELP_GROUP: return sizeof(AP121_HELPGROUPPARM);
    case AP121_MSG_ACCESSORY_AT: return sizeof(AP121_ENTRYATPARM);
    case AP121_MSG_HAS_NAME:
    case AP121_MSG_MESSAGE_TEXT:
    case AP121_MSG_MESSAGE_HELP: return sizeof(uint16_t);
    case AP121_MSG_COPY_NAME: return sizeof(AP121_COPYNAMEPARM);
    case AP121_MSG_ACCESSORY_BY_ID: return sizeof(AP121_ENTRYBYIDPARM);
    default: return 0;
  }
}

uint32_t ap121_bits_of(void* parameter) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(parameter)); }

}  // namespace

APEXPORT uint32_t AP121_Dispatcher_SQR(void* object, uint16_t message, void* parameter) {
  const uint32_t block_size = ap121_block_size(message);
  if (block_size != 0 && IsBadReadPtr(parameter, block_size)) return 0;
  AP121_SQR* result = ap121_sqr(object);
  const uint32_t bits = ap121_bits_of(parameter);
  switch (message) {
    case AP121_MSG_REPORT: {
      const auto* block = static_cast<const AP121_REPORTPARM*>(parameter);
      return ap121_Report(result, block->text, block->window);
    }
    case AP121_MSG_SET_WARNINGS:      return ap121_SetWarnings(result, bits);
    case AP121_MSG_SET_FAILURES:      return ap121_SetFailures(result, bits);
    case AP121_MSG_HELP_GROUP:        return ap121_HelpGroup(result, static_cast<const AP121_HELPGROUPPARM*>(parameter));
    case AP121_MSG_ACCESSORY_COUNT:   return ap121_AccessoryCount();
    case AP121_MSG_ACCESSORY_AT:      return ap121_AccessoryAt(static_cast<const AP121_ENTRYATPARM*>(parameter));
    case AP121_MSG_SET_DONE:          return ap121_SetDone(result, bits);
    case AP121_MSG_HAS_NAME:          return ap121_HasName(ap13_load<uint16_t>(parameter));
    case AP121_MSG_COPY_NAME:         return ap121_CopyName(static_cast<const AP121_COPYNAMEPARM*>(parameter));
    case AP121_MSG_LOAD_ACCESSORIES:  return ap121_LoadAccessories();
    case AP121_MSG_ACCESSORY_BY_ID:   return ap121_AccessoryById(static_cast<const AP121_ENTRYBYIDPARM*>(parameter));
    case AP121_MSG_CLEAR_WARNINGS:    return ap121_ClearBits(result, AP121_WARNINGS, bits);
    case AP121_MSG_CLEAR_FAILURES:    return ap121_ClearBits(result, AP121_FAILURES, bits);
    case AP121_MSG_CLEAR_DONE:        return ap121_ClearBits(result, AP121_DONE, bits);
    case AP121_MSG_ANY_SERIOUS:
      return ap121_AnyBit(result, AP121_FAILURES, kSeriousFailures) || ap121_AnyBit(result, AP121_WARNINGS, kSeriousWarnings);
    case AP121_MSG_MESSAGE_TEXT:      return ap_object_result(ap121_MessageText(result, ap13_load<int16_t>(parameter)));
    case AP121_MSG_MESSAGE_HELP:      return ap_object_result(ap121_MessageHelp(result, ap13_load<int16_t>(parameter)));
    case AP121_MSG_ANY_WARNING:       return ap121_AnyBit(result, AP121_WARNINGS, bits);
    case AP121_MSG_ANY_FAILURE:       return ap121_AnyBit(result, AP121_FAILURES, bits);
    default:                          return ap12x_Dispatch(kResultsClass, object, message, parameter);
  }
}
