// Spectrum model: the records every spectrum carries and the classes that
// keep them (title, spectral header, annotation, history bits), declared for
// the spectrum class and the native file layer.
#pragma once
#include <cstddef>
#include <cstdint>

#include "array/array.h"
#include "core/core.h"
#include "platform/com.h"

// ---------------------------------------------------------------------------
// Title (class 43)

constexpr uint16_t AP43_CLASS_ID = 43;
// Association group of the title's parameter names.
constexpr uint16_t AP43_NAME_GROUP = 1043;
// Parameter 1: the text, NUL-terminated, in 257 bytes.
constexpr uint16_t AP43_TEXT_PARM = 1;
constexpr uint16_t AP43_TEXT_SIZE = 257;

// Title object, 267 bytes; its parameter record of 261 bytes lies inline
// after the PARAMS part.
//   0    2  class id 43
//   2    4  its PARAMS part, whose data block is the record below
//   6    4  parameter 0, u32
//  10  257  parameter 1, the text
// A cell of the heap "AP43" holds one more byte, so that every cell starts
// on an even address as the heap's free list needs.
constexpr uint32_t AP43_TITLE_BYTES = 267;
#pragma pack(push, 2)
struct AP43_TITLE {
  uint16_t class_id;
  AP13_PARAMS* params;
  uint32_t number;
  char text[AP43_TEXT_SIZE];
};
#pragma pack(pop)
static_assert(sizeof(AP43_TITLE) == AP43_TITLE_BYTES + 1);

APEXPORT uint32_t AP43_Dispatcher_TITLE(void* object, uint16_t message, void* parameter);
uint16_t ap43_InitClass_TITLE(uint16_t class_id);
uint16_t ap43_TermClass_TITLE(uint16_t class_id);

// The class's own operations, as the messages named beside them; the others
// are the PARAMS part's.
AP43_TITLE* ap43_Create_TITLE(uint16_t class_id, AP_OBJECT* outer);                // 2
uint32_t ap43_Destroy_TITLE(AP43_TITLE* title, HWND window);                       // 5
uint32_t ap43_GetSize_TITLE(AP43_TITLE* title);                                    // 7
AP43_TITLE* ap43_Read_TITLE(void* object, AP_OBJECT* file, uint16_t create);       // 17
uint16_t ap43_Copy_TITLE(AP43_TITLE* title, AP43_TITLE* target, HWND window);      // 22

// ---------------------------------------------------------------------------
// Spectral header (class 41)

constexpr uint16_t AP41_CLASS_ID = 41;

// Parameter numbers of the spectral header, in record order. The GAML
// parameter that the converter writes into a parameter gives its name here;
// parameters whose meaning the header leaves open keep their number.
enum AP41_PARM : uint16_t {
  AP41_RECORDTAG,          // 4 raw bytes 03 01 00 00; only a forced set
  AP41_P1,                 // u32
  AP41_TIME,               // u32 collection time, stored time; 0 = none
  AP41_POINTS,             // u32 number of data points, 1 to 500000
  AP41_XUNITS,             // u32 X-unit code
  AP41_YUNITS,             // u32 Y-unit code
  AP41_FIRSTX,             // f32
  AP41_LASTX,              // f32
  AP41_TITLE,              // char[256]
  AP41_BENCHID,            // u32
  AP41_DETECTORID,         // u32
  AP41_BEAMSPLITTERID,     // u32
  AP41_SSP,                // f32 sample spacing
  AP41_ADBITS,             // u32
  AP41_HPF,                // f32
  AP41_LPF,                // f32
  AP41_P16,
  AP41_P17,
  AP41_P18,
  AP41_P19,
  AP41_GAIN,               // f32
  AP41_NUMSCANPTS,         // u32
  AP41_FINALPEAKPOS,       // u32
  AP41_NUMSCANS,           // u32
  AP41_VELOCITY,           // f32
  AP41_APERTURE,           // f32
  AP41_P26,
  AP41_P27,
  AP41_P28,
  AP41_LASERFREQ,          // f32; only a forced set
  AP41_P30,                // f32
  AP41_NUMTRANSFORMPTS,    // u32
  AP41_BKNUMSCANS,         // u32
  AP41_BKGAIN,             // f32
  AP41_APODID,             // u32
  AP41_P35,                // f32
  AP41_HISTORYFLAGS,       // 8 raw bytes: the history bits
  AP41_DURATION,           // u32
  AP41_P38,                // f32
  AP41_P39,                // f32
  AP41_P40,                // u32
  AP41_P41,                // f32
  AP41_P42,                // u16
  AP41_PHASECORRID,        // u32
  AP41_P44,                // f32
  AP41_SOURCEID,           // u32
  AP41_P46,                // u32
  AP41_NUMPOSTPEAKPTS,     // u32
  AP41_P48,                // u32
  AP41_P49,                // char[64]
  AP41_P50,                // char[64]
  AP41_P51,                // char[150]
  AP41_P52,                // char[150]
  AP41_P53,                // char[150]
  AP41_P54,                // char[150]
  AP41_BADSCANS,           // u32; 4294967295 = not recorded
  AP41_COLLECTERRORMAP,    // u32; 4294967295 = not recorded
  AP41_BKBADSCANS,         // u32; 4294967295 = not recorded
  AP41_BKCOLLECTERRORMAP,  // u32; 4294967295 = not recorded
  AP41_PARM_COUNT
};

// The header record, 1194 bytes, little-endian, the parameters back to back
// in number order: the data block of the header's parameter table, streamed
// raw into files.
//      0    4  p0 record tag
//      4    4  p1
//      8    4  p2 collection time
//     12    4  p3 number of data points
//     16    4  p4 X-unit code
//     20    4  p5 Y-unit code
//     24    4  p6 first X
//     28    4  p7 last X
//     32  256  p8 title
//    288    4  p9 BenchID
//    292    4  p10 DetectorID
//    296    4  p11 BeamSplitterID
//    300    4  p12 SSP
//    304    4  p13 ADBits
//    308    4  p14 HPF
//    312    4  p15 LPF
//    316   16  p16-p19
//    332    4  p20 Gain
//    336    4  p21 NumScanPts
//    340    4  p22 FinalPeakPos
//    344    4  p23 NumScans
//    348    4  p24 Velocity
//    352    4  p25 Aperture
//    356   12  p26-p28
//    368    4  p29 LaserFreq
//    372    4  p30
//    376    4  p31 NumTransformPts
//    380    4  p32 BKNumScans
//    384    4  p33 BKGain
//    388    4  p34 ApodID
//    392    4  p35
//    396    8  p36 history bits: bits 0-31 in the first word, 32-63 in the second
//    404    4  p37 Duration
//    408   16  p38 f32, p39 f32, p40 u32, p41 f32
//    424    2  p42
//    426    4  p43 PhaseCorrID
//    430    4  p44
//    434    4  p45 SourceID
//    438    4  p46
//    442    4  p47 NumPostPeakPts
//    446    4  p48
//    450  128  p49, p50 texts of 64 bytes
//    578  600  p51-p54 texts of 150 bytes
//   1178   16  p55 BadScans, p56 CollectErrorMap, p57 BKBadScans, p58 BKCollectErrorMap
#pragma pack(push, 2)
struct AP41_HEADERDATA {
  uint8_t tag[4];
  uint32_t p1;
  uint32_t time;
  uint32_t points;
  uint32_t x_units;
  uint32_t y_units;
  float first_x;
  float last_x;
  char title[256];
  uint32_t BenchID;
  uint32_t DetectorID;
  uint32_t BeamSplitterID;
  float SSP;
  uint32_t ADBits;
  float HPF;
  float LPF;
  uint32_t p16;
  uint32_t p17;
  uint32_t p18;
  uint32_t p19;
  float Gain;
  uint32_t NumScanPts;
  uint32_t FinalPeakPos;
  uint32_t NumScans;
  float Velocity;
  float Aperture;
  uint32_t p26;
  uint32_t p27;
  uint32_t p28;
  float LaserFreq;
  float p30;
  uint32_t NumTransformPts;
  uint32_t BKNumScans;
  float BKGain;
  uint32_t ApodID;
  float p35;
  uint32_t history[2];
  uint32_t Duration;
  float p38;
  float p39;
  uint32_t p40;
  float p41;
  uint16_t p42;
  uint32_t PhaseCorrID;
  float p44;
  uint32_t SourceID;
  uint32_t p46;
  uint32_t NumPostPeakPts;
  uint32_t p48;
  char p49[64];
  char p50[64];
  char p51[150];
  char p52[150];
  char p53[150];
  char p54[150];
  uint32_t BadScans;
  uint32_t CollectErrorMap;
  uint32_t BKBadScans;
  uint32_t BKCollectErrorMap;
};
#pragma pack(pop)
static_assert(sizeof(AP41_HEADERDATA) == 1194);
static_assert(offsetof(AP41_HEADERDATA, tag) == 0);
static_assert(offsetof(AP41_HEADERDATA, p1) == 4);
static_assert(offsetof(AP41_HEADERDATA, time) == 8);
static_assert(offsetof(AP41_HEADERDATA, points) == 12);
static_assert(offsetof(AP41_HEADERDATA, x_units) == 16);
static_assert(offsetof(AP41_HEADERDATA, y_units) == 20);
static_assert(offsetof(AP41_HEADERDATA, first_x) == 24);
static_assert(offsetof(AP41_HEADERDATA, last_x) == 28);
static_assert(offsetof(AP41_HEADERDATA, title) == 32);
static_assert(offsetof(AP41_HEADERDATA, BenchID) == 288);
static_assert(offsetof(AP41_HEADERDATA, DetectorID) == 292);
static_assert(offsetof(AP41_HEADERDATA, BeamSplitterID) == 296);
static_assert(offsetof(AP41_HEADERDATA, SSP) == 300);
static_assert(offsetof(AP41_HEADERDATA, ADBits) == 304);
static_assert(offsetof(AP41_HEADERDATA, HPF) == 308);
static_assert(offsetof(AP41_HEADERDATA, LPF) == 312);
static_assert(offsetof(AP41_HEADERDATA, p16) == 316);
static_assert(offsetof(AP41_HEADERDATA, p17) == 320);
static_assert(offsetof(AP41_HEADERDATA, p18) == 324);
static_assert(offsetof(AP41_HEADERDATA, p19) == 328);
static_assert(offsetof(AP41_HEADERDATA, Gain) == 332);
static_assert(offsetof(AP41_HEADERDATA, NumScanPts) == 336);
static_assert(offsetof(AP41_HEADERDATA, FinalPeakPos) == 340);
static_assert(offsetof(AP41_HEADERDATA, NumScans) == 344);
static_assert(offsetof(AP41_HEADERDATA, Velocity) == 348);
static_assert(offsetof(AP41_HEADERDATA, Aperture) == 352);
static_assert(offsetof(AP41_HEADERDATA, p26) == 356);
static_assert(offsetof(AP41_HEADERDATA, p27) == 360);
static_assert(offsetof(AP41_HEADERDATA, p28) == 364);
static_assert(offsetof(AP41_HEADERDATA, LaserFreq) == 368);
static_assert(offsetof(AP41_HEADERDATA, p30) == 372);
static_assert(offsetof(AP41_HEADERDATA, NumTransformPts) == 376);
static_assert(offsetof(AP41_HEADERDATA, BKNumScans) == 380);
static_assert(offsetof(AP41_HEADERDATA, BKGain) == 384);
static_assert(offsetof(AP41_HEADERDATA, ApodID) == 388);
static_assert(offsetof(AP41_HEADERDATA, p35) == 392);
static_assert(offsetof(AP41_HEADERDATA, history) == 396);
static_assert(offsetof(AP41_HEADERDATA, Duration) == 404);
static_assert(offsetof(AP41_HEADERDATA, p38) == 408);
static_assert(offsetof(AP41_HEADERDATA, p39) == 412);
static_assert(offsetof(AP41_HEADERDATA, p40) == 416);
static_assert(offsetof(AP41_HEADERDATA, p41) == 420);
static_assert(offsetof(AP41_HEADERDATA, p42) == 424);
static_assert(offsetof(AP41_HEADERDATA, PhaseCorrID) == 426);
static_assert(offsetof(AP41_HEADERDATA, p44) == 430);
static_assert(offsetof(AP41_HEADERDATA, SourceID) == 434);
static_assert(offsetof(AP41_HEADERDATA, p46) == 438);
static_assert(offsetof(AP41_HEADERDATA, NumPostPeakPts) == 442);
static_assert(offsetof(AP41_HEADERDATA, p48) == 446);
static_assert(offsetof(AP41_HEADERDATA, p49) == 450);
static_assert(offsetof(AP41_HEADERDATA, p50) == 514);
static_assert(offsetof(AP41_HEADERDATA, p51) == 578);
static_assert(offsetof(AP41_HEADERDATA, p52) == 728);
static_assert(offsetof(AP41_HEADERDATA, p53) == 878);
static_assert(offsetof(AP41_HEADERDATA, p54) == 1028);
static_assert(offsetof(AP41_HEADERDATA, BadScans) == 1178);
static_assert(offsetof(AP41_HEADERDATA, CollectErrorMap) == 1182);
static_assert(offsetof(AP41_HEADERDATA, BKBadScans) == 1186);
static_assert(offsetof(AP41_HEADERDATA, BKCollectErrorMap) == 1190);

// Spectral header object, 1200 bytes, a cell of the heap "AP41".
//   0     2  class id 41
//   2     4  its PARAMS part, whose data block is the record that follows
//   6  1194  the header record
#pragma pack(push, 2)
struct AP41_SPECTRALHEADER {
  uint16_t class_id;
  AP13_PARAMS* params;
  AP41_HEADERDATA data;
};
#pragma pack(pop)
static_assert(sizeof(AP41_SPECTRALHEADER) == 1200);
static_assert(offsetof(AP41_SPECTRALHEADER, data) == sizeof(AP13_CHILD));

// Unit codes that the file layer tests by value: the point-index X axis;
// the interferogram, the single beam, the older interferogram form that
// reading turns into 22, and the Y unit in which files store annotation Y
// values.
constexpr uint32_t AP41_XUNITS_POINTS = 2;
constexpr uint32_t AP41_YUNITS_SINGLE_BEAM = 15;
constexpr uint32_t AP41_YUNITS_INTERFEROGRAM = 22;
constexpr uint32_t AP41_YUNITS_ANNOTATION = 23;
constexpr uint32_t AP41_YUNITS_OLD_INTERFEROGRAM = 29;

// Association groups the header reads: the parameter names; the choices of
// the unit codes, benches, sources, apodizations and phase corrections; and
// for the description text its labels, the detectors and beam splitters.
constexpr uint16_t AP41_GROUP_NAMES = 1041;
constexpr uint16_t AP41_GROUP_UNITS = 901;
constexpr uint16_t AP41_GROUP_BENCHES = 4109;
constexpr uint16_t AP41_GROUP_SOURCES = 604;
constexpr uint16_t AP41_GROUP_APODIZATIONS = 3510;
constexpr uint16_t AP41_GROUP_PHASE_CORRECTIONS = 3511;
constexpr uint16_t AP41_GROUP_LABELS = 4100;
constexpr uint16_t AP41_GROUP_DETECTORS = 4110;
constexpr uint16_t AP41_GROUP_BEAMSPLITTERS = 605;

// Message 71: the description text.
constexpr uint16_t AP41_MSG_DESCRIBE = 71;

// Pieces of the description, appended in the order of the lines below
// (the trailing text last).
constexpr uint16_t AP41_DESCRIBE_COMPANY = 1;     // "CompanyName" of "CustomerInfo"
constexpr uint16_t AP41_DESCRIBE_TITLE = 2;
constexpr uint16_t AP41_DESCRIBE_TIME = 4;        // collection date and time
constexpr uint16_t AP41_DESCRIBE_COLLECTION = 8;  // scans, resolution, gain, velocity, aperture
constexpr uint16_t AP41_DESCRIBE_BENCH = 16;      // detector, beam splitter, source
constexpr uint16_t AP41_DESCRIBE_TRAILING = 32;   // the trailing text, no line end
constexpr uint16_t AP41_DESCRIBE_INSERTED = 64;   // the inserted text as a line

// Parameter blocks, packed to 2.
#pragma pack(push, 2)
// Message 2, optional: the outer object (none: the new header itself).
struct AP41_CREATEPARM {
  AP_OBJECT* outer;
};
// Message 71, 10 bytes.
struct AP41_DESCRIBEPARM {
  const char* trailing;
  uint16_t flags;
  const char* inserted;
};
#pragma pack(pop)
static_assert(sizeof(AP41_CREATEPARM) == 4);
static_assert(sizeof(AP41_DESCRIBEPARM) == 10);

APEXPORT uint32_t AP41_Dispatcher_SH(void* object, uint16_t message, void* parameter);

uint16_t ap41_InitClass_SH(uint16_t class_id);
uint16_t ap41_TermClass_SH(uint16_t class_id);

// The header's own operations, as the messages named beside them.
AP41_SPECTRALHEADER* ap41_Create_SH(uint16_t class_id, AP_OBJECT* outer);                         // 2
uint32_t ap41_Destroy_SH(AP41_SPECTRALHEADER* header, HWND window);                              // 5
uint32_t ap41_GetSize_SH(AP41_SPECTRALHEADER* header);                                           // 7
AP41_SPECTRALHEADER* ap41_Read_SH(void* object, AP_OBJECT* file, uint16_t create);                // 17
uint16_t ap41_Copy_SH(AP41_SPECTRALHEADER* header, AP41_SPECTRALHEADER* target, HWND window);    // 22
uint32_t ap41_GetParmValue_SH(AP41_SPECTRALHEADER* header, uint16_t index, void* value);         // 40
char* ap41_Describe_SH(AP41_SPECTRALHEADER* header, const AP41_DESCRIBEPARM* block);             // 71

// The object when it is a spectral header, else null.
AP41_SPECTRALHEADER* ap41_header(const void* object);

// ---------------------------------------------------------------------------
// History bits

