// Associated strings: numbered texts in "STRGRP" resources of the resource
// modules, looked up by group and number, by group and text, or by position,
// searching the modules newest first (a language DLL overrides the module's
// own texts). Also string-table look-ups over the same modules.
//
// Units, parameter choices, month and weekday names, help files and wheel
// positions of the whole library are read here; every caller has a fallback
// for absent texts. A group resource whose records run past its end is taken
// as one that cannot be loaded: it is passed over like an absent one.

#include <cstring>

#include "platform/codepage.h"
#include "util/util.h"

namespace {

uint16_t g_string_translation = 1;

// One group resource of one module.
struct StringGroup {
  HINSTANCE instance;
  const uint8_t* data;
  DWORD size;
};

uint16_t gu4b_u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// The record at data[*at]: its text, number and extra value; null at the end
// record or where a record does not fit the resource.
const char* gu4b_record(const StringGroup& group, DWORD* at, uint16_t* number, uint16_t* extra) {
  if (*at + 2 > group.size) return nullptr;
  *number = gu4b_u16(group.data + *at);
  if (*number == GU4_STRGRP_END) return nullptr;
  const char* text = reinterpret_cast<const char*>(group.data + *at + 2);
  const void* terminator = std::memchr(text, '\0', group.size - (*at + 2));
  if (terminator == nullptr) return nullptr;
  const DWORD after_text = static_cast<DWORD>(static_cast<const uint8_t*>(terminator) - group.data) + 1;
  if (after_text + 2 > group.size) return nullptr;
  *extra = gu4b_u16(group.data + after_text);
  *at = after_text + 2;
  return text;
}

// True when the records reach the end record inside the resource.
bool gu4b_well_formed(const StringGroup& group) {
  DWORD at = 0;
  uint16_t number, extra;
  while (gu4b_record(group, &at, &number, &extra) != nullptr) {
  }
  return at + 2 <= group.size && gu4b_u16(group.data + at) == GU4_STRGRP_END;
}

// The next module of the search that has the group, in `group`; `index`
// starts at GU4_DLL_TABLE_SIZE. A given instance is the only module searched.
bool gu4b_next_group(uint16_t number, HINSTANCE instance, int16_t* index, StringGroup* group) {
  const char* name = MAKEINTRESOURCEA(number);
  while (*index >= 0) {
    HRSRC resource;
    if (instance != nullptr) {
      group->instance = *index == GU4_DLL_TABLE_SIZE ? instance : nullptr;
      resource = group->instance != nullptr ? FindResourceA(instance, name, GU4_STRGRP) : nullptr;
      *index = -1;
    } else {
      resource = GU4_FindNextResource(&group->instance, name, GU4_STRGRP, index);
    }
    if (resource == nullptr) return false;
    group->data = static_cast<const uint8_t*>(LockResource(LoadResource(group->instance, resource)));
    group->size = SizeofResource(group->instance, resource);
    if (group->data != nullptr && gu4b_well_formed(*group)) return true;
  }
  return false;
}

int32_t gu4b_count(const StringGroup& group) {
  DWORD at = 0;
  uint16_t number, extra;
  int32_t count = 0;
  while (gu4b_record(group, &at, &number, &extra) != nullptr) ++count;
  return count;
}

}  // namespace

APEXPORT uint16_t GU4_SetStringTranslation(uint16_t flag) {
  g_string_translation = flag;
  return flag;
}

APEXPORT const char* GU4_GetAssocString(uint16_t group_number, uint16_t number, HINSTANCE instance,
                                        uint16_t* extra) {
  const char* found = nullptr;
  uint16_t found_extra = 0;
  int16_t index = GU4_DLL_TABLE_SIZE;
  StringGroup group;
  while (gu4b_next_group(group_number, instance, &index, &group)) {
    DWORD at = 0;
    uint16_t record_number, record_extra;
    const char* text = nullptr;
    while ((text = gu4b_record(group, &at, &record_number, &record_extra)) != nullptr && record_number != number) {
    }
    if (text == nullptr) continue;
    found = text;
    found_extra = record_extra;
    if (g_string_translation != 0) break;  // the newest module wins; else the oldest
  }
  if (found != nullptr && extra != nullptr) *extra = found_extra;
  return found;
}

APEXPORT int32_t GU4_GetAssocNumber(uint16_t group_number, const char* text, HINSTANCE instance, uint16_t* extra) {
  if (text == nullptr) return -1;
  int16_t index = GU4_DLL_TABLE_SIZE;
  StringGroup group;
  while (gu4b_next_group(group_number, instance, &index, &group)) {
    DWORD at = 0;
    uint16_t number, record_extra;
    while (const char* record = gu4b_record(group, &at, &number, &record_extra)) {
      if (_stricmp(record, text) != 0) continue;
      if (extra != nullptr) *extra = record_extra;
      return static_cast<int16_t>(number);
    }
  }
  return -1;
}

APEXPORT const char* GU4_GetAssocIndex(uint16_t group_number, int32_t position, HINSTANCE instance) {
  if (position < 0) return nullptr;
  int16_t index = GU4_DLL_TABLE_SIZE;
  StringGroup group;
  while (gu4b_next_group(group_number, instance, &index, &group)) {
    DWORD at = 0;
    uint16_t number, extra;
    while (const char* record = gu4b_record(group, &at, &number, &extra)) {
      if (position-- == 0) return record;
    }
  }
  return nullptr;
}

APEXPORT int32_t GU4_GetAssocCount(uint16_t group_number, HINSTANCE instance) {
  int32_t total = -1;
  int16_t index = GU4_DLL_TABLE_SIZE;
  StringGroup group;
  while (gu4b_next_group(group_number, instance, &index, &group)) total = (total < 0 ? 0 : total) + gu4b_count(group);
  return total;
}

APEXPORT int32_t GU4_GetAssocCountNoDup(uint16_t group_number, HINSTANCE instance) {
  int16_t index = GU4_DLL_TABLE_SIZE;
  StringGroup group;
  return gu4b_next_group(group_number, instance, &index, &group) ? gu4b_count(group) : -1;
}

APEXPORT char* GU4_GetString(uint16_t id, char* buffer, int32_t size) {
  if (buffer == nullptr || size <= 0) return nullptr;
  HINSTANCE instance = nullptr;
  int16_t index = 0;
  if (GU4_FindFirstResource(&instance, MAKEINTRESOURCEA(id), RT_STRING, &index) == nullptr) return nullptr;
  LoadStringA(instance, id, buffer, size);
  return buffer;
}
