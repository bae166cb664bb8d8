// BSTR layout, VARIANT ownership, SAFEARRAY descriptors, locale-aware number
// parsing and the variant date calendar.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/oleaut.h"

namespace {

constexpr LCID kEnglishUS = 0x0409;
constexpr LCID kGerman = 0x0407;
constexpr LCID kFrench = 0x040C;

uint32_t length_prefix(BSTR string) {
  uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<const unsigned char*>(string) - 4, 4);
  return bytes;
}

TEST(Bstr, CarriesItsByteLengthBeforeTheTextAndAZeroUnitAfterIt) {
  BSTR text = SysAllocString(u"abc");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(length_prefix(text), 6u);
  EXPECT_EQ(text[3], u'\0');
  EXPECT_EQ(SysStringLen(text), 3u);
  EXPECT_EQ(SysStringByteLen(text), 6u);
  EXPECT_EQ(std::u16string(text), u"abc");
  SysFreeString(text);
}

TEST(Bstr, HoldsEmbeddedZerosAndOddByteLengths) {
  BSTR list = SysAllocStringLen(u"a\0b\0", 5);  // the zero after "b\0" is the array's own terminator
  EXPECT_EQ(SysStringLen(list), 5u);
  EXPECT_EQ(std::u16string(list, 5), std::u16string(u"a\0b\0\0", 5));
  SysFreeString(list);

  BSTR zeros = SysAllocStringLen(nullptr, 4);
  EXPECT_EQ(std::u16string(zeros, 4), std::u16string(4, u'\0'));
  SysFreeString(zeros);

  BSTR bytes = SysAllocStringByteLen("abc", 3);
  EXPECT_EQ(SysStringByteLen(bytes), 3u);
  EXPECT_EQ(SysStringLen(bytes), 1u);
  EXPECT_EQ(std::memcmp(bytes, "abc", 4), 0);  // the zero follows the last byte
  SysFreeString(bytes);
}

TEST(Bstr, NullIsTheEmptyString) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);
  BSTR empty = SysAllocString(u"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty), 0u);
  SysFreeString(empty);
}

TEST(Bstr, ReallocationMayTakeItsTextFromTheStringItReplaces) {
  BSTR text = SysAllocString(u"history line");
  ASSERT_TRUE(SysReAllocStringLen(&text, text + 8, 4));
  EXPECT_EQ(std::u16string(text), u"line");
  ASSERT_TRUE(SysReAllocString(&text, u"new"));
  EXPECT_EQ(std::u16string(text), u"new");
  EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
  SysFreeString(text);
}

// Counts references so that tests can see VariantCopy and VariantClear use them.
class CountedObject : public IUnknown {
 public:
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return ++references; }
  ULONG Release() override { return --references; }
  ULONG references = 1;
};

TEST(Variant, CopiesOwnStringsAndArraysAndShareInterfacesByReference) {
  VARIANT text;
  VariantInit(&text);
  text.vt = VT_BSTR;
  text.bstrVal = SysAllocString(u"Gain");
  VARIANT copy;
  VariantInit(&copy);
  ASSERT_EQ(VariantCopy(&copy, &text), S_OK);
  EXPECT_EQ(copy.vt, VT_BSTR);
  EXPECT_NE(copy.bstrVal, text.bstrVal);
  EXPECT_EQ(std::u16string(copy.bstrVal), u"Gain");

  VARIANT values;
  VariantInit(&values);
  values.vt = VT_ARRAY | VT_R8;
  values.parray = SafeArrayCreateVector(VT_R8, 0, 2);
  static_cast<double*>(values.parray->pvData)[1] = 2.5;
  ASSERT_EQ(VariantCopy(&copy, &values), S_OK);  // the string copy is freed first
  ASSERT_NE(copy.parray, values.parray);
  EXPECT_EQ(static_cast<double*>(copy.parray->pvData)[1], 2.5);

  CountedObject object;
  VARIANT unknown;
  VariantInit(&unknown);
  unknown.vt = VT_UNKNOWN;
  unknown.punkVal = &object;
  ASSERT_EQ(VariantCopy(&copy, &unknown), S_OK);
  EXPECT_EQ(copy.punkVal, &object);
  EXPECT_EQ(object.references, 2u);
  EXPECT_EQ(VariantClear(&copy), S_OK);
  EXPECT_EQ(object.references, 1u);
  EXPECT_EQ(copy.vt, VT_EMPTY);

  EXPECT_EQ(VariantClear(&text), S_OK);
  EXPECT_EQ(VariantClear(&values), S_OK);
}

