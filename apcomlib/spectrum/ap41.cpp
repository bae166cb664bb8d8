// The spectral header class AP41 SPECTRALHEADER.
//
// Every spectrum owns one header: the 1194-byte record of its point count,
// units, X limits, title, collection settings, history bits and texts. The
// class owns the header's 59-row parameter table and the cell heap of its
// objects; it creates, destroys, sizes, names, reads, writes and copies
// headers, gets a parameter (the title cut for its callers) and builds the
// description text of a collection. Every other parameter message goes to
// the parameter-table class AP13 PARAMS, which the header stands on. The
// spectrum class, the native file layer and the converter's header wrappers
// send it messages; the class registration installs it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "array/array.h"
#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"
#include "util/util.h"

namespace {

constexpr uint32_t kInstanceCells = 50;
constexpr char kClassName[] = "AP41_SPECTRALHEADER";
// Callers of the title's value give 64 bytes for it.
constexpr size_t kTitleShown = 63;
// Widths and decimals of the collection values in the description text.
struct TextForm {
  uint16_t width;
  uint16_t precision;
};
constexpr TextForm kGainForm{9, 3};
constexpr TextForm kVelocityForm{8, 4};
constexpr TextForm kApertureForm{7, 2};
constexpr uint16_t kFreeForm = 0xFFFF;
constexpr char kLineEnd[] = "\r\n";

// Labels of the description text: entries of association group 4100.
enum DescribeLabel : uint16_t {
  kLabelScans = 0,
  kLabelBackgroundScans = 1,
  kLabelResolution = 2,
  kLabelGain = 3,
  kLabelVelocity = 4,
  kLabelAperture = 5,
  kLabelDetector = 6,
  kLabelBeamSplitter = 7,
  kLabelSource = 9,
};

// Limits records, packed, in the width of their row's type.
#pragma pack(push, 2)
struct U32Step {
  uint32_t min, max, step;
};
struct F32Step {
  float min, max, step;
};
template <typename T, uint16_t N>
struct ValueList {
  uint16_t n;
  T values[N];
};
struct Choice {
  int16_t group;
};
#pragma pack(pop)

constexpr U32Step kPointsLimits{1, 500000, 1};
constexpr U32Step kScansLimits{0, 65536, 1};
constexpr F32Step kApertureLimits{0.0f, 100.0f, 1.0f};
constexpr ValueList<uint32_t, 5> kDetectorList{5, {1, 2, 3, 4, 0}};
constexpr ValueList<float, 5> kSspList{5, {0.123f, 2.0f, 5.156f, 0.123f, 0.0f}};
constexpr ValueList<uint32_t, 3> kAdBitsList{3, {16, 18, 20}};
constexpr ValueList<float, 5> kHpfList{5, {50.0f, 95.0f, 105.0f, 120.0f, 150.0f}};
constexpr ValueList<float, 5> kLpfList{5, {5.0f, 10.0f, 15.0f, 17.0f, 30.0f}};
constexpr ValueList<float, 5> kGainList{5, {0.0f, 2.0f, 5.156f, 10.123f, 0.0f}};
constexpr ValueList<uint32_t, 16> kTransformList{
    16, {64, 128, 512, 1024, 2048, 4096, 8192, 16384, 32768, 65536, 131072, 262144, 524288, 1048576, 2097152, 4194304}};
constexpr Choice kUnitsChoice{AP41_GROUP_UNITS};
constexpr Choice kBenchChoice{AP41_GROUP_BENCHES};
constexpr Choice kApodizationChoice{AP41_GROUP_APODIZATIONS};
constexpr Choice kPhaseCorrectionChoice{AP41_GROUP_PHASE_CORRECTIONS};
constexpr Choice kSourceChoice{AP41_GROUP_SOURCES};

// The raw defaults of the two byte rows.
constexpr char kRecordTag[4] = {3, 1, 0, 0};
constexpr char kNoHistory[8] = {};

// A row over a field of the record: its size and offset are the field's.
#define AP41_ROW(number, type, field, limits, default_text)                                                       \
  AP13_PARMENTRY {                                                                                               \
    number, type, sizeof(AP41_HEADERDATA::field), limits, offsetof(AP41_HEADERDATA, field), default_text          \
  }

constexpr AP13_PARMENTRY kRows[AP41_PARM_COUNT] = {
    AP41_ROW(AP41_RECORDTAG, AP13_TYPE_CARRAY, tag, AP13_LIMITS_NONE, kRecordTag),
    AP41_ROW(AP41_P1, AP13_TYPE_DWORD, p1, AP13_LIMITS_FREE, "1024"),
    AP41_ROW(AP41_TIME, AP13_TYPE_DWORD, time, AP13_LIMITS_FREE, "0"),
    AP41_ROW(AP41_POINTS, AP13_TYPE_DWORD, points, AP13_LIMITS_STEP, "768"),
    AP41_ROW(AP41_XUNITS, AP13_TYPE_DWORD, x_units, AP13_LIMITS_CHOICE, "1"),
    AP41_ROW(AP41_YUNITS, AP13_TYPE_DWORD, y_units, AP13_LIMITS_CHOICE, "16"),
    AP41_ROW(AP41_FIRSTX, AP13_TYPE_SINGLE, first_x, AP13_LIMITS_FREE, "0.0"),
    AP41_ROW(AP41_LASTX, AP13_TYPE_SINGLE, last_x, AP13_LIMITS_FREE, "0.0"),
    AP41_ROW(AP41_TITLE, AP13_TYPE_STRING, title, AP13_LIMITS_FREE, " "),
    AP41_ROW(AP41_BENCHID, AP13_TYPE_DWORD, BenchID, AP13_LIMITS_CHOICE, "30"),
    // The detector's list is kept, but its values are not restricted.
    AP41_ROW(AP41_DETECTORID, AP13_TYPE_DWORD, DetectorID, AP13_LIMITS_FREE, "0"),
    AP41_ROW(AP41_BEAMSPLITTERID, AP13_TYPE_DWORD, BeamSplitterID, AP13_LIMITS_FREE, "0"),
    AP41_ROW(AP41_SSP, AP13_TYPE_SINGLE, SSP, AP13_LIMITS_LIST, "2.0"),
    AP41_ROW(AP41_ADBITS, AP13_TYPE_DWORD, ADBits, AP13_LIMITS_LIST, "18"),
    AP41_ROW(AP41_HPF, AP13_TYPE_SINGLE, HPF, AP13_LIMITS_LIST, "120.0"),
    AP41_ROW(AP41_LPF, AP13_TYPE_SINGLE, LPF, AP13_LIMITS_LIST, "17.0"),
    AP41_ROW(AP41_P16, AP13_TYPE_DWORD, p16, AP13_LIMITS_FREE, "0"),
    AP41_ROW(AP41_P17, AP13_TYPE_DWORD, p17, AP13_LIMITS_FREE, "0"),
    AP41_ROW(AP41_P18, AP13_TYPE_DWORD, p18, AP13_LIMITS_FREE, "0"),
    AP41_ROW(AP41_P19, AP13_TYPE_DWORD, p19, AP13_LIMITS_FREE, "0"),
    AP41_ROW(AP41_GAIN, AP13_TYPE_SINGLE, Gain, AP13_LIMITS_LIST, "0.0"),
    AP41_ROW(AP41_NUMSCANPTS, AP13_TYPE_DWORD, NumScanPts, AP13_LIMITS_FREE, "0"),
    AP41_ROW(AP41_FINALPEAKPOS, AP13_TYPE_DWORD, FinalPeakPos, AP13_LIMITS_FREE, "0"),
    AP41_ROW(AP41_NUMSCANS, AP13_TYPE_DWORD, NumScans, AP13_LIMITS_STEP, "64"),
    AP41_ROW(AP41_VELOCITY, AP13_TYPE_SINGLE, Velocity, AP13_LIMITS_FREE, "0.6329"),
    AP41_ROW(AP41_APERTURE, AP13_TYPE_SINGLE, Aperture, AP13_LIMITS_STEP, "25.0"),
    AP41_ROW(AP41_P26, AP13_TYPE_DWORD, p26, AP13_LIMITS_FREE, "0"),
    AP41_ROW(AP41_P27, AP13_TYPE_DWORD, p27, AP13_LIMITS_FREE, "0"),
    AP41_ROW(AP41_P28, AP13_TYPE_DWORD, p28, AP13_LIMITS_FREE, "0"),
    AP41_ROW(AP41_LASERFREQ, AP13_TYPE_SINGLE, LaserFreq, AP13_LIMITS_NONE, "15798.0"),
    AP41_ROW(AP41_P30, AP13_TYPE_SINGLE, p30, AP13_LIMITS_FREE, "0.0"),
    AP41_ROW(AP41_NUMTRANSFORMPTS, AP13_TYPE_DWORD, NumTransformPts, AP13_LIMITS_LIST, "8192"),
    AP41_ROW(AP41_BKNUMSCANS, AP13_TYPE_DWORD, BKNumScans, AP13_LIMITS_FREE, "0"),
    AP41_ROW(AP41_BKGAIN, AP13_TYPE_SINGLE, BKGain, AP13_LIMITS_FREE, "0.0"),
    AP41_ROW(AP41_APODID, AP13_TYPE_DWORD, ApodID, AP13_LIMITS_CHOICE, "0"),
    AP41_ROW(AP41_P35, AP13_TYPE_SINGLE, p35, AP13_LIMITS_FREE, "0.0"),
    AP41_ROW(AP41_HISTORYFLAGS, AP13_TYPE_CARRAY, history, AP13_LIMITS_FREE, kNoHistory),
    AP41_ROW(AP41_DURATION, AP13_TYPE_DWORD, Duration, AP13_LIMITS_FREE, "0"),
    AP41_ROW(AP41_P38, AP13_TYPE_SINGLE, p38, AP13_LIMITS_FREE, "0.0"),
    AP41_ROW(AP41_P39, AP13_TYPE_SINGLE, p39, AP13_LIMITS_FREE, "0.0"),
    AP41_ROW(AP41_P40, AP13_TYPE_DWORD, p40, AP13_LIMITS_FREE, "0"),
    AP41_ROW(AP41_P41, AP13_TYPE_SINGLE, p41, AP13_LIMITS_FREE, "0.0"),
    AP41_ROW(AP41_P42, AP13_TYPE_WORD, p42, AP13_LIMITS_FREE, "0"),
    AP41_ROW(AP41_PHASECORRID, AP13_TYPE_DWORD, PhaseCorrID, AP13_LIMITS_CHOICE, "0"),
    AP41_ROW(AP41_P44, AP13_TYPE_SINGLE, p44, AP13_LIMITS_FREE, "0.0"),
    AP41_ROW(AP41_SOURCEID, AP13_TYPE_DWORD, SourceID, AP13_LIMITS_CHOICE, "0"),
    AP41_ROW(AP41_P46, AP13_TYPE_DWORD, p46, AP13_LIMITS_FREE, "0"),
    AP41_ROW(AP41_NUMPOSTPEAKPTS, AP13_TYPE_DWORD, NumPostPeakPts, AP13_LIMITS_FREE, "0"),
    AP41_ROW(AP41_P48, AP13_TYPE_DWORD, p48, AP13_LIMITS_FREE, "0"),
    AP41_ROW(AP41_P49, AP13_TYPE_STRING, p49, AP13_LIMITS_FREE, " "),
    AP41_ROW(AP41_P50, AP13_TYPE_STRING, p50, AP13_LIMITS_FREE, " "),
    AP41_ROW(AP41_P51, AP13_TYPE_STRING, p51, AP13_LIMITS_FREE, ""),
    AP41_ROW(AP41_P52, AP13_TYPE_STRING, p52, AP13_LIMITS_FREE, ""),
    AP41_ROW(AP41_P53, AP13_TYPE_STRING, p53, AP13_LIMITS_FREE, ""),
    AP41_ROW(AP41_P54, AP13_TYPE_STRING, p54, AP13_LIMITS_FREE, ""),
    AP41_ROW(AP41_BADSCANS, AP13_TYPE_DWORD, BadScans, AP13_LIMITS_FREE, "4294967295"),
    AP41_ROW(AP41_COLLECTERRORMAP, AP13_TYPE_DWORD, CollectErrorMap, AP13_LIMITS_FREE, "4294967295"),
    AP41_ROW(AP41_BKBADSCANS, AP13_TYPE_DWORD, BKBadScans, AP13_LIMITS_FREE, "4294967295"),
    AP41_ROW(AP41_BKCOLLECTERRORMAP, AP13_TYPE_DWORD, BKCollectErrorMap, AP13_LIMITS_FREE, "4294967295"),
};
#undef AP41_ROW

// The rows lie in number order, each offset the running sum of the sizes
// before it, and together they fill the record.
constexpr bool ap41_rows_fill_the_record() {
  uint32_t offset = 0;
  for (uint16_t number = 0; number < AP41_PARM_COUNT; ++number) {
    if (kRows[number].number != number || kRows[number].offset != offset) return false;
    offset += kRows[number].size;
  }
  return offset == sizeof(AP41_HEADERDATA);
}
static_assert(ap41_rows_fill_the_record());

const void* ap41_limits_of(uint16_t number) {
  switch (number) {
    case AP41_POINTS: return &kPointsLimits;
    case AP41_XUNITS:
    case AP41_YUNITS: return &kUnitsChoice;
    case AP41_BENCHID: return &kBenchChoice;
    case AP41_DETECTORID: return &kDetectorList;
    case AP41_SSP: return &kSspList;
    case AP41_ADBITS: return &kAdBitsList;
    case AP41_HPF: return &kHpfList;
    case AP41_LPF: return &kLpfList;
    case AP41_GAIN: return &kGainList;
    case AP41_NUMSCANS: return &kScansLimits;
    case AP41_APERTURE: return &kApertureLimits;
    case AP41_NUMTRANSFORMPTS: return &kTransformList;
    case AP41_APODID: return &kApodizationChoice;
    case AP41_PHASECORRID: return &kPhaseCorrectionChoice;
    case AP41_SOURCEID: return &kSourceChoice;
    default: return nullptr;
  }
}

APX_CLASSREC* ap41_class() { return apx_class_record(AP41_CLASS_ID); }

// The class id at the start of an object, or of a pointer to a bare class id.
uint16_t ap41_class_id_of(const void* object) {
  return IsBadReadPtr(object, sizeof(uint16_t)) ? 0 : ap13_load<uint16_t>(object);
}

// The outer object a create block names; the block may be absent.
AP_OBJECT* ap41_outer_of(const void* parameter) {
  if (parameter == nullptr || IsBadReadPtr(parameter, sizeof(AP41_CREATEPARM))) return nullptr;
  return static_cast<const AP41_CREATEPARM*>(parameter)->outer;
}

// Size of the parameter block each message reads, checked before the
// dispatcher unpacks it; the others are checked where they are read.
uint32_t ap41_block_size(uint16_t message) {
  switch (message) {
    case AP_MSG_DESTROY: return sizeof(HWND);
    case AP_MSG_NEW: return sizeof(AP_NEWPARM);
    case AP_MSG_CLASS_NAME: return 1;
    case AP_MSG_READ: return sizeof(AP_READPARM);
    case AP_MSG_COPY: return sizeof(AP_COPYPARM);
    case GU2_MSG_GET_PARM_VALUE: return offsetof(GU2_PARMVALUE, force);
    case AP41_MSG_DESCRIBE: return sizeof(AP41_DESCRIBEPARM);
    default: return 0;
  }
}

// A value's text through the parameter table: a value that cannot be read
// leaves the text empty.
bool ap41_read_text(AP41_SPECTRALHEADER* header, uint16_t index, uint16_t size, uint16_t precision,
                    std::string& text) {
  char buffer[AP13_LARGEST_VALUE];
  const bool read = ap13_GetParmStr_PARAMS(header->params, index, size, precision, buffer) == 1;
  text = read ? buffer : "";
  return read;
}

std::string ap41_parm_text(AP41_SPECTRALHEADER* header, uint16_t index, uint16_t size, uint16_t precision) {
  std::string text;
  ap41_read_text(header, index, size, precision, text);
  return text;
}

std::string ap41_free_text(AP41_SPECTRALHEADER* header, uint16_t index) {
  return ap41_parm_text(header, index, AP13_LARGEST_VALUE, kFreeForm);
}

// The text get takes the width as the buffer's size less its terminator.
std::string ap41_formed_text(AP41_SPECTRALHEADER* header, uint16_t index, TextForm form) {
  return ap41_parm_text(header, index, static_cast<uint16_t>(form.width + 1), form.precision);
}

// A text of an association group, null when the group has none for that
// number; numbers beyond 16 bits name no entry.
const char* ap41_assoc_text(uint16_t group, uint32_t number) {
  return number <= UINT16_MAX ? GU4_GetAssocString(group, static_cast<uint16_t>(number), nullptr, nullptr) : nullptr;
}

std::string ap41_label(DescribeLabel label) {
  const char* text = GU4_GetAssocString(AP41_GROUP_LABELS, label, nullptr, nullptr);
  return text != nullptr ? text : "";
}

void ap41_add_line(std::string& out, const std::string& line) {
  out += line;
  out += kLineEnd;
}

// The resolution of the collection, from the sample spacing and the points
// after the centre burst; not given when those make none (a header of
// defaults has no post-peak points).
std::string ap41_resolution_text(const AP41_SPECTRALHEADER* header) {
  float resolution = 0.0f;
  char text[AP1_RESOLUTION_TEXT_SIZE] = {};
  const uint32_t points = header->data.NumPostPeakPts;
  if (points > INT32_MAX ||
      AP1_GetResolution_MATH(header->data.SSP, static_cast<int32_t>(points), &resolution, text) != 1)
    return ap13_not_given_text();
  return text;
}

void ap41_describe_collection(AP41_SPECTRALHEADER* header, std::string& out) {
  ap41_add_line(out, ap41_label(kLabelScans) + ap41_free_text(header, AP41_NUMSCANS));
  ap41_add_line(out, ap41_label(kLabelBackgroundScans) + ap41_free_text(header, AP41_BKNUMSCANS));
  ap41_add_line(out, ap41_label(kLabelResolution) + ap41_resolution_text(header));
  ap41_add_line(out, ap41_label(kLabelGain) + ap41_formed_text(header, AP41_GAIN, kGainForm));
  ap41_add_line(out, ap41_label(kLabelVelocity) + ap41_formed_text(header, AP41_VELOCITY, kVelocityForm));
  ap41_add_line(out, ap41_label(kLabelAperture) + ap41_formed_text(header, AP41_APERTURE, kApertureForm));
}

void ap41_describe_bench(AP41_SPECTRALHEADER* header, std::string& out) {
  const char* detector = ap41_assoc_text(AP41_GROUP_DETECTORS, header->data.DetectorID);
  ap41_add_line(out, ap41_label(kLabelDetector) + (detector != nullptr ? detector : ap13_not_given_text()));
  const char* beam_splitter = ap41_assoc_text(AP41_GROUP_BEAMSPLITTERS, header->data.BeamSplitterID);
  ap41_add_line(out, ap41_label(kLabelBeamSplitter) + (beam_splitter != nullptr ? beam_splitter : ""));
  std::string source;
  const bool read = ap41_read_text(header, AP41_SOURCEID, AP13_LARGEST_VALUE, kFreeForm, source);
  ap41_add_line(out, read ? ap41_label(kLabelSource) + source : source);
}

}  // namespace

