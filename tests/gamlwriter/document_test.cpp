// The documents the export converter writes: their shape as the GAML
// reader expects it (declaration, experiments by collection time, one trace
// per member with its own values as base64 of little-endian floats),
// numbers that come back bit for bit and are written with "." whatever the
// locale, and history texts that the import joins back line for line.
#include <cstdlib>
#include <limits>

#include <pugixml.hpp>

#include "gamlwriter/export_fixture.h"

namespace exporttest {
namespace {

class Documents : public GamlExport {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    GamlExport::SetUp();
  }

  // The group of the spectra exported; the document as pugixml reads it.
  pugi::xml_document exported(const std::vector<AP7_SPECTRUM*>& spectra) {
    const std::string group = save_group("group.spg", spectra);
    pugi::xml_document xml;
    EXPECT_EQ(export_gaml(group, path("group.gaml")), S_OK);
    EXPECT_TRUE(xml.load_file(path("group.gaml").c_str()));
    return xml;
  }

  // The spectra through GAML and back: the native group the converter
  // makes of the exported document, read back.
  void through_gaml(const std::vector<AP7_SPECTRUM*>& spectra, readback::NativeFile* back) {
    const std::string group = save_group("group.spg", spectra);
    ASSERT_EQ(export_gaml(group, path("group.gaml")), S_OK);
    ASSERT_EQ(import(path("group.gaml"), path("back.spg")), S_OK);
    ASSERT_TRUE(readback::read(path("back.spg"), back));
    ASSERT_EQ(back->spectra.size(), spectra.size());
  }
};

constexpr uint32_t kNovember30At1405 = 4005122700;  // 2026-11-30T14:05:00 in stored time (UTC)
constexpr uint32_t kJanuary2At0304 = 3944862245;    // 2025-01-02T03:04:05

TEST_F(Documents, StartWithTheDeclarationAndTheGamlRootWhereTheFormatTestLooks) {
  const std::string group = save_group("one.spg", {spectrum("one", {1.0f})});
  ASSERT_EQ(export_gaml(group, path("one.gaml")), S_OK);
  const std::string bytes = testsupport::read_file(path("one.gaml"));
  EXPECT_EQ(bytes.substr(0, 39), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  EXPECT_EQ(bytes.substr(39, 14), "<GAML version=");
  EXPECT_EQ(importer_->ValidateFormat(text(path("one.gaml")).get(), text(u"GAML").get()), S_OK);
}

TEST_F(Documents, GiveEachCollectionTimeItsOwnExperimentAndEachMemberItsOwnTrace) {
  AP7_SPECTRUM* a = spectrum("a", {1.0f});
  AP7_SPECTRUM* b = spectrum("b", {1.5f, -2.0f}, 4000.0f, 400.0f);
  AP7_SPECTRUM* c = spectrum("c", {3.0f});
  AP7_SPECTRUM* d = spectrum("d", {4.0f});
  for (AP7_SPECTRUM* member : {a, b, d}) member->header->data.time = kNovember30At1405;
  c->header->data.time = kJanuary2At0304;
  const pugi::xml_document xml = exported({a, b, c, d});

  struct Expected {
    const char* date;
    std::vector<std::string> traces;
  };
  const std::vector<Expected> expected = {
      {"2026-11-30T14:05:00", {"a", "b"}}, {"2025-01-02T03:04:05", {"c"}}, {"2026-11-30T14:05:00", {"d"}}};
  std::vector<Expected> found;
  for (pugi::xml_node experiment : xml.child("GAML").children("experiment")) {
    found.push_back({experiment.child("collectdate").text().get(), {}});
    for (pugi::xml_node trace : experiment.children("trace"))
      found.back().traces.push_back(trace.attribute("name").value());
  }
  ASSERT_EQ(found.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_STREQ(found[i].date, expected[i].date) << i;
    EXPECT_EQ(found[i].traces, expected[i].traces) << i;
  }
  // b's values, packed by hand: X 4000 and 400, Y 1.5 and -2 as
  // little-endian 32-bit floats.
  const pugi::xml_node xdata =
      xml.child("GAML").child("experiment").find_child_by_attribute("trace", "name", "b").child("Xdata");
  const pugi::xml_node x = xdata.child("values");
  const pugi::xml_node y = xdata.child("Ydata").child("values");
  EXPECT_STREQ(x.attribute("format").value(), "FLOAT32");
  EXPECT_STREQ(x.attribute("byteorder").value(), "INTEL");
  EXPECT_STREQ(x.attribute("numvalues").value(), "2");
  EXPECT_STREQ(x.text().get(), "AAB6RQAAyEM=");
  EXPECT_STREQ(y.attribute("numvalues").value(), "2");
  EXPECT_STREQ(y.text().get(), "AADAPwAAAMA=");
}

TEST_F(Documents, NameTheUnitsTheReaderKnowsAndNoOthers) {
  struct Case {
    uint32_t header_code;
    const char* name;
  };
  const Case cases[] = {{1, "WAVENUMBER"},  {4, "MICRONS"},        {32, "RAMANSHIFT"}, {17, "ABSORBANCE"},
                        {23, "TRANSMITTANCE"}, {20, "KUBELKAMUNK"}, {8, "UNKNOWN"},    {40, "UNKNOWN"},
                        {999, "UNKNOWN"}};
  std::vector<AP7_SPECTRUM*> spectra;
  for (const Case& c : cases) {
    spectra.push_back(spectrum(std::to_string(c.header_code), {1.0f}));
    spectra.back()->header->data.x_units = c.header_code;
    spectra.back()->header->data.y_units = c.header_code;
  }
  const pugi::xml_document xml = exported(spectra);
  size_t i = 0;
  for (pugi::xml_node trace : xml.child("GAML").child("experiment").children("trace")) {
    ASSERT_LT(i, std::size(cases));
    EXPECT_STREQ(trace.child("Xdata").attribute("units").value(), cases[i].name) << cases[i].header_code;
    EXPECT_STREQ(trace.child("Xdata").child("Ydata").attribute("units").value(), cases[i].name);
    ++i;
  }
  EXPECT_EQ(i, std::size(cases));
}

TEST_F(Documents, HeaderNumbersComeBackBitForBit) {
  AP7_SPECTRUM* tricky = spectrum("tricky", {0.0f});
  AP41_HEADERDATA& record = tricky->header->data;
  record.Gain = 0.1f;
  record.Velocity = std::numeric_limits<float>::denorm_min();
  record.HPF = std::numeric_limits<float>::max();
  record.LPF = -0.0f;
  record.SSP = 16777215.0f;
  record.LaserFreq = 15798.0029f;
  record.Aperture = 1.0f / 3.0f;
  record.BKGain = 1e-38f;
  record.BenchID = 0x80000000u;  // read back through a signed 32-bit number
  record.BadScans = 0xFFFFFFFFu;
  record.CollectErrorMap = 0xDEADBEEFu;
  record.BKCollectErrorMap = 0xFFFFFFFFu;
  record.Duration = 123400;
  record.DetectorID = 19;  // GAML 41
  record.BeamSplitterID = 25;  // GAML 14
  record.first_x = 399.99997f;
  record.last_x = 4000.0002f;
  readback::NativeFile back;
  through_gaml({tricky}, &back);
  const AP41_HEADERDATA& read = back.spectra[0].spectrum->header->data;
  for (const auto& [name, offset] : std::vector<std::pair<const char*, size_t>>{
           {"Gain", offsetof(AP41_HEADERDATA, Gain)},       {"Velocity", offsetof(AP41_HEADERDATA, Velocity)},
           {"HPF", offsetof(AP41_HEADERDATA, HPF)},         {"LPF", offsetof(AP41_HEADERDATA, LPF)},
           {"SSP", offsetof(AP41_HEADERDATA, SSP)},         {"LaserFreq", offsetof(AP41_HEADERDATA, LaserFreq)},
           {"Aperture", offsetof(AP41_HEADERDATA, Aperture)}, {"BKGain", offsetof(AP41_HEADERDATA, BKGain)},
           {"BenchID", offsetof(AP41_HEADERDATA, BenchID)}, {"BadScans", offsetof(AP41_HEADERDATA, BadScans)},
           {"CollectErrorMap", offsetof(AP41_HEADERDATA, CollectErrorMap)},
           {"BKCollectErrorMap", offsetof(AP41_HEADERDATA, BKCollectErrorMap)},
           {"Duration", offsetof(AP41_HEADERDATA, Duration)}, {"DetectorID", offsetof(AP41_HEADERDATA, DetectorID)},
           {"BeamSplitterID", offsetof(AP41_HEADERDATA, BeamSplitterID)},
           {"first X", offsetof(AP41_HEADERDATA, first_x)}, {"last X", offsetof(AP41_HEADERDATA, last_x)}}) {
    const char* written = reinterpret_cast<const char*>(&record) + offset;
    EXPECT_EQ(std::memcmp(reinterpret_cast<const char*>(&read) + offset, written, 4), 0) << name;
  }
}

// A detector or beam splitter that no GAML code gives is written as a code
// the import takes for an unknown one. (The native file keeps beam splitter
// 40 as it is, and stores any detector outside its table as unknown.)
TEST_F(Documents, CodesWithoutAGamlCodeComeBackAsUnknown) {
  AP7_SPECTRUM* unknown = spectrum("unknown", {0.0f});
  unknown->header->data.DetectorID = 20000;
  unknown->header->data.BeamSplitterID = 30;
  AP7_SPECTRUM* unnamed = spectrum("unnamed", {0.0f});
  unnamed->header->data.BeamSplitterID = 40;
  readback::NativeFile back;
  through_gaml({unknown, unnamed}, &back);
  EXPECT_EQ(packed(back.spectra[0].spectrum->header->data.DetectorID), 20000u);
  EXPECT_EQ(packed(back.spectra[0].spectrum->header->data.BeamSplitterID), 30u);
  EXPECT_EQ(packed(back.spectra[1].spectrum->header->data.BeamSplitterID), 30u);
}

TEST_F(Documents, WriteNumbersWithAPointWhateverTheLocale) {
  testsupport::write_file("windows/WIN.INI", "[intl]\r\nsDecimal=,\r\nsThousand=.\r\n");
  setenv("LANG", "de_DE.UTF-8", 1);
  AP7_SPECTRUM* member = spectrum("member", {0.0f});
  member->header->data.Gain = 1234.5f;
  const pugi::xml_document xml = exported({member});
  unsetenv("LANG");
  const pugi::xml_node gain =
      xml.child("GAML").child("experiment").child("trace").find_child_by_attribute("name", "Gain");
  EXPECT_STREQ(gain.text().get(), "1234.5");
}

TEST_F(Documents, HistoriesComeBackAsTheyWere) {
  struct Case {
    const char* history;
    const char* back;  // null: as it was
  };
  const Case cases[] = {
      {"Collected", nullptr},
      {"Collected\r\n  at 4 cm-1\r\n\t Converted", nullptr},  // as the import joins three lines
      {"first\r\n\r\nthird", nullptr},                        // an empty line takes no prefix after it
      {"ends with a break\r\n", nullptr},
      {"\r\n\r\n", nullptr},
      {"\t tab first\r\n\t \t tab again", nullptr},
      {"Caf\xE9 cr\xE8me \x80", nullptr},  // Windows-1252, written as UTF-8
      // A line the import would put "\t " in front of without it: that
      // cannot be written otherwise.
      {"first\r\nsecond", "first\r\n\t second"},
  };
  std::vector<AP7_SPECTRUM*> spectra;
  for (const Case& c : cases) {
    spectra.push_back(spectrum("member", {0.0f}));
    ap7d_SetHistoryText(spectra.back(), const_cast<char*>(c.history));
  }
  readback::NativeFile back;
  through_gaml(spectra, &back);
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_STREQ(ap7d_GetHistoryText(back.spectra[i].spectrum), cases[i].back ? cases[i].back : cases[i].history)
        << i;
  }
}

}  // namespace
}  // namespace exporttest
