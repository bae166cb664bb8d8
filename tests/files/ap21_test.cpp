#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "files/spectrum_files_fixture.h"

namespace {

using spfiletest::SpectrumFiles;

constexpr uint16_t kRead = AP20_MODE_READ;
constexpr uint16_t kWrite = AP20_MODE_WRITE;
constexpr uint16_t kCreate = AP20_MODE_CREATE;

// Classes of the detection table that this system leaves without a
// dispatcher, in their probing order (25 before 23), and one that is not on
// the table; the tests install their own format classes there.
constexpr uint16_t kEarlierInTable = 25;
constexpr uint16_t kLaterInTable = 23;
constexpr uint16_t kRegistered = 210;

class SpectrumFileClass : public SpectrumFiles {
 protected:
  static std::string class_name(AP21_SPECTRUM_FILE* spectrum_file) {
    char name[128] = {};
    EXPECT_EQ(send(AP_MSG_CLASS_NAME, spectrum_file, name), 1u);
    return name;
  }
  static uint16_t open_mode(AP21_SPECTRUM_FILE* spectrum_file) {
    return static_cast<uint16_t>(send(AP20_MSG_OPEN_MODE, spectrum_file));
  }
  static uint16_t register_format(uint16_t class_id) {
    AP20_WORDPARM parameter{class_id};
    return static_cast<uint16_t>(send(AP21_MSG_REGISTER_FORMAT, spectrum_file_class(), &parameter));
  }
  static uint16_t* spectrum_file_class() {
    static uint16_t class_id = AP21_CLASS_ID;
    return &class_id;
  }
  const std::string file_ = path("a.spa");
};

// ---------------------------------------------------------------------------
// The object

TEST_F(SpectrumFileClass, OwnsAFilePartWhoseOuterObjectItIs) {
  AP21_SPECTRUM_FILE* spectrum_file = make_spectrum_file();
  ASSERT_NE(spectrum_file, nullptr);
  AP20_FILE* file = ap20_file(spectrum_file->head.parent);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(reinterpret_cast<AP2_OBJECT*>(file->head.parent)->outer, &spectrum_file->head);
  EXPECT_EQ(spectrum_file->format, nullptr);
  EXPECT_EQ(class_name(spectrum_file), "AP21_SPECTRUM_FILE");
  EXPECT_EQ(send(AP_MSG_SIZE, spectrum_file), send(AP_MSG_SIZE, file) + 10);
  EXPECT_EQ(ap20_FindFile(spectrum_file), file);
}

TEST_F(SpectrumFileClass, DestroyingItGivesBackItsPartsAndFormatObject) {
  testsupport::write_file("a.spa", empty_spectrum_file());
  const APX_CLASSREC* classes = APX_GetClassTable()->classes;
  AP21_SPECTRUM_FILE* spectrum_file = named_spectrum_file(file_);
  ASSERT_EQ(open(spectrum_file, kRead, 0).result, 1u);
  EXPECT_EQ(classes[AP21_CLASS_ID].live, 1);
  EXPECT_EQ(classes[AP20_CLASS_ID].live, 1);
  EXPECT_EQ(classes[AP45_CLASS_ID].live, 1);
  destroy(spectrum_file);
  EXPECT_EQ(classes[AP21_CLASS_ID].live, 0);
  EXPECT_EQ(classes[AP20_CLASS_ID].live, 0);
  EXPECT_EQ(classes[AP45_CLASS_ID].live, 0);
}

TEST_F(SpectrumFileClass, NameOfAnOpenNativeFileNamesItsFormat) {
  testsupport::write_file("a.spa", empty_spectrum_file());
  AP21_SPECTRUM_FILE* spectrum_file = named_spectrum_file(file_);
  const auto opened = open(spectrum_file, kRead, 0);
  ASSERT_EQ(opened.result, 1u);
  EXPECT_EQ(opened.class_id, AP45_CLASS_ID);
  EXPECT_EQ(class_name(spectrum_file), "AP21_SPECTRUM_FILE : AP45_COMBINED_FILE");
  EXPECT_EQ(send(AP_MSG_SIZE, spectrum_file), send(AP_MSG_SIZE, ap20_file(spectrum_file->head.parent)) + 8 + 10);
  EXPECT_EQ(close(spectrum_file), 1u);
  EXPECT_EQ(spectrum_file->format, nullptr);
  EXPECT_EQ(class_name(spectrum_file), "AP21_SPECTRUM_FILE");
}

// ---------------------------------------------------------------------------
// Open

TEST_F(SpectrumFileClass, CreateModeOnAnExistingFileOpensItForWriting) {
  testsupport::write_file("a.spa", "old content");
  AP21_SPECTRUM_FILE* spectrum_file = named_spectrum_file(file_);
  const auto opened = open(spectrum_file, kCreate, AP45_CLASS_ID);
  ASSERT_EQ(opened.result, 1u);
  EXPECT_EQ(open_mode(spectrum_file), kWrite);
  close(spectrum_file);
  EXPECT_EQ(testsupport::read_file(file_), "old content") << "the open itself does not truncate";
}

TEST_F(SpectrumFileClass, CreateModeMakesAMissingFile) {
  AP21_SPECTRUM_FILE* spectrum_file = named_spectrum_file(file_);
  ASSERT_EQ(open(spectrum_file, kCreate, AP45_CLASS_ID).result, 1u);
  EXPECT_EQ(open_mode(spectrum_file), kCreate);
  EXPECT_TRUE(testsupport::file_exists(file_));
}

TEST_F(SpectrumFileClass, XYPairsFileIsAlwaysCreatedAnew) {
  install_format(AP21_FORMAT_XYPAIRS, 0);
  testsupport::write_file("a.txt", "1,2\n3,4\n");
  AP21_SPECTRUM_FILE* spectrum_file = named_spectrum_file(path("a.txt"));
  ASSERT_EQ(open(spectrum_file, kWrite, AP21_FORMAT_XYPAIRS).result, 1u);
  EXPECT_EQ(open_mode(spectrum_file), kCreate);
  close(spectrum_file);
  EXPECT_EQ(testsupport::read_file(path("a.txt")), "");
}

struct RefusedOpen {
  const char* name;
  uint16_t mode;
  uint16_t class_id;
  bool file_exists;
  uint16_t code;
};

const RefusedOpen kRefusedOpens[] = {
    {"WriteWithoutAClass", kWrite, 0, true, AP21_NO_CLASS},
    {"CreateWithoutAClass", kCreate, 0, false, AP21_NO_CLASS},
    {"ClassNotAccepted", kRead, 30, true, AP21_NOT_RECOGNISED},
    {"AcceptedClassWithoutDispatcher", kRead, 24, true, AP21_OPEN_FAILED},
    {"MissingFileNamedClass", kRead, AP45_CLASS_ID, false, AP21_OPEN_FAILED},
    {"MissingFileDetected", kRead, 0, false, AP21_NO_FILE},
};

class RefusedOpens : public SpectrumFileClass, public testing::WithParamInterface<RefusedOpen> {};

TEST_P(RefusedOpens, AnswerTheirCodeAndLeaveTheFileAlone) {
  const RefusedOpen& c = GetParam();
  if (c.file_exists) testsupport::write_file("a.spa", "content");
  AP21_SPECTRUM_FILE* spectrum_file = named_spectrum_file(file_);
  const auto opened = open(spectrum_file, c.mode, c.class_id);
  EXPECT_EQ(opened.result, 0u);
  EXPECT_EQ(opened.code, c.code);
  EXPECT_EQ(spectrum_file->format, nullptr);
  EXPECT_EQ(send(AP20_MSG_IS_OPEN, spectrum_file), 0u);
  EXPECT_EQ(testsupport::file_exists(file_), c.file_exists);
  if (c.file_exists) {
    EXPECT_EQ(testsupport::read_file(file_), "content");
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusedOpens, testing::ValuesIn(kRefusedOpens),
                         [](const testing::TestParamInfo<RefusedOpen>& info) { return info.param.name; });

TEST_F(SpectrumFileClass, FormatObjectThatCannotBeMadeClosesTheFileAgain) {
  install_format(kEarlierInTable, 1, false);
  testsupport::write_file("a.spa", "content");
  AP21_SPECTRUM_FILE* spectrum_file = named_spectrum_file(file_);
  const auto opened = open(spectrum_file, kRead, kEarlierInTable);
  EXPECT_EQ(opened.result, 0u);
  EXPECT_EQ(opened.code, AP21_OPEN_FAILED);
  EXPECT_EQ(send(AP20_MSG_IS_OPEN, spectrum_file), 0u);
}

TEST_F(SpectrumFileClass, RegisteredClassIsAccepted) {
  install_format(kRegistered, 0);
  testsupport::write_file("a.spa", "content");
  AP21_SPECTRUM_FILE* spectrum_file = named_spectrum_file(file_);
  EXPECT_EQ(open(spectrum_file, kRead, kRegistered).code, AP21_NOT_RECOGNISED);
  ASSERT_EQ(register_format(kRegistered), 1);
  EXPECT_EQ(open(spectrum_file, kRead, kRegistered).result, 1u);
}

TEST_F(SpectrumFileClass, OpenWithDetectionOpensAsTheClassFound) {
  install_format(kLaterInTable, AP21_FORMAT_MINE);
  testsupport::write_file("a.spa", "not native");
  AP21_SPECTRUM_FILE* spectrum_file = named_spectrum_file(file_);
  const auto opened = open(spectrum_file, kRead, 0);
  ASSERT_EQ(opened.result, 1u);
  EXPECT_EQ(opened.class_id, kLaterInTable);
  ASSERT_NE(spectrum_file->format, nullptr);
  EXPECT_EQ(spectrum_file->format->class_id, kLaterInTable);
  EXPECT_EQ(reinterpret_cast<spfiletest::TestFormat*>(spectrum_file->format)->owner, &spectrum_file->head);
}

// ---------------------------------------------------------------------------
// Detection

TEST_F(SpectrumFileClass, DetectionFindsTheNativeFormatAndLeavesTheObjectClosed) {
  testsupport::write_file("a.spa", empty_spectrum_file());
  AP21_SPECTRUM_FILE* spectrum_file = named_spectrum_file(file_);
  const auto detected = detect(spectrum_file);
  EXPECT_EQ(detected.result, 1u);
  EXPECT_EQ(detected.class_id, AP45_CLASS_ID);
  EXPECT_EQ(spectrum_file->format, nullptr);
  EXPECT_EQ(send(AP20_MSG_IS_OPEN, spectrum_file), 0u);
}

TEST_F(SpectrumFileClass, OnlyAMaybeGivesNoClassWithTheMaybeClass) {
  install_format(kLaterInTable, AP21_FORMAT_MAYBE);
  testsupport::write_file("a.spa", "not native");
  const auto detected = detect(named_spectrum_file(file_));
  EXPECT_EQ(detected.result, 0u);
  EXPECT_EQ(detected.code, AP21_NO_CLASS);
  EXPECT_EQ(detected.class_id, kLaterInTable);
}

TEST_F(SpectrumFileClass, TheEarlierOfTwoMaybesInProbingOrderWins) {
  install_format(kLaterInTable, AP21_FORMAT_MAYBE);
  install_format(kEarlierInTable, AP21_FORMAT_MAYBE);
  testsupport::write_file("a.spa", "not native");
  const auto detected = detect(named_spectrum_file(file_));
  EXPECT_EQ(detected.code, AP21_NO_CLASS);
  EXPECT_EQ(detected.class_id, kEarlierInTable);
}

TEST_F(SpectrumFileClass, AClassThatAcceptsWinsOverAnEarlierMaybe) {
  install_format(kEarlierInTable, AP21_FORMAT_MAYBE);
  install_format(kLaterInTable, AP21_FORMAT_MINE);
  testsupport::write_file("a.spa", "not native");
  const auto detected = detect(named_spectrum_file(file_));
  EXPECT_EQ(detected.result, 1u);
  EXPECT_EQ(detected.class_id, kLaterInTable);
}

TEST_F(SpectrumFileClass, RegisteredClassesAreProbedAfterTheTable) {
  spfiletest::TestFormatClass& registered = install_format(kRegistered, AP21_FORMAT_MINE);
  spfiletest::TestFormatClass& table = install_format(kLaterInTable, AP21_FORMAT_MAYBE);
  ASSERT_EQ(register_format(kRegistered), 1);
  testsupport::write_file("a.spa", "not native");
  const auto detected = detect(named_spectrum_file(file_));
  EXPECT_EQ(detected.result, 1u);
  EXPECT_EQ(detected.class_id, kRegistered);
  EXPECT_EQ(table.tests, 1);
  EXPECT_EQ(registered.tests, 1);
}

TEST_F(SpectrumFileClass, NoClassRecognisingTheFileGivesNotRecognised) {
  testsupport::write_file("a.spa", "not native");
  const auto detected = detect(named_spectrum_file(file_));
  EXPECT_EQ(detected.result, 0u);
  EXPECT_EQ(detected.code, AP21_NOT_RECOGNISED);
  EXPECT_EQ(detected.class_id, 0);
}

TEST_F(SpectrumFileClass, AFailedProbeOpenStopsTheDetection) {
  install_format(kEarlierInTable, AP21_FORMAT_MINE, false);
  spfiletest::TestFormatClass& later = install_format(kLaterInTable, AP21_FORMAT_MINE);
  testsupport::write_file("a.spa", "not native");
  const auto detected = detect(named_spectrum_file(file_));
  EXPECT_EQ(detected.result, 0u);
  EXPECT_EQ(detected.code, AP21_OPEN_FAILED);
  EXPECT_EQ(detected.class_id, 0);
  EXPECT_EQ(later.tests, 0);
}

// ---------------------------------------------------------------------------
// Delete and the file messages

TEST_F(SpectrumFileClass, DeleteRemovesTheFileAndTheFormatObject) {
  testsupport::write_file("a.spa", empty_spectrum_file());
  AP21_SPECTRUM_FILE* spectrum_file = named_spectrum_file(file_);
  ASSERT_EQ(open(spectrum_file, kRead, 0).result, 1u);
  EXPECT_EQ(send(AP21_MSG_DELETE, spectrum_file), 1u);
  EXPECT_FALSE(testsupport::file_exists(file_));
  EXPECT_EQ(spectrum_file->format, nullptr);
  EXPECT_EQ(APX_GetClassTable()->classes[AP45_CLASS_ID].live, 0);
}

TEST_F(SpectrumFileClass, FileMessagesGoToTheFilePart) {
  testsupport::write_file("a.spa", "0123456789");
  AP21_SPECTRUM_FILE* spectrum_file = named_spectrum_file(file_);
  char name[AP20_NAME_SIZE] = {};
  EXPECT_EQ(send(AP20_MSG_GET_NAME, spectrum_file, name), 1u);
  EXPECT_EQ(std::string(name), file_);
  EXPECT_EQ(send(AP20_MSG_FILE_SIZE, spectrum_file), 10u);
  AP20_WORDPARM code{5001};
  EXPECT_EQ(send(AP20_MSG_SET_ERROR, spectrum_file, &code), 1u);
  EXPECT_EQ(send(AP20_MSG_LAST_ERROR, spectrum_file), 5001u);
  EXPECT_EQ(send(AP20_MSG_CLASS_ERROR, spectrum_file), 5001u);
}

}  // namespace
