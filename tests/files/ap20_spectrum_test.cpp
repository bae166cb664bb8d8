#include <cmath>
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
using spfiletest::floats;
using spfiletest::padded;
using spfiletest::SpectrumFiles;
using spfiletest::u16;
using spfiletest::u32;

constexpr uint32_t kDataStart = 304 + 256;

// A header block of the layout: order at 0, points at 4, X unit at 8, Y
// unit at 12, X values A and B at 16 and 20, p39 at 24.
std::string header_block(uint32_t points, uint32_t y_units, float a, float b) {
  std::string block(140, '\0');
  put32(block, 0, y_units == 22 ? 1 : 3);
  put32(block, 4, points);
  put32(block, 8, 1);
  put32(block, 12, y_units);
  block.replace(16, 4, f32(a));
  block.replace(20, 4, f32(b));
  block.replace(24, 4, f32(0.5f));
  return block;
}

// Sections placed one after the other from the end of a one-block directory.
std::string single_file(const std::vector<std::pair<uint16_t, std::string>>& sections, uint16_t version = 521,
                        uint16_t key2 = 0) {
  std::vector<Section> placed;
  uint32_t offset = kDataStart;
  for (const auto& [type, bytes] : sections) {
    placed.push_back(Section{Entry{type, offset, static_cast<uint32_t>(bytes.size()), key2, 0}, bytes});
    offset += static_cast<uint32_t>((bytes.size() + 3) / 4 * 4);
  }
  std::string file = native_file(1, 1, placed);
  put16(file, 290, version);
  return file;
}

class SpectrumSections : public SpectrumFiles {
 protected:
  // A new native single-spectrum file open for writing, its header and
  // directory held by the file object.
  AP20_FILE* new_native(const std::string& name = "s.spa") {
    AP20_FILE* file = make_file();
    const std::string full = path(name);
    AP20_NATIVEPARM parameter{full.c_str(), 16, 1};
    EXPECT_EQ(send(AP20_MSG_OPEN_NATIVE, file, &parameter), AP20_NATIVE_OPENED);
    AP20_WORDPARM grow{1};
    send(AP20_MSG_SET_GROWTH, file, &grow);
    return file;
  }
  // The bytes opened read-only as a native single-spectrum file.
  AP20_FILE* stored(const std::string& bytes, const std::string& name = "s.spa") {
    testsupport::write_file(name, bytes);
    AP20_FILE* file = make_file();
    const std::string full = path(name);
    AP20_NATIVEPARM parameter{full.c_str(), 0, 1};
    EXPECT_EQ(send(AP20_MSG_OPEN_NATIVE_READ, file, &parameter), AP20_NATIVE_OPENED);
    return file;
  }
  // The sections of a file on disk by type, each cut to its stored length.
  static std::string section(const std::string& file, uint16_t type, uint16_t key2 = 0) {
    for (uint16_t index = 0; index < get16(file, 294); ++index) {
      const Entry entry = get_entry(file, index);
      if (entry.type == type && entry.key2 == key2) return file.substr(entry.offset, entry.length);
    }
    return "<none>";
  }
  static std::string saved(AP20_FILE* file, const std::string& name = "s.spa") {
    EXPECT_EQ(send(AP20_MSG_SAVE_NATIVE, file), 1u);
    return testsupport::read_file(path(name));
  }
  AP7_SPECTRUM* header_read(AP20_FILE* file, uint16_t key2 = 0) {
    return keep(AP20_HeaderRead_FILE(file, file->header, file->directory, key2, 0));
  }
  static AP_OBJECT* object(AP7_SPECTRUM* spectrum) { return reinterpret_cast<AP_OBJECT*>(spectrum); }
};

// ---------------------------------------------------------------------------
// Y values

struct OrderCase {
  const char* name;
  uint32_t y_units;
  std::vector<float> stored;
};

const OrderCase kOrderCases[] = {
    {"LastPointFirst", 17, {4, 3, 2, 1}},
    {"InterferogramFirstPointFirst", 22, {1, 2, 3, 4}},
};

class YValues : public SpectrumSections, public testing::WithParamInterface<OrderCase> {};

