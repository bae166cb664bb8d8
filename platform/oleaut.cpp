// OLE Automation services: BSTRs, VARIANTs and SAFEARRAYs on the C heap, the
// locale-aware number parsing of the Var*FromStr family and the variant date
// calendar.
#include "platform/oleaut.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <charconv>
#include <string>
#include <system_error>

namespace {

// ---- BSTR ----

BSTR allocate_string(const void* source, UINT bytes) {
  constexpr UINT kOverhead = sizeof(UINT) + sizeof(OLECHAR);
  if (bytes > UINT32_MAX - kOverhead) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(kOverhead + bytes));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &bytes, sizeof bytes);
  unsigned char* text = block + sizeof(UINT);
  if (source != nullptr) {
    std::memcpy(text, source, bytes);
  } else {
    std::memset(text, 0, bytes);
  }
  text[bytes] = 0;
  text[bytes + 1] = 0;
  return reinterpret_cast<BSTR>(text);
}

UINT units_of(LPCOLESTR text) {
  UINT length = 0;
  while (text[length] != 0) ++length;
  return length;
}

// ---- SAFEARRAY ----

UINT element_size_of(VARTYPE type) {
  switch (type) {
    case VT_R4:
      return sizeof(float);
    case VT_R8:
      return sizeof(double);
    default:
      return 0;
  }
}

size_t descriptor_bytes(UINT dimensions) {
  return offsetof(SAFEARRAY, rgsabound) + dimensions * sizeof(SAFEARRAYBOUND);
}

// The bounds run past the declared one-element array: reach them by address.
SAFEARRAYBOUND* bounds_of(SAFEARRAY* array) {
  return reinterpret_cast<SAFEARRAYBOUND*>(reinterpret_cast<unsigned char*>(array) +
                                           offsetof(SAFEARRAY, rgsabound));
}

// Bytes of data, or -1 when they would not fit the address space.
int64_t data_bytes(SAFEARRAY* array) {
  int64_t bytes = array->cbElements;
  const SAFEARRAYBOUND* bounds = bounds_of(array);
  for (UINT i = 0; i < array->cDims; ++i) {
    bytes *= bounds[i].cElements;
    if (bytes > INT32_MAX) return -1;
  }
  return bytes;
}

// A descriptor of `dimensions` with no data yet; null when out of memory.
SAFEARRAY* allocate_descriptor(UINT dimensions) {
  return static_cast<SAFEARRAY*>(std::calloc(1, descriptor_bytes(dimensions)));
}

// Gives the array its data: a copy of `source`, or else zero-filled when
// `cleared`. False when the size is out of range or memory runs out.
bool allocate_data(SAFEARRAY* array, const void* source, bool cleared) {
  const int64_t bytes = data_bytes(array);
  if (bytes < 0) return false;
  array->pvData = nullptr;
  if (bytes == 0) return true;
  // A copy overwrites every byte: it is not cleared first.
  array->pvData = source == nullptr && cleared ? std::calloc(1, static_cast<size_t>(bytes))
                                               : std::malloc(static_cast<size_t>(bytes));
  if (array->pvData == nullptr) return false;
  if (source != nullptr) std::memcpy(array->pvData, source, static_cast<size_t>(bytes));
  return true;
}

// ---- numbers ----

struct Separators {
  OLECHAR decimal;
  OLECHAR thousands;
};