TEST(Variant, ALockedArrayIsNotCleared) {
  VARIANT values;
  VariantInit(&values);
  values.vt = VT_ARRAY | VT_R4;
  values.parray = SafeArrayCreateVector(VT_R4, 0, 1);
  ASSERT_EQ(SafeArrayLock(values.parray), S_OK);
  EXPECT_EQ(VariantClear(&values), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(values.vt, VT_ARRAY | VT_R4);
  ASSERT_EQ(SafeArrayUnlock(values.parray), S_OK);
  EXPECT_EQ(VariantClear(&values), S_OK);
}

TEST(SafeArray, VectorDescriptorHasTheWindowsLayout) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_R8, 0, 3);
  ASSERT_NE(array, nullptr);
  const auto* bytes = reinterpret_cast<const unsigned char*>(array);
  uint16_t dimensions;
  uint32_t element_size, count;
  int32_t lower_bound;
  void* data;
  std::memcpy(&dimensions, bytes + 0, 2);
  std::memcpy(&element_size, bytes + 4, 4);
  std::memcpy(&data, bytes + 12, 4);
  std::memcpy(&count, bytes + 16, 4);
  std::memcpy(&lower_bound, bytes + 20, 4);
  EXPECT_EQ(dimensions, 1);
  EXPECT_EQ(element_size, 8u);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(lower_bound, 0);
  ASSERT_NE(data, nullptr);
  const double zeros[3] = {};
  EXPECT_EQ(std::memcmp(data, zeros, sizeof zeros), 0);
  EXPECT_EQ(SafeArrayGetDim(array), 1u);
  EXPECT_EQ(SafeArrayGetElemsize(array), 8u);
  EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(SafeArray, StoresBoundsLastDimensionFirstAndAnswersThemFromOne) {
  SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, 5}};
  SAFEARRAY* array = SafeArrayCreate(VT_R4, 2, bounds);
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(array->rgsabound[0].cElements, 3u);  // the last dimension comes first
  LONG bound = 0;
  EXPECT_EQ(SafeArrayGetLBound(array, 1, &bound), S_OK);
  EXPECT_EQ(bound, 1);
  EXPECT_EQ(SafeArrayGetUBound(array, 1, &bound), S_OK);
  EXPECT_EQ(bound, 2);
  EXPECT_EQ(SafeArrayGetLBound(array, 2, &bound), S_OK);
  EXPECT_EQ(bound, 5);
  EXPECT_EQ(SafeArrayGetUBound(array, 2, &bound), S_OK);
  EXPECT_EQ(bound, 7);
  EXPECT_EQ(SafeArrayGetUBound(array, 0, &bound), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayGetLBound(array, 3, &bound), DISP_E_BADINDEX);

  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(array, &copy), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(copy, 2, &bound), S_OK);
  EXPECT_EQ(bound, 7);
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
  EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(SafeArray, LocksAreCountedAndGuardTheArray) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_R4, 0, 4);
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
  EXPECT_EQ(data, array->pvData);
  ASSERT_EQ(SafeArrayLock(array), S_OK);
  EXPECT_EQ(array->cLocks, 2u);
  EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayUnlock(array), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(array), S_OK);
  EXPECT_EQ(SafeArrayUnlock(array), E_UNEXPECTED);
  EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(SafeArray, AnEmptyArrayHasNoDataStorage) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_R8, 0, 0);
  ASSERT_NE(array, nullptr);
  void* data = &data;
  EXPECT_EQ(SafeArrayAccessData(array, &data), S_OK);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(SafeArrayUnaccessData(array), S_OK);
  EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(SafeArray, RefusesOtherElementTypesAndSizesBeyondTheAddressSpace) {
  EXPECT_EQ(SafeArrayCreateVector(VT_I4, 0, 4), nullptr);
  EXPECT_EQ(SafeArrayCreateVector(VT_BSTR, 0, 4), nullptr);
  EXPECT_EQ(SafeArrayCreateVector(VT_R8, 0, 0x20000000u), nullptr);  // 4 GiB
  SAFEARRAYBOUND bounds[2] = {{0x10000, 0}, {0x10000, 0}};
  EXPECT_EQ(SafeArrayCreate(VT_R4, 2, bounds), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_R4, 0, bounds), nullptr);
  EXPECT_EQ(platform::create_unfilled_vector(VT_I4, 4), nullptr);
  EXPECT_EQ(platform::create_unfilled_vector(VT_R8, 0x20000000u), nullptr);
}

