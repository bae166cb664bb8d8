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
  EXPECT_EQ(packed(format->class_id), AP45_CLASS_ID);
  EXPECT_EQ(packed(format->parent), &spectrum_file_->head);
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
  EXPECT_EQ(packed(spectrum_file_->format), nullptr);
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

// ---------------------------------------------------------------------------
// A whole spectrum, byte for byte

namespace layout {

using spfiletest::f32;
using spfiletest::padded;
using spfiletest::u16;
using spfiletest::u32;

std::string bits(const std::vector<float>& values) {
  return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(float));
}
float from_bits(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

}  // namespace layout

class WholeSpectrum : public SingleSpectrumFormat {
 protected:
  // A spectrum whose every mapped header parameter has a value of its own.
  AP7_SPECTRUM* known_spectrum() {
    const float missing = AP1_GetNaNSG_MATH();
    const float quiet = layout::from_bits(0x7FC00001);
    AP7_SPECTRUM* made = spectrum({1.5f, missing, -2.25f, quiet, 1e-30f}, 17, 4000.0f, 3996.0f);
    AP41_HEADERDATA& h = made->header->data;
    h.time = 0x5A5A0001;
    h.x_units = 1;
    std::strcpy(h.title, "Polystyrene reference");
    h.BenchID = 30;
    h.DetectorID = 19;      // stored as 41
    h.BeamSplitterID = 10;  // stored as 8
    h.SSP = 2.0f;
    h.ADBits = 18;
    h.HPF = 120.0f;
    h.LPF = 17.0f;
    h.p16 = 16;
    h.p17 = 17;
    h.p18 = 18;
    h.p19 = 19;
    h.Gain = 5.156f;
    h.NumScanPts = 21;
    h.FinalPeakPos = 22;
    h.NumScans = 23;
    h.Velocity = 0.6329f;
    h.Aperture = 25.0f;
    h.p26 = 26;
    h.p27 = 27;
    h.p28 = 28;
    h.LaserFreq = 15798.0f;
    h.p30 = 30.5f;
    h.NumTransformPts = 8192;
    h.BKNumScans = 32;
    h.BKGain = 33.5f;
    h.ApodID = 34;
    h.p35 = 35.5f;
    h.history[0] = 0x00000009;
    h.history[1] = 0x00000100;
    h.Duration = 37;
    h.p38 = 38.5f;
    h.p39 = 39.5f;
    h.p40 = 40;
    h.p41 = 41.5f;
    h.PhaseCorrID = 43;
    h.p44 = 44.5f;
    h.SourceID = 45;
    h.p46 = 46;
    h.NumPostPeakPts = 47;
    h.p48 = 48;
    std::strcpy(h.p49, "sample 49");
    std::strcpy(h.p52, "text 52");
    h.BadScans = 55;
    h.CollectErrorMap = 56;
    h.BKBadScans = 57;
    h.BKCollectErrorMap = 58;
    ap7d_AddHistoryText(made, "Collect Sample\r\n");
    ap7d_AddCommentText(made, "first line\r\nsecond line");
    annotate(made, 8, 3998.0f, 3998.5f, 42.0f, "peak");
    return made;
  }

  // An interferogram of three points whose header holds the descriptor's values.
  AP7_SPECTRUM* interferogram(float scale) {
    AP7_SPECTRUM* made = spectrum({scale, 2 * scale, 3 * scale}, 22, 0.0f, 2.0f);
    AP41_HEADERDATA& h = made->header->data;
    h.NumScans = 16;
    h.p39 = 0.25f;
    h.p30 = 2.0f;
    h.FinalPeakPos = 1;
    h.LaserFreq = 15797.5f;
    return made;
  }

  // The header block of the known spectrum, from the block's layout.
  static std::string expected_header_block() {
    using namespace layout;
    return u32(3) + u32(5) + u32(1) + u32(17) + f32(3996.0f) + f32(4000.0f) + f32(39.5f) + u32(21) + u32(22) +
           u32(23) + f32(30.5f) + u32(8192) + u32(47) + u32(32) + f32(33.5f) + u32(34) + f32(35.5f) + u32(37) +
           f32(38.5f) + u32(43) + f32(15798.0f) + f32(2.0f) + f32(41.5f) + f32(25.0f) + f32(44.5f) + u32(26) +
           u32(27) + u32(28) + u32(46 | 0x8000) + std::string(8, '\0') + u32(55) + u32(57) + u32(56) + u32(58);
  }
  static std::string expected_extension_block() {
    using namespace layout;
    return u32(30) + u32(41) + u32(8) + u32(45) + u32(18) + f32(120.0f) + f32(17.0f) + u32(16) + u32(17) + u32(18) +
           u32(19) + f32(5.156f) + f32(0.6329f) + u32(40);
  }
  static std::string expected_texts() {
    std::string texts(728, '\0');
    texts.replace(0, 9, "sample 49");
    texts.replace(278, 7, "text 52");
    return texts;
  }
  static std::string expected_descriptor(float points) {
    using namespace layout;
    return u32(static_cast<uint32_t>(points)) + u32(16) + f32(0.25f) + f32(2.0f) + u32(1) + f32(15797.5f);
  }