// The number format of a locale's primary language; every other language
// (English, Chinese, Japanese, Korean and the neutral locale) writes 1,234.5.
Separators separators_of(LCID locale) {
  constexpr OLECHAR kNoBreakSpace = 0x00A0;
  struct LanguageFormat {
    LCID language;
    Separators separators;
  };
  static constexpr LanguageFormat kFormats[] = {
      {0x05, {u',', kNoBreakSpace}},  // Czech
      {0x07, {u',', u'.'}},           // German
      {0x0A, {u',', u'.'}},           // Spanish
      {0x0C, {u',', kNoBreakSpace}},  // French
      {0x0E, {u',', kNoBreakSpace}},  // Hungarian
      {0x10, {u',', u'.'}},           // Italian
      {0x13, {u',', u'.'}},           // Dutch
      {0x15, {u',', kNoBreakSpace}},  // Polish
      {0x16, {u',', u'.'}},           // Portuguese
      {0x19, {u',', kNoBreakSpace}},  // Russian
      {0x1D, {u',', kNoBreakSpace}},  // Swedish
  };
  if (locale == LOCALE_USER_DEFAULT || locale == LOCALE_SYSTEM_DEFAULT) locale = GetUserDefaultLCID();
  const LCID language = locale & 0x3FF;
  for (const LanguageFormat& format : kFormats) {
    if (format.language == language) return format.separators;
  }
  return {u'.', u','};
}

bool is_blank(OLECHAR c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
bool is_digit(OLECHAR c) { return c >= u'0' && c <= u'9'; }

// Reads the text by the grammar of oleaut.h into a double.
HRESULT parse_number(LPCOLESTR text, LCID locale, double* value) {
  if (text == nullptr || value == nullptr) return E_INVALIDARG;
  const Separators separators = separators_of(locale);
  const OLECHAR* at = text;
  while (is_blank(*at)) ++at;

  std::string plain;  // sign, digits, '.', digits: the form from_chars reads
  if (*at == u'-' || *at == u'+') {
    if (*at == u'-') plain += '-';
    ++at;
  }
  plain += '0';  // so that a number written as ".5" still starts with a digit
  int digits = 0;
  int magnitude = 0;  // decimal exponent of the first significant digit, plus one
  bool significant = false;
  for (;; ++at) {
    if (is_digit(*at)) {
      significant = significant || *at != u'0';
      if (significant) ++magnitude;
      plain += static_cast<char>(*at);
      ++digits;
    } else if (*at != separators.thousands || digits == 0 || !is_digit(at[1])) {
      break;
    }
  }
  if (*at == separators.decimal) {
    plain += '.';
    for (++at; is_digit(*at); ++at) {
      if (!significant && *at == u'0') --magnitude;
      significant = significant || *at != u'0';
      plain += static_cast<char>(*at);
      ++digits;
    }
  }
  if (digits == 0) return DISP_E_TYPEMISMATCH;

  long exponent = 0;
  if (*at == u'e' || *at == u'E') {
    ++at;
    const bool negative = *at == u'-';
    if (*at == u'-' || *at == u'+') ++at;
    if (!is_digit(*at)) return DISP_E_TYPEMISMATCH;
    for (; is_digit(*at); ++at) {
      if (exponent < 100000) exponent = exponent * 10 + (*at - u'0');
    }
    if (negative) exponent = -exponent;
    plain += 'e' + std::to_string(exponent);
  }
  while (is_blank(*at)) ++at;
  if (*at != 0) return DISP_E_TYPEMISMATCH;

  double parsed = 0.0;
  const std::from_chars_result result = std::from_chars(plain.data(), plain.data() + plain.size(), parsed);
  if (result.ec == std::errc::result_out_of_range) {
    if (significant && magnitude + exponent > 0) return DISP_E_OVERFLOW;
    parsed = plain[0] == '-' ? -0.0 : 0.0;  // too small for a double: it reads as zero
  } else if (result.ec != std::errc()) {
    return DISP_E_TYPEMISMATCH;
  }
  *value = parsed;
  return S_OK;
}

// ---- dates ----

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t days_from_civil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<int64_t>(day_of_era) - 719468;
}

void civil_from_days(int64_t days, int64_t* year, unsigned* month, unsigned* day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned day_of_era = static_cast<unsigned>(days - era * 146097);
  const unsigned year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const unsigned day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const unsigned shifted_month = (5 * day_of_year + 2) / 153;
  *day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
  *month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
  *year = static_cast<int64_t>(year_of_era) + era * 400 + (*month <= 2);
}

