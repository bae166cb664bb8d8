// Registry access for the library: opening keys, reading values of any type
// into a caller's buffer (always bounded), writing DWORD and text values,
// creating and deleting keys and values. On top of it the instrument bench
// settings under "SOFTWARE\Corvane Instrument\Bench", the descriptions of
// filter-wheel positions in "BenchData.ini" of the product's data directory,
// and the shell file associations of the workstation's file types.
//
// Called by the math and spectrum code (collection defaults, laser
// frequencies, product settings), the language-DLL loader and the hosts.

#include <charconv>
#include <cstdio>
#include <cstring>

#include "platform/codepage.h"
#include "platform/profile.h"
#include "util/util.h"

namespace {

constexpr REGSAM kQuery = KEY_QUERY_VALUE;
constexpr size_t kBoolTextSize = 260;
constexpr size_t kFloatTextSize = 30;

constexpr const char* kWheelSections[] = {"ScreenWheel", "FirstFilterWheel", "SecondFilterWheel"};
constexpr const char* kBenchDataFile = "BenchData.ini";

// path + '\' + subkey in a path buffer; a null subkey leaves the path alone.
// False when it does not fit.
bool gu9_join(char* out, const char* path, const char* subkey) {
  const int written = subkey != nullptr ? std::snprintf(out, GU9_PATH_SIZE, "%s\\%s", path, subkey)
                                        : std::snprintf(out, GU9_PATH_SIZE, "%s", path);
  return written >= 0 && written < GU9_PATH_SIZE;
}

// A whole value read into a memory block of the memory manager.
struct RegistryValue {
  GU3_HANDLE block;
  const uint8_t* data;
  DWORD type;
  DWORD length;
};

void gu9_release(RegistryValue* value) {
  if (value->block != nullptr) GU3_Free_MM(value->block);
  value->block = nullptr;
}

// Opens the key for query, sizes a block by the key's longest value and
// reads the value into it.
bool gu9_read_value(const char* path, const char* name, HKEY root, RegistryValue* value) {
  *value = RegistryValue{nullptr, nullptr, REG_NONE, 0};
  HKEY key = GU9_RegOpenKey(path, root, kQuery);
  if (key == nullptr) return false;
  DWORD longest = 0;
  bool read = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longest,
                               nullptr, nullptr) == ERROR_SUCCESS;
  value->block = read ? GU3_Allocate_MM(longest > 0 ? longest : 1, 1, GU3_KIND_GLOBAL) : nullptr;
  if (value->block != nullptr) {
    auto* data = static_cast<uint8_t*>(GU3_GetPointer_MM(value->block, 0, nullptr, nullptr));
    value->length = longest;
    read = RegQueryValueExA(key, name, nullptr, &value->type, data, &value->length) == ERROR_SUCCESS;
    value->data = data;
  }
  GU9_RegCloseKey(key);
  if (read && value->block != nullptr) return true;
  gu9_release(value);
  return false;
}