// The processing steps a spectrum has been through: 64 bits in header
// parameter 36, bit b in word b / 32 under the mask 1 << (b mod 32), so bit
// b is bit b mod 8 of record byte 396 + b / 8. An operation sets the bit of
// its step on the spectrum it makes or changes; none clears bits on its own.
enum AP41_HISTORYBIT : int16_t {
  AP41_HISTORY_FFT = 0,
  AP41_HISTORY_PHASE_APODIZE = 1,
  AP41_HISTORY_RATIO = 2,
  AP41_HISTORY_TO_ABSORBANCE = 3,
  AP41_HISTORY_TO_TRANSMITTANCE = 4,
  AP41_HISTORY_DERESOLVE = 5,
  AP41_HISTORY_LIBRARY = 6,
  AP41_HISTORY_ADD_SUBTRACT = 7,
  AP41_HISTORY_SMOOTH = 8,
  AP41_HISTORY_TO_KUBELKA_MUNK = 9,
  AP41_HISTORY_TO_PHOTOACOUSTIC = 10,
  AP41_HISTORY_ATR = 11,
  AP41_HISTORY_SCALAR_MULTIPLY = 12,
  AP41_HISTORY_STRAIGHT_LINE = 13,
  AP41_HISTORY_DERIVATIVE = 14,
  AP41_HISTORY_INTEGRAL = 15,
  AP41_HISTORY_POWER = 16,
  AP41_HISTORY_BASELINE = 17,
  AP41_HISTORY_TO_WAVELENGTH = 18,
  AP41_HISTORY_TO_WAVENUMBER = 19,
  AP41_HISTORY_OLDER_FORMAT_1 = 20,
  AP41_HISTORY_OLDER_FORMAT_2 = 21,
  AP41_HISTORY_CORVANE_LIBRARY = 22,
  AP41_HISTORY_BLANKED = 23,
  AP41_HISTORY_KRAMERS_KRONIG = 24,
  AP41_HISTORY_FROM_JCAMP = 25,
  AP41_HISTORY_OLDER_FORMAT_3 = 26,
  AP41_HISTORY_OLDER_FORMAT_4 = 27,
  AP41_HISTORY_TRUNCATED = 28,
  AP41_HISTORY_EXPANSION = 29,
  AP41_HISTORY_FILLED = 30,
  AP41_HISTORY_ADD_CONSTANT = 31,
  AP41_HISTORY_FUNCTION_MULTIPLY = 32,
  AP41_HISTORY_INTERPOLATED = 33,
  AP41_HISTORY_SELF_DECONVOLUTION = 34,
  AP41_HISTORY_CONVOLVED = 35,
  AP41_HISTORY_RAMAN_X = 36,
  AP41_HISTORY_RAMAN_SHIFT = 37,
  AP41_HISTORY_CONCATENATION = 38,
  AP41_HISTORY_ELEMENT_OPERATION = 39,
  AP41_HISTORY_REFERENCE_DIVIDE = 40,
  AP41_HISTORY_LASER_ADJUSTMENT = 41,
  AP41_HISTORY_BITS = 64
};

// The spectrum messages 205, 206 and 270 ({u16 bit}) test, set and clear a
// bit through these. Each takes a spectrum (class 7) with a header and a bit number 0 to 63.
// Test: 1 when the bit is set; 0 when it is clear, or for a bad bit number
// or object. Set and clear: 1 done (also when the bit already was so), 0 for
// a bad bit number or object, or a header that refuses the change.
uint16_t ap7b_TestHistoryFlag(AP_OBJECT* spectrum, int16_t bit);
uint16_t ap7b_SetHistoryFlag(AP_OBJECT* spectrum, int16_t bit);
uint16_t ap7b_ClearHistoryFlag(AP_OBJECT* spectrum, int16_t bit);

// The text of a bit as exported files print it; null for bits 42 to 63 and
// for bit numbers outside 0 to 63.
const char* ap7b_HistoryFlagText(int16_t bit);

// ---------------------------------------------------------------------------
// Annotation (class 34)

constexpr uint16_t AP34_CLASS_ID = 34;

// Flags of an annotation record.
constexpr uint16_t AP34_FLAG_RELATIVE = 0x0001;      // position relative to the curve (message 42)
constexpr uint16_t AP34_FLAG_PROTECTED = 0x0004;     // kept by mask deletes; changes leave the object saved
constexpr uint16_t AP34_FLAG_ABSOLUTE = 0x0008;      // absolute position; such records go to native files
constexpr uint16_t AP34_FLAG_SECOND_POINT = 0x0040;  // x2, y2 valid
constexpr uint16_t AP34_FLAG_THIRD_POINT = 0x0080;   // x3, y3 valid
constexpr uint16_t AP34_FLAG_THIRD_POINT_ALT = 0x0100;
constexpr uint16_t AP34_FLAG_INSERTED = 0x1000;      // set on every insert
constexpr uint16_t AP34_FLAG_MASK_NOTICE = 0x2000;   // in a delete mask: the notice word 3

// Words the change notice carries after a delete.
constexpr uint16_t AP34_NOTICE_NOTHING_DELETED = 1;
constexpr uint16_t AP34_NOTICE_DELETED = 2;
constexpr uint16_t AP34_NOTICE_MASK_DELETED = 3;

// Labels are read back from the saved form through lines of at most this
// many characters.
constexpr uint16_t AP34_LINE_LIMIT = 600;

// Messages of AP34_Dispatcher_ANTATN beyond the common protocol.
constexpr uint16_t AP34_MSG_COUNT_IN_RANGE = 36;
constexpr uint16_t AP34_MSG_GET = 37;
constexpr uint16_t AP34_MSG_INSERT = 38;
constexpr uint16_t AP34_MSG_DELETE = 39;
constexpr uint16_t AP34_MSG_REPLACE = 40;
constexpr uint16_t AP34_MSG_DELETE_MASKED = 41;
constexpr uint16_t AP34_MSG_MAKE_ABSOLUTE = 42;

// Annotation record, 54 bytes, a cell of the heap "AP34CLASSDATA"; callers
// hand records of the same form to messages 37, 38 and 40.
//   0  2  flags
//   2  4  x of the annotated point; the list is ordered by it
//   6  4  text x: x of the label (an offset from x while flag 1 is set)
//  10  4  y of the label in %T (an offset from the curve while flag 1 is set)
//  14  4  label, in the string space, owned by the record (may be null)
//  18  8  x2, y2: second point (flag 64)
//  26  8  x3, y3: third point (flag 0x80 or 0x100)
//  34 16  four words of the host, copied on insert only
//  50  4  two words of the host, copied on insert, get and replace
#pragma pack(push, 2)
struct AP34_ANNOTREC {
  uint16_t flags;
  float x;
  float text_x;
  float y;
  char* label;
  float x2;
  float y2;
  float x3;
  float y3;
  uint32_t host_words[4];
  uint16_t host_flags[2];
};
#pragma pack(pop)
static_assert(sizeof(AP34_ANNOTREC) == 54);

// Annotation object, a 30-byte cell of the heap "AP34".
//   0  2  class id 34
//   2  4  its AP2 part
//   6 24  the records: indirect list keyed at offset 0, 4 bytes, type 1
#pragma pack(push, 2)
struct AP34_ANNOTATION {
  AP_OBJECT head;
  GU1_LINKLIST records;
};
#pragma pack(pop)
static_assert(sizeof(AP34_ANNOTATION) == 30);

// Parameter blocks, packed to 2.
#pragma pack(push, 2)
// Message 36, 16 bytes: the indexes are written only when both are given.
struct AP34_RANGEPARM {
  float x1;
  float x2;
  int32_t* first;
  int32_t* last;
};
// Messages 37 and 40, 8 bytes.
struct AP34_RECORDPARM {
  uint16_t index;
  AP34_ANNOTREC* record;
  uint16_t y_code;
};
// Message 38, 6 bytes.
struct AP34_INSERTPARM {
  AP34_ANNOTREC* record;
  uint16_t y_code;
};
// Message 39.
struct AP34_DELETEPARM {
  uint32_t index;
};
// Message 41.
struct AP34_MASKPARM {
  uint16_t mask;
};
// Spectrum message 37, 8 bytes.
struct AP7_VALUEATXPARM {
  float x;
  float* value;
};
#pragma pack(pop)
static_assert(sizeof(AP34_RANGEPARM) == 16);
static_assert(sizeof(AP34_RECORDPARM) == 8);
static_assert(sizeof(AP34_INSERTPARM) == 6);
static_assert(sizeof(AP34_DELETEPARM) == 4);
static_assert(sizeof(AP34_MASKPARM) == 2);
static_assert(sizeof(AP7_VALUEATXPARM) == 8);

APEXPORT uint32_t AP34_Dispatcher_ANTATN(void* object, uint16_t message, void* parameter);
APEXPORT void AP34_UpdateSampInfo();
uint16_t ap34_InitClass_ANTATN(uint16_t class_id);
uint16_t ap34_TermClass_ANTATN(uint16_t class_id);

// The class's operations, as the messages named beside them.
AP34_ANNOTATION* ap34_Create_ANTATN(uint16_t class_id, AP_OBJECT* outer);                        // 2
uint32_t ap34_Destroy_ANTATN(AP34_ANNOTATION* annotation, HWND window);                          // 5
uint32_t ap34_GetSize_ANTATN(AP34_ANNOTATION* annotation);                                       // 7
uint16_t ap34_EndChange_ANTATN(AP34_ANNOTATION* annotation);                                     // 11
AP34_ANNOTATION* ap34_Read_ANTATN(void* object, AP_OBJECT* file, uint16_t create);               // 17
uint16_t ap34_Write_ANTATN(AP34_ANNOTATION* annotation, AP_OBJECT* file);                        // 18
uint16_t ap34_Copy_ANTATN(AP34_ANNOTATION* annotation, AP34_ANNOTATION* target, HWND window);    // 22
uint32_t ap34_CountInRange_ANTATN(AP34_ANNOTATION* annotation, float x1, float x2, int32_t* first,
                                  int32_t* last);                                                // 36
uint16_t ap34_Get_ANTATN(AP34_ANNOTATION* annotation, uint32_t index, AP34_ANNOTREC* record,
                         uint16_t y_code);                                                       // 37
uint16_t ap34_Insert_ANTATN(AP34_ANNOTATION* annotation, const AP34_ANNOTREC* record, uint16_t y_code);  // 38
uint16_t ap34_Delete_ANTATN(AP34_ANNOTATION* annotation, uint32_t index);                        // 39
uint16_t ap34_Replace_ANTATN(AP34_ANNOTATION* annotation, uint32_t index, const AP34_ANNOTREC* record,
                             uint16_t y_code);                                                   // 40
uint32_t ap34_DeleteMasked_ANTATN(AP34_ANNOTATION* annotation, uint16_t mask);                   // 41
uint16_t ap34_MakeAbsolute_ANTATN(AP34_ANNOTATION* annotation, void* spectrum);                  // 42
// ---------------------------------------------------------------------------
// Spectrum (class 7)

constexpr uint16_t AP7_CLASS_ID = 7;

// Name and path fields: 259 characters and the terminator.
constexpr uint32_t AP7_TEXT_FIELD = 260;
// The title (header parameter 8) holds 255 characters and the terminator.
constexpr uint32_t AP7_TITLE_FIELD = 256;

// Spectrum object, 558 bytes, a cell of the heap "AP7".
//    0    2  class id 7
//    2    4  data: the ARRAY part, 1 row × n floats (NaN = missing); its AP2
//            part's outermost object is the spectrum (or the owner given at
//            creation); null only between a spectrum made without data and
//            the array its maker links in
//    6    4  header (class 41), whose record the spectrum reads and writes
//   10    4  annotation (class 34)
//   14    4  subSpectrumA, an owned spectrum (the background interferogram) or null
//   18    4  subSpectrumB, an owned spectrum (the sample interferogram) or null
//   22    4  history text (class 48)
//   26    4  comment text (class 48)
//   30  260  name, terminated; also names the file holding the stored interferograms
//  290  260  path, terminated: the file the save messages write
//  550    4  list (class 40), created without a key
//  554    4  groupIndex: member index in the group file the spectrum was read from
// The spectrum owns every object it points to and destroys them with itself.
#pragma pack(push, 2)
struct AP7_SPECTRUM {
  uint16_t class_id;
  AP4_ARRAY* data;
  AP41_SPECTRALHEADER* header;
  AP34_ANNOTATION* annotation;
  AP7_SPECTRUM* subSpectrumA;
  AP7_SPECTRUM* subSpectrumB;
  AP48_TEXT* history;
  AP48_TEXT* comment;
  char name[AP7_TEXT_FIELD];
  char path[AP7_TEXT_FIELD];
  AP40_LLIST* list;
  uint32_t groupIndex;
};
#pragma pack(pop)
static_assert(sizeof(AP7_SPECTRUM) == 558);
static_assert(offsetof(AP7_SPECTRUM, name) == 30);
static_assert(offsetof(AP7_SPECTRUM, path) == 290);
static_assert(offsetof(AP7_SPECTRUM, list) == 550);

// The Y unit of a new spectrum: transmittance as a fraction.
constexpr uint32_t AP7_DEFAULT_YUNITS = 23;

// Spectrum messages besides the common object protocol (core.h), the
// history bits and those the annotation sends. Numbers above the last one
// answer 0.
constexpr uint16_t AP7_MSG_RANGE_POINTS = 36;
constexpr uint16_t AP7_MSG_GET_VALUE_AT_X = 37;
constexpr uint16_t AP7_MSG_COPY_DATA_OUT = 41;
constexpr uint16_t AP7_MSG_INSERT_POINTS = 45;
constexpr uint16_t AP7_MSG_DELETE_POINTS = 46;
constexpr uint16_t AP7_MSG_FILL_RANGE = 47;
constexpr uint16_t AP7_MSG_MIN_MAX = 59;
constexpr uint16_t AP7_MSG_DUPLICATE_HEADER = 149;
constexpr uint16_t AP7_MSG_REPLACE_HEADER = 150;
constexpr uint16_t AP7_MSG_DUPLICATE_ANNOTATION = 152;
constexpr uint16_t AP7_MSG_COPY_ANNOTATION_FROM = 153;
constexpr uint16_t AP7_MSG_X_TO_INDEX = 157;
constexpr uint16_t AP7_MSG_INDEX_TO_X = 158;
constexpr uint16_t AP7_MSG_SET_PATH = 159;
constexpr uint16_t AP7_MSG_GET_PATH = 160;
constexpr uint16_t AP7_MSG_GET_NAME = 161;
constexpr uint16_t AP7_MSG_SET_NAME = 162;
constexpr uint16_t AP7_MSG_GET_SPACING = 163;
constexpr uint16_t AP7_MSG_X_TO_CELL = 164;
constexpr uint16_t AP7_MSG_CELL_TO_X = 165;
constexpr uint16_t AP7_MSG_GET_HEADER = 168;
constexpr uint16_t AP7_MSG_SET_HEADER = 169;
constexpr uint16_t AP7_MSG_GET_ANNOTATION = 170;
constexpr uint16_t AP7_MSG_SET_ANNOTATION = 171;
constexpr uint16_t AP7_MSG_GET_DATA_HANDLE = 172;
constexpr uint16_t AP7_MSG_SET_DATA_HANDLE = 173;
constexpr uint16_t AP7_MSG_GET_X_RANGE = 174;
constexpr uint16_t AP7_MSG_CLAMP_X_RANGE = 175;
constexpr uint16_t AP7_MSG_COMMON_INDEX_RANGE = 181;
constexpr uint16_t AP7_MSG_GET_TITLE = 185;
constexpr uint16_t AP7_MSG_COMPARE_SPACING = 189;
constexpr uint16_t AP7_MSG_ADD_HISTORY = 192;
constexpr uint16_t AP7_MSG_GET_HISTORY = 193;
constexpr uint16_t AP7_MSG_ADD_COMMENT = 194;
constexpr uint16_t AP7_MSG_GET_COMMENT = 195;
constexpr uint16_t AP7_MSG_HISTORY_OBJECT = 196;
constexpr uint16_t AP7_MSG_COMMENT_OBJECT = 197;
constexpr uint16_t AP7_MSG_SET_COMMENT = 198;
constexpr uint16_t AP7_MSG_SET_HISTORY = 199;
constexpr uint16_t AP7_MSG_TEST_HISTORY_FLAG = 205;
constexpr uint16_t AP7_MSG_SET_HISTORY_FLAG = 206;
constexpr uint16_t AP7_MSG_IS_SINGLE_BEAM = 217;
constexpr uint16_t AP7_MSG_EXTEND_TO_X_RANGE = 219;
constexpr uint16_t AP7_MSG_DATA_POINTER = 220;
constexpr uint16_t AP7_MSG_CLAMP_X_RANGE_NEAREST = 227;
constexpr uint16_t AP7_MSG_MARK_GRID_INTERVAL = 229;
constexpr uint16_t AP7_MSG_HEADER_TEXT_FIELDS = 235;
constexpr uint16_t AP7_MSG_COPY_LIST_TO = 236;
constexpr uint16_t AP7_MSG_X_RANGE_TO_INDEX_RANGE = 241;
constexpr uint16_t AP7_MSG_DUPLICATE_BARE = 257;
constexpr uint16_t AP7_MSG_CLEAR_HISTORY_FLAG = 270;
constexpr uint16_t AP7_MSG_SET_TITLE = 274;
constexpr uint16_t AP7_MSG_GET_HEADER_P2 = 277;
constexpr uint16_t AP7_MSG_SET_HEADER_P2 = 278;
constexpr uint16_t AP7_MSG_PAD_TO_X_RANGE = 280;
constexpr uint16_t AP7_MSG_POINT_COUNT = 300;
constexpr uint16_t AP7_MSG_ADD_LOGIN_USER = 315;
constexpr uint16_t AP7_MSG_HISTORY_KEYWORD = 319;
constexpr uint16_t AP7_MSG_DATA_CHECKSUM = 322;
constexpr uint16_t AP7_MSG_MAKE_X_ASCENDING = 433;
constexpr uint16_t AP7_MSG_LAST = 440;

// Association groups the spectrum reads: history labels and the label of
// the login line.
constexpr uint16_t AP7_GROUP_HISTORY = 1096;
constexpr uint16_t AP7_GROUP_LOGIN = 402;
constexpr uint16_t AP7_LOGIN_LABEL = 25;

