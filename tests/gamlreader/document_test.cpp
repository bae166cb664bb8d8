// Documents written for each case: malformed ones fail the load, `values`
// arrays at their edges, and unit names as the converter's unit table sees
// their codes.
#include <map>

#include "gamlreader/reader_support.h"

namespace readertest {
namespace {

// A document with one trace, one element and one child holding `ydata`.
std::string with_child(const std::string& ydata) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<GAML version=\"1.20\"><experiment><trace><Xdata><Ydata>" +
         ydata + "</Ydata></Xdata></trace></experiment></GAML>";
}

std::string values(const char* format, const char* byte_order, const char* count, const char* base64) {
  return std::string("<values") + (format ? std::string(" format=\"") + format + "\"" : "") +
         (byte_order ? std::string(" byteorder=\"") + byte_order + "\"" : "") +
         (count ? std::string(" numvalues=\"") + count + "\"" : "") + ">" + base64 + "</values>";
}

struct DocumentCase {
  const char* what;
  std::string xml;
  bool loads;
};

class Document : public testing::TestWithParam<DocumentCase> {};

TEST_P(Document, LoadsOnlyWhenWellFormed) {
  const DocumentCase& c = GetParam();
  Ref<IGamlReader> reader;
  const HRESULT result = load_text(&reader, std::string(c.what) + ".gaml", c.xml);
  Ref<IGamlCollection> traces;
  if (c.loads) {
    EXPECT_EQ(result, S_OK);
    EXPECT_EQ(reader->get_Traces(traces.out()), S_OK);
  } else {
    EXPECT_TRUE(FAILED(result)) << std::hex << result;
    EXPECT_TRUE(FAILED(reader->get_Traces(traces.out())));
  }
}

// 1.0 as FLOAT32 INTEL is AACAPw==; 4000.0 and 400.0 as FLOAT64 INTEL are AAAAAABAr0AAAAAAAAB5QA==.
INSTANTIATE_TEST_SUITE_P(
    Cases, Document,
    testing::Values(
        DocumentCase{"Good", with_child(values("FLOAT32", "INTEL", "1", "AACAPw==")), true},
        DocumentCase{"NoTraces", "<GAML version=\"1.20\"/>", true},
        DocumentCase{"EmptyArray", with_child(values("FLOAT64", "INTEL", "0", "")), true},
        DocumentCase{"NotXml", "this is not XML", false}, DocumentCase{"EmptyFile", "", false},
        DocumentCase{"Unclosed", "<GAML version=\"1.20\"><experiment>", false},
        DocumentCase{"OtherRoot", "<GAMLX version=\"1.20\"><experiment><trace/></experiment></GAMLX>", false},
        DocumentCase{"BadBase64Character", with_child(values("FLOAT32", "INTEL", "1", "AAC*Pw==")), false},
        DocumentCase{"Base64CutShort", with_child(values("FLOAT32", "INTEL", "1", "AACAP")), false},
        DocumentCase{"DataAfterPadding", with_child(values("FLOAT32", "INTEL", "1", "AA==AAAA")), false},
        DocumentCase{"PaddingTooEarly", with_child(values("FLOAT32", "INTEL", "1", "A===")), false},
        DocumentCase{"CountTooLarge", with_child(values("FLOAT32", "INTEL", "2", "AACAPw==")), false},
        DocumentCase{"CountTooSmall", with_child(values("FLOAT64", "INTEL", "1", "AAAAAABAr0AAAAAAAAB5QA==")), false},
        DocumentCase{"CountMissing", with_child(values("FLOAT32", "INTEL", nullptr, "AACAPw==")), false},
        DocumentCase{"CountNotANumber", with_child(values("FLOAT32", "INTEL", "1x", "AACAPw==")), false},
        DocumentCase{"CountBeyond32Bits", with_child(values("FLOAT32", "INTEL", "99999999999999999999", "")), false},
        DocumentCase{"UnknownFormat", with_child(values("FLOAT16", "INTEL", "2", "AACAPw==")), false},
        DocumentCase{"FormatInLowerCase", with_child(values("float32", "INTEL", "1", "AACAPw==")), false},
        DocumentCase{"FormatMissing", with_child(values(nullptr, "INTEL", "1", "AACAPw==")), false},
        DocumentCase{"UnknownByteOrder", with_child(values("FLOAT32", "PDP", "1", "AACAPw==")), false},
        DocumentCase{"ByteOrderMissing", with_child(values("FLOAT32", nullptr, "1", "AACAPw==")), false},
        DocumentCase{"BadXValues",
                     "<GAML version=\"1.20\"><experiment><trace><Xdata>" +
                         values("FLOAT64", "INTEL", "2", "AAAAAABAr0AAAAAAAAB5QA=") + "</Xdata></trace></experiment></GAML>",
                     false}),
    [](const testing::TestParamInfo<DocumentCase>& info) { return info.param.what; });

TEST(Document, AnEmptyArrayHasNoDataStorage) {
  Ref<IGamlReader> reader;
  ASSERT_EQ(load_text(&reader, "empty.gaml", with_child(values("FLOAT64", "INTEL", "0", " "))), S_OK);
  Ref<IGamlChild> child;
  child_at(reader.get(), 0, 0, 0, &child);
  Ref<IGamlValues> y;
  ASSERT_EQ(child->get_Values(y.out()), S_OK);
  VARIANT variant;
  ASSERT_EQ(y->get_Values(&variant), S_OK);
  EXPECT_EQ(variant.vt, VT_ARRAY | VT_R8);
  EXPECT_EQ(variant.parray->rgsabound[0].cElements, 0u);
  EXPECT_EQ(variant.parray->pvData, nullptr);
  EXPECT_EQ(VariantClear(&variant), S_OK);
}

// The converter's unit table: reader code to spectral-header unit code; every
// code it does not list maps to 8, "other".
LONG header_unit(LONG reader_code) {
  static const std::map<LONG, LONG> kConverterTable = {
      {0, 40},  {1, 17},  {12, 103}, {14, 25}, {24, 20}, {26, 12}, {30, 9},  {32, 24}, {34, 4},  {41, 9},
      {48, 3},  {52, 13}, {54, 32},  {55, 21}, {56, 6},  {57, 23}, {58, 16}, {59, 22}, {61, 1}};
  const auto found = kConverterTable.find(reader_code);
  return found == kConverterTable.end() ? 8 : found->second;
}

struct UnitCase {
  const char* units;  // null: no units attribute
  LONG header_code;
};

class Units : public testing::TestWithParam<UnitCase> {};

TEST_P(Units, NameTheHeaderUnitOfTheSameMeaning) {
  const UnitCase& c = GetParam();
  const std::string units = c.units ? std::string(" units=\"") + c.units + "\"" : std::string();
  Ref<IGamlReader> reader;
  ASSERT_EQ(load_text(&reader, "units.gaml",
                      "<GAML version=\"1.20\"><experiment><trace><Xdata" + units + "><Ydata" + units +
                          "/></Xdata></trace></experiment></GAML>"),
            S_OK);
  Ref<IGamlChild> child;
  child_at(reader.get(), 0, 0, 0, &child);
  Ref<IGamlCollection> x_values;
  Ref<IGamlValues> y, x;
  ASSERT_EQ(child->get_Values(y.out()), S_OK);
  ASSERT_EQ(child->get_XValues(x_values.out()), S_OK);
  ASSERT_EQ(item(x_values.get(), 0, IID_IGamlValues, &x), S_OK);
  LONG y_code = -1, x_code = -1;
  ASSERT_EQ(y->get_Units(&y_code), S_OK);
  ASSERT_EQ(x->get_Units(&x_code), S_OK);
  EXPECT_EQ(header_unit(y_code), c.header_code);
  EXPECT_EQ(header_unit(x_code), c.header_code);
}

// Header units: 1 wavenumbers, 3 nanometres, 4 micrometres, 6 time, 12
// log(1/R), 17 absorbance, 20 Kubelka-Munk, 21 reflectance, 23 transmittance,
// 32 Raman shift, 8 other.
INSTANTIATE_TEST_SUITE_P(Cases, Units,
                         testing::Values(UnitCase{"WAVENUMBER", 1}, UnitCase{"NANOMETERS", 3},
                                         UnitCase{"MICRONS", 4}, UnitCase{"SECONDS", 6},
                                         UnitCase{"LOGREFLECTANCE", 12}, UnitCase{"ABSORBANCE", 17},
                                         UnitCase{"KUBELKAMUNK", 20}, UnitCase{"REFLECTANCE", 21},
                                         UnitCase{"TRANSMITTANCE", 23}, UnitCase{"RAMANSHIFT", 32},
                                         UnitCase{"COUNTS", 8}, UnitCase{"FURLONGS", 8}, UnitCase{"absorbance", 8},
                                         UnitCase{"", 8}, UnitCase{nullptr, 8}));

}  // namespace
}  // namespace readertest