const int64_t kDateEpoch = days_from_civil(1899, 12, 30);  // day 0 of a variant date
constexpr int kSecondsPerDay = 86400;
constexpr int kFirstYear = 100;
constexpr int kLastYear = 9999;

unsigned days_in_month(int64_t year, unsigned month) {
  static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

// ---- BSTR ----

BSTR SysAllocString(LPCOLESTR text) { return text == nullptr ? nullptr : SysAllocStringLen(text, units_of(text)); }

BSTR SysAllocStringLen(LPCOLESTR text, UINT length) {
  if (length > UINT32_MAX / sizeof(OLECHAR)) return nullptr;
  return allocate_string(text, length * static_cast<UINT>(sizeof(OLECHAR)));
}

BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length) { return allocate_string(bytes, length); }

int SysReAllocString(BSTR* string, LPCOLESTR text) {
  return SysReAllocStringLen(string, text, text == nullptr ? 0 : units_of(text));
}

int SysReAllocStringLen(BSTR* string, LPCOLESTR text, UINT length) {
  if (string == nullptr) return FALSE;
  BSTR replacement = SysAllocStringLen(text, length);  // before the free: text may lie in *string
  if (replacement == nullptr) return FALSE;
  SysFreeString(*string);
  *string = replacement;
  return TRUE;
}

void SysFreeString(BSTR string) {
  if (string != nullptr) std::free(reinterpret_cast<unsigned char*>(string) - sizeof(UINT));
}

UINT SysStringByteLen(BSTR string) {
  if (string == nullptr) return 0;
  UINT bytes;
  std::memcpy(&bytes, reinterpret_cast<unsigned char*>(string) - sizeof(UINT), sizeof bytes);
  return bytes;
}

UINT SysStringLen(BSTR string) { return SysStringByteLen(string) / sizeof(OLECHAR); }

// ---- VARIANT ----

void VariantInit(VARIANT* variant) {
  if (variant == nullptr) return;
  variant->vt = VT_EMPTY;
  variant->wReserved1 = variant->wReserved2 = variant->wReserved3 = 0;
}

HRESULT VariantClear(VARIANT* variant) {
  if (variant == nullptr) return E_INVALIDARG;
  if (variant->vt & VT_ARRAY) {
    const HRESULT destroyed = SafeArrayDestroy(variant->parray);
    if (FAILED(destroyed)) return destroyed;
  } else if (variant->vt == VT_BSTR) {
    SysFreeString(variant->bstrVal);
  } else if ((variant->vt == VT_UNKNOWN || variant->vt == VT_DISPATCH) && variant->punkVal != nullptr) {
    variant->punkVal->Release();
  }
  VariantInit(variant);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* destination, const VARIANT* source) {
  if (destination == nullptr || source == nullptr) return E_INVALIDARG;
  if (destination == source) return S_OK;
  const HRESULT cleared = VariantClear(destination);
  if (FAILED(cleared)) return cleared;
  VARIANT copy = *source;
  if (source->vt & VT_ARRAY) {
    const HRESULT copied = SafeArrayCopy(source->parray, &copy.parray);
    if (FAILED(copied)) return copied;
  } else if (source->vt == VT_BSTR && source->bstrVal != nullptr) {
    copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source->bstrVal), SysStringByteLen(source->bstrVal));
    if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
  } else if ((source->vt == VT_UNKNOWN || source->vt == VT_DISPATCH) && source->punkVal != nullptr) {
    source->punkVal->AddRef();
  }
  *destination = copy;
  return S_OK;
}

// ---- SAFEARRAY ----

