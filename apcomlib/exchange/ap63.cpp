// AP63 VELMARAN_FILE: the format object of the VELMARAN binary spectral
// file, and the frame of messages that every exchange format object shares.
//
// Owns the class's instance heap; an object holds only its owner, the
// spectrum-file object (ap21.cpp) that opened the file, and reads and writes
// through that owner's file part. It tells the format by its version byte,
// reads the new form (a 512-byte header, then subfiles of a 32-byte header
// and the values) into a spectrum or a list of spectra and the old form into
// one spectrum, and writes a spectrum as a new-form file of one subfile.
// Every count and offset of a file is checked against the file's size before
// anything is allocated or read.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "exchange/exchange.h"
#include "platform/memory.h"
#include "util/util.h"

// ---------------------------------------------------------------------------
// The frame

ap63_decimal_point::ap63_decimal_point() : saved_(GUX_GetInternationalChar(GUX_DECIMAL)) {
  GUX_SetInternationalChar('.', GUX_DECIMAL);
}

ap63_decimal_point::~ap63_decimal_point() { GUX_SetInternationalChar(saved_, GUX_DECIMAL); }

AP_OBJECT* ap63_FormatObject(const void* object, uint16_t class_id) { return ap21_FormatOfClass(object, class_id); }

namespace {

// Message 50 names the other file by its format object.
uint32_t ap63_compare(AP_OBJECT* format, const AP20_COMPAREPARM* block) {
  if (format == nullptr || IsBadReadPtr(block, sizeof *block)) return 0;
  AP20_COMPAREPARM forwarded{ap21_FormatFile(block->other), block->position};
  if (forwarded.other == nullptr) return 0;
  return ap20_ToFilePart(ap21_FormatFile(format), AP20_MSG_COMPARE, &forwarded);
}

}  // namespace

uint32_t ap63_FrameMessage(AP_OBJECT* format, uint16_t class_id, const char* class_name,
                           uint16_t message, void* parameter) {
  switch (message) {
    case AP63_MSG_FILE_IS_OPEN: return format != nullptr && ap20_IsOpen(parameter) ? 1 : 0;
    case AP63_MSG_NO_EFFECT:    return format != nullptr ? 1 : 0;
    case AP20_MSG_COMPARE:      return ap63_compare(format, static_cast<const AP20_COMPAREPARM*>(parameter));
    case AP20_MSG_SET_ERROR:    return ap20_ToFilePart(ap21_FormatFile(format), message, parameter);
    case AP20_MSG_REOPEN:
    case AP20_MSG_SPLIT_NAME:   return 0;
    default:                    return ap21_FormatMessage(format, class_id, class_name, message, parameter);
  }
}

// A spectrum read from an exchange file starts from these header values.
void ap63_HeaderDefaults(AP41_HEADERDATA* record) {
  const uint8_t tag[4] = {3, 1, 0, 0};
  std::memcpy(record->tag, tag, sizeof tag);
  record->p1 = 0;
  record->points = 0;
  record->x_units = 0;
  record->y_units = AP63_OTHER_UNITS;
  record->first_x = record->last_x = 0.0f;
  record->title[0] = '\0';
  record->BenchID = 0;
  record->DetectorID = 20000;
  record->BeamSplitterID = 0;
  record->SSP = 0.0f;
  record->ADBits = 0;
  record->HPF = record->LPF = 0.0f;
  record->p16 = record->p17 = record->p18 = record->p19 = 0;
  record->Gain = 1.0f;
  record->NumScanPts = record->FinalPeakPos = 0;
  record->NumScans = 1;
  record->Velocity = record->Aperture = 0.0f;
  record->p26 = record->p27 = record->p28 = 0;
  record->LaserFreq = record->p30 = 0.0f;
  record->NumTransformPts = record->BKNumScans = 0;
  record->BKGain = 1.0f;
  record->ApodID = 0;
  record->p35 = 0.0f;
  record->history[0] = record->history[1] = 0;
  record->Duration = 0;
  record->p38 = record->p39 = 0.0f;
  record->p40 = 0;
  record->p41 = 0.0f;
  record->p42 = 521;
  record->PhaseCorrID = 0;
  record->p44 = 0.0f;
  record->SourceID = record->p46 = record->NumPostPeakPts = 0;
}