TEST_P(YValues, AreStoredInTheOrderOfTheirUnitAndReadBack) {
  AP7_SPECTRUM* written = spectrum({1, 2, 3, 4}, GetParam().y_units);
  AP20_FILE* file = new_native();
  ASSERT_EQ(AP20_DataWriteEx_FILE(file, object(written), file->header, &file->directory_block, 0, 0, 0, 1), 1);
  const std::string bytes = saved(file);
  EXPECT_EQ(section(bytes, 3), floats(GetParam().stored));

  AP20_FILE* again = stored(bytes);
  AP7_SPECTRUM* read = spectrum({0, 0, 0, 0}, GetParam().y_units);
  ASSERT_EQ(AP20_DataRead_FILE(again, object(read), again->header, again->directory, 0, 0, 0, 0), 1);
  EXPECT_EQ(spectrumtest::values(read), std::vector<float>({1, 2, 3, 4}));
  EXPECT_EQ(packed(read->name[0]), '\0') << "no name flag, no name";
}

INSTANTIATE_TEST_SUITE_P(Cases, YValues, testing::ValuesIn(kOrderCases),
                         [](const testing::TestParamInfo<OrderCase>& info) { return info.param.name; });

// Long spectra are turned round in pieces on their way to the file: every
// value lands in its place across the joins.
TEST_F(SpectrumSections, ManyValuesAreStoredLastPointFirst) {
  std::vector<float> values(20001);
  for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<float>(i) * 0.5f;
  AP7_SPECTRUM* written = spectrum(values);
  AP20_FILE* file = new_native();
  ASSERT_EQ(AP20_DataWriteEx_FILE(file, object(written), file->header, &file->directory_block, 0, 0, 0, 1), 1);
  const std::string bytes = saved(file);
  EXPECT_EQ(section(bytes, 3), floats(std::vector<float>(values.rbegin(), values.rend())));
  AP20_FILE* again = stored(bytes);
  AP7_SPECTRUM* read = spectrum(std::vector<float>(values.size()));
  ASSERT_EQ(AP20_DataRead_FILE(again, object(read), again->header, again->directory, 0, 0, 0, 0), 1);
  EXPECT_EQ(spectrumtest::values(read), values);
}

TEST_F(SpectrumSections, NameFlagGivesTheSpectrumTheFilesName) {
  AP20_FILE* file = stored(single_file({{3, floats({1, 2})}}));
  AP7_SPECTRUM* read = spectrum({0, 0});
  ASSERT_EQ(AP20_DataRead_FILE(file, object(read), file->header, file->directory, 0, 0, 0, 1), 1);
  EXPECT_EQ(std::string(read->name), path("s.spa"));
}

TEST_F(SpectrumSections, MorePointsThanTheSectionHoldsAreRefused) {
  AP20_FILE* file = stored(single_file({{3, floats({1, 2, 3})}}));
  AP7_SPECTRUM* read = spectrum({0, 0, 0, 0});
  EXPECT_EQ(AP20_DataRead_FILE(file, object(read), file->header, file->directory, 0, 0, 0, 0), 0);
  EXPECT_EQ(send(AP20_MSG_LAST_ERROR, file), AP20_ERROR_DAMAGED);
  EXPECT_EQ(spectrumtest::values(read), std::vector<float>({0, 0, 0, 0}));
}

TEST_F(SpectrumSections, MissingValuesKeepTheirBits) {
  const float missing = AP1_GetNaNSG_MATH();
  AP7_SPECTRUM* written = spectrum({missing, 2, std::nanf("")});
  AP20_FILE* file = new_native();
  ASSERT_EQ(AP20_DataWriteEx_FILE(file, object(written), file->header, &file->directory_block, 0, 0, 0, 1), 1);
  AP20_FILE* again = stored(saved(file));
  AP7_SPECTRUM* read = spectrum({0, 0, 0});
  ASSERT_EQ(AP20_DataRead_FILE(again, object(read), again->header, again->directory, 0, 0, 0, 0), 1);
  EXPECT_EQ(floats(spectrumtest::values(read)), floats(spectrumtest::values(written)));
}

// ---------------------------------------------------------------------------
// Header sections

TEST_F(SpectrumSections, HeaderWithoutExtensionBlockTakesUnitGainAndMissingFilters) {
  AP20_FILE* file = stored(single_file({{2, header_block(2, 17, 400, 4000)}}));
  AP7_SPECTRUM* read = header_read(file);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(packed(read->header->data.Gain), 1.0f);
  EXPECT_TRUE(std::isnan(read->header->data.HPF));
  EXPECT_TRUE(std::isnan(read->header->data.LPF));
  EXPECT_TRUE(std::isnan(read->header->data.Velocity));
  EXPECT_EQ(packed(read->header->data.first_x), 4000.0f);
}

