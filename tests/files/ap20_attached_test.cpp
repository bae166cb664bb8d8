#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "files/spectrum_files_fixture.h"

namespace {

using filetest::Entry;
using filetest::get16;
using filetest::get32;
using filetest::get_entry;
using filetest::native_file;
using filetest::put16;
using filetest::put32;
using filetest::Section;
using spfiletest::f32;
using spfiletest::SpectrumFiles;
using spfiletest::u16;
using spfiletest::u32;

class StoredParts : public SpectrumFiles {
 protected:
  void TearDown() override {
    for (AP_OBJECT* object : objects_) {
      AP_WINDOWPARM none{nullptr, 0};
      send(AP_MSG_DESTROY, object, &none);
    }
    SpectrumFiles::TearDown();
  }

  // A native file of the type, open for writing through the object's copies.
  AP20_FILE* new_native(uint16_t file_type = 1, const std::string& name = "s.spa") {
    AP20_FILE* file = make_file();
    const std::string full = path(name);
    AP20_NATIVEPARM parameter{full.c_str(), 16, file_type};
    EXPECT_EQ(send(AP20_MSG_OPEN_NATIVE, file, &parameter), AP20_NATIVE_OPENED);
    return file;
  }
  AP20_FILE* reopen_native(AP20_FILE* file, uint16_t file_type = 1, const std::string& name = "s.spa") {
    const std::string full = path(name);
    AP20_NATIVEPARM parameter{full.c_str(), 0, file_type};
    EXPECT_EQ(send(AP20_MSG_OPEN_NATIVE_READ, file, &parameter), AP20_NATIVE_OPENED);
    return file;
  }
  static std::vector<Entry> entries(const std::string& file) {
    std::vector<Entry> found;
    for (uint16_t index = 0; index < get16(file, 294); ++index) found.push_back(get_entry(file, index));
    return found;
  }
  static std::string section(const std::string& file, uint16_t type) {
    for (const Entry& entry : entries(file)) {
      if (entry.type == type) return file.substr(entry.offset, entry.length);
    }
    return "<none>";
  }

  // Objects that answer their saved data (messages 56 and 57): a header
  // with a point count, a title with a text; destroyed after the test.
  AP_OBJECT* header_item(uint32_t points) {
    auto* header = reinterpret_cast<AP41_SPECTRALHEADER*>(ap2_New_OBJ(AP41_CLASS_ID, nullptr));
    header->data.points = points;
    objects_.push_back(reinterpret_cast<AP_OBJECT*>(header));
    return objects_.back();
  }
  AP_OBJECT* title_item(const char* text, uint32_t number = 0) {
    AP_OBJECT* title = ap2_New_OBJ(AP43_CLASS_ID, nullptr);
    EXPECT_EQ(GU2_SetParmValue_MSG(title, 1, const_cast<char*>(text)), 1);
    reinterpret_cast<AP43_TITLE*>(title)->number = number;
    objects_.push_back(title);
    return title;
  }
  AP_OBJECT* own(AP_OBJECT* object) {
    if (object != nullptr) objects_.push_back(object);
    return object;
  }
  static uint32_t points_of(AP_OBJECT* header) {
    return reinterpret_cast<AP41_SPECTRALHEADER*>(header)->data.points;
  }
  static std::string title_of(AP_OBJECT* title) {
    char text[300] = {};
    GU2_GetParmValue_MSG(title, 1, text);
    return text;
  }

  AP7_SPECTRUM* interferogram(const std::vector<float>& y) {
    AP7_SPECTRUM* made = spectrum(y, 22, 0.0f, static_cast<float>(y.size() - 1));
    AP41_HEADERDATA& h = made->header->data;
    h.NumScans = 8;
    h.p39 = 0.5f;
    h.p30 = 3.0f;
    h.FinalPeakPos = 2;
    h.LaserFreq = 15000.0f;
    return made;
  }

