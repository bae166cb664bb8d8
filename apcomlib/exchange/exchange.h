// Exchange file formats: the format classes that a spectrum-file object
// (class 21) holds as its format object for files that are not native: the
// JCAMP-DX text file (class 23), the X-Y pairs text file (class 25) and the
// VELMARAN binary spectral file (class 63). Each answers the format protocol of files.h (format test,
// read, write) over the file part of its owner, and the frame of messages
// every format object shares.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/core.h"
#include "files/files.h"
#include "spectrum/spectrum.h"

// ---------------------------------------------------------------------------
// The frame of a format object (ap63.cpp)
//
// A format object holds its class id and its owner, the spectrum-file object
// whose file part it reads and writes; it keeps no state of its own. Besides
// the format protocol it answers the common object messages through the
// root part of that file part, and passes the file messages on to it.

// Message 18 with a file object: whether that file is open. Message 65:
// the owner's write of a stored interferogram, which these formats have no
// place for: it succeeds without effect.
constexpr uint16_t AP63_MSG_FILE_IS_OPEN = AP_MSG_WRITE;
constexpr uint16_t AP63_MSG_NO_EFFECT = AP21_FORMAT_WRITE_INTERFEROGRAM;

// The messages of the frame, as a format object of the class answers them
// (its dispatcher's default); `format` is null unless it is one of the class.
uint32_t ap63_FrameMessage(AP_OBJECT* format, uint16_t class_id, const char* class_name, uint16_t message,
                           void* parameter);
// The object when it is a format object of the class and has an owner with
// a file part, else null.
AP_OBJECT* ap63_FormatObject(const void* object, uint16_t class_id);

// Keeps the library's decimal character at '.' for the life of the scope,
// and puts the one before back on every path.
class ap63_decimal_point {
 public:
  ap63_decimal_point();
  ~ap63_decimal_point();
  ap63_decimal_point(const ap63_decimal_point&) = delete;
  ap63_decimal_point& operator=(const ap63_decimal_point&) = delete;

 private:
  char saved_;
};

// The Y-unit code of a spectrum read from a file whose unit is not known,
// and the header values such a spectrum starts from.
constexpr uint32_t AP63_OTHER_UNITS = 8;
void ap63_HeaderDefaults(AP41_HEADERDATA* record);

// ---------------------------------------------------------------------------
// JCAMP-DX file class AP23 JCAMP_FILE (ap23.cpp)
//
// A JCAMP-DX 5.01 text file of one spectrum: labelled data records, then
// one data table and the end record. The reader takes the tables that other
// programs write, in plain and in compressed digits; the writer writes
// plain integers.

constexpr uint16_t AP23_CLASS_ID = 23;
constexpr char AP23_CLASS_NAME[] = "AP23_JCAMP_FILE";

constexpr uint16_t AP23_MSG_TITLE = AP21_FORMAT_TITLE;
constexpr uint16_t AP23_MSG_WRITE_HEADER = AP21_MSG_WRITE_HEADER;
constexpr uint16_t AP23_MSG_WRITE_DATA = AP21_MSG_WRITE_DATA;

// Error words the reader leaves on the file: a unit it does not know (X,
// retardation, Y, interferogram amplitude) and a table whose value count is
// not the header's; neither stops the read.
constexpr uint16_t AP23_ERROR_XUNITS = 162;
constexpr uint16_t AP23_ERROR_RUNITS = 163;
constexpr uint16_t AP23_ERROR_YUNITS = 164;
constexpr uint16_t AP23_ERROR_AUNITS = 165;
constexpr uint16_t AP23_ERROR_POINT_COUNT = 166;
// The history text of a spectrum read: group and number.
constexpr uint16_t AP23_HISTORY_GROUP = 1096;
constexpr uint16_t AP23_HISTORY_NUMBER = 71;
// The most points a table may hold, so that no count in a file can ask for
// more memory than a spectrum could use.
constexpr uint32_t AP23_MOST_POINTS = 1u << 24;
// The configuration key whose presence selects the near-IR table layout.
constexpr char AP23_CONFIG_SECTION[] = "CustomerInfo";
constexpr char AP23_NEAR_IR_KEY[] = "NearIR";
constexpr char AP23_COMPANY_KEY[] = "CompanyName";

