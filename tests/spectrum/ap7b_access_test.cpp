#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

class Accessors : public SpectrumTest {};

AP41_SPECTRALHEADER* new_header() {
  uint16_t class_id = AP41_CLASS_ID;
  AP_NEWPARM parameter{AP41_CLASS_ID, nullptr};
  return ap_result_object<AP41_SPECTRALHEADER>(send(AP_MSG_NEW, &class_id, &parameter));
}

AP34_ANNOTATION* new_annotation(float x) {
  AP34_ANNOTATION* annotation = ap34_Create_ANTATN(AP34_CLASS_ID, nullptr);
  AP34_ANNOTREC mark{};
  mark.x = x;
  mark.label = const_cast<char*>("mark");
  ap34_Insert_ANTATN(annotation, &mark, 16);
  return annotation;
}

float first_mark(AP34_ANNOTATION* annotation) {
  AP34_ANNOTREC mark{};
  if (!ap34_Get_ANTATN(annotation, 0, &mark, 16)) return -1.0f;
  GU3_RemoveString(mark.label);
  return mark.x;
}

// ---------------------------------------------------------------------------
// Header and annotation

TEST_F(Accessors, HeaderDuplicateIsTheCallersOwnCopy) {
  AP7_SPECTRUM* spectrum = make(3);
  std::strcpy(record(spectrum).title, "original");
  auto* copy = ap_result_object<AP41_SPECTRALHEADER>(send(AP7_MSG_DUPLICATE_HEADER, spectrum));
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, packed(spectrum->header));
  EXPECT_EQ(std::memcmp(&copy->data, &record(spectrum), sizeof(AP41_HEADERDATA)), 0);
  EXPECT_EQ(destroy(copy), 1u);
  EXPECT_STREQ(record(spectrum).title, "original");
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(Accessors, ReplacingTheHeaderDestroysTheOldAndAdoptsAHeaderOnly) {
  const auto before = live_counts();
  AP7_SPECTRUM* spectrum = make(3);
  AP41_SPECTRALHEADER* header = new_header();
  EXPECT_EQ(send(AP7_MSG_REPLACE_HEADER, spectrum, header), 1u);
  EXPECT_EQ(packed(spectrum->header), header);
  EXPECT_EQ(send(AP7_MSG_REPLACE_HEADER, spectrum, header), 1u);
  EXPECT_EQ(packed(spectrum->header), header);
  AP48_TEXT* text = new_text("no header");
  EXPECT_EQ(send(AP7_MSG_REPLACE_HEADER, spectrum, text), 0u);
  EXPECT_EQ(packed(spectrum->header), header);
  EXPECT_EQ(destroy(text), 1u);
  EXPECT_EQ(destroy(spectrum), 1u);
  EXPECT_EQ(live_counts(), before);
}

TEST_F(Accessors, SettingTheHeaderKeepsTheOldWhenItCannotGo) {
  AP7_SPECTRUM* spectrum = make(3);
  AP41_SPECTRALHEADER* old = spectrum->header;
  HWND keeper = reinterpret_cast<HWND>(0x6001);
  AP_DEPENDENTWINDOWPARM hold{keeper, AP2_KIND_CANT_DESTROY};
  ASSERT_EQ(send(AP_MSG_ADD_DEPENDENT_WINDOW, old, &hold), 1u);
  AP41_SPECTRALHEADER* header = new_header();
  EXPECT_EQ(send(AP7_MSG_SET_HEADER, spectrum, header), 0u);
  EXPECT_EQ(packed(spectrum->header), old);
  AP_WINDOWPARM release{keeper, 0};
  ASSERT_EQ(send(AP_MSG_REMOVE_DEPENDENT, old, &release), 1u);
  EXPECT_EQ(send(AP7_MSG_SET_HEADER, spectrum, header), 1u);
  EXPECT_EQ(ap_result_object<AP41_SPECTRALHEADER>(send(AP7_MSG_GET_HEADER, spectrum)), header);
  EXPECT_EQ(destroy(spectrum), 1u);
  EXPECT_EQ(APX_GetClassTable()->classes[AP41_CLASS_ID].live, 0u);
}

