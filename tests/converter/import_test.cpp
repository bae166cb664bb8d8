// The import of a trace into a spectrum: header parameters from "Bench
// Info" and "Spectrum Header" with their defaults and code tables, the X
// range always ascending with the values to match, values taken by their
// element size, the history lines joined, and the interferograms of a
// trace's second and third elements.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "components/gamlreader/units.h"
#include "core/core_fixture.h"
#include "fake_trace.h"
#include "import_fixture.h"

namespace convertertest {
namespace {

using converter::CGamlImportJob;
using gamlwriter::Parameter;

// 2000-01-01 00:00 is 3155760000 in stored time, and 2026-11-30 is 9830 days later.
constexpr uint32_t kStored2026_11_30 = 3155760000u + 9830u * 86400u;

TEST_F(Import, BenchInfoDefaultsWhenTheSectionIsMissing) {
  load({spectrum_trace("plain", 400, 4000, {1, 2})});
  EXPECT_EQ(job_.ImportBenchInfo(trace().get(), header_.get()), S_OK);
  EXPECT_EQ(packed(record().BenchID), 0u);
  EXPECT_EQ(packed(record().Gain), 1.0f);
  EXPECT_EQ(packed(record().Velocity), 1.0f);
  EXPECT_EQ(packed(record().DetectorID), 20000u);
  EXPECT_EQ(packed(record().BeamSplitterID), 0u);
  EXPECT_EQ(packed(record().SourceID), 2u);
  EXPECT_EQ(packed(record().ADBits), 0u);
  EXPECT_EQ(packed(record().HPF), 1.0f);
  EXPECT_EQ(packed(record().LPF), 1.0f);
  EXPECT_STREQ(record().title, "plain");
}

TEST_F(Import, BenchInfoTakesTheTraceNameDateAndParameters) {
  setenv("TZ", "UTC", 1);
  tzset();
  load({spectrum_trace("Sample 7", 400, 4000, {1, 2},
                       {{"Bench Info", "BenchID", "12"},
                        {"Bench Info", "Gain", "2.0"},
                        {"Bench Info", "Velocity", "0.6329"},
                        {"Bench Info", "DetectorID", "41"},
                        {"Bench Info", "BeamSplitterID", "9"},
                        {"Bench Info", "SourceID", "5"},
                        {"Bench Info", "ADBits", "24"},
                        {"Bench Info", "HPF", "200"},
                        {"Bench Info", "LPF", "11000.5"}})});
  record().p48 = 9;
  EXPECT_EQ(job_.ImportBenchInfo(trace().get(), header_.get()), S_OK);
  EXPECT_STREQ(record().title, "Sample 7");
  EXPECT_EQ(packed(record().time), kStored2026_11_30 + 14 * 3600 + 5 * 60);  // 14:05:00
  EXPECT_EQ(packed(record().p48), 0u);
  EXPECT_EQ(packed(record().BenchID), 12u);
  EXPECT_EQ(packed(record().Gain), 2.0f);
  EXPECT_EQ(packed(record().Velocity), 0.6329f);
  EXPECT_EQ(packed(record().DetectorID), 19u);
  EXPECT_EQ(packed(record().BeamSplitterID), 20u);
  EXPECT_EQ(packed(record().SourceID), 5u);
  EXPECT_EQ(packed(record().ADBits), 24u);
  EXPECT_EQ(packed(record().HPF), 200.0f);
  EXPECT_EQ(packed(record().LPF), 11000.5f);
}

TEST_F(Import, ATraceNameTooLongForTheTitleLeavesItAndAMissingDateLeavesTheTime) {
  gamlwriter::Experiment undated;
  undated.traces = {spectrum_trace(std::string(255, 'n').c_str(), 400, 4000, {1})};
  document_ = std::make_unique<LoadedDocument>(write_gaml("undated.gaml", {undated}));
  ap7b_GetSetTitle(spectrum(), const_cast<char*>("kept"), 0);
  record().time = 77;
  EXPECT_EQ(job_.ImportBenchInfo(trace().get(), header_.get()), S_OK);
  EXPECT_STREQ(record().title, "kept");
  EXPECT_EQ(packed(record().time), 77u);
}

struct CodeCase {
  LONG gaml;
  uint32_t header;
};

TEST(CodeTables, DetectorAndBeamSplitterCodesTranslate) {
  for (const CodeCase& c : {CodeCase{1, 1}, CodeCase{2, 3}, CodeCase{13, 15}, CodeCase{14, 20000}, CodeCase{16, 16},
                            CodeCase{19, 20000}, CodeCase{41, 19}, CodeCase{42, 42}, CodeCase{43, 20000},
                            CodeCase{0, 20000}, CodeCase{-1, 20000}}) {
    EXPECT_EQ(CGamlImportJob::MapDetectorCode(c.gaml), c.header) << c.gaml;
  }
  for (const CodeCase& c : {CodeCase{1, 0}, CodeCase{6, 7}, CodeCase{9, 20}, CodeCase{14, 25}, CodeCase{15, 30},
                            CodeCase{0, 30}}) {
    EXPECT_EQ(CGamlImportJob::MapBeamSplitterCode(c.gaml), c.header) << c.gaml;
  }
  for (const CodeCase& c : {CodeCase{1, 17}, CodeCase{54, 32}, CodeCase{0, 40}, CodeCase{2, 8}, CodeCase{63, 8},
                            CodeCase{12, 103}, CodeCase{61, 1}, CodeCase{57, 23}}) {
    EXPECT_EQ(CGamlImportJob::MapUnitCode(c.gaml), c.header) << c.gaml;
  }
}

// The units table the reader reads names with and the GAML writer writes
// them with says, for each name, the header unit the import makes of it.
TEST(CodeTables, EveryUnitsNameStandsForTheHeaderUnitTheImportMakesOfIt) {
  for (const gamlunits::UnitName& unit : gamlunits::kUnits) {
    EXPECT_EQ(CGamlImportJob::MapUnitCode(unit.reader_code), unit.header_code) << unit.name;
  }
  EXPECT_EQ(CGamlImportJob::MapUnitCode(gamlunits::kOtherReaderCode), gamlunits::kOtherHeaderCode);
}

TEST_F(Import, SpectrumHeaderDefaultsWhenTheSectionIsMissing) {
  load({spectrum_trace("plain", 400, 4000, {1, 2})});
  ASSERT_EQ(job_.ImportData(trace().get(), spectrum_.get(), 0, 0), S_OK);
  EXPECT_EQ(job_.ImportSpectrumHeader(trace().get(), header_.get(), 0), S_OK);
  EXPECT_EQ(packed(record().Duration), 1000u);
  EXPECT_EQ(packed(record().LaserFreq), 15798.0f);
  EXPECT_EQ(packed(record().FinalPeakPos), 0u);
  EXPECT_EQ(packed(record().NumScanPts), 0u);
  EXPECT_EQ(packed(record().NumTransformPts), 0u);
  EXPECT_EQ(packed(record().NumPostPeakPts), 0u);
  EXPECT_EQ(packed(record().NumScans), 1u);
  EXPECT_EQ(packed(record().BKNumScans), 1u);
  EXPECT_EQ(packed(record().SSP), 2.0f);
  EXPECT_EQ(packed(record().ApodID), 0u);
  EXPECT_EQ(packed(record().BKGain), 1.0f);
  EXPECT_EQ(packed(record().PhaseCorrID), 0u);
  EXPECT_EQ(packed(record().Aperture), 100.0f);
  EXPECT_EQ(packed(record().BadScans), 0u);
  EXPECT_EQ(packed(record().BKBadScans), 0u);
  EXPECT_EQ(packed(record().CollectErrorMap), 0u);  // not the record's default of none
  EXPECT_EQ(packed(record().BKCollectErrorMap), 0u);
  EXPECT_EQ(packed(record().x_units), 1u);   // WAVENUMBER
  EXPECT_EQ(packed(record().y_units), 17u);  // ABSORBANCE, from the values read
  EXPECT_EQ(packed(record().first_x), 400.0f);
  EXPECT_EQ(packed(record().last_x), 4000.0f);
}

TEST_F(Import, SpectrumHeaderTakesTheElementsParameters) {
  gamlwriter::Trace spectrum = spectrum_trace("full", 400, 4000, {1, 2});
  spectrum.elements[0].parameters = {
      {"Spectrum Header", "Duration", "29"},      {"Spectrum Header", "LaserFreq", "15797.5"},
      {"Spectrum Header", "FinalPeakPos", "2048"}, {"Spectrum Header", "NumScanPts", "4096"},
      {"Spectrum Header", "NumTransformPts", "8192"}, {"Spectrum Header", "NumPostPeakPts", "2047"},
      {"Spectrum Header", "NumScans", "32"},      {"Spectrum Header", "BKNumScans", "64"},
      {"Spectrum Header", "SSP", "1.0"},          {"Spectrum Header", "ApodID", "3"},
      {"Spectrum Header", "BKGain", "4.0"},       {"Spectrum Header", "PhaseCorrID", "2"},
      {"Spectrum Header", "Aperture", "75.5"},    {"Spectrum Header", "BadScans", "1"},
      {"Spectrum Header", "BKBadScans", "2"},     {"Spectrum Header", "CollectErrorMap", "0x1F"},
      {"Spectrum Header", "BKCollectErrorMap", "ff"}, {"Spectrum Header", "NumPoints", "999"},
      {"Spectrum Header", "XUnits_ID", "3"}};
  load({spectrum});
  ASSERT_EQ(job_.ImportData(trace().get(), spectrum_.get(), 0, 0), S_OK);
  EXPECT_EQ(job_.ImportSpectrumHeader(trace().get(), header_.get(), 0), S_OK);
  EXPECT_EQ(packed(record().Duration), 29u);
  EXPECT_EQ(packed(record().LaserFreq), 15797.5f);
  EXPECT_EQ(packed(record().FinalPeakPos), 2048u);
  EXPECT_EQ(packed(record().NumScanPts), 4096u);
  EXPECT_EQ(packed(record().NumTransformPts), 8192u);
  EXPECT_EQ(packed(record().NumPostPeakPts), 2047u);
  EXPECT_EQ(packed(record().NumScans), 32u);
  EXPECT_EQ(packed(record().BKNumScans), 64u);
  EXPECT_EQ(packed(record().SSP), 1.0f);
  EXPECT_EQ(packed(record().ApodID), 3u);
  EXPECT_EQ(packed(record().BKGain), 4.0f);
  EXPECT_EQ(packed(record().PhaseCorrID), 2u);
  EXPECT_EQ(packed(record().Aperture), 75.5f);
  EXPECT_EQ(packed(record().BadScans), 1u);
  EXPECT_EQ(packed(record().BKBadScans), 2u);
  EXPECT_EQ(packed(record().CollectErrorMap), 31u);
  EXPECT_EQ(packed(record().BKCollectErrorMap), 255u);
  EXPECT_EQ(packed(record().points), 2u);    // the values', not NumPoints
  EXPECT_EQ(packed(record().x_units), 1u);   // the X values', not XUnits_ID
}

struct DurationText {
  const char* text;
  uint32_t stored;
};

class DurationTexts : public Import, public testing::WithParamInterface<DurationText> {};

TEST_P(DurationTexts, AreStoredAsTheirNearestWholeHundredth) {
  gamlwriter::Trace spectrum = spectrum_trace("d", 400, 4000, {1});
  spectrum.elements[0].parameters = {{"Spectrum Header", "Duration", GetParam().text}};
  load({spectrum});
  EXPECT_EQ(job_.ImportSpectrumHeader(trace().get(), header_.get(), 0), S_OK);
  EXPECT_EQ(packed(record().Duration), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(Texts, DurationTexts,
                         testing::Values(DurationText{"1", 1}, DurationText{"29", 29}, DurationText{"250", 250},
                                         DurationText{"1000", 1000}, DurationText{"57", 57},
                                         DurationText{"not a number", 1000}));

TEST_F(Import, HexadecimalMapsReadTheirDigitsOnly) {
  gamlwriter::Trace spectrum = spectrum_trace("maps", 400, 4000, {1});
  spectrum.elements[0].parameters = {{"Spectrum Header", "CollectErrorMap", "xyz"},
                                     {"Spectrum Header", "BKCollectErrorMap", ""}};
  load({spectrum});
  EXPECT_EQ(job_.ImportSpectrumHeader(trace().get(), header_.get(), 0), S_OK);
  EXPECT_EQ(packed(record().CollectErrorMap), 0u);
  EXPECT_EQ(packed(record().BKCollectErrorMap), 0u);
}

TEST_F(Import, DescendingXIsStoredAscendingWithItsValuesReversed) {
  gamlwriter::Trace descending;
  descending.name = "down";
  gamlwriter::Xdata xdata = element(3, 1, {});
  xdata.children[0].values = gamlwriter::Values{"FLOAT64", "MOTOROLA", {1.5, 2.5, 3.5}, std::nullopt};
  descending.elements = {xdata};
  load({descending});
  ASSERT_EQ(job_.ImportData(trace().get(), spectrum_.get(), 0, 0), S_OK);
  EXPECT_EQ(values(), (std::vector<float>{3.5f, 2.5f, 1.5f}));
  ASSERT_EQ(job_.ImportSpectrumHeader(trace().get(), header_.get(), 0), S_OK);
  EXPECT_EQ(packed(record().first_x), 1.0f);
  EXPECT_EQ(packed(record().last_x), 3.0f);
}

// Float values of a descending axis are turned round on their way into the
// spectrum, not in the reader's document: a second import gives the same.
TEST_F(Import, DescendingFloatValuesAreTurnedRoundOnEveryImport) {
  load({spectrum_trace("down", 4000, 400, {1, 2, 3, 4, 5})});
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_EQ(job_.ImportData(trace().get(), spectrum_.get(), 0, 0), S_OK);
    EXPECT_EQ(values(), (std::vector<float>{5, 4, 3, 2, 1}));
  }
}

TEST_F(Import, FloatValuesAreStoredBitForBit) {
  const float nan = std::nanf("");
  const float tiny = 1e-40f;  // below the smallest normal float
  load({spectrum_trace("bits", 400, 4000, {0.1f, -0.0f, tiny, nan, 3.4e38f})});
  ASSERT_EQ(job_.ImportData(trace().get(), spectrum_.get(), 0, 0), S_OK);
  const std::vector<float> stored = values();
  const float expected[] = {0.1f, -0.0f, tiny, nan, 3.4e38f};
  ASSERT_EQ(stored.size(), 5u);
  EXPECT_EQ(std::memcmp(stored.data(), expected, sizeof expected), 0);
}

TEST_F(Import, AnArrayOfNoValuesIsRefusedAndLeavesTheSpectrumAsItWas) {
  load({spectrum_trace("none", 400, 4000, {})});
  const uint32_t points_before = record().points;
  EXPECT_EQ(job_.ImportData(trace().get(), spectrum_.get(), 0, 0), E_FAIL);
  EXPECT_EQ(packed(record().points), points_before);
}

TEST_F(Import, AnEmptyXArrayGivesNoRangeAndNoReversal) {
  gamlwriter::Trace trace_without_x = spectrum_trace("no x", 0, 0, {5, 6});
  trace_without_x.elements[0].values->numbers.clear();
  load({trace_without_x});
  float first = -1, last = -1;
  uint32_t units = 99;
  EXPECT_EQ(job_.GetXRange(trace().get(), 0, &first, &last, &units), E_FAIL);
  EXPECT_EQ(first, -1.0f);
  EXPECT_EQ(last, -1.0f);
  EXPECT_EQ(units, 1u);
  EXPECT_EQ(job_.ImportData(trace().get(), spectrum_.get(), 0, 0), S_OK);
  EXPECT_EQ(values(), (std::vector<float>{5, 6}));
}

TEST_F(Import, HistoryLinesAreJoinedWithinAndBetweenSections) {
  auto joined = [&](std::vector<FakeTrace::Section> sections) {
    auto fake = fake_trace(std::move(sections));
    spectrum_->ClearHistory();
    job_.ImportHistory(fake.get(), spectrum_.get());
    return history();
  };
  EXPECT_EQ(joined({{u"History", {{u"1", u"first"}, {u"2", u"  second"}, {u"3", u"third"}}}}),
            "first\r\n  second\r\n\t third");
  EXPECT_EQ(joined({{u"History", {{u"1", u"first"}, {u"2", u""}, {u"3", u"third"}}}}), "first\r\n\r\nthird");
  EXPECT_EQ(joined({{u"History", {{u"1", u"one"}}}, {u"Bench Info", {{u"Gain", u"2"}}}, {u"History", {{u"1", u"two"}}}}),
            "one\t two");
}

TEST_F(Import, HistoryReplacesTheTextOnlyWhenThereIsOne) {
  spectrum_->AppendHistory(u"earlier");
  auto empty = fake_trace({{u"History", {{u"1", u""}}}, {u"Other", {{u"1", u"x"}}}});
  EXPECT_EQ(job_.ImportHistory(empty.get(), spectrum_.get()), E_FAIL);
  EXPECT_EQ(history(), "earlier");
  auto one = fake_trace({{u"History", {{u"1", u"Collected \u00B5"}}}});
  EXPECT_EQ(job_.ImportHistory(one.get(), spectrum_.get()), S_OK);
  EXPECT_EQ(history(), "Collected \xB5");
}

TEST_F(Import, ATraceOfOneElementHasNoInterferograms) {
  load({spectrum_trace("one", 4000, 400, {1, 2, 3})});
  EXPECT_EQ(job_.ImportTrace(trace().get(), spectrum_.get()), S_OK);
  EXPECT_EQ(packed(spectrum()->subSpectrumA), nullptr);
  EXPECT_EQ(packed(spectrum()->subSpectrumB), nullptr);
  EXPECT_EQ(values(), (std::vector<float>{3, 2, 1}));
  EXPECT_STREQ(record().title, "one");
}

TEST_F(Import, TwoElementsGiveTheSampleInterferogramOfElementOne) {
  gamlwriter::Trace sample = spectrum_trace("two", 400, 4000, {1, 2});
  sample.elements.push_back(
      interferogram("Archived Sample Interferogram Header", {0.5, -0.5, 0.25}, "16", "1", "15798.25"));
  load({sample});
  EXPECT_EQ(job_.ImportTrace(trace().get(), spectrum_.get()), S_OK);
  EXPECT_EQ(packed(spectrum()->subSpectrumA), nullptr);
  AP7_SPECTRUM* stored = spectrum()->subSpectrumB;
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(packed(stored->header->data.points), 3u);
  EXPECT_EQ(packed(stored->header->data.NumScans), 16u);
  EXPECT_EQ(packed(stored->header->data.FinalPeakPos), 1u);
  EXPECT_EQ(packed(stored->header->data.LaserFreq), 15798.25f);
  const float* data = ap7b_GetDataPtr(stored);
  EXPECT_EQ(std::vector<float>(data, data + 3), (std::vector<float>{0.5f, -0.5f, 0.25f}));
  // The interferogram's values replaced the remembered Y unit after the spectrum's header used it.
  EXPECT_EQ(packed(record().y_units), 17u);
  EXPECT_EQ(job_.RememberedYUnits(), 8u);
}

TEST_F(Import, ThreeElementsGiveBackgroundAndSampleInterferograms) {
  gamlwriter::Trace both = spectrum_trace("three", 400, 4000, {1, 2});
  both.elements.push_back(
      interferogram("Archived Background Interferogram Header", {1, 2, 3, 4}, "64", "2", "15798"));
  both.elements.push_back(interferogram("Archived Sample Interferogram Header", {5, 6}, "32", "0", "15799"));
  load({both});
  EXPECT_EQ(job_.ImportTrace(trace().get(), spectrum_.get()), S_OK);
  ASSERT_NE(packed(spectrum()->subSpectrumA), nullptr);
  ASSERT_NE(packed(spectrum()->subSpectrumB), nullptr);
  EXPECT_EQ(packed(spectrum()->subSpectrumA->header->data.points), 4u);
  EXPECT_EQ(packed(spectrum()->subSpectrumA->header->data.NumScans), 64u);
  EXPECT_EQ(packed(spectrum()->subSpectrumB->header->data.points), 2u);
  EXPECT_EQ(packed(spectrum()->subSpectrumB->header->data.LaserFreq), 15799.0f);
}

TEST_F(Import, FourElementsGiveNoInterferogram) {
  gamlwriter::Trace four = spectrum_trace("four", 400, 4000, {1, 2});
  for (int i = 0; i < 3; ++i)
    four.elements.push_back(interferogram("Archived Sample Interferogram Header", {1, 2}, "1", "0", "15798"));
  load({four});
  EXPECT_EQ(job_.ImportTrace(trace().get(), spectrum_.get()), S_OK);
  EXPECT_EQ(packed(spectrum()->subSpectrumA), nullptr);
  EXPECT_EQ(packed(spectrum()->subSpectrumB), nullptr);
}

TEST_F(Import, AnInterferogramWithoutANumericLaserIsLeftOut) {
  gamlwriter::Trace sample = spectrum_trace("laser", 400, 4000, {1, 2});
  sample.elements.push_back(interferogram("Archived Sample Interferogram Header", {1, 2}, "16", "1", "n/a"));
  load({sample});
  EXPECT_EQ(job_.ImportTrace(trace().get(), spectrum_.get()), S_OK);
  EXPECT_EQ(packed(spectrum()->subSpectrumB), nullptr);
}

TEST_F(Import, ATraceWithoutValuesFailsYetKeepsItsHistory) {
  gamlwriter::Trace broken = spectrum_trace("broken", 400, 4000, {}, {{"History", "line", "kept"}});
  broken.elements[0].children.clear();
  load({broken});
  EXPECT_TRUE(FAILED(job_.ImportTrace(trace().get(), spectrum_.get())));
  EXPECT_EQ(history(), "kept");
  EXPECT_STRNE(record().title, "broken");  // the header sections were not read
}

}  // namespace
}  // namespace convertertest