bool gu9_is_text(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// Copies at most size - 1 bytes of a value and a terminator.
void gu9_copy_text(const RegistryValue& value, char* buffer, uint32_t size) {
  const uint32_t copied = value.length < size ? value.length : size - 1;
  std::memcpy(buffer, value.data, copied);
  buffer[copied] = '\0';
}

// Opens an existing key of HKEY_LOCAL_MACHINE for writing and sets a value.
uint16_t gu9_set_value(const char* path, const char* name, DWORD type, const void* data, uint32_t size) {
  if (path == nullptr || name == nullptr || data == nullptr) return 0;
  HKEY key = GU9_RegOpenKey(path, HKEY_LOCAL_MACHINE, KEY_WRITE);
  if (key == nullptr) return 0;
  const bool set = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
  GU9_RegCloseKey(key);
  return set ? 1 : 0;
}

bool gu9_bench_path(const char* section, char* path) { return gu9_join(path, GU9_BENCH_KEY, section); }

// A bench value read whole; false for a null key or an absent value.
bool gu9_bench_value(const char* section, const char* key, RegistryValue* value) {
  char path[GU9_PATH_SIZE];
  return key != nullptr && gu9_bench_path(section, path) && gu9_read_value(path, key, HKEY_LOCAL_MACHINE, value);
}

// The first 32-bit integer of a bench value: its text converted when it is
// stored as text, else its first four bytes.
bool gu9_bench_integer(const char* section, const char* key, uint32_t* out) {
  RegistryValue value;
  if (!gu9_bench_value(section, key, &value)) return false;
  bool read = false;
  if (gu9_is_text(value.type)) {
    char text[GU9_PATH_SIZE];
    gu9_copy_text(value, text, sizeof text);
    read = GU4_IsNumber(text) != GU4_NOT_A_NUMBER;
    if (read) *out = static_cast<uint32_t>(GU4_atol(text));
  } else if (value.length >= 4) {
    std::memcpy(out, value.data, 4);
    read = true;
  }
  gu9_release(&value);
  return read;
}

// Writes a bench value, creating its key when needed.
uint16_t gu9_bench_set(const char* section, const char* key, DWORD type, const void* data, uint32_t size) {
  char path[GU9_PATH_SIZE];
  if (key == nullptr || data == nullptr || !gu9_bench_path(section, path)) return 0;
  HKEY handle = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &handle,
                      nullptr) != ERROR_SUCCESS)
    return 0;
  const bool set = RegSetValueExA(handle, key, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
  RegCloseKey(handle);
  return set ? 1 : 0;
}

// The section of a wheel id, or null for an id outside the table.
const char* gu9_wheel_section(uint16_t wheel_id) {
  if (wheel_id < GU9_WHEEL_SCREEN || wheel_id > GU9_WHEEL_SECOND_FILTER) return nullptr;
  return kWheelSections[wheel_id - GU9_WHEEL_SCREEN];
}

// "BenchData.ini" in the data directory; the directory value ends with '\'.
bool gu9_bench_data_file(char* path) {
  char directory[GU9_PATH_SIZE];
  if (!GU9_GetKeyStringValue(GU9_TALVO_KEY, "DataDirectory", HKEY_LOCAL_MACHINE, sizeof directory, directory))
    return false;
  const int written = std::snprintf(path, GU9_PATH_SIZE, "%s%s", directory, kBenchDataFile);
  return written >= 0 && written < GU9_PATH_SIZE;
}

// Creates a key of HKEY_CLASSES_ROOT and sets its default value as text.
void gu9_set_class_value(const char* key_path, const char* value) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key_path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return;
  const char* text = value != nullptr ? value : "";
  RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                 static_cast<DWORD>(std::strlen(text) + 1));
  RegFlushKey(key);
  RegCloseKey(key);
}

void gu9_set_class_subkey(const char* class_name, const char* subkey, const char* value) {
  char path[GU9_PATH_SIZE];
  if (std::snprintf(path, sizeof path, "%s%s", class_name, subkey) < static_cast<int>(sizeof path))
    gu9_set_class_value(path, value);
}

}  // namespace

// ---------------------------------------------------------------------------
// Registry

APEXPORT HKEY GU9_RegOpenKey(const char* path, HKEY root, REGSAM access) {
  HKEY key = nullptr;
  if (path == nullptr || root == nullptr || RegOpenKeyExA(root, path, 0, access, &key) != ERROR_SUCCESS) return nullptr;
  return key;
}

APEXPORT uint16_t GU9_RegCloseKey(HKEY key) {
  if (key != nullptr) RegCloseKey(key);
  return 1;
}

APEXPORT uint16_t GU9_RegEnumKey(HKEY key, uint32_t index, char* buffer, uint32_t size) {
  if (key == nullptr || buffer == nullptr) return 0;
  return RegEnumKeyA(key, index, buffer, size) == ERROR_SUCCESS ? 1 : 0;
}

