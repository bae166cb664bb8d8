#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "files/spectrum_files_fixture.h"

namespace {

using spfiletest::SpectrumFiles;

constexpr uint16_t kRead = AP20_MODE_READ;
constexpr uint16_t kWrite = AP20_MODE_WRITE;
constexpr uint16_t kCreate = AP20_MODE_CREATE;

// Classes of the detection table that this system leaves without a
// dispatcher, in their probing order (24 before 22), and one that is not on
// the table; the tests install their own format classes there.
constexpr uint16_t kEarlierInTable = 24;
constexpr uint16_t kLaterInTable = 22;
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
  EXPECT_EQ(packed(spectrum_file->format), nullptr);
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
  EXPECT_EQ(packed(spectrum_file->format), nullptr);
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
  EXPECT_EQ(packed(spectrum_file->format), nullptr);
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
  ASSERT_NE(packed(spectrum_file->format), nullptr);
  EXPECT_EQ(packed(spectrum_file->format->class_id), kLaterInTable);
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
  EXPECT_EQ(packed(spectrum_file->format), nullptr);
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
  EXPECT_EQ(packed(spectrum_file->format), nullptr);
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

// A spectrum-file or group-file object open as a native format, and that
// format object, answer the file class's queries as the file part would;
// a file message outside those passed on (close, 47) does not reach the
// file part through the format object.
TEST_F(SpectrumFileClass, PairedObjectsAndTheirFormatObjectsPassFileQueriesToTheFilePart) {
  struct Paired {
    const char* what;
    uint16_t file_class;
    uint16_t format_class;
    uint16_t file_type;
  };
  const Paired cases[] = {
      {"single spectrum", AP21_CLASS_ID, AP45_CLASS_ID, AP20_FILE_SPECTRUM},
      {"group", AP51_CLASS_ID, AP52_CLASS_ID, AP20_FILE_GROUP},
  };
  for (const Paired& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string bytes = filetest::native_file(c.file_type, 2, {});
    testsupport::write_file("a.spa", bytes);
    uint16_t class_id = c.file_class;
    AP_NEWPARM fresh{c.file_class, nullptr};
    auto* paired = ap_result_object<AP_OBJECT>(send(AP_MSG_NEW, &class_id, &fresh));
    ASSERT_NE(paired, nullptr);
    AP20_NAMEPARM naming{nullptr, file_.c_str()};
    ASSERT_EQ(send(AP20_MSG_SET_NAME, paired, &naming), 1u);
    ASSERT_EQ(open(paired, kRead, c.format_class).result, 1u);
    // Both classes keep the format object in the field after their head.
    AP_OBJECT* format = packed(reinterpret_cast<AP21_SPECTRUM_FILE*>(paired)->format);
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(packed(format->class_id), c.format_class);
    for (AP_OBJECT* object : {paired, format}) {
      EXPECT_EQ(send(AP20_MSG_IS_OPEN, object), 1u);
      EXPECT_EQ(send(AP20_MSG_OPEN_MODE, object), kRead);
      EXPECT_EQ(send(AP20_MSG_FILE_SIZE, object), bytes.size());
      AP20_SEEKPARM seek{100, FILE_BEGIN};
      EXPECT_EQ(send(AP20_MSG_SEEK, object, &seek), 1u);
      EXPECT_EQ(send(AP20_MSG_POSITION, object), 100u);
      EXPECT_EQ(send(AP20_MSG_REWIND, object), 1u);
      EXPECT_EQ(send(AP20_MSG_POSITION, object), 0u);
      char name[AP20_NAME_SIZE] = {};
      EXPECT_EQ(send(AP20_MSG_GET_NAME, object, name), 1u);
      EXPECT_EQ(std::string(name), file_);
      EXPECT_EQ(send(AP20_MSG_LAST_ERROR, object), 0u);
    }
    EXPECT_EQ(send(AP20_MSG_CLOSE, format), 0u);
    EXPECT_EQ(send(AP20_MSG_IS_OPEN, paired), 1u);
    AP_WINDOWPARM none{nullptr, 0};
    EXPECT_EQ(send(AP_MSG_DESTROY, paired, &none), AP_DESTROYED);
    EXPECT_EQ(APX_GetClassTable()->classes[c.format_class].live, 0);
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Write and read through the class

namespace {

class SpectrumFileSaves : public SpectrumFileClass {
 protected:
  void TearDown() override {
    GU6_DeleteConfig(AP21_DEBUG_SECTION, AP21_DEBUG_COPIES_KEY);
    SpectrumFileClass::TearDown();
  }

  AP7_SPECTRUM* interferogram(float first) {
    return spectrum({first, first + 1, first + 2}, 22, 0.0f, 2.0f);
  }
  // A spectrum carrying a background and a sample interferogram.
  AP7_SPECTRUM* with_interferograms() {
    AP7_SPECTRUM* made = spectrum({1, 2, 3});
    ap7b_SetNameAndSubSpectra(made, nullptr, hand_over(interferogram(10)), hand_over(interferogram(20)));
    return made;
  }

  uint32_t save(AP7_SPECTRUM* saved_spectrum, const std::string& name) {
    AP21_SPECTRUM_FILE* writer = named_spectrum_file(name);
    const auto opened = open(writer, kCreate, AP45_CLASS_ID);
    EXPECT_EQ(opened.result, 1u);
    const uint32_t written = send(AP21_MSG_WRITE, writer, saved_spectrum);
    destroy(writer);
    return written;
  }
  AP7_SPECTRUM* load(const std::string& name) {
    AP21_SPECTRUM_FILE* reader = named_spectrum_file(name);
    EXPECT_EQ(open(reader, kRead, 0).result, 1u);
    AP7_SPECTRUM* read = keep(ap_result_object<AP_OBJECT>(send(AP21_MSG_READ, reader)));
    destroy(reader);
    return read;
  }
  // The stored interferograms of a file, as values; empty when there is none.
  std::vector<float> stored(const std::string& name, uint16_t which) {
    AP21_SPECTRUM_FILE* reader = named_spectrum_file(name);
    EXPECT_EQ(open(reader, kRead, 0).result, 1u);
    AP21_WHICHPARM parameter{which, 0};
    AP7_SPECTRUM* read = keep(ap_result_object<AP_OBJECT>(send(AP21_MSG_READ_INTERFEROGRAM, reader, &parameter)));
    destroy(reader);
    return read != nullptr ? spectrumtest::values(read) : std::vector<float>{};
  }
};

}  // namespace

TEST_F(SpectrumFileSaves, WritingIntoAnExistingFileRewindsAndCutsIt) {
  testsupport::write_file("a.spa", std::string(5000, 'x'));
  ASSERT_EQ(save(spectrum({1, 2}), file_), 1u);
  const std::string written = testsupport::read_file(file_);
  EXPECT_LT(written.size(), 5000u);
  EXPECT_EQ(written.substr(0, 20), "Spectral Data File\r\n");
}

TEST_F(SpectrumFileSaves, ReadGivesASavedSpectrumWithTheFileAsItsPath) {
  ASSERT_EQ(save(spectrum({1, 2}), file_), 1u);
  AP7_SPECTRUM* read = load(file_);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(std::string(read->path), file_);
  EXPECT_EQ(static_cast<int16_t>(send(AP_MSG_GET_CHANGE_STATE, read)), AP2_SAVED);
}

TEST_F(SpectrumFileSaves, StoredInterferogramsTravelToAnotherFileWithTheReference) {
  ASSERT_EQ(save(with_interferograms(), file_), 1u);
  AP7_SPECTRUM* read = load(file_);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(packed(read->subSpectrumA), nullptr) << "the interferograms stay in the file";
  EXPECT_EQ(std::string(read->name), file_);

  const std::string other = path("b.spa");
  ASSERT_EQ(save(read, other), 1u);
  EXPECT_EQ(stored(other, AP21_SAMPLE), std::vector<float>({20, 21, 22}));
  EXPECT_EQ(stored(other, AP21_BACKGROUND), std::vector<float>({10, 11, 12}));
  EXPECT_EQ(std::string(read->name), other) << "the spectrum now refers to the new file";
  EXPECT_EQ(packed(read->subSpectrumA), nullptr) << "the borrowed interferograms are not kept";
}

struct SameFileCase {
  const char* name;
  std::string (*reference)(const std::string& folder);
};

// Names of the very file being written, in forms that differ as text.
const SameFileCase kSameFileCases[] = {
    {"SameName", [](const std::string& folder) { return folder + "/a.spa"; }},
    {"ThroughDotDot", [](const std::string& folder) { return folder + "/sub/../a.spa"; }},
    {"ThroughDot", [](const std::string& folder) { return folder + "/./a.spa"; }},
    {"ThroughALink", [](const std::string& folder) { return folder + "/link.spa"; }},
};

class SameFile : public SpectrumFileSaves, public testing::WithParamInterface<SameFileCase> {};

TEST_P(SameFile, SavingBackKeepsTheStoredInterferograms) {
  ASSERT_EQ(save(with_interferograms(), file_), 1u);
  std::filesystem::create_directory(path("sub"));
  std::filesystem::create_symlink(file_, path("link.spa"));
  AP7_SPECTRUM* read = load(file_);
  ASSERT_NE(read, nullptr);
  const std::string reference = GetParam().reference(testsupport::home());
  ASSERT_EQ(ap7b_SetNameAndSubSpectra(read, reference.c_str(), nullptr, nullptr), 1);
  read->header->data.points = 3;
  ASSERT_EQ(save(read, file_), 1u);
  EXPECT_EQ(stored(file_, AP21_SAMPLE), std::vector<float>({20, 21, 22}));
  EXPECT_EQ(stored(file_, AP21_BACKGROUND), std::vector<float>({10, 11, 12}));
  EXPECT_EQ(std::string(read->name), reference) << "the reference is put back";
  EXPECT_EQ(packed(read->subSpectrumA), nullptr);
  EXPECT_EQ(packed(read->subSpectrumB), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Names, SameFile, testing::ValuesIn(kSameFileCases),
                         [](const testing::TestParamInfo<SameFileCase>& info) { return info.param.name; });

TEST_F(SpectrumFileSaves, SameFileTellsFilesApartByWhatTheyAre) {
  testsupport::write_file("a.spa", "a");
  testsupport::write_file("b.spa", "b");
  std::filesystem::create_directory(path("sub"));
  std::filesystem::create_symlink(file_, path("link.spa"));
  EXPECT_TRUE(ap21_IsSameFile(file_.c_str(), path("sub/../link.spa").c_str()));
  EXPECT_FALSE(ap21_IsSameFile(file_.c_str(), path("b.spa").c_str()));
  EXPECT_FALSE(ap21_IsSameFile(file_.c_str(), path("A.spa").c_str())) << "another name on a file system with cases";
  EXPECT_TRUE(ap21_IsSameFile(path("missing.spa").c_str(), path("sub/../missing.spa").c_str()))
      << "names of no file compare as full paths";
  EXPECT_FALSE(ap21_IsSameFile(file_.c_str(), ""));
}

TEST_F(SpectrumFileSaves, AReferenceToAFileWithoutInterferogramsFailsAfterTheSpectrumIsWritten) {
  ASSERT_EQ(save(spectrum({1, 2}), path("plain.spa")), 1u);
  AP7_SPECTRUM* made = spectrum({1, 2, 3});
  ap7b_SetNameAndSubSpectra(made, path("plain.spa").c_str(), nullptr, nullptr);
  AP21_SPECTRUM_FILE* writer = named_spectrum_file(file_);
  ASSERT_EQ(open(writer, kCreate, AP45_CLASS_ID).result, 1u);
  EXPECT_EQ(send(AP21_MSG_WRITE, writer, made), 0u);
  EXPECT_EQ(send(AP20_MSG_LAST_ERROR, writer), AP20_ERROR_INTERFEROGRAMS);
  EXPECT_EQ(send(AP20_MSG_CLASS_ERROR, writer), AP20_ERROR_INTERFEROGRAMS);
  destroy(writer);
  AP7_SPECTRUM* read = load(file_);
  ASSERT_NE(read, nullptr) << "the spectrum itself is in the file";
  EXPECT_EQ(spectrumtest::values(read), std::vector<float>({1, 2, 3}));
}

TEST_F(SpectrumFileSaves, InterferogramsAreCopiedBesideTheFileWhenTheConfigurationAsks) {
  ASSERT_EQ(GU6_SetConfig(AP21_DEBUG_SECTION, AP21_DEBUG_COPIES_KEY, "1"), 1);
  ASSERT_EQ(save(with_interferograms(), file_), 1u);
  AP7_SPECTRUM* background = load(path("a.bkg"));
  AP7_SPECTRUM* sample = load(path("a.smp"));
  ASSERT_NE(background, nullptr);
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(spectrumtest::values(background), std::vector<float>({10, 11, 12}));
  EXPECT_EQ(spectrumtest::values(sample), std::vector<float>({20, 21, 22}));
}

TEST_F(SpectrumFileSaves, WithoutTheConfigurationNoCopiesAreMade) {
  ASSERT_EQ(save(with_interferograms(), file_), 1u);
  EXPECT_FALSE(testsupport::file_exists(path("a.bkg")));
  EXPECT_FALSE(testsupport::file_exists(path("a.smp")));
}

TEST_F(SpectrumFileSaves, WriteWithoutAnOpenFileFails) {
  AP21_SPECTRUM_FILE* writer = named_spectrum_file(file_);
  EXPECT_EQ(send(AP21_MSG_WRITE, writer, spectrum({1})), 0u);
  EXPECT_FALSE(testsupport::file_exists(file_));
}
