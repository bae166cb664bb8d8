// OLE Automation: BSTR strings, VARIANTs, SAFEARRAYs, text-to-number
// conversions under a locale and the variant date.
//
// Everything here crosses module boundaries: a BSTR, VARIANT or SAFEARRAY made
// in the GAML reader module is freed by the converter. So all of it lives on
// the process's C heap and carries no per-module bookkeeping. Layouts are
// those of 32-bit Windows. Callers: the converter front end and the GAML
// reader component.
#pragma once
#include <cstddef>

#include "platform/com.h"
#include "platform/timelocale.h"

// A BSTR points at its first UTF-16 unit; the 4 bytes before it hold the
// length in bytes (without the terminator) and a zero unit follows the text.
// A null BSTR is an empty string for every call here.
using BSTR = OLECHAR*;

BSTR SysAllocString(LPCOLESTR text);
// `length` units copied from `text`, or left zero when `text` is null.
BSTR SysAllocStringLen(LPCOLESTR text, UINT length);
// `length` bytes copied from `bytes`, or left zero when `bytes` is null.
BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length);
// Replace *string by a new string; FALSE, with *string unchanged, when out of memory.
int SysReAllocString(BSTR* string, LPCOLESTR text);
int SysReAllocStringLen(BSTR* string, LPCOLESTR text, UINT length);
void SysFreeString(BSTR string);
UINT SysStringLen(BSTR string);
UINT SysStringByteLen(BSTR string);

using VARTYPE = uint16_t;
constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_R4 = 4;
constexpr VARTYPE VT_R8 = 5;
constexpr VARTYPE VT_DATE = 7;
constexpr VARTYPE VT_BSTR = 8;
constexpr VARTYPE VT_DISPATCH = 9;
constexpr VARTYPE VT_UNKNOWN = 13;
constexpr VARTYPE VT_ARRAY = 0x2000;  // with VT_R4 or VT_R8: a SAFEARRAY of that element

// Days since 1899-12-30 00:00; the fraction is the time of day (for days
// before that, the fraction counts forward from the start of the day).
using DATE = double;

// Safe array bound, 8 bytes.
//   0  4  number of elements
//   4  4  lower bound
struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};
static_assert(sizeof(SAFEARRAYBOUND) == 8);

// Safe array descriptor, 16 bytes plus 8 per dimension. Bounds are stored
// last dimension first, as on Windows.
//   0  2  number of dimensions
//   2  2  feature flags
//   4  4  element size in bytes
//   8  4  lock count
//  12  4  address of the data (null when the array has no elements)
//  16  8  bounds, one per dimension
struct SAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
};
static_assert(sizeof(SAFEARRAY) == 24);
static_assert(offsetof(SAFEARRAY, pvData) == 12);
// Feature flag: the data is not the array's own, and is not freed with it.
constexpr USHORT FADF_STATIC = 0x0002;

// Variant, 16 bytes: the type in the first 2 bytes, the value at byte 8.
struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONG lVal;
    float fltVal;
    double dblVal;
    DATE date;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    SAFEARRAY* parray;
  };
};
static_assert(sizeof(VARIANT) == 16);
static_assert(offsetof(VARIANT, dblVal) == 8);

// The arguments of IDispatch::Invoke, 16 bytes: the positional arguments
// last one first, then the named ones, whose DISPIDs the second field gives.
//   0  4  arguments
//   4  4  DISPIDs of the named arguments
//   8  4  number of arguments
//  12  4  number of named arguments
struct DISPPARAMS {
  VARIANT* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};
static_assert(sizeof(DISPPARAMS) == 16);

// Kinds of an Invoke call; a property get may come with the method bit too.
constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
constexpr DISPID DISPID_UNKNOWN = -1;

void VariantInit(VARIANT* variant);
// Frees what the variant owns (string, interface reference, array) and leaves it VT_EMPTY.
HRESULT VariantClear(VARIANT* variant);
// Clears `destination`, then makes it an independent copy of `source`.
HRESULT VariantCopy(VARIANT* destination, const VARIANT* source);

// Arrays of VT_R4 or VT_R8 elements; another element type gives null. The
// data starts zero-filled.
SAFEARRAY* SafeArrayCreate(VARTYPE element_type, UINT dimensions, SAFEARRAYBOUND* bounds);
SAFEARRAY* SafeArrayCreateVector(VARTYPE element_type, LONG lower_bound, ULONG count);
HRESULT SafeArrayCopy(SAFEARRAY* source, SAFEARRAY** copy);
namespace platform {
// A vector from 0 whose data is not cleared, for a caller that fills every
// element before the array is read: a large block is then written once.
SAFEARRAY* create_unfilled_vector(VARTYPE element_type, ULONG count);
// A vector from 0 over `count` elements at `data`, which `owner` keeps: the
// array holds a reference on the owner while it lives, never frees the data,
// and copies of it have data of their own. For a server that lends a block
// it keeps to callers that only read it.
SAFEARRAY* create_lent_vector(VARTYPE element_type, ULONG count, void* data, IUnknown* owner);
}  // namespace platform
// DISP_E_ARRAYISLOCKED while the array is locked.
HRESULT SafeArrayDestroy(SAFEARRAY* array);
HRESULT SafeArrayLock(SAFEARRAY* array);
HRESULT SafeArrayUnlock(SAFEARRAY* array);  // E_UNEXPECTED when not locked
HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
UINT SafeArrayGetDim(SAFEARRAY* array);
UINT SafeArrayGetElemsize(SAFEARRAY* array);
// Dimensions count from 1 (the first index of the element); DISP_E_BADINDEX outside.
HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dimension, LONG* bound);
HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dimension, LONG* bound);

// Text to number as Automation reads it under a locale (the two default ids
// stand for the user's locale): blanks around the
// number, an optional sign, digits with the locale's thousands separator in
// the integer part, the locale's decimal separator, an optional exponent.
// DISP_E_TYPEMISMATCH for anything else (empty text included), DISP_E_OVERFLOW
// beyond the type's range. VarI4FromStr rounds a fraction half to even.
// `flags` are accepted and not used.
HRESULT VarR8FromStr(LPCOLESTR text, LCID locale, ULONG flags, double* value);
HRESULT VarI4FromStr(LPCOLESTR text, LCID locale, ULONG flags, LONG* value);

// Between a variant date and calendar time, for the years 100 to 9999; FALSE
// outside them or for a calendar time that does not exist. Dates become whole
// seconds (rounded to the nearest) with milliseconds 0; the day of week of a
// calendar time is ignored on the way in and filled in on the way out.
int SystemTimeToVariantTime(const SYSTEMTIME* time, DATE* date);
int VariantTimeToSystemTime(DATE date, SYSTEMTIME* time);
