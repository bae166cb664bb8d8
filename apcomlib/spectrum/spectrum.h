// Spectrum model: the records every spectrum carries and the classes that
// keep them (title, spectral header, annotation, history bits), declared for
// the spectrum class and the native file layer.
#pragma once
#include <cstdint>

#include "array/array.h"
#include "core/core.h"

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

// ---------------------------------------------------------------------------
// History bits

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

// Spectrum messages the annotation sends to the spectrum it belongs to.
constexpr uint16_t AP7_MSG_GET_VALUE_AT_X = 37;
constexpr uint16_t AP7_MSG_GET_HEADER = 168;
// Header parameter that holds a spectrum's Y-unit code (u32).
constexpr uint16_t AP34_HEADER_Y_UNITS = 5;

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