APEXPORT uint16_t GU9_GetKeyValue(const char* path, const char* name, HKEY root, uint32_t size, void* buffer) {
  RegistryValue value;
  if (buffer == nullptr || size == 0 || !gu9_read_value(path, name, root, &value)) return 0;
  uint16_t copied = 1;
  if (gu9_is_text(value.type)) {
    gu9_copy_text(value, static_cast<char*>(buffer), size);
  } else if (value.type == REG_BINARY) {
    std::memcpy(buffer, value.data, value.length < size ? value.length : size);
  } else if ((value.type == REG_DWORD || value.type == REG_DWORD_BIG_ENDIAN) && value.length >= 4 && size >= 4) {
    std::memcpy(buffer, value.data, 4);
  } else {
    copied = 0;
  }
  gu9_release(&value);
  return copied;
}

APEXPORT uint16_t GU9_GetDWordKeyValue(const char* path, const char* name, HKEY root, uint32_t* out) {
  RegistryValue value;
  if (out == nullptr || !gu9_read_value(path, name, root, &value)) return 0;
  std::memcpy(out, value.data, value.length < 4 ? value.length : 4);
  gu9_release(&value);
  return 1;
}

// Bounded and terminated: at most size - 1 bytes of the value.
APEXPORT uint16_t GU9_GetKeyStringValue(const char* path, const char* name, HKEY root, uint32_t size, char* buffer) {
  RegistryValue value;
  if (buffer == nullptr || size == 0 || !gu9_read_value(path, name, root, &value)) return 0;
  gu9_copy_text(value, buffer, size);
  gu9_release(&value);
  return 1;
}

APEXPORT uint16_t GU9_SetDWordKeyValue(const char* path, const char* name, const uint32_t* value, uint32_t size) {
  return gu9_set_value(path, name, REG_DWORD, value, size);
}

APEXPORT uint16_t GU9_SetStringKeyValue(const char* path, const char* name, const char* data, uint32_t size) {
  return gu9_set_value(path, name, REG_SZ, data, size);
}

APEXPORT void GU9_CreateKey(const char* path, const char* subkey) {
  char full[GU9_PATH_SIZE];
  HKEY key = nullptr;
  if (path == nullptr || subkey == nullptr || !gu9_join(full, path, subkey)) return;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, full, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                      nullptr) == ERROR_SUCCESS)
    RegCloseKey(key);
}

APEXPORT uint16_t GU9_DeleteKey(const char* path, const char* subkey) {
  char full[GU9_PATH_SIZE];
  if (path == nullptr || subkey == nullptr || !gu9_join(full, path, subkey)) return 0;
  return RegDeleteKeyA(HKEY_LOCAL_MACHINE, full) == ERROR_SUCCESS ? 1 : 0;
}