// Parameter blocks, packed to 2. Messages whose block is one text, buffer,
// object or out-pointer take it as the parameter itself; 3, 5, 6 and 257
// take AP_WINDOWPARM, 13 AP_WORDPARM and 22 AP_COPYPARM.
#pragma pack(push, 2)
// Message 2: the outermost object of the data array (0 = the new spectrum), points.
struct AP7_CREATEPARM {
  AP_OBJECT* owner;
  uint32_t points;
};
// Message 4.
struct AP7_NEWPARM {
  uint32_t points;
  HWND window;
};
// Message 235: where the addresses of header texts p51 to p54 go.
struct AP7_TEXTFIELDSPARM {
  char** fields[4];
};
// Message 36.
struct AP7_RANGEPOINTSPARM {
  float x1;
  float x2;
  uint32_t* count;
};
// Messages 45 and 46, 6 bytes: where (non-zero: at the start) and how many.
struct AP7_POINTSPARM {
  uint16_t at_start;
  int32_t count;
};
// Message 47.
struct AP7_FILLPARM {
  float x1;
  float x2;
  float value;
};
// Message 59: where the smallest and the largest value go.
struct AP7_MINMAXPARM {
  float x1;
  float x2;
  float* minimum;
  float* maximum;
};
// Message 157.
struct AP7_XTOINDEXPARM {
  float x;
  int32_t* index;
};
// Message 158.
struct AP7_INDEXTOXPARM {
  int32_t index;
  float* x;
};
// Message 164.
struct AP7_XTOCELLPARM {
  float x;
  AP4_CELL* cell;
};
// Message 165.
struct AP7_CELLTOXPARM {
  int32_t row;
  int32_t index;
  float* x;
};
// Messages 174 (first and last X out) and 175, 219, 227, 280 (limits in and out).
struct AP7_LIMITSPARM {
  float* x1;
  float* x2;
};
// Message 241.
struct AP7_INDEXRANGEPARM {
  float* x1;
  float* x2;
  AP4_CELL* first;
  AP4_CELL* last;
};
// Message 181: the range of this spectrum, the other spectrum and its range.
struct AP7_COMMONRANGEPARM {
  float* x1;
  float* x2;
  AP4_CELL* first;
  AP4_CELL* last;
  AP7_SPECTRUM* other;
  AP4_CELL* other_first;
  AP4_CELL* other_last;
};
// Message 229, 32 bytes: the mask holds count bytes.
struct AP7_GRIDPARM {
  double x1;
  double x2;
  uint8_t* mask;
  uint32_t count;
  float low;
  float high;
};
// Message 161: a buffer of 260 bytes for the name, and where the two
// sub-spectra go.
struct AP7_GETNAMEPARM {
  char* name;
  AP7_SPECTRUM** sub_a;
  AP7_SPECTRUM** sub_b;
};
// Message 162: a name or null, and the sub-spectra the spectrum is to own.
struct AP7_SETNAMEPARM {
  const char* name;
  AP7_SPECTRUM* sub_a;
  AP7_SPECTRUM* sub_b;
};
// Message 173: the axis and the block of count floats the data adopt.
struct AP7_DATAHANDLEPARM {
  float first_x;
  float last_x;
  uint32_t count;
  GU3_HANDLE block;
};
// Message 319: the keyword and a buffer of AP48_FIELD_WIDTH bytes.
struct AP7_KEYWORDPARM {
  const char* keyword;
  char* value;
};
#pragma pack(pop)
static_assert(sizeof(AP7_CREATEPARM) == 8);
static_assert(sizeof(AP7_NEWPARM) == 8);
static_assert(sizeof(AP7_TEXTFIELDSPARM) == 16);
static_assert(sizeof(AP7_RANGEPOINTSPARM) == 12);
static_assert(sizeof(AP7_POINTSPARM) == 6);
static_assert(sizeof(AP7_FILLPARM) == 12);
static_assert(sizeof(AP7_MINMAXPARM) == 16);
static_assert(sizeof(AP7_XTOINDEXPARM) == 8);
static_assert(sizeof(AP7_INDEXTOXPARM) == 8);
static_assert(sizeof(AP7_XTOCELLPARM) == 8);
static_assert(sizeof(AP7_CELLTOXPARM) == 12);
static_assert(sizeof(AP7_LIMITSPARM) == 8);
static_assert(sizeof(AP7_INDEXRANGEPARM) == 16);
static_assert(sizeof(AP7_COMMONRANGEPARM) == 28);
static_assert(sizeof(AP7_GRIDPARM) == 32);
static_assert(sizeof(AP7_GETNAMEPARM) == 12);
static_assert(sizeof(AP7_SETNAMEPARM) == 12);
static_assert(sizeof(AP7_DATAHANDLEPARM) == 16);
static_assert(sizeof(AP7_KEYWORDPARM) == 8);

APEXPORT uint32_t AP7_Dispatcher_SPECTRUM(void* object, uint16_t message, void* parameter);

// Class initialisation and termination, called with the class id.
uint16_t ap7a_InitClass(uint16_t class_id);
uint16_t ap7b_TermClass(uint16_t class_id);

// The object when it is a readable spectrum, else null.
AP7_SPECTRUM* ap7a_spectrum(const void* object);
// The header record of a spectrum, null without a header.
AP41_HEADERDATA* ap7a_record(const AP7_SPECTRUM* spectrum);

// Begin-change on the spectrum's data part when made, end-change when the
// scope ends, so that an operation closes its bracket on every path.
class ap7a_change_bracket {
 public:
  explicit ap7a_change_bracket(const AP7_SPECTRUM* spectrum);
  ~ap7a_change_bracket();
  ap7a_change_bracket(const ap7a_change_bracket&) = delete;
  ap7a_change_bracket& operator=(const ap7a_change_bracket&) = delete;
  bool begun() const { return begun_; }

 private:
  AP2_OBJECT* part_;
  bool begun_;
};

// The object and its common protocol, as the messages named beside them.
AP7_SPECTRUM* ap7a_Create(uint16_t class_id, AP_OBJECT* owner, uint32_t points);      // 2
uint16_t ap7a_Init(AP7_SPECTRUM* spectrum, HWND window);                             // 3
AP7_SPECTRUM* ap7a_NewInit(uint16_t class_id, uint32_t points, HWND window);          // 4
uint32_t ap7a_Delete(AP7_SPECTRUM* spectrum, HWND window);                           // 5
AP7_SPECTRUM* ap7a_Duplicate(AP7_SPECTRUM* spectrum, HWND window);                    // 6
uint32_t ap7a_GetSize(const AP7_SPECTRUM* spectrum);                                 // 7
uint16_t ap7a_GetClassName(char* buffer);                                            // 9
int16_t ap7a_IsModified(const AP7_SPECTRUM* spectrum);                               // 12
uint16_t ap7a_SetModified(AP7_SPECTRUM* spectrum, int16_t state);                    // 13
uint16_t ap7a_Copy(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* target, HWND window);       // 22
uint16_t ap7a_GetHeaderTextFields(const AP7_SPECTRUM* spectrum, const AP7_TEXTFIELDSPARM* fields);  // 235
AP7_SPECTRUM* ap7a_DuplicateBare(AP7_SPECTRUM* spectrum, HWND window);                // 257
uint16_t ap7a_SetHeaderParam2(AP7_SPECTRUM* spectrum, const uint32_t* value);        // 278
uint16_t ap7a_GetPointCount(const AP7_SPECTRUM* spectrum, uint32_t* count);          // 300
uint16_t ap7a_DataChecksum(const AP7_SPECTRUM* spectrum, uint32_t* sum);             // 322
uint16_t ap7a_MakeXAscending(AP7_SPECTRUM* spectrum);                                // 433

// A new spectrum without data, carrying copies of the given spectrum's name,
// header, annotation, texts and sub-spectra but not its list or path; null
// when the given object is not a spectrum with a header. Its maker links a
// data array in with ap7a_LinkData and copies the list itself.
AP7_SPECTRUM* ap7b_NewLike(AP7_SPECTRUM* spectrum, HWND window);
// Links an array in as the data of a spectrum that has none and sets the
// header's point count and X range to match; 0 when either is unfit.
uint16_t ap7a_LinkData(AP7_SPECTRUM* spectrum, AP4_ARRAY* array, float first_x, float last_x, uint32_t count);

// X-range operations.
uint16_t ap7a_GetRangePoints(AP7_SPECTRUM* spectrum, float x1, float x2, uint32_t* count);  // 36
uint16_t ap7a_InsertPoints(AP7_SPECTRUM* spectrum, uint16_t at_start, int32_t count);      // 45
uint16_t ap7a_DeletePoints(AP7_SPECTRUM* spectrum, uint16_t at_start, int32_t count);      // 46
uint16_t ap7a_FillRange(AP7_SPECTRUM* spectrum, float x1, float x2, float value);          // 47
// Missing values are skipped; both outputs are missing when the range
// holds no present value. 0 when the range misses the data.
uint16_t ap7a_MinMax(AP7_SPECTRUM* spectrum, float x1, float x2, float* minimum, float* maximum);  // 59

// The X axis: the even grid of header p3 (points n), p6 (first X) and p7
// (last X). The conversions and the spacing are also called directly by the
// other spectrum operations.
float ap7b_GetXSpacing(const AP7_SPECTRUM* spectrum);
uint16_t ap7b_XToIndex(const AP7_SPECTRUM* spectrum, float x, int32_t* index);                    // 157
uint16_t ap7b_IndexToX(const AP7_SPECTRUM* spectrum, int32_t index, float* x);                    // 158
uint16_t ap7b_GetXSpacingOut(const void* object, float* spacing);                                 // 163
uint16_t ap7b_XToIndex64(const AP7_SPECTRUM* spectrum, float x, AP4_CELL* cell);                  // 164
uint16_t ap7b_CellToX(const AP7_SPECTRUM* spectrum, int32_t row, int32_t index, float* x);        // 165
uint32_t ap7b_GetXRange(const AP7_SPECTRUM* spectrum, float* first_x, float* last_x);             // 174
uint32_t ap7b_ClampXRange(AP7_SPECTRUM* spectrum, float* x1, float* x2);                          // 175
int32_t ap7b_CommonIndexRange(const AP7_SPECTRUM* spectrum, float* x1, float* x2, AP4_CELL* first, AP4_CELL* last,
                              const AP7_SPECTRUM* other, AP4_CELL* other_first, AP4_CELL* other_last);  // 181
uint32_t ap7b_ExtendToXRange(AP7_SPECTRUM* spectrum, float* x1, float* x2);                       // 219
uint32_t ap7b_ClampXRangeNearest(AP7_SPECTRUM* spectrum, float* x1, float* x2);                   // 227
uint16_t ap7b_MarkGridInterval(const AP7_SPECTRUM* spectrum, double x1, double x2, uint8_t* mask, uint32_t count,
                               float low, float high);                                            // 229
int32_t ap7b_XRangeToIndexRange(const AP7_SPECTRUM* spectrum, float* x1, float* x2, AP4_CELL* first,
                                AP4_CELL* last);                                                  // 241
uint32_t ap7b_PadToXRange(AP7_SPECTRUM* spectrum, float* x1, float* x2);                          // 280
uint16_t ap7b_FracIndexToX(const AP7_SPECTRUM* spectrum, float index, float* x);

// Accessors of one part of a spectrum.
AP41_SPECTRALHEADER* ap7b_DuplicateHeader(const AP7_SPECTRUM* spectrum);                                  // 149
uint16_t ap7b_ReplaceHeader(AP7_SPECTRUM* spectrum, AP41_SPECTRALHEADER* header);                         // 150
AP34_ANNOTATION* ap7b_DuplicateAnnotation(const AP7_SPECTRUM* spectrum);                                  // 152
uint16_t ap7b_CopyAnnotationFrom(AP7_SPECTRUM* spectrum, AP34_ANNOTATION* annotation);                    // 153
uint16_t ap7b_SetFilePath(AP7_SPECTRUM* spectrum, const char* path);                                      // 159
uint16_t ap7b_GetFilePath(const AP7_SPECTRUM* spectrum, char* buffer);                                    // 160
uint16_t ap7b_GetNameAndSubSpectra(const AP7_SPECTRUM* spectrum, const AP7_GETNAMEPARM* out);             // 161
uint16_t ap7b_SetNameAndSubSpectra(AP7_SPECTRUM* spectrum, const char* name, AP7_SPECTRUM* sub_a,
                                   AP7_SPECTRUM* sub_b);                                                  // 162
AP41_SPECTRALHEADER* ap7b_GetHeader(const AP7_SPECTRUM* spectrum);                                        // 168
uint16_t ap7b_SetHeader(AP7_SPECTRUM* spectrum, AP41_SPECTRALHEADER* header);                             // 169
AP34_ANNOTATION* ap7b_GetAnnotation(const AP7_SPECTRUM* spectrum);                                        // 170
uint16_t ap7b_SetAnnotation(AP7_SPECTRUM* spectrum, AP34_ANNOTATION* annotation);                         // 171
GU3_HANDLE ap7b_GetDataHandle(const AP7_SPECTRUM* spectrum);                                              // 172
uint16_t ap7b_SetDataHandle(AP7_SPECTRUM* spectrum, float first_x, float last_x, uint32_t count,
                            GU3_HANDLE block);                                                            // 173
// Messages 185 (get: 1) and 274 (set: 0).
uint16_t ap7b_GetSetTitle(AP7_SPECTRUM* spectrum, char* text, uint16_t get);                              // 185, 274
float* ap7b_GetDataPtr(const AP7_SPECTRUM* spectrum);                                                     // 220
uint16_t ap7b_GetHeaderP2(const AP7_SPECTRUM* spectrum, uint32_t* value);                                 // 277

// History and comment texts.
uint16_t ap7d_AddHistoryText(AP7_SPECTRUM* spectrum, const char* text);      // 192
char* ap7d_GetHistoryText(const AP7_SPECTRUM* spectrum);                     // 193
uint16_t ap7d_AddCommentText(AP7_SPECTRUM* spectrum, const char* text);      // 194
char* ap7d_GetCommentText(const AP7_SPECTRUM* spectrum);                     // 195
AP48_TEXT* ap7d_GetHistoryObject(const AP7_SPECTRUM* spectrum);              // 196
AP48_TEXT* ap7d_GetCommentObject(const AP7_SPECTRUM* spectrum);              // 197
uint16_t ap7d_SetCommentText(AP7_SPECTRUM* spectrum, const char* text);      // 198
uint16_t ap7d_SetHistoryText(AP7_SPECTRUM* spectrum, const char* text);      // 199
uint16_t ap7d_AddLoginUser(AP7_SPECTRUM* spectrum);                          // 315
uint16_t ap7d_GetHistoryKeyword(const AP7_SPECTRUM* spectrum, const char* keyword, char* value);  // 319
// The login line of the host settings object given (the library's global
// object for message 315): its label, the user name and "\r\n", when login
// use is configured or signatures are offered; then the host's display is
// told of a change. 1 when a name was appended.
uint16_t ap7d_AddLoginUserFrom(AP7_SPECTRUM* spectrum, void* settings);
// The history line of a processing step: the label of group 1096 with that
// number, the current date and time and "\r\n", then the login line. 1 when
// the line was appended; nothing is appended without the label.
uint16_t ap7d_AddHistoryLine(AP7_SPECTRUM* spectrum, uint16_t label);

// Queries of two spectra.
uint16_t ap7d_CompareSpacing(const AP7_SPECTRUM* spectrum, const AP7_SPECTRUM* other);  // 189
uint16_t ap7d_CopyListTo(const AP7_SPECTRUM* spectrum, AP7_SPECTRUM* other);           // 236

// ---------------------------------------------------------------------------
// Saving a spectrum or a list of spectra (ap7a_save.cpp, ap7d_save.cpp)
//
// A spectrum goes to the file its path names, through a spectrum-file
// object (class 21) of a format class; a list of spectra to the file its
// title member names, through a group-file object (class 51). A failed
// write leaves no file, except when the spectrum itself was written whole
// and only its stored interferograms failed (file error 5001, or 401).

constexpr uint16_t AP7_MSG_SAVE_TO_FILE = 200;
constexpr uint16_t AP7_MSG_SAVE_RANGE_TO_FILE = 208;

#pragma pack(push, 2)
// Message 200 (and list message 50), 2 bytes.
struct AP7_SAVEPARM {
  uint16_t format_class;
};
// Message 208, 10 bytes.
struct AP7_SAVERANGEPARM {
  uint16_t format_class;
  float x1;
  float x2;
};
#pragma pack(pop)
static_assert(sizeof(AP7_SAVEPARM) == 2);
static_assert(sizeof(AP7_SAVERANGEPARM) == 10);

// The workstation's electronic-signature library and its entry point, and
// the host option that asks for signed spectra.
constexpr char AP7_SIGNATURE_LIBRARY[] = "talvo_cr.dll";
constexpr char AP7_SIGN_FILE_ENTRY[] = "AP135_SignFile";
constexpr char AP7_FORCE_SIGNATURE_OPTION[] = "options ForceSigSpectra";
// Parameter of the host settings object that holds its option store.
constexpr uint16_t AP7_HOST_OPTION_STORE = 88;
// The file-name buffer the signature is given, and the count of texts.
constexpr uint32_t AP7_SIGNED_NAME_SIZE = 257;
constexpr uint16_t AP7_SIGN_TEXTS = 2;

// AP135_SignFile: (1, the count of texts 2, the texts: the entry's own name
// and the file name, 0); the answer is not used.
using AP7_SIGNFILE = int32_t (*)(uint32_t, uint16_t, const char* const*, uint32_t);

// The host's option store as the save asks it: a 16-bit option by its
// name, the sixth operation of the interface.
class IApOptionStore : public IUnknown {
 public:
  virtual HRESULT Reserved3() = 0;                                      // slot 3
  virtual HRESULT Reserved4() = 0;                                      // slot 4
  virtual HRESULT GetShortOption(const char* name, int16_t* value) = 0;  // slot 5
};

// Message 14: a spectrum (or, called directly, a list of spectra) written
// to its file and, where the workstation asks for signatures, the saved
// file signed. 1 when the file was written; a failed bookkeeping step after
// a whole write answers 0 and keeps the file.
uint16_t ap7a_SaveSigned(AP_OBJECT* object);
// Message 200 of a spectrum and message 50 of a list: the object written
// through a file object of the format class.
uint16_t ap7d_SaveToFile(AP_OBJECT* object, uint16_t format_class);
// The list's spectra as a group file of the format class, named by the
// list's title member (removed from the list and destroyed); the name
// found is copied into `path` (MAX_PATH bytes) when given.
uint16_t ap7d_SaveListToFile(AP40_LLIST* list, uint16_t format_class, char* path);
// Message 208: a region of the spectrum, as its format class writes one.
uint16_t ap7d_SaveRangeToFile(AP7_SPECTRUM* spectrum, uint16_t format_class, float x1, float x2);

// ---------------------------------------------------------------------------
// A range as delimited text, and fitting the data to an X range
// (ap7a_range.cpp, ap7d_rangetext.cpp, ap7d_spacing.cpp, ap7d_title.cpp)

constexpr uint16_t AP7_MSG_RANGE_TO_TEXT = 212;
constexpr uint16_t AP7_MSG_RANGE_FROM_TEXT = 216;
constexpr uint16_t AP7_MSG_FIT_TO_X_RANGE = 237;

// History bit of values put into a spectrum from a range text.
constexpr int16_t AP41_HISTORY_FROM_TEXT = 43;

// Range texts: at most this many points are written.
constexpr uint32_t AP7_TEXT_RANGE_POINTS = 2048;

#pragma pack(push, 2)
// Message 212.
struct AP7_XRANGEPARM {
  float x1;
  float x2;
};
#pragma pack(pop)
static_assert(sizeof(AP7_XRANGEPARM) == 8);

