// The reader's calls over a hand-written document (tests/data/gaml): traces
// in order, names, dates, sections and groups, elements and children, values
// in every format and byte order, and objects that outlive their reader.
#include <cstring>

#include "gamlreader/reader_support.h"

namespace readertest {
namespace {

class TwoExperiments : public testing::Test {
 protected:
  void SetUp() override {
    create_reader(&reader_);
    ASSERT_EQ(load(reader_.get(), fixture("two_experiments.gaml")), S_OK);
    ASSERT_EQ(reader_->get_Traces(traces_.out()), S_OK);
  }

  void trace(LONG index, Ref<IGamlTrace>* out) { trace_at(reader_.get(), index, out); }
  void element(LONG trace, LONG index, Ref<IGamlElement>* out) { element_at(reader_.get(), trace, index, out); }
  void child(LONG trace, LONG element, LONG index, Ref<IGamlChild>* out) {
    child_at(reader_.get(), trace, element, index, out);
  }

  // The parameters of a section as "name=value" texts.
  static std::vector<std::u16string> parameters(IGamlCollection* section) {
    LONG count = -1;
    EXPECT_EQ(section->get_Count(&count), S_OK);
    std::vector<std::u16string> texts;
    for (LONG i = 0; i < count; ++i) {
      Ref<IGamlParameter> parameter;
      EXPECT_EQ(item(section, i, IID_IGamlParameter, &parameter), S_OK);
      BSTR name = nullptr;
      BSTR value = nullptr;
      EXPECT_EQ(parameter->get_Name(&name), S_OK);
      EXPECT_EQ(parameter->get_Value(&value), S_OK);
      texts.push_back(take(name) + u"=" + take(value));
    }
    return texts;
  }

