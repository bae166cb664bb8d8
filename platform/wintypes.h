// The basic Windows types the system was written against, declared for the
// 32-bit build: LONG and DWORD are 32 bits, handles and pointers are 32-bit
// addresses, UTF-16 text is char16_t (wchar_t is 32 bits on Linux).
#pragma once
#include <cstddef>
#include <cstdint>

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using SHORT = int16_t;
using USHORT = uint16_t;
using BOOL = int32_t;
using CHAR = char;
using WCHAR = char16_t;
using SIZE_T = uint32_t;
using UINT_PTR = uint32_t;
using LONG_PTR = int32_t;
using DWORD_PTR = uint32_t;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;
using INT_PTR = int32_t;

using LPVOID = void*;
using LPCVOID = const void*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;

using HANDLE = void*;
using HLOCAL = HANDLE;
using HGLOBAL = HANDLE;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

static_assert(sizeof(void*) == 4, "the system's records assume 32-bit addresses");
static_assert(sizeof(long) == 4, "the system's records assume a 32-bit long");

struct HWND__;
using HWND = HWND__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
using FARPROC = void (*)();
struct HDC__;
using HDC = HDC__*;

// A colour 0x00BBGGRR; 0x02 in the top byte makes it palette-relative.
using COLORREF = DWORD;
constexpr COLORREF RGB(BYTE red, BYTE green, BYTE blue) {
  return static_cast<COLORREF>(red) | static_cast<COLORREF>(green) << 8 | static_cast<COLORREF>(blue) << 16;
}
constexpr BYTE GetRValue(COLORREF colour) { return static_cast<BYTE>(colour); }
constexpr BYTE GetGValue(COLORREF colour) { return static_cast<BYTE>(colour >> 8); }
constexpr BYTE GetBValue(COLORREF colour) { return static_cast<BYTE>(colour >> 16); }

struct POINT {
  LONG x;
  LONG y;
};
struct SIZE {
  LONG cx;
  LONG cy;
};
struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};