// ---------------------------------------------------------------------------
// Class initialisation and termination

uint16_t ap41_InitClass_SH(uint16_t class_id) {
  if (class_id != AP41_CLASS_ID) return 0;
  APX_CLASSREC* record = ap41_class();
  record->live = 0;
  record->created = 0;
  GU3_HANDLE heap = GU3_MakeCellHeap_MM(kInstanceCells, sizeof(AP41_SPECTRALHEADER), GU3_KIND_GLOBAL, "AP41");
  GU3_HANDLE block = GU3_Allocate_MM(1, AP13_TableBytes(AP41_PARM_COUNT), GU3_KIND_GLOBAL);
  auto* table = static_cast<AP13_PARMTABLE*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  if (heap == nullptr || table == nullptr) {
    GU3_Free_MM(heap);
    GU3_Free_MM(block);
    return 0;
  }
  table->row_bytes = AP41_PARM_COUNT * sizeof(AP13_PARMENTRY);
  table->data_size = sizeof(AP41_HEADERDATA);
  table->one = 1;
  table->name_group = AP41_GROUP_NAMES;
  table->count = AP41_PARM_COUNT;
  table->reserved = 0;
  table->rows = kRows;
  // The block came zero-filled: the closing 0 after the limits is there.
  for (uint16_t number = 0; number < AP41_PARM_COUNT; ++number) AP13_TableLimits(table)[number] = ap41_limits_of(number);
  record->instance_heap = heap;
  record->class_data = table;
  record->data_block = block;
  return 1;
}