  // The file the layouts give: the header, one directory block, and the
  // sections one after the other from offset 560 in the order given.
  static std::string expected_file(const std::vector<std::pair<uint16_t, std::string>>& sections) {
    std::vector<Section> placed;
    uint32_t offset = 304 + 256;
    for (const auto& [type, bytes] : sections) {
      const std::string stored = layout::padded(bytes);
      placed.push_back(Section{Entry{type, offset, static_cast<uint32_t>(stored.size()), 0, 0}, stored});
      offset += static_cast<uint32_t>(stored.size());
    }
    std::string file = native_file(1, 1, placed);
    file.replace(kTitleAt, 21, "Polystyrene reference");
    filetest::put32(file, 296, 0x5A5A0001);
    filetest::put32(file, 300, 48);
    return file;
  }

  uint32_t save(AP7_SPECTRUM* spectrum_to_save, const std::string& name = "known.spa") {
    AP21_SPECTRUM_FILE* writer = named_spectrum_file(path(name));
    EXPECT_EQ(open(writer, AP20_MODE_CREATE, AP45_CLASS_ID).result, 1u);
    const uint32_t written = send(AP21_MSG_WRITE, writer, spectrum_to_save);
    close(writer);
    return written;
  }

  AP7_SPECTRUM* read_back(const std::string& name = "known.spa") {
    AP21_SPECTRUM_FILE* reader = named_spectrum_file(path(name));
    const auto opened = open(reader, AP20_MODE_READ, 0);
    EXPECT_EQ(opened.result, 1u);
    EXPECT_EQ(opened.class_id, AP45_CLASS_ID) << "found by probing";
    reader_ = reader;
    return keep(ap_result_object<AP_OBJECT>(send(AP21_MSG_READ, reader)));
  }
  AP21_SPECTRUM_FILE* reader_ = nullptr;
};

TEST_F(WholeSpectrum, IsWrittenByteForByteAsTheLayoutsGiveIt) {
  using namespace layout;
  AP7_SPECTRUM* known = known_spectrum();
  ap7b_SetNameAndSubSpectra(known, nullptr, hand_over(interferogram(10.0f)), hand_over(interferogram(1.0f)));
  ASSERT_EQ(save(known), 1u);

  const std::string y = f32(1e-30f) + u32(0x7FC00001) + f32(-2.25f) + u32(0xFFFFFFFF) + f32(1.5f);
  const std::string expected = expected_file({
      {2, expected_header_block()},
      {106, expected_extension_block()},
      {146, expected_texts()},
      {105, u16(2) + u32(9) + u32(0x100)},
      {27, std::string("Collect Sample\r\n") + '\0'},
      {4, std::string("first line\0second line\0\0", 24)},
      {104, u32(1) + u16(0x1008) + f32(3998.0f) + f32(3998.5f) + f32(42.0f) + "peak" + '\0'},
      {3, y},
      {103, f32(10.0f) + f32(20.0f) + f32(30.0f)},
      {101, expected_descriptor(3)},
      {102, f32(1.0f) + f32(2.0f) + f32(3.0f)},
      {100, expected_descriptor(3)},
  });
  const std::string written = testsupport::read_file(path("known.spa"));
  ASSERT_EQ(written.size(), expected.size());
  EXPECT_EQ(written.substr(0, 304), expected.substr(0, 304)) << "file header";
  EXPECT_EQ(written.substr(304, 256), expected.substr(304, 256)) << "directory";
  EXPECT_EQ(written, expected);
}

TEST_F(WholeSpectrum, InterferogramYValuesAreStoredFirstPointFirst) {
  AP7_SPECTRUM* made = interferogram(1.0f);
  ASSERT_EQ(save(made), 1u);
  const std::string written = testsupport::read_file(path("known.spa"));
  for (uint16_t index = 0; index < filetest::get16(written, 294); ++index) {
    const Entry entry = filetest::get_entry(written, index);
    if (entry.type == 3) {
      EXPECT_EQ(written.substr(entry.offset, entry.length), layout::f32(1) + layout::f32(2) + layout::f32(3));
    }
  }
}

