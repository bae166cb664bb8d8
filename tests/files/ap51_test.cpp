#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "files/group_files_fixture.h"

namespace {

using groupfiletest::GroupFiles;

constexpr uint16_t kRead = AP20_MODE_READ;
constexpr uint16_t kReadWrite = AP20_MODE_READWRITE;
constexpr uint16_t kCreate = AP20_MODE_CREATE;

// The three values message 179 gives.
std::array<float, 3> kept_values(AP51_GROUP_FILE* group_file) {
  std::array<float, 3> values{};
  AP51_VALUESPARM places{&values[0], &values[1], &values[2]};
  EXPECT_EQ(GU2_DoMethod_MSG(AP51_MSG_GET_VALUES, group_file, &places), 1u);
  return values;
}

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
  EXPECT_EQ(kept_values(group_file), (std::array<float, 3>{1.5f, -2.0f, 3.25f}));
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

// ---------------------------------------------------------------------------
// Saving a group and reading it back

namespace {

class GroupSave : public GroupFiles {
 protected:
  // A member of 4 points valued seed, seed + 1, ...; titled, timed and with
  // parameter 48 set from the seed.
  static AP7_SPECTRUM* member(int seed) {
    AP7_SPECTRUM* spectrum = make_spectrum(4);
    std::string title = "member " + std::to_string(seed);
    ap7b_GetSetTitle(spectrum, title.data(), 0);
    spectrum->header->data.time = 1000u + static_cast<uint32_t>(seed);
    spectrum->header->data.p48 = 2000u + static_cast<uint32_t>(seed);
    auto* y = ap7b_GetDataPtr(spectrum);
    for (int i = 0; i < 4; ++i) y[i] = static_cast<float>(seed + i);
    return spectrum;
  }

  // Saves the list through a group-file object made for it, opened to
  // create with class 52, as the converter does; a failed save deletes the
  // file.
  uint32_t save(const std::string& name, AP40_LLIST* list, uint32_t* error = nullptr) {
    AP51_GROUP_FILE* group_file = named_group_file(path(name));
    EXPECT_EQ(open(group_file, kCreate, AP52_CLASS_ID).result, 1u);
    const uint32_t saved = send(AP51_MSG_SAVE_GROUP, group_file, list);
    if (error != nullptr) *error = send(AP20_MSG_LAST_ERROR, group_file);
    if (!saved) send(AP21_MSG_DELETE, group_file);
    destroy(group_file);
    return saved;
  }

  // Every member of the file, read as one list; null when the read fails.
  AP40_LLIST* read_all(const std::string& name) {
    AP51_GROUP_FILE* group_file = named_group_file(path(name));
    EXPECT_EQ(open(group_file, kRead, 0).result, 1u);
    AP51_RANGEPARM whole{0xFFFF, 0};
    auto* list = ap_result_object<AP40_LLIST>(send(AP51_MSG_READ_RANGE, group_file, &whole));
    destroy(group_file);
    if (list != nullptr) adopt(list);
    return list;
  }

  void adopt(AP40_LLIST* list) { read_lists_.push_back(list); }
  void TearDown() override {
    for (AP40_LLIST* list : read_lists_) ap40_Destroy_LLIST(list, nullptr, 1);
    GroupFiles::TearDown();
  }

  static AP7_SPECTRUM* at(AP40_LLIST* list, uint32_t index) {
    AP40_INDEXPARM parameter{index};
    return ap7a_spectrum(ap_result_object<AP_OBJECT>(send(AP40_MSG_AT_INDEX, list, &parameter)));
  }