// A copy of the spectrum cut to x1..x2 (an open end reaches the end of the
// data); null when the range misses the data.
AP7_SPECTRUM* ap7a_NewFromRange(AP7_SPECTRUM* spectrum, float x1, float x2);
// Message 212: the points of x1..x2 as one line of text, "count;first
// X;last X;y0;y1;...", the separator being the list separator; a memory
// handle of the NUL-terminated text, or null.
GU3_HANDLE ap7d_RangeToText(AP7_SPECTRUM* spectrum, float x1, float x2);
// Message 216: a range text, fields split at ",", interpolated onto the
// spectrum's points where the two ranges overlap. 1 when values were
// written.
uint16_t ap7d_RangeFromText(AP7_SPECTRUM* spectrum, const char* text);
// Message 237: the data fitted to the wanted X range x1..x2, which may lie
// in an alias band above the folding limit of an undersampled collection;
// points beyond the data become missing values. x1 and x2 receive the range
// reached; the point count, or 0.
uint32_t ap7d_FitToXRange(AP7_SPECTRUM* spectrum, float* x1, float* x2);
// The runs of missing values as X intervals, each reaching one spacing
// beyond its run on both sides, start below end, into arrays of
// AP7_MOST_GAPS floats; gaps beyond the last slot overwrite it. The number
// of gaps.
constexpr uint32_t AP7_MOST_GAPS = 100;
uint32_t ap7d_ListNaNGaps(const AP7_SPECTRUM* spectrum, float* starts, float* ends);
// Every point strictly inside one of the gaps (at most AP7_MOST_GAPS)
// becomes a missing value; 1.
uint16_t ap7d_ReblankGaps(AP7_SPECTRUM* spectrum, uint32_t count, const float* starts, const float* ends);
constexpr uint16_t AP7_MSG_INTERPOLATE_BY_SUBDIVISION = 238;
#pragma pack(push, 2)
// Message 238.
struct AP7_SPACINGPARM {
  float x1;
  float x2;
  float spacing;
};
#pragma pack(pop)
static_assert(sizeof(AP7_SPACINGPARM) == 12);
// Message 238: a new spectrum of the stretch x1..x2 at about the target
// spacing, reached by halving or doubling the spacing; the runs of missing
// values stay missing. Null when refused (an axis of data points, a target
// that is not a positive number, a falling axis, too few points left).
AP7_SPECTRUM* ap7d_InterpolateBySubdivision(AP7_SPECTRUM* spectrum, float x1, float x2, float spacing);
// The text put in front of the title (cut to fit its 255 characters); 1
// when the title was changed.
uint16_t ap7d_PrependTitle(AP7_SPECTRUM* spectrum, const char* text);

// ---------------------------------------------------------------------------
// Pixel spans for drawing (ap7d_draw.cpp)

constexpr uint16_t AP7_MSG_DRAW_SPANS = 210;

#pragma pack(push, 2)
// Message 210.
struct AP7_DRAWSPANSPARM {
  float xa;  // x range across the window
  float xb;
  float x3;  // the trace is wanted up to here
  float ya;  // value range over the window height
  float yb;
  uint16_t width;   // pixel columns
  uint16_t height;  // screen units
  uint16_t* low_rows;   // width values each
  uint16_t* high_rows;
  uint32_t* first_column;  // out: the first column filled
  uint32_t* end_column;    // out: the column after the last one filled
};
#pragma pack(pop)
static_assert(sizeof(AP7_DRAWSPANSPARM) == 40);

// Message 210: the low and high screen rows of the columns the trace covers
// from the window's left edge up to x3, the first new column joined to the
// one before it; the array scaling's result, or 0 when nothing was drawn
// (both outs then 0).
uint16_t ap7d_GetDrawSpans(AP7_SPECTRUM* spectrum, float xa, float xb, float x3, float ya, float yb, uint16_t width,
                           uint16_t height, uint16_t* low_rows, uint16_t* high_rows, uint32_t* first_column,
                           uint32_t* end_column);

// ---------------------------------------------------------------------------
// Band shapes and the peak cache (ap7d_bands.cpp)
//
// Model bands written into a spectrum's Y values for band fitting: the
// profiles themselves, their partial derivatives by their parameters, noise,
// baselines and orthonormal polynomial vectors.

constexpr uint16_t AP7_MSG_SYNTHESIZE_BAND = 312;
constexpr uint16_t AP7_MSG_BAND_SHAPE_AREA = 437;

// Shape codes. Profiles with a width w (full width at half height), centre
// x0, a second parameter p2 and a third p3, as each code names them.
enum AP7_BANDSHAPE : uint16_t {
  AP7_SHAPE_CLEAR = 0,            // every Y value 0
  AP7_SHAPE_BASELINE = 1,         // a line from w at the first point to p2 at the last
  AP7_SHAPE_RECTANGLE = 2,
  AP7_SHAPE_GAUSSIAN = 3,
  AP7_SHAPE_LORENTZIAN = 4,
  AP7_SHAPE_PSEUDO_VOIGT = 5,     // Lorentzian width p2, Gaussian share p3
  AP7_SHAPE_PEARSON_VII = 6,      // exponent p2 >= 1
  AP7_SHAPE_VOIGT = 7,            // Gaussian width w, Lorentzian width p2, by convolution
  AP7_SHAPE_BLANK = 8,            // missing values over the width
  AP7_SHAPE_NOISE = 9,            // noise of rms h
  AP7_SHAPE_LOG_NORMAL = 10,      // distribution of mean x0, spread w, origin p2
  AP7_SHAPE_LOG_NORMAL_BAND = 11, // asymmetry p2
  AP7_SHAPE_VOIGT_APPROX = 12,    // Gaussian width w, Lorentzian width p2, four-term approximation
  // Orthonormal polynomial vectors of degree 0 to 3.
  AP7_SHAPE_BASIS_CONSTANT = 20,
  AP7_SHAPE_BASIS_LINEAR = 21,
  AP7_SHAPE_BASIS_QUADRATIC = 22,
  AP7_SHAPE_BASIS_CUBIC = 23,
  // Derivatives of the Gaussian and the Lorentzian by the centre and the
  // width: analytic (1x3, 1x4) or as a difference over a small step (2x3, 2x4).
  AP7_SHAPE_GAUSSIAN_BY_CENTRE = 113,
  AP7_SHAPE_GAUSSIAN_BY_WIDTH = 123,
  AP7_SHAPE_GAUSSIAN_STEP_CENTRE = 213,
  AP7_SHAPE_GAUSSIAN_STEP_WIDTH = 223,
  AP7_SHAPE_LORENTZIAN_BY_CENTRE = 114,
  AP7_SHAPE_LORENTZIAN_BY_WIDTH = 124,
  AP7_SHAPE_LORENTZIAN_STEP_CENTRE = 214,
  AP7_SHAPE_LORENTZIAN_STEP_WIDTH = 224,
  // Derivatives by central difference over the whole spectrum; the two codes
  // of a pair give the same column.
  AP7_SHAPE_PSEUDO_VOIGT_BY_CENTRE = 115,
  AP7_SHAPE_PSEUDO_VOIGT_BY_CENTRE_2 = 215,
  AP7_SHAPE_PSEUDO_VOIGT_BY_WIDTHS = 125,  // w and p2 moved together
  AP7_SHAPE_PSEUDO_VOIGT_BY_WIDTHS_2 = 225,
  AP7_SHAPE_PSEUDO_VOIGT_BY_SHARE = 135,
  AP7_SHAPE_PSEUDO_VOIGT_BY_SHARE_2 = 235,
  AP7_SHAPE_VOIGT_APPROX_BY_CENTRE = 117,
  AP7_SHAPE_VOIGT_APPROX_BY_CENTRE_2 = 217,
  AP7_SHAPE_VOIGT_APPROX_BY_WIDTH = 127,
  AP7_SHAPE_VOIGT_APPROX_BY_WIDTH_2 = 227,
  AP7_SHAPE_VOIGT_APPROX_BY_SECOND = 137,
  AP7_SHAPE_VOIGT_APPROX_BY_SECOND_2 = 237,
  AP7_SHAPE_LOG_NORMAL_BAND_BY_CENTRE = 110,
  AP7_SHAPE_LOG_NORMAL_BAND_BY_CENTRE_2 = 210,
  AP7_SHAPE_LOG_NORMAL_BAND_BY_WIDTH = 120,
  AP7_SHAPE_LOG_NORMAL_BAND_BY_WIDTH_2 = 220,
  AP7_SHAPE_LOG_NORMAL_BAND_BY_ASYMMETRY = 130,
  AP7_SHAPE_LOG_NORMAL_BAND_BY_ASYMMETRY_2 = 230,
};

#pragma pack(push, 2)
// Message 312, 28 bytes: an X array of one value per point (null: the
// spectrum's even axis), kept alive by the caller for the call.
struct AP7_BANDPARM {
  const float* x;
  uint16_t shape;
  float height;
  float centre;
  float width;
  float second;
  float third;
  int16_t clear;
};
// Message 437, 26 bytes; the centre is not read.
struct AP7_BANDAREAPARM {
  float* area;
  uint16_t shape;
  float height;
  float centre;
  float width;
  float second;
  float third;
};
#pragma pack(pop)
static_assert(sizeof(AP7_BANDPARM) == 28);
static_assert(sizeof(AP7_BANDAREAPARM) == 26);

// Message 312: the band added to (or for derivatives and vectors written
// into) the Y values, cleared first when asked or for shape 0. 1 done; 0
// for no Y values, an unknown shape or a parameter out of its range, Y then
// as the clearing left it.
uint16_t ap7d_SynthesizeBand(AP7_SPECTRUM* spectrum, const float* x, uint16_t shape, float height, float centre,
                             float width, float second, float third, int16_t clear);
// Message 437: the area of the band centred on the spectrum's X range, by
// the trapezoid rule over the spectrum's points; *area stays missing when
// the band is refused. The synthesis result.
uint16_t ap7d_BandShapeArea(AP7_SPECTRUM* spectrum, float* area, uint16_t shape, float height, float centre,
                            float width, float second, float third);

// The peak cache: profiles once computed, kept as the values they added to
// Y, so that a repeated request adds the same values without computing
// them. A record serves only a request of the same shape, parameters and
// axis: the even grid of that many points over first_x..last_x, or an X
// array whose values agree over the stretch the profile reached.
struct AP7D_PEAKKEY {
  uint16_t kind;
  float height;
  float centre;
  float width;
  float second;
  float third;
  uint32_t points;
  float first_x;
  float last_x;
  const float* x;  // null: the even grid
};
// (Re)builds the cache with n records of slices of m floats, dropping what
// it held; capacity 0 (nothing kept) for n or m below 1. 0 when its memory
// could not be had, the cache then empty.
APEXPORT int16_t AP7D_InitPeakCache(int32_t n, int32_t m);
// On a match, the stored values are added to y over their stretch: true.
bool ap7d_PeakCacheLookup(const AP7D_PEAKKEY& key, float* y);
// The values added over first..end-1 kept in the next record, cyclically,
// when the stretch is shorter than the slice length less one point.
void ap7d_PeakCacheStore(const AP7D_PEAKKEY& key, const float* added, int32_t first, int32_t end);
// The Voigt profile at t Gaussian standard deviations from its centre, for
// a Lorentzian half width of a standard deviations, 1 at the centre.
float ap7d_VoigtByConvolution(float t, float a, float a_squared);
// The four-term Voigt approximation on an explicit X axis, through the
// cache; 0 for a width that is not above 0.
uint16_t ap7d_AddVoigtApprox(AP7_SPECTRUM* spectrum, float* y, const float* x, float width, float second,
                             float centre, float height);

// ---------------------------------------------------------------------------
// Completion of missing collection parameters (ap7d_collection.cpp)

constexpr uint16_t AP7_MSG_COMPLETE_COLLECT_PARAMS = 260;

// Message 260 ({i16 correct-axis flag}): the collection parameters that are
// 0 (laser frequency, spacing factor, transform and interferogram counts,
// peak position, scan counts, gain) worked out from the X axis of the data,
// in wavenumbers or Raman shift from a known laser line; with the flag, a
// wavenumber axis whose spacing does not fit the laser is rescaled onto
// it. 1 when a parameter was changed. Other X units only receive the
// default laser frequency where there is none, and answer 0.
uint16_t ap7d_CompleteCollectParams(AP7_SPECTRUM* spectrum, int16_t correct_axis);

// ---------------------------------------------------------------------------
// Regrids and axis shifts, derivatives, smoothing and convolution, the
// concentration text, the correlation of two spectra and the interpolation
// by FFT (ap7a_regrid.cpp, ap7a_derivatives.cpp, ap7a_correlate.cpp,
// ap7a_range.cpp, ap7d_spacing.cpp)

constexpr uint16_t AP7_MSG_RANGE_TRANSFORM = 64;
constexpr uint16_t AP7_MSG_DERIVATIVE = 67;
constexpr uint16_t AP7_MSG_SECOND_DERIVATIVE = 68;
constexpr uint16_t AP7_MSG_SG_SMOOTH = 69;
constexpr uint16_t AP7_MSG_CONVOLVE = 79;
constexpr uint16_t AP7_MSG_INTERPOLATE_BY_FFT = 230;
constexpr uint16_t AP7_MSG_RANGE_TRANSFORM_INSIDE = 239;
constexpr uint16_t AP7_MSG_SHIFT_X_AXIS = 295;
constexpr uint16_t AP7_MSG_SHIFT_X_EXACT = 296;
constexpr uint16_t AP7_MSG_ADD_CONCENTRATION_TEXT = 327;
constexpr uint16_t AP7_MSG_CORRELATE_SPECTRA = 329;
constexpr uint16_t AP7_MSG_SIMILARITY_INDEX = 292;

// Association group of the title prefixes of new spectra, and its texts.
constexpr uint16_t AP7_GROUP_TITLE_PREFIX = 1007;
constexpr uint16_t AP7_TITLE_SMOOTHED = 5;
constexpr uint16_t AP7_TITLE_FIRST_DERIVATIVE = 7;
constexpr uint16_t AP7_TITLE_SECOND_DERIVATIVE = 8;

// The most points an operation makes a spectrum of: as many as a header
// counts.
constexpr uint32_t AP7_MOST_POINTS = 500000;

// The Y unit of derivatives: other units.
constexpr uint32_t AP41_YUNITS_OTHER = 8;
// The X unit of Raman shifts, whose laser line (p44) moves against the axis.
constexpr uint32_t AP41_XUNITS_RAMAN_SHIFT = 32;

// Status codes of the correlation of two spectra (message 329).
enum AP7_CORRELATION_STATUS : uint32_t {
  AP7_CORRELATION_DONE = 0,
  AP7_CORRELATION_NOT_SPECTRA = 1,
  AP7_CORRELATION_NO_RESULT = 2,
  AP7_CORRELATION_BAD_MODE = 3,
  AP7_CORRELATION_SPACINGS_DIFFER = 4,
  AP7_CORRELATION_NO_OVERLAP = 5,
  AP7_CORRELATION_RANGE_OUTSIDE = 6,
  AP7_CORRELATION_CUT_FAILED = 7,
  AP7_CORRELATION_NO_PAIRS = 8
};
// Its modes: the values as they are, about their means, or the differences
// of points two apart.
constexpr uint32_t AP7_CORRELATE_RAW = 0;
constexpr uint32_t AP7_CORRELATE_CENTRED = 1;
constexpr uint32_t AP7_CORRELATE_DIFFERENCES = 2;

#pragma pack(push, 2)
// Message 69: the range and the window width in points.
struct AP7_SMOOTHPARM {
  float x1;
  float x2;
  uint32_t window;
};
// Message 79: the range, the kernel spectrum and the option (0 convolution,
// 1 division).
struct AP7_CONVOLVEPARM {
  float x1;
  float x2;
  AP7_SPECTRUM* kernel;
  uint16_t option;
};
// Messages 295 and 296.
struct AP7_SHIFTPARM {
  float dx;
};
// Message 329: the second spectrum, the mode, the range and where the
// coefficient goes.
struct AP7_CORRELATEPARM {
  AP7_SPECTRUM* other;
  uint32_t mode;
  float x1;
  float x2;
  float* result;
};
#pragma pack(pop)
static_assert(sizeof(AP7_SMOOTHPARM) == 12);
static_assert(sizeof(AP7_CONVOLVEPARM) == 14);
static_assert(sizeof(AP7_SHIFTPARM) == 4);
static_assert(sizeof(AP7_CORRELATEPARM) == 20);

#pragma pack(push, 2)
// Message 292: the second spectrum, the range, the sharpening flag and
// where the index goes.
struct AP7_SIMILARITYPARM {
  AP7_SPECTRUM* other;
  float x1;
  float x2;
  uint16_t sharpen;
  float* index;
};
#pragma pack(pop)
static_assert(sizeof(AP7_SIMILARITYPARM) == 18);

// A spectrum made by an operation, deleted unless it is handed out.
class ap7a_new_spectrum {
 public:
  explicit ap7a_new_spectrum(AP7_SPECTRUM* spectrum) : spectrum_(spectrum) {}
  ~ap7a_new_spectrum() {
    if (spectrum_ != nullptr) ap7a_Delete(spectrum_, nullptr);
  }
  ap7a_new_spectrum(const ap7a_new_spectrum&) = delete;
  ap7a_new_spectrum& operator=(const ap7a_new_spectrum&) = delete;
  AP7_SPECTRUM* get() const { return spectrum_; }
  AP7_SPECTRUM* release() {
    AP7_SPECTRUM* spectrum = spectrum_;
    spectrum_ = nullptr;
    return spectrum;
  }

 private:
  AP7_SPECTRUM* spectrum_;
};

// The copy cut of the correlation and of the peak regions: each end at the
// grid point nearest its limit, never beyond the data; history bit 28. Null
// when the range misses the data.
AP7_SPECTRUM* ap7a_NewFromRangeStrict(AP7_SPECTRUM* spectrum, float x1, float x2);

// Message 64: the stretch first..last (in either order) sampled onto a new
// grid from the lower limit with the given spacing, the data continued with
// their end values where the grid passes them; message 239: the grid kept
// inside the data and continued with copies of its last value. A new
// spectrum (history bit 33), or null for a spacing that is not a positive
// number, a range missing the data or too many points.
AP7_SPECTRUM* ap7a_RangeTransform(AP7_SPECTRUM* spectrum, float x1, float x2, float spacing);   // 64
AP7_SPECTRUM* ap7a_RangeTransform2(AP7_SPECTRUM* spectrum, float x1, float x2, float spacing);  // 239
// Message 295: this spectrum's axis moved by dx, and a new spectrum of its
// values sampled on the old grid. Message 296: a copy whose axis moves by the
// whole number of spacings nearest dx, rounded half up and truncated toward
// zero; the values stay.
APEXPORT AP7_SPECTRUM* AP7_ShiftXAxis_SPECTRUM(AP7_SPECTRUM* spectrum, float dx);              // 295
APEXPORT AP7_SPECTRUM* AP7_ShiftXExact_SPECTRUM(AP7_SPECTRUM* spectrum, float dx);             // 296