TEST_F(SpectrumSections, HeaderWithoutItsBlockIsNoSpectrum) {
  const uint16_t live = APX_GetClassTable()->classes[AP7_CLASS_ID].live;
  AP20_FILE* file = stored(single_file({{106, std::string(56, '\0')}}));
  EXPECT_EQ(header_read(file), nullptr);
  EXPECT_EQ(APX_GetClassTable()->classes[AP7_CLASS_ID].live, live) << "the half-read spectrum is gone";
}

// Texts of the texts section: p49 and p50 of 64 bytes, p51 to p54 of 150.
std::string texts_section(size_t length) {
  std::string bytes(length, '\0');
  const char* texts[] = {"forty-nine", "fifty", "fifty-one", "fifty-two", "fifty-three", "fifty-four"};
  const size_t offsets[] = {0, 64, 128, 278, 428, 578};
  for (size_t index = 0; index < 6; ++index) {
    if (offsets[index] < length) bytes.replace(offsets[index], std::strlen(texts[index]), texts[index]);
  }
  return bytes;
}

std::vector<std::string> texts_of(AP7_SPECTRUM* spectrum) {
  const AP41_HEADERDATA& data = spectrum->header->data;
  return {data.p49, data.p50, data.p51, data.p52, data.p53, data.p54};
}

struct TextsCase {
  const char* name;
  size_t length;  // 0: no section
  std::vector<std::string> texts;
};

const TextsCase kTextsCases[] = {
    {"AllSix", 728, {"forty-nine", "fifty", "fifty-one", "fifty-two", "fifty-three", "fifty-four"}},
    {"OlderSectionHoldsTwo", 128, {"forty-nine", "fifty", "", "", "", ""}},
    {"NoSectionEmptiesThem", 0, {"", "", "", "", "", ""}},
};

class HeaderTexts : public SpectrumSections, public testing::WithParamInterface<TextsCase> {};

TEST_P(HeaderTexts, ComeFromTheTextsSection) {
  std::vector<std::pair<uint16_t, std::string>> sections = {{2, header_block(2, 17, 400, 4000)}};
  if (GetParam().length != 0) sections.push_back({146, texts_section(GetParam().length)});
  AP7_SPECTRUM* read = header_read(stored(single_file(sections)));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(texts_of(read), GetParam().texts);
}

INSTANTIATE_TEST_SUITE_P(Cases, HeaderTexts, testing::ValuesIn(kTextsCases),
                         [](const testing::TestParamInfo<TextsCase>& info) { return info.param.name; });

TEST_F(SpectrumSections, TextsSectionOfNeitherLengthIsRefused) {
  AP20_FILE* file = stored(single_file({{2, header_block(2, 17, 400, 4000)}, {146, texts_section(200)}}));
  EXPECT_EQ(header_read(file), nullptr);
  EXPECT_EQ(send(AP20_MSG_LAST_ERROR, file), AP20_ERROR_DAMAGED);
}

TEST_F(SpectrumSections, ShortHeaderSectionsAreRefused) {
  for (const auto& sections : std::vector<std::vector<std::pair<uint16_t, std::string>>>{
           {{2, std::string(136, '\0')}},
           {{2, header_block(2, 17, 400, 4000)}, {106, std::string(52, '\0')}},
           {{2, header_block(2, 17, 400, 4000)}, {146, texts_section(124)}}}) {
    AP20_FILE* file = stored(single_file(sections));
    EXPECT_EQ(header_read(file), nullptr);
    EXPECT_EQ(send(AP20_MSG_LAST_ERROR, file), AP20_ERROR_DAMAGED);
    destroy(file);
  }
}

TEST_F(SpectrumSections, TextsSectionIsWrittenOnlyWhenATextIsSet) {
  AP7_SPECTRUM* written = spectrum({1, 2});
  AP20_FILE* file = new_native();
  ASSERT_EQ(AP20_HeaderWrite_FILE(file, object(written), file->header, &file->directory_block, 0, 0, 0), 1);
  std::string bytes = saved(file);
  EXPECT_EQ(section(bytes, 2).size(), 140u);
  EXPECT_EQ(section(bytes, 106).size(), 56u);
  EXPECT_EQ(section(bytes, 146), "<none>");

  std::strcpy(written->header->data.p53, "fifty-three");
  file = new_native("t.spa");
  ASSERT_EQ(AP20_HeaderWrite_FILE(file, reinterpret_cast<AP_OBJECT*>(written->header), file->header, &file->directory_block, 0, 0, 0), 1)
      << "a header object does as well as its spectrum";
  bytes = saved(file, "t.spa");
  std::string expected(728, '\0');
  expected.replace(428, 11, "fifty-three");
  EXPECT_EQ(section(bytes, 146), expected);
}