// ---------------------------------------------------------------------------
// The VELMARAN class

namespace {

constexpr uint32_t kHeaderBytes = sizeof(AP63_HEADER);
constexpr uint32_t kOldHeaderBytes = sizeof(AP63_OLDHEADER);
constexpr uint32_t kSubHeaderBytes = sizeof(AP63_SUBHEADER);
constexpr char kSourceProgram[] = "TALVO";
// The laser frequency of a Raman spectrum when the bench names none.
constexpr char kBenchSection[] = "CollectDefaults";
constexpr char kLaserKey[] = "RamanLaserFrequency";
constexpr float kDefaultLaser = 9393.642f;
// The longest subfile title before its number is appended.
constexpr size_t kSubfileTitle = 251;
// The label of the Raman intensity unit.
constexpr uint16_t kUnitLabelNumber = 31;
constexpr size_t kUnitLabelLength = 27;

// Unit codes of the spectrum header that the maps name.
constexpr uint32_t kWavenumbers = 1;
constexpr uint32_t kNanometres = 3;
constexpr uint32_t kMicrometres = 4;
constexpr uint32_t kOtherUnits = AP63_OTHER_UNITS;
constexpr uint32_t kRamanShift = 32;
constexpr uint32_t kRamanIntensity = 31;

struct UnitCode {
  uint8_t file;
  uint32_t code;
};
constexpr UnitCode kXUnits[] = {{1, kWavenumbers}, {2, kMicrometres}, {3, kNanometres}, {13, kRamanShift}};
constexpr UnitCode kYUnits[] = {{2, 17}, {128, 16}, {129, 21}, {3, 20}, {5, AP41_YUNITS_INTERFEROGRAM}, {10, 12}};
constexpr uint8_t kRamanYType = 0;

uint32_t ap63_code_of(const UnitCode* map, size_t count, uint8_t file_type) {
  for (size_t i = 0; i < count; ++i) {
    if (map[i].file == file_type) return map[i].code;
  }
  return kOtherUnits;
}

uint8_t ap63_type_of(const UnitCode* map, size_t count, uint32_t code) {
  for (size_t i = 0; i < count; ++i) {
    if (map[i].code == code) return map[i].file;
  }
  return 0;
}

// The Raman intensity has no type of its own: the writer marks it with the
// axis-label flag, and so it is read back.
uint32_t ap63_y_code(uint8_t y_type, uint8_t flags) {
  if (y_type == kRamanYType && (flags & AP63_FLAG_AXIS_LABELS) != 0) return kRamanIntensity;
  return ap63_code_of(kYUnits, std::size(kYUnits), y_type);
}

// The X codes whose values the file holds from the larger X down.
bool ap63_descending_code(uint32_t x_code) {
  return x_code == kWavenumbers || x_code == kNanometres || x_code == kMicrometres || x_code == kRamanShift;
}

AP20_FILE* ap63_file(AP_OBJECT* format) { return ap21_FormatFile(format); }

uint16_t ap63_refuse(AP20_FILE* file, uint16_t code) {
  ap20_SetFileError(file, code);
  return 0;
}

// What a file tells about its spectra, from either form of header.
struct Layout {
  uint8_t version = 0;
  uint8_t flags = 0;
  int32_t exponent = 0;
  uint32_t points = 0;
  uint32_t subfiles = 1;
  uint32_t first_value = 0;  // offset of subfile 0's values
  uint64_t stride = 0;       // from one subfile's values to the next one's
  float first_x = 0;
  float last_x = 0;
  uint8_t x_type = 0;
  uint8_t y_type = 0;
  GU4_TIME time = 0;
  uint32_t scans = 1;
  char comment[AP63_COMMENT_SIZE + 1] = {};
};

// The broken-down local time as a stored time; 0 for a date that was not
// recorded.
GU4_TIME ap63_stored_time(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute) {
  if (year == 0 && month == 0 && day == 0) return 0;
  GU4_TM tm{};
  tm.tm_min = minute;
  tm.tm_hour = hour;
  tm.tm_mday = day;
  tm.tm_mon = month - 1;
  tm.tm_year = year;
  tm.tm_isdst = -1;
  return GU4_tm2Time(&tm);
}

// The counts must fit the file: the values of every subfile lie inside it.
// Sizes are reckoned in 64 bits, so no count can wrap them.
uint16_t ap63_check_counts(AP20_FILE* file, const Layout& layout, uint32_t file_size) {
  if (layout.points == 0 || layout.subfiles == 0 || !std::isfinite(layout.first_x) || !std::isfinite(layout.last_x))
    return ap63_refuse(file, AP20_ERROR_DAMAGED);
  const uint64_t values = uint64_t{layout.points} * sizeof(float);
  const uint64_t end = layout.first_value + (uint64_t{layout.subfiles} - 1) * layout.stride + values;
  if (values > file_size || uint64_t{layout.subfiles} - 1 > file_size / layout.stride || end > file_size)
    return ap63_refuse(file, AP20_ERROR_SHORT_FILE);
  return 1;
}

uint16_t ap63_layout_new(AP20_FILE* file, Layout* layout) {
  AP63_HEADER header;
  if (!ap20_ReadAt(file, 0, &header, sizeof header)) return 0;
  layout->flags = header.flags;
  layout->exponent = header.exponent;
  layout->points = header.points;
  layout->subfiles = header.subfiles;
  layout->first_value = kHeaderBytes + kSubHeaderBytes;
  layout->stride = kSubHeaderBytes + uint64_t{header.points} * sizeof(float);
  layout->first_x = static_cast<float>(header.first_x);
  layout->last_x = static_cast<float>(header.last_x);
  layout->x_type = header.x_type;
  layout->y_type = header.y_type;
  const uint32_t date = header.date;
  const int32_t year = static_cast<int32_t>(date >> 20);
  layout->time = ap63_stored_time(year > 1900 ? year - 1900 : year, (date >> 16) & 0xF, (date >> 11) & 0x1F,
                                  (date >> 6) & 0x1F, date & 0x3F);
  std::memcpy(layout->comment, header.comment, AP63_COMMENT_SIZE);
  return 1;
}

uint16_t ap63_layout_old(AP20_FILE* file, Layout* layout) {
  AP63_OLDHEADER header;
  if (!ap20_ReadAt(file, 0, &header, sizeof header)) return 0;
  // A count that is no whole number of points, or none, is not one.
  if (!(header.points >= 1.0f && header.points < 4294967296.0f)) return ap63_refuse(file, AP20_ERROR_DAMAGED);
  layout->flags = header.flags;
  layout->exponent = header.exponent;
  layout->points = static_cast<uint32_t>(header.points);
  layout->subfiles = 1;
  layout->first_value = kOldHeaderBytes;
  layout->stride = uint64_t{layout->points} * sizeof(float);
  layout->first_x = header.first_x;
  layout->last_x = header.last_x;
  layout->x_type = header.x_type;
  layout->y_type = header.y_type;
  layout->scans = header.scans;
  layout->time = ap63_stored_time(header.year, header.month, header.day, header.hour - 1, header.minute);
  std::memcpy(layout->comment, header.comment, AP63_COMMENT_SIZE);
  return 1;
}

// The title of subfile `index` of `count`: the comment, a blank when there
// is one, and the number, at least three digits.
void ap63_subfile_title(const char* comment, uint32_t index, uint32_t count, char* title) {
  if (count <= 1) {
    capobj_StrCopyN(comment, title, sizeof(AP41_HEADERDATA::title));
    return;
  }
  char number[16];
  const int digits = std::snprintf(number, sizeof number, "%03u", index + 1);
  const size_t room = sizeof(AP41_HEADERDATA::title) - 1 - 1 - static_cast<size_t>(digits);
  const size_t kept = std::min({std::strlen(comment), kSubfileTitle, room});
  std::snprintf(title, sizeof(AP41_HEADERDATA::title), "%.*s%s%s", static_cast<int>(kept), comment,
                comment[0] != '\0' ? " " : "", number);
}

float ap63_value(uint32_t stored, int32_t exponent, bool halves_swapped) {
  if (halves_swapped) stored = stored << 16 | stored >> 16;
  if (exponent == AP63_FLOAT_VALUES) {
    float value;
    std::memcpy(&value, &stored, sizeof value);
    return value;
  }
  return static_cast<float>(std::ldexp(static_cast<double>(static_cast<int32_t>(stored)), exponent - 32));
}

// The values of one subfile as a block of floats, from the smaller X up.
GU3_HANDLE ap63_read_values(AP20_FILE* file, const Layout& layout, uint32_t index, int32_t exponent) {
  GU3_HANDLE block = GU3_Allocate_MM(layout.points, sizeof(float), GU3_KIND_GLOBAL);
  auto* values = static_cast<uint32_t*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  const uint64_t offset = layout.first_value + uint64_t{index} * layout.stride;
  if (values == nullptr || !ap20_ReadAt(file, static_cast<uint32_t>(offset), values, layout.points * sizeof(float))) {
    GU3_Free_MM(block);
    return nullptr;
  }
  const bool swapped = layout.version == AP63_VERSION_OLD;
  auto* floats = reinterpret_cast<float*>(values);
  for (uint32_t i = 0; i < layout.points; ++i) floats[i] = ap63_value(values[i], exponent, swapped);
  if (layout.first_x > layout.last_x) std::reverse(floats, floats + layout.points);
  return block;
}

// One spectrum of the file, or null.
AP7_SPECTRUM* ap63_read_subfile(AP20_FILE* file, const Layout& layout, uint32_t index) {
  AP7_SPECTRUM* spectrum = ap7a_NewInit(AP7_CLASS_ID, 0, nullptr);
  AP41_HEADERDATA* record = ap7a_record(spectrum);
  if (record == nullptr || ap7d_GetCommentObject(spectrum) == nullptr) {
    if (spectrum != nullptr) ap7a_Delete(spectrum, nullptr);
    return nullptr;
  }
  ap63_HeaderDefaults(record);
  int32_t exponent = layout.exponent;
  record->x_units = ap63_code_of(kXUnits, std::size(kXUnits), layout.x_type);
  record->y_units = ap63_y_code(layout.y_type, layout.flags);
  record->time = layout.time;
  record->NumScans = layout.scans;
  ap63_subfile_title(layout.comment, index, layout.subfiles, record->title);
  if (layout.version == AP63_VERSION_NEW) {
    if (layout.first_x < 0.0f || layout.last_x < 0.0f) {
      record->x_units = kRamanShift;
      record->y_units = kRamanIntensity;
      float laser = kDefaultLaser;
      GU9_BenchGetKeyFloat(kBenchSection, kLaserKey, kDefaultLaser, &laser);
      record->p44 = std::max({laser, layout.first_x, layout.last_x});
    }
    AP63_SUBHEADER subheader;
    if (layout.subfiles > 1 &&
        ap20_ReadAt(file, static_cast<uint32_t>(layout.first_value + index * layout.stride - kSubHeaderBytes),
                    &subheader, sizeof subheader))
      exponent = subheader.exponent;
  }
  GU3_HANDLE block = ap63_read_values(file, layout, index, exponent);
  const float low = std::min(layout.first_x, layout.last_x);
  const float high = std::max(layout.first_x, layout.last_x);
  if (block == nullptr || !ap7b_SetDataHandle(spectrum, low, high, layout.points, block)) {
    GU3_Free_MM(block);
    ap7a_Delete(spectrum, nullptr);
    return nullptr;
  }
  ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), AP41_HISTORY_FROM_JCAMP);
  return spectrum;
}

}  // namespace