 private:
  std::vector<AP_OBJECT*> objects_;
};

// ---------------------------------------------------------------------------
// Stored interferograms

TEST_F(StoredParts, InterferogramGoesToItsSectionsOnADirectoryReadAfresh) {
  // A file open in create mode, written so far with an empty directory.
  AP20_FILE* file = opened_file(path("s.spa"), AP20_MODE_CREATE);
  const std::string empty = native_file(1, 1, {});
  AP20_TRANSFERPARM put{const_cast<char*>(empty.data()), static_cast<uint32_t>(empty.size())};
  ASSERT_EQ(send(AP20_MSG_WRITE, file, &put), empty.size());
  AP7_SPECTRUM* sample = interferogram({1, 2, 3, 4});
  ASSERT_EQ(ap20f_WriteInterferogram(file, reinterpret_cast<AP_OBJECT*>(sample), 1, 5, 9), 1);
  EXPECT_EQ(send(AP20_MSG_OPEN_MODE, file), AP20_MODE_WRITE);
  send(AP20_MSG_CLOSE, file);
  const std::string bytes = testsupport::read_file(path("s.spa"));
  const std::vector<Entry> found = entries(bytes);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0], (Entry{102, 560, 16, 5, 9}));
  EXPECT_EQ(found[1], (Entry{100, 576, 24, 5, 9}));
  EXPECT_EQ(bytes.substr(560, 16), f32(1) + f32(2) + f32(3) + f32(4));
  EXPECT_EQ(bytes.substr(576, 24), u32(4) + u32(8) + f32(0.5f) + f32(3.0f) + u32(2) + f32(15000.0f));
}

TEST_F(StoredParts, BackgroundInterferogramReadsWithItsTitlePrefixed) {
  AP20_FILE* file = new_native();
  ASSERT_EQ(ap20f_WriteInterferogram(file, reinterpret_cast<AP_OBJECT*>(interferogram({5, 6})), 0, 0, 0), 1);
  send(AP20_MSG_CLOSE_NATIVE, file);
  reopen_native(file);
  AP7_SPECTRUM* target = spectrum({0});
  std::strcpy(target->header->data.title, "x");
  target->header->data.history[0] = 5;
  AP7_SPECTRUM* read = ap20f_ReadInterferogram(file, target, 0, file->header, file->directory, 0, 0);
  ASSERT_EQ(read, target);
  EXPECT_EQ(std::string(read->header->data.title), "Bkg x");
  EXPECT_EQ(spectrumtest::values(read), std::vector<float>({5, 6}));
  EXPECT_EQ(packed(read->header->data.history[0]), 0u);
  EXPECT_EQ(packed(read->header->data.last_x), 1.0f);
}

TEST_F(StoredParts, ShortDescriptorReadsAsFilledWithZerosAndKeepsTheLaserFrequency) {
  std::string bytes = native_file(1, 1, {Section{Entry{100, 560, 16, 0, 0}, u32(2) + u32(4) + f32(1) + f32(2)},
                                         Section{Entry{102, 576, 8, 0, 0}, f32(7) + f32(8)}});
  testsupport::write_file("s.spa", bytes);
  AP20_FILE* file = reopen_native(make_file());
  AP7_SPECTRUM* target = spectrum({0});
  target->header->data.LaserFreq = 12345.0f;
  target->header->data.FinalPeakPos = 9;
  ASSERT_EQ(ap20f_ReadInterferogram(file, target, 1, file->header, file->directory, 0, 0), target);
  EXPECT_EQ(packed(target->header->data.FinalPeakPos), 0u);
  EXPECT_EQ(packed(target->header->data.LaserFreq), 12345.0f) << "a frequency of 0 is not taken";
  EXPECT_EQ(packed(target->header->data.NumScans), 4u);
  EXPECT_EQ(spectrumtest::values(target), std::vector<float>({7, 8}));
}

TEST_F(StoredParts, InterferogramWithFewerValuesThanItsDescriptorIsRefusedAndTheTargetGoes) {
  std::string bytes = native_file(1, 1, {Section{Entry{101, 560, 24, 0, 0}, u32(5) + std::string(20, '\0')},
                                         Section{Entry{103, 584, 8, 0, 0}, f32(7) + f32(8)}});
  testsupport::write_file("s.spa", bytes);
  AP20_FILE* file = reopen_native(make_file());
  const uint16_t live = APX_GetClassTable()->classes[AP7_CLASS_ID].live;
  AP7_SPECTRUM* target = spectrumtest::make(1);
  EXPECT_EQ(ap20f_ReadInterferogram(file, target, 0, file->header, file->directory, 0, 0), nullptr);
  EXPECT_EQ(APX_GetClassTable()->classes[AP7_CLASS_ID].live, live);
}

// ---------------------------------------------------------------------------
// Attached objects of a whole spectrum: sections 130, 182, 183, ...