// ---------------------------------------------------------------------------
// History

TEST_F(SpectrumSections, HistoryBitsAndTextRoundTrip) {
  AP7_SPECTRUM* written = spectrum({1, 2});
  written->header->data.history[0] = 0x80000001;
  written->header->data.history[1] = 0x00000100;
  ap7d_AddHistoryText(written, "collected\r\n");
  AP20_FILE* file = new_native();
  ASSERT_EQ(ap20e_WriteHistory(file, object(written), file->header, &file->directory_block, 0, 0, 0), 1);
  const std::string bytes = saved(file);
  EXPECT_EQ(section(bytes, 105), u16(2) + u32(0x80000001) + u32(0x00000100) + std::string(2, '\0'));
  EXPECT_EQ(section(bytes, 27), std::string("collected\r\n") + '\0');

  AP20_FILE* again = stored(bytes);
  AP7_SPECTRUM* read = spectrum({0, 0});
  ASSERT_EQ(AP20_HistoryRead_FILE(again, object(read), again->header, again->directory, 0, 0), 1);
  EXPECT_EQ(packed(read->header->data.history[0]), 0x80000001u);
  EXPECT_EQ(packed(read->header->data.history[1]), 0x00000100u);
  EXPECT_EQ(spectrumtest::text_of(read->history), "collected\r\n");
}

TEST_F(SpectrumSections, HistoryWithoutTextWritesOnlyTheBits) {
  AP7_SPECTRUM* written = spectrum({1, 2});
  AP20_FILE* file = new_native();
  ASSERT_EQ(ap20e_WriteHistory(file, object(written), file->header, &file->directory_block, 0, 0, 0), 1);
  EXPECT_EQ(section(saved(file), 27), "<none>");
}

TEST_F(SpectrumSections, HistoryTakesAtMostTwoWordsAndATextWithoutItsNul) {
  AP20_FILE* file = stored(single_file({{105, u16(5) + u32(7) + u32(9)}, {27, "abcd"}}));
  AP7_SPECTRUM* read = spectrum({0, 0});
  ASSERT_EQ(AP20_HistoryRead_FILE(file, object(read), file->header, file->directory, 0, 0), 1);
  EXPECT_EQ(packed(read->header->data.history[0]), 7u);
  EXPECT_EQ(packed(read->header->data.history[1]), 9u);
  EXPECT_EQ(spectrumtest::text_of(read->history), "abcd");
}

TEST_F(SpectrumSections, ShortHistoryBitsAreRefusedAndTheBitsKept) {
  AP20_FILE* file = stored(single_file({{105, u16(2) + u32(7)}}));
  AP7_SPECTRUM* read = spectrum({0, 0});
  read->header->data.history[0] = 3;
  EXPECT_EQ(AP20_HistoryRead_FILE(file, object(read), file->header, file->directory, 0, 0), 1)
      << "the history read answers for the header, not for its sections";
  EXPECT_EQ(packed(read->header->data.history[0]), 3u);
  EXPECT_EQ(send(AP20_MSG_LAST_ERROR, file), AP20_ERROR_DAMAGED);
}

// ---------------------------------------------------------------------------
// Comment

struct CommentCase {
  const char* name;
  std::string text;
  std::string stored;  // the bytes written, before the padding to 4
  std::string read_back;
};

const CommentCase kCommentCases[] = {
    {"TwoLines", "a\r\nb", std::string("a\0b\0\0", 5), "a\r\nb"},
    {"BareLineFeeds", "a\nb\nc", std::string("a\0b\0c\0\0", 7), "a\r\nb\r\nc"},
    {"BareCarriageReturn", "a\rb", std::string("a\0b\0\0", 5), "a\r\nb"},
    {"EmptyLineBetween", "a\r\n\r\nb", std::string("a\0\0b\0\0", 6), "a\r\n\r\nb"},
    {"OneLine", "abcd", std::string("abcd\0\0", 6), "abcd"},
};

class Comment : public SpectrumSections, public testing::WithParamInterface<CommentCase> {};