uint16_t ap63_FormatTest(AP_OBJECT* format) {
  uint8_t start[2];
  AP20_FILE* file = ap63_file(format);
  if (file == nullptr || !ap20_Seek(file, 0, FILE_BEGIN) || ap20_Read(file, start, sizeof start) != sizeof start)
    return 0;
  if (start[1] != AP63_VERSION_NEW && start[1] != AP63_VERSION_OLD) return 0;
  return (start[0] & AP63_FLAG_REFUSED) != 0 ? 0 : 1;
}

// A file of one subfile reads as a spectrum, one of several as a list of
// spectra in their order; any subfile that fails fails the whole read.
AP_OBJECT* ap63_Read(AP_OBJECT* format) {
  AP20_FILE* file = ap63_file(format);
  if (file == nullptr) return nullptr;
  ap63_decimal_point decimal_point;
  const uint32_t file_size = ap20_GetFileSize(file);
  uint8_t start[2];
  if (file_size == 0xFFFFFFFF || !ap20_ReadAt(file, 0, start, sizeof start)) return nullptr;
  const uint8_t version = start[1];
  Layout layout;
  if (version == AP63_VERSION_NEW) {
    if (!ap63_layout_new(file, &layout)) return nullptr;
  } else if (version == AP63_VERSION_OLD) {
    if (!ap63_layout_old(file, &layout)) return nullptr;
  } else {
    ap63_refuse(file, AP20_ERROR_NOT_NATIVE);
    return nullptr;
  }
  layout.version = version;
  if (!ap63_check_counts(file, layout, file_size)) return nullptr;
  if (layout.subfiles == 1) return reinterpret_cast<AP_OBJECT*>(ap63_read_subfile(file, layout, 0));
  AP40_LLIST* list = ap40_New_LLIST(nullptr, AP40_NO_KEY);
  if (list == nullptr) return nullptr;
  for (uint32_t index = 0; index < layout.subfiles; ++index) {
    AP7_SPECTRUM* spectrum = ap63_read_subfile(file, layout, index);
    if (spectrum == nullptr || ap40_Add_LLIST(list, reinterpret_cast<AP_OBJECT*>(spectrum)) == AP40_NO_INDEX) {
      if (spectrum != nullptr) ap7a_Delete(spectrum, nullptr);
      ap40_Destroy_LLIST(list, nullptr, 1);
      return nullptr;
    }
  }
  return &list->head;
}

