// The smart-accessory table: for each sampling accessory its name, its
// help-file base and, per help group 0-33, the message numbers that explain
// a problem; and the list of accessory names by ID.
//
// Owns the process-wide table: the built-in rows compiled in here, merged
// with the accessory descriptions under the registry key "SmartAcc",
// loaded once by SQR message 79 and freed at SQR class termination (which
// also lets a later load of the library read it afresh). The SQR
// dispatcher (ap121.cpp) answers its accessory queries here; the settings
// class maps old accessory codes with ap121_MapAccessoryCode.
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "processing/processing.h"
#include "platform/registry.h"
#include "util/util.h"

namespace {

constexpr int kGroups = 34;
// Texts of the table: 127 characters and the terminator.
constexpr uint32_t kTextBytes = 128;
constexpr int16_t kNone = -1;
constexpr uint16_t kGroupNames = 434;     // entry names by ID
constexpr uint16_t kGroupNameList = 461;  // the name list, numbered by ID
constexpr char kNoName[] = "No Name";
constexpr char kSmartAccKey[] = "\\SmartAcc";
constexpr REGSAM kReadAccess = 0x20019;
// The registry value names count the groups from 2.
constexpr int kFirstValueNumber = 2;

using GroupNumbers = std::array<int16_t, kGroups>;
using Text = std::array<char, kTextBytes>;

// One accessory description of the registry.
struct RegistryRecord {
  int16_t id = 0;
  Text title{};
  Text help_base{};
  Text model{};
  GroupNumbers help{};
  int16_t help_count = 0;
  // Byte positions of the texts in `messages` (a multiple of 128), -1 where
  // the group has none.
  GroupNumbers message_at{};
  int16_t message_count = 0;
  std::vector<char> messages;
};

struct Entry {
  int16_t id = 0;
  Text name{};
  // The message numbers of each group.
  std::array<std::vector<uint16_t>, kGroups> numbers;
  Text help_base{};
  // 1 where the group's number came from the registry's Help value.
  GroupNumbers help_flag{};
  int16_t text_count = 0;
  GroupNumbers text_at{};
  std::vector<char> texts;
};

struct NameListItem {
  uint16_t id;
  Text name;
};

struct AccessoryTable {
  bool loaded = false;
  std::vector<Entry> entries;
  std::vector<NameListItem> names;
};
AccessoryTable g_table;

// The built-in rows: IDs in table order, every group's number its index
// + 2 except where an accessory names its own.
const int16_t kBuiltInIds[] = {0, 501, 502, 503, 504, 505, 506, 507, 508, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
struct GroupNumber {
  int group;
  int16_t number;
};
const GroupNumber kOwnNumbersAtr[] = {{4, 49}, {6, 43}, {7, 41}, {8, 45}, {16, 51}, {17, 52}, {30, 47}, {33, 41}};
const GroupNumber kOwnNumbersBase[] = {{4, 89},  {6, 83},  {7, 81},  {8, 85},  {16, 91}, {17, 92},
                                       {22, 93}, {23, 95}, {24, 94}, {30, 87}, {33, 81}};
// Accessories 8, 9 and 10 take the numbers of 7 moved up by 20; 11 by -20.
constexpr int16_t kBaseAccessory = 7;
constexpr int16_t kNumbersShift = 20;

GroupNumbers ap121_built_in_row(int16_t id) {
  GroupNumbers row;
  for (int group = 0; group < kGroups; ++group) row[group] = static_cast<int16_t>(group + 2);
  if (id >= 3 && id <= 5) {
    for (const GroupNumber& own : kOwnNumbersAtr) row[own.group] = own.number;
  } else if (id >= kBaseAccessory && id <= 11) {
    const int16_t shift = id == kBaseAccessory ? 0 : id == 11 ? -kNumbersShift : kNumbersShift;
    for (const GroupNumber& own : kOwnNumbersBase) row[own.group] = static_cast<int16_t>(own.number + shift);
  }
  return row;
}

bool ap121_is_built_in(int16_t id) {
  for (int16_t built_in : kBuiltInIds) {
    if (built_in == id) return true;
  }
  return false;
}

void ap121_copy_text(Text* text, const char* source) {
  text->fill(0);
  if (source != nullptr) std::memcpy(text->data(), source, strnlen(source, kTextBytes - 1));
}

// A registry text into a table text: at most 127 characters, always
// terminated, whatever the value's type or length (a binary value fills
// the read buffer without a terminator).
bool ap121_read_text(const std::string& path, const char* name, Text* text) {
  char read[kTextBytes + 1] = {};
  const bool found = GU9_GetKeyValue(path.c_str(), name, HKEY_LOCAL_MACHINE, kTextBytes, read) != 0;
  ap121_copy_text(text, found ? read : nullptr);
  return found;
}

// One subkey's description; false when it lacks IDCode, Title or
// SmartModel.
bool ap121_read_record(const std::string& path, RegistryRecord* record) {
  uint32_t id = 0;
  if (GU9_GetDWordKeyValue(path.c_str(), "IDCode", HKEY_LOCAL_MACHINE, &id) == 0 ||
      !ap121_read_text(path, "Title", &record->title) || !ap121_read_text(path, "SmartModel", &record->model))
    return false;
  record->id = static_cast<int16_t>(id & 0xFFFF);
  ap121_read_text(path, "HelpFileBase", &record->help_base);
  char name[32];
  for (int group = 0; group < kGroups; ++group) {
    std::snprintf(name, sizeof name, "Help%d", group + kFirstValueNumber);
    uint32_t help = 0;
    record->help[group] = kNone;
    if (GU9_GetDWordKeyValue(path.c_str(), name, HKEY_LOCAL_MACHINE, &help) != 0) {
      record->help[group] = static_cast<int16_t>(help);
      ++record->help_count;
    }
  }
  for (int group = 0; group < kGroups; ++group) {
    std::snprintf(name, sizeof name, "Message%d", group + kFirstValueNumber);
    Text message;
    record->message_at[group] = kNone;
    if (!ap121_read_text(path, name, &message)) continue;
    record->message_at[group] = static_cast<int16_t>(record->messages.size());
    record->messages.insert(record->messages.end(), message.begin(), message.end());
    ++record->message_count;
  }
  return true;
}

// Every complete description under the key; an incomplete subkey is passed
// over and the complete ones read before it are kept.
std::vector<RegistryRecord> ap121_read_registry() {
  std::vector<RegistryRecord> records;
  const std::string key = std::string(GU9_TALVO_KEY) + kSmartAccKey;
  HKEY opened = GU9_RegOpenKey(key.c_str(), HKEY_LOCAL_MACHINE, kReadAccess);
  if (opened == nullptr) return records;
  char subkey[GU9_PATH_SIZE + 1] = {};
  for (uint32_t index = 0; GU9_RegEnumKey(opened, index, subkey, GU9_PATH_SIZE) != 0; ++index) {
    RegistryRecord record;
    if (ap121_read_record(key + "\\" + subkey, &record)) records.push_back(std::move(record));
  }
  GU9_RegCloseKey(opened);
  return records;
}

// The last registry record of an ID, or null.
const RegistryRecord* ap121_record_of(const std::vector<RegistryRecord>& records, int16_t id) {
  const RegistryRecord* found = nullptr;
  for (const RegistryRecord& record : records) {
    if (record.id == id) found = &record;
  }
  return found;
}

Entry* ap121_last_entry_of(int16_t id) {
  Entry* found = nullptr;
  for (Entry& entry : g_table.entries) {
    if (entry.id == id) found = &entry;
  }
  return found;
}

void ap121_build_entries(const std::vector<RegistryRecord>& records) {
  for (int16_t id : kBuiltInIds) {
    Entry entry;
    entry.id = id;
    const char* name = GU4_GetAssocString(kGroupNames, static_cast<uint16_t>(id), nullptr, nullptr);
    ap121_copy_text(&entry.name, name != nullptr ? name : kNoName);
    g_table.entries.push_back(std::move(entry));
  }
  for (const RegistryRecord& record : records) {
    Entry* entry = ap121_last_entry_of(record.id);
    if (entry == nullptr) {
      g_table.entries.emplace_back();
      entry = &g_table.entries.back();
      entry->id = record.id;
    }
    entry->help_base = record.help_base;
    entry->name = record.title;
  }
  for (Entry& entry : g_table.entries) {
    // An accessory known only from the registry takes the rows of ID 0.
    const GroupNumbers row = ap121_built_in_row(ap121_is_built_in(entry.id) ? entry.id : 0);
    const RegistryRecord* record = ap121_record_of(records, entry.id);
    for (int group = 0; group < kGroups; ++group) {
      entry.help_flag[group] = 0;
      entry.text_at[group] = kNone;
      if (record != nullptr && record->help[group] != kNone) {
        entry.numbers[group] = {static_cast<uint16_t>(record->help[group])};
        entry.help_flag[group] = 1;
      } else if (row[group] != kNone) {
        entry.numbers[group] = {static_cast<uint16_t>(row[group])};
      }
    }
    if (record != nullptr && record->message_count > 0) {
      entry.text_count = record->message_count;
      entry.text_at = record->message_at;
      entry.texts = record->messages;
    }
  }
}

void ap121_build_names(const std::vector<RegistryRecord>& records) {
  const int32_t count = GU4_GetAssocCount(kGroupNameList, nullptr);
  for (int32_t position = 0; position < count; ++position) {
    const char* text = GU4_GetAssocIndex(kGroupNameList, position, nullptr);
    if (text == nullptr) continue;
    NameListItem item;
    item.id = static_cast<uint16_t>(GU4_GetAssocNumber(kGroupNameList, text, nullptr, nullptr));
    ap121_copy_text(&item.name, text);
    g_table.names.push_back(item);
  }
  for (const RegistryRecord& record : records) {
    if (record.id <= 0) continue;
    bool listed = false;
    for (NameListItem& item : g_table.names) {
      if (item.id != static_cast<uint16_t>(record.id)) continue;
      item.name = record.model;
      listed = true;
    }
    if (!listed) g_table.names.push_back({static_cast<uint16_t>(record.id), record.model});
  }
}

// The first entry of the result's accessory (parameter 6), or null.
const Entry* ap121_entry_of(const AP121_SQR* result) {
  if (result == nullptr) return nullptr;
  const int16_t id = ap12x_get<int16_t>(result->params, AP121_ACCESSORY);
  for (const Entry& entry : g_table.entries) {
    if (entry.id == id) return &entry;
  }
  return nullptr;
}

// The position of a message number among the first 34 numbers of the
// entry's list, or -1.
int ap121_position_of(const Entry& entry, int16_t message) {
  int position = 0;
  for (const std::vector<uint16_t>& group : entry.numbers) {
    for (uint16_t number : group) {
      if (position >= kGroups) return -1;
      if (number == static_cast<uint16_t>(message)) return position;
      ++position;
    }
  }
  return -1;
}

// With the energy warning set, these accessories point groups 6, 8 and 30
// at one message of their own.
struct EnergyOverride {
  int16_t first_id;
  int16_t last_id;
  int16_t messages[3];
};
const EnergyOverride kEnergyOverrides[] = {
    {3, 5, {44, 46, 48}}, {12, 12, {44, 46, 48}}, {7, 7, {84, 86, 88}}, {8, 10, {104, 106, 108}}, {11, 11, {64, 66, 68}},
};
const int kEnergyGroups[3] = {6, 8, 30};
constexpr uint32_t kEnergyWarning = AP121_SECOND_WORD | 8;

int16_t ap121_energy_message(int16_t id, int16_t group) {
  for (const EnergyOverride& row : kEnergyOverrides) {
    if (id < row.first_id || id > row.last_id) continue;
    for (int at = 0; at < 3; ++at) {
      if (kEnergyGroups[at] == group) return row.messages[at];
    }
  }
  return kNone;
}

}  // namespace

uint16_t ap121_LoadAccessories() {
  if (g_table.loaded) return 1;
  const std::vector<RegistryRecord> records = ap121_read_registry();
  ap121_build_entries(records);
  ap121_build_names(records);
  g_table.loaded = true;
  return 1;
}

void ap121_FreeAccessories() { g_table = AccessoryTable{}; }

uint16_t ap121_MapAccessoryCode(uint16_t* code) {
  if (code == nullptr) return 0;
  static const uint16_t kCurrent[22] = {0,   3,   2,   1, 6, 501, 502, 503, 504, 505, 506,
                                        507, 508, 7, 9, 11, 0,   13,  14,  15,  16,  12};
  const int16_t old = static_cast<int16_t>(*code);
  if (old >= 100) *code = static_cast<uint16_t>(old - 100);
  else if (old >= 0 && old < 22) *code = kCurrent[old];
  else *code = 0;
  return 1;
}

uint32_t ap121_AccessoryCount() { return static_cast<uint32_t>(g_table.entries.size()); }

uint32_t ap121_HelpGroup(const AP121_SQR* result, const AP121_HELPGROUPPARM* block) {
  if (result == nullptr || block->index == nullptr || block->count == nullptr || block->list == nullptr ||
      g_table.entries.empty())
    return 0;
  const int16_t group = *block->index;
  if (group < 0 || group >= kGroups) return 0;
  const Entry* entry = ap121_entry_of(result);
  if (entry == nullptr) entry = &g_table.entries.front();
  if (ap121_AnyBit(result, AP121_WARNINGS, kEnergyWarning)) {
    const int16_t message = ap121_energy_message(ap12x_get<int16_t>(result->params, AP121_ACCESSORY), group);
    if (message != kNone) {
      *block->count = 1;
      block->list[0] = static_cast<uint16_t>(message);
      return 1;
    }
  }
  const std::vector<uint16_t>& numbers = entry->numbers[group];
  *block->count = static_cast<uint16_t>(numbers.size());
  std::copy(numbers.begin(), numbers.end(), block->list);
  return 1;
}

uint32_t ap121_AccessoryAt(const AP121_ENTRYATPARM* block) {
  if (block->index < 0 || static_cast<size_t>(block->index) >= g_table.entries.size() || block->id == nullptr ||
      block->name == nullptr || block->help_base == nullptr)
    return 0;
  const Entry& entry = g_table.entries[static_cast<size_t>(block->index)];
  *block->id = static_cast<uint16_t>(entry.id);
  *block->name = entry.name.data();
  *block->help_base = entry.help_base.data();
  return 1;
}

uint32_t ap121_AccessoryById(const AP121_ENTRYBYIDPARM* block) {
  if (block->id == nullptr || block->name == nullptr || block->help_base == nullptr) return 0;
  const Entry* entry = ap121_last_entry_of(static_cast<int16_t>(*block->id));
  if (entry == nullptr) return 0;
  *block->name = entry->name.data();
  *block->help_base = entry->help_base.data();
  return 1;
}

const char* ap121_AccessoryName(uint16_t id) {
  const Entry* entry = ap121_last_entry_of(static_cast<int16_t>(id));
  return entry != nullptr ? entry->name.data() : nullptr;
}

uint32_t ap121_HasName(uint16_t id) {
  for (const NameListItem& item : g_table.names) {
    if (item.id == id) return 1;
  }
  return 0;
}

uint32_t ap121_CopyName(const AP121_COPYNAMEPARM* block) {
  if (block->id == nullptr || block->buffer == nullptr) return 0;
  for (const NameListItem& item : g_table.names) {
    if (item.id != static_cast<uint16_t>(*block->id)) continue;
    std::memcpy(block->buffer, item.name.data(), std::strlen(item.name.data()) + 1);
    return 1;
  }
  return 0;
}

const char* ap121_MessageText(const AP121_SQR* result, int16_t message) {
  const Entry* entry = ap121_entry_of(result);
  if (entry == nullptr) return nullptr;
  const int position = ap121_position_of(*entry, message);
  if (position < 0 || entry->text_count < 1 || entry->text_at[position] < 0) return nullptr;
  return entry->texts.data() + entry->text_at[position];
}

const char* ap121_MessageHelp(const AP121_SQR* result, int16_t message) {
  const Entry* entry = ap121_entry_of(result);
  if (entry == nullptr) return nullptr;
  const int position = ap121_position_of(*entry, message);
  return position >= 0 && entry->help_flag[position] != 0 ? entry->help_base.data() : nullptr;
}