TEST_F(Accessors, AnnotationDuplicateIsNullWithoutAnAnnotation) {
  AP7_SPECTRUM* spectrum = make(3);
  auto* copy = ap_result_object<AP34_ANNOTATION>(send(AP7_MSG_DUPLICATE_ANNOTATION, spectrum));
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, packed(spectrum->annotation));
  EXPECT_EQ(destroy(copy), 1u);
  AP34_ANNOTATION* annotation = spectrum->annotation;
  spectrum->annotation = nullptr;
  EXPECT_EQ(send(AP7_MSG_DUPLICATE_ANNOTATION, spectrum), 0u);
  EXPECT_EQ(send(AP7_MSG_SET_ANNOTATION, spectrum, annotation), 0u);
  spectrum->annotation = annotation;
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(Accessors, CopyingAnAnnotationInLeavesTheGivenOneWithTheCaller) {
  const auto before = live_counts();
  AP7_SPECTRUM* spectrum = make(3);
  AP34_ANNOTATION* given = new_annotation(1234.0f);
  EXPECT_EQ(send(AP7_MSG_COPY_ANNOTATION_FROM, spectrum, given), 1u);
  EXPECT_NE(packed(spectrum->annotation), given);
  EXPECT_EQ(first_mark(spectrum->annotation), 1234.0f);
  EXPECT_EQ(send(AP7_MSG_COPY_ANNOTATION_FROM, spectrum, spectrum->header), 0u);
  EXPECT_EQ(destroy(given), 1u);
  EXPECT_EQ(first_mark(spectrum->annotation), 1234.0f);
  EXPECT_EQ(destroy(spectrum), 1u);
  EXPECT_EQ(live_counts(), before);
}

TEST_F(Accessors, SettingTheAnnotationAdoptsTheGivenOne) {
  const auto before = live_counts();
  AP7_SPECTRUM* spectrum = make(3);
  AP34_ANNOTATION* given = new_annotation(55.0f);
  EXPECT_EQ(send(AP7_MSG_SET_ANNOTATION, spectrum, spectrum->header), 0u);
  EXPECT_EQ(send(AP7_MSG_SET_ANNOTATION, spectrum, given), 1u);
  EXPECT_EQ(ap_result_object<AP34_ANNOTATION>(send(AP7_MSG_GET_ANNOTATION, spectrum)), given);
  EXPECT_EQ(destroy(spectrum), 1u);
  EXPECT_EQ(live_counts(), before);
}

// ---------------------------------------------------------------------------
// Path, name and sub-spectra