APEXPORT uint16_t GU9_DeleteValue(const char* path, const char* name) {
  char full[GU9_PATH_SIZE];
  if (path == nullptr || name == nullptr || !gu9_join(full, path, "")) return 0;
  HKEY key = GU9_RegOpenKey(full, HKEY_LOCAL_MACHINE, KEY_WRITE);
  if (key == nullptr) return 0;
  const bool deleted = RegDeleteValueA(key, name) == ERROR_SUCCESS;
  GU9_RegCloseKey(key);
  return deleted ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Bench settings

APEXPORT char* GU9_BenchGetKey(const char* section, const char* key, char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return nullptr;
  buffer[0] = '\0';
  char path[GU9_PATH_SIZE];
  if (key == nullptr || !gu9_bench_path(section, path)) return nullptr;
  return GU9_GetKeyStringValue(path, key, HKEY_LOCAL_MACHINE, size, buffer) ? buffer : nullptr;
}

APEXPORT uint16_t GU9_BenchGetKeyDWord(const char* section, const char* key, uint32_t default_value, uint32_t* out) {
  if (out == nullptr) return 0;
  *out = default_value;
  return gu9_bench_integer(section, key, out) ? 1 : 0;
}

APEXPORT uint16_t GU9_BenchGetKeyInt(const char* section, const char* key, int32_t default_value, int32_t* out) {
  if (out == nullptr) return 0;
  *out = default_value;
  return gu9_bench_integer(section, key, reinterpret_cast<uint32_t*>(out)) ? 1 : 0;
}

APEXPORT uint16_t GU9_BenchGetKeyBool(const char* section, const char* key, uint16_t default_value, uint16_t* out) {
  if (out == nullptr) return 0;
  *out = default_value;
  char text[kBoolTextSize];
  if (GU9_BenchGetKey(section, key, text, sizeof text) == nullptr) return 0;
  if (_stricmp(text, "TRUE") == 0 || std::strcmp(text, "1") == 0) *out = 1;
  if (_stricmp(text, "FALSE") == 0 || std::strcmp(text, "0") == 0) *out = 0;
  return 1;
}

// The number is read with the library's decimal character (and '.'), never
// with the process locale.
APEXPORT uint16_t GU9_BenchGetKeyFloat(const char* section, const char* key, float default_value, float* out) {
  if (out == nullptr) return 0;
  *out = default_value;
  char text[kFloatTextSize + 1];
  if (GU9_BenchGetKey(section, key, text, sizeof text) == nullptr) return 0;
  GUX_ChangeInternatDecimalToUS(text);
  const char* start = SkipLeadingSpaces(text);
  while (*start == '\t') ++start;
  if (*start == '+') ++start;
  float number = 0.0f;
  const auto [end, error] = std::from_chars(start, text + std::strlen(text), number);
  if (error != std::errc() || end == start) return 0;
  *out = number;
  return 1;
}

APEXPORT uint16_t GU9_BenchSetKeyInt(const char* section, const char* key, const int32_t* value) {
  return gu9_bench_set(section, key, REG_DWORD, value, 4);
}

APEXPORT uint16_t GU9_BenchSetKey(const char* section, const char* key, const char* data, uint32_t size) {
  return gu9_bench_set(section, key, REG_SZ, data, size);
}

// ---------------------------------------------------------------------------
// Wheel positions

// Wheel ids above the wheel table are refused with 0.
APEXPORT uint16_t GU9_GetWheelPosDescription(uint16_t wheel_id, int16_t position, char* buffer, uint16_t size,
                                             uint16_t* flag) {
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = '\0';
  if (flag != nullptr) *flag = 0;
  char file[GU9_PATH_SIZE];
  if (!gu9_bench_data_file(file)) return 0;
  if (wheel_id < GU9_WHEEL_SCREEN) return 1;
  const char* section = gu9_wheel_section(wheel_id);
  if (section == nullptr) return 0;
  char key[12];
  std::snprintf(key, sizeof key, "%d", position);
  if (GetPrivateProfileStringA(section, key, "", buffer, size, file) > 0) return 1;
  uint16_t extra = 0;
  const char* text = GU4_GetAssocString(wheel_id, static_cast<uint16_t>(position), nullptr, &extra);
  if (text == nullptr) return 0;
  std::snprintf(buffer, size, "%s", text);
  if (flag != nullptr && extra > 0) *flag = 1;
  return 1;
}

// Only the three wheels of the table are written; other ids are refused with 0.
APEXPORT uint16_t GU9_SetWheelPosDescription(uint16_t wheel_id, int16_t position, const char* text) {
  const char* section = gu9_wheel_section(wheel_id);
  if (section == nullptr || text == nullptr) return 0;
  char current[GU9_PATH_SIZE];
  uint16_t flag = 0;
  GU9_GetWheelPosDescription(wheel_id, position, current, sizeof current, &flag);
  if (_stricmp(current, text) == 0) return 1;
  char file[GU9_PATH_SIZE];
  if (gu9_bench_data_file(file)) {
    char key[12];
    std::snprintf(key, sizeof key, "%d", position);
    WritePrivateProfileStringA(section, key, text, file);
  }
  return 1;
}

// ---------------------------------------------------------------------------
// File associations

APEXPORT void GU9_CreateFileAssocExt(const char* extension, const char* class_name) {
  if (extension != nullptr && class_name != nullptr) gu9_set_class_value(extension, class_name);
}

APEXPORT void GU9_CreateFileAssocClass(const char* class_name, const char* description, const char* exe_path,
                                       const char* arguments, const char* dde_application, const char* dde_topic,
                                       const char* open_dde, const char* open_if_exec, const char* print_dde,
                                       const char* print_if_exec, int16_t icon_index) {
  if (class_name == nullptr || description == nullptr || exe_path == nullptr) return;
  char quoted[GU9_PATH_SIZE + 2], text[2 * GU9_PATH_SIZE];
  std::snprintf(quoted, sizeof quoted, "%s%s%s", "\"", exe_path, "\"");
  gu9_set_class_subkey(class_name, "", description);
  std::snprintf(text, sizeof text, "%s,%d", quoted, icon_index);
  gu9_set_class_subkey(class_name, "\\DefaultIcon", text);
  std::snprintf(text, sizeof text, "%s %s", quoted, arguments != nullptr ? arguments : "");
  gu9_set_class_subkey(class_name, "\\Shell\\Open\\Command", text);
  gu9_set_class_subkey(class_name, "\\Shell\\Print\\Command", text);
  gu9_set_class_subkey(class_name, "\\Shell\\Open\\DdeExec\\Application", dde_application);
  gu9_set_class_subkey(class_name, "\\Shell\\Print\\DdeExec\\Application", dde_application);
  gu9_set_class_subkey(class_name, "\\Shell\\Open\\DdeExec\\Topic", dde_topic);
  gu9_set_class_subkey(class_name, "\\Shell\\Print\\DdeExec\\Topic", dde_topic);
  gu9_set_class_subkey(class_name, "\\Shell\\Open\\DdeExec", open_dde);
  gu9_set_class_subkey(class_name, "\\Shell\\Open\\DdeExec\\ifexec", open_if_exec);
  gu9_set_class_subkey(class_name, "\\Shell\\Print\\DdeExec", print_dde);
  gu9_set_class_subkey(class_name, "\\Shell\\Print\\DdeExec\\ifexec", print_if_exec);
}

APEXPORT void GU9_SetAssociationsToApp(const char* exe_path, const char* dde_application, const char* dde_topic,
                                       int16_t icon_index) {
  GU9_CreateFileAssocClass("Talvo_Spectra", "Talvo Spectral Files", exe_path, "\"%1\"", dde_application, dde_topic,
                           "[Import \"%1\"]", "[Import \"%1\"]", "[NewWindow;Import \"%1\";Print;CloseWindow]",
                           "[NewWindow;Import \"%1\";Print;Exit]", icon_index);
  for (const char* extension : {".spa", ".spg", ".ird", ".jdx"}) GU9_CreateFileAssocExt(extension, "Talvo_Spectra");
}

APEXPORT void GU9_SetAssociationsToKX(const char* exe_path, const char* dde_application, const char* dde_topic,
                                      int16_t icon_index) {
  GU9_CreateFileAssocClass("KX_Methods", "KX Analyst Methods", exe_path, "\"%1\"", dde_application, dde_topic,
                           "[invoke OpenQuant EDIT \"%1\"]", "[OpenQuant \"%1\"]", "", "", icon_index);
  GU9_CreateFileAssocExt(".qnt", "KX_Methods");
}

APEXPORT uint16_t GU9_IsFileTypeClassThisExe(const char* class_name, const char* exe_path) {
  char path[GU9_PATH_SIZE], icon[GU9_PATH_SIZE];
  if (class_name == nullptr || !gu9_join(path, class_name, "DefaultIcon") ||
      !GU9_GetKeyStringValue(path, nullptr, HKEY_CLASSES_ROOT, sizeof icon, icon))
    return 0;
  if (exe_path == nullptr) return icon[0] != '\0' ? 1 : 0;
  char expected[GU9_PATH_SIZE + 8];
  std::snprintf(expected, sizeof expected, "\"%s\",%d", exe_path, 0);
  return _stricmp(icon, expected) == 0 ? 1 : 0;
}

APEXPORT uint16_t GU9_CheckFileTypeClassExists(const char* class_name) {
  return GU9_IsFileTypeClassThisExe(class_name, nullptr);
}