// The comment of either form, cut at its field's end.
uint16_t ap63_GetComment(AP_OBJECT* format, char* buffer) {
  AP20_FILE* file = ap63_file(format);
  uint8_t start[2];
  if (file == nullptr || IsBadWritePtr(buffer, AP63_COMMENT_SIZE + 1) || !ap20_ReadAt(file, 0, start, sizeof start))
    return 0;
  uint32_t offset = 0;
  if (start[1] == AP63_VERSION_NEW) {
    offset = offsetof(AP63_HEADER, comment);
  } else if (start[1] == AP63_VERSION_OLD) {
    offset = offsetof(AP63_OLDHEADER, comment);
  } else {
    return 0;
  }
  char comment[AP63_COMMENT_SIZE + 1] = {};
  if (!ap20_ReadAt(file, offset, comment, AP63_COMMENT_SIZE)) return 0;
  std::memcpy(buffer, comment, std::strlen(comment) + 1);
  return 1;
}

// ---------------------------------------------------------------------------
// Write

namespace {

// The exponent at which the largest magnitude of the spectrum, scaled by
// 2^(32 - exponent), fits a signed 32-bit integer. A magnitude that no
// exponent up to 32 holds, or an infinite one, is written as floats
// instead, so that no value wraps and no halving runs without end. A
// spectrum without present values is written at exponent 0.
uint16_t ap63_exponent(AP7_SPECTRUM* spectrum, int8_t* exponent) {
  float minimum = 0;
  float maximum = 0;
  if (!ap7a_MinMax(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, &minimum, &maximum)) return 0;
  *exponent = 0;
  if (std::isnan(minimum) || std::isnan(maximum)) return 1;
  float magnitude = std::max(std::fabs(minimum), maximum);
  if (std::isinf(magnitude)) {
    *exponent = AP63_FLOAT_VALUES;
    return 1;
  }
  int32_t e = 0;
  while (magnitude > 0.5f || AP1_KovFloatCompareSG_MATH(magnitude, 0.5f)) {
    if (++e > 32) {
      *exponent = AP63_FLOAT_VALUES;
      return 1;
    }
    magnitude /= 2.0f;
  }
  *exponent = static_cast<int8_t>(e);
  return 1;
}

// trunc(y × scale); the exponent keeps it inside 32 bits, and a value
// that is not held anyway saturates instead of wrapping.
int32_t ap63_scaled(float y, float scale) {
  const double scaled = std::trunc(static_cast<double>(y) * scale);
  if (!(scaled > INT32_MIN)) return INT32_MIN;
  return scaled < INT32_MAX ? static_cast<int32_t>(scaled) : INT32_MAX;
}

// The packed date of a stored time, 0 when the spectrum has none.
uint32_t ap63_packed_date(GU4_TIME time) {
  if (time == 0) return 0;
  const GU4_CALTIME calendar = GU4_Timeout(time);
  const GU4_TM* tm = GU4_localtime(&calendar);
  if (tm == nullptr) return 0;
  const uint32_t year = static_cast<uint32_t>(tm->tm_year + 1900);
  const uint32_t month = static_cast<uint32_t>(tm->tm_mon + 1);
  return ((year * 16 + month) << 16) +
         (static_cast<uint32_t>(tm->tm_mday) * 32 + static_cast<uint32_t>(tm->tm_hour)) * 64 +
         static_cast<uint32_t>(tm->tm_min);
}

// The Y values with every run of missing ones filled from its neighbours;
// null when the spectrum's data do not hold its points.
GU3_HANDLE ap63_filled_values(AP7_SPECTRUM* spectrum, uint32_t points) {
  if (spectrum->data == nullptr || spectrum->data->columns < points) return nullptr;
  GU3_HANDLE block = ap4a_CopyDataOut(spectrum->data);
  auto* y = static_cast<float*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  if (y == nullptr) {
    GU3_Free_MM(block);
    return nullptr;
  }
  uint32_t i = 0;
  while (i < points) {
    if (!std::isnan(y[i])) {
      ++i;
      continue;
    }
    uint32_t end = i;
    while (end < points && std::isnan(y[end])) ++end;
    const bool before = i > 0;
    const bool after = end < points;
    const float low = before ? y[i - 1] : 0.0f;
    const float high = after ? y[end] : 0.0f;
    const uint32_t run = end - i;
    for (uint32_t k = 1; k <= run; ++k) {
      float& value = y[i + k - 1];
      if (before && after) {
        value = low + static_cast<float>(k) * (high - low) / static_cast<float>(run + 1);
      } else {
        value = before ? low : high;
      }
    }
    i = end;
  }
  return block;
}

}  // namespace

