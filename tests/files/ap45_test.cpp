#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "files/spectrum_files_fixture.h"
#include "spectrum/spectrum.h"

namespace {

using filetest::Entry;
using filetest::native_file;
using filetest::put16;
using filetest::Section;
using spfiletest::SpectrumFiles;

constexpr size_t kTitleAt = 30;
constexpr size_t kFileTypeAt = 288;

class SingleSpectrumFormat : public SpectrumFiles {
 protected:
  // The format object of a spectrum-file object opened read-only on the bytes.
  AP_OBJECT* open_format(const std::string& bytes) {
    testsupport::write_file("a.spa", bytes);
    spectrum_file_ = named_spectrum_file(path("a.spa"));
    EXPECT_EQ(open(spectrum_file_, AP20_MODE_READ, AP45_CLASS_ID).result, 1u);
    return spectrum_file_->format;
  }
  AP21_SPECTRUM_FILE* spectrum_file_ = nullptr;
};

// ---------------------------------------------------------------------------
// The object

TEST_F(SingleSpectrumFormat, BelongsToItsOwnerAndReachesTheOwnersFilePart) {
  AP_OBJECT* format = open_format(empty_spectrum_file());
  ASSERT_NE(format, nullptr);
  EXPECT_EQ(format->class_id, AP45_CLASS_ID);
  const AP_OBJECT* owner = format->parent;
  EXPECT_EQ(owner, &spectrum_file_->head);
  EXPECT_EQ(ap20_FindFile(format), ap20_file(spectrum_file_->head.parent));
  EXPECT_EQ(send(AP_MSG_SIZE, format), 8u);
  EXPECT_EQ(send(AP_MSG_WRITE, format, ap20_file(spectrum_file_->head.parent)), 1u) << "it saves nothing of its own";
  EXPECT_EQ(send(AP20_MSG_FILE_SIZE, format), empty_spectrum_file().size());
  char name[64] = {};
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, format, name), 1u);
  EXPECT_EQ(std::string(name), "AP45_COMBINED_FILE");
}

TEST_F(SingleSpectrumFormat, NeedsAnOwner) {
  uint16_t class_id = AP45_CLASS_ID;
  EXPECT_EQ(send(AP_MSG_NEW, &class_id, nullptr), 0u);
  EXPECT_EQ(APX_GetClassTable()->classes[AP45_CLASS_ID].live, 0);
}

TEST_F(SingleSpectrumFormat, DeleteGoesToTheOwner) {
  AP_OBJECT* format = open_format(empty_spectrum_file());
  EXPECT_EQ(send(AP21_MSG_DELETE, format), 1u);
  EXPECT_FALSE(testsupport::file_exists(path("a.spa")));
  EXPECT_EQ(spectrum_file_->format, nullptr);
}

// ---------------------------------------------------------------------------
// Format test

std::string with_file_type(std::string bytes, uint16_t file_type) {
  put16(bytes, kFileTypeAt, file_type);
  return bytes;
}

std::string with_byte(std::string bytes, size_t at, char value) {
  bytes[at] = value;
  return bytes;
}

std::string lower_case_magic(std::string bytes) {
  for (size_t at = 0; at < 18; ++at) bytes[at] = static_cast<char>(std::tolower(static_cast<unsigned char>(bytes[at])));
  return bytes;
}

struct FormatCase {
  const char* name;
  std::string bytes;
  uint32_t answer;
};

const FormatCase kFormatCases[] = {
    {"SingleSpectrum", native_file(1, 1, {}), 1},
    {"GroupFile", native_file(10, 1, {}), 0},
    {"MagicInOtherCase", lower_case_magic(native_file(1, 1, {})), 1},
    {"MagicNotEndedAtByte20", with_byte(native_file(1, 1, {}), 20, 'x'), 0},
    {"OtherMagic", with_byte(native_file(1, 1, {}), 0, 'Q'), 0},
    {"OtherFileType", with_file_type(native_file(1, 1, {}), 2), 0},
    {"CutBeforeTheFileType", native_file(1, 1, {}).substr(0, 288), 0},
    {"CutInTheMagic", std::string("Spectral Data"), 0},
    {"Empty", std::string(), 0},
};

class FormatTest : public SingleSpectrumFormat, public testing::WithParamInterface<FormatCase> {};