 private:
  std::vector<AP40_LLIST*> read_lists_;
};

TEST_F(GroupSave, AGroupOfThreeIsLaidOutSectionBySection) {
  AP40_LLIST* list = make_list();
  for (int seed = 0; seed < 3; ++seed) add(list, member(10 * seed));
  ASSERT_EQ(save("g.spg", list), 1u);
  const std::string bytes = testsupport::read_file(path("g.spg"));

  // Header: magic, the file's own name as title, 0x1A, type 10, version 521.
  EXPECT_EQ(bytes.substr(0, 20), "Spectral Data File\r\n");
  EXPECT_EQ(std::string(bytes.c_str() + 30), "g.spg");
  EXPECT_EQ(static_cast<uint8_t>(bytes[286]), 0x1A);
  EXPECT_EQ(filetest::get16(bytes, 288), 10);
  EXPECT_EQ(filetest::get16(bytes, 290), 521);
  // 3 bare members count 1 + 15 entries, a multiple of 16: two blocks.
  EXPECT_EQ(filetest::get16(bytes, 292), 2);
  ASSERT_EQ(filetest::get16(bytes, 294), 15);

  // Per member, keyed by its number: header block, extension, member
  // record, history bits (10 bytes stored as 12), Y values.
  const uint16_t types[] = {2, 106, 107, 105, 3};
  const uint32_t lengths[] = {140, 56, 264, 12, 16};
  uint32_t offset = 304 + 2 * 256;
  for (uint16_t m = 0; m < 3; ++m) {
    for (int s = 0; s < 5; ++s) {
      const filetest::Entry entry = filetest::get_entry(bytes, 5u * m + s);
      EXPECT_EQ(entry, (filetest::Entry{types[s], offset, lengths[s], m, 0})) << "member " << m << ", section " << s;
      offset += lengths[s];
    }
    const uint32_t header = filetest::get_entry(bytes, 5u * m).offset;
    EXPECT_EQ(filetest::get32(bytes, header + 4), 4u) << "points";
    const uint32_t record = filetest::get_entry(bytes, 5u * m + 2).offset;
    EXPECT_EQ(std::string(bytes.c_str() + record), "member " + std::to_string(10 * m));
    EXPECT_EQ(filetest::get32(bytes, record + 256), 1000u + 10 * m);
    EXPECT_EQ(filetest::get32(bytes, record + 260), 2000u + 10 * m);
    const uint32_t data = filetest::get_entry(bytes, 5u * m + 4).offset;
    for (int i = 0; i < 4; ++i) {
      float stored = 0;
      std::memcpy(&stored, &bytes[data + 4 * i], 4);
      EXPECT_EQ(stored, static_cast<float>(10 * m + 3 - i)) << "last point first";
    }
  }
  EXPECT_EQ(bytes.size(), offset);
}

TEST_F(GroupSave, MembersReadBackWhole) {
  AP40_LLIST* list = make_list();
  for (int seed = 0; seed < 3; ++seed) add(list, member(10 * seed));
  ASSERT_EQ(save("g.spg", list), 1u);
  AP40_LLIST* read = read_all("g.spg");
  ASSERT_NE(read, nullptr);
  ASSERT_EQ(send(AP40_MSG_COUNT, read), 3u);
  for (uint32_t m = 0; m < 3; ++m) {
    AP7_SPECTRUM* spectrum = at(read, m);
    ASSERT_NE(spectrum, nullptr);
    EXPECT_STREQ(spectrum->header->data.title, ("member " + std::to_string(10 * m)).c_str());
    EXPECT_EQ(uint32_t{spectrum->header->data.time}, 1000u + 10 * m);
    EXPECT_EQ(uint32_t{spectrum->header->data.p48}, 2000u + 10 * m);
    const float* y = ap7b_GetDataPtr(spectrum);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(y[i], static_cast<float>(10 * m + i));
  }
}

TEST_F(GroupSave, GroupsOfAnySizeSaveAndCountTheirMembers) {
  for (uint32_t members : {0u, 1u, 3u}) {
    AP40_LLIST* list = make_list();
    for (uint32_t i = 0; i < members; ++i) add(list, member(static_cast<int>(i)));
    ASSERT_EQ(save("n.spg", list), 1u) << members;
    AP51_GROUP_FILE* group_file = named_group_file(path("n.spg"));
    ASSERT_EQ(open(group_file, kRead, 0).result, 1u) << members;
    EXPECT_EQ(send(AP51_MSG_MEMBER_COUNT, group_file), members);
    destroy(group_file);
  }
}

// Every member with history, comment, a header text and both stored
// interferograms: more sections than bare members, all in the directory.
TEST_F(GroupSave, AThousandFullMembersSaveAndReadBack) {
  AP40_LLIST* list = make_list();
  for (int i = 0; i < 1000; ++i) {
    AP7_SPECTRUM* spectrum = member(i);
    ap7d_SetHistoryText(spectrum, "history\r\n");
    ap7d_SetCommentText(spectrum, "comment");
    std::strcpy(spectrum->header->data.p49, "operator");
    AP7_SPECTRUM* background = make_spectrum(2);
    AP7_SPECTRUM* sample = make_spectrum(2);
    background->header->data.y_units = AP41_YUNITS_INTERFEROGRAM;
    sample->header->data.y_units = AP41_YUNITS_INTERFEROGRAM;
    ap7b_SetNameAndSubSpectra(spectrum, "", background, sample);
    add(list, spectrum);
  }
  ASSERT_EQ(save("k.spg", list), 1u);
  const std::string bytes = testsupport::read_file(path("k.spg"));
  const uint32_t count = filetest::get16(bytes, 294);
  EXPECT_GE(filetest::get16(bytes, 292) * 16u, count);
  AP40_LLIST* read = read_all("k.spg");
  ASSERT_NE(read, nullptr);
  ASSERT_EQ(send(AP40_MSG_COUNT, read), 1000u);
  for (uint32_t m : {0u, 517u, 999u}) {
    AP7_SPECTRUM* spectrum = at(read, m);
    EXPECT_STREQ(spectrum->header->data.title, ("member " + std::to_string(m)).c_str());
    EXPECT_STREQ(spectrum->header->data.p49, "operator");
    EXPECT_NE(std::string(ap7d_GetHistoryText(spectrum)).find("history"), std::string::npos);
    EXPECT_EQ(std::string(spectrum->name), path("k.spg") + ";" + std::to_string(m)) << "stored interferograms";
  }
  // The saved members refer to the new file with their index as "%2d".
  EXPECT_EQ(std::string(at(list, 3)->name), path("k.spg") + "; 3");
  EXPECT_EQ(std::string(at(list, 12)->name), path("k.spg") + ";12");
}

// Saved back under another spelling of its own name, a group keeps the
// stored interferograms its members refer to.
TEST_F(GroupSave, SavingBackToTheSameFileKeepsTheStoredInterferograms) {
  AP40_LLIST* list = make_list();
  for (int i = 0; i < 2; ++i) {
    AP7_SPECTRUM* spectrum = member(i);
    AP7_SPECTRUM* sample = make_spectrum(3);
    sample->header->data.y_units = AP41_YUNITS_INTERFEROGRAM;
    ap7b_SetNameAndSubSpectra(spectrum, "", nullptr, sample);
    add(list, spectrum);
  }
  ASSERT_EQ(save("s.spg", list), 1u);
  AP40_LLIST* read = read_all("s.spg");
  ASSERT_NE(read, nullptr);
  const AP7_SPECTRUM* held = at(read, 1)->subSpectrumB;
  ASSERT_EQ(held, nullptr) << "the interferogram stays in the file";
  std::filesystem::create_directory(path("sub"));
  AP51_GROUP_FILE* group_file = named_group_file(path("sub/../s.spg"));
  ASSERT_EQ(open(group_file, kCreate, AP52_CLASS_ID).result, 1u);
  ASSERT_EQ(send(AP51_MSG_SAVE_GROUP, group_file, read), 1u);
  destroy(group_file);
  AP40_LLIST* again = read_all("s.spg");
  ASSERT_NE(again, nullptr);
  for (uint32_t m = 0; m < 2; ++m) {
    EXPECT_EQ(std::string(at(again, m)->name), path("s.spg") + ";" + std::to_string(m));
    AP51_GROUP_FILE* reader = named_group_file(path("s.spg"));
    ASSERT_EQ(open(reader, kRead, 0).result, 1u);
    AP51_IFGPARM which{AP21_SAMPLE, static_cast<uint16_t>(m), 0};
    AP7_SPECTRUM* sample = ap7a_spectrum(ap_result_object<AP_OBJECT>(send(AP51_MSG_READ_INTERFEROGRAM, reader, &which)));
    ASSERT_NE(sample, nullptr) << m;
    EXPECT_EQ(uint32_t{sample->header->data.points}, 3u);
    ap7a_Delete(sample, nullptr);
    destroy(reader);
  }
}

TEST_F(GroupSave, AFailedGamlExportLeavesNoFileAndNoReferenceToIt) {
  AP40_LLIST* list = make_list();
  AP7_SPECTRUM* spectrum = member(1);
  ap7b_SetNameAndSubSpectra(spectrum, "", make_spectrum(2), make_spectrum(2));
  add(list, spectrum);
  uint32_t error = 0;
  EXPECT_EQ(save("out.gaml", list, &error), 0u);
  EXPECT_EQ(error, AP20_ERROR_GAML_EXPORT);
  EXPECT_FALSE(std::filesystem::exists(path("out.gaml")));
  EXPECT_EQ(std::string(spectrum->name).find("out.gaml"), std::string::npos);
}

}  // namespace

// ---------------------------------------------------------------------------
// Group messages of other group formats

namespace {

constexpr uint32_t kFormatAnswer = 7;

// A group format of the test in the place of class 58: it takes any file,
// answers the group messages with 7 (and a new spectrum for the three that
// read one), and records every group message that reaches it.
struct OtherGroupFormat {
  uint16_t class_id;
  AP_OBJECT* owner;
};

struct Received {
  uint16_t message;
  void* parameter;
};

struct OtherGroupClass {
  std::vector<Received> received;
  std::vector<AP51_WRITEIFGPARM> interferograms;
  bool reads_spectrum = true;
  uint32_t write_answer = kFormatAnswer;
  uint32_t interferogram_answer = 1;
  int live = 0;
};

OtherGroupClass& other_group() {
  static OtherGroupClass format_class;
  return format_class;
}

bool reads_spectrum(uint16_t message) {
  return message == AP51_MSG_READ_SPECTRUM || message == AP51_MSG_READ_WITH_VALUES ||
         message == AP51_MSG_READ_SPECTRUM_AT;
}

uint32_t other_group_dispatcher(void* object, uint16_t message, void* parameter) {
  OtherGroupClass& format_class = other_group();
  switch (message) {
    case AP_MSG_NEW:
      ++format_class.live;
      return ap_object_result(new OtherGroupFormat{AP51_FORMAT_OTHER_GROUP, static_cast<AP_OBJECT*>(parameter)});
    case AP_MSG_DESTROY:
      --format_class.live;
      delete static_cast<OtherGroupFormat*>(object);
      return 1;
    case AP21_FORMAT_TEST: return 1;
    case AP51_MSG_WRITE_INTERFEROGRAM:
      format_class.interferograms.push_back(*static_cast<const AP51_WRITEIFGPARM*>(parameter));
      return format_class.interferogram_answer;
    case AP51_MSG_GET_VALUES: {
      const auto* places = static_cast<const AP51_VALUESPARM*>(parameter);
      *places->first = 1.5f;
      *places->second = -2.5f;
      *places->third = 3.5f;
      return 1;
    }
    default: break;
  }
  if (message < AP51_MSG_GROUP_FIRST || message > AP51_MSG_GROUP_LAST) return 0;
  format_class.received.push_back({message, parameter});
  if (message == AP51_MSG_WRITE_SPECTRUM) return format_class.write_answer;
  if (!reads_spectrum(message)) return kFormatAnswer;
  if (!format_class.reads_spectrum) return 0;
  uint16_t class_id = AP7_CLASS_ID;
  AP7_NEWPARM points{4, nullptr};
  return GU2_DoMethod_MSG(AP_MSG_NEW, &class_id, &points);
}

class OtherGroupFormats : public GroupFiles {
 protected:
  void SetUp() override {
    GroupFiles::SetUp();
    other_group() = OtherGroupClass{};
    GU2_ImmedSetDispatcher(AP51_FORMAT_OTHER_GROUP, other_group_dispatcher);
  }
  void TearDown() override {
    for (AP7_SPECTRUM* spectrum : spectra_) ap7a_Delete(spectrum, nullptr);
    GroupFiles::TearDown();
    EXPECT_EQ(other_group().live, 0) << "format objects left";
    GU2_ImmedSetDispatcher(AP51_FORMAT_OTHER_GROUP, nullptr);
  }