// An unfilled vector is a vector from 0 like any other, whose data the
// common calls reach and free.
TEST(SafeArray, AnUnfilledVectorIsAnOrdinaryVector) {
  SAFEARRAY* array = platform::create_unfilled_vector(VT_R4, 5);
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(SafeArrayGetDim(array), 1u);
  EXPECT_EQ(SafeArrayGetElemsize(array), sizeof(float));
  LONG bound = -1;
  EXPECT_EQ(SafeArrayGetLBound(array, 1, &bound), S_OK);
  EXPECT_EQ(bound, 0);
  EXPECT_EQ(SafeArrayGetUBound(array, 1, &bound), S_OK);
  EXPECT_EQ(bound, 4);
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
  ASSERT_NE(data, nullptr);
  for (int i = 0; i < 5; ++i) static_cast<float*>(data)[i] = static_cast<float>(i);
  EXPECT_EQ(SafeArrayUnaccessData(array), S_OK);
  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(array, &copy), S_OK);
  EXPECT_EQ(static_cast<float*>(copy->pvData)[4], 4.0f);
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
  EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

// A lent vector reads the owner's block in place and keeps the owner for
// its life; it never frees the block, and a copy of it owns its own data.
TEST(SafeArray, ALentVectorKeepsItsOwnerAndLeavesTheBlockToIt) {
  CountedObject owner;
  float block[3] = {1.5f, 2.5f, 3.5f};
  VARIANT values;
  VariantInit(&values);
  values.vt = VT_ARRAY | VT_R4;
  values.parray = platform::create_lent_vector(VT_R4, 3, block, &owner);
  ASSERT_NE(values.parray, nullptr);
  EXPECT_EQ(owner.references, 2u);
  EXPECT_EQ(SafeArrayGetElemsize(values.parray), sizeof(float));
  LONG bound = -1;
  EXPECT_EQ(SafeArrayGetUBound(values.parray, 1, &bound), S_OK);
  EXPECT_EQ(bound, 2);
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(values.parray, &data), S_OK);
  EXPECT_EQ(data, block);
  EXPECT_EQ(VariantClear(&values), DISP_E_ARRAYISLOCKED);  // locked: the owner stays held
  EXPECT_EQ(owner.references, 2u);
  EXPECT_EQ(SafeArrayUnaccessData(values.parray), S_OK);

  VARIANT copy;
  VariantInit(&copy);
  ASSERT_EQ(VariantCopy(&copy, &values), S_OK);
  EXPECT_NE(copy.parray->pvData, static_cast<void*>(block));
  EXPECT_EQ(static_cast<float*>(copy.parray->pvData)[2], 3.5f);
  EXPECT_EQ(owner.references, 2u);  // the copy does not hold the owner
  EXPECT_EQ(VariantClear(&values), S_OK);
  EXPECT_EQ(owner.references, 1u);
  static_cast<float*>(copy.parray->pvData)[0] = 9.0f;
  EXPECT_EQ(block[0], 1.5f);
  EXPECT_EQ(VariantClear(&copy), S_OK);
  EXPECT_EQ(owner.references, 1u);
  EXPECT_EQ(block[1], 2.5f);  // still the owner's

  SAFEARRAY* empty = platform::create_lent_vector(VT_R8, 0, nullptr, &owner);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->pvData, nullptr);
  EXPECT_EQ(SafeArrayDestroy(empty), S_OK);
  EXPECT_EQ(owner.references, 1u);
}

TEST(SafeArray, ALentVectorNeedsAnOwnerDataAndAKnownElement) {
  CountedObject owner;
  double block[2] = {};
  EXPECT_EQ(platform::create_lent_vector(VT_R8, 2, block, nullptr), nullptr);
  EXPECT_EQ(platform::create_lent_vector(VT_R8, 2, nullptr, &owner), nullptr);
  EXPECT_EQ(platform::create_lent_vector(VT_I4, 2, block, &owner), nullptr);
  EXPECT_EQ(platform::create_lent_vector(VT_R8, 0x20000000u, block, &owner), nullptr);  // 4 GiB
  EXPECT_EQ(owner.references, 1u);
}