uint16_t ap63_WriteHeader(AP_OBJECT* format, AP_OBJECT* spectrum_object) {
  AP20_FILE* file = ap63_file(format);
  AP7_SPECTRUM* spectrum = ap7a_spectrum(spectrum_object);
  const AP41_HEADERDATA* record = ap7a_record(spectrum);
  if (file == nullptr || record == nullptr) return 0;
  AP63_HEADER header{};
  header.version = AP63_VERSION_NEW;
  header.subfiles = 1;
  header.points = record->points;
  header.first_x = record->first_x;
  header.last_x = record->last_x;
  std::memcpy(header.source, kSourceProgram, sizeof kSourceProgram);
  header.x_type = record->x_units == kRamanShift ? 13 : ap63_type_of(kXUnits, std::size(kXUnits), record->x_units);
  header.y_type = ap63_type_of(kYUnits, std::size(kYUnits), record->y_units);
  if (record->y_units == kRamanIntensity) {
    header.flags = AP63_FLAG_AXIS_LABELS;
    const char* label = GU4_GetAssocString(AP41_GROUP_UNITS, kUnitLabelNumber, nullptr, nullptr);
    if (label != nullptr) capobj_StrCopyN(label, header.labels + 1, kUnitLabelLength + 1);
  }
  header.date = ap63_packed_date(record->time);
  if (!ap63_exponent(spectrum, &header.exponent)) return 0;
  capobj_StrCopyN(record->title, header.comment, AP63_COMMENT_SIZE);
  if (ap63_descending_code(record->x_units)) {
    header.first_x = record->last_x;
    header.last_x = record->first_x;
  }
  const AP63_SUBHEADER subheader{};
  return ap20_Write(file, &header, sizeof header) == sizeof header &&
                 ap20_Write(file, &subheader, sizeof subheader) == sizeof subheader
             ? 1
             : 0;
}

