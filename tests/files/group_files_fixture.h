// Fixtures of the group-file tests: group-file objects (class 51) made by
// message 4 and destroyed after each test, their open, detection and close,
// group files built byte by byte from the container layout, and lists of
// spectra made and destroyed with the test.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "files/files_fixture.h"
#include "spectrum/spectrum.h"

namespace groupfiletest {

using filetest::Entry;
using filetest::Section;

// A member record of 264 bytes: title at 0, parameter 2 at 256, parameter
// 48 at 260; `length` 256 gives the older form without the two words.
inline std::string member_record(const std::string& title, uint32_t time, uint32_t p48, size_t length = 264) {
  std::string bytes(264, '\0');
  bytes.replace(0, std::min<size_t>(title.size(), 256), title.substr(0, 256));
  filetest::put32(bytes, 256, time);
  filetest::put32(bytes, 260, p48);
  bytes.resize(length);
  return bytes;
}

// A group file of one directory block whose members each have a header
// block (type 2) and a member record (type 107) titled "member <n>", keyed
// with their member number; sections follow the directory in that order.
inline std::string group_file(uint16_t members, uint16_t file_type = AP20_FILE_GROUP) {
  std::vector<Section> sections;
  uint32_t offset = filetest::kHeaderBytes + filetest::kBlockBytes;
  for (uint16_t member = 0; member < members; ++member) {
    sections.push_back({Entry{2, offset, 140, member, 0}, filetest::pattern(140, static_cast<uint8_t>(member))});
    offset += 140;
    sections.push_back({Entry{107, offset, 264, member, 0}, member_record("member " + std::to_string(member), 0, 0)});
    offset += 264;
  }
  return filetest::native_file(file_type, 1, sections);
}

class GroupFiles : public filetest::FileObjects {
 protected:
  void TearDown() override {
    while (!group_files_.empty()) destroy(group_files_.back());
    for (AP40_LLIST* list : lists_) ap40_Destroy_LLIST(list, nullptr, 1);
    lists_.clear();
    ap20_FreeFormatClasses(AP51_CLASS_ID);
    FileObjects::TearDown();
  }

  AP51_GROUP_FILE* make_group_file() {
    uint16_t class_id = AP51_CLASS_ID;
    AP_NEWPARM parameter{AP51_CLASS_ID, nullptr};
    auto* group_file = ap_result_object<AP51_GROUP_FILE>(send(AP_MSG_NEW, &class_id, &parameter));
    if (group_file != nullptr) group_files_.push_back(group_file);
    return group_file;
  }

  AP51_GROUP_FILE* named_group_file(const std::string& name) {
    AP51_GROUP_FILE* group_file = make_group_file();
    AP20_NAMEPARM naming{nullptr, name.c_str()};
    EXPECT_EQ(send(AP20_MSG_SET_NAME, group_file, &naming), 1u);
    return group_file;
  }

  // The format object, read out of the packed record.
  static AP_OBJECT* format_of(const AP51_GROUP_FILE* group_file) { return group_file->format; }

  // A group-file object open read-only as class 52 on a file of the test.
  AP51_GROUP_FILE* opened_group(const std::string& name, const std::string& bytes) {
    testsupport::write_file(name, bytes);
    AP51_GROUP_FILE* group_file = named_group_file(path(name));
    EXPECT_EQ(open(group_file, AP20_MODE_READ, AP52_CLASS_ID).result, 1u);
    return group_file;
  }

  void destroy(AP51_GROUP_FILE* group_file) {
    AP_WINDOWPARM none{nullptr, 0};
    send(AP_MSG_DESTROY, group_file, &none);
    group_files_.erase(std::remove(group_files_.begin(), group_files_.end(), group_file), group_files_.end());
  }

  // A list of spectra (destroyed with its members after the test).
  AP40_LLIST* make_list() {
    AP40_LLIST* list = ap40_New_LLIST(nullptr, 0xFFFF);
    if (list != nullptr) lists_.push_back(list);
    return list;
  }

  static uint32_t add(AP40_LLIST* list, AP7_SPECTRUM* spectrum) {
    return ap40_Add_LLIST(list, reinterpret_cast<AP_OBJECT*>(spectrum));
  }
  static AP_OBJECT* as_object(void* object) { return static_cast<AP_OBJECT*>(object); }

  static AP7_SPECTRUM* make_spectrum(uint32_t points) {
    uint16_t class_id = AP7_CLASS_ID;
    AP7_NEWPARM parameter{points, nullptr};
    return ap_result_object<AP7_SPECTRUM>(send(AP_MSG_NEW, &class_id, &parameter));
  }

 private:
  std::vector<AP51_GROUP_FILE*> group_files_;
  std::vector<AP40_LLIST*> lists_;
};

}  // namespace groupfiletest