// New spectra of the range's points made by the ARRAY operation of the same
// number; this spectrum stays as it was. Null when the range misses the data
// or the operation refuses.
AP7_SPECTRUM* ap7a_Derivative(AP7_SPECTRUM* spectrum, float x1, float x2);                      // 67
AP7_SPECTRUM* ap7a_DerivativeRange(AP7_SPECTRUM* spectrum, float x1, float x2);                 // 68
AP7_SPECTRUM* ap7a_SGSmooth(AP7_SPECTRUM* spectrum, float x1, float x2, uint32_t window);       // 69
AP7_SPECTRUM* ap7a_Convolve(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* kernel,
                            uint16_t option);                                                   // 79

// Message 327: "Concs={v,v,...,}c" and a line end appended to the comment,
// the values those of the array. 1 when appended.
uint16_t ap7a_AddConcentrationText(AP7_SPECTRUM* spectrum, AP4_ARRAY* values);                 // 327
// Message 329: the correlation coefficient of this spectrum and the other
// over x1..x2 (both not given: their overlap) into *result; a status code.
uint32_t ap7a_CorrelateSpectra(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* other, uint32_t mode, float x1, float x2,
                               float* result);                                                  // 329
// Message 292: 100 times the size of the coefficient of the differences two
// points apart of both spectra cut to x1..x2 (within their overlap), with
// sharpening (r + r^21) / 2; 1 when computed, else 0 with an index of 0.
uint16_t ap7d_SimilarityIndex(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* other, float x1, float x2, uint16_t sharpen,
                              float* index);                                                    // 292

// Message 230: a new spectrum of the stretch x1..x2 at about the target
// spacing, reached by zero filling or cutting the middle of its transform;
// the runs of missing values stay missing. Null when refused (a target that
// is not a positive number, a spacing of 0, a transform too long or short).
AP7_SPECTRUM* ap7d_InterpolateByFFT(AP7_SPECTRUM* spectrum, float x1, float x2, float spacing);  // 230

// ---------------------------------------------------------------------------
// Element, arithmetic and statistics operations over X ranges
// (ap7a_arithmetic.cpp)

constexpr uint16_t AP7_MSG_SET_VALUE_AT_X = 38;
constexpr uint16_t AP7_MSG_COPY_RANGE_FROM = 40;
constexpr uint16_t AP7_MSG_SET_DATA = 42;
constexpr uint16_t AP7_MSG_ADD_SPECTRA = 48;
constexpr uint16_t AP7_MSG_ADD_SCALAR = 49;
constexpr uint16_t AP7_MSG_SUBTRACT_SPECTRA = 50;
constexpr uint16_t AP7_MSG_SUBTRACT_SCALAR = 51;
constexpr uint16_t AP7_MSG_MULTIPLY_SPECTRA = 53;
constexpr uint16_t AP7_MSG_MULTIPLY_SCALAR = 54;
constexpr uint16_t AP7_MSG_DIVIDE_SPECTRA = 55;
constexpr uint16_t AP7_MSG_DIVIDE_SCALAR = 56;
constexpr uint16_t AP7_MSG_RANGE_SUM = 60;
constexpr uint16_t AP7_MSG_RANGE_MEAN = 61;
constexpr uint16_t AP7_MSG_RANGE_STD_DEV = 62;
constexpr uint16_t AP7_MSG_APPLY_FUNCTION = 63;
constexpr uint16_t AP7_MSG_CORRELATE_RANGES = 78;
constexpr uint16_t AP7_MSG_RANGE_PAIR_OP = 80;
constexpr uint16_t AP7_MSG_SCALED_MIN_MAX = 223;
constexpr uint16_t AP7_MSG_COUNT_VALID_PAIRS = 234;
constexpr uint16_t AP7_MSG_MIN_MAX_X = 332;

// Texts of the title prefix group: the title of a sum, and the prefixes of a
// difference and of a range multiplied by a value.
constexpr uint16_t AP7_TITLE_SUM = 1;
constexpr uint16_t AP7_TITLE_DIFFERENCE = 2;
constexpr uint16_t AP7_TITLE_SCALED = 9;

#pragma pack(push, 2)
// Message 38.
struct AP7_SETVALUEATXPARM {
  float x;
  float value;
};
// Messages 40, 48, 50, 53 and 55: the range and the other spectrum.
struct AP7_PAIRPARM {
  float x1;
  float x2;
  AP7_SPECTRUM* other;
};
// Messages 60, 61 and 62: where the statistic goes.
struct AP7_STATPARM {
  float x1;
  float x2;
  float* result;
};
// Message 63.
struct AP7_APPLYPARM {
  float x1;
  float x2;
  AP4_ELEMENTFUNCTION function;
};
// Messages 78 and 80: the range, the other spectrum and where the result goes.
struct AP7_PAIRRESULTPARM {
  float x1;
  float x2;
  AP7_SPECTRUM* other;
  float* result;
};
// Message 234.
struct AP7_PAIRCOUNTPARM {
  float x1;
  float x2;
  AP7_SPECTRUM* other;
  uint32_t* count;
};
// Message 332: each extreme, then the X where it lies.
struct AP7_MINMAXXPARM {
  float x1;
  float x2;
  float* minimum;
  float* minimum_x;
  float* maximum;
  float* maximum_x;
};
#pragma pack(pop)
static_assert(sizeof(AP7_SETVALUEATXPARM) == 8);
static_assert(sizeof(AP7_PAIRPARM) == 12);
static_assert(sizeof(AP7_STATPARM) == 12);
static_assert(sizeof(AP7_APPLYPARM) == 12);
static_assert(sizeof(AP7_PAIRRESULTPARM) == 16);
static_assert(sizeof(AP7_PAIRCOUNTPARM) == 16);
static_assert(sizeof(AP7_MINMAXXPARM) == 24);
// Messages 49, 51, 54 and 56 take a range and a value as message 47 does;
// message 42 takes an axis and a block as message 173 does; message 223 takes
// the block of message 59.
using AP7_SCALARPARM = AP7_FILLPARM;

// The value at the grid point nearest to x; 0 when x lies outside the data.
uint16_t ap7a_GetValueAtX(AP7_SPECTRUM* spectrum, float x, float* value);                          // 37
uint16_t ap7a_SetValueAtX(AP7_SPECTRUM* spectrum, float x, float value);                           // 38
// This spectrum's values over the common range written into the other's;
// 1 without a common range, 0 for spectra whose spacings differ.
uint16_t ap7a_CopyRangeFrom(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* other);      // 40
// The data replaced by a copy of count floats of the block, on the axis given.
uint16_t ap7a_SetData(AP7_SPECTRUM* spectrum, float first_x, float last_x, uint32_t count,
                      GU3_HANDLE block);                                                           // 42
// A new spectrum over the common range of the two, made like this one; null
// when there is none, the spacings differ or (adding) the Y units differ.
// Subtracting with x1 open takes this spectrum's whole range.
AP7_SPECTRUM* ap7a_AddSpectra(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* other);       // 48
AP7_SPECTRUM* ap7a_SubtractSpectra(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* other);  // 50
AP7_SPECTRUM* ap7a_MultiplySpectra(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* other);  // 53
AP7_SPECTRUM* ap7a_DivideSpectra(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* other);    // 55
// The range changed in place by the value.
uint16_t ap7a_AddScalar(AP7_SPECTRUM* spectrum, float x1, float x2, float value);                  // 49
uint16_t ap7a_SubtractScalar(AP7_SPECTRUM* spectrum, float x1, float x2, float value);             // 51
uint16_t ap7a_MultiplyScalar(AP7_SPECTRUM* spectrum, float x1, float x2, float value);             // 54
uint16_t ap7a_DivideScalar(AP7_SPECTRUM* spectrum, float x1, float x2, float value);               // 56
// Statistics of the present values of the range.
uint16_t ap7a_RangeSum(AP7_SPECTRUM* spectrum, float x1, float x2, float* sum);                    // 60
uint16_t ap7a_RangeMean(AP7_SPECTRUM* spectrum, float x1, float x2, float* mean);                  // 61
uint16_t ap7a_RangeStdDev(AP7_SPECTRUM* spectrum, float x1, float x2, float* deviation);           // 62
uint16_t ap7a_ApplyFunction(AP7_SPECTRUM* spectrum, float x1, float x2, AP4_ELEMENTFUNCTION function);  // 63
// Over the common range: the regression slope of this spectrum on the
// other, their dot product, and the points where both values are present
// (1 with a count of 0 without a common range).
uint16_t ap7a_CorrelateRanges(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* other, float* slope);  // 78
uint16_t ap7a_RangePairOp(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* other, float* product);   // 80
uint16_t ap7a_CountValidPairs(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* other,
                              uint32_t* count);                                                    // 234
// Minimum and maximum; for the single-beam, Raman, ratio and reference Y
// units (and code 9) of y / f² with f = 10000 / x (100 where x <= 0), an
// extreme that nothing reached being 0.
uint16_t ap7a_ScaledMinMax(AP7_SPECTRUM* spectrum, float x1, float x2, float* minimum, float* maximum);  // 223
// Minimum and maximum with the X of each; the X values are written only
// when both addresses are given (missing for an extreme that nothing reached).
uint16_t ap7a_MinMaxX(AP7_SPECTRUM* spectrum, float x1, float x2, float* minimum, float* minimum_x, float* maximum,
                      float* maximum_x);                                                           // 332

// ---------------------------------------------------------------------------
// Y-unit conversions, band areas, feature values and measured feature values
// (ap7b_yconvert.cpp, ap7b_area.cpp, ap7d_yunits.cpp, ap7d_features.cpp,
// ap7d_measure.cpp)

constexpr uint16_t AP7_MSG_TO_ABSORBANCE = 133;
constexpr uint16_t AP7_MSG_TO_PERCENT_TRANSMITTANCE = 134;
constexpr uint16_t AP7_MSG_TO_PHOTOACOUSTIC = 135;
constexpr uint16_t AP7_MSG_TO_KUBELKA_MUNK = 136;
constexpr uint16_t AP7_MSG_TO_PERCENT_REFLECTANCE = 137;
constexpr uint16_t AP7_MSG_TO_LOG_INVERSE_R = 138;
constexpr uint16_t AP7_MSG_MEASURE_AREA = 178;
constexpr uint16_t AP7_MSG_PREPEND_TITLE = 201;
constexpr uint16_t AP7_MSG_CONVERT_Y_UNITS = 204;
constexpr uint16_t AP7_MSG_FEATURE_VALUES = 222;
constexpr uint16_t AP7_MSG_FEATURE_COUNT = 226;
constexpr uint16_t AP7_MSG_MEASURE_FEATURE = 245;
constexpr uint16_t AP7_MSG_MEASUREMENT_COUNT = 247;
constexpr uint16_t AP7_MSG_MEASURE_FEATURE_SWITCHED = 313;
constexpr uint16_t AP7_MSG_FEATURE_VALUES_TRANSFORMED = 324;
constexpr uint16_t AP7_MSG_MEASURE_FEATURE_EX = 325;
// The peak measurement of the processing operations, which the measured
// feature values send: one value into the record (243), and a new spectrum
// of a baseline-corrected region (246).
constexpr uint16_t AP7_MSG_MEASURE_PEAK = 243;
constexpr uint16_t AP7_MSG_MEASURE_REGION = 246;

// Transforms a feature value can be given (messages 324 and 325).
constexpr uint16_t AP7_FEATURE_PLAIN = 0;
constexpr uint16_t AP7_FEATURE_LOG10 = 1;
constexpr uint16_t AP7_FEATURE_RECIPROCAL = 2;

// Peak-measurement record, 156 bytes, owned by the caller of messages 242
// to 246 (the block of 242 to 244 is the record itself).
//    0  2  type 101..136
//    2  2  baseline point count (0, 1 or 2)
//    4  2  baseline mode 0..7
//    6  2  X source: 0 raw data, else baseline-corrected data
//    8  2  slope mode of message 244
//   10  2  not read by the measurement
//   12  4  fraction of the peak height (types 108, 112)
//   16  4  X offset (type 118)
//   20  4  result X
//   24  4  X of the point types
//   28  8  region start, region end
//   36  4  baseline level of mode 0
//   40  4  full scale
//   44  2  not read by the measurement
//   46  8  baseline X1, Y1
//   54  8  position 1, region 1 end
//   62  8  baseline X2, Y2
//   70  8  position 2, region 2 end
//   78  8  slope range low, high (message 244)
//   86  2  acceptance window on
//   88  8  window low, high
//   96  4  percent or level of the width, centre and crossing types
//  100 16  baseline slope b, value a, origin x0, curvature c
//  116  8  area corrected, area raw
//  124 16  point set: X corrected, X raw, value corrected, value raw
//  140 16  fitted set: X corrected, X raw, value corrected, value raw
#pragma pack(push, 2)
struct AP7_MEASUREREC {
  uint16_t type;
  uint16_t point_count;
  uint16_t baseline_mode;
  uint16_t x_source;
  uint16_t slope_mode;
  uint16_t unused_10;
  float fraction;
  float x_offset;
  float result_x;
  float x;
  float region_start;
  float region_end;
  float level;
  float full_scale;
  uint16_t unused_44;
  float baseline_x1;
  float baseline_y1;
  float position1;
  float region1_end;
  float baseline_x2;
  float baseline_y2;
  float position2;
  float region2_end;
  float slope_low;
  float slope_high;
  uint16_t window_on;
  float window_low;
  float window_high;
  float percent;
  float slope_b;
  float value_a;
  float origin_x0;
  float curvature_c;
  float area_corrected;
  float area_raw;
  float point_x_corrected;
  float point_x_raw;
  float point_value_corrected;
  float point_value_raw;
  float fitted_x_corrected;
  float fitted_x_raw;
  float fitted_value_corrected;
  float fitted_value_raw;
};
// Message 246, 26 bytes.
struct AP7_MEASUREREGIONPARM {
  AP7_MEASUREREC* record;
  float upper;  // value limits; the missing-value marker is no limit
  float lower;
  uint16_t reverse;
  uint32_t* count;       // out: the region's point count
  GU3_HANDLE mask;       // u16 per region point, or null
  int32_t* start_index;  // out, or null
};
// Message 178, 24 bytes.
struct AP7_AREAPARM {
  float x1;  // band range
  float x2;
  float x3;  // baseline range
  float x4;
  float* area_level;     // out: above the full-scale level
  float* area_baseline;  // out: above the line through the baseline range
};
// Feature record, 20 bytes: the kind (truncated toward zero) and up to four
// X positions.
struct AP7_FEATURE {
  float kind;
  float x1;
  float x2;
  float x3;
  float x4;
};
// Messages 222 and 324 (which adds the transform).
struct AP7_FEATUREPARM {
  const AP7_FEATURE* feature;
  float* values;  // out: as many floats as message 226 counts
  uint16_t transform;
};
// Measurement description of messages 245, 313 and 325, 52 bytes: d1..d13.
struct AP7_MEASUREDESC {
  float kind;           // d1
  float baseline_mode;  // d2
  float point_count;    // d3
  float level;          // d4
  float x1;             // d5
  float d6;
  float x2;             // d7
  float baseline1_x;    // d8
  float region_option;  // d9
  float baseline1_y;    // d10: for kinds 1 to 19 the second baseline X
  float baseline2_x;    // d11
  float extra;          // d12
  float baseline2_y;    // d13
};
// Messages 245 (to index_out), 313 (to the switch) and 325 (whole), 40 bytes.
struct AP7_MEASUREFEATUREPARM {
  const AP7_MEASUREDESC* description;
  float* values;  // out
  float r1;       // value limits of a region measurement
  float r2;
  float v;        // handed on with the kinds of 101 and above
  GU3_HANDLE region_argument;
  int32_t* index_out;
  uint16_t mode_switch;  // baseline mode 1 or 7 becomes 6
  uint16_t transform;
  uint16_t extra_flag;
  float extra1;
  float extra2;
};
#pragma pack(pop)
static_assert(sizeof(AP7_MEASUREREC) == 156);
static_assert(offsetof(AP7_MEASUREREC, fraction) == 12);
static_assert(offsetof(AP7_MEASUREREC, x) == 24);
static_assert(offsetof(AP7_MEASUREREC, full_scale) == 40);
static_assert(offsetof(AP7_MEASUREREC, baseline_x1) == 46);
static_assert(offsetof(AP7_MEASUREREC, position1) == 54);
static_assert(offsetof(AP7_MEASUREREC, position2) == 70);
static_assert(offsetof(AP7_MEASUREREC, window_on) == 86);
static_assert(offsetof(AP7_MEASUREREC, percent) == 96);
static_assert(offsetof(AP7_MEASUREREC, area_corrected) == 116);
static_assert(offsetof(AP7_MEASUREREC, point_value_corrected) == 132);
static_assert(offsetof(AP7_MEASUREREC, fitted_x_corrected) == 140);
static_assert(offsetof(AP7_MEASUREREC, fitted_value_corrected) == 148);
static_assert(sizeof(AP7_MEASUREREGIONPARM) == 26);
static_assert(sizeof(AP7_AREAPARM) == 24);
static_assert(sizeof(AP7_FEATURE) == 20);
static_assert(sizeof(AP7_FEATUREPARM) == 10);
static_assert(sizeof(AP7_MEASUREDESC) == 52);
static_assert(offsetof(AP7_MEASUREFEATUREPARM, mode_switch) == 28);
static_assert(offsetof(AP7_MEASUREFEATUREPARM, transform) == 30);
static_assert(sizeof(AP7_MEASUREFEATUREPARM) == 42);

// Messages 133 to 138: the Y values converted in place, through percent
// transmittance, to absorbance, percent transmittance, photoacoustic units,
// Kubelka-Munk, percent reflectance or log(1/R), the Y-unit code set (17,
// 16, 26, 20, 11, 12) and the history bit of the step (3, none, 10, 9, none,
// 3). Non-zero `truncate` clamps the logarithmic forms at the narrow or, for
// a gain that is not whole, the wide limits. 1 when done or already in the
// unit; 0 for a unit outside the family (nothing changes) or a failed step
// (left in percent transmittance).
uint16_t ap7b_ConvertToAbsorbance(AP7_SPECTRUM* spectrum, uint16_t truncate);    // 133
uint16_t ap7b_ConvertToTransmittance(AP7_SPECTRUM* spectrum, uint16_t truncate); // 134
uint16_t ap7b_ConvertToPAS(AP7_SPECTRUM* spectrum, uint16_t truncate);           // 135
uint16_t ap7b_ConvertToKM(AP7_SPECTRUM* spectrum, uint16_t truncate);            // 136
uint16_t ap7b_ConvertUnits137(AP7_SPECTRUM* spectrum, uint16_t truncate);        // 137
uint16_t ap7b_ConvertUnits138(AP7_SPECTRUM* spectrum, uint16_t truncate);        // 138
// The Y values converted in place to the target code (also 21 and 23, the
// percent units divided by 100, and 8, which leaves them); `option` is the
// truncating flag of the conversion chosen. 1 when done or nothing had to be
// done, 0 for another target or a failed conversion.
uint16_t ap7d_ConvertYUnitsEx(AP7_SPECTRUM* spectrum, uint16_t target, uint16_t option);
uint16_t ap7d_ConvertYUnits(AP7_SPECTRUM* spectrum, uint16_t target);            // 204