TEST_P(Comment, KeepsItsLineBreaksAndStatesTheBytesItWrites) {
  const CommentCase& c = GetParam();
  AP7_SPECTRUM* written = spectrum({1, 2});
  ap7d_AddCommentText(written, c.text.c_str());
  AP20_FILE* file = new_native();
  ASSERT_EQ(ap20e_WriteComment(file, object(written), file->header, &file->directory_block, 0, 0, 0), 1);
  const std::string bytes = saved(file);
  EXPECT_EQ(section(bytes, 4), padded(c.stored));

  AP20_FILE* again = stored(bytes);
  AP7_SPECTRUM* read = spectrum({0, 0});
  ASSERT_EQ(ap20e_ReadComment(again, object(read), again->header, again->directory, 0, 0), 1);
  EXPECT_EQ(spectrumtest::text_of(read->comment), c.read_back);
}

INSTANTIATE_TEST_SUITE_P(Cases, Comment, testing::ValuesIn(kCommentCases),
                         [](const testing::TestParamInfo<CommentCase>& info) { return info.param.name; });

TEST_F(SpectrumSections, EmptyCommentWritesNoSectionAndAnAllNulSectionReadsAsNone) {
  AP7_SPECTRUM* written = spectrum({1, 2});
  AP20_FILE* file = new_native();
  ASSERT_EQ(ap20e_WriteComment(file, object(written), file->header, &file->directory_block, 0, 0, 0), 1);
  EXPECT_EQ(section(saved(file), 4), "<none>");
  AP20_FILE* again = stored(single_file({{4, std::string(8, '\0')}}), "n.spa");
  AP7_SPECTRUM* read = spectrum({0, 0});
  ASSERT_EQ(ap20e_ReadComment(again, object(read), again->header, again->directory, 0, 0), 1);
  EXPECT_EQ(spectrumtest::text_of(read->comment), "");
}

// ---------------------------------------------------------------------------
// Annotations

std::string short_record(uint16_t flags, float x, float text_x, float y, const std::string& label) {
  return u16(flags) + f32(x) + f32(text_x) + f32(y) + label + '\0';
}

TEST_F(SpectrumSections, AnnotationsWithoutPointsTakeTheShortForm) {
  AP7_SPECTRUM* written = spectrum({1, 2});
  annotate(written, 8, 1000.0f, 1010.0f, 50.0f, "peak");
  annotate(written, 0, 1500.0f, 1510.0f, 60.0f, "relative");
  annotate(written, 8 | 4, 2000.0f, 2010.0f, 70.0f, "protected");
  annotate(written, 8 | 4 | 64, 2500.0f, 2510.0f, 70.0f, "protected point", 1, 2);
  annotate(written, 8, 3000.0f, 3010.0f, 80.0f, "");
  AP20_FILE* file = new_native();
  ASSERT_EQ(ap20e_WriteAnnotations(file, object(written), file->header, &file->directory_block, 0, 0, 0), 1);
  const std::string bytes = saved(file);
  EXPECT_EQ(section(bytes, 187), "<none>") << "the points of a protected record do not count";
  std::string expected = u32(2) + short_record(0x1008, 1000.0f, 1010.0f, 50.0f, "peak") +
                         short_record(0x1008, 3000.0f, 3010.0f, 80.0f, "");
  EXPECT_EQ(section(bytes, 104), padded(expected));
}

TEST_F(SpectrumSections, ASecondOrThirdPointMakesTheExtendedForm) {
  AP7_SPECTRUM* written = spectrum({1, 2});
  annotate(written, 8 | 64, 1000.0f, 1010.0f, 50.0f, "two", 1.5f, 2.5f);
  annotate(written, 8 | 0x100, 2000.0f, 2010.0f, 60.0f, "three", 0, 0, 3.5f, 4.5f);
  annotate(written, 8, 3000.0f, 3010.0f, 70.0f, "one");
  AP20_FILE* file = new_native();
  ASSERT_EQ(ap20e_WriteAnnotations(file, object(written), file->header, &file->directory_block, 0, 0, 0), 1);
  const std::string bytes = saved(file);
  EXPECT_EQ(section(bytes, 104), "<none>");
  std::string expected = u32(3);
  expected += u16(16 + 4 + 8) + short_record(0x1048, 1000.0f, 1010.0f, 50.0f, "two") + f32(1.5f) + f32(2.5f);
  expected += u16(16 + 6 + 8) + short_record(0x1108, 2000.0f, 2010.0f, 60.0f, "three") + f32(3.5f) +
              f32(4.5f);
  expected += u16(16 + 4) + short_record(0x1008, 3000.0f, 3010.0f, 70.0f, "one");
  EXPECT_EQ(section(bytes, 187), padded(expected));

  AP20_FILE* again = stored(bytes);
  AP7_SPECTRUM* read = spectrum({0, 0});
  ASSERT_EQ(ap20e_ReadAnnotations(again, object(read), again->header, again->directory, 0, 0), 1);
  EXPECT_EQ(annotations(read), annotations(written));
}

