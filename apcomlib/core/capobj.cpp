// Support functions for the object wrapper classes.
//
// The few C++ classes over accessory objects (the converter's spectrum and
// header wrappers, the file layer's wrapper) share these: bounded text
// copies, conversion between UTF-16 strings and the ANSI code page
// (Windows-1252), the dispatcher and counts of a class, and the accessory
// object a wrapper holds. They keep no state.
#include <cstring>
#include <new>

#include "core/core.h"
#include "platform/codepage.h"
#include "platform/memory.h"

namespace {

// Where a wrapper keeps its accessory object: the word after its table of
// virtual functions.
constexpr size_t kWrappedObjectOffset = 4;

}  // namespace

char* capobj_StrCopyN(const char* source, char* destination, int32_t n) {
  if (n <= 0 || IsBadWritePtr(destination, static_cast<UINT_PTR>(n))) return destination;
  std::strncpy(destination, source != nullptr ? source : "", static_cast<size_t>(n));
  destination[n - 1] = '\0';
  return destination;
}

char* capobj_StrCopyN2(const char* source, char* destination, int32_t n) {
  return capobj_StrCopyN(source, destination, n);
}

int32_t capobj_WideToMultiByteLen(const std::u16string& wide) {
  return WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
}

char* capobj_WideToMultiByte(const std::u16string& wide, char* buffer, int32_t size) {
  if (size <= 0 || IsBadWritePtr(buffer, static_cast<UINT_PTR>(size))) return nullptr;
  buffer[0] = '\0';
  if (capobj_WideToMultiByteLen(wide) > size) return nullptr;
  WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, buffer, size, nullptr, nullptr);
  return buffer;
}

void capobj_MultiByteToWide(const char* text, std::u16string& wide) {
  if (text == nullptr) return;
  const int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (units <= 0) return;
  std::u16string converted;
  try {
    converted.resize(static_cast<size_t>(units));
  } catch (const std::bad_alloc&) {
    return;
  }
  MultiByteToWideChar(CP_ACP, 0, text, -1, converted.data(), units);
  converted.resize(static_cast<size_t>(units - 1));  // the NUL is the string's own
  wide.swap(converted);
}

AP_DISPATCHER capobj_GetDispatcher(uint16_t class_id) { return GU2_GetDispatcher(class_id); }

bool capobj_GetClassInfo(uint16_t class_id, uint32_t* live, uint32_t* created, uint32_t* state) {
  uint16_t live_count = 0;
  uint16_t created_count = 0;
  uint16_t class_state = 0;
  if (APX_GetAPClassInfo(class_id, &live_count, &created_count, &class_state) != 1) return false;
  if (live != nullptr) *live = live_count;
  if (created != nullptr) *created = created_count;
  if (state != nullptr) *state = class_state;
  return true;
}

AP_OBJECT* capobj_GetWrappedObject(const void* wrapper) {
  if (wrapper == nullptr || IsBadReadPtr(wrapper, kWrappedObjectOffset + sizeof(AP_OBJECT*))) return nullptr;
  AP_OBJECT* object;
  std::memcpy(&object, static_cast<const char*>(wrapper) + kWrappedObjectOffset, sizeof object);
  return object;
}