APEXPORT uint32_t AP23_Dispatcher_JCAMP(void* object, uint16_t message, void* parameter);
uint16_t ap23_InitClass(uint16_t class_id);
uint16_t ap23_TermClass(uint16_t class_id);

// Operations, as the messages named beside them. A file that the reader
// cannot read whole gives null with the file error 38 (cut short) or 1392
// (a table that contradicts itself or its header). The writers refuse,
// writing nothing, a spectrum the format cannot hold: fewer than 2 points,
// no present value, an infinite value or X, or values the table's integers
// cannot hold.
uint16_t ap23_FormatTest(AP_OBJECT* format);                                       // 48
AP7_SPECTRUM* ap23_Read(AP_OBJECT* format);                                        // 36
uint16_t ap23_Write(AP_OBJECT* format, AP_OBJECT* spectrum);                       // 37
uint16_t ap23_GetTitle(AP_OBJECT* format, char* buffer);                           // 67
uint16_t ap23_WriteHeader(AP_OBJECT* format, AP_OBJECT* spectrum, float number);   // 147
uint16_t ap23_WriteData(AP_OBJECT* format, AP_OBJECT* spectrum);                   // 148
// The factor F by which the table's integers hold the spectrum's values
// (1 without a spectrum, and for values it cannot scale).
float ap23_GetYFactor(AP_OBJECT* spectrum);

// ---------------------------------------------------------------------------
// VELMARAN file class AP63 VELMARAN_FILE (ap63.cpp)

constexpr uint16_t AP63_CLASS_ID = 63;
constexpr char AP63_CLASS_NAME[] = "AP63_VELMARAN_FILE";

// Messages beyond the format protocol: the file's comment (67), the header
// (147, block {u32 spectrum}) and the data (148, the spectrum) of a write.
constexpr uint16_t AP63_MSG_COMMENT = AP21_FORMAT_TITLE;
constexpr uint16_t AP63_MSG_WRITE_HEADER = AP21_MSG_WRITE_HEADER;
constexpr uint16_t AP63_MSG_WRITE_DATA = AP21_MSG_WRITE_DATA;

// Version bytes: the new form, several subfiles after a 512-byte header,
// and the old form, one run of values after a 256-byte header.
constexpr uint8_t AP63_VERSION_NEW = 'K';
constexpr uint8_t AP63_VERSION_OLD = 'M';
// A flag bit that marks a file this class does not read, and the flag the
// writer sets for Raman spectra (the axis labels are then filled).
constexpr uint8_t AP63_FLAG_REFUSED = 0x80;
constexpr uint8_t AP63_FLAG_AXIS_LABELS = 0x20;
// The exponent that stores the values as 32-bit floats.
constexpr int8_t AP63_FLOAT_VALUES = -128;
constexpr uint32_t AP63_COMMENT_SIZE = 130;
constexpr uint32_t AP63_LABELS_SIZE = 30;

