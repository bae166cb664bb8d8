// The registry store: hives in memory, read from and written to one text file
// each under $GAML2KOV_HOME/registry/.
//
// A hive file is a list of keys, each a header line with the key's path from
// the hive's root, followed by its values, one a line:
//
//   ; Registry hive HKEY_LOCAL_MACHINE
//   [SOFTWARE\Corvane Instrument\Talvo]
//   "Directory"=sz:"C:\Talvo\"
//   "TruncateAbs"=dword:00000001
//   @=expand_sz:"%25TALVODATA%25\x"
//   "Blob"=hex(3):01,ff,00
//
// "@" names the default value. Texts in names and data are written as they
// are, except bytes below 0x20 or above 0x7E, '%' and '"', which are written
// as '%' and two hexadecimal digits. A text value ("sz", "expand_sz") stands
// for its text plus one terminator; a "dword" for four bytes, little-endian;
// any other type or size is written "hex(type)" byte by byte, so every value
// reads back with exactly the bytes it was set with. Every key is written,
// also those without values. Lines that cannot be read are passed over.
#include "platform/registry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/home.h"

struct HKEY__ {
  int hive;
  std::vector<std::string> path;
  REGSAM access;
};

namespace {

struct RegValue {
  std::string name;
  DWORD type;
  std::string data;
};

struct RegKey {
  std::string name;
  std::vector<RegValue> values;                  // in the order first set
  std::vector<std::unique_ptr<RegKey>> subkeys;  // in name order, without regard to case
};

// What tells that a hive file was replaced since it was read.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  time_t seconds = 0;
  long nanoseconds = 0;
  bool exists = false;

  bool operator==(const FileIdentity& other) const {
    return device == other.device && inode == other.inode && size == other.size && seconds == other.seconds &&
           nanoseconds == other.nanoseconds && exists == other.exists;
  }
};

struct Hive {
  const char* name;
  HKEY root_handle;
  std::unique_ptr<RegKey> root;  // null until read
  FileIdentity identity;
};