uint16_t ap63_WriteData(AP_OBJECT* format, AP_OBJECT* spectrum_object) {
  AP20_FILE* file = ap63_file(format);
  AP7_SPECTRUM* spectrum = ap7a_spectrum(spectrum_object);
  const AP41_HEADERDATA* record = ap7a_record(spectrum);
  int8_t exponent = 0;
  if (file == nullptr || record == nullptr || !ap63_exponent(spectrum, &exponent)) return 0;
  const uint32_t points = record->points;
  GU3_HANDLE block = ap63_filled_values(spectrum, points);
  auto* y = static_cast<float*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  if (y == nullptr) return 0;
  auto* stored = reinterpret_cast<uint32_t*>(y);
  if (exponent != AP63_FLOAT_VALUES) {
    float scale = 1.0f;
    for (int32_t doubling = 0; doubling < 32 - exponent; ++doubling) scale *= 2.0f;
    for (uint32_t i = 0; i < points; ++i) stored[i] = static_cast<uint32_t>(ap63_scaled(y[i], scale));
  }
  if (ap63_descending_code(record->x_units)) std::reverse(stored, stored + points);
  const uint32_t bytes = points * sizeof(float);
  const bool written = ap20_Write(file, stored, bytes) == bytes;
  GU3_Free_MM(block);
  return written ? 1 : 0;
}