// Main header of the new form, 512 bytes, little-endian.
//    0    1  flags
//    1    1  version 'K'
//    2    1  not used
//    3    1  exponent of the values, signed (-128: floats)
//    4    4  points per subfile
//    8    8  first X, f64
//   16    8  last X, f64
//   24    4  number of subfiles
//   28    1  X type code
//   29    1  Y type code
//   30    2  not used
//   32    4  date: bits 0-5 minute, 6-10 hour, 11-15 day, 16-19 month, 20-31 year
//   36    9  not used
//   45    6  source program, NUL-terminated
//   51   37  not used
//   88  130  comment, NUL-terminated
//  218   30  axis labels: three NUL-terminated texts (X, Y, Z)
//  248  264  not used
#pragma pack(push, 1)
struct AP63_HEADER {
  uint8_t flags;
  uint8_t version;
  uint8_t unused2;
  int8_t exponent;
  uint32_t points;
  double first_x;
  double last_x;
  uint32_t subfiles;
  uint8_t x_type;
  uint8_t y_type;
  uint8_t unused30[2];
  uint32_t date;
  uint8_t unused36[9];
  char source[6];
  uint8_t unused51[37];
  char comment[AP63_COMMENT_SIZE];
  char labels[AP63_LABELS_SIZE];
  uint8_t unused248[264];
};
// Subfile header, 32 bytes, before each subfile's values: byte 1 is an
// exponent that replaces the main one in a file of several subfiles.
struct AP63_SUBHEADER {
  uint8_t flags;
  int8_t exponent;
  uint8_t unused[30];
};
// Main header of the old form, 256 bytes, as far as it is read. Each value
// after it has its two 16-bit halves exchanged (the high half first).
//    0    1  flags
//    1    1  version 'M'
//    2    2  exponent, signed (-128: floats)
//    4    4  points, f32
//    8    4  first X, f32
//   12    4  last X, f32
//   16    1  X type code
//   17    1  Y type code
//   18    2  year counted from 1900
//   20    1  month 1-12
//   21    1  day
//   22    1  hour + 1
//   23    1  minute
//   24   10  not used
//   34    2  number of scans
//   36   28  not used
//   64  130  comment
//  194   62  not used
struct AP63_OLDHEADER {
  uint8_t flags;
  uint8_t version;
  int16_t exponent;
  float points;
  float first_x;
  float last_x;
  uint8_t x_type;
  uint8_t y_type;
  int16_t year;
  uint8_t month;
  uint8_t day;
  uint8_t hour;
  uint8_t minute;
  uint8_t unused24[10];
  uint16_t scans;
  uint8_t unused36[28];
  char comment[AP63_COMMENT_SIZE];
  uint8_t unused194[62];
};
#pragma pack(pop)
static_assert(sizeof(AP63_HEADER) == 512);
static_assert(offsetof(AP63_HEADER, first_x) == 8);
static_assert(offsetof(AP63_HEADER, subfiles) == 24);
static_assert(offsetof(AP63_HEADER, date) == 32);
static_assert(offsetof(AP63_HEADER, source) == 45);
static_assert(offsetof(AP63_HEADER, comment) == 88);
static_assert(offsetof(AP63_HEADER, labels) == 218);
static_assert(sizeof(AP63_SUBHEADER) == 32);
static_assert(sizeof(AP63_OLDHEADER) == 256);
static_assert(offsetof(AP63_OLDHEADER, year) == 18);
static_assert(offsetof(AP63_OLDHEADER, scans) == 34);
static_assert(offsetof(AP63_OLDHEADER, comment) == 64);

#pragma pack(push, 2)
// Message 147, 4 bytes.
struct AP63_HEADERPARM {
  AP_OBJECT* spectrum;
};
#pragma pack(pop)
static_assert(sizeof(AP63_HEADERPARM) == 4);

APEXPORT uint32_t AP63_Dispatcher_VELMARAN(void* object, uint16_t message, void* parameter);
uint16_t ap63_InitClass(uint16_t class_id);
uint16_t ap63_TermClass(uint16_t class_id);

// Operations, as the messages named beside them. The reader answers a
// spectrum, or a list (class 40) of spectra for a file of several subfiles;
// a damaged file gives null with the file error 11 (not this format), 38
// (cut short) or 1392 (counts that cannot be right) on the owner's file.
uint16_t ap63_FormatTest(AP_OBJECT* format);                          // 48
AP_OBJECT* ap63_Read(AP_OBJECT* format);                              // 36
uint16_t ap63_Write(AP_OBJECT* format, AP_OBJECT* spectrum);          // 37
uint16_t ap63_GetComment(AP_OBJECT* format, char* buffer);            // 67
uint16_t ap63_WriteHeader(AP_OBJECT* format, AP_OBJECT* spectrum);    // 147
uint16_t ap63_WriteData(AP_OBJECT* format, AP_OBJECT* spectrum);      // 148