constexpr int kHiveCount = 3;
Hive g_hives[kHiveCount] = {{"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT, nullptr, {}},
                            {"HKEY_CURRENT_USER", HKEY_CURRENT_USER, nullptr, {}},
                            {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE, nullptr, {}}};

// Open handles, owned here so that a handle can be checked before use.
std::vector<std::unique_ptr<HKEY__>> g_open_keys;

constexpr size_t kMaxKeyNameLength = 255;

// ---------------------------------------------------------------------------
// Names

char reg_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Names order and match as the original platform does: by their upper-case form.
int reg_compare_names(const std::string& a, const std::string& b) {
  const size_t common = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < common; ++i) {
    const unsigned char ua = static_cast<unsigned char>(reg_upper(a[i]));
    const unsigned char ub = static_cast<unsigned char>(reg_upper(b[i]));
    if (ua != ub) return ua < ub ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

// The parts of a key path; empty parts are passed over. False when a part is
// longer than `longest`.
bool reg_split_path(const char* text, size_t longest, std::vector<std::string>* parts) {
  if (text == nullptr) return true;
  std::string part;
  for (const char* p = text;; ++p) {
    if (*p == '\\' || *p == '\0') {
      if (part.size() > longest) return false;
      if (!part.empty()) parts->push_back(part);
      part.clear();
      if (*p == '\0') return true;
    } else {
      part += *p;
    }
  }
}

// ---------------------------------------------------------------------------
// The tree

RegKey* reg_child(RegKey* key, const std::string& name) {
  for (auto& child : key->subkeys) {
    if (reg_compare_names(child->name, name) == 0) return child.get();
  }
  return nullptr;
}

RegKey* reg_add_child(RegKey* key, const std::string& name) {
  auto at = key->subkeys.begin();
  while (at != key->subkeys.end() && reg_compare_names((*at)->name, name) < 0) ++at;
  auto child = std::make_unique<RegKey>();
  child->name = name;
  return key->subkeys.insert(at, std::move(child))->get();
}

RegKey* reg_find(RegKey* root, const std::vector<std::string>& path) {
  RegKey* key = root;
  for (size_t i = 0; key != nullptr && i < path.size(); ++i) key = reg_child(key, path[i]);
  return key;
}

// Finds the key of `path`, creating what is missing; tells whether it had to.
RegKey* reg_find_or_create(RegKey* root, const std::vector<std::string>& path, bool* created) {
  RegKey* key = root;
  *created = false;
  for (const std::string& part : path) {
    RegKey* child = reg_child(key, part);
    if (child == nullptr) {
      child = reg_add_child(key, part);
      *created = true;
    }
    key = child;
  }
  return key;
}

RegValue* reg_value(RegKey* key, const char* name) {
  const std::string wanted = name != nullptr ? name : "";
  for (RegValue& value : key->values) {
    if (reg_compare_names(value.name, wanted) == 0) return &value;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// The hive file

std::string reg_escape(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7E || c == '%' || c == '"') {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

int reg_hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A '%' that is not followed by two hexadecimal digits stands for itself.
std::string reg_unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && reg_hex_digit(text[i + 1]) >= 0 && reg_hex_digit(text[i + 2]) >= 0) {
      out += static_cast<char>(reg_hex_digit(text[i + 1]) * 16 + reg_hex_digit(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool reg_is_plain_text(const RegValue& value) {
  return (value.type == REG_SZ || value.type == REG_EXPAND_SZ) && !value.data.empty() &&
         value.data.find('\0') == value.data.size() - 1;
}

std::string reg_format_value(const RegValue& value) {
  std::string line = value.name.empty() ? std::string("@") : "\"" + reg_escape(value.name) + "\"";
  char number[32];
  if (reg_is_plain_text(value)) {
    line += value.type == REG_SZ ? "=sz:\"" : "=expand_sz:\"";
    line += reg_escape(value.data.substr(0, value.data.size() - 1)) + "\"";
  } else if (value.type == REG_DWORD && value.data.size() == 4) {
    uint32_t dword;
    std::memcpy(&dword, value.data.data(), 4);
    std::snprintf(number, sizeof number, "=dword:%08x", dword);
    line += number;
  } else {
    std::snprintf(number, sizeof number, "=hex(%x):", value.type);
    line += number;
    for (size_t i = 0; i < value.data.size(); ++i) {
      std::snprintf(number, sizeof number, i == 0 ? "%02x" : ",%02x", static_cast<unsigned char>(value.data[i]));
      line += number;
    }
  }
  return line + "\n";
}

void reg_format_key(const RegKey& key, const std::string& path, std::string* out) {
  if (!path.empty() || !key.values.empty()) {
    *out += "[" + path + "]\n";
    for (const RegValue& value : key.values) *out += reg_format_value(value);
  }
  for (const auto& child : key.subkeys) {
    reg_format_key(*child, path.empty() ? reg_escape(child->name) : path + "\\" + reg_escape(child->name), out);
  }
}

// Reads `"text"` at line[*at]; false when the closing quote is missing.
bool reg_parse_quoted(const std::string& line, size_t* at, std::string* text) {
  if (*at >= line.size() || line[*at] != '"') return false;
  const size_t close = line.find('"', *at + 1);
  if (close == std::string::npos) return false;
  *text = reg_unescape(line.substr(*at + 1, close - *at - 1));
  *at = close + 1;
  return true;
}

bool reg_parse_hex_bytes(const std::string& text, std::string* bytes) {
  for (size_t i = 0; i < text.size();) {
    if (i + 2 > text.size() || reg_hex_digit(text[i]) < 0 || reg_hex_digit(text[i + 1]) < 0) return false;
    *bytes += static_cast<char>(reg_hex_digit(text[i]) * 16 + reg_hex_digit(text[i + 1]));
    i += 2;
    if (i < text.size() && text[i++] != ',') return false;
  }
  return true;
}

bool reg_parse_hex_number(const std::string& text, uint32_t* number) {
  if (text.empty() || text.size() > 8) return false;
  *number = 0;
  for (char c : text) {
    if (reg_hex_digit(c) < 0) return false;
    *number = *number * 16 + static_cast<uint32_t>(reg_hex_digit(c));
  }
  return true;
}

bool reg_parse_value(const std::string& line, RegValue* value) {
  size_t at = 0;
  if (line.compare(0, 2, "@=") == 0) {
    at = 1;
  } else if (!reg_parse_quoted(line, &at, &value->name) || value->name.empty()) {
    return false;
  }
  if (at >= line.size() || line[at] != '=') return false;
  const size_t colon = line.find(':', at);
  if (colon == std::string::npos) return false;
  const std::string kind = line.substr(at + 1, colon - at - 1);
  const std::string payload = line.substr(colon + 1);
  if (kind == "sz" || kind == "expand_sz") {
    size_t quote = 0;
    if (!reg_parse_quoted(payload, &quote, &value->data) || quote != payload.size()) return false;
    value->type = kind == "sz" ? REG_SZ : REG_EXPAND_SZ;
    value->data += '\0';
    return true;
  }
  if (kind == "dword") {
    uint32_t dword;
    if (!reg_parse_hex_number(payload, &dword)) return false;
    value->type = REG_DWORD;
    value->data.assign(reinterpret_cast<const char*>(&dword), 4);
    return true;
  }
  if (kind.size() > 5 && kind.compare(0, 4, "hex(") == 0 && kind.back() == ')') {
    return reg_parse_hex_number(kind.substr(4, kind.size() - 5), &value->type) &&
           reg_parse_hex_bytes(payload, &value->data);
  }
  return false;
}

std::unique_ptr<RegKey> reg_parse_hive(const std::string& text) {
  auto root = std::make_unique<RegKey>();
  RegKey* current = nullptr;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      std::vector<std::string> path;
      current = nullptr;
      if (line.size() >= 2 && line.back() == ']') {
        const std::string inner = line.substr(1, line.size() - 2);
        std::vector<std::string> escaped;
        reg_split_path(inner.c_str(), inner.size(), &escaped);
        for (const std::string& part : escaped) path.push_back(reg_unescape(part));
        bool created;
        current = reg_find_or_create(root.get(), path, &created);
      }
      continue;
    }
    RegValue value{std::string(), REG_NONE, std::string()};
    if (current == nullptr || !reg_parse_value(line, &value)) continue;
    if (RegValue* existing = reg_value(current, value.name.c_str())) {
      *existing = value;
    } else {
      current->values.push_back(value);
    }
  }
  return root;
}

std::string reg_hive_path(const Hive& hive) { return platform::home_subfolder("registry") + "/" + hive.name + ".txt"; }

FileIdentity reg_identity(const std::string& path) {
  FileIdentity identity;
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return identity;
  identity.device = info.st_dev;
  identity.inode = info.st_ino;
  identity.size = info.st_size;
  identity.seconds = info.st_mtim.tv_sec;
  identity.nanoseconds = info.st_mtim.tv_nsec;
  identity.exists = true;
  return identity;
}

std::string reg_read_file(const std::string& path) {
  std::string text;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return text;
  char chunk[4096];
  for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, got);
  std::fclose(file);
  return text;
}

// The hive as it is on disk now: read again when the file changed since.
RegKey* reg_current_root(Hive& hive) {
  const std::string path = reg_hive_path(hive);
  const FileIdentity identity = reg_identity(path);
  if (hive.root == nullptr || !(identity == hive.identity)) {
    hive.root = reg_parse_hive(reg_read_file(path));
    hive.identity = identity;
  }
  return hive.root.get();
}

// Writes the whole hive to a temporary file and renames it over the hive
// file. On failure the hive is forgotten, so that the next call reads what
// the disk still holds.
LSTATUS reg_save(Hive& hive) {
  std::string text = std::string("; Registry hive ") + hive.name + "\n";
  reg_format_key(*hive.root, std::string(), &text);
  const std::string path = reg_hive_path(hive);
  const std::string temporary = path + ".tmp" + std::to_string(getpid());
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (file != nullptr) {
    written = std::fflush(file) == 0 && fsync(fileno(file)) == 0 && written;
    written = std::fclose(file) == 0 && written;
  }
  if (written && std::rename(temporary.c_str(), path.c_str()) == 0) {
    hive.identity = reg_identity(path);
    return ERROR_SUCCESS;
  }
  std::remove(temporary.c_str());
  hive.root.reset();
  return ERROR_WRITE_FAULT;
}

// ---------------------------------------------------------------------------
// Handles

// What a handle names: its hive, its path from the hive's root and its access.
struct KeyRef {
  Hive* hive;
  std::vector<std::string> path;
  REGSAM access;
};

bool reg_resolve(HKEY key, KeyRef* ref) {
  for (Hive& hive : g_hives) {
    if (key == hive.root_handle) {
      *ref = KeyRef{&hive, {}, KEY_ALL_ACCESS};
      return true;
    }
  }
  for (const auto& open : g_open_keys) {
    if (open.get() == key) {
      *ref = KeyRef{&g_hives[key->hive], key->path, key->access};
      return true;
    }
  }
  return false;
}

// The key a handle names with the access it needs, as it is on disk now.
LSTATUS reg_open_for(HKEY key, REGSAM needed, KeyRef* ref, RegKey** found) {
  if (!reg_resolve(key, ref)) return ERROR_INVALID_HANDLE;
  if ((ref->access & needed) != needed) return ERROR_ACCESS_DENIED;
  *found = reg_find(reg_current_root(*ref->hive), ref->path);
  return *found != nullptr ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

HKEY reg_new_handle(const KeyRef& parent, const std::vector<std::string>& path, REGSAM access) {
  auto handle = std::make_unique<HKEY__>();
  handle->hive = static_cast<int>(parent.hive - g_hives);
  handle->path = path;
  handle->access = access;
  g_open_keys.push_back(std::move(handle));
  return g_open_keys.back().get();
}

// The path of `subkey` below the key a handle names.
bool reg_subkey_path(const KeyRef& ref, LPCSTR subkey, std::vector<std::string>* path) {
  *path = ref.path;
  return reg_split_path(subkey, kMaxKeyNameLength, path);
}

LSTATUS reg_copy_name(const std::string& name, LPSTR out, DWORD* size) {
  if (out == nullptr || size == nullptr) return ERROR_INVALID_PARAMETER;
  if (name.size() >= *size) return ERROR_MORE_DATA;
  std::memcpy(out, name.c_str(), name.size() + 1);
  *size = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

LSTATUS reg_copy_data(const RegValue& value, DWORD* type, BYTE* data, DWORD* size) {
  if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
  if (type != nullptr) *type = value.type;
  if (size == nullptr) return ERROR_SUCCESS;
  const DWORD length = static_cast<DWORD>(value.data.size());
  if (data != nullptr && *size < length) {
    *size = length;
    return ERROR_MORE_DATA;
  }
  if (data != nullptr) std::memcpy(data, value.data.data(), length);
  *size = length;
  return ERROR_SUCCESS;
}

void reg_put(DWORD* out, DWORD value) {
  if (out != nullptr) *out = value;
}

}  // namespace

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subkey, DWORD, REGSAM access, HKEY* result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  KeyRef ref;
  if (!reg_resolve(key, &ref)) return ERROR_INVALID_HANDLE;
  std::vector<std::string> path;
  if (!reg_subkey_path(ref, subkey, &path)) return ERROR_INVALID_PARAMETER;
  if (reg_find(reg_current_root(*ref.hive), path) == nullptr) return ERROR_FILE_NOT_FOUND;
  *result = reg_new_handle(ref, path, access);
  return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyA(HKEY key, LPCSTR subkey, HKEY* result) {
  return RegOpenKeyExA(key, subkey, 0, KEY_ALL_ACCESS, result);
}

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subkey, DWORD, LPSTR, DWORD, REGSAM access, const SECURITY_ATTRIBUTES*,
                        HKEY* result, DWORD* disposition) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  KeyRef ref;
  if (!reg_resolve(key, &ref)) return ERROR_INVALID_HANDLE;
  std::vector<std::string> path;
  if (!reg_subkey_path(ref, subkey, &path)) return ERROR_INVALID_PARAMETER;
  RegKey* root = reg_current_root(*ref.hive);
  if (reg_find(root, ref.path) == nullptr) return ERROR_KEY_DELETED;
  const bool exists = reg_find(root, path) != nullptr;
  if (!exists) {
    if ((ref.access & KEY_CREATE_SUB_KEY) == 0) return ERROR_ACCESS_DENIED;
    bool created;
    reg_find_or_create(root, path, &created);
    if (const LSTATUS saved = reg_save(*ref.hive); saved != ERROR_SUCCESS) return saved;
  }
  reg_put(disposition, exists ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY);
  *result = reg_new_handle(ref, path, access);
  return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyA(HKEY key, LPCSTR subkey, HKEY* result) {
  return RegCreateKeyExA(key, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, result, nullptr);
}

LSTATUS RegCloseKey(HKEY key) {
  for (Hive& hive : g_hives) {
    if (key == hive.root_handle) return ERROR_SUCCESS;
  }
  for (auto it = g_open_keys.begin(); it != g_open_keys.end(); ++it) {
    if (it->get() == key) {
      g_open_keys.erase(it);
      return ERROR_SUCCESS;
    }
  }
  return ERROR_INVALID_HANDLE;
}

LSTATUS RegFlushKey(HKEY key) {
  KeyRef ref;
  return reg_resolve(key, &ref) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR name, DWORD*, DWORD* type, BYTE* data, DWORD* size) {
  KeyRef ref;
  RegKey* found;
  if (const LSTATUS status = reg_open_for(key, KEY_QUERY_VALUE, &ref, &found); status != ERROR_SUCCESS) return status;
  const RegValue* value = reg_value(found, name);
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  return reg_copy_data(*value, type, data, size);
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  if (data == nullptr && size != 0) return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  RegKey* found;
  if (const LSTATUS status = reg_open_for(key, KEY_SET_VALUE, &ref, &found); status != ERROR_SUCCESS) return status;
  const std::string bytes(reinterpret_cast<const char*>(data), data != nullptr ? size : 0);
  if (RegValue* value = reg_value(found, name)) {
    value->type = type;
    value->data = bytes;
  } else {
    found->values.push_back(RegValue{name != nullptr ? name : "", type, bytes});
  }
  return reg_save(*ref.hive);
}

LSTATUS RegDeleteValueA(HKEY key, LPCSTR name) {
  KeyRef ref;
  RegKey* found;
  if (const LSTATUS status = reg_open_for(key, KEY_SET_VALUE, &ref, &found); status != ERROR_SUCCESS) return status;
  for (auto it = found->values.begin(); it != found->values.end(); ++it) {
    if (reg_compare_names(it->name, name != nullptr ? name : "") == 0) {
      found->values.erase(it);
      return reg_save(*ref.hive);
    }
  }
  return ERROR_FILE_NOT_FOUND;
}

namespace {

// Deletes the key `subkey` names below `key`, with every key below it when
// `whole_tree` is set; a key that still has subkeys is refused otherwise.
LSTATUS reg_delete_key(HKEY key, LPCSTR subkey, bool whole_tree) {
  if (subkey == nullptr) return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  RegKey* parent_of_handle;
  if (const LSTATUS status = reg_open_for(key, 0, &ref, &parent_of_handle); status != ERROR_SUCCESS) return status;
  std::vector<std::string> path;
  if (!reg_subkey_path(ref, subkey, &path)) return ERROR_INVALID_PARAMETER;
  if (path.empty()) return ERROR_ACCESS_DENIED;  // a hive's root stays
  RegKey* target = reg_find(ref.hive->root.get(), path);
  if (target == nullptr) return ERROR_FILE_NOT_FOUND;
  if (!whole_tree && !target->subkeys.empty()) return ERROR_ACCESS_DENIED;
  path.pop_back();
  RegKey* parent = reg_find(ref.hive->root.get(), path);
  for (auto it = parent->subkeys.begin(); it != parent->subkeys.end(); ++it) {
    if (it->get() == target) {
      parent->subkeys.erase(it);
      break;
    }
  }
  return reg_save(*ref.hive);
}

}  // namespace

LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subkey) { return reg_delete_key(key, subkey, false); }

LSTATUS RegDeleteTreeA(HKEY key, LPCSTR subkey) { return reg_delete_key(key, subkey, true); }

LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, DWORD* name_size, DWORD*, LPSTR class_name,
                      DWORD* class_size, FILETIME*) {
  KeyRef ref;
  RegKey* found;
  if (const LSTATUS status = reg_open_for(key, KEY_ENUMERATE_SUB_KEYS, &ref, &found); status != ERROR_SUCCESS)
    return status;
  if (index >= found->subkeys.size()) return ERROR_NO_MORE_ITEMS;
  const LSTATUS status = reg_copy_name(found->subkeys[index]->name, name, name_size);
  if (status != ERROR_SUCCESS) return status;
  if (class_name != nullptr && class_size != nullptr && *class_size > 0) *class_name = '\0';
  reg_put(class_size, 0);
  return ERROR_SUCCESS;
}

LSTATUS RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD name_size) {
  return RegEnumKeyExA(key, index, name, &name_size, nullptr, nullptr, nullptr, nullptr);
}

LSTATUS RegEnumValueA(HKEY key, DWORD index, LPSTR name, DWORD* name_size, DWORD*, DWORD* type, BYTE* data,
                      DWORD* data_size) {
  KeyRef ref;
  RegKey* found;
  if (const LSTATUS status = reg_open_for(key, KEY_QUERY_VALUE, &ref, &found); status != ERROR_SUCCESS) return status;
  if (index >= found->values.size()) return ERROR_NO_MORE_ITEMS;
  const RegValue& value = found->values[index];
  if (const LSTATUS status = reg_copy_name(value.name, name, name_size); status != ERROR_SUCCESS) return status;
  return reg_copy_data(value, type, data, data_size);
}

LSTATUS RegQueryInfoKeyA(HKEY key, LPSTR class_name, DWORD* class_size, DWORD*, DWORD* subkeys,
                         DWORD* max_subkey_length, DWORD* max_class_length, DWORD* values,
                         DWORD* max_value_name_length, DWORD* max_value_length, DWORD* security_descriptor,
                         FILETIME*) {
  KeyRef ref;
  RegKey* found;
  if (const LSTATUS status = reg_open_for(key, KEY_QUERY_VALUE, &ref, &found); status != ERROR_SUCCESS) return status;
  if (class_name != nullptr && class_size != nullptr && *class_size > 0) *class_name = '\0';
  reg_put(class_size, 0);
  DWORD longest_subkey = 0, longest_name = 0, longest_data = 0;
  for (const auto& child : found->subkeys)
    longest_subkey = child->name.size() > longest_subkey ? static_cast<DWORD>(child->name.size()) : longest_subkey;
  for (const RegValue& value : found->values) {
    longest_name = value.name.size() > longest_name ? static_cast<DWORD>(value.name.size()) : longest_name;
    longest_data = value.data.size() > longest_data ? static_cast<DWORD>(value.data.size()) : longest_data;
  }
  reg_put(subkeys, static_cast<DWORD>(found->subkeys.size()));
  reg_put(max_subkey_length, longest_subkey);
  reg_put(max_class_length, 0);
  reg_put(values, static_cast<DWORD>(found->values.size()));
  reg_put(max_value_name_length, longest_name);
  reg_put(max_value_length, longest_data);
  reg_put(security_descriptor, 0);
  return ERROR_SUCCESS;
}

namespace platform {

void registry_drop_cache() {
  for (Hive& hive : g_hives) hive.root.reset();
}

std::string registry_hive_file(HKEY root) {
  for (const Hive& hive : g_hives) {
    if (hive.root_handle == root) return reg_hive_path(hive);
  }
  return std::string();
}

}  // namespace platform