  Ref<IGamlReader> reader_;
  Ref<IGamlCollection> traces_;
};

TEST_F(TwoExperiments, OffersEveryTraceOfEveryExperimentInDocumentOrder) {
  LONG count = 0;
  ASSERT_EQ(traces_->get_Count(&count), S_OK);
  EXPECT_EQ(count, 2);
  Ref<IGamlTrace> first, second;
  trace(0, &first);
  trace(1, &second);
  BSTR name = nullptr;
  ASSERT_EQ(first->get_Name(&name), S_OK);
  EXPECT_EQ(take(name), u"Sample \u00B5" u"1");
  ASSERT_EQ(second->get_Name(&name), S_OK);
  EXPECT_EQ(take(name), u"");

  Ref<IGamlTrace> beyond;
  EXPECT_TRUE(FAILED(item(traces_.get(), 2, IID_IGamlTrace, &beyond)));
  EXPECT_TRUE(FAILED(item(traces_.get(), -1, IID_IGamlTrace, &beyond)));
}

TEST_F(TwoExperiments, CollectionsTakeOnlyLongIndexes) {
  VARIANT text_index;
  VariantInit(&text_index);
  text_index.vt = VT_BSTR;
  text_index.bstrVal = nullptr;
  IDispatch* found = reader_.get();
  EXPECT_EQ(traces_->Item(text_index, &found), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(found, nullptr);
}

TEST_F(TwoExperiments, ATraceDateIsItsExperimentsCollectDateAndFailsWithoutOne) {
  // 2026-11-30 is day 46356 after 1899-12-30; 14:05 is 50700 seconds into it.
  Ref<IGamlTrace> first, second;
  trace(0, &first);
  trace(1, &second);
  VARIANT date;
  ASSERT_EQ(first->get_Date(&date), S_OK);
  EXPECT_EQ(date.vt, VT_DATE);
  EXPECT_DOUBLE_EQ(date.date, 46356.0 + 50700.0 / 86400.0);
  EXPECT_TRUE(FAILED(second->get_Date(&date)));
  EXPECT_EQ(date.vt, VT_EMPTY);
}

TEST_F(TwoExperiments, SectionNamesAreTheDistinctGroupsInOrderOfFirstAppearance) {
  Ref<IGamlTrace> first, second;
  trace(0, &first);
  trace(1, &second);
  BSTR names = nullptr;
  ASSERT_EQ(first->get_SectionNames(&names), S_OK);
  EXPECT_EQ(take(names), std::u16string(u"Bench Info\0History\0\0", 20));
  ASSERT_EQ(second->get_SectionNames(&names), S_OK);  // only a parameter without a group
  EXPECT_EQ(take(names), std::u16string(1, u'\0'));
}

TEST_F(TwoExperiments, ASectionHoldsEveryParameterOfItsGroupAsWritten) {
  Ref<IGamlTrace> first;
  trace(0, &first);
  Ref<IGamlCollection> bench, history;
  BSTR name = bstr(u"Bench Info");
  ASSERT_EQ(first->get_Section(name, bench.out()), S_OK);
  SysFreeString(name);
  EXPECT_EQ(parameters(bench.get()),
            (std::vector<std::u16string>{u"Gain=2.0", u"DetectorID=41", u"Velocity=0.6329"}));
  name = bstr(u"History");
  ASSERT_EQ(first->get_Section(name, history.out()), S_OK);
  SysFreeString(name);
  EXPECT_EQ(parameters(history.get()), (std::vector<std::u16string>{u"line1=Collected: a < b", u"line2=  indented"}));
}

TEST_F(TwoExperiments, SectionsAndGroupsAreFoundOnlyByTheirExactName) {
  Ref<IGamlTrace> first;
  trace(0, &first);
  Ref<IGamlElement> spectrum;
  element(0, 0, &spectrum);
  Ref<IGamlCollection> found;
  for (const char16_t* wrong : {u"bench info", u"Bench Info ", u"", u"Document", u"Spectrum Header"}) {
    BSTR name = bstr(wrong);
    EXPECT_TRUE(FAILED(first->get_Section(name, found.out())));
    EXPECT_FALSE(found);
    SysFreeString(name);
  }
  BSTR name = bstr(u"Bench Info");
  EXPECT_TRUE(FAILED(spectrum->get_Group(name, found.out())));  // a trace section, not a group of the element
  SysFreeString(name);
}

TEST_F(TwoExperiments, ElementsAreTheXdataOfATraceWithTheirOwnGroups) {
  Ref<IGamlTrace> first;
  trace(0, &first);
  Ref<IGamlCollection> elements;
  ASSERT_EQ(first->get_Elements(elements.out()), S_OK);
  LONG count = 0;
  ASSERT_EQ(elements->get_Count(&count), S_OK);
  EXPECT_EQ(count, 2);

  Ref<IGamlElement> spectrum, interferogram;
  element(0, 0, &spectrum);
  element(0, 1, &interferogram);
  BSTR names = nullptr;
  ASSERT_EQ(spectrum->get_GroupNames(&names), S_OK);
  EXPECT_EQ(take(names), std::u16string(u"Spectrum Header\0\0", 17));
  ASSERT_EQ(interferogram->get_GroupNames(&names), S_OK);
  EXPECT_EQ(take(names), std::u16string(u"Archived Sample Interferogram Header\0\0", 38));

  Ref<IGamlCollection> header;
  BSTR name = bstr(u"Spectrum Header");
  ASSERT_EQ(spectrum->get_Group(name, header.out()), S_OK);
  SysFreeString(name);
  EXPECT_EQ(parameters(header.get()), std::vector<std::u16string>{u"NumScans=32"});
}

TEST_F(TwoExperiments, ChildrenAreTheYdataOfAnElementByIndex) {
  Ref<IGamlElement> spectrum;
  element(0, 0, &spectrum);
  Ref<IGamlChildList> children;
  ASSERT_EQ(spectrum->get_Children(children.out()), S_OK);
  Ref<IGamlChild> child;
  EXPECT_EQ(children->Item(1, child.out()), S_OK);
  EXPECT_TRUE(FAILED(children->Item(2, child.out())));
  EXPECT_FALSE(child);
  EXPECT_TRUE(FAILED(children->Item(-1, child.out())));
}

struct ValuesCase {
  const char* what;
  LONG trace, element, child;
  bool x;  // the element's X values, through the child's further collection
  VARTYPE type;
  std::vector<double> numbers;
};

class Values : public TwoExperiments, public testing::WithParamInterface<ValuesCase> {};

TEST_P(Values, ArriveAsAVectorInTheDeclaredFormatAndByteOrder) {
  const ValuesCase& c = GetParam();
  Ref<IGamlChild> owner;
  child(c.trace, c.element, c.child, &owner);
  Ref<IGamlValues> values;
  if (c.x) {
    Ref<IGamlCollection> x_values;
    ASSERT_EQ(owner->get_XValues(x_values.out()), S_OK);
    LONG count = 0;
    ASSERT_EQ(x_values->get_Count(&count), S_OK);
    EXPECT_EQ(count, 1);
    ASSERT_EQ(item(x_values.get(), 0, IID_IGamlValues, &values), S_OK);
  } else {
    ASSERT_EQ(owner->get_Values(values.out()), S_OK);
  }
  VARTYPE type = VT_EMPTY;
  EXPECT_EQ(values_of(values.get(), &type), c.numbers);
  EXPECT_EQ(type, VT_ARRAY | c.type);
}

INSTANTIATE_TEST_SUITE_P(
    Fixture, Values,
    testing::Values(ValuesCase{"Float64Intel", 0, 0, 0, true, VT_R8, {4000.0, 400.0}},
                    ValuesCase{"Float32Intel", 0, 0, 0, false, VT_R4, {0.5, -1.25, double(0.003f)}},
                    ValuesCase{"Float64Motorola", 0, 0, 1, false, VT_R8, {1.5, 2.5}},
                    // Integers become doubles: every 32-bit one exactly, 64-bit ones to the nearest double.
                    ValuesCase{"Int32Motorola", 0, 1, 0, true, VT_R8, {-1.0, 0.0, 70000.0}},
                    ValuesCase{"Int64Intel", 0, 1, 0, false, VT_R8, {5.0, -9007199254740992.0}},
                    ValuesCase{"Float32MotorolaWithBlanks", 1, 0, 0, false, VT_R4, {1.0}}),
    [](const testing::TestParamInfo<ValuesCase>& info) { return info.param.what; });

TEST_F(TwoExperiments, Float32ValuesKeepTheirBits) {
  Ref<IGamlChild> owner;
  child(0, 0, 0, &owner);
  Ref<IGamlValues> values;
  ASSERT_EQ(owner->get_Values(values.out()), S_OK);
  VARIANT variant;
  ASSERT_EQ(values->get_Values(&variant), S_OK);
  const float expected[3] = {0.5f, -1.25f, 0.003f};
  ASSERT_EQ(variant.parray->rgsabound[0].cElements, 3u);
  EXPECT_EQ(variant.parray->rgsabound[0].lLbound, 0);
  EXPECT_EQ(std::memcmp(variant.parray->pvData, expected, sizeof expected), 0);
  EXPECT_EQ(VariantClear(&variant), S_OK);
}

// The values are lent from the document, which the array keeps: it stays
// readable after the reader and every object it came through are gone.
TEST_F(TwoExperiments, ValuesOutliveEveryObjectTheyCameThrough) {
  VARIANT variant;
  {
    Ref<IGamlChild> owner;
    child(0, 0, 0, &owner);
    Ref<IGamlValues> values;
    ASSERT_EQ(owner->get_Values(values.out()), S_OK);
    ASSERT_EQ(values->get_Values(&variant), S_OK);
    VARIANT again;
    ASSERT_EQ(values->get_Values(&again), S_OK);
    EXPECT_EQ(VariantClear(&again), S_OK);
  }
  traces_.reset();
  reader_.reset();
  const float expected[3] = {0.5f, -1.25f, 0.003f};
  ASSERT_EQ(variant.parray->rgsabound[0].cElements, 3u);
  EXPECT_EQ(std::memcmp(variant.parray->pvData, expected, sizeof expected), 0);
  EXPECT_EQ(VariantClear(&variant), S_OK);
}

TEST_F(TwoExperiments, AnElementWithoutXValuesFailsToGiveThem) {
  Ref<IGamlChild> owner;
  child(1, 0, 0, &owner);
  Ref<IGamlCollection> x_values;
  ASSERT_EQ(owner->get_XValues(x_values.out()), S_OK);
  Ref<IGamlValues> values;
  ASSERT_EQ(item(x_values.get(), 0, IID_IGamlValues, &values), S_OK);
  VARIANT variant;
  EXPECT_TRUE(FAILED(values->get_Values(&variant)));
  EXPECT_EQ(variant.vt, VT_EMPTY);
}

TEST_F(TwoExperiments, ObjectsOutliveTheirReaderAndItsNextDocument) {
  Ref<IGamlTrace> first;
  trace(0, &first);
  traces_.reset();
  ASSERT_TRUE(FAILED(load(reader_.get(), fixture("missing.gaml"))));
  Ref<IGamlCollection> none;
  EXPECT_TRUE(FAILED(reader_->get_Traces(none.out())));  // a failed load leaves no document
  reader_.reset();
  BSTR name = nullptr;
  ASSERT_EQ(first->get_Name(&name), S_OK);
  EXPECT_EQ(take(name), u"Sample \u00B5" u"1");
}

TEST(Reader, AnswersItsOwnInterfaceAndIDispatchOnly) {
  Ref<IGamlReader> reader;
  create_reader(&reader);
  Ref<IUnknown> unknown;
  EXPECT_EQ(reader->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(unknown.out())), S_OK);
  EXPECT_EQ(reader->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(unknown.out())), S_OK);
  EXPECT_EQ(reader->QueryInterface(IID_IGamlTrace, reinterpret_cast<void**>(unknown.out())), E_NOINTERFACE);
  EXPECT_FALSE(unknown);
  UINT count = 0;
  EXPECT_EQ(reader->GetTypeInfoCount(&count), E_NOTIMPL);
}

TEST(Reader, HasNoTracesBeforeALoadAndRefusesAnEmptyPath) {
  Ref<IGamlReader> reader;
  create_reader(&reader);
  Ref<IGamlCollection> traces;
  EXPECT_TRUE(FAILED(reader->get_Traces(traces.out())));
  EXPECT_EQ(reader->Load(nullptr, index_variant(0), nullptr), E_INVALIDARG);
  EXPECT_TRUE(FAILED(load(reader.get(), testsupport::home() + "/no such file.gaml")));
}

TEST(Reader, LoadsADrivePathFromTheEmulatedMachine) {
  testsupport::write_file("drive_c/Data/one.gaml",
                          "<GAML version=\"1.20\"><experiment><trace name=\"t\"/></experiment></GAML>");
  Ref<IGamlReader> reader;
  create_reader(&reader);
  ASSERT_EQ(load(reader.get(), "C:\\Data\\one.gaml"), S_OK);
  Ref<IGamlCollection> traces;
  ASSERT_EQ(reader->get_Traces(traces.out()), S_OK);
  LONG count = 0;
  EXPECT_EQ(traces->get_Count(&count), S_OK);
  EXPECT_EQ(count, 1);
}

}  // namespace
}  // namespace readertest
