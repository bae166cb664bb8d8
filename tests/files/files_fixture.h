// Fixtures of the file-object tests: the library as loaded, file objects
// made by message 4 and destroyed again (closing their handles) after each
// test, files under the test's home folder, and byte helpers that build and
// read the native layout from its offsets rather than from the code's records.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/core_fixture.h"
#include "files/files.h"
#include "support/test_home.h"
#include "util/util.h"

namespace filetest {

inline void put16(std::string& bytes, size_t at, uint16_t value) {
  if (bytes.size() < at + 2) bytes.resize(at + 2, '\0');
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>(value >> 8);
}

inline void put32(std::string& bytes, size_t at, uint32_t value) {
  put16(bytes, at, static_cast<uint16_t>(value & 0xFFFF));
  put16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

inline uint16_t get16(const std::string& bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes.at(at)) | static_cast<uint8_t>(bytes.at(at + 1)) << 8);
}

inline uint32_t get32(const std::string& bytes, size_t at) {
  return get16(bytes, at) | static_cast<uint32_t>(get16(bytes, at + 2)) << 16;
}

// A directory entry as the layout gives it: type at 0, offset at 2, length
// at 6, key 2 at 10, key 3 at 12.
struct Entry {
  uint16_t type;
  uint32_t offset;
  uint32_t length;
  uint16_t key2;
  uint32_t key3;
  bool operator==(const Entry& other) const {
    return type == other.type && offset == other.offset && length == other.length && key2 == other.key2 &&
           key3 == other.key3;
  }
};

inline std::ostream& operator<<(std::ostream& out, const Entry& entry) {
  return out << "{type " << entry.type << ", offset " << entry.offset << ", length " << entry.length << ", key2 "
             << entry.key2 << ", key3 " << entry.key3 << "}";
}

constexpr size_t kHeaderBytes = 304;
constexpr size_t kBlockBytes = 256;

inline void put_entry(std::string& bytes, size_t index, const Entry& entry) {
  const size_t at = kHeaderBytes + 16 * index;
  put16(bytes, at, entry.type);
  put32(bytes, at + 2, entry.offset);
  put32(bytes, at + 6, entry.length);
  put16(bytes, at + 10, entry.key2);
  put32(bytes, at + 12, entry.key3);
}

inline Entry get_entry(const std::string& bytes, size_t index) {
  const size_t at = kHeaderBytes + 16 * index;
  return Entry{get16(bytes, at), get32(bytes, at + 2), get32(bytes, at + 6), get16(bytes, at + 10),
               get32(bytes, at + 12)};
}

// The 304 header bytes of a native file: magic and NULs to 29, title, 0x1A
// at 286, file type at 288, version at 290, blocks at 292, count at 294.
inline std::string header_bytes(uint16_t file_type, uint16_t blocks, uint16_t count) {
  std::string bytes(kHeaderBytes, '\0');
  std::memcpy(&bytes[0], "Spectral Data File\r\n", 20);
  bytes[286] = 0x1A;
  put16(bytes, 288, file_type);
  put16(bytes, 290, 521);
  put16(bytes, 292, blocks);
  put16(bytes, 294, count);
  return bytes;
}

// A whole native file: header, a directory of the given blocks holding the
// entries (the rest zero), and the section bytes placed at their offsets.
struct Section {
  Entry entry;
  std::string bytes;
};

inline std::string native_file(uint16_t file_type, uint16_t blocks, const std::vector<Section>& sections) {
  std::string bytes = header_bytes(file_type, blocks, static_cast<uint16_t>(sections.size()));
  bytes.resize(kHeaderBytes + kBlockBytes * blocks, '\0');
  for (size_t index = 0; index < sections.size(); ++index) {
    const Section& section = sections[index];
    put_entry(bytes, index, section.entry);
    if (section.bytes.empty()) continue;
    if (bytes.size() < section.entry.offset + section.bytes.size())
      bytes.resize(section.entry.offset + section.bytes.size(), '\0');
    bytes.replace(section.entry.offset, section.bytes.size(), section.bytes);
  }
  return bytes;
}

// Distinct bytes for a section, so that a moved or overwritten section shows.
inline std::string pattern(size_t length, uint8_t seed) {
  std::string bytes(length, '\0');
  for (size_t index = 0; index < length; ++index) bytes[index] = static_cast<char>(seed + index * 7);
  return bytes;
}

class FileObjects : public LoadedLibrary {
 protected:
  void TearDown() override {
    while (!files_.empty()) destroy(files_.back());
    APX_TurnonFileRedirection(nullptr);
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(testsupport::home()))
      std::filesystem::remove_all(entry.path(), ignored);
    LoadedLibrary::TearDown();
  }

  static uint32_t send(uint16_t message, void* object, void* parameter = nullptr) {
    return GU2_DoMethod_MSG(message, object, parameter);
  }

  // A new file object, made as callers make one (message 4), destroyed after the test.
  AP20_FILE* make_file() {
    uint16_t class_id = AP20_CLASS_ID;
    AP_NEWPARM parameter{AP20_CLASS_ID, nullptr};
    auto* file = ap_result_object<AP20_FILE>(send(AP_MSG_NEW, &class_id, &parameter));
    if (file != nullptr) files_.push_back(file);
    return file;
  }

  // A file object named with a path (the path alone, no directory).
  AP20_FILE* named_file(const std::string& path) {
    AP20_FILE* file = make_file();
    AP20_NAMEPARM naming{nullptr, path.c_str()};
    EXPECT_EQ(send(AP20_MSG_SET_NAME, file, &naming), 1u);
    return file;
  }

  AP20_FILE* opened_file(const std::string& path, uint16_t mode) {
    AP20_FILE* file = named_file(path);
    AP20_OPENPARM open{mode, 0, 0};
    EXPECT_EQ(send(AP20_MSG_OPEN, file, &open), 1u);
    return file;
  }

  static uint32_t open(AP20_FILE* file, uint16_t mode) {
    AP20_OPENPARM parameter{mode, 0, 0};
    return send(AP20_MSG_OPEN, file, &parameter);
  }

  // The open and the detection of the classes that pair a file part with a
  // format object (spectrum-file and group-file objects): the result, the
  // class through its pointer and the code through the result pointer.
  struct Opened {
    uint32_t result;
    uint16_t class_id;
    uint16_t code;
  };

  static Opened open(void* paired, uint16_t mode, uint16_t class_id) {
    Opened opened{0, class_id, 0};
    AP21_OPENPARM parameter{mode, &opened.class_id, &opened.code};
    opened.result = send(AP21_MSG_OPEN, paired, &parameter);
    return opened;
  }

  // The class starts as a value no detection gives, so that clearing it shows.
  static Opened detect(void* paired) {
    Opened detected{0, 0xABCD, 0};
    AP21_DETECTPARM parameter{&detected.class_id, &detected.code};
    detected.result = send(AP21_MSG_DETECT, paired, &parameter);
    return detected;
  }

  // Destroys a file object before the test ends, so that TearDown does not.
  void destroy(AP20_FILE* file) {
    AP_WINDOWPARM none{nullptr, 0};
    send(AP_MSG_DESTROY, file, &none);
    files_.erase(std::remove(files_.begin(), files_.end(), file), files_.end());
  }

  static std::string path(const std::string& name) { return testsupport::home() + "/" + name; }

 private:
  std::vector<AP20_FILE*> files_;
};

}  // namespace filetest