TEST_F(WholeSpectrum, ReadsBackAsWritten) {
  AP7_SPECTRUM* known = known_spectrum();
  annotate(known, 8 | 64, 3997.0f, 3997.5f, 43.0f, "pair", 1.0f, 2.0f);
  AP7_SPECTRUM* background = hand_over(interferogram(10.0f));
  AP7_SPECTRUM* sample = hand_over(interferogram(1.0f));
  ap7b_SetNameAndSubSpectra(known, nullptr, background, sample);
  ASSERT_EQ(save(known), 1u);
  EXPECT_EQ(std::string(known->name), path("known.spa")) << "the spectrum now refers to the file written";

  AP7_SPECTRUM* read = read_back();
  ASSERT_NE(read, nullptr);
  // The header comes back whole, but for what reading sets: the record tag,
  // p1, the format version in p42 and bit 15 of p46.
  AP41_HEADERDATA expected = known->header->data;
  const uint8_t tag[4] = {3, 1, 19, 0};
  std::memcpy(expected.tag, tag, 4);
  expected.p1 = 304;
  expected.p42 = 521;
  expected.p46 |= 0x8000;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&read->header->data), sizeof(AP41_HEADERDATA)),
            std::string(reinterpret_cast<const char*>(&expected), sizeof(AP41_HEADERDATA)));
  EXPECT_EQ(layout::bits(spectrumtest::values(read)), layout::bits(spectrumtest::values(known)))
      << "Y values bit for bit, missing values too";
  EXPECT_EQ(spectrumtest::text_of(read->history), "Collect Sample\r\n");
  EXPECT_EQ(spectrumtest::text_of(read->comment), "first line\r\nsecond line");
  EXPECT_EQ(annotations(read), annotations(known));
  EXPECT_EQ(std::string(read->path), path("known.spa"));
  EXPECT_EQ(std::string(read->name), path("known.spa")) << "the name tells where the interferograms are";
  EXPECT_EQ(static_cast<int16_t>(send(AP_MSG_GET_CHANGE_STATE, read)), AP2_SAVED);

  for (const auto& [which, stored] : {std::pair{AP21_SAMPLE, sample}, std::pair{AP21_BACKGROUND, background}}) {
    AP21_WHICHPARM parameter{which, 0};
    AP7_SPECTRUM* again = keep(ap_result_object<AP_OBJECT>(send(AP21_MSG_READ_INTERFEROGRAM, reader_, &parameter)));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(spectrumtest::values(again), spectrumtest::values(stored));
    const AP41_HEADERDATA& h = again->header->data;
    EXPECT_EQ(packed(h.points), 3u);
    EXPECT_EQ(packed(h.NumScans), 16u);
    EXPECT_EQ(packed(h.p39), 0.25f);
    EXPECT_EQ(packed(h.FinalPeakPos), 1u);
    EXPECT_EQ(packed(h.LaserFreq), 15797.5f);
    EXPECT_EQ(packed(h.x_units), 2u);
    EXPECT_EQ(packed(h.y_units), 22u);
    EXPECT_EQ(packed(h.first_x), 0.0f);
    EXPECT_EQ(packed(h.last_x), 2.0f);
    EXPECT_EQ(std::string(h.title), std::string(which == AP21_SAMPLE ? "" : "Bkg ") + "Polystyrene reference");
  }
}

TEST_F(WholeSpectrum, WithoutAnnotationsOrListWritesNeitherSection) {
  AP7_SPECTRUM* made = spectrum({1, 2});
  ASSERT_EQ(save(made), 1u);
  const std::string written = testsupport::read_file(path("known.spa"));
  std::vector<uint16_t> types;
  for (uint16_t index = 0; index < filetest::get16(written, 294); ++index)
    types.push_back(filetest::get_entry(written, index).type);
  EXPECT_EQ(types, std::vector<uint16_t>({2, 106, 105, 3}));
  AP7_SPECTRUM* read = read_back();
  ASSERT_NE(read, nullptr);
  EXPECT_TRUE(annotations(read).empty());
  EXPECT_EQ(spectrumtest::list_count(read->list), 0u);
}