struct NumberCase {
  const char16_t* text;
  LCID locale;
  HRESULT result;
  double value;  // when the result is S_OK
};

class TextToDouble : public testing::TestWithParam<NumberCase> {};

TEST_P(TextToDouble, ReadsTheLocalesNumberForm) {
  const NumberCase& c = GetParam();
  double value = -1.0;
  EXPECT_EQ(VarR8FromStr(c.text, c.locale, 0, &value), c.result);
  EXPECT_EQ(value, c.result == S_OK ? c.value : -1.0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextToDouble,
    testing::Values(NumberCase{u"1.5", kEnglishUS, S_OK, 1.5}, NumberCase{u" -2.25e2 ", kEnglishUS, S_OK, -225.0},
                    NumberCase{u"+7", kEnglishUS, S_OK, 7.0}, NumberCase{u".5", kEnglishUS, S_OK, 0.5},
                    NumberCase{u"5.", kEnglishUS, S_OK, 5.0}, NumberCase{u"1,234.5", kEnglishUS, S_OK, 1234.5},
                    NumberCase{u"1,5", kGerman, S_OK, 1.5},
                    NumberCase{u"1.000,5", kGerman, S_OK, 1000.5},
                    NumberCase{u"1\u00A0000,25", kFrench, S_OK, 1000.25},
                    NumberCase{u"1e-400", kEnglishUS, S_OK, 0.0},
                    NumberCase{u"1e400", kEnglishUS, DISP_E_OVERFLOW, 0.0},
                    NumberCase{u"", kEnglishUS, DISP_E_TYPEMISMATCH, 0.0},
                    NumberCase{u"  ", kEnglishUS, DISP_E_TYPEMISMATCH, 0.0},
                    NumberCase{u"abc", kEnglishUS, DISP_E_TYPEMISMATCH, 0.0},
                    NumberCase{u"1.5x", kEnglishUS, DISP_E_TYPEMISMATCH, 0.0},
                    NumberCase{u"1e", kEnglishUS, DISP_E_TYPEMISMATCH, 0.0},
                    NumberCase{u",5", kEnglishUS, DISP_E_TYPEMISMATCH, 0.0},
                    NumberCase{u"1 5", kEnglishUS, DISP_E_TYPEMISMATCH, 0.0},
                    NumberCase{u"-", kEnglishUS, DISP_E_TYPEMISMATCH, 0.0}));

struct LongCase {
  const char16_t* text;
  LCID locale;
  HRESULT result;
  LONG value;  // when the result is S_OK
};

class TextToLong : public testing::TestWithParam<LongCase> {};

TEST_P(TextToLong, RoundsHalfToEvenWithinThe32BitRange) {
  const LongCase& c = GetParam();
  LONG value = -1;
  EXPECT_EQ(VarI4FromStr(c.text, c.locale, 0, &value), c.result);
  EXPECT_EQ(value, c.result == S_OK ? c.value : -1);
}

INSTANTIATE_TEST_SUITE_P(Cases, TextToLong,
                         testing::Values(LongCase{u"42", kEnglishUS, S_OK, 42}, LongCase{u"2.5", kEnglishUS, S_OK, 2},
                                         LongCase{u"3.5", kEnglishUS, S_OK, 4},
                                         LongCase{u"-2.5", kEnglishUS, S_OK, -2},
                                         LongCase{u"1,5", kGerman, S_OK, 2},
                                         LongCase{u"2147483647", kEnglishUS, S_OK, 2147483647},
                                         LongCase{u"-2147483648", kEnglishUS, S_OK, INT32_MIN},
                                         LongCase{u"2147483648", kEnglishUS, DISP_E_OVERFLOW, 0},
                                         LongCase{u"12abc", kEnglishUS, DISP_E_TYPEMISMATCH, 0},
                                         LongCase{u"", kEnglishUS, DISP_E_TYPEMISMATCH, 0}));

TEST(NumberText, TheDefaultLocaleIsTheUsersLocale) {
  const char* saved = std::getenv("LC_ALL");
  const std::string restore = saved != nullptr ? saved : "";
  double value = 0.0;
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  EXPECT_EQ(VarR8FromStr(u"1,5", LOCALE_USER_DEFAULT, 0, &value), S_OK);
  EXPECT_EQ(value, 1.5);
  setenv("LC_ALL", "en_US.UTF-8", 1);
  EXPECT_EQ(VarR8FromStr(u"1,5", LOCALE_SYSTEM_DEFAULT, 0, &value), S_OK);
  EXPECT_EQ(value, 15.0);  // the comma separates thousands
  if (saved != nullptr) {
    setenv("LC_ALL", restore.c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
}

TEST(NumberText, NullArgumentsAreInvalid) {
  double value;
  LONG number;
  EXPECT_EQ(VarR8FromStr(nullptr, kEnglishUS, 0, &value), E_INVALIDARG);
  EXPECT_EQ(VarR8FromStr(u"1", kEnglishUS, 0, nullptr), E_INVALIDARG);
  EXPECT_EQ(VarI4FromStr(u"1", kEnglishUS, 0, nullptr), E_INVALIDARG);
  EXPECT_EQ(VarI4FromStr(nullptr, kEnglishUS, 0, &number), E_INVALIDARG);
}

struct DateCase {
  SYSTEMTIME time;
  DATE date;
};

class VariantDate : public testing::TestWithParam<DateCase> {};

// Day numbers count from 1899-12-30: 1900-01-01 is day 2, 2000-01-01 is
// day 36526 (36524 days of the 1900s after 1900-01-01, plus 2).
TEST_P(VariantDate, ConvertsBothWays) {
  const DateCase& c = GetParam();
  DATE date = 0.0;
  ASSERT_TRUE(SystemTimeToVariantTime(&c.time, &date));
  EXPECT_DOUBLE_EQ(date, c.date);
  SYSTEMTIME back{};
  ASSERT_TRUE(VariantTimeToSystemTime(c.date, &back));
  EXPECT_EQ(std::memcmp(&back, &c.time, sizeof back), 0)
      << back.wYear << "-" << back.wMonth << "-" << back.wDay << " dow " << back.wDayOfWeek << " " << back.wHour
      << ":" << back.wMinute << ":" << back.wSecond;
}

INSTANTIATE_TEST_SUITE_P(Cases, VariantDate,
                         testing::Values(DateCase{{1899, 12, 6, 30, 0, 0, 0, 0}, 0.0},
                                         DateCase{{1900, 1, 1, 1, 12, 0, 0, 0}, 2.5},
                                         DateCase{{1899, 12, 5, 29, 6, 0, 0, 0}, -1.25},
                                         DateCase{{2000, 1, 6, 1, 0, 0, 0, 0}, 36526.0},
                                         DateCase{{2000, 2, 2, 29, 18, 0, 0, 0}, 36585.75},
                                         DateCase{{100, 1, 5, 1, 0, 0, 0, 0}, -657434.0}));

TEST(VariantDate, RoundsToTheNearestSecondAcrossMidnight) {
  SYSTEMTIME time{};
  ASSERT_TRUE(VariantTimeToSystemTime(36526.0 + 1.6 / 86400.0, &time));
  EXPECT_EQ(time.wSecond, 2);
  ASSERT_TRUE(VariantTimeToSystemTime(36526.0 - 0.2 / 86400.0, &time));
  EXPECT_EQ(time.wYear, 2000);
  EXPECT_EQ(time.wDay, 1);
  EXPECT_EQ(time.wHour, 0);
  EXPECT_EQ(time.wSecond, 0);
}

TEST(VariantDate, RefusesTimesOutsideTheYears100To9999AndImpossibleDays) {
  SYSTEMTIME time{};
  EXPECT_FALSE(VariantTimeToSystemTime(2958466.0, &time));  // 10000-01-01
  EXPECT_FALSE(VariantTimeToSystemTime(2958465.9999999, &time));  // rounds into 10000
  EXPECT_FALSE(VariantTimeToSystemTime(-657435.0, &time));
  DATE date = 0.0;
  const SYSTEMTIME february29{2001, 2, 0, 29, 0, 0, 0, 0};
  EXPECT_FALSE(SystemTimeToVariantTime(&february29, &date));
  const SYSTEMTIME year99{99, 12, 0, 31, 0, 0, 0, 0};
  EXPECT_FALSE(SystemTimeToVariantTime(&year99, &date));
  const SYSTEMTIME hour24{2000, 1, 0, 1, 24, 0, 0, 0};
  EXPECT_FALSE(SystemTimeToVariantTime(&hour24, &date));
}

}  // namespace