namespace {

SAFEARRAY* create_array(VARTYPE element_type, UINT dimensions, SAFEARRAYBOUND* bounds, bool cleared) {
  const UINT element_size = element_size_of(element_type);
  if (element_size == 0 || dimensions == 0 || dimensions > 0xFFFF || bounds == nullptr) return nullptr;
  SAFEARRAY* array = allocate_descriptor(dimensions);
  if (array == nullptr) return nullptr;
  array->cDims = static_cast<USHORT>(dimensions);
  array->cbElements = element_size;
  for (UINT i = 0; i < dimensions; ++i) bounds_of(array)[dimensions - 1 - i] = bounds[i];
  if (!allocate_data(array, nullptr, cleared)) {
    std::free(array);
    return nullptr;
  }
  return array;
}

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE element_type, UINT dimensions, SAFEARRAYBOUND* bounds) {
  return create_array(element_type, dimensions, bounds, true);
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE element_type, LONG lower_bound, ULONG count) {
  SAFEARRAYBOUND bound{count, lower_bound};
  return SafeArrayCreate(element_type, 1, &bound);
}

SAFEARRAY* platform::create_unfilled_vector(VARTYPE element_type, ULONG count) {
  SAFEARRAYBOUND bound{count, 0};
  return create_array(element_type, 1, &bound, false);
}

namespace {

// The descriptor of a lent vector, with the owner of its data ahead of it.
struct LentVector {
  IUnknown* owner;
  SAFEARRAY array;
};

LentVector* lent_of(SAFEARRAY* array) {
  return reinterpret_cast<LentVector*>(reinterpret_cast<unsigned char*>(array) - offsetof(LentVector, array));
}

}  // namespace

SAFEARRAY* platform::create_lent_vector(VARTYPE element_type, ULONG count, void* data, IUnknown* owner) {
  const UINT element_size = element_size_of(element_type);
  if (element_size == 0 || owner == nullptr || (count != 0 && data == nullptr)) return nullptr;
  auto* lent = static_cast<LentVector*>(std::calloc(1, sizeof(LentVector)));
  if (lent == nullptr) return nullptr;
  SAFEARRAY* array = &lent->array;
  array->cDims = 1;
  array->fFeatures = FADF_STATIC;
  array->cbElements = element_size;
  array->rgsabound[0] = SAFEARRAYBOUND{count, 0};
  if (data_bytes(array) < 0) {
    std::free(lent);
    return nullptr;
  }
  array->pvData = count != 0 ? data : nullptr;
  lent->owner = owner;
  owner->AddRef();
  return array;
}

HRESULT SafeArrayCopy(SAFEARRAY* source, SAFEARRAY** copy) {
  if (copy == nullptr) return E_INVALIDARG;
  *copy = nullptr;
  if (source == nullptr) return S_OK;
  SAFEARRAY* array = allocate_descriptor(source->cDims);
  if (array == nullptr) return E_OUTOFMEMORY;
  std::memcpy(array, source, descriptor_bytes(source->cDims));
  array->cLocks = 0;
  array->fFeatures &= static_cast<USHORT>(~FADF_STATIC);
  if (!allocate_data(array, source->pvData, false)) {
    std::free(array);
    return E_OUTOFMEMORY;
  }
  *copy = array;
  return S_OK;
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) {
  if (array == nullptr) return S_OK;
  if (array->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  if (array->fFeatures & FADF_STATIC) {
    LentVector* lent = lent_of(array);
    IUnknown* owner = lent->owner;
    std::free(lent);
    owner->Release();
    return S_OK;
  }
  std::free(array->pvData);
  std::free(array);
  return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* array) {
  if (array == nullptr) return E_INVALIDARG;
  ++array->cLocks;
  return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* array) {
  if (array == nullptr) return E_INVALIDARG;
  if (array->cLocks == 0) return E_UNEXPECTED;
  --array->cLocks;
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) {
  if (array == nullptr || data == nullptr) return E_INVALIDARG;
  SafeArrayLock(array);
  *data = array->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array) { return SafeArrayUnlock(array); }

UINT SafeArrayGetDim(SAFEARRAY* array) { return array == nullptr ? 0 : array->cDims; }

UINT SafeArrayGetElemsize(SAFEARRAY* array) { return array == nullptr ? 0 : array->cbElements; }

HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dimension, LONG* bound) {
  if (array == nullptr || bound == nullptr) return E_INVALIDARG;
  if (dimension < 1 || dimension > array->cDims) return DISP_E_BADINDEX;
  *bound = bounds_of(array)[array->cDims - dimension].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dimension, LONG* bound) {
  if (array == nullptr || bound == nullptr) return E_INVALIDARG;
  if (dimension < 1 || dimension > array->cDims) return DISP_E_BADINDEX;
  const SAFEARRAYBOUND& range = bounds_of(array)[array->cDims - dimension];
  *bound = static_cast<LONG>(static_cast<int64_t>(range.lLbound) + range.cElements - 1);
  return S_OK;
}