TEST_F(StoredParts, ListMembersTakeOneSectionTypeEachAndReadBack) {
  AP7_SPECTRUM* written = spectrum({1});
  auto* list = written->list;
  ASSERT_NE(ap40_Add_LLIST(list, ap2_New_OBJ(AP43_CLASS_ID, nullptr)), AP40_NO_INDEX);
  GU2_SetParmValue_MSG(spectrumtest::list_member(list, 0), 1, const_cast<char*>("first"));
  for (uint32_t points : {7u, 8u}) {
    auto* header = reinterpret_cast<AP41_SPECTRALHEADER*>(ap2_New_OBJ(AP41_CLASS_ID, nullptr));
    header->data.points = points;
    ASSERT_NE(ap40_Add_LLIST(list, reinterpret_cast<AP_OBJECT*>(header)), AP40_NO_INDEX);
  }
  AP20_FILE* file = new_native(10, "g.spg");
  ASSERT_EQ(ap20f_WriteAttached(file, reinterpret_cast<AP_OBJECT*>(written), file->header, &file->directory_block, 4, 0),
            1);
  ASSERT_EQ(send(AP20_MSG_SAVE_NATIVE, file), 1u);
  const std::vector<Entry> found = entries(testsupport::read_file(path("g.spg")));
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].type, 130);
  EXPECT_EQ(found[1].type, 182);
  EXPECT_EQ(found[2].type, 183);
  EXPECT_EQ(found[2].key2, 4);

  reopen_native(file, 10, "g.spg");
  AP7_SPECTRUM* read = spectrum({0});
  ASSERT_EQ(ap20f_ReadAttached(file, reinterpret_cast<AP_OBJECT*>(read), file->header, file->directory, 4, 0), 1);
  ASSERT_EQ(spectrumtest::list_count(read->list), 3u);
  EXPECT_EQ(title_of(spectrumtest::list_member(read->list, 0)), "first");
  EXPECT_EQ(points_of(spectrumtest::list_member(read->list, 1)), 7u);
  EXPECT_EQ(points_of(spectrumtest::list_member(read->list, 2)), 8u);
}

TEST_F(StoredParts, AttachedObjectOfAClassWithoutDispatcherIsPassedOver) {
  const std::string header_stream = u16(AP43_CLASS_ID) + u32(261) + std::string(261, 'h');
  std::string padded = header_stream;
  padded.resize(268, '\0');
  testsupport::write_file("s.spa", native_file(1, 1, {Section{Entry{130, 560, 8, 0, 0}, u16(240) + u32(2) + "ab"},
                                                      Section{Entry{182, 568, 268, 0, 0}, padded}}));
  AP20_FILE* file = reopen_native(make_file());
  AP7_SPECTRUM* read = spectrum({0});
  ASSERT_EQ(ap20f_ReadAttached(file, reinterpret_cast<AP_OBJECT*>(read), file->header, file->directory, 0, 0), 1);
  ASSERT_EQ(spectrumtest::list_count(read->list), 1u);
  EXPECT_EQ(spectrumtest::list_member(read->list, 0)->class_id, AP43_CLASS_ID);
}

// ---------------------------------------------------------------------------
// Attached objects one by one (messages 86 to 90, 108, 109)

TEST_F(StoredParts, ObjectsWrittenOneByOneTakeTheNextKey2AndTheirClassInKey3) {
  AP20_FILE* file = new_native();
  AP20_ATTACHEDWRITEPARM one{header_item(3), file->header, &file->directory_block, 0};
  ASSERT_EQ(send(AP20_MSG_WRITE_ATTACHED, file, &one), 1u);
  AP20_ATTACHEDWRITEPARM two{title_item("t", 0x2A), file->header, &file->directory_block, 1};
  ASSERT_EQ(send(AP20_MSG_WRITE_ATTACHED, file, &two), 1u);
  ASSERT_EQ(send(AP20_MSG_SAVE_NATIVE, file), 1u);
  const std::string bytes = testsupport::read_file(path("s.spa"));
  const std::vector<Entry> found = entries(bytes);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].key2, 0);
  EXPECT_EQ(found[0].key3, (uint32_t{AP41_CLASS_ID} << 16) + 0);
  EXPECT_EQ(found[1].key2, 1);
  EXPECT_EQ(found[1].key3, (uint32_t{AP43_CLASS_ID} << 16) + 0x2A) << "the first word of the title's data";
  EXPECT_EQ(bytes.substr(found[0].offset, 6), u16(AP41_CLASS_ID) + u32(1194));
}