// Message 178: the trapezoid areas of the band x1..x2, above the full scale
// of the Y unit and above the line through the valid ends of the baseline
// range x3..x4, counted positive in the peak direction and scaled by the
// spacing when the band holds more than one point. Both are 0 first; 1 when
// computed.
uint16_t ap7b_MeasureArea(AP7_SPECTRUM* spectrum, float x1, float x2, float x3, float x4, float* area_level,
                          float* area_baseline);

// A new spectrum like this one holding x1..x2 less (for peaks pointing
// down: plus) the line through the valid ends of bx1..bx2; null when either
// range misses the data or the baseline has no valid value.
AP7_SPECTRUM* ap7d_NewBaselineCorrectedRange(AP7_SPECTRUM* spectrum, float x1, float x2, float bx1, float bx2);
// Messages 222 and 324: the value or values of a feature, optionally as
// log10 or reciprocal; the number written, 0 for an unknown kind or a
// failure.
uint32_t ap7d_GetFeatureValues(AP7_SPECTRUM* spectrum, const AP7_FEATURE* feature, float* values, uint16_t transform);
// Message 226 ({kind, x1, x2}) and message 247 (a description): the number
// of values the feature yields.
uint32_t ap7d_GetFeatureCount(AP7_SPECTRUM* spectrum, const float* request);
uint32_t ap7d_GetMeasurementCount(AP7_SPECTRUM* spectrum, const AP7_MEASUREDESC* request);
// Messages 245, 313 and 325: a feature read through the peak measurement
// (messages 243 and 246); the number of values written, 0 on failure. The
// index out receives the region's first index, -1 for single values.
uint32_t ap7d_MeasureFeature(AP7_SPECTRUM* spectrum, const AP7_MEASUREDESC* description, float* values, float r1,
                             float r2, float v, GU3_HANDLE region_argument, int32_t* index_out,
                             uint16_t mode_switch, uint16_t transform, uint16_t extra_flag, float extra1,
                             float extra2);
// The transform of a feature value in place: log10 (values below 1e-12
// raised to it first) or the reciprocal (0 for a value about 0); any other
// option leaves it.
void ap7d_Transform(float* value, uint16_t transform);
// Whether a measured feature kind yields the values of a region (7 to 9,
// 17 to 19, 109 to 111, 113) rather than one value.
bool ap7d_IsMeasuredRegionKind(int32_t kind);
// The transform of a feature value in place: log10 (values below 1e-12
// raised to it first) or the reciprocal (0 for a value about 0); any other
// option leaves it.
void ap7d_Transform(float* value, uint16_t transform);
// Whether a measured feature kind yields the values of a region (7 to 9,
// 17 to 19, 109 to 111, 113) rather than one value.
bool ap7d_IsMeasuredRegionKind(int32_t kind);

// ---------------------------------------------------------------------------
// Interferogram, peak and display-range operations (ap7a_interferogram.cpp),
// the small services they use (ap7d_services.cpp) and the peak queries
// (ap7d_query.cpp)

constexpr uint16_t AP7_MSG_PEAK_SEARCH_SORTED = 70;
constexpr uint16_t AP7_MSG_TRANSFORM_INTERFEROGRAM = 71;
constexpr uint16_t AP7_MSG_APODIZE = 72;
constexpr uint16_t AP7_MSG_PHASE_SPECTRUM = 73;
constexpr uint16_t AP7_MSG_PHASE_CORRECT = 74;
constexpr uint16_t AP7_MSG_SELF_DECONVOLVE = 76;
constexpr uint16_t AP7_MSG_SCALE_RANGE = 77;
constexpr uint16_t AP7_MSG_PEAK_SEARCH = 112;

// Y-unit codes of the interferogram's stages: transformed, phase (other
// units is AP41_YUNITS_OTHER).
constexpr uint32_t AP41_YUNITS_TRANSFORMED = 14;
constexpr uint32_t AP41_YUNITS_PHASE = 28;

#pragma pack(push, 2)
// Messages 70 (up to the sort flag; it sorts and takes the log mode) and
// 112: the range, the kernel value and sensitivity, the table's capacity,
// whether the range sets the threshold, where the table-full flag goes, the
// table of peaks (positions come back as X values), the sort flag and the
// log mode.
struct AP7_PEAKSEARCHPARM {
  float x1;
  float x2;
  float kernel_value;
  float sensitivity;
  uint32_t capacity;
  uint16_t use_range;
  uint16_t* full;
  AP4_PEAK* table;
  uint16_t sort;
  uint16_t log_mode;
};
// Message 72.
struct AP7_APODIZEPARM {
  uint16_t id;
  uint16_t ramp;
};
// Message 73: segment length, transform length 2^k, apodization kind and
// arc-tangent mode.
struct AP7_PHASEPARM {
  uint32_t length;
  uint16_t k;
  uint16_t kind;
  uint16_t mode;
};
// Message 74.
struct AP7_PHASECORRECTPARM {
  uint16_t mode;
  AP7_SPECTRUM* phase;
};
// Message 76: the range, the band's half width in X units, the enhancement
// factor, the window mode and the transform size (0: from the header).
struct AP7_DECONVOLVEPARM {
  float x1;
  float x2;
  float half_width;
  float factor;
  uint16_t mode;
  uint32_t size;
};
// Message 77: the range, the value range, the columns w and pixel height,
// and arrays of w rows each for the minima and the maxima.
struct AP7_SCALERANGEPARM {
  float x1;
  float x2;
  float y_low;
  float y_high;
  int16_t columns;
  uint16_t height;
  uint16_t* minima;
  uint16_t* maxima;
};
#pragma pack(pop)
static_assert(sizeof(AP7_PEAKSEARCHPARM) == 34);
static_assert(offsetof(AP7_PEAKSEARCHPARM, sort) == 30);
static_assert(sizeof(AP7_APODIZEPARM) == 4);
static_assert(sizeof(AP7_PHASEPARM) == 10);
static_assert(sizeof(AP7_PHASECORRECTPARM) == 6);
static_assert(sizeof(AP7_DECONVOLVEPARM) == 22);
static_assert(offsetof(AP7_DECONVOLVEPARM, size) == 18);
static_assert(sizeof(AP7_SCALERANGEPARM) == 28);

// Messages 70 and 112: the peaks of the range narrowed to its valid ends,
// their positions as X values; the number of peaks, 0 when refused.
uint32_t ap7a_PeakSearch(AP7_SPECTRUM* spectrum, const AP7_PEAKSEARCHPARM* block, uint16_t sort, uint16_t log_mode);
// Message 71: an interferogram (Y code 22) lengthened or cut to 2^k points
// and transformed; 0 for any other spectrum or a header without a positive
// sample spacing factor, nothing changed then.
uint16_t ap7a_TransformInterferogram(AP7_SPECTRUM* spectrum, uint16_t k);
// Message 72: an interferogram apodized around its peak.
uint16_t ap7a_Apodize(AP7_SPECTRUM* spectrum, uint16_t id, uint16_t ramp);
// Message 73: a new spectrum of the interferogram's phase, or null.
AP7_SPECTRUM* ap7a_PhaseSpectrum(AP7_SPECTRUM* spectrum, uint32_t length, uint16_t k, uint16_t kind, uint16_t mode);
// Message 74: a transformed interferogram (Y code 14) phase-corrected into
// a single beam; mode 1 takes the magnitude and needs no phase spectrum.
uint16_t ap7a_PhaseCorrect(AP7_SPECTRUM* spectrum, uint16_t mode, const AP7_SPECTRUM* phase);
// Message 76: a new spectrum of the range with its bands narrowed; a plain
// duplicate when the array operation fails; null when the range holds no
// valid point or the header gives no usable transform size.
AP7_SPECTRUM* ap7a_FourierSelfDeconvolve(AP7_SPECTRUM* spectrum, float x1, float x2, float half_width, float factor,
                                         uint16_t mode, uint32_t size);
// Message 77: the range's lowest and highest rows on the display columns
// over the data; the other columns keep 0x8000.
uint16_t ap7a_ScaleRange(AP7_SPECTRUM* spectrum, float x1, float x2, float y_low, float y_high, int16_t columns,
                         uint16_t height, uint16_t* minima, uint16_t* maxima);

// x1..x2 narrowed to its first and last non-missing points, their values
// out; the number of points, 0 or less when none (x1, x2 then as clipped).
int32_t ap7d_TrimXRangeToValid(AP7_SPECTRUM* spectrum, float* x1, float* x2, float* first_value, float* last_value);
// The direction peaks of the spectrum's Y unit point (AP1_PEAKS_UP or
// AP1_PEAKS_DOWN); up without a spectrum or header.
int16_t ap7d_GetPeakDirection(const AP7_SPECTRUM* spectrum);                                       // 187
// The threshold a peak must exceed at a sensitivity of 0 to 100, from the
// spread of x1..x2 (use_range) and the Y unit; base 0 and the step out.
int16_t ap7d_PeakSearchThreshold(AP7_SPECTRUM* spectrum, int16_t use_range, int16_t log_mode, float x1, float x2,
                                 float sensitivity, float* threshold, float* base, float* step);
// The full scale of the spectrum's Y unit; 0 when the unit has none.
float ap7d_GetYUnitScale(AP7_SPECTRUM* spectrum);

constexpr uint16_t AP7_MSG_SUBTRACT_SCALED = 100;
constexpr uint16_t AP7_MSG_IS_GROUP_FILE = 207;
constexpr uint16_t AP7_MSG_FOLD_INTERFEROGRAM = 209;
constexpr uint16_t AP7_MSG_SET_VALUE_AT_X_NOTIFY = 211;

#pragma pack(push, 2)
// Message 100: the range, the spectrum subtracted and its factor.
struct AP7_SUBTRACTSCALEDPARM {
  float x1;
  float x2;
  AP7_SPECTRUM* other;
  float k;
};
// Message 209.
struct AP7_FOLDPARM {
  uint16_t n;
  uint16_t offset;
};
// Message 211.
struct AP7_VALUENOTIFYPARM {
  float x;
  float value;
};
#pragma pack(pop)
static_assert(sizeof(AP7_SUBTRACTSCALEDPARM) == 16);
static_assert(sizeof(AP7_FOLDPARM) == 4);
static_assert(sizeof(AP7_VALUENOTIFYPARM) == 8);

// Message 100: this -= k x other over the common range, this cut to it,
// the noise values combined; nothing changes when it fails.
uint16_t ap7d_SubtractScaled(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* other, float k);
// Message 207: 1 when a registered group format recognises the file.
uint16_t ap7d_IsGroupFile(const char* path);
// Message 209: a new 1 x n array of the interferogram's values averaged
// in pairs around its centre burst, or null.
AP4_ARRAY* ap7d_FoldInterferogram(AP7_SPECTRUM* spectrum, uint16_t n, uint16_t offset);
// Message 211: the point nearest x set, its column + 1 (0 from column
// 32767 on) as the user word of the change notice.
uint16_t ap7d_SetValueAtXNotify(AP7_SPECTRUM* spectrum, float x, float value);
// A new spectrum of n points over x1..x2 (in either order) holding the
// polynomial of the coefficients (1 column of 1 to 8 rows, c0 first); its
// header X range is the caller's to set.
AP7_SPECTRUM* ap7d_NewFromPolynomial(HWND owner, float x1, float x2, uint32_t n, const AP4_ARRAY* coefficients);

constexpr uint16_t AP7_MSG_PEAK_DIRECTION = 187;
constexpr uint16_t AP7_MSG_COMPARE_HEADER_FIELD = 188;
constexpr uint16_t AP7_MSG_NEW_NORMALIZED_RANGE = 215;
constexpr uint16_t AP7_MSG_FIND_LIST_ITEM = 224;
constexpr uint16_t AP7_MSG_ATTACH_PARAMETER_OBJECT = 225;
constexpr uint16_t AP7_MSG_SET_IDENT_CODE = 231;
constexpr uint16_t AP7_MSG_HISTORY_STAMP = 311;

#pragma pack(push, 2)
// Message 231.
struct AP7_IDENTCODEPARM {
  const char* text;
  uint32_t number;
};
#pragma pack(pop)
static_assert(sizeof(AP7_IDENTCODEPARM) == 8);

// Message 188: 1 when the post-peak counts (p47) agree within 5 % of the
// first, or both are 0.
uint16_t ap7d_CompareHeaderField(const AP7_SPECTRUM* spectrum, const AP7_SPECTRUM* other);
// Message 215: a copy cut to x1..x2 and divided by its largest value there.
AP7_SPECTRUM* ap7d_NewNormalizedRange(AP7_SPECTRUM* spectrum, float x1, float x2);
// Message 224: the first member of the list of that class; the list itself
// for class 0.
AP_OBJECT* ap7d_FindListItem(const AP7_SPECTRUM* spectrum, uint16_t class_id);
// Message 225: a parameter object added to the list, replacing (and
// destroying) the member of its class.
uint16_t ap7d_AttachParameterObject(AP7_SPECTRUM* spectrum, AP_OBJECT* object);
// Message 231: the last three digits of the text and five of the number
// as the eight-character code in header parameter 49.
uint16_t ap7d_SetIdentCode(AP7_SPECTRUM* spectrum, const char* text, uint32_t number);
// Message 311: 1 for any object; nothing is stamped.
uint16_t ap7d_HistoryStamp(const void* spectrum);

// ---------------------------------------------------------------------------
// Kramers-Kronig transform (ap7d_kk.cpp) and the history line of a given
// text (ap7d_history.cpp)

constexpr uint16_t AP7_MSG_KRAMERS_KRONIG = 139;

// Message 139 (block AP7_XRANGEPARM): a new spectrum of the absorption index
// of the reflectance spectrum's range x1..x2, normalised to 0..1, history
// bit 24 set. Null for a spectrum that already carries bit 24, a range
// of fewer than 2 points, a failed absorbance conversion, or a range the transform
// does not take (the working row of four times the next power of two must
// hold 16 to 262144 values).
AP7_SPECTRUM* ap7d_KramersKronig(AP7_SPECTRUM* spectrum, float x1, float x2);
// As ap7d_AddHistoryLine with the label given as text.
uint16_t ap7d_AddHistoryTextLine(AP7_SPECTRUM* spectrum, const char* label);

// ---------------------------------------------------------------------------
// A spectrum evaluated from polynomial coefficients on an axis
// (ap7d_fromdata.cpp)

// A new spectrum (class 7 only) of `count` points, at least 2, from first_x
// to last_x in the order given, whose point i holds the polynomial of the
// coefficients (one row or one column of 1 to 8 values, c0 first) at the
// X of that point; its header carries the axis. Null on failure.
AP7_SPECTRUM* ap7d_NewFromData(uint16_t class_id, float first_x, float last_x, uint32_t count,
                               const AP4_ARRAY* coefficients);

// ---------------------------------------------------------------------------
// The peak nearest an X with its two base points (ap7b_peaklist.cpp)

constexpr uint16_t AP7_MSG_PEAK_LIST_IN_RANGE = 94;

#pragma pack(push, 2)
// Message 94: the reference X, the range, the two levels (percentages) and
// where the X values of the peak and of its left and right base points go.
struct AP7_PEAKLISTPARM {
  float x;
  float x1;
  float x2;
  float peak_level;
  float valley_level;
  float* peak_x;
  float* left_x;
  float* right_x;
};
#pragma pack(pop)
static_assert(sizeof(AP7_PEAKLISTPARM) == 32);

// Message 94: the peak of x1..x2 (either order) nearest x, in the
// spectrum's peak direction, and the lowest points between it and the
// valleys on either side, as X values. A peak must rise and fall by
// (100 - peak level) % of the range's value span, a valley by (100 -
// valley level) %. 1 when found; 0 for a spectrum of 2 points or fewer, an
// x outside the data or a range without a peak.
uint16_t ap7b_PeakListInRange(AP7_SPECTRUM* spectrum, float x, float x1, float x2, float peak_level,
                              float valley_level, float* peak_x, float* left_x, float* right_x);

// ---------------------------------------------------------------------------
// Search preparation, peak width, smoothing to a resolution,
// spacing change and the reprocessing of stored interferograms
// (ap7b_search.cpp, ap7b_peaks.cpp, ap7b_reprocess.cpp), with the ratio,
// interferogram and stored-spectrum services they chain
// (ap7b_ratio.cpp, ap7b_interferogram.cpp, ap7b_stored.cpp, ap7b_weights.cpp)

constexpr uint16_t AP7_MSG_PEAK_HALF_WIDTH = 95;
constexpr uint16_t AP7_MSG_SMOOTH_TO_RESOLUTION = 131;
constexpr uint16_t AP7_MSG_CHANGE_SPACING = 132;
constexpr uint16_t AP7_MSG_REPROCESS_INTERFEROGRAMS = 147;
constexpr uint16_t AP7_MSG_SEARCH_VECTOR = 148;
constexpr uint16_t AP7_MSG_RATIO_AGAINST_BACKGROUND = 156;
constexpr uint16_t AP7_MSG_INTERFEROGRAM_TO_SINGLE_BEAM = 166;
constexpr uint16_t AP7_MSG_SEARCH_MASK = 228;
constexpr uint16_t AP7_MSG_READ_STORED_SPECTRUM = 233;
constexpr uint16_t AP7_MSG_PREPARE_SEARCH_REGION = 240;
constexpr uint16_t AP7_MSG_SEARCH_COPY_IN_UNIT = 279;
constexpr uint16_t AP7_MSG_INTERFEROGRAM_TO_SINGLE_BEAM_EX = 310;
constexpr uint16_t AP7_MSG_SEARCH_VECTOR_EX = 328;

// Title prefix of a spectrum brought to another spacing.
constexpr uint16_t AP7_TITLE_RESAMPLED = 6;

// Configuration key that picks the resampling of the search preparation:
// 0 midpoint subdivision and an inside regrid, else FFT zero filling.
constexpr char AP7_SEARCH_SECTION[] = "Files";
constexpr char AP7_SEARCH_METHOD_KEY[] = "V20Search";

