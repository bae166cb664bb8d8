// Value access of the import job: name lists, parameters found by section
// and name (exactly, the first match in list order), numbers read the way
// GAML writes them whatever the user's locale, hexadecimal texts, element
// groups, and reader dates as stored times.
#include <cstdlib>
#include <ctime>

#include "converter/importjob.h"
#include "converter_support.h"
#include "fake_trace.h"

namespace convertertest {
namespace {

using converter::CGamlImportJob;
using gamlwriter::Parameter;

struct NameListCase {
  std::u16string list;  // with its zero units
  LONG count;
  std::vector<std::u16string> names;  // names 1, 2, ... as GetNthName gives them
};

class NameLists : public testing::TestWithParam<NameListCase> {};

TEST_P(NameLists, CountAndNameUpToTheFirstEmptyName) {
  const NameListCase& c = GetParam();
  const Bstr list = Bstr::from(c.list);
  LONG count = -1;
  EXPECT_EQ(CGamlImportJob::CountNames(list.get(), &count), S_OK);
  EXPECT_EQ(count, c.count);
  for (size_t n = 0; n < c.names.size(); ++n) {
    Bstr name = text(std::string("stale"));
    EXPECT_EQ(CGamlImportJob::GetNthName(list.get(), static_cast<LONG>(n + 1), &name), S_OK);
    EXPECT_EQ(name.text(), c.names[n]) << "name " << n + 1;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, NameLists,
    testing::Values(NameListCase{std::u16string(u"Bench Info\0History\0\0", 21), 2, {u"Bench Info", u"History", u""}},
                    NameListCase{std::u16string(u"A\0\0C\0\0", 6), 1, {u"A", u"", u""}},
                    NameListCase{std::u16string(u"\0\0", 2), 0, {u""}}, NameListCase{u"", 0, {u""}}));

TEST(NameLists, NoListOrAPositionBelowOneGivesAnEmptyNameAndFails) {
  const Bstr list = Bstr::from(std::u16string(u"A\0\0", 3));
  Bstr name = text(std::string("stale"));
  EXPECT_EQ(CGamlImportJob::GetNthName(list.get(), 0, &name), E_FAIL);
  EXPECT_TRUE(name.empty());
  name = text(std::string("stale"));
  EXPECT_EQ(CGamlImportJob::GetNthName(nullptr, 1, &name), E_FAIL);
  EXPECT_TRUE(name.empty());
  LONG count = -1;
  EXPECT_EQ(CGamlImportJob::CountNames(nullptr, &count), S_OK);
  EXPECT_EQ(count, 0);
}

TEST(FindParameter, ALaterSectionOfTheSameNameIsSearchedWhenTheFirstLacksTheParameter) {
  auto trace = fake_trace({{u"Bench Info", {{u"BenchID", u"7"}}}, {u"Bench Info", {{u"Gain", u"4.5"}}}});
  CGamlImportJob job;
  double gain = 0;
  EXPECT_EQ(job.GetDouble(trace.get(), u"Bench Info", u"Gain", 1.0, &gain), S_OK);
  EXPECT_EQ(gain, 4.5);
}

TEST(FindParameter, TheFirstMatchInListOrderWins) {
  auto trace = fake_trace({{u"Bench Info", {{u"Gain", u"2"}}}, {u"Bench Info", {{u"Gain", u"3"}}}});
  CGamlImportJob job;
  Bstr value;
  job.FindParameter(trace.get(), u"Bench Info", u"Gain", &value);
  EXPECT_EQ(value.text(), u"2");
}

TEST(FindParameter, ChildIndexOutsideTheFirstThreeElementsFailsWithoutAskingTheReader) {
  auto trace = fake_trace({});
  CGamlImportJob job;
  Bstr value = text(std::string("stale"));
  EXPECT_EQ(job.FindChildParameter(trace.get(), 3, u"Spectrum Header", u"NumScans", &value), E_FAIL);
  EXPECT_EQ(job.FindChildParameter(trace.get(), -1, u"Spectrum Header", u"NumScans", &value), E_FAIL);
  EXPECT_EQ(trace->calls, 0);
}

class BenchInfo : public testing::Test {
 protected:
  static gamlwriter::Trace trace_with(std::vector<Parameter> parameters) {
    gamlwriter::Trace trace;
    trace.name = "sample";
    trace.parameters = std::move(parameters);
    gamlwriter::Xdata spectrum = element(4000, 400, {1, 2, 3});
    spectrum.parameters = {{"Spectrum Header", "NumScans", "32"}, {"Spectrum Header", "SSP", "1.5"}};
    trace.elements = {spectrum};
    return trace;
  }

  CGamlImportJob job_;
};

TEST_F(BenchInfo, SectionAndParameterNamesMatchExactly) {
  LoadedDocument document(write_gaml("exact.gaml", experiment({trace_with({{"Bench Info", "Gain", "2.5"}})})));
  double value = 0;
  EXPECT_EQ(job_.GetDouble(document.trace(0).get(), u"Bench Info", u"Gain", 1.0, &value), S_OK);
  EXPECT_EQ(value, 2.5);
  EXPECT_EQ(job_.GetDouble(document.trace(0).get(), u"bench info", u"Gain", 1.0, &value), E_FAIL);
  EXPECT_EQ(value, 1.0);
  EXPECT_EQ(job_.GetDouble(document.trace(0).get(), u"Bench Info", u"gain", 7.0, &value), E_FAIL);
  EXPECT_EQ(value, 7.0);
}

TEST_F(BenchInfo, AnEmptyOrUnconvertibleValueKeepsTheDefault) {
  LoadedDocument document(write_gaml(
      "bad.gaml", experiment({trace_with({{"Bench Info", "Gain", ""}, {"Bench Info", "BenchID", "twelve"}})})));
  double gain = 0;
  EXPECT_EQ(job_.GetDouble(document.trace(0).get(), u"Bench Info", u"Gain", 1.0, &gain), E_FAIL);
  EXPECT_EQ(gain, 1.0);
  LONG bench = 0;
  EXPECT_EQ(job_.GetLong(document.trace(0).get(), u"Bench Info", u"BenchID", 5, &bench), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(bench, 5);
}

// GAML numbers carry '.' as their decimal point; a German user, whose
// locale writes 1,5, still reads 1.5 and 2.5e3 as the document means them.
TEST_F(BenchInfo, NumbersAreReadWithADecimalPointWhateverTheUsersLocale) {
  setenv("LANG", "de_DE.UTF-8", 1);
  ASSERT_EQ(GetUserDefaultLCID(), 0x0407u);
  LoadedDocument document(write_gaml(
      "locale.gaml",
      experiment({trace_with({{"Bench Info", "Gain", "1.5"}, {"Bench Info", "Velocity", "2.5e3"},
                              {"Bench Info", "BenchID", " 12 "}})})));
  double gain = 0, velocity = 0;
  LONG bench = 0;
  EXPECT_EQ(job_.GetDouble(document.trace(0).get(), u"Bench Info", u"Gain", 1.0, &gain), S_OK);
  EXPECT_EQ(gain, 1.5);
  EXPECT_EQ(job_.GetDouble(document.trace(0).get(), u"Bench Info", u"Velocity", 1.0, &velocity), S_OK);
  EXPECT_EQ(velocity, 2500.0);
  EXPECT_EQ(job_.GetLong(document.trace(0).get(), u"Bench Info", u"BenchID", 0, &bench), S_OK);
  EXPECT_EQ(bench, 12);
  unsetenv("LANG");
}

TEST_F(BenchInfo, ElementGroupsAreFoundByElementIndex) {
  LoadedDocument document(write_gaml("groups.gaml", experiment({trace_with({})})));
  LONG scans = 0;
  double spacing = 0;
  EXPECT_EQ(job_.GetChildLong(document.trace(0).get(), 0, u"Spectrum Header", u"NumScans", 1, &scans), S_OK);
  EXPECT_EQ(scans, 32);
  EXPECT_EQ(job_.GetChildDouble(document.trace(0).get(), 0, u"Spectrum Header", u"SSP", 2.0, &spacing), S_OK);
  EXPECT_EQ(spacing, 1.5);
  // The trace has one element: index 1 is beyond it.
  EXPECT_EQ(job_.GetChildLong(document.trace(0).get(), 1, u"Spectrum Header", u"NumScans", 1, &scans), E_FAIL);
  EXPECT_EQ(scans, 1);
  Bstr map;
  EXPECT_EQ(job_.GetChildString(document.trace(0).get(), 0, u"Spectrum Header", u"CollectErrorMap", u"0x0", &map),
            E_FAIL);
  EXPECT_EQ(map.text(), u"0x0");
}

struct HexCase {
  std::u16string text;
  uint32_t value;
};

class HexTexts : public testing::TestWithParam<HexCase> {};

TEST_P(HexTexts, ReadAsAnUnsignedNumberInBase16) {
  uint32_t value = 12345;
  EXPECT_EQ(CGamlImportJob::HexTextToULong(Bstr::from(GetParam().text).get(), &value), S_OK);
  EXPECT_EQ(value, GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Texts, HexTexts,
                         testing::Values(HexCase{u"0x0", 0}, HexCase{u"1F", 31}, HexCase{u"0x10", 16},
                                         HexCase{u"ff", 255}, HexCase{u"  0x1F", 31}, HexCase{u"12zz", 0x12},
                                         HexCase{u"zz", 0}, HexCase{u"", 0}, HexCase{u"FFFFFFFFF", 4294967295u},
                                         HexCase{u"\u00B5", 0}));

TEST(HexTexts, NoTextFails) {
  uint32_t value = 7;
  EXPECT_EQ(CGamlImportJob::HexTextToULong(nullptr, &value), E_FAIL);
  EXPECT_EQ(value, 7u);
}

TEST(StoredTime, CountsSecondsFrom1899InLocalTime) {
  setenv("TZ", "UTC", 1);
  tzset();
  SYSTEMTIME time{2000, 1, 0, 1, 0, 0, 0, 0};
  VARIANT date{};
  date.vt = VT_DATE;
  ASSERT_TRUE(SystemTimeToVariantTime(&time, &date.date));
  EXPECT_EQ(CGamlImportJob::DateToStoredTime(date), 3155760000u);
  // One hour east of UTC the same wall-clock time is an hour earlier.
  setenv("TZ", "CET-1", 1);
  tzset();
  EXPECT_EQ(CGamlImportJob::DateToStoredTime(date), 3155760000u - 3600);
  VARIANT number{};
  number.vt = VT_I4;
  EXPECT_EQ(CGamlImportJob::DateToStoredTime(number), 0u);
}

}  // namespace
}  // namespace convertertest