uint16_t ap63_Write(AP_OBJECT* format, AP_OBJECT* spectrum) {
  AP20_FILE* file = ap63_file(format);
  if (file == nullptr || ap7a_spectrum(spectrum) == nullptr) return 0;
  ap63_decimal_point decimal_point;
  return ap20_Seek(file, 0, FILE_BEGIN) && ap63_WriteHeader(format, spectrum) && ap63_WriteData(format, spectrum)
             ? 1
             : 0;
}

// ---------------------------------------------------------------------------
// Class initialisation, termination and dispatcher

uint16_t ap63_InitClass(uint16_t class_id) {
  if (class_id != AP63_CLASS_ID) return 0;
  return apx_InitInstanceHeap(class_id, AP21_FORMAT_CELLS_PER_BLOCK, AP21_FORMAT_CELL_BYTES, "AP63");
}

uint16_t ap63_TermClass(uint16_t class_id) {
  if (class_id != AP63_CLASS_ID) return 0;
  return apx_FreeInstanceHeap(class_id);
}

APEXPORT uint32_t AP63_Dispatcher_VELMARAN(void* object, uint16_t message, void* parameter) {
  const bool to_class = message == AP_MSG_CREATE || message == AP_MSG_NEW;
  AP_OBJECT* format = to_class ? nullptr : ap63_FormatObject(object, AP63_CLASS_ID);
  const auto* header = static_cast<const AP63_HEADERPARM*>(parameter);
  switch (message) {
    case AP21_FORMAT_TEST:       return ap63_FormatTest(format);
    case AP21_FORMAT_READ:       return ap_object_result(ap63_Read(format));
    case AP21_FORMAT_WRITE:      return ap63_Write(format, static_cast<AP_OBJECT*>(parameter));
    case AP63_MSG_COMMENT:       return ap63_GetComment(format, static_cast<char*>(parameter));
    case AP63_MSG_WRITE_HEADER:  return IsBadReadPtr(header, sizeof *header) ? 0 : ap63_WriteHeader(format, header->spectrum);
    case AP63_MSG_WRITE_DATA:    return ap63_WriteData(format, static_cast<AP_OBJECT*>(parameter));
    default:                     return ap63_FrameMessage(format, AP63_CLASS_ID, AP63_CLASS_NAME, message, parameter);
  }
}