TEST_F(WholeSpectrum, ListMembersBecomeAttachedItemsAndReadBack) {
  AP7_SPECTRUM* made = spectrum({1, 2});
  auto* title = reinterpret_cast<AP13_CHILD*>(ap2_New_OBJ(AP43_CLASS_ID, nullptr));
  ASSERT_EQ(GU2_SetParmValue_MSG(title, 1, const_cast<char*>("attached title")), 1);
  auto* header = reinterpret_cast<AP41_SPECTRALHEADER*>(ap2_New_OBJ(AP41_CLASS_ID, nullptr));
  header->data.points = 99;
  ASSERT_NE(ap40_Add_LLIST(made->list, reinterpret_cast<AP_OBJECT*>(title)), AP40_NO_INDEX);
  ASSERT_NE(ap40_Add_LLIST(made->list, reinterpret_cast<AP_OBJECT*>(header)), AP40_NO_INDEX);
  ASSERT_EQ(save(made), 1u);

  const std::string written = testsupport::read_file(path("known.spa"));
  std::vector<Entry> items;
  for (uint16_t index = 0; index < filetest::get16(written, 294); ++index) {
    if (filetest::get_entry(written, index).type == 130) items.push_back(filetest::get_entry(written, index));
  }
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].key2, 0);
  EXPECT_EQ(items[1].key2, 1);
  EXPECT_EQ(filetest::get16(written, items[1].offset), AP41_CLASS_ID) << "the item's class id";
  EXPECT_EQ(filetest::get32(written, items[1].offset + 2), 1194u) << "the length of the item's data";
  EXPECT_EQ(items[1].length, (1194u + 6 + 3) / 4 * 4);

  AP7_SPECTRUM* read = read_back();
  ASSERT_NE(read, nullptr);
  ASSERT_EQ(spectrumtest::list_count(read->list), 2u);
  auto* title_read = spectrumtest::list_member(read->list, 0);
  auto* header_read = reinterpret_cast<AP41_SPECTRALHEADER*>(spectrumtest::list_member(read->list, 1));
  ASSERT_EQ(packed(title_read->class_id), AP43_CLASS_ID);
  char text[300] = {};
  ASSERT_EQ(GU2_GetParmValue_MSG(title_read, 1, text), 1);
  EXPECT_EQ(std::string(text), "attached title");
  ASSERT_EQ(packed(header_read->class_id), AP41_CLASS_ID);
  EXPECT_EQ(packed(header_read->data.points), 99u);
}

TEST_F(WholeSpectrum, ItemOfAClassWithoutDispatcherIsPassedOver) {
  AP7_SPECTRUM* made = spectrum({1, 2});
  ASSERT_EQ(save(made), 1u);
  std::string written = testsupport::read_file(path("known.spa"));
  // A section 130 of class 230, appended with its entry.
  const uint16_t count = filetest::get16(written, 294);
  const uint32_t offset = static_cast<uint32_t>(written.size());
  written += layout::u16(230) + layout::u32(2) + "xy";
  filetest::put_entry(written, count, Entry{130, offset, 8, 0, 0});
  put16(written, 294, count + 1);
  testsupport::write_file("known.spa", written);
  AP7_SPECTRUM* read = read_back();
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(spectrumtest::list_count(read->list), 0u);
}

// ---------------------------------------------------------------------------
// Files of older versions

TEST_F(WholeSpectrum, OlderVersionsKeepTheScanErrorsAndReadShortAnnotationsWithoutFlags) {
  AP7_SPECTRUM* made = known_spectrum();
  ASSERT_EQ(save(made), 1u);
  // The same file as version 100: the short annotation record loses its
  // flag word.
  std::string written = testsupport::read_file(path("known.spa"));
  put16(written, 290, 100);
  for (uint16_t index = 0; index < filetest::get16(written, 294); ++index) {
    const Entry entry = filetest::get_entry(written, index);
    if (entry.type != 104) continue;
    std::string records = layout::u32(1) + layout::f32(3998.0f) + layout::f32(3998.5f) + layout::f32(42.0f) + "old" + '\0';
    written.replace(entry.offset, records.size(), records);
  }
  testsupport::write_file("known.spa", written);
  AP7_SPECTRUM* read = read_back();
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(packed(read->header->data.p42), 100);
  EXPECT_EQ(packed(read->header->data.BadScans), 0xFFFFFFFFu) << "below version 220 the scan errors keep their defaults";
  EXPECT_EQ(packed(read->header->data.BKCollectErrorMap), 0xFFFFFFFFu);
  // Without a flag word a record is relative to the curve (flag 1); once
  // read it is made absolute against the spectrum.
  ASSERT_EQ(annotations(read).size(), 1u);
  EXPECT_EQ(annotations(read)[0].flags, 8);
  EXPECT_EQ(annotations(read)[0].x, 3998.0f);
  EXPECT_EQ(annotations(read)[0].text_x, 3998.0f + 3998.5f);
  EXPECT_EQ(annotations(read)[0].label, "old");
}

TEST_F(WholeSpectrum, FileWithoutYValuesIsNoSpectrum) {
  const uint16_t live = APX_GetClassTable()->classes[AP7_CLASS_ID].live;
  AP7_SPECTRUM* made = spectrum({1, 2});
  ASSERT_EQ(save(made), 1u);
  std::string written = testsupport::read_file(path("known.spa"));
  for (uint16_t index = 0; index < filetest::get16(written, 294); ++index) {
    if (filetest::get_entry(written, index).type == 3) put16(written, 304 + 16 * index, 1);
  }
  testsupport::write_file("known.spa", written);
  EXPECT_EQ(read_back(), nullptr);
  EXPECT_EQ(APX_GetClassTable()->classes[AP7_CLASS_ID].live, live + 1) << "only the spectrum that was saved";
}