// ---------------------------------------------------------------------------
// X-Y pairs file class AP25 X-Y PAIRS_FILE (ap25.cpp)
//
// A text file of one point a line: X, the list separator of the
// international settings, Y. Reading gives the pairs (a DATAPAIR object,
// class 9); messages 168 and 250 turn pairs into a spectrum.

constexpr uint16_t AP25_CLASS_ID = 25;
constexpr char AP25_CLASS_NAME[] = "AP25_X-Y PAIRS_FILE";

constexpr uint16_t AP25_MSG_WRITE_RANGE = AP21_MSG_WRITE_RANGE;
constexpr uint16_t AP25_MSG_HEADER_FROM_PAIRS = 168;
constexpr uint16_t AP25_MSG_DATA_FROM_PAIRS = 250;
// The format test's answer for an object that is not of the class.
constexpr uint32_t AP25_NOT_MINE = static_cast<uint32_t>(-4);
// The text of a missing value.
constexpr char AP25_MISSING_TEXT[] = "#NaN";
// History text of a spectrum made from pairs: group and number.
constexpr uint16_t AP25_HISTORY_GROUP = 1096;
constexpr uint16_t AP25_HISTORY_NUMBER = 96;

#pragma pack(push, 2)
// Message 65 of the class, 6 bytes.
struct AP25_WHICHPARM {
  uint16_t which;
  uint32_t value;
};
// Message 250, 8 bytes.
struct AP25_DATAPARM {
  AP_OBJECT* spectrum;
  AP_OBJECT* pairs;
};
#pragma pack(pop)
static_assert(sizeof(AP25_WHICHPARM) == 6);
static_assert(sizeof(AP25_DATAPARM) == 8);

APEXPORT uint32_t AP25_Dispatcher_XYPAIRS(void* object, uint16_t message, void* parameter);
uint16_t ap25_InitClass(uint16_t class_id);
uint16_t ap25_TermClass(uint16_t class_id);

// Operations, as the messages named beside them.
uint16_t ap25_FormatTest(AP_OBJECT* format);                                                 // 48
AP_OBJECT* ap25_Read(AP_OBJECT* format);                                                     // 36
uint16_t ap25_Write(AP_OBJECT* format, AP_OBJECT* spectrum);                                 // 37
uint16_t ap25_WriteRange(AP_OBJECT* format, AP_OBJECT* spectrum, float x1, float x2);        // 146
AP7_SPECTRUM* ap25_HeaderFromPairs(AP_OBJECT* pairs);                                         // 168
uint16_t ap25_DataFromPairs(AP_OBJECT* spectrum, AP_OBJECT* pairs);                          // 250

// Lines of a file from its current position, whatever their length, the
// last one with or without its line end; a CR before the LF is dropped.
class ap25_LineReader {
 public:
  explicit ap25_LineReader(AP20_FILE* file) : file_(file) {}
  bool next(std::string* line);

 private:
  static bool finish(std::string* line);
  AP20_FILE* file_;
  char block_[4096];
  uint32_t filled_ = 0;
  uint32_t at_ = 0;
};

// The parabola through three neighbouring points around a cursor that
// moves forward through ascending X; with fewer than three points, the
// line through two or the value of one. The points must outlive it.
class ap25_QuadraticInterpolation {
 public:
  ap25_QuadraticInterpolation(const std::vector<float>& x, const std::vector<float>& y) : x_(x), y_(y) {}
  double at(double x);

 private:
  double line_at(double x) const;
  void coefficients();
  const std::vector<float>& x_;
  const std::vector<float>& y_;
  size_t cursor_ = 1;
  bool started_ = false;
  double a_ = 0, b_ = 0, c_ = 0;
};
