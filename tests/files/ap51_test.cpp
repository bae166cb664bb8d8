#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "files/group_files_fixture.h"

namespace {

using groupfiletest::GroupFiles;

constexpr uint16_t kRead = AP20_MODE_READ;
constexpr uint16_t kReadWrite = AP20_MODE_READWRITE;
constexpr uint16_t kCreate = AP20_MODE_CREATE;

class GroupFileClass : public GroupFiles {
 protected:
  static std::string class_name(AP51_GROUP_FILE* group_file) {
    char name[128] = {};
    EXPECT_EQ(send(AP_MSG_CLASS_NAME, group_file, name), 1u);
    return name;
  }
  static uint32_t last_error(AP51_GROUP_FILE* group_file) { return send(AP20_MSG_LAST_ERROR, group_file); }
};

// ---------------------------------------------------------------------------
// The object

TEST_F(GroupFileClass, OwnsAFilePartWhoseOuterObjectItIs) {
  AP51_GROUP_FILE* group_file = make_group_file();
  ASSERT_NE(group_file, nullptr);
  AP20_FILE* file = ap20_file(group_file->head.parent);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(reinterpret_cast<AP2_OBJECT*>(file->head.parent)->outer, &group_file->head);
  EXPECT_EQ(format_of(group_file), nullptr);
  EXPECT_EQ(class_name(group_file), "AP51_GROUP_FILE");
  EXPECT_EQ(send(AP_MSG_SIZE, group_file), send(AP_MSG_SIZE, file) + 36);
}

TEST_F(GroupFileClass, AnOpenGroupNamesItsFormatAndCountsItsSize) {
  AP51_GROUP_FILE* group_file = opened_group("a.spg", groupfiletest::group_file(1));
  EXPECT_EQ(class_name(group_file), "AP51_GROUP_FILE : AP52_SPG_FILE");
  EXPECT_EQ(send(AP_MSG_SIZE, group_file), send(AP_MSG_SIZE, group_file->head.parent) + 8 + 36);
  EXPECT_EQ(send(AP21_MSG_CLOSE, group_file), 1u);
  EXPECT_EQ(format_of(group_file), nullptr);
  EXPECT_EQ(send(AP20_MSG_IS_OPEN, group_file), 0u);
}

TEST_F(GroupFileClass, DestroyingItGivesBackItsPartsAndFormatObject) {
  const uint16_t file_live = APX_GetClassTable()->classes[AP20_CLASS_ID].live;
  const uint16_t format_live = APX_GetClassTable()->classes[AP52_CLASS_ID].live;
  AP51_GROUP_FILE* group_file = opened_group("a.spg", groupfiletest::group_file(1));
  EXPECT_EQ(APX_GetClassTable()->classes[AP52_CLASS_ID].live, format_live + 1);
  destroy(group_file);
  EXPECT_EQ(APX_GetClassTable()->classes[AP20_CLASS_ID].live, file_live);
  EXPECT_EQ(APX_GetClassTable()->classes[AP52_CLASS_ID].live, format_live);
}

TEST_F(GroupFileClass, ReturnsTheThreeValuesItKeeps) {
  AP51_GROUP_FILE* group_file = make_group_file();
  group_file->values[0] = 1.5f;
  group_file->values[1] = -2.0f;
  group_file->values[2] = 3.25f;
  float first = 0, second = 0, third = 0;
  AP51_VALUESPARM parameter{&first, &second, &third};
  EXPECT_EQ(send(AP51_MSG_GET_VALUES, group_file, &parameter), 1u);
  EXPECT_EQ(first, 1.5f);
  EXPECT_EQ(second, -2.0f);
  EXPECT_EQ(third, 3.25f);
}

TEST_F(GroupFileClass, GroupMessagesAnswerOnlyWhileTheFileIsOpen) {
  AP51_GROUP_FILE* group_file = opened_group("a.spg", groupfiletest::group_file(3));
  EXPECT_EQ(send(AP51_MSG_MEMBER_COUNT, group_file), 3u);
  char buffer[256] = {};
  AP51_TITLEPARM title{buffer, 1};
  EXPECT_EQ(send(AP51_MSG_TITLE, group_file, &title), 1u);
  EXPECT_STREQ(buffer, "member 1");
  AP51_TITLEPARM no_buffer{nullptr, 1};
  EXPECT_EQ(send(AP51_MSG_TITLE, group_file, &no_buffer), 0u);
  send(AP21_MSG_CLOSE, group_file);
  EXPECT_EQ(send(AP51_MSG_MEMBER_COUNT, group_file), 0u);
  EXPECT_EQ(send(AP51_MSG_TITLE, group_file, &title), 0u);
}

// ---------------------------------------------------------------------------
// Detection between single-spectrum and group files

struct DetectCase {
  const char* what;
  bool exists;
  std::string bytes;
  uint32_t result;
  uint16_t class_id;
  uint16_t code;
};

TEST_F(GroupFileClass, DetectionTellsGroupFilesFromOthers) {
  const DetectCase cases[] = {
      {"group file", true, groupfiletest::group_file(2), 1, AP52_CLASS_ID, 0},
      {"empty group file", true, groupfiletest::group_file(0), 1, AP52_CLASS_ID, 0},
      {"single-spectrum file", true, filetest::native_file(AP20_FILE_SPECTRUM, 1, {}), 0, 0, AP21_NOT_RECOGNISED},
      {"not native", true, std::string(400, 'x'), 0, 0, AP21_NOT_RECOGNISED},
      {"missing file", false, "", 0, 0, AP21_NO_FILE},
  };
  for (const DetectCase& c : cases) {
    if (c.exists) testsupport::write_file("d.spg", c.bytes);
    AP51_GROUP_FILE* group_file = named_group_file(path("d.spg"));
    const Opened detected = detect(group_file);
    EXPECT_EQ(detected.result, c.result) << c.what;
    EXPECT_EQ(detected.class_id, c.class_id) << c.what;
    EXPECT_EQ(detected.code, c.code) << c.what;
    EXPECT_EQ(send(AP20_MSG_IS_OPEN, group_file), 0u) << c.what;
    destroy(group_file);
    std::filesystem::remove(path("d.spg"));
  }
}

TEST_F(GroupFileClass, TheSpectrumFileClassDoesNotTakeAGroupFile) {
  testsupport::write_file("d.spg", groupfiletest::group_file(2));
  uint16_t class_id = AP21_CLASS_ID;
  AP_NEWPARM parameter{AP21_CLASS_ID, nullptr};
  auto* spectrum_file = ap_result_object<AP21_SPECTRUM_FILE>(send(AP_MSG_NEW, &class_id, &parameter));
  ASSERT_NE(spectrum_file, nullptr);
  const std::string name = path("d.spg");
  AP20_NAMEPARM naming{nullptr, name.c_str()};
  send(AP20_MSG_SET_NAME, spectrum_file, &naming);
  uint16_t found = 0xABCD, code = 0;
  AP21_DETECTPARM detect_parameter{&found, &code};
  EXPECT_EQ(send(AP21_MSG_DETECT, spectrum_file, &detect_parameter), 0u);
  EXPECT_EQ(code, AP21_NOT_RECOGNISED);
  AP_WINDOWPARM none{nullptr, 0};
  send(AP_MSG_DESTROY, spectrum_file, &none);
}

TEST_F(GroupFileClass, OpenWithoutAClassDetectsIt) {
  testsupport::write_file("a.spg", groupfiletest::group_file(1));
  AP51_GROUP_FILE* group_file = named_group_file(path("a.spg"));
  const Opened opened = open(group_file, kRead, 0);
  EXPECT_EQ(opened.result, 1u);
  EXPECT_EQ(opened.class_id, AP52_CLASS_ID);
  ASSERT_NE(format_of(group_file), nullptr);
  EXPECT_EQ(group_file->format->class_id, AP52_CLASS_ID);
}

TEST_F(GroupFileClass, OpenRefusesAWriteWithoutAClassAndAClassItDoesNotAccept) {
  AP51_GROUP_FILE* group_file = named_group_file(path("new.spg"));
  Opened opened = open(group_file, kCreate, 0);
  EXPECT_EQ(opened.result, 0u);
  EXPECT_EQ(opened.code, AP21_NO_CLASS);
  EXPECT_FALSE(std::filesystem::exists(path("new.spg")));
  opened = open(group_file, kCreate, AP45_CLASS_ID);
  EXPECT_EQ(opened.result, 0u);
  EXPECT_EQ(opened.code, AP21_NOT_RECOGNISED);
}

TEST_F(GroupFileClass, ACreateOpenOnAnExistingFileKeepsItsBytes) {
  const std::string bytes = groupfiletest::group_file(1);
  testsupport::write_file("a.spg", bytes);
  AP51_GROUP_FILE* group_file = named_group_file(path("a.spg"));
  EXPECT_EQ(open(group_file, kCreate, AP52_CLASS_ID).result, 1u);
  EXPECT_EQ(send(AP20_MSG_OPEN_MODE, group_file), AP20_MODE_WRITE);
  send(AP21_MSG_CLOSE, group_file);
  EXPECT_EQ(testsupport::read_file(path("a.spg")), bytes);
}

TEST_F(GroupFileClass, DeleteRemovesTheFileAndTheFormatObject) {
  AP51_GROUP_FILE* group_file = opened_group("a.spg", groupfiletest::group_file(1));
  EXPECT_EQ(send(AP21_MSG_DELETE, group_file), 1u);
  EXPECT_EQ(format_of(group_file), nullptr);
  EXPECT_FALSE(std::filesystem::exists(path("a.spg")));
}

TEST_F(GroupFileClass, ARegisteredFormatClassIsProbedAfterTheTable) {
  static uint16_t group_class = AP51_CLASS_ID;
  AP20_WORDPARM registered{AP45_CLASS_ID};
  EXPECT_EQ(send(AP21_MSG_REGISTER_FORMAT, &group_class, &registered), 1u);
  // A single-spectrum file is now one of the group-file class's formats.
  testsupport::write_file("a.spa", filetest::native_file(AP20_FILE_SPECTRUM, 1, {}));
  AP51_GROUP_FILE* group_file = named_group_file(path("a.spa"));
  const Opened detected = detect(group_file);
  EXPECT_EQ(detected.result, 1u);
  EXPECT_EQ(detected.class_id, AP45_CLASS_ID);
}

// ---------------------------------------------------------------------------
// GAML export

TEST_F(GroupFileClass, AGamlNameInAnyCaseGoesToTheMissingConverterAndFailsWith400) {
  const char* names[] = {"out.GAML", "out.gaml", "out.GaMl"};
  for (const char* name : names) {
    AP51_GROUP_FILE* group_file = opened_group(name, groupfiletest::group_file(1));
    EXPECT_EQ(ap51_ExportGaml(group_file), 0u) << name;
    EXPECT_EQ(last_error(group_file), AP20_ERROR_GAML_EXPORT) << name;
    EXPECT_EQ(send(AP20_MSG_IS_OPEN, group_file), 0u) << name << ": the export closes the file";
    EXPECT_EQ(send(AP21_MSG_DELETE, group_file), 1u) << name;
    EXPECT_FALSE(std::filesystem::exists(path(name))) << name << ": a failed save leaves no file";
    destroy(group_file);
  }
}

TEST_F(GroupFileClass, OtherNamesAreNotExported) {
  const char* names[] = {"out.spg", "out.gam", "gaml", "out.GAML.spg"};
  for (const char* name : names) {
    const std::string bytes = groupfiletest::group_file(1);
    AP51_GROUP_FILE* group_file = opened_group(name, bytes);
    EXPECT_EQ(ap51_ExportGaml(group_file), 1u) << name;
    EXPECT_EQ(last_error(group_file), 0u) << name;
    EXPECT_EQ(send(AP20_MSG_IS_OPEN, group_file), 1u) << name;
    destroy(group_file);
    EXPECT_EQ(testsupport::read_file(path(name)), bytes) << name;
  }
}

}  // namespace
