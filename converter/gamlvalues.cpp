// Value access of the import job: a parameter of a trace's section or of an
// element's group found by its section and parameter names, its text read as
// a number, a hexadecimal number or a text with the caller's default kept
// when it is missing or does not convert, the name lists the reader gives,
// and the reader's dates as stored times. The trace, header and data
// importers of the job call these.
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "converter/importjob.h"
#include "platform/timelocale.h"

namespace converter {
namespace {

// Seconds from 1899-12-31 00:00 to 1970-01-01 00:00.
constexpr int64_t kStoredTimeOf1970 = 2209075200;

// GAML writes numbers with '.' and no grouping whatever the reader's or the
// user's locale: they are read in the invariant locale.
constexpr LCID kGamlNumbers = LOCALE_INVARIANT;

std::u16string_view view_of(BSTR text) { return std::u16string_view(text == nullptr ? u"" : text, SysStringLen(text)); }

}  // namespace

HRESULT CGamlImportJob::CountNames(BSTR names, LONG* count) {
  LONG counted = 0;
  const std::u16string_view list = view_of(names);
  // Each zero after a name ends it; an empty name ends the list.
  for (size_t at = 0; at < list.size(); ++at) {
    if (list[at] != u'\0') continue;
    if (at == 0 || list[at - 1] == u'\0') break;
    ++counted;
  }
  if (count != nullptr) *count = counted;
  return S_OK;
}

HRESULT CGamlImportJob::GetNthName(BSTR names, LONG n, Bstr* name) {
  if (name == nullptr) return E_FAIL;
  name->reset(nullptr);
  if (names == nullptr || n < 1) return E_FAIL;
  const std::u16string_view list = view_of(names);
  size_t at = 0;
  for (LONG skipped = 1; skipped < n && at < list.size(); ++skipped) {
    if (list[at] == u'\0') {  // an empty name: the list ended
      at = list.size();
      break;
    }
    while (at < list.size() && list[at] != u'\0') ++at;
    ++at;
  }
  size_t end = at;
  while (end < list.size() && list[end] != u'\0') ++end;
  const std::u16string found(at < list.size() ? list.substr(at, end - at) : std::u16string_view());
  *name = Bstr::from(found);
  return name->get() != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CGamlImportJob::GetElement(IGamlTrace* trace, LONG index, ComRef<IGamlElement>* element) {
  ComRef<IGamlCollection> elements;
  HRESULT result = trace->get_Elements(elements.out());
  if (FAILED(result)) return result;
  ComRef<IDispatch> item;
  VARIANT at;
  SetVariantLong(&at, index);
  result = elements->Item(at, item.out());
  if (FAILED(result)) return result;
  return item->QueryInterface(IID_IGamlElement, reinterpret_cast<void**>(element->out()));
}

HRESULT CGamlImportJob::ParameterAt(IGamlCollection* parameters, LONG index, ComRef<IGamlParameter>* parameter) {
  VARIANT at;
  SetVariantLong(&at, index);
  ComRef<IDispatch> item;
  const HRESULT result = parameters->Item(at, item.out());
  if (FAILED(result)) return result;
  return item->QueryInterface(IID_IGamlParameter, reinterpret_cast<void**>(parameter->out()));
}

HRESULT CGamlImportJob::ParametersAt(IGamlTrace* trace, LONG index, const OLECHAR* section,
                                     std::vector<NamedParameter>* found) {
  if (trace == nullptr || section == nullptr || found == nullptr) return E_FAIL;
  found->clear();
  ComRef<IGamlElement> element;
  Bstr names;
  HRESULT result;
  if (index == kTraceLevel) {
    result = trace->get_SectionNames(names.out());
  } else {
    if (index < 0 || index > kLastElement) return E_FAIL;
    ComRef<IGamlCollection> elements;
    LONG count = 0;
    result = trace->get_Elements(elements.out());
    if (SUCCEEDED(result)) result = elements->get_Count(&count);
    if (FAILED(result)) return result;
    if (index >= count) return E_FAIL;
    result = GetElement(trace, index, &element);
    if (SUCCEEDED(result)) result = element->get_GroupNames(names.out());
  }
  if (FAILED(result)) return result;
  LONG sections = 0;
  CountNames(names.get(), &sections);
  for (LONG n = 1; n <= sections; ++n) {
    Bstr candidate;
    GetNthName(names.get(), n, &candidate);
    if (view_of(candidate.get()) != section) continue;
    ComRef<IGamlCollection> parameters;
    result = index == kTraceLevel ? trace->get_Section(candidate.get(), parameters.out())
                                  : element->get_Group(candidate.get(), parameters.out());
    LONG count = 0;
    if (SUCCEEDED(result)) result = parameters->get_Count(&count);
    if (FAILED(result)) continue;
    for (LONG i = 0; i < count; ++i) {
      NamedParameter named;
      result = ParameterAt(parameters.get(), i, &named.parameter);
      if (SUCCEEDED(result)) result = named.parameter->get_Name(named.name.out());
      if (SUCCEEDED(result)) found->push_back(std::move(named));
    }
  }
  return result;
}

// A later parameter of the same name (in a later section of the same name)
// is never looked at.
const CGamlImportJob::NamedParameter* CGamlImportJob::FirstNamed(const std::vector<NamedParameter>& parameters,
                                                                 const OLECHAR* name) {
  for (const NamedParameter& named : parameters) {
    if (view_of(named.name.get()) == name) return &named;
  }
  return nullptr;
}

HRESULT CGamlImportJob::ValueOf(const std::vector<NamedParameter>& parameters, const OLECHAR* name, Bstr* value) {
  value->reset(nullptr);
  const NamedParameter* named = FirstNamed(parameters, name);
  return named != nullptr ? named->parameter->get_Value(value->out()) : E_FAIL;
}

HRESULT CGamlImportJob::FindAt(IGamlTrace* trace, LONG index, const OLECHAR* section, const OLECHAR* name,
                               Bstr* value) {
  if (trace == nullptr || section == nullptr || name == nullptr || value == nullptr) return E_FAIL;
  value->reset(nullptr);
  std::vector<NamedParameter> parameters;
  const HRESULT result = ParametersAt(trace, index, section, &parameters);
  return FirstNamed(parameters, name) != nullptr ? ValueOf(parameters, name, value) : result;
}

HRESULT CGamlImportJob::FindParameter(IGamlTrace* trace, const OLECHAR* section, const OLECHAR* name, Bstr* value) {
  return FindAt(trace, kTraceLevel, section, name, value);
}

HRESULT CGamlImportJob::FindChildParameter(IGamlTrace* trace, LONG index, const OLECHAR* group, const OLECHAR* name,
                                           Bstr* value) {
  if (index < 0 || index > kLastElement) return E_FAIL;
  return FindAt(trace, index, group, name, value);
}

// Reads a parameter's text as a number of type T; `fallback` stays in
// *value unless the text is there and converts.
template <class T>
HRESULT CGamlImportJob::ReadNumber(HRESULT found, const Bstr& text, T fallback, T* value,
                                   HRESULT (*convert)(LPCOLESTR, LCID, ULONG, T*)) {
  *value = fallback;
  if (FAILED(found) || text.empty()) return E_FAIL;
  T converted;
  const HRESULT result = convert(text.get(), kGamlNumbers, 0, &converted);
  if (SUCCEEDED(result)) *value = converted;
  return result;
}

template <class T>
HRESULT CGamlImportJob::GetNumberAt(IGamlTrace* trace, LONG index, const OLECHAR* section, const OLECHAR* name,
                                    T fallback, T* value, HRESULT (*convert)(LPCOLESTR, LCID, ULONG, T*)) {
  if (trace == nullptr || section == nullptr || name == nullptr || value == nullptr) return E_FAIL;
  Bstr text;
  const HRESULT found = FindAt(trace, index, section, name, &text);
  return ReadNumber(found, text, fallback, value, convert);
}

HRESULT CGamlImportJob::ReadDouble(const std::vector<NamedParameter>& parameters, const OLECHAR* name,
                                   double fallback, double* value) {
  Bstr text;
  const HRESULT found = ValueOf(parameters, name, &text);
  return ReadNumber(found, text, fallback, value, VarR8FromStr);
}

HRESULT CGamlImportJob::ReadLong(const std::vector<NamedParameter>& parameters, const OLECHAR* name, LONG fallback,
                                 LONG* value) {
  Bstr text;
  const HRESULT found = ValueOf(parameters, name, &text);
  return ReadNumber(found, text, fallback, value, VarI4FromStr);
}

HRESULT CGamlImportJob::GetDoubleAt(IGamlTrace* trace, LONG index, const OLECHAR* section, const OLECHAR* name,
                                    double fallback, double* value) {
  return GetNumberAt(trace, index, section, name, fallback, value, VarR8FromStr);
}

HRESULT CGamlImportJob::GetLongAt(IGamlTrace* trace, LONG index, const OLECHAR* section, const OLECHAR* name,
                                  LONG fallback, LONG* value) {
  return GetNumberAt(trace, index, section, name, fallback, value, VarI4FromStr);
}

HRESULT CGamlImportJob::GetDouble(IGamlTrace* trace, const OLECHAR* section, const OLECHAR* name, double fallback,
                                  double* value) {
  return GetDoubleAt(trace, kTraceLevel, section, name, fallback, value);
}

HRESULT CGamlImportJob::GetLong(IGamlTrace* trace, const OLECHAR* section, const OLECHAR* name, LONG fallback,
                                LONG* value) {
  return GetLongAt(trace, kTraceLevel, section, name, fallback, value);
}

HRESULT CGamlImportJob::GetChildDouble(IGamlTrace* trace, LONG index, const OLECHAR* group, const OLECHAR* name,
                                       double fallback, double* value) {
  if (index < 0) return E_FAIL;
  return GetDoubleAt(trace, index, group, name, fallback, value);
}

HRESULT CGamlImportJob::GetChildLong(IGamlTrace* trace, LONG index, const OLECHAR* group, const OLECHAR* name,
                                     LONG fallback, LONG* value) {
  if (index < 0) return E_FAIL;
  return GetLongAt(trace, index, group, name, fallback, value);
}

HRESULT CGamlImportJob::GetChildString(IGamlTrace* trace, LONG index, const OLECHAR* group, const OLECHAR* name,
                                       const OLECHAR* fallback, Bstr* value) {
  if (trace == nullptr || group == nullptr || name == nullptr || fallback == nullptr || value == nullptr) {
    return E_FAIL;
  }
  if (SUCCEEDED(FindChildParameter(trace, index, group, name, value)) && !value->empty()) return S_OK;
  *value = Bstr::from(fallback);
  return E_FAIL;
}

// Read as the C library reads an unsigned number in base 16. Only ASCII can
// be part of such a number; any other unit ends it.
HRESULT CGamlImportJob::HexTextToULong(BSTR text, uint32_t* value) {
  if (text == nullptr || value == nullptr) return E_FAIL;
  std::string narrow;
  for (char16_t unit : view_of(text)) {
    if (unit == u'\0') break;
    narrow += unit < 0x80 ? static_cast<char>(unit) : '!';
  }
  *value = static_cast<uint32_t>(std::strtoul(narrow.c_str(), nullptr, 16));
  return S_OK;
}

uint32_t CGamlImportJob::DateToStoredTime(const VARIANT& date) {
  SYSTEMTIME time;
  if (date.vt != VT_DATE || !VariantTimeToSystemTime(date.date, &time)) return 0;
  std::tm local{};
  local.tm_year = time.wYear - 1900;
  local.tm_mon = time.wMonth - 1;
  local.tm_mday = time.wDay;
  local.tm_hour = time.wHour;
  local.tm_min = time.wMinute;
  local.tm_sec = time.wSecond;
  local.tm_isdst = -1;
  int64_t calendar;
  if (!platform::calendar_from_local(&local, &calendar)) return 0;
  return static_cast<uint32_t>(static_cast<uint64_t>(calendar + kStoredTimeOf1970));
}

void CGamlImportJob::SetVariantLong(VARIANT* variant, LONG number) {
  VariantInit(variant);
  variant->vt = VT_I4;
  variant->lVal = number;
}

}  // namespace converter