TEST_F(StoredParts, ObjectsAreFoundByClassAndSubKind) {
  AP20_FILE* file = new_native();
  // The list holds the items without owning them: they are the test's.
  AP40_LLIST* list = ap40_New_LLIST(nullptr, AP40_NO_KEY);
  for (AP_OBJECT* item : {header_item(3), title_item("ab"), header_item(5)}) ap40_Add_LLIST(list, item);
  // Each takes the first word of its data as its sub-kind: a header's
  // record tag starts 03 01.
  AP20_ATTACHEDWRITEPARM all{reinterpret_cast<AP_OBJECT*>(list), file->header, &file->directory_block, 1};
  ASSERT_EQ(send(AP20_MSG_WRITE_ATTACHED_LIST, file, &all), 1u);
  while (spectrumtest::list_count(list) != 0) ap40_Remove_LLIST(list, spectrumtest::list_member(list, 0), 0);
  ap40_Destroy_LLIST(list, nullptr, 0);
  ASSERT_EQ(send(AP20_MSG_SAVE_NATIVE, file), 1u);
  reopen_native(file);

  GU3_HANDLE classes = ap_result_object<GU3_DESCRIPTOR>(send(AP20_MSG_ATTACHED_CLASSES, file));
  ASSERT_NE(classes, nullptr);
  const auto* pairs = static_cast<const uint16_t*>(GU3_GetPointer_MM(classes, 0, nullptr, nullptr));
  EXPECT_EQ(std::vector<uint16_t>(pairs, pairs + 4), std::vector<uint16_t>({AP41_CLASS_ID, 2, AP43_CLASS_ID, 1}));
  GU3_Free_MM(classes);

  AP20_ATTACHEDNTHPARM nth{AP41_CLASS_ID, 0x0103, 1, nullptr, nullptr};
  AP_OBJECT* second = own(ap_result_object<AP_OBJECT>(send(AP20_MSG_READ_ATTACHED_NTH, file, &nth)));
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(points_of(second), 5u);
  nth.n = 2;
  EXPECT_EQ(send(AP20_MSG_READ_ATTACHED_NTH, file, &nth), 0u);

  AP20_ATTACHEDALLPARM every{AP41_CLASS_ID, 0x0103, nullptr};
  AP_OBJECT* found = own(ap_result_object<AP_OBJECT>(send(AP20_MSG_READ_ATTACHED_ALL, file, &every)));
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->class_id, AP40_CLASS_ID);
  ASSERT_EQ(spectrumtest::list_count(reinterpret_cast<AP40_LLIST*>(found)), 2u);
  EXPECT_EQ(points_of(spectrumtest::list_member(reinterpret_cast<AP40_LLIST*>(found), 0)), 3u);
  AP_WINDOWPARM members{nullptr, 1};
  send(AP_MSG_DESTROY, found, &members);
}

TEST_F(StoredParts, NoAttachedObjectsGiveNoClassBlock) {
  AP20_FILE* file = new_native();
  EXPECT_EQ(send(AP20_MSG_ATTACHED_CLASSES, file), 0u);
}

TEST_F(StoredParts, KeyedObjectIsReadByItsExactKeysOrByItsContent) {
  AP20_FILE* file = new_native();
  AP20_ATTACHEDKEYEDPARM keyed{header_item(11), 2, (uint32_t{AP41_CLASS_ID} << 16) + 7};
  ASSERT_EQ(send(AP20_MSG_WRITE_ATTACHED_KEYED, file, &keyed), 1u);
  AP20_ATTACHEDKEYEDPARM plain{header_item(12), 9, 0};
  ASSERT_EQ(send(AP20_MSG_WRITE_ATTACHED_KEYED, file, &plain), 1u);
  ASSERT_EQ(send(AP20_MSG_SAVE_NATIVE, file), 1u);
  reopen_native(file);

  AP20_KEYSPARM exact{2, (uint32_t{AP41_CLASS_ID} << 16) + 7};
  AP_OBJECT* first = own(ap_result_object<AP_OBJECT>(send(AP20_MSG_READ_ATTACHED_KEYED, file, &exact)));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(points_of(first), 11u);
  AP20_KEYSPARM by_content{0, (uint32_t{AP41_CLASS_ID} << 16) + 9};
  AP_OBJECT* second = own(ap_result_object<AP_OBJECT>(send(AP20_MSG_READ_ATTACHED_KEYED, file, &by_content)));
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(points_of(second), 12u);
  AP20_KEYSPARM no_class{2, 7};
  EXPECT_EQ(send(AP20_MSG_READ_ATTACHED_KEYED, file, &no_class), 0u);
}

}  // namespace