TEST_P(FormatTest, TellsASingleSpectrumFile) {
  AP_OBJECT* format = open_format(GetParam().bytes);
  ASSERT_NE(format, nullptr);
  EXPECT_EQ(send(AP21_FORMAT_TEST, format), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(Cases, FormatTest, testing::ValuesIn(kFormatCases),
                         [](const testing::TestParamInfo<FormatCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Title of the file header

std::string with_title(std::string bytes, const std::string& title) {
  bytes.replace(kTitleAt, title.size(), title);
  return bytes;
}

TEST_F(SingleSpectrumFormat, TitleComesFromTheFileHeaderAndThePositionStays) {
  AP_OBJECT* format = open_format(with_title(empty_spectrum_file(), "polystyrene film"));
  AP20_SEEKPARM seek{100, 0};
  ASSERT_EQ(send(AP20_MSG_SEEK, format, &seek), 1u);
  char title[256];
  std::memset(title, 'x', sizeof title);
  EXPECT_EQ(send(AP21_FORMAT_TITLE, format, title), 1u);
  EXPECT_EQ(std::string(title), "polystyrene film");
  EXPECT_EQ(send(AP20_MSG_POSITION, format), 100u);
  EXPECT_EQ(send(AP21_MSG_TITLE, spectrum_file_, title), 1u) << "the spectrum-file object asks its format object";
}

TEST_F(SingleSpectrumFormat, TitleFieldWithoutNulReadsAsItsFirst255Characters) {
  AP_OBJECT* format = open_format(with_title(empty_spectrum_file(), std::string(256, 'T')));
  char title[256];
  EXPECT_EQ(send(AP21_FORMAT_TITLE, format, title), 1u);
  EXPECT_EQ(std::string(title), std::string(255, 'T'));
}

TEST_F(SingleSpectrumFormat, TitleOfAFileCutShortIsRefused) {
  AP_OBJECT* format = open_format(empty_spectrum_file().substr(0, 200));
  char title[256] = "kept";
  EXPECT_EQ(send(AP21_FORMAT_TITLE, format, title), 0u);
}

// ---------------------------------------------------------------------------
// Header conversion with the title

class HeaderConversion : public SingleSpectrumFormat {
 protected:
  void SetUp() override {
    SingleSpectrumFormat::SetUp();
    header_ = reinterpret_cast<AP41_SPECTRALHEADER*>(ap2_New_OBJ(AP41_CLASS_ID, nullptr));
    format_ = open_format(empty_spectrum_file());
  }
  void TearDown() override {
    AP_WINDOWPARM none{nullptr, 0};
    send(AP_MSG_DESTROY, header_, &none);
    SingleSpectrumFormat::TearDown();
  }
  uint32_t convert(uint16_t direction) {
    AP20_HEADERMAPPARM parameter{header_, reinterpret_cast<AP20_FILEHEADER*>(&file_header_[0]),
                                 reinterpret_cast<AP20_HEADERBLOCK*>(&block_[0]),
                                 reinterpret_cast<AP20_HEADEREXTENSION*>(&extension_[0]), direction};
    return send(AP20_MSG_MAP_HEADER, format_, &parameter);
  }
  AP41_SPECTRALHEADER* header_ = nullptr;
  AP_OBJECT* format_ = nullptr;
  std::string file_header_ = std::string(304, '\0');
  std::string block_ = std::string(140, '\0');
  std::string extension_ = std::string(56, '\0');
};

TEST_F(HeaderConversion, WritesTheTitleIntoTheFileHeader) {
  ASSERT_EQ(GU2_SetParmValue_MSG(header_, AP41_TITLE, const_cast<char*>("KBr pellet")), 1);
  file_header_.replace(kTitleAt, 20, std::string(20, 'z'));
  ASSERT_EQ(convert(AP20_HEADER_TO_BLOCKS), 1u);
  EXPECT_EQ(file_header_.substr(kTitleAt, 256), std::string("KBr pellet") + std::string(246, '\0'));
  EXPECT_EQ(filetest::get32(block_, 0), 3u) << "the header blocks are filled too";
}

TEST_F(HeaderConversion, ReadsTheTitleFromTheFileHeaderCutTo255Characters) {
  file_header_.replace(kTitleAt, 256, std::string(256, 'T'));
  ASSERT_EQ(convert(AP20_BLOCKS_TO_HEADER), 1u);
  EXPECT_EQ(std::string(header_->data.title), std::string(255, 'T'));
}

TEST_F(HeaderConversion, FailedConversionLeavesTheTitle) {
  ASSERT_EQ(GU2_SetParmValue_MSG(header_, AP41_TITLE, const_cast<char*>("kept")), 1);
  file_header_.replace(kTitleAt, 5, "other");
  AP20_HEADERMAPPARM parameter{header_, reinterpret_cast<AP20_FILEHEADER*>(&file_header_[0]), nullptr,
                               reinterpret_cast<AP20_HEADEREXTENSION*>(&extension_[0]), AP20_BLOCKS_TO_HEADER};
  EXPECT_EQ(send(AP20_MSG_MAP_HEADER, format_, &parameter), 0u);
  EXPECT_EQ(std::string(header_->data.title), "kept");
}

// ---------------------------------------------------------------------------
// Stored interferograms

TEST_F(SingleSpectrumFormat, TellsWhichStoredInterferogramTheFileHolds) {
  const uint32_t start = 304 + 256;
  AP_OBJECT* format = open_format(native_file(
      1, 1,
      {Section{Entry{2, start, 140, 0, 0}, std::string(140, '\0')},
       Section{Entry{100, start + 140, 24, 0, 0}, std::string(24, '\0')}}));
  uint32_t stored = 77;
  AP21_HASIFGPARM sample{AP21_SAMPLE, &stored};
  EXPECT_EQ(send(AP21_FORMAT_HAS_INTERFEROGRAM, format, &sample), 1u);
  EXPECT_EQ(stored, 0u);
  AP21_HASIFGPARM background{AP21_BACKGROUND, &stored};
  EXPECT_EQ(send(AP21_FORMAT_HAS_INTERFEROGRAM, format, &background), 0u);
}

}  // namespace