  // A file that only the test format takes, open read-only through it.
  AP51_GROUP_FILE* other_group_file() {
    testsupport::write_file("o.grp", "not a native file");
    AP51_GROUP_FILE* group_file = named_group_file(path("o.grp"));
    const Opened opened = open(group_file, kRead, 0);
    EXPECT_EQ(opened.result, 1u);
    EXPECT_EQ(opened.class_id, AP51_FORMAT_OTHER_GROUP);
    return group_file;
  }

  // A spectrum the format read, owned by the test from here on.
  AP7_SPECTRUM* taken(uint32_t answer) {
    AP7_SPECTRUM* spectrum = ap7a_spectrum(ap_result_object<AP_OBJECT>(answer));
    if (spectrum != nullptr) spectra_.push_back(spectrum);
    return spectrum;
  }

  static bool received(uint16_t message) {
    const auto& all = other_group().received;
    return std::any_of(all.begin(), all.end(), [message](const Received& r) { return r.message == message; });
  }

  static uint32_t change_state(AP7_SPECTRUM* spectrum) { return send(AP_MSG_GET_CHANGE_STATE, spectrum); }

 private:
  std::vector<AP7_SPECTRUM*> spectra_;
};

// The messages with no special handling go through with their block, or
// none, while the file is open; with the file closed under a standing format
// object only 169, 173 and 178 still go through.
TEST_F(OtherGroupFormats, PlainGroupMessagesGoThroughAsTheirRuleSays) {
  const std::vector<uint16_t> without_block = {148, 153, 157, 159, 161, 163, 165, 170, 172, 174};
  const std::vector<uint16_t> open_or_not = {169, 173, 178};
  const std::vector<uint16_t> handled = {147, 150, 151, 152, 176, 179, 181, 184};
  AP51_GROUP_FILE* group_file = other_group_file();
  uint32_t block[3] = {1, 2, 3};
  for (uint16_t message = AP51_MSG_GROUP_FIRST; message <= AP51_MSG_GROUP_LAST; ++message) {
    if (std::count(handled.begin(), handled.end(), message) != 0) continue;
    other_group().received.clear();
    EXPECT_EQ(send(message, group_file, block), kFormatAnswer) << message;
    ASSERT_EQ(other_group().received.size(), 1u) << message;
    const bool bare = std::count(without_block.begin(), without_block.end(), message) != 0;
    EXPECT_EQ(other_group().received[0].parameter, bare ? nullptr : block) << message;
  }
  ASSERT_EQ(ap20_Close(ap20_file(group_file->head.parent)), 1u);
  ASSERT_NE(format_of(group_file), nullptr);
  for (uint16_t message = AP51_MSG_GROUP_FIRST; message <= AP51_MSG_GROUP_LAST; ++message) {
    if (std::count(handled.begin(), handled.end(), message) != 0) continue;
    const bool goes = std::count(open_or_not.begin(), open_or_not.end(), message) != 0;
    EXPECT_EQ(send(message, group_file, block), goes ? kFormatAnswer : 0u) << message;
  }
}

TEST_F(OtherGroupFormats, TheNativeGroupFormatAnswersNoneOfThem) {
  AP51_GROUP_FILE* group_file = opened_group("a.spg", groupfiletest::group_file(2));
  uint32_t block[3] = {1, 2, 3};
  for (uint16_t message = AP51_MSG_GROUP_FIRST; message <= AP51_MSG_GROUP_LAST; ++message) {
    if (message == AP51_MSG_GET_VALUES) continue;
    EXPECT_EQ(send(message, group_file, block), 0u) << message;
  }
  EXPECT_TRUE(other_group().received.empty());
}

TEST_F(OtherGroupFormats, AReadSpectrumBelongsToTheFileAsSaved) {
  AP51_GROUP_FILE* group_file = other_group_file();
  uint32_t block[3] = {1, 2, 3};
  for (uint16_t message : {AP51_MSG_READ_SPECTRUM, AP51_MSG_READ_SPECTRUM_AT}) {
    AP7_SPECTRUM* spectrum = taken(send(message, group_file, block));
    ASSERT_NE(spectrum, nullptr) << message;
    EXPECT_EQ(std::string(spectrum->path), path("o.grp")) << message;
    EXPECT_EQ(change_state(spectrum), static_cast<uint32_t>(AP2_SAVED)) << message;
  }
  other_group().reads_spectrum = false;
  EXPECT_EQ(send(AP51_MSG_READ_SPECTRUM, group_file, block), 0u);
}

TEST_F(OtherGroupFormats, AReadWithValuesKeepsTheFormatsThreeValues) {
  AP51_GROUP_FILE* group_file = other_group_file();
  AP51_WORDVALUEPARM which{2, 5};
  other_group().reads_spectrum = false;
  EXPECT_EQ(send(AP51_MSG_READ_WITH_VALUES, group_file, &which), 0u);
  EXPECT_EQ(kept_values(group_file), (std::array<float, 3>{})) << "no spectrum, no values";
  other_group().reads_spectrum = true;
  AP7_SPECTRUM* spectrum = taken(send(AP51_MSG_READ_WITH_VALUES, group_file, &which));
  ASSERT_NE(spectrum, nullptr);
  EXPECT_EQ(std::string(spectrum->path), path("o.grp"));
  EXPECT_EQ(kept_values(group_file), (std::array<float, 3>{1.5f, -2.5f, 3.5f}));
}

TEST_F(OtherGroupFormats, WritingASpectrumCarriesItsStoredInterferograms) {
  AP51_GROUP_FILE* group_file = other_group_file();
  AP7_SPECTRUM* spectrum = make_spectrum(4);
  ap7b_SetNameAndSubSpectra(spectrum, "", make_spectrum(2), make_spectrum(2));
  AP51_SPECTRUMPARM parameter{reinterpret_cast<AP_OBJECT*>(spectrum), 99};
  EXPECT_EQ(send(AP51_MSG_WRITE_SPECTRUM, group_file, &parameter), 1u);
  ASSERT_EQ(other_group().interferograms.size(), 2u);
  EXPECT_EQ(other_group().interferograms[0].which, AP21_BACKGROUND);
  EXPECT_EQ(other_group().interferograms[1].which, AP21_SAMPLE);
  for (const AP51_WRITEIFGPARM& written : other_group().interferograms) {
    EXPECT_EQ(written.member, 0u);
    EXPECT_EQ(written.key3, 99u);
  }
  EXPECT_EQ(std::string(spectrum->name), path("o.grp") + "; 0");
  EXPECT_EQ(change_state(spectrum), static_cast<uint32_t>(AP2_SAVED));
  ap7a_Delete(spectrum, nullptr);
}

struct RefusedWrite {
  const char* what;
  bool library_spectrum;
  uint32_t write_answer;
  uint32_t interferogram_answer;
  bool forwarded;
};

// A library spectrum is refused before the format sees it; a write the
// format refuses, or whose interferograms all fail, leaves the spectrum
// unsaved.
TEST_F(OtherGroupFormats, ARefusedWriteLeavesTheSpectrumUnsaved) {
  const RefusedWrite cases[] = {
      {"library spectrum", true, kFormatAnswer, 1, false},
      {"format refuses", false, 0, 1, true},
      {"interferograms fail", false, kFormatAnswer, 0, true},
  };
  AP51_GROUP_FILE* group_file = other_group_file();
  for (const RefusedWrite& c : cases) {
    other_group().received.clear();
    other_group().write_answer = c.write_answer;
    other_group().interferogram_answer = c.interferogram_answer;
    AP7_SPECTRUM* spectrum = make_spectrum(4);
    ap7b_SetNameAndSubSpectra(spectrum, "", nullptr, make_spectrum(2));
    if (c.library_spectrum) ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), AP41_HISTORY_CORVANE_LIBRARY);
    AP_WORDPARM changed{static_cast<uint16_t>(AP2_CHANGED)};
    send(AP_MSG_SET_CHANGE_STATE, spectrum, &changed);
    AP51_SPECTRUMPARM parameter{reinterpret_cast<AP_OBJECT*>(spectrum), 0};
    EXPECT_EQ(send(AP51_MSG_WRITE_SPECTRUM, group_file, &parameter), 0u) << c.what;
    EXPECT_EQ(received(AP51_MSG_WRITE_SPECTRUM), c.forwarded) << c.what;
    EXPECT_NE(change_state(spectrum), static_cast<uint32_t>(AP2_SAVED)) << c.what;
    ap7a_Delete(spectrum, nullptr);
  }
}

