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