// Result codes of the search vector and mask (messages 148, 228, 328).
enum AP7_SEARCH_CODE : uint32_t {
  AP7_SEARCH_DONE = 0,
  AP7_SEARCH_NOT_COVERED = 246,
  AP7_SEARCH_CONVERSION_FAILED = 247,
  AP7_SEARCH_BAD_REQUEST = 248,
  AP7_SEARCH_RESAMPLE_FAILED = 249
};

// Error codes of the reprocessing (message 147).
enum AP7_REPROCESS_ERROR : uint16_t {
  AP7_REPROCESS_OK = 0,
  AP7_REPROCESS_FIT_FAILED = 48,
  AP7_REPROCESS_NO_COMMON_RANGE = 50,
  AP7_REPROCESS_SPACINGS_DIFFER = 51,
  AP7_REPROCESS_NO_SAMPLE = 52,
  AP7_REPROCESS_POST_PEAK_DIFFER = 53
};

// The Y code of a ratio against a reference spectrum (code 27).
constexpr uint32_t AP41_YUNITS_REFERENCE = 27;
constexpr uint32_t AP41_YUNITS_REFERENCE_RATIO = 19;

#pragma pack(push, 2)
// Message 279, 32 bytes.
struct AP7_SEARCHCOPYPARM {
  double x1;
  double x2;
  uint32_t unused;
  uint32_t y_code;
  char* title;
  int32_t n;
};
// Messages 148 (up to the width) and 328, 36 bytes.
struct AP7_SEARCHVECTORPARM {
  double x1;
  double x2;
  void* vector;
  uint32_t y_code;
  char* title;
  int32_t n;
  uint16_t width;
  uint16_t keep_negative;
};
// Message 228, 36 bytes.
struct AP7_SEARCHMASKPARM {
  double x1;
  double x2;
  uint8_t* mask;
  int32_t y_code;
  uint32_t unused;
  int32_t n;
  uint16_t unused_word;
  uint16_t saturation;
};
// Message 147, 54 bytes.
struct AP7_REPROCESSPARM {
  AP7_SPECTRUM* background;
  int32_t before;       // points kept before the peak; -1 automatic
  int32_t after;        // points kept after it; -1 automatic
  int32_t size;         // transform size in points
  uint16_t apodization;
  uint16_t phase_mode;
  uint32_t phase_length;
  uint32_t phase_size;  // phase transform size in points
  uint32_t y_code;
  uint16_t notify;
  uint16_t use_stored;
  float x1;
  float x2;
  uint16_t keep_phase;
  AP7_SPECTRUM** phase;
  uint16_t* error;
};
// Messages 166 and 310 (which adds the extra flag).
struct AP7_SINGLEBEAMPARM {
  uint16_t size_code;
  uint16_t apodization;
  uint16_t phase_mode;
  uint32_t phase_length;
  uint16_t phase_size_code;
  uint16_t keep_phase;
  AP7_SPECTRUM** phase;
};
struct AP7_SINGLEBEAMEXPARM {
  uint16_t size_code;
  uint16_t apodization;
  uint16_t phase_mode;
  uint32_t phase_length;
  uint16_t phase_size_code;
  uint16_t extra;
  uint16_t keep_phase;
  AP7_SPECTRUM** phase;
};
// Message 233.
struct AP7_STOREDPARM {
  AP7_SPECTRUM* other;
  uint16_t which;
};
#pragma pack(pop)
static_assert(sizeof(AP7_SEARCHCOPYPARM) == 32);
static_assert(sizeof(AP7_SEARCHVECTORPARM) == 36);
static_assert(offsetof(AP7_SEARCHVECTORPARM, keep_negative) == 34);
static_assert(sizeof(AP7_SEARCHMASKPARM) == 36);
static_assert(sizeof(AP7_REPROCESSPARM) == 54);
static_assert(offsetof(AP7_REPROCESSPARM, x1) == 36);
static_assert(offsetof(AP7_REPROCESSPARM, keep_phase) == 44);
static_assert(offsetof(AP7_REPROCESSPARM, error) == 50);
static_assert(sizeof(AP7_SINGLEBEAMPARM) == 18);
static_assert(sizeof(AP7_SINGLEBEAMEXPARM) == 20);
static_assert(sizeof(AP7_STOREDPARM) == 6);

// Message 95: the width at half height of the largest peak of x1..x2, in X
// units. 1 when found.
uint16_t ap7b_FindPeakLimits(AP7_SPECTRUM* spectrum, float x1, float x2, float* width);
// Message 131: a copy of x1..x2 smoothed where the smoothing removes more
// than the expected noise; null on failure.
AP7_SPECTRUM* ap7b_SmoothToResolution(AP7_SPECTRUM* spectrum, float x1, float x2);
// Message 132: a copy of x1..x2 (open: the whole extent) at the spacing;
// null on failure.
AP7_SPECTRUM* ap7b_ChangeSpacing(AP7_SPECTRUM* spectrum, float x1, float x2, float spacing);

// Message 240: a copy of x1..x2 (open: the whole extent) at the spacing, by
// the method the configuration picks; null on failure.
AP7_SPECTRUM* ap7b_PrepareSearchRegion(AP7_SPECTRUM* spectrum, float x1, float x2, float spacing);
// Message 279: a copy of n points from x1 to x2 in the Y code; null when
// the region is not covered or the copy cannot be had in that unit.
AP7_SPECTRUM* ap7b_SearchPrep279(AP7_SPECTRUM* spectrum, double x1, double x2, uint32_t y_code, char* title,
                                 int32_t n);
// Messages 148 and 328: n values from x1 to x2 in the Y code scaled into
// bytes (width 1) or words (2) from the region's minimum to its maximum, or
// as floats (4). A search code.
uint32_t ap7b_SearchVector(AP7_SPECTRUM* spectrum, double x1, double x2, void* vector, uint32_t y_code, char* title,
                           int32_t n, uint16_t width, uint16_t keep_negative);
// Message 228: n flags from x1 to x2, 1 where a search must ignore the
// point. A search code.
uint32_t ap7b_SearchMask(AP7_SPECTRUM* spectrum, double x1, double x2, uint8_t* mask, int32_t y_code, int32_t n,
                         uint16_t saturation);

// Message 147: a spectrum computed anew from the sample interferogram and a
// background; null with the error code on failure.
AP7_SPECTRUM* ap7b_ReprocessInterferograms(AP7_SPECTRUM* spectrum, const AP7_REPROCESSPARM* block);
// Message 156: a new ratio of the single beam against a background single
// beam (code 15) or reference (27); null on failure.
AP7_SPECTRUM* ap7b_RatioAgainstBackground(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* background);
// The number of points two spectra share over their whole axes; 0 or less
// when none. The ranges, where given, receive where they lie in each.
int32_t ap7b_CommonPoints(const AP7_SPECTRUM* spectrum, const AP7_SPECTRUM* other, AP4_RANGE* range = nullptr,
                          AP4_RANGE* other_range = nullptr);
// Messages 166 and 310: an interferogram apodized, transformed and phase
// corrected into a single beam in place. 1 on success.
uint16_t ap7b_InterferogramToSingleBeam(AP7_SPECTRUM* spectrum, uint16_t size_code, uint16_t apodization,
                                        uint16_t phase_mode, uint32_t phase_length, uint16_t phase_size_code,
                                        uint16_t extra, uint16_t keep_phase, AP7_SPECTRUM** phase);
// An interferogram trimmed or padded to the counts before and after its
// peak, in place. 1 on success.
uint16_t ap7b_AlignInterferogram(AP7_SPECTRUM* spectrum, uint32_t before, uint32_t after);
// Message 233: a copy of a stored companion interferogram (which: 1 the
// sample, 0 the background) of this spectrum or of the other; null when
// there is none.
AP7_SPECTRUM* ap7b_ReadStoredSpectrum(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* other, uint16_t which);
// The weight, point by point over the common range of a and b in x1..x2,
// of how far their difference exceeds the noise expected of a; null
// without a common range.
AP7_SPECTRUM* ap7b_DifferenceWeights(AP7_SPECTRUM* a, float x1, float x2, AP7_SPECTRUM* b);
// The made spectrum's title: the source's, with the text of group 1007
// `prefix` in front when the resources have it. 1 done.
uint16_t ap7b_TitleFrom(AP7_SPECTRUM* made, const AP7_SPECTRUM* source, uint16_t prefix);

// ---------------------------------------------------------------------------
// Joining two spectra (ap7b_concatenate.cpp)

constexpr uint16_t AP7_MSG_CONCATENATE = 154;

// Message 154 (the other spectrum as the parameter): a new spectrum over
// the union of both X ranges; where one value is missing the other's is
// taken, elsewhere the two are summed. Null when either has no header, the
// axes run in opposite directions or do not share one grid.
AP7_SPECTRUM* ap7b_Concatenate(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* other);

// ---------------------------------------------------------------------------
// Raman axis and laser frequency, black-body reference, reference division
// and regridding, comparison with the stored file, and small services
// (ap7d_raman.cpp, ap7b_blackbody.cpp, ap7d_reference.cpp, ap7d_compare.cpp,
// ap7b_readfile.cpp)

constexpr uint16_t AP7_MSG_SET_RAMAN_LASER = 141;
constexpr uint16_t AP7_MSG_SHIFT_RAMAN_AXIS = 142;
constexpr uint16_t AP7_MSG_NEW_FOR_SPACING = 167;
constexpr uint16_t AP7_MSG_READ_SPECTRUM_FILE = 186;
constexpr uint16_t AP7_MSG_REFERENCE_DIVIDE = 213;
constexpr uint16_t AP7_MSG_CHANGE_LASER_FREQUENCY = 214;
constexpr uint16_t AP7_MSG_RAMAN_TO_ABSOLUTE = 218;
constexpr uint16_t AP7_MSG_WHITE_LIGHT_CORRECT = 221;
constexpr uint16_t AP7_MSG_COMPARE_WITH_STORED_FILE = 251;
constexpr uint16_t AP7_MSG_REFERENCE_MULTIPLY = 284;
constexpr uint16_t AP7_MSG_REGRID_TO_LASER_SPACING = 320;
constexpr uint16_t AP7_MSG_RMS_DIFFERENCE = 435;

// History bits of these steps (42 has no text of its own).
constexpr int16_t AP41_HISTORY_RAMAN_ABSOLUTE = 42;

// The laser line when neither the caller nor the header gives one: the
// bench setting "RamanLaserFrequency" of "CollectDefaults", this by default.
constexpr char AP7_RAMAN_LASER_SECTION[] = "CollectDefaults";
constexpr char AP7_RAMAN_LASER_KEY[] = "RamanLaserFrequency";
constexpr float AP7_DEFAULT_RAMAN_LASER = 9393.642f;
// The reference laser frequency over 4096 points: the standard spacing.
constexpr float AP7_DEFAULT_LASER = 15798.0f;
constexpr float AP7_STANDARD_SPACING = AP7_DEFAULT_LASER / 4096.0f;

// History texts (group 1096) of the white-light correction: its tag, and
// the line format that takes the tag and the time.
constexpr uint16_t AP7_HISTORY_WHITE_LIGHT_TAG = 103;
constexpr uint16_t AP7_HISTORY_WHITE_LIGHT_LINE = 104;

// Items of the comparison with the stored file (message 251).
constexpr uint16_t AP7_COMPARE_DATA = 1;
constexpr uint16_t AP7_COMPARE_TOLERANT = 8;
constexpr uint16_t AP7_COMPARE_HISTORY = 16;
constexpr uint16_t AP7_COMPARE_HEADER = 32;
constexpr uint16_t AP7_COMPARE_ANNOTATIONS = 64;
constexpr uint16_t AP7_COMPARE_COMMENTS = 128;
// Its result codes.
constexpr uint16_t AP7_COMPARE_SAME = 0;
constexpr uint16_t AP7_COMPARE_MISSING_ARGUMENT = 4;
constexpr uint16_t AP7_COMPARE_UNREADABLE = 5;
constexpr uint16_t AP7_COMPARE_DIFFERENT = 6;
// The report's buffer: the longest report and its terminator.
constexpr uint32_t AP7_COMPARE_REPORT_SIZE = 65;

#pragma pack(push, 2)
// Messages 141, 142 and 214: the laser line, the shift, the new frequency.
struct AP7_VALUEPARM {
  float value;
};
// Message 167, sent with a pointer to the class id.
struct AP7_BLACKBODYPARM {
  float x1;
  float x2;
  float spacing;
  float temperature;
};
// Messages 213 and 284.
struct AP7_REFERENCEPARM {
  AP7_SPECTRUM* reference;
  int16_t keep_units;
};
// Message 221.
struct AP7_WHITELIGHTPARM {
  AP7_SPECTRUM* reference;
};
// Message 251: the report takes AP7_COMPARE_REPORT_SIZE bytes.
struct AP7_COMPAREFILEPARM {
  const char* path;
  uint16_t flags;
  char* report;
};
// Message 435.
struct AP7_RMSPARM {
  AP7_SPECTRUM* other;
  float tolerance;
  double* mean_square;
  double* rms;
};
#pragma pack(pop)
static_assert(sizeof(AP7_VALUEPARM) == 4);
static_assert(sizeof(AP7_BLACKBODYPARM) == 16);
static_assert(sizeof(AP7_REFERENCEPARM) == 6);
static_assert(sizeof(AP7_WHITELIGHTPARM) == 4);
static_assert(sizeof(AP7_COMPAREFILEPARM) == 10);
static_assert(sizeof(AP7_RMSPARM) == 16);

// The laser line the Raman operations fall back on: the bench setting, or
// AP7_DEFAULT_RAMAN_LASER when it cannot be read.
float ap7d_DefaultRamanLaser();
// Message 141: a spectrum in absolute wavenumbers (no X below 0) turned
// into Raman shift from the laser line (a NaN takes the header's p44, when
// set and not 0, else the default); Y reversed, p44 set, annotations
// cleared, history bit 36. 1 when converted, 0 when refused.
uint16_t ap7d_SetRamanLaserFreq(AP7_SPECTRUM* spectrum, float laser);           // 141
// Message 218: back from Raman shift to absolute wavenumbers by p44;
// history bit 42. 0 for a spectrum already absolute or without a line.
uint16_t ap7d_RamanToAbsolute(AP7_SPECTRUM* spectrum);                          // 218
// Message 142: the axis and the laser line moved down by the shift;
// history bit 37.
uint16_t ap7d_ShiftRamanAxis(AP7_SPECTRUM* spectrum, float shift);             // 142
// Message 214: the axis and the laser line scaled by the new reference
// laser frequency over the old (p29, which takes the new one); history
// bit 41. 0 unless both are positive numbers.
uint16_t ap7d_ChangeLaserFrequency(AP7_SPECTRUM* spectrum, float frequency);   // 214
// Message 221: a Raman spectrum's intensities corrected by a white-light
// single beam against the black body of its source; 1 when corrected. A
// spectrum whose history already carries the correction is left alone.
uint32_t ap7d_WhiteLightCorrect(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* reference);  // 221

// Message 167: a new reference spectrum of the black-body radiance at the
// temperature (kelvin) over x1..x2 in wavenumbers at the spacing; null for
// fewer than 2 points, a spacing or temperature that is not a positive
// number, or too many points.
AP7_SPECTRUM* ap7b_NewForSpacing(uint16_t class_id, float x1, float x2, float spacing, float temperature);  // 167
// Message 186: a new spectrum read from the named file through a
// spectrum-file object; null when no format reads it.
AP7_SPECTRUM* ap7b_ReadSpectrumFile(const char* path);                          // 186
// A new file object of the class (21 spectrum file, 51 group file) named by
// the path and opened for reading, its format found by detection; null when
// none reads it. Closed and destroyed by the second.
AP_OBJECT* ap7b_OpenForReading(uint16_t class_id, const char* path);
void ap7b_CloseAndDestroy(AP_OBJECT* file);

// Messages 213 and 284: a new spectrum of this one divided (multiplied) by
// the reference brought onto its grid, over their common range; with
// keep_units 0 it takes the reference's unit codes. History bit 40; null on
// failure.
AP7_SPECTRUM* ap7d_ReferenceDivide(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* reference, int16_t keep_units);    // 213
AP7_SPECTRUM* ap7d_ReferenceMultiply(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* reference, int16_t keep_units);  // 284
// A new spectrum of the data sampled over x1..x2 (either order) at the
// spacing, from x1; history bit 33. Null for a spacing that is not a
// positive number, fewer than 2 points or a range the data do not reach.
AP7_SPECTRUM* ap7d_RegridRange(AP7_SPECTRUM* spectrum, float x1, float x2, float spacing);
// Message 320: the data sampled onto the standard spacing times the power
// of two that comes nearest the spectrum's spacing from below, over the
// multiples of it inside the X range; null on failure.
AP7_SPECTRUM* ap7d_RegridToLaserSpacing(AP7_SPECTRUM* spectrum);                // 320
inline AP7_SPECTRUM* ap7d_GetDataSpacing(AP7_SPECTRUM* spectrum) { return ap7d_RegridToLaserSpacing(spectrum); }

// Message 251: the spectrum compared with the copy its file holds (a group
// file's member by the spectrum's member index), item by item as the flags
// ask; the differences named in the report ("OK" when none). A result code.
uint16_t ap7d_CompareWithStoredFile(AP7_SPECTRUM* spectrum, const char* path, uint16_t flags, char* report);  // 251
// Message 435: the mean square difference of the pairs present in both
// (scaled by the tolerance in thousandths, 0.001 for 0) and the root mean
// square times 1000; both -1e20 when refused. 1 done, 0 refused.
int32_t ap7d_RmsDifference(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* other, float tolerance, double* mean_square,
                           double* rms);                                        // 435
// The member of a group file at the index, its path set to the file's; null
// when unreadable.
AP7_SPECTRUM* ap7d_ReadGroupMember(const char* path, uint32_t index);
// Whether two annotation records differ as the comparison sees them.
bool ap7d_AnnotationsDiffer(const AP34_ANNOTREC* a, const AP34_ANNOTREC* b);
// Every line holding the stamp cut from the text in place, from the stamp
// through its line feed (or the end of the text).
void ap7d_CutLinesFrom(char* text, const char* stamp);

