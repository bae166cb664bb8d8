// A trace object of our own for the value-access cases a parsed document
// cannot show: sections that share a name, and a count of the calls made on
// the trace.
#pragma once
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "components/gamlreader/gamlreader.h"
#include "converter/holders.h"

namespace convertertest {

inline platform::ComModule& fake_module() {
  static platform::ComModule module;
  return module;
}

template <class Interface>
class Fake : public platform::ComObject<Interface> {
 public:
  Fake() : platform::ComObject<Interface>(fake_module()) {}
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }

 private:
  bool answers(REFIID) const override { return true; }
};

// Hands out a new reference to `object` as `*out`.
template <class T, class Out>
HRESULT hand_out(T* object, Out** out) {
  object->AddRef();
  *out = object;
  return S_OK;
}

class FakeParameter : public Fake<IGamlParameter> {
 public:
  FakeParameter(std::u16string name, std::u16string value) : name_(std::move(name)), value_(std::move(value)) {}
  HRESULT get_Value(BSTR* value) override {
    *value = converter::Bstr::from(value_).release();
    return S_OK;
  }
  HRESULT get_Name(BSTR* name) override {
    *name = converter::Bstr::from(name_).release();
    return S_OK;
  }

 private:
  std::u16string name_;
  std::u16string value_;
};

class FakeSection : public Fake<IGamlCollection> {
 public:
  explicit FakeSection(const std::vector<std::pair<std::u16string, std::u16string>>& parameters) {
    for (const auto& [name, value] : parameters) {
      auto* parameter = new FakeParameter(name, value);
      parameter->AddRef();
      parameters_.push_back(parameter);
    }
  }
  ~FakeSection() override {
    for (FakeParameter* parameter : parameters_) parameter->Release();
  }
  HRESULT Item(VARIANT index, IDispatch** item) override {
    if (index.vt != VT_I4 || index.lVal < 0 || static_cast<size_t>(index.lVal) >= parameters_.size())
      return E_INVALIDARG;
    return hand_out(static_cast<IDispatch*>(parameters_[index.lVal]), item);
  }
  HRESULT get_Count(LONG* count) override {
    *count = static_cast<LONG>(parameters_.size());
    return S_OK;
  }

 private:
  std::vector<FakeParameter*> parameters_;
};

class FakeTrace : public Fake<IGamlTrace> {
 public:
  using Section = std::pair<std::u16string, std::vector<std::pair<std::u16string, std::u16string>>>;
  explicit FakeTrace(std::vector<Section> sections) : sections_(std::move(sections)) {}

  HRESULT get_Elements(IGamlCollection**) override { return count_call(E_FAIL); }
  HRESULT get_Name(BSTR*) override { return count_call(E_FAIL); }
  HRESULT get_Date(VARIANT*) override { return count_call(E_FAIL); }
  // Sections of one name are handed out one after the other.
  HRESULT get_Section(BSTR name, IGamlCollection** parameters) override {
    ++calls;
    const std::u16string wanted(name, SysStringLen(name));
    size_t& next = handed_out_[wanted];
    while (next < sections_.size() && sections_[next].first != wanted) ++next;
    if (next >= sections_.size()) return E_INVALIDARG;
    auto* section = new FakeSection(sections_[next++].second);
    return hand_out(static_cast<IGamlCollection*>(section), parameters);
  }
  HRESULT get_SectionNames(BSTR* names) override {
    ++calls;
    std::u16string list;
    for (const Section& section : sections_) list += section.first + u'\0';
    list += u'\0';
    *names = converter::Bstr::from(list).release();
    return S_OK;
  }

  int calls = 0;

 private:
  HRESULT count_call(HRESULT result) {
    ++calls;
    return result;
  }
  std::vector<Section> sections_;
  std::map<std::u16string, size_t> handed_out_;
};

// A fake trace with one reference held by the caller.
inline converter::ComRef<FakeTrace> fake_trace(std::vector<FakeTrace::Section> sections) {
  auto* trace = new FakeTrace(std::move(sections));
  trace->AddRef();
  return converter::ComRef<FakeTrace>(trace);
}

}  // namespace convertertest
