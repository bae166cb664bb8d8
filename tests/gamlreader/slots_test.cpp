// The reader's calls by slot number, as a COM client reaches them through the
// vtable without our header: every call the converter makes at the position
// the converter uses, and E_NOTIMPL from every slot it never calls. Also the
// module's lock count as objects come and go.
#include "gamlreader/reader_support.h"

namespace readertest {
namespace {

// Calls slot `slot` of `object` with `arguments`: a member function of our
// interfaces is a function that takes the object first.
template <class... Arguments>
HRESULT call(void* object, int slot, Arguments... arguments) {
  using Function = HRESULT (*)(void*, Arguments...);
  void** table = *static_cast<void***>(object);
  return reinterpret_cast<Function>(table[slot])(object, arguments...);
}

void release(void* object) { reinterpret_cast<IUnknown*>(object)->Release(); }

std::u16string text_at(void* object, int slot) {
  BSTR text = nullptr;
  EXPECT_EQ(call(object, slot, &text), S_OK);
  return take(text);
}

TEST(Slots, TheConvertersCallsAnswerAtTheirPositions) {
  Ref<IGamlReader> reader;
  create_reader(&reader);
  void* object = reader.get();
  const std::string path = fixture("two_experiments.gaml");
  BSTR path_text = bstr(std::u16string(path.begin(), path.end()));
  LONG flags = 2;
  ASSERT_EQ(call(object, 15, path_text, index_variant(0), &flags), S_OK);  // load
  SysFreeString(path_text);

  void* traces = nullptr;
  ASSERT_EQ(call(object, 7, &traces), S_OK);
  LONG count = 0;
  ASSERT_EQ(call(traces, 9, &count), S_OK);
  EXPECT_EQ(count, 2);
  void* trace = nullptr;
  ASSERT_EQ(call(traces, 8, index_variant(0), &trace), S_OK);
  EXPECT_EQ(text_at(trace, 8), u"Sample \u00B5" u"1");
  VARIANT date;
  ASSERT_EQ(call(trace, 10, &date), S_OK);
  EXPECT_EQ(date.vt, VT_DATE);
  EXPECT_EQ(text_at(trace, 15), std::u16string(u"Bench Info\0History\0\0", 20));

  BSTR section_name = bstr(u"Bench Info");
  void* section = nullptr;
  ASSERT_EQ(call(trace, 14, section_name, &section), S_OK);
  SysFreeString(section_name);
  void* parameter = nullptr;
  ASSERT_EQ(call(section, 8, index_variant(1), &parameter), S_OK);
  EXPECT_EQ(text_at(parameter, 9), u"DetectorID");
  EXPECT_EQ(text_at(parameter, 7), u"41");

  void* elements = nullptr;
  ASSERT_EQ(call(trace, 7, &elements), S_OK);
  void* element = nullptr;
  ASSERT_EQ(call(elements, 8, index_variant(0), &element), S_OK);
  EXPECT_EQ(text_at(element, 21), std::u16string(u"Spectrum Header\0\0", 17));
  BSTR group_name = bstr(u"Spectrum Header");
  void* group = nullptr;
  ASSERT_EQ(call(element, 20, group_name, &group), S_OK);
  SysFreeString(group_name);
  ASSERT_EQ(call(group, 9, &count), S_OK);
  EXPECT_EQ(count, 1);

  void* children = nullptr;
  ASSERT_EQ(call(element, 7, &children), S_OK);
  void* child = nullptr;
  ASSERT_EQ(call(children, 8, LONG{0}, &child), S_OK);
  void* y_values = nullptr;
  ASSERT_EQ(call(child, 7, &y_values), S_OK);
  LONG units = 0;
  ASSERT_EQ(call(y_values, 11, &units), S_OK);
  EXPECT_EQ(units, 1);  // ABSORBANCE
  VARIANT values;
  ASSERT_EQ(call(y_values, 7, &values), S_OK);
  EXPECT_EQ(values.vt, VT_ARRAY | VT_R4);
  EXPECT_EQ(VariantClear(&values), S_OK);
  void* further = nullptr;
  ASSERT_EQ(call(child, 9, &further), S_OK);
  void* x_values = nullptr;
  ASSERT_EQ(call(further, 8, index_variant(0), &x_values), S_OK);
  ASSERT_EQ(call(x_values, 11, &units), S_OK);
  EXPECT_EQ(units, 61);  // WAVENUMBER

  for (void* used : {traces, trace, section, parameter, elements, element, group, children, child, y_values, further,
                     x_values}) {
    release(used);
  }
}

// The objects of one loaded document, each by its own interface.
struct Walked {
  Ref<IGamlReader> reader;
  Ref<IGamlCollection> traces, elements;
  Ref<IGamlTrace> trace;
  Ref<IGamlElement> element;
  Ref<IGamlChildList> children;
  Ref<IGamlChild> child;
  Ref<IGamlValues> values;
  Ref<IGamlParameter> parameter;