// ---- numbers ----

HRESULT VarR8FromStr(LPCOLESTR text, LCID locale, ULONG, double* value) {
  return parse_number(text, locale, value);
}

HRESULT VarI4FromStr(LPCOLESTR text, LCID locale, ULONG, LONG* value) {
  if (value == nullptr) return E_INVALIDARG;
  double parsed = 0.0;
  const HRESULT result = parse_number(text, locale, &parsed);
  if (FAILED(result)) return result;
  const double rounded = std::nearbyint(parsed);  // the default rounding mode: half to even
  if (!(rounded >= INT32_MIN && rounded <= INT32_MAX)) return DISP_E_OVERFLOW;
  *value = static_cast<LONG>(rounded);
  return S_OK;
}

// ---- dates ----

int SystemTimeToVariantTime(const SYSTEMTIME* time, DATE* date) {
  if (time == nullptr || date == nullptr) return FALSE;
  if (time->wYear < kFirstYear || time->wYear > kLastYear || time->wMonth < 1 || time->wMonth > 12 ||
      time->wDay < 1 || time->wDay > days_in_month(time->wYear, time->wMonth) || time->wHour > 23 ||
      time->wMinute > 59 || time->wSecond > 59) {
    return FALSE;
  }
  const int64_t day = days_from_civil(time->wYear, time->wMonth, time->wDay) - kDateEpoch;
  const double fraction = (time->wHour * 3600 + time->wMinute * 60 + time->wSecond) / double(kSecondsPerDay);
  *date = day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
  return TRUE;
}

int VariantTimeToSystemTime(DATE date, SYSTEMTIME* time) {
  static const double kFirstDate = static_cast<double>(days_from_civil(kFirstYear, 1, 1) - kDateEpoch);
  static const double kEndDate = static_cast<double>(days_from_civil(kLastYear + 1, 1, 1) - kDateEpoch);
  if (time == nullptr || !(date > kFirstDate - 1.0 && date < kEndDate)) return FALSE;
  int64_t day = static_cast<int64_t>(date);  // toward zero: the fraction of a negative date counts forward
  int64_t seconds = std::llround(std::fabs(date - static_cast<double>(day)) * kSecondsPerDay);
  if (seconds >= kSecondsPerDay) {
    seconds -= kSecondsPerDay;
    ++day;
  }
  int64_t year;
  unsigned month, day_of_month;
  civil_from_days(day + kDateEpoch, &year, &month, &day_of_month);
  if (year < kFirstYear || year > kLastYear) return FALSE;
  time->wYear = static_cast<WORD>(year);
  time->wMonth = static_cast<WORD>(month);
  time->wDay = static_cast<WORD>(day_of_month);
  time->wDayOfWeek = static_cast<WORD>(((day + kDateEpoch) % 7 + 11) % 7);  // 1970-01-01 was a Thursday
  time->wHour = static_cast<WORD>(seconds / 3600);
  time->wMinute = static_cast<WORD>(seconds / 60 % 60);
  time->wSecond = static_cast<WORD>(seconds % 60);
  time->wMilliseconds = 0;
  return TRUE;
}
