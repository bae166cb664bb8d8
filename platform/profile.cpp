// The profile (INI) engine: reads a file into its lines, finds sections and
// keys without regard to case, and writes changed lines back whole through a
// temporary file. Lines that are neither a section header nor a key
// (comments, blanks, text without '=') are kept as they are and never match.
#include "platform/profile.h"

#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/home.h"

namespace {

constexpr const char* kWinIni = "win.ini";

std::string ini_trim(const std::string& text) {
  const char* blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool ini_same_name(const std::string& a, const char* b) {
  return platform::lower_case(a) == platform::lower_case(b);
}

// A section header "[name]": the trimmed name between the brackets.
bool ini_section_name(const std::string& line, std::string* name) {
  const std::string text = ini_trim(line);
  if (text.size() < 2 || text[0] != '[') return false;
  const size_t close = text.find(']');
  if (close == std::string::npos) return false;
  *name = ini_trim(text.substr(1, close - 1));
  return true;
}

// A key line "key=value" outside comments: the trimmed key and value, the
// value without one pair of enclosing quotes.
bool ini_key_line(const std::string& line, std::string* key, std::string* value) {
  const std::string text = ini_trim(line);
  if (text.empty() || text[0] == ';' || text[0] == '[') return false;
  const size_t equals = text.find('=');
  if (equals == std::string::npos) return false;
  *key = ini_trim(text.substr(0, equals));
  if (key->empty()) return false;
  *value = ini_trim(text.substr(equals + 1));
  if (value->size() >= 2 && (value->front() == '"' || value->front() == '\'') && value->back() == value->front())
    *value = value->substr(1, value->size() - 2);
  return true;
}

std::vector<std::string> ini_read_lines(const std::string& path) {
  std::vector<std::string> lines;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return lines;
  std::string text;
  char chunk[4096];
  for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, got);
  std::fclose(file);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

bool ini_write_lines(const std::string& path, const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  const std::string temporary = path + ".tmp" + std::to_string(getpid());
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) return false;
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  written = std::fclose(file) == 0 && written;
  if (written && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
  std::remove(temporary.c_str());
  return false;
}

// Index of the first header of `section`, or lines.size() when absent.
size_t ini_find_section(const std::vector<std::string>& lines, const char* section) {
  std::string name;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (ini_section_name(lines[i], &name) && ini_same_name(name, section)) return i;
  }
  return lines.size();
}

// Index of the line after the section that starts at `header`.
size_t ini_section_end(const std::vector<std::string>& lines, size_t header) {
  std::string name;
  size_t end = header + 1;
  while (end < lines.size() && !ini_section_name(lines[end], &name)) ++end;
  return end;
}

// Index of the key's line inside the section, or `end` when absent.
size_t ini_find_key(const std::vector<std::string>& lines, size_t header, size_t end, const char* key) {
  std::string name, value;
  for (size_t i = header + 1; i < end; ++i) {
    if (ini_key_line(lines[i], &name, &value) && ini_same_name(name, key)) return i;
  }
  return end;
}

// Copies a list of names as terminated texts ended by one more terminator,
// cut so that the list fits `size` and still ends in two terminators.
DWORD ini_copy_list(const std::vector<std::string>& names, LPSTR buffer, DWORD size) {
  std::string list;
  for (const std::string& name : names) list += name + '\0';
  if (list.size() < size) {
    std::memcpy(buffer, list.c_str(), list.size() + 1);
    return static_cast<DWORD>(list.size());
  }
  if (size < 2) {
    buffer[0] = '\0';
    return 0;
  }
  std::memcpy(buffer, list.data(), size - 2);
  buffer[size - 2] = '\0';
  buffer[size - 1] = '\0';
  return size - 2;
}

DWORD ini_copy_text(const std::string& text, LPSTR buffer, DWORD size) {
  if (size == 0) return 0;
  const DWORD copied = text.size() < size ? static_cast<DWORD>(text.size()) : size - 1;
  std::memcpy(buffer, text.data(), copied);
  buffer[copied] = '\0';
  return copied;
}

// The value of a key, or false when the section or key is absent.
bool ini_lookup(const char* section, const char* key, const char* file, std::string* value) {
  const std::vector<std::string> lines = ini_read_lines(platform::profile_path(file));
  const size_t header = ini_find_section(lines, section);
  if (header == lines.size()) return false;
  const size_t end = ini_section_end(lines, header);
  const size_t line = ini_find_key(lines, header, end, key);
  if (line == end) return false;
  std::string name;
  return ini_key_line(lines[line], &name, value);
}

}  // namespace