TEST_F(OtherGroupFormats, AClosedFileIsOpenedForTheMessageAndClosedAgain) {
  AP51_GROUP_FILE* group_file = other_group_file();
  ASSERT_EQ(send(AP21_MSG_CLOSE, group_file), 1u);
  AP20_WORDPARM word{1};
  for (uint16_t message : {AP51_MSG_OPENS_READWRITE, AP51_MSG_OPENS_OTHER_GROUP}) {
    EXPECT_EQ(send(message, group_file, &word), kFormatAnswer) << message;
    EXPECT_TRUE(received(message)) << message;
    EXPECT_EQ(send(AP20_MSG_IS_OPEN, group_file), 0u) << message;
    EXPECT_EQ(format_of(group_file), nullptr) << message;
  }
  // While open, the file stays as it is.
  ASSERT_EQ(open(group_file, kRead, 0).result, 1u);
  EXPECT_EQ(send(AP51_MSG_OPENS_READWRITE, group_file, &word), kFormatAnswer);
  EXPECT_EQ(send(AP20_MSG_IS_OPEN, group_file), 1u);
}

// Without a class 58 the message cannot open the file; a native group file
// opened for 152 answers 0 from class 52 and is closed again.
TEST_F(GroupFileClass, WithoutOtherGroupFormatsTheOpeningMessagesAnswer0) {
  testsupport::write_file("a.spg", groupfiletest::group_file(1));
  AP51_GROUP_FILE* group_file = named_group_file(path("a.spg"));
  AP20_WORDPARM word{1};
  for (uint16_t message : {AP51_MSG_OPENS_READWRITE, AP51_MSG_OPENS_OTHER_GROUP}) {
    EXPECT_EQ(send(message, group_file, &word), 0u) << message;
    EXPECT_EQ(send(AP20_MSG_IS_OPEN, group_file), 0u) << message;
    EXPECT_EQ(format_of(group_file), nullptr) << message;
  }
}

TEST_F(OtherGroupFormats, Message181NeedsAFirstField) {
  AP51_GROUP_FILE* group_file = other_group_file();
  uint32_t none[2] = {0, 5};
  uint32_t some[2] = {3, 5};
  EXPECT_EQ(send(AP51_MSG_NEEDS_FIRST_FIELD, group_file, none), 0u);
  EXPECT_FALSE(received(AP51_MSG_NEEDS_FIRST_FIELD));
  EXPECT_EQ(send(AP51_MSG_NEEDS_FIRST_FIELD, group_file, some), kFormatAnswer);
}

}  // namespace