// The Y values converted to percent transmittance without truncation
// (`option` the truncating flag); non-zero only when values were converted.
uint16_t ap7b_ToTransmittance(AP7_SPECTRUM* spectrum, uint16_t option);
// The other spectrum's list duplicated into the target's.
inline uint16_t ap7d_CopyList(const AP7_SPECTRUM* source, AP7_SPECTRUM* target) {
  return ap7d_CopyListTo(source, target);
}
// A header parameter read by number; 1 when read.
inline uint16_t ap41_GetParm_SH(AP41_SPECTRALHEADER* header, uint16_t index, void* value) {
  return ap41_GetParmValue_SH(header, index, value) == 1 ? 1 : 0;
}
// The regrids' steps (ap7a_regrid.cpp): a duplicate whose axis rises (null
// for fewer than 2 points or no spacing), and a rising spectrum's values
// sampled onto count points from first_x at the spacing, which it then
// takes as its data (history bit 33).
AP7_SPECTRUM* ap7a_rising_copy(AP7_SPECTRUM* spectrum);
bool ap7a_resample(AP7_SPECTRUM* spectrum, double first_x, float spacing, uint32_t count);
// Text listing and comparison, region blanking, straight-line fill and ATR
// correction (ap7b_listing.cpp, ap7b_region.cpp)

constexpr uint16_t AP7_MSG_READ_TEXT = 91;
constexpr uint16_t AP7_MSG_WRITE_TEXT = 92;
constexpr uint16_t AP7_MSG_COMPARE_STORED = 93;
constexpr uint16_t AP7_MSG_ATR_CORRECTION = 140;
constexpr uint16_t AP7_MSG_BLANK_REGION = 145;
constexpr uint16_t AP7_MSG_STRAIGHT_LINE = 146;

// The title prefix (group 1007) and the history label (group 1096) of an
// ATR-corrected spectrum.
constexpr uint16_t AP7_TITLE_ATR = 11;
constexpr uint16_t AP7_HISTORY_LABEL_ATR = 26;

#pragma pack(push, 2)
// Message 93, 16 bytes: the reference (a spectrum, or an open file object
// whose next line names the reference's file), the error counter, the
// report file object and the name reported.
struct AP7_COMPAREPARM {
  void* reference;
  uint16_t* error_count;
  void* report;
  const char* name;
};
#pragma pack(pop)
static_assert(sizeof(AP7_COMPAREPARM) == 16);

// Message 91, sent to the class: a new spectrum from the listing at the
// open file's position, or null for a count of 0 or less, a line over 150
// characters or a listing cut short. First X above last X reads back
// exchanged, with the values reversed.
AP7_SPECTRUM* ap7b_ReadText(uint16_t class_id, void* file);                                        // 91
// Message 92: the listing written whole into the open file; 0 when a write
// falls short (what was written stays).
uint16_t ap7b_WriteText(AP7_SPECTRUM* spectrum, void* file);                                        // 92
// Message 93: 1 when the reference agrees with the spectrum within 1/500 of
// the spectrum's largest magnitude over their common range. A mismatch
// writes the name and the spectrum's listing to the report; a mismatch or a
// comparison that cannot be made adds 1 to *error_count. The spectrum and a
// reference given as a spectrum stay the caller's.
uint16_t ap7b_CompareWithStored(AP7_SPECTRUM* spectrum, void* reference, uint16_t* error_count, void* report,
                                const char* name);                                                   // 93
// Message 140: a new absorbance copy with every value multiplied by its X /
// 1000; null on failure, the spectrum unchanged.
AP7_SPECTRUM* ap7b_ATRCorrection(AP7_SPECTRUM* spectrum);                                          // 140
// Message 145: x1..x2 set missing and the unprotected annotations there
// deleted; 0 when nothing could be blanked.
uint16_t ap7b_BlankRegion(AP7_SPECTRUM* spectrum, float x1, float x2);                             // 145
// Message 146: the values between the first and the last present value of
// x1..x2 replaced by the straight line between those two; 0 when fewer than
// two present values remain.
uint16_t ap7b_StraightLineRegion(AP7_SPECTRUM* spectrum, float x1, float x2);                      // 146

// ---------------------------------------------------------------------------
// Combinations, range measures, display scaling and anchor-point baselines
// (ap7d_query.cpp, ap7b_combine.cpp, ap7b_measures.cpp, ap7b_anchor.cpp)

// The object added to the spectrum's list; 0 without a list.
uint16_t ap7d_CopyListFrom(AP7_SPECTRUM* spectrum, AP_OBJECT* object);

// Message 39 ({x1, x2}): ap7a_NewFromRange.
constexpr uint16_t AP7_MSG_NEW_FROM_RANGE = 39;
constexpr uint16_t AP7_MSG_INTERPOLATE_DOUBLE_POINTS = 155;
constexpr uint16_t AP7_MSG_ADD_WEIGHTED = 182;

// Message 155 ({x1, x2}): a new spectrum of the 2c - 1 points of the c
// points of x1..x2, the new midpoints interpolated (the mean of their two
// neighbours near the ends of the data); history bit 33. Null for fewer
// than 2 points.
AP7_SPECTRUM* ap7b_InterpolateDoublePoints(AP7_SPECTRUM* spectrum, float x1, float x2);  // 155
// Message 182 ({x1, x2, other}): a new spectrum over the common range of
// the two, each point the mean of both weighted by their scan counts (p23,
// 1 when 0), missing where either is; p23 the sum of both, the noise p39
// their root sum of squares, history bit 7. The inputs are left untouched.
AP7_SPECTRUM* ap7b_AddWeighted(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* other);  // 182

constexpr uint16_t AP7_MSG_LINEAR_FIT_RANGE = 177;
constexpr uint16_t AP7_MSG_SCALE_SPLIT_AXIS = 183;
constexpr uint16_t AP7_MSG_SCALE_WAVELENGTH_AXIS = 184;
constexpr uint16_t AP7_MSG_SCALE_SEGMENTED_AXIS = 232;

#pragma pack(push, 2)
// Message 177, 16 bytes.
struct AP7_LINEARFITPARM {
  float x1;
  float x2;
  float* peak_to_peak;
  float* rms;
};
// Message 183, 38 bytes.
struct AP7_SPLITAXISPARM {
  float y1;
  float y2;
  float xa;
  float xb;
  float xc;
  float xd;
  uint16_t columns;
  uint16_t mode;
  uint16_t split;
  uint16_t* low;
  uint16_t* high;
};
// Message 232, 30 bytes.
struct AP7_SEGMENTEDAXISPARM {
  float x1;
  float x2;
  float y1;
  float y2;
  uint16_t columns;
  uint16_t mode;
  uint16_t rule;
  uint16_t* low;
  uint16_t* high;
};
// Message 184, 28 bytes: the wavelength range in micrometres.
struct AP7_WAVELENGTHAXISPARM {
  float lambda1;
  float lambda2;
  float y1;
  float y2;
  uint16_t columns;
  uint16_t mode;
  uint16_t* low;
  uint16_t* high;
};
#pragma pack(pop)
static_assert(sizeof(AP7_LINEARFITPARM) == 16);
static_assert(sizeof(AP7_SPLITAXISPARM) == 38);
static_assert(sizeof(AP7_SEGMENTEDAXISPARM) == 30);
static_assert(sizeof(AP7_WAVELENGTHAXISPARM) == 28);

// Message 177: the peak-to-peak and the rms of the residuals about the
// least-squares line through the present points of x1..x2 (both 0 for two
// present points or fewer). 1 only when both were written; 0 for a range of
// 2 points or fewer.
uint16_t ap7b_LinearFitRange(AP7_SPECTRUM* spectrum, float x1, float x2, float* peak_to_peak, float* rms);  // 177
// The gap between a column's bounds and the column's before it closed at
// its middle (16-bit signed values); columns without data are left. 1.
uint16_t ap7b_JoinColumns(uint16_t* low, uint16_t* high, uint16_t* previous_low, uint16_t* previous_high);
// Message 183: xa..xb and xb..xc into two halves of the columns (split 1),
// or xa..xb, xb..xc, xc..xd into three thirds (split 2); the bounds first
// all 0. 0 for another split, too few columns or a part that cannot be
// drawn.
uint16_t ap7b_ScaleSplitAxis(AP7_SPECTRUM* spectrum, float y1, float y2, float xa, float xb, float xc, float xd,
                             uint16_t columns, uint16_t mode, uint16_t split, uint16_t* low,
                             uint16_t* high);  // 183
// Message 232: x1..x2 drawn in the segments the segment rule divides it
// into, x1 at the first column.
uint16_t ap7b_ScaleSegmentedAxis(AP7_SPECTRUM* spectrum, float x1, float x2, float y1, float y2, uint16_t columns,
                                 uint16_t mode, uint16_t rule, uint16_t* low, uint16_t* high);  // 232
// Message 184: the spectrum drawn against wavelength (10000 / X) over
// lambda1..lambda2, intensity units per wavelength.
uint16_t ap7b_ScaleWavelengthAxis(AP7_SPECTRUM* spectrum, float lambda1, float lambda2, float y1, float y2,
                                  uint16_t columns, uint16_t mode, uint16_t* low, uint16_t* high);  // 184

constexpr uint16_t AP7_MSG_LINEAR_BASELINE = 191;
constexpr uint16_t AP7_MSG_SPLINE_BASELINE = 317;
constexpr uint16_t AP7_MSG_POLYNOMIAL_BASELINE = 318;

// The title prefix (group 1007) of a baseline-corrected spectrum.
constexpr uint16_t AP7_TITLE_BASELINE = 4;

#pragma pack(push, 2)
// Message 318, 8 bytes.
struct AP7_ANCHORPOLYPARM {
  AP40_LLIST* anchors;
  int32_t degree;
};
#pragma pack(pop)
static_assert(sizeof(AP7_ANCHORPOLYPARM) == 8);

// Message 191 ({anchor list}): a new spectrum less the straight lines
// between neighbouring anchors of the list (every member, in order of X);
// null for a list of fewer than 2 anchors.
AP7_SPECTRUM* ap7b_LinearBaseline(AP7_SPECTRUM* spectrum, AP40_LLIST* list);                  // 191
// Message 317 ({anchor list}): a new spectrum less the piecewise cubic
// through the anchors (the list's members but its first and last, in order
// of X), over anchor 1 to anchor m - 2, missing elsewhere; null for fewer
// than 4 anchors or two at one X.
AP7_SPECTRUM* ap7b_SplineBaseline(AP7_SPECTRUM* spectrum, AP40_LLIST* list);                  // 317
// Message 318 ({anchor list, degree}): a new spectrum less the least-squares
// polynomial of the degree (at most m - 1) through the same anchors; null
// for fewer than 2 anchors or a fit that cannot be made.
AP7_SPECTRUM* ap7b_PolynomialBaseline(AP7_SPECTRUM* spectrum, AP40_LLIST* list, int32_t degree);  // 318

// The line baseline of message 191: a copy of the spectrum whose points
// from the first to the last anchor lie on the lines between the anchors,
// each anchor lowered by the Y unit's full scale.
AP7_SPECTRUM* ap7b_LineBaselineSpectrum(AP7_SPECTRUM* spectrum, AP40_LLIST* list);

// ---------------------------------------------------------------------------
// Single beams from interferograms, library data and grids, data forms and
// the multi-spectrum ratio (ap7b_interferogram.cpp, ap7b_library.cpp,
// ap7b_dataform.cpp, ap7b_conformed.cpp)

constexpr uint16_t AP7_MSG_NEW_FROM_LIBRARY_DATA = 179;
constexpr uint16_t AP7_MSG_PLAN_LIBRARY_GRID = 180;
constexpr uint16_t AP7_MSG_GET_DATA_FORM = 321;
constexpr uint16_t AP7_MSG_RATIO_CONFORMED = 438;
constexpr uint16_t AP7_MSG_GET_DATA_FORM_EX = 439;

// A single beam made with the extra flag is announced to the host class 28
// (registered by a host, if at all): message 386, then on its success 385.
constexpr uint16_t AP7_SINGLE_BEAM_HOST_CLASS = 28;
constexpr uint16_t AP7_SINGLE_BEAM_HOST_FIRST = 386;
constexpr uint16_t AP7_SINGLE_BEAM_HOST_SECOND = 385;
// The library's global object holds in this parameter the host settings
// object, whose u16 parameter below asks for the laser correction after
// every transform.
constexpr uint16_t AP7_HOST_SETTINGS = 43;
constexpr uint16_t AP7_HOST_LASER_AFTER_TRANSFORM = 97;

// Bench id of a spectrum built from library data.
constexpr uint32_t AP7_LIBRARY_BENCH = 21;
// Result codes of the library grid (message 180): the grid was planned
// (its outputs written), the spacing asked for lies outside 0.001..64, the
// spectrum's units cannot go to a library, or no grid can be planned (no
// spectrum, an axis or range without points, unwritable outputs).
enum AP7_LIBRARY_GRID_CODE : uint16_t {
  AP7_LIBRARY_GRID_DONE = 0,
  AP7_LIBRARY_GRID_BAD_SPACING = 244,
  AP7_LIBRARY_GRID_BAD_UNITS = 247,
  AP7_LIBRARY_GRID_FAILED = 248
};

// Data forms (messages 321 and 439).
enum AP7_DATA_FORM : uint16_t {
  AP7_FORM_SPECTRUM = 1,
  AP7_FORM_SAMPLE_SINGLE_BEAM = 2,
  AP7_FORM_SAMPLE_INTERFEROGRAM = 3,
  AP7_FORM_BACKGROUND_SINGLE_BEAM = 4,
  AP7_FORM_BACKGROUND_INTERFEROGRAM = 5,
  AP7_FORM_RATIO = 6
};

#pragma pack(push, 2)
// Message 179, sent with a pointer to the class id, 44 bytes: count values
// of `bytes` bytes each (1, 2 or 4) at `data`.
struct AP7_LIBRARYDATAPARM {
  double x1;
  double x2;
  const void* data;
  uint32_t y_units;
  uint32_t x_units;
  const char* title;
  const char* second_text;
  uint16_t kind;
  uint32_t count;
  uint16_t bytes;
};
// Message 180: limits and spacing in and out, the count and X unit out.
struct AP7_LIBRARYGRIDPARM {
  double* x1;
  double* x2;
  double* spacing;
  uint16_t* count;
  uint16_t* x_units;
};
// Message 321 takes the form alone; 439 adds the spacing and laser flag.
struct AP7_DATAFORMPARM {
  uint16_t form;
  float spacing;
  uint16_t laser;
};
// Message 438, 38 bytes.
struct AP7_RATIOCONFORMEDPARM {
  uint16_t mode;
  AP7_SPECTRUM* background;
  AP7_SPECTRUM* dark;
  AP7_SPECTRUM* e;
  AP7_SPECTRUM* reference;
  AP7_SPECTRUM* factor;
  float a;
  float b;
  float c;
  uint16_t laser;
  uint16_t prepare;
};
// The host class's messages 386 and 385 after a single beam.
struct AP7_HOSTFIRSTPARM {
  AP7_SPECTRUM* spectrum;
  uint16_t one;
  uint32_t zero;
};
struct AP7_HOSTSECONDPARM {
  AP7_SPECTRUM* spectrum;
  uint16_t one;
  uint16_t second;
};
#pragma pack(pop)
static_assert(sizeof(AP7_LIBRARYDATAPARM) == 44);
static_assert(sizeof(AP7_LIBRARYGRIDPARM) == 20);
static_assert(sizeof(AP7_DATAFORMPARM) == 8);
static_assert(sizeof(AP7_RATIOCONFORMEDPARM) == 38);
static_assert(sizeof(AP7_HOSTFIRSTPARM) == 10);
static_assert(sizeof(AP7_HOSTSECONDPARM) == 8);

// Message 166: the conversion of message 310 with the extra flag 0.
uint16_t ap7b_InterferogramToSingleBeamDefault(AP7_SPECTRUM* spectrum, uint16_t size_code, uint16_t apodization,
                                               uint16_t phase_mode, uint32_t phase_length, uint16_t phase_size_code,
                                               uint16_t keep_phase, AP7_SPECTRUM** phase);
// The base-2 exponent nearest a transform size in points, the size code the
// conversion takes; 0 when that exponent is not 1 to 31.
uint16_t ap7b_TransformSizeCode(double points);

// Message 179, sent to the class: a new spectrum of count values from packed
// library data (scaled bytes or words, or floats as they are) over x1..x2.
// Null for a count of 0 or above AP7_MOST_POINTS, a value width other than
// 1, 2 or 4, limits that are not numbers or data that cannot be read whole.
AP7_SPECTRUM* ap7b_NewFromLibraryData(uint16_t class_id, double x1, double x2, const void* data, uint32_t y_units,
                                      uint32_t x_units, const char* title, const char* second_text, uint16_t kind,
                                      uint32_t count, uint16_t bytes);                                // 179
// Message 180: the grid on which the spectrum's stretch x1..x2 is stored
// in a library at a spacing near the one asked for. A grid code; the
// outputs are written only when it is AP7_LIBRARY_GRID_DONE.
uint16_t ap7b_PlanLibraryGrid(AP7_SPECTRUM* spectrum, double* x1, double* x2, double* spacing, uint16_t* count,
                              uint16_t* x_units);                                                     // 180

// Messages 321 and 439: a new spectrum of the data form asked for; with a
// spacing above 0 a single beam or ratio must come out at that spacing.
// Null on failure.
AP7_SPECTRUM* ap7b_GetDataForm(AP7_SPECTRUM* spectrum, uint16_t form, float spacing, uint16_t laser);  // 321, 439
// Percent transmittance (16) or reflectance (11) brought to the fraction
// (23, 21) over the whole axis; other units stay. 1 done.
uint16_t ap7b_PercentToFraction(AP7_SPECTRUM* spectrum);
// The common index range of the sample and up to five further spectra
// (null entries skipped): x1..x2 (open or equal: the sample's whole axis)
// snapped to every grid, whose spacings must agree up to a power of two.
// The count of the sample's points, each further range holding at least as
// many; 0 on failure.
int32_t ap7b_CommonRangeMulti(const AP7_SPECTRUM* sample, float* x1, float* x2, AP4_CELL* first, AP4_CELL* last,
                              const AP7_SPECTRUM* s1, AP4_CELL* first1, AP4_CELL* last1, const AP7_SPECTRUM* s2,
                              AP4_CELL* first2, AP4_CELL* last2, const AP7_SPECTRUM* s3, AP4_CELL* first3,
                              AP4_CELL* last3, const AP7_SPECTRUM* s4, AP4_CELL* first4, AP4_CELL* last4,
                              const AP7_SPECTRUM* s5, AP4_CELL* first5, AP4_CELL* last5);
// Message 438: a new spectrum of the sample ratioed by the formula of the
// mode against the background, dark, E, reference and factor spectra the
// mode uses, each brought to a single beam on the sample's grid when
// `prepare` is set. Null on failure; the spectra given stay as they were.
AP7_SPECTRUM* ap7b_RatioConformed(AP7_SPECTRUM* sample, uint16_t mode, AP7_SPECTRUM* background, AP7_SPECTRUM* dark,
                                  AP7_SPECTRUM* e, AP7_SPECTRUM* reference, AP7_SPECTRUM* factor, float a, float b,
                                  float c, uint16_t laser, uint16_t prepare);                         // 438