  void walk() {
    create_reader(&reader);
    ASSERT_EQ(load(reader.get(), fixture("two_experiments.gaml")), S_OK);
    ASSERT_EQ(reader->get_Traces(traces.out()), S_OK);
    trace_at(reader.get(), 0, &trace);
    ASSERT_EQ(trace->get_Elements(elements.out()), S_OK);
    element_at(reader.get(), 0, 0, &element);
    ASSERT_EQ(element->get_Children(children.out()), S_OK);
    child_at(reader.get(), 0, 0, 0, &child);
    ASSERT_EQ(child->get_Values(values.out()), S_OK);
    Ref<IGamlCollection> section;
    BSTR name = bstr(u"History");
    ASSERT_EQ(trace->get_Section(name, section.out()), S_OK);
    SysFreeString(name);
    ASSERT_EQ(item(section.get(), 0, IID_IGamlParameter, &parameter), S_OK);
  }
};

TEST(Slots, EverySlotTheConverterNeverCallsAnswersNotImplemented) {
  Walked objects;
  objects.walk();
  const struct {
    void* object;
    std::vector<int> slots;
  } unused[] = {
      {objects.reader.get(), {8, 9, 10, 11, 12, 13, 14}},
      {objects.traces.get(), {7}},
      {objects.trace.get(), {9, 11, 12, 13}},
      {objects.element.get(), {8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}},
      {objects.children.get(), {7}},
      {objects.child.get(), {8}},
      {objects.values.get(), {8, 9, 10}},
      {objects.parameter.get(), {8}},
  };
  for (const auto& entry : unused) {
    for (int slot : entry.slots) EXPECT_EQ(call(entry.object, slot), E_NOTIMPL) << "slot " << slot;
    IDispatch* dispatch = static_cast<IDispatch*>(entry.object);
    UINT count = 0;
    ITypeInfo* info = nullptr;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), E_NOTIMPL);
    EXPECT_EQ(dispatch->GetTypeInfo(0, 0, &info), E_NOTIMPL);
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_IUnknown, nullptr, 0, 0, nullptr), E_NOTIMPL);
    EXPECT_EQ(dispatch->Invoke(0, IID_IUnknown, 0, 0, nullptr, nullptr, nullptr, nullptr), E_NOTIMPL);
  }
}

TEST(Slots, EveryCallRefusesANullOutPointer) {
  Walked objects;
  objects.walk();
  BSTR name = bstr(u"History");
  EXPECT_EQ(objects.reader->get_Traces(nullptr), E_POINTER);
  EXPECT_EQ(objects.traces->Item(index_variant(0), nullptr), E_POINTER);
  EXPECT_EQ(objects.traces->get_Count(nullptr), E_POINTER);
  EXPECT_EQ(objects.trace->get_Elements(nullptr), E_POINTER);
  EXPECT_EQ(objects.trace->get_Name(nullptr), E_POINTER);
  EXPECT_EQ(objects.trace->get_Date(nullptr), E_POINTER);
  EXPECT_EQ(objects.trace->get_Section(name, nullptr), E_POINTER);
  EXPECT_EQ(objects.trace->get_SectionNames(nullptr), E_POINTER);
  EXPECT_EQ(objects.element->get_Children(nullptr), E_POINTER);
  EXPECT_EQ(objects.element->get_Group(name, nullptr), E_POINTER);
  EXPECT_EQ(objects.element->get_GroupNames(nullptr), E_POINTER);
  EXPECT_EQ(objects.children->Item(0, nullptr), E_POINTER);
  EXPECT_EQ(objects.child->get_Values(nullptr), E_POINTER);
  EXPECT_EQ(objects.child->get_XValues(nullptr), E_POINTER);
  EXPECT_EQ(objects.values->get_Values(nullptr), E_POINTER);
  EXPECT_EQ(objects.values->get_Units(nullptr), E_POINTER);
  EXPECT_EQ(objects.parameter->get_Value(nullptr), E_POINTER);
  EXPECT_EQ(objects.parameter->get_Name(nullptr), E_POINTER);
  SysFreeString(name);
}

TEST(Module, CanUnloadOnlyWhenNoObjectOrFactoryLives) {
  ASSERT_NE(module().can_unload_now, nullptr);
  EXPECT_EQ(module().can_unload_now(), S_OK);
  {
    Walked objects;
    objects.walk();
    EXPECT_EQ(module().can_unload_now(), S_FALSE);
    objects.reader.reset();
    objects.traces.reset();
    EXPECT_EQ(module().can_unload_now(), S_FALSE);  // the rest still use the module's code
  }
  EXPECT_EQ(module().can_unload_now(), S_OK);

  Ref<IClassFactory> factory;
  ASSERT_EQ(module().get_class_object(CLSID_GamlReader, IID_IClassFactory, reinterpret_cast<void**>(factory.out())),
            S_OK);
  EXPECT_EQ(module().can_unload_now(), S_FALSE);
  factory.reset();
  EXPECT_EQ(module().can_unload_now(), S_OK);
}

TEST(Module, ServesOnlyTheReaderClass) {
  Ref<IClassFactory> factory;
  EXPECT_EQ(module().get_class_object(IID_IGamlReader, IID_IClassFactory, reinterpret_cast<void**>(factory.out())),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_FALSE(factory);
}

}  // namespace
}  // namespace readertest