uint16_t ap41_TermClass_SH(uint16_t class_id) {
  if (class_id != AP41_CLASS_ID) return 0;
  APX_CLASSREC* record = ap41_class();
  const uint16_t heap_freed = GU3_Free_MM(record->instance_heap);
  const uint16_t table_freed = GU3_Free_MM(record->data_block);
  record->instance_heap = nullptr;
  record->data_block = nullptr;
  record->class_data = nullptr;
  return heap_freed != 0 && table_freed != 0 ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Objects

AP41_SPECTRALHEADER* ap41_header(const void* object) {
  if (IsBadReadPtr(object, sizeof(AP41_SPECTRALHEADER))) return nullptr;
  auto* header = static_cast<AP41_SPECTRALHEADER*>(const_cast<void*>(object));
  return header->class_id == AP41_CLASS_ID ? header : nullptr;
}

AP41_SPECTRALHEADER* ap41_Create_SH(uint16_t class_id, AP_OBJECT* outer) {
  APX_CLASSREC* record = ap41_class();
  if (class_id != AP41_CLASS_ID || record->instance_heap == nullptr) return nullptr;
  auto* header = static_cast<AP41_SPECTRALHEADER*>(GU3_HeapGetEx_MM(record->instance_heap));
  if (header == nullptr) return nullptr;
  header->class_id = AP41_CLASS_ID;
  header->params = ap13_Create_PARAMS(AP13_CLASS_ID, AP41_CLASS_ID,
                                      outer != nullptr ? outer : reinterpret_cast<AP_OBJECT*>(header), &header->data);
  if (header->params == nullptr) {
    GU3_HeapRelease_MM(record->instance_heap, header);
    return nullptr;
  }
  return header;
}

uint32_t ap41_Destroy_SH(AP41_SPECTRALHEADER* header, HWND window) {
  if (ap41_header(header) == nullptr) return 0;
  const uint32_t result = ap13_Destroy_PARAMS(header->params, window);
  if (result != AP_DESTROYED) return result;
  GU3_HeapRelease_MM(ap41_class()->instance_heap, header);
  return result;
}

// The part's size and the whole cell, as the title and the quality-check
// classes count theirs: the record is counted in both, and a caller that
// sums sizes errs on the safe side.
uint32_t ap41_GetSize_SH(AP41_SPECTRALHEADER* header) {
  if (ap41_header(header) == nullptr) return 0;
  const uint32_t part = ap13_GetSize_PARAMS(header->params);
  return part != 0 ? part + sizeof(AP41_SPECTRALHEADER) : 0;
}

// The parameter table reads the owning class id, the record's size and the
// record; a header made for the read goes again when the read fails.
AP41_SPECTRALHEADER* ap41_Read_SH(void* object, AP_OBJECT* file, uint16_t create) {
  if (create == 0) {
    AP41_SPECTRALHEADER* header = ap41_header(object);
    return header != nullptr && ap13_Read_PARAMS(header->params, file, 0) != nullptr ? header : nullptr;
  }
  if (ap41_class_id_of(object) != AP41_CLASS_ID) return nullptr;
  auto* made = reinterpret_cast<AP41_SPECTRALHEADER*>(ap2_New_OBJ(AP41_CLASS_ID, nullptr));
  if (made == nullptr) return nullptr;
  if (ap13_Read_PARAMS(made->params, file, 0) != nullptr) return made;
  ap41_Destroy_SH(made, nullptr);
  return nullptr;
}

uint16_t ap41_Copy_SH(AP41_SPECTRALHEADER* header, AP41_SPECTRALHEADER* target, HWND window) {
  if (ap41_header(header) == nullptr || ap41_header(target) == nullptr) return 0;
  return ap13_Copy_PARAMS(header->params, target->params, window);
}

uint32_t ap41_GetParmValue_SH(AP41_SPECTRALHEADER* header, uint16_t index, void* value) {
  if (ap41_header(header) == nullptr) return 0;
  if (index != AP41_TITLE) return ap13_GetParmValue_PARAMS(header->params, index, value);
  char title[sizeof header->data.title];
  const uint32_t result = ap13_GetParmValue_PARAMS(header->params, index, title);
  if (result != 1) return result;
  title[kTitleShown] = '\0';
  const size_t bytes = std::strlen(title) + 1;
  if (IsBadWritePtr(value, bytes)) return 0;
  std::memcpy(value, title, bytes);
  return 1;
}

// ---------------------------------------------------------------------------
// Description text

char* ap41_Describe_SH(AP41_SPECTRALHEADER* header, const AP41_DESCRIBEPARM* block) {
  if (ap41_header(header) == nullptr || block == nullptr) return nullptr;
  const uint16_t flags = block->flags;
  std::string text;
  if (flags & AP41_DESCRIBE_COMPANY) {
    char company[GU6_CONFIG_VALUE_LENGTH + 1] = "";
    ap41_add_line(text, GU6_GetConfig("CustomerInfo", "CompanyName", company) != nullptr ? company : "");
  }
  if (flags & AP41_DESCRIBE_TITLE) {
    ap41_add_line(text, ap41_parm_text(header, AP41_TITLE, sizeof header->data.title, kFreeForm));
  }
  if (flags & AP41_DESCRIBE_TIME) {
    char when[AP13_LARGEST_VALUE] = "";
    if (header->data.time == 0) {
      ap41_add_line(text, ap13_not_given_text());
    } else {
      ap41_add_line(text, GU4_Time2StringSafe(header->data.time, when, GU4_TIMEFMT_LONG2, sizeof when) != nullptr
                              ? when
                              : "");
    }
  }
  if (flags & AP41_DESCRIBE_COLLECTION) ap41_describe_collection(header, text);
  if (flags & AP41_DESCRIBE_BENCH) ap41_describe_bench(header, text);
  if ((flags & AP41_DESCRIBE_INSERTED) && block->inserted != nullptr) ap41_add_line(text, block->inserted);
  if ((flags & AP41_DESCRIBE_TRAILING) && block->trailing != nullptr) text += block->trailing;
  return GU3_StoreStringEx(text.c_str());
}

// ---------------------------------------------------------------------------
// Dispatcher: what the header does not answer itself (the common protocol
// of its parts, the write of message 18, the parameter messages) goes to
// its PARAMS part.

APEXPORT uint32_t AP41_Dispatcher_SH(void* object, uint16_t message, void* parameter) {
  if (IsBadReadPtr(parameter, ap41_block_size(message))) return 0;
  AP41_SPECTRALHEADER* header = ap41_header(object);
  const auto* window = static_cast<const AP_WINDOWPARM*>(parameter);
  const auto* read = static_cast<const AP_READPARM*>(parameter);
  const auto* copy = static_cast<const AP_COPYPARM*>(parameter);
  const auto* value = static_cast<const GU2_PARMVALUE*>(parameter);
  switch (message) {
    case AP_MSG_CREATE:          return ap_object_result(ap41_Create_SH(ap41_class_id_of(object), ap41_outer_of(parameter)));
    case AP_MSG_NEW:             return AP13_Dispatcher_PARAMS(object, message, parameter);
    case AP_MSG_DESTROY:         return ap41_Destroy_SH(header, window->window);
    case AP_MSG_SIZE:            return ap41_GetSize_SH(header);
    case AP_MSG_CLASS_NAME:      return header != nullptr ? ap2_copy_class_name(static_cast<char*>(parameter), kClassName) : 0;
    case AP_MSG_READ:            return ap_object_result(ap41_Read_SH(object, read->file, read->create));
    case AP_MSG_COPY:            return ap41_Copy_SH(header, ap41_header(copy->target), copy->window);
    case GU2_MSG_GET_PARM_VALUE: return ap41_GetParmValue_SH(header, value->index, value->value);
    case AP41_MSG_DESCRIBE:      return ap_object_result(ap41_Describe_SH(header, static_cast<const AP41_DESCRIBEPARM*>(parameter)));
    default:                     return header != nullptr ? AP13_Dispatcher_PARAMS(header->params, message, parameter) : 0;
  }
}