TEST_F(SpectrumSections, NoRecordForTheFileWritesNoSection) {
  AP7_SPECTRUM* written = spectrum({1, 2});
  annotate(written, 0, 1000.0f, 1010.0f, 50.0f, "not absolute");
  AP20_FILE* file = new_native();
  ASSERT_EQ(ap20e_WriteAnnotations(file, object(written), file->header, &file->directory_block, 0, 0, 0), 1);
  const std::string bytes = saved(file);
  EXPECT_EQ(section(bytes, 104), "<none>");
  EXPECT_EQ(section(bytes, 187), "<none>");
}

TEST_F(SpectrumSections, ShortRecordsOfVersion100CarryNoFlags) {
  const std::string records = u32(2) + f32(1000.0f) + f32(1010.0f) + f32(50.0f) + "a" + '\0' +
                              f32(2000.0f) + f32(2010.0f) + f32(60.0f) + "bc" + '\0';
  AP20_FILE* file = stored(single_file({{104, records}}, 100));
  AP7_SPECTRUM* read = spectrum({0, 0});
  ASSERT_EQ(ap20e_ReadAnnotations(file, object(read), file->header, file->directory, 0, 0), 1);
  const auto records_read = annotations(read);
  ASSERT_EQ(records_read.size(), 2u);
  EXPECT_EQ(records_read[0].flags, 0x1001) << "flag 1, and 0x1000 from the insert";
  EXPECT_EQ(records_read[0].label, "a");
  EXPECT_EQ(records_read[1].x, 2000.0f);
  EXPECT_EQ(records_read[1].label, "bc");
}

TEST_F(SpectrumSections, ShortRecordsOfVersion101CarryFlags) {
  AP20_FILE* file = stored(single_file({{104, u32(1) + short_record(8, 5.0f, 6.0f, 7.0f, "x")}}, 101));
  AP7_SPECTRUM* read = spectrum({0, 0});
  ASSERT_EQ(ap20e_ReadAnnotations(file, object(read), file->header, file->directory, 0, 0), 1);
  ASSERT_EQ(annotations(read).size(), 1u);
  EXPECT_EQ(annotations(read)[0].flags, 0x1008);
  EXPECT_EQ(annotations(read)[0].y, 7.0f);
}

struct BadAnnotations {
  const char* name;
  uint16_t type;
  std::string bytes;
};

const BadAnnotations kBadAnnotations[] = {
    {"NoCount", 104, "ab"},
    {"MoreRecordsThanTheSectionHolds", 104, u32(3) + short_record(8, 1, 2, 3, "a") + short_record(8, 4, 5, 6, "b")},
    {"CutInTheFloats", 104, u32(1) + u16(8) + f32(1.0f) + f32(2.0f)},
    {"LabelWithoutNul", 104, u32(1) + u16(8) + f32(1.0f) + f32(2.0f) + f32(3.0f) + "abcd"},
    {"RecordLongerThanTheSection", 187, u32(1) + u16(200) + short_record(8, 1, 2, 3, "a")},
    {"RecordShorterThanItsFields", 187, u32(1) + u16(10) + short_record(8, 1, 2, 3, "a")},
    {"PointsBeyondTheRecord", 187, u32(1) + u16(18) + short_record(64 | 8, 1, 2, 3, "a") + f32(1) + f32(2)},
    {"LabelRunsIntoTheNextRecord", 187,
     u32(2) + u16(17) + u16(8) + f32(1) + f32(2) + f32(3) + "ab" + '\0' + u16(17) +
         short_record(8, 4, 5, 6, "")},
};

class RefusedAnnotations : public SpectrumSections, public testing::WithParamInterface<BadAnnotations> {};