namespace platform {

std::string profile_path(const char* name) {
  if (name == nullptr) return std::string();
  if (std::strpbrk(name, "/\\") != nullptr) return native_path(name);
  const std::string folder = home_subfolder("windows");
  if (DIR* directory = opendir(folder.c_str())) {
    std::string found;
    while (dirent* entry = readdir(directory)) {
      if (ini_same_name(entry->d_name, name)) found = entry->d_name;
    }
    closedir(directory);
    if (!found.empty()) return folder + "/" + found;
  }
  return folder + "/" + name;
}

}  // namespace platform

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR default_value, LPSTR buffer, DWORD size,
                               LPCSTR file) {
  if (buffer == nullptr || size == 0 || file == nullptr) return 0;
  if (section == nullptr || key == nullptr) {
    const std::vector<std::string> lines = ini_read_lines(platform::profile_path(file));
    std::vector<std::string> names;
    std::string name, value;
    if (section == nullptr) {
      for (const std::string& line : lines) {
        if (ini_section_name(line, &name)) names.push_back(name);
      }
    } else if (const size_t header = ini_find_section(lines, section); header < lines.size()) {
      const size_t end = ini_section_end(lines, header);
      for (size_t i = header + 1; i < end; ++i) {
        if (ini_key_line(lines[i], &name, &value)) names.push_back(name);
      }
    }
    return ini_copy_list(names, buffer, size);
  }
  std::string value;
  if (!ini_lookup(section, key, file, &value)) {
    value = default_value != nullptr ? default_value : "";
    value.erase(value.find_last_not_of(' ') + 1);
  }
  return ini_copy_text(value, buffer, size);
}

UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, int default_value, LPCSTR file) {
  std::string value;
  if (section == nullptr || key == nullptr || file == nullptr || !ini_lookup(section, key, file, &value) ||
      value.empty())
    return static_cast<UINT>(default_value);
  size_t at = 0;
  const bool negative = value[0] == '-';
  if (value[0] == '-' || value[0] == '+') at = 1;
  UINT number = 0;
  if (value.compare(at, 2, "0x") == 0 || value.compare(at, 2, "0X") == 0) {
    for (at += 2; at < value.size() && std::isxdigit(static_cast<unsigned char>(value[at])); ++at) {
      const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(value[at])));
      number = number * 16 + static_cast<UINT>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
  } else {
    for (; at < value.size() && value[at] >= '0' && value[at] <= '9'; ++at)
      number = number * 10 + static_cast<UINT>(value[at] - '0');
  }
  return negative ? 0u - number : number;
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file) {
  if (file == nullptr) return FALSE;
  if (section == nullptr) return key == nullptr && value == nullptr ? TRUE : FALSE;
  const std::string path = platform::profile_path(file);
  std::vector<std::string> lines = ini_read_lines(path);
  size_t header = ini_find_section(lines, section);
  if (header == lines.size()) {
    if (key == nullptr || value == nullptr) return TRUE;  // nothing to delete
    lines.push_back(std::string("[") + section + "]");
  }
  size_t end = ini_section_end(lines, header);
  if (key == nullptr) {
    lines.erase(lines.begin() + static_cast<long>(header), lines.begin() + static_cast<long>(end));
    return ini_write_lines(path, lines) ? TRUE : FALSE;
  }
  const size_t line = ini_find_key(lines, header, end, key);
  if (value == nullptr) {
    if (line == end) return TRUE;
    lines.erase(lines.begin() + static_cast<long>(line));
  } else if (line < end) {
    std::string name, old_value;
    ini_key_line(lines[line], &name, &old_value);
    lines[line] = name + "=" + value;
  } else {
    // A new key goes after the section's last non-blank line.
    while (end > header + 1 && ini_trim(lines[end - 1]).empty()) --end;
    lines.insert(lines.begin() + static_cast<long>(end), std::string(key) + "=" + value);
  }
  return ini_write_lines(path, lines) ? TRUE : FALSE;
}

DWORD GetProfileStringA(LPCSTR section, LPCSTR key, LPCSTR default_value, LPSTR buffer, DWORD size) {
  return GetPrivateProfileStringA(section, key, default_value, buffer, size, kWinIni);
}

UINT GetProfileIntA(LPCSTR section, LPCSTR key, int default_value) {
  return GetPrivateProfileIntA(section, key, default_value, kWinIni);
}

BOOL WriteProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value) {
  return WritePrivateProfileStringA(section, key, value, kWinIni);
}