TEST_F(Accessors, PathIsSetAndReadBack) {
  AP7_SPECTRUM* spectrum = make(1);
  const std::string longest(259, 'p');
  EXPECT_EQ(send(AP7_MSG_SET_PATH, spectrum, const_cast<char*>(longest.c_str())), 1u);
  char buffer[AP7_TEXT_FIELD] = {};
  EXPECT_EQ(send(AP7_MSG_GET_PATH, spectrum, buffer), 1u);
  EXPECT_EQ(std::string(buffer), longest);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(Accessors, APathLongerThanItsFieldIsRefusedWhole) {
  AP7_SPECTRUM* spectrum = make(1);
  std::strcpy(spectrum->path, "kept.spa");
  const std::string too_long(260, 'p');
  EXPECT_EQ(send(AP7_MSG_SET_PATH, spectrum, const_cast<char*>(too_long.c_str())), 0u);
  EXPECT_STREQ(spectrum->path, "kept.spa");
  EXPECT_EQ(send(AP7_MSG_SET_PATH, spectrum, nullptr), 0u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(Accessors, AnUnterminatedPathGoesOutCutAndTerminated) {
  AP7_SPECTRUM* spectrum = make(1);
  std::memset(spectrum->path, 'q', sizeof spectrum->path);
  char buffer[AP7_TEXT_FIELD + 8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(send(AP7_MSG_GET_PATH, spectrum, buffer), 1u);
  EXPECT_EQ(std::string(buffer), std::string(259, 'q'));
  spectrum->path[0] = '\0';
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(Accessors, NameAndSubSpectraAreHandedOut) {
  AP7_SPECTRUM* spectrum = make(1);
  std::strcpy(spectrum->name, "background.spa;3");
  spectrum->subSpectrumA = make(2);
  char name[AP7_TEXT_FIELD] = {};
  AP7_SPECTRUM* sub_a = nullptr;
  AP7_SPECTRUM* sub_b = reinterpret_cast<AP7_SPECTRUM*>(0x1);
  AP7_GETNAMEPARM parameter{name, &sub_a, &sub_b};
  EXPECT_EQ(send(AP7_MSG_GET_NAME, spectrum, &parameter), 1u);
  EXPECT_STREQ(name, "background.spa;3");
  EXPECT_EQ(sub_a, packed(spectrum->subSpectrumA));
  EXPECT_EQ(sub_b, nullptr);
  parameter.sub_b = nullptr;
  EXPECT_EQ(send(AP7_MSG_GET_NAME, spectrum, &parameter), 0u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

class SubSpectra : public Accessors {
 protected:
  void SetUp() override {
    Accessors::SetUp();
    before_ = live_counts();
    spectrum_ = make(1);
    std::strcpy(spectrum_->name, "old");
    a_ = spectrum_->subSpectrumA = make(2);
    b_ = spectrum_->subSpectrumB = make(3);
  }
  uint32_t set(const char* name, AP7_SPECTRUM* sub_a, AP7_SPECTRUM* sub_b) {
    AP7_SETNAMEPARM parameter{name, sub_a, sub_b};
    return send(AP7_MSG_SET_NAME, spectrum_, &parameter);
  }
  void finish() {
    EXPECT_EQ(destroy(spectrum_), 1u);
    EXPECT_EQ(live_counts(), before_);
  }

  std::map<uint16_t, uint16_t> before_;
  AP7_SPECTRUM* spectrum_ = nullptr;
  AP7_SPECTRUM* a_ = nullptr;
  AP7_SPECTRUM* b_ = nullptr;
};

TEST_F(SubSpectra, TheCurrentPointersChangeOnlyTheName) {
  EXPECT_EQ(set("new", a_, b_), 1u);
  EXPECT_STREQ(spectrum_->name, "new");
  EXPECT_EQ(packed(spectrum_->subSpectrumA), a_);
  EXPECT_EQ(packed(spectrum_->subSpectrumB), b_);
  EXPECT_EQ(spectrum_class().live, 3u);
  finish();
}

TEST_F(SubSpectra, NullPointersDeleteBothAndANullNameKeepsTheName) {
  EXPECT_EQ(set(nullptr, nullptr, nullptr), 1u);
  EXPECT_STREQ(spectrum_->name, "old");
  EXPECT_EQ(packed(spectrum_->subSpectrumA), nullptr);
  EXPECT_EQ(packed(spectrum_->subSpectrumB), nullptr);
  EXPECT_EQ(spectrum_class().live, 1u);
  finish();
}

TEST_F(SubSpectra, ExchangedPointersKeepBoth) {
  EXPECT_EQ(set(nullptr, b_, a_), 1u);
  EXPECT_EQ(packed(spectrum_->subSpectrumA), b_);
  EXPECT_EQ(packed(spectrum_->subSpectrumB), a_);
  EXPECT_EQ(values(spectrum_->subSpectrumA).size(), 3u);
  finish();
}

TEST_F(SubSpectra, ANewOneReplacesAndDeletesTheCurrent) {
  AP7_SPECTRUM* fresh = make(4);
  EXPECT_EQ(set(nullptr, fresh, b_), 1u);
  EXPECT_EQ(packed(spectrum_->subSpectrumA), fresh);
  EXPECT_EQ(spectrum_class().live, 3u);
  finish();
}

TEST_F(SubSpectra, WhatCannotBeOwnedOnceIsRefusedBeforeAnythingChanges) {
  AP7_SPECTRUM* fresh = make(4);
  AP48_TEXT* text = new_text("no spectrum");
  const std::string too_long(260, 'n');
  EXPECT_EQ(set("x", spectrum_, nullptr), 0u);
  EXPECT_EQ(set("x", fresh, fresh), 0u);
  EXPECT_EQ(set("x", reinterpret_cast<AP7_SPECTRUM*>(text), nullptr), 0u);
  EXPECT_EQ(set(too_long.c_str(), nullptr, nullptr), 0u);
  EXPECT_STREQ(spectrum_->name, "old");
  EXPECT_EQ(packed(spectrum_->subSpectrumA), a_);
  EXPECT_EQ(packed(spectrum_->subSpectrumB), b_);
  EXPECT_EQ(destroy(fresh), 1u);
  EXPECT_EQ(destroy(text), 1u);
  finish();
}

// ---------------------------------------------------------------------------
// Data handle and address

GU3_HANDLE block_of(const std::vector<float>& y) {
  GU3_HANDLE block = GU3_Allocate_MM(static_cast<uint32_t>(y.size()), sizeof(float), GU3_KIND_GLOBAL);
  auto* data = static_cast<float*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  for (size_t i = 0; i < y.size(); ++i) data[i] = y[i];
  return block;
}

TEST_F(Accessors, DataHandleAndAddressAreTheSpectrumsOwn) {
  AP7_SPECTRUM* spectrum = make_ramp(3, 0.0f, 2.0f);
  EXPECT_EQ(ap_result_object<GU3_DESCRIPTOR>(send(AP7_MSG_GET_DATA_HANDLE, spectrum)), packed(spectrum->data->data));
  auto* address = ap_result_object<float>(send(AP7_MSG_DATA_POINTER, spectrum));
  ASSERT_NE(address, nullptr);
  EXPECT_EQ(address[2], 3.0f);
  AP4_ARRAY* data = spectrum->data;
  spectrum->data = nullptr;
  EXPECT_EQ(send(AP7_MSG_DATA_POINTER, spectrum), 0u);
  EXPECT_EQ(send(AP7_MSG_GET_DATA_HANDLE, spectrum), 0u);
  spectrum->data = data;
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(Accessors, SettingTheDataHandleAdoptsTheBlockWithItsAxis) {
  AP7_SPECTRUM* spectrum = make_ramp(3, 0.0f, 2.0f);
  GU3_HANDLE block = block_of({5, 6, 7, 8});
  AP7_DATAHANDLEPARM parameter{100.0f, 130.0f, 4, block};
  EXPECT_EQ(send(AP7_MSG_SET_DATA_HANDLE, spectrum, &parameter), 1u);
  EXPECT_EQ(packed(spectrum->data->data), block);
  EXPECT_EQ(packed(spectrum->data->rows), 1u);
  EXPECT_EQ(packed(spectrum->data->columns), 4u);
  EXPECT_EQ(values(spectrum), (std::vector<float>{5, 6, 7, 8}));
  EXPECT_EQ(packed(record(spectrum).points), 4u);
  EXPECT_EQ(packed(record(spectrum).first_x), 100.0f);
  EXPECT_EQ(packed(record(spectrum).last_x), 130.0f);
  // The spectrum's own block again, now for fewer points.
  parameter.count = 2;
  EXPECT_EQ(send(AP7_MSG_SET_DATA_HANDLE, spectrum, &parameter), 1u);
  EXPECT_EQ(values(spectrum), (std::vector<float>{5, 6}));
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(Accessors, ABlockSmallerThanItsCountIsNotAdopted) {
  AP7_SPECTRUM* spectrum = make_ramp(3, 0.0f, 2.0f);
  GU3_HANDLE old = spectrum->data->data;
  GU3_HANDLE block = block_of({5, 6});
  for (uint32_t count : {3u, 0u}) {
    AP7_DATAHANDLEPARM parameter{100.0f, 130.0f, count, block};
    EXPECT_EQ(send(AP7_MSG_SET_DATA_HANDLE, spectrum, &parameter), 0u);
  }
  AP7_DATAHANDLEPARM none{100.0f, 130.0f, 1, nullptr};
  EXPECT_EQ(send(AP7_MSG_SET_DATA_HANDLE, spectrum, &none), 0u);
  EXPECT_EQ(packed(spectrum->data->data), old);
  EXPECT_EQ(values(spectrum), (std::vector<float>{1, 2, 3}));
  EXPECT_EQ(packed(record(spectrum).points), 3u);
  EXPECT_EQ(packed(record(spectrum).first_x), 0.0f);
  EXPECT_EQ(GU3_Free_MM(block), 1u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(Accessors, AnOldBlockThatCannotBeFreedLeavesDataAndHeader) {
  AP7_SPECTRUM* spectrum = make_ramp(3, 0.0f, 2.0f);
  GU3_HANDLE block = block_of({5, 6, 7, 8});
  GU3_HANDLE own = spectrum->data->data;
  // A locked block cannot be freed.
  own->lock_count = 1;
  AP7_DATAHANDLEPARM parameter{100.0f, 130.0f, 4, block};
  EXPECT_EQ(send(AP7_MSG_SET_DATA_HANDLE, spectrum, &parameter), 0u);
  own->lock_count = 0;
  EXPECT_EQ(packed(spectrum->data->data), own);
  EXPECT_EQ(values(spectrum), (std::vector<float>{1, 2, 3}));
  EXPECT_EQ(packed(record(spectrum).points), 3u);
  EXPECT_EQ(packed(record(spectrum).first_x), 0.0f);
  EXPECT_EQ(packed(record(spectrum).last_x), 2.0f);
  EXPECT_EQ(GU3_Free_MM(block), 1u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

// ---------------------------------------------------------------------------
// Title

TEST_F(Accessors, TitleIsSetAndReadBack) {
  AP7_SPECTRUM* spectrum = make(1);
  const std::string longest(255, 't');
  EXPECT_EQ(send(AP7_MSG_SET_TITLE, spectrum, const_cast<char*>(longest.c_str())), 1u);
  char buffer[AP7_TITLE_FIELD] = {};
  EXPECT_EQ(send(AP7_MSG_GET_TITLE, spectrum, buffer), 1u);
  EXPECT_EQ(std::string(buffer), longest);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(Accessors, ALongerTitleIsStoredCutAnsweredZeroAndTheCallersTextStaysWhole) {
  AP7_SPECTRUM* spectrum = make(1);
  std::string text(300, 'u');
  text[255] = 'v';
  const std::string original = text;
  EXPECT_EQ(send(AP7_MSG_SET_TITLE, spectrum, text.data()), 0u);
  EXPECT_EQ(std::string(record(spectrum).title), std::string(255, 'u'));
  EXPECT_EQ(text, original);
  EXPECT_EQ(destroy(spectrum), 1u);
}

// ---------------------------------------------------------------------------
// The class

TEST_F(Accessors, TerminationFreesBothHeapsOfTheClassOnly) {
  EXPECT_EQ(ap7b_TermClass(AP4_CLASS_ID), 0u);
  ASSERT_NE(packed(spectrum_class().instance_heap), nullptr);
  ASSERT_NE(packed(spectrum_class().data_block), nullptr);
  EXPECT_EQ(ap7b_TermClass(AP7_CLASS_ID), 1u);
  EXPECT_EQ(packed(spectrum_class().instance_heap), nullptr);
  EXPECT_EQ(packed(spectrum_class().data_block), nullptr);
  EXPECT_EQ(ap7b_TermClass(AP7_CLASS_ID), 0u);
}

}  // namespace