TEST_P(RefusedAnnotations, LeaveTheListEmptyAndAnError) {
  AP20_FILE* file = stored(single_file({{GetParam().type, GetParam().bytes}}));
  AP7_SPECTRUM* read = spectrum({0, 0});
  EXPECT_EQ(ap20e_ReadAnnotations(file, object(read), file->header, file->directory, 0, 0), 0);
  EXPECT_EQ(send(AP20_MSG_LAST_ERROR, file), AP20_ERROR_DAMAGED);
  EXPECT_TRUE(annotations(read).empty()) << "no record is taken from a section that is refused";
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusedAnnotations, testing::ValuesIn(kBadAnnotations),
                         [](const testing::TestParamInfo<BadAnnotations>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Whole spectrum and member record (messages 106, 107)

TEST_F(SpectrumSections, WholeSpectrumOfAGroupMemberRoundTrips) {
  AP7_SPECTRUM* written = spectrum({1, 2, 3});
  std::strcpy(written->header->data.title, "member three");
  written->header->data.time = 123456;
  written->header->data.p48 = 77;
  ap7d_AddHistoryText(written, "history");
  ap7d_AddCommentText(written, "comment");
  annotate(written, 8, 1000.0f, 1010.0f, 50.0f, "peak");
  AP20_FILE* file = make_file();
  const std::string name = path("g.spg");
  AP20_NATIVEPARM native{name.c_str(), 16, 10};
  ASSERT_EQ(send(AP20_MSG_OPEN_NATIVE, file, &native), AP20_NATIVE_OPENED);
  AP20_SPECTRUMWRITEPARM write{object(written), 3, 0, 1, 1};
  ASSERT_EQ(send(AP20_MSG_WRITE_SPECTRUM, file, &write), 1u);
  const std::string bytes = saved(file, "g.spg");
  std::string member = std::string("member three") + std::string(244, '\0') + u32(123456) + u32(77);
  EXPECT_EQ(section(bytes, 107, 3), member);
  EXPECT_EQ(section(bytes, 2, 0), "<none>") << "every section carries the member number";

  ASSERT_EQ(send(AP20_MSG_OPEN_NATIVE_READ, file, &native), AP20_NATIVE_OPENED);
  AP20_SPECTRUMREADPARM read_parameter{3, 0, 0, 0};
  AP7_SPECTRUM* read = keep(ap_result_object<AP_OBJECT>(send(AP20_MSG_READ_SPECTRUM, file, &read_parameter)));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(std::string(read->header->data.title), "member three");
  EXPECT_EQ(packed(read->header->data.time), 123456u);
  EXPECT_EQ(packed(read->header->data.p48), 77u);
  EXPECT_EQ(spectrumtest::values(read), std::vector<float>({1, 2, 3}));
  EXPECT_EQ(spectrumtest::text_of(read->history), "history");
  EXPECT_EQ(spectrumtest::text_of(read->comment), "comment");
  EXPECT_EQ(annotations(read), annotations(written));
}

TEST_F(SpectrumSections, MemberRecordOfTitleAloneLeavesTimeAndP48AtZero) {
  std::string file_bytes = single_file({{2, header_block(2, 17, 400, 4000)},
                                        {3, floats({1, 2})},
                                        {107, std::string(256, 'T')}});
  put32(file_bytes, 296, 555);  // the collection time of the file header
  AP20_FILE* file = stored(file_bytes);
  AP20_SPECTRUMREADPARM read_parameter{0, 0, 0, 0};
  AP7_SPECTRUM* read = keep(ap_result_object<AP_OBJECT>(send(AP20_MSG_READ_SPECTRUM, file, &read_parameter)));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(std::string(read->header->data.title), std::string(255, 'T'));
  EXPECT_EQ(packed(read->header->data.time), 0u);
  EXPECT_EQ(packed(read->header->data.p48), 0u);
}

TEST_F(SpectrumSections, WholeReadAnswersTheSpectrumWhenALaterStepFails) {
  AP20_FILE* file = stored(single_file({{2, header_block(2, 17, 400, 4000)}, {4, "x"}}));
  AP20_SPECTRUMREADPARM read_parameter{0, 0, 0, 0};
  AP7_SPECTRUM* read = keep(ap_result_object<AP_OBJECT>(send(AP20_MSG_READ_SPECTRUM, file, &read_parameter)));
  ASSERT_NE(read, nullptr) << "no Y values, yet the header was read";
  EXPECT_EQ(spectrumtest::text_of(read->comment), "x");
}

// ---------------------------------------------------------------------------
// One part of a spectrum (message 117)

TEST_F(SpectrumSections, PartMessageReadsTheNextYDataSectionFromAnIndex) {
  AP20_FILE* file = stored(single_file({{2, header_block(2, 17, 400, 4000)},
                                        {3, floats({1, 2})},
                                        {3, floats({3, 4})}}));
  AP7_SPECTRUM* read = spectrum({0, 0});
  uint16_t index = 2;
  AP20_PARTPARM part{&file->head, object(read), file->header, file->directory, 0, 0, 0, nullptr,
                     AP20_PART_YDATA, AP20_PART_READ, 0, 0, 0, &index};
  ASSERT_EQ(send(AP20_MSG_SPECTRUM_PART, file, &part), 1u);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(spectrumtest::values(read), std::vector<float>({4, 3}));
  part.part = AP20_PART_LENGTH_AT;
  part.key3 = kDataStart + 140;
  EXPECT_EQ(send(AP20_MSG_SPECTRUM_PART, file, &part), 8u);
}

TEST_F(SpectrumSections, PartMessageOverwritesYDataInPlaceOnlyWithinItsBytes) {
  AP7_SPECTRUM* written = spectrum({1, 2});
  AP20_FILE* file = new_native();
  ASSERT_EQ(AP20_DataWriteEx_FILE(file, object(written), file->header, &file->directory_block, 0, 0, 0, 1), 1);
  uint16_t index = 0;
  AP7_SPECTRUM* other = spectrum({7, 8});
  AP20_PARTPARM part{&file->head, object(other), file->header, file->directory, 0, 0, 0, nullptr,
                     AP20_PART_YDATA, AP20_PART_WRITE, 0, 0, 0, &index};
  ASSERT_EQ(send(AP20_MSG_SPECTRUM_PART, file, &part), 1u);
  AP7_SPECTRUM* longer = spectrum({1, 2, 3});
  part.spectrum = object(longer);
  EXPECT_EQ(send(AP20_MSG_SPECTRUM_PART, file, &part), 0u) << "more values would run into the next section";
  EXPECT_EQ(section(saved(file), 3), floats({7, 8})) << "in memory order";
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// The exported operations as file messages (94 to 97)

TEST_F(SpectrumSections, FileMessagesWriteAndReadTheHeaderAndTheYValues) {
  AP7_SPECTRUM* written = spectrum({1, 2, 3});
  std::strcpy(written->header->data.p50, "fifty");
  AP20_FILE* file = new_native();
  AP20_HEADERWRITEPARM header{object(written), file->header, &file->directory_block, 0, 0, 0};
  ASSERT_EQ(send(AP20_MSG_WRITE_HEADER, file, &header), 1u);
  AP20_DATAWRITEPARM data{object(written), file->header, &file->directory_block, 0, 0, 0, 1};
  ASSERT_EQ(send(AP20_MSG_WRITE_DATA, file, &data), 1u);
  AP20_FILE* again = stored(saved(file));

  AP20_HEADERREADPARM header_read{0, again->header, again->directory, 0, 0};
  AP7_SPECTRUM* read = keep(ap_result_object<AP_OBJECT>(send(AP20_MSG_READ_HEADER_SECTIONS, again, &header_read)));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(std::string(read->header->data.p50), "fifty");
  AP20_DATAREADPARM data_read{object(read), again->header, again->directory, 0, 0, 1, 0};
  ASSERT_EQ(send(AP20_MSG_READ_DATA, again, &data_read), 1u);
  EXPECT_EQ(spectrumtest::values(read), std::vector<float>({1, 2, 3}));
  EXPECT_EQ(std::string(read->name), path("s.spa"));
}

}  // namespace

namespace {

TEST_F(SpectrumSections, ShortMemberRecordIsRefusedAndNoTitleTakenFromIt) {
  AP20_FILE* file = stored(single_file({{2, header_block(2, 17, 400, 4000)}, {3, floats({1, 2})},
                                        {107, std::string(200, 'T')}}));
  AP20_SPECTRUMREADPARM read_parameter{0, 0, 0, 0};
  AP7_SPECTRUM* read = keep(ap_result_object<AP_OBJECT>(send(AP20_MSG_READ_SPECTRUM, file, &read_parameter)));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(send(AP20_MSG_LAST_ERROR, file), AP20_ERROR_DAMAGED);
  EXPECT_EQ(std::string(read->header->data.title), "") << "no title from a record too short for one";
}

}  // namespace
