// Platform utilities: the exported functions and records of the DLL and
// resource-instance table with its resource loaders, associated strings,
// string and number helpers, dates and stored time (GU4), configuration
// files (GU6), international settings, language DLL and help (GUX), the
// registry, bench settings, wheel descriptions and file associations (GU9),
// the printing state (GU8), fonts, pens and palettes (GU6), and bitmaps,
// property sheets and bitmap scaling (GU4, GU, SCL).
#pragma once
#include <cstdint>

#include "core/core.h"
#include "platform/com.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/memory.h"
#include "platform/resources.h"
#include "platform/registry.h"
#include "platform/security.h"
#include "platform/user.h"
#include "platform/wintypes.h"

// ---------------------------------------------------------------------------
// DLL and resource-instance table (GU4)

constexpr uint16_t GU4_DLL_TABLE_SIZE = 60;
constexpr uint16_t GU4_DLL_NAME_LENGTH = 12;

// DLL-table entry, 34 bytes.
//   0 13  file name with extension, at most 12 characters, terminated
//  14  4  module instance (0 = free entry)
//  18  2  load count: registrations made with the loaded-by-library flag
//  20  2  resource instance: 1 = searched by the resource functions
//  22  8  file version: major, minor, third, fourth
//  30  2  version checked
//  32  2  needs secondary init
#pragma pack(push, 2)
struct GU4_DLLINST {
  char name[GU4_DLL_NAME_LENGTH + 1];
  HINSTANCE instance;
  uint16_t load_count;
  uint16_t resource_instance;
  uint16_t version[4];
  uint16_t version_checked;
  uint16_t needs_secondary_init;
};
#pragma pack(pop)
static_assert(sizeof(GU4_DLLINST) == 34);

APEXPORT uint16_t GU4_AddDLLInst(const char* path, HINSTANCE instance, uint16_t loaded_by_library);
APEXPORT uint16_t GU4_RemoveDLLInst(HINSTANCE instance);
APEXPORT HINSTANCE GU4_GetDLLInst(const char* name);
APEXPORT uint16_t GU4_GetDLLName(HINSTANCE instance, char* buffer);
APEXPORT uint16_t GU4_IsDLLDynamicallyLoaded(HINSTANCE instance);
APEXPORT uint16_t GU4_IsSearchingAll(HINSTANCE instance);
APEXPORT uint16_t GU4_RequiresSecondaryInit(const char* name);
APEXPORT uint16_t GU4_ExecuteAllSecondaryInitFunctions();
APEXPORT uint16_t GU4_FreeAllDLL();
APEXPORT uint16_t GU4_AddAppInstByDLLInst();
APEXPORT void GU4_SetResourceInstance();
APEXPORT uint16_t GU4_AddResourceInstance(HINSTANCE instance);
APEXPORT HINSTANCE GU4_GetResourceInstance(int16_t index);

APEXPORT uint16_t GU4_GetVersionInfo(HINSTANCE instance, char* text, uint16_t* major, uint16_t* minor,
                                     uint16_t* third, uint16_t* fourth);
APEXPORT uint16_t GU4_GetFileVersion_ByFilename(const char* path, uint16_t* major, uint16_t* minor, uint16_t* third,
                                                uint16_t* fourth);
APEXPORT uint16_t GU4_GetFileVersionString(HINSTANCE instance, char* buffer, uint16_t size);
APEXPORT uint16_t GU4_SetLevelForDllVersionVerification(uint16_t level);
APEXPORT uint16_t GU4_SetDLLVersionVerified(HINSTANCE instance, uint16_t flag);
APEXPORT uint16_t GU4_CheckDllVersions(HINSTANCE instance);

// Resource search over the resource instances, newest first. The Find
// functions keep the position of the search in the caller's index.
APEXPORT HINSTANCE GU4_FindTranslatedResource(const char* name, const char* type);
APEXPORT HRSRC GU4_FindFirstResource(HINSTANCE* instance, const char* name, const char* type, int16_t* index);
APEXPORT HRSRC GU4_FindNextResource(HINSTANCE* instance, const char* name, const char* type, int16_t* index);

APEXPORT uint16_t GU4_AddToExeTable(HINSTANCE instance, HWND window, uint32_t object);
APEXPORT uint16_t GU4_SetExeInfoByInst(HINSTANCE instance, HWND window, uint32_t object);
APEXPORT uint16_t GU4_GetExeInfoByInst(HINSTANCE instance, HWND* window, uint32_t* object);
APEXPORT uint16_t GU4_GetExeInfoByHWnd(HINSTANCE* instance, HWND window, uint32_t* object);
APEXPORT uint16_t GU4_GetExeInfoByGlobalObj(HINSTANCE* instance, HWND* window, uint32_t object);
APEXPORT uint16_t GU4_RemoveExeOwnerTask(HWND window, HINSTANCE instance);

APEXPORT uint16_t GU4_SupportsSecurityServices();

// Resource loaders: the first resource module in search order that has the
// resource; the menu, icon, cursor, accelerator and bitmap loaders then ask
// the system's own resources. The dialog-box loader goes on to the next
// module while the dialog reports failure (-1), and answers -1 at the end.
APEXPORT HACCEL GU4_LoadAccelerators(const char* name);
APEXPORT HMENU GU4_LoadMenu(const char* name);
APEXPORT HBITMAP GU4_LoadBitmap(const char* name);
APEXPORT HCURSOR GU4_LoadCursor(const char* name);
APEXPORT HICON GU4_LoadIcon(const char* name);
APEXPORT HWND GU4_CreateDialogParam(const char* dialog, HWND parent, DLGPROC procedure, LPARAM parameter);
APEXPORT INT_PTR GU4_DialogBoxParam(const char* dialog, HWND parent, DLGPROC procedure, LPARAM parameter);
// Sends WM_MDICREATE to the client with the structure's owner instance set
// to the first resource module that has its window class; 0 when none has.
APEXPORT HWND GU4_MDICreate(HWND mdi_client, MDICREATESTRUCTA* create);

// The next resource module of the search after position `*index`
// (GU4_DLL_TABLE_SIZE to start), newest first; null at the end.
HINSTANCE gu4_NextResourceModule(int16_t* index);

// ---------------------------------------------------------------------------
// Associated strings (GU4)

// STRGRP resource: records of u16 number (0xFFFF ends the list), terminated
// text, u16 extra value, packed without alignment, little-endian.
constexpr const char* GU4_STRGRP = "STRGRP";
constexpr uint16_t GU4_STRGRP_END = 0xFFFF;

APEXPORT uint16_t GU4_SetStringTranslation(uint16_t flag);
APEXPORT const char* GU4_GetAssocString(uint16_t group, uint16_t number, HINSTANCE instance, uint16_t* extra);
APEXPORT int32_t GU4_GetAssocNumber(uint16_t group, const char* text, HINSTANCE instance, uint16_t* extra);
APEXPORT const char* GU4_GetAssocIndex(uint16_t group, int32_t position, HINSTANCE instance);
APEXPORT int32_t GU4_GetAssocCount(uint16_t group, HINSTANCE instance);
APEXPORT int32_t GU4_GetAssocCountNoDup(uint16_t group, HINSTANCE instance);
APEXPORT char* GU4_GetString(uint16_t id, char* buffer, int32_t size);

// ---------------------------------------------------------------------------
// Strings, numbers and tokenising (GU4)

constexpr int16_t GU4_NOT_A_NUMBER = 0;
constexpr int16_t GU4_SIGNED_INTEGER = 2;
constexpr int16_t GU4_UNSIGNED_INTEGER = 3;
constexpr int16_t GU4_DECIMAL_NUMBER = 4;
constexpr int16_t GU4_EXPONENT_NUMBER = 5;

APEXPORT int16_t GU4_IsNumber(const char* text);
APEXPORT uint16_t GU4_String2Int(const char* text, void* out, uint16_t size);
APEXPORT int32_t GU4_atol(const char* text);
APEXPORT char* GU4_itoa(int16_t value, char* buffer, int16_t radix);
APEXPORT char* GU4_ltoa(int32_t value, char* buffer, int16_t radix);
APEXPORT float GU4_modf(float value, double* integral);
// "%e" as the library's run-time writes it: the exponent has at least three
// digits (1.000000e+003); infinities and NaNs as "%e" gives them. The buffer
// holds GU4_EXPONENT_TEXT_SIZE bytes.
constexpr uint32_t GU4_EXPONENT_TEXT_SIZE = 32;
void gu4_FormatExponent(double value, char* out);

APEXPORT char* GU4_Strncpy(char* dest, const char* src, uint32_t n);
APEXPORT int32_t GU4_Prepend(char* str, const char* prefix, uint32_t size);
APEXPORT int32_t GU4_Strip(char* str, char ch);
APEXPORT uint8_t GU4_ASCIIZ2Pascal(const char* src, uint8_t* dest);
APEXPORT uint8_t GU4_Pascal2ASCIIZ(const uint8_t* src, char* dest);
APEXPORT uint32_t GU4_CharCount(const char* text);
APEXPORT uint16_t GU4_CharWidthInBytes(const char* p);

APEXPORT char* GU4_StrChr(const char* text, int ch);
APEXPORT char* GU4_StrPbrk(const char* text, const char* set);
APEXPORT uint32_t GU4_strspn(const char* text, const char* set);
APEXPORT uint16_t GU4_StrStr(const char* text, const char* part);
APEXPORT char* GU4_StrTok(char* text, const char* delimiters);
APEXPORT char* GU4_StrTokSafe(char* text, const char* delimiters);
APEXPORT char* GU4_StrnTok(char* text, const char* delimiters, uint32_t n);
// Each field buffer must hold the line's length and a terminator: a field
// never holds more than the line.
APEXPORT int16_t Parse(const char* line, char** fields, char delimiter);
APEXPORT char* SkipLeadingSpaces(const char* text);
APEXPORT char* TrimLeadingSpaces(char* text);
APEXPORT char* TrimTrailingSpaces(char* text);

// ---------------------------------------------------------------------------
// Dates and stored time (GU4, GU12)

// Stored time: u32 seconds since 1899-12-31 00:00 local time; calendar time:
// 64-bit seconds since 1970-01-01 00:00 UTC. A time that stored time cannot
// hold (before 1899-12-31 00:00 UTC, or from 2036-02-06 06:28:15 UTC on) converts to
// GU4_TIME_INVALID.
using GU4_TIME = uint32_t;
using GU4_CALTIME = int64_t;
constexpr int64_t GU4_TIME_OFFSET = 2209075200LL;  // 25,568 days
constexpr GU4_TIME GU4_TIME_INVALID = 0xFFFFFFFF;

// Broken-down time, nine 32-bit integers, 36 bytes.
//   0 seconds   4 minutes   8 hours   12 day of month 1-31   16 month 0-11
//  20 years since 1900   24 weekday 0-6   28 day of year   32 daylight flag
struct GU4_TM {
  int32_t tm_sec;
  int32_t tm_min;
  int32_t tm_hour;
  int32_t tm_mday;
  int32_t tm_mon;
  int32_t tm_year;
  int32_t tm_wday;
  int32_t tm_yday;
  int32_t tm_isdst;
};
static_assert(sizeof(GU4_TM) == 36);

// Flags of GU4_Time2StringSafe.
constexpr uint16_t GU4_TIMEFMT_LONG1 = 1;
constexpr uint16_t GU4_TIMEFMT_LONG2 = 2;
constexpr uint16_t GU4_TIMEFMT_NUMERIC = 16;
constexpr uint16_t GU4_TIMEFMT_MONTHNAME = 32;
constexpr uint16_t GU4_TIMEFMT_NUMERICDATE = 64;
constexpr uint16_t GU4_TIMEFMT_HOURONLY = 128;
constexpr uint16_t GU4_TIMEFMT_NOZONE = 0x100;

constexpr uint16_t GU4_GROUP_WEEKDAYS = 15084;
constexpr uint16_t GU4_GROUP_MONTHS = 15085;

APEXPORT GU4_TIME GU4_SystemTime();
APEXPORT GU4_CALTIME GU4_Timeout(GU4_TIME time);
APEXPORT GU4_TIME GU4_tm2Time(const GU4_TM* tm);
APEXPORT GU4_TM* GU4_localtime(const GU4_CALTIME* calendar);
APEXPORT uint32_t GU4_DiffTime(GU4_TIME a, GU4_TIME b);
APEXPORT GU4_TIME GU4_String2Time();
APEXPORT char* GU4_Time2StringSafe(GU4_TIME time, char* buffer, uint16_t flags, uint32_t size);
APEXPORT char* GU4_Time2String(GU4_TIME time, char* buffer, uint16_t flags);
APEXPORT uint16_t GU4_DateStr2Struct(const char* text, GU4_TM* tm);
APEXPORT uint32_t GU12_DosGetDateTime(const char* path);
APEXPORT void GU12_GetDateTime(uint32_t* out);

// ---------------------------------------------------------------------------
// Configuration files (GU4, GU6)

constexpr uint16_t GU6_CONFIG_VALUE_LENGTH = 260;  // a value buffer holds 261 bytes
constexpr uint16_t GU6_KEY_LIST_SIZE = 255;

APEXPORT uint16_t GU4_SetIniFileForTask(const char* name);
APEXPORT uint16_t GU4_GetIniFileForTask(char* buffer, uint16_t size);
APEXPORT uint16_t GU6_SetCfgFile(const char* name);
APEXPORT uint16_t GUX_SwapIniFile(uint16_t flag);
APEXPORT char* GU6_GetConfig(const char* section, const char* key, char* buffer);
APEXPORT char* GU6_GetConfigTALVO(const char* section, const char* key, char* buffer);
APEXPORT int32_t GU6_GetConfigInt(const char* section, const char* key, int32_t default_value);
APEXPORT int32_t GU6_SetConfig(const char* section, const char* key, const char* value);
APEXPORT int32_t GU6_DeleteConfig(const char* section, const char* key);
APEXPORT char* GU6_StartEnumList(const char* section);
APEXPORT char* GU6_NextEnumList(const char* p);
APEXPORT uint16_t GU6_MaxEnumList(const char* list);
APEXPORT void GU6_GetOldLoginIniFilename(char* buffer, uint16_t size);

// ---------------------------------------------------------------------------
// International settings, language DLL and help (GUX)

constexpr uint16_t GUX_DECIMAL = 1;
constexpr uint16_t GUX_LIST = 2;
constexpr uint16_t GUX_THOUSANDS = 3;
constexpr uint16_t GUX_GROUP_HELPFILES = 11000;

APEXPORT uint16_t GUX_InitInternationalChars();
APEXPORT char GUX_GetInternationalChar(uint16_t index);
APEXPORT uint16_t GUX_SetInternationalChar(char ch, uint16_t index);
APEXPORT void GUX_ChangeUSDecimalToInternat(char* text);
APEXPORT void GUX_ChangeInternatDecimalToUS(char* text);
APEXPORT void GUX_FixDecimalChar(char* text);
APEXPORT uint16_t GUX_IsMeasurementEnglish();
APEXPORT uint16_t GUX_GetInternatLangAbbrev(char* buffer, uint16_t size);
APEXPORT uint16_t GUX_TranslateFileName(char* name);
APEXPORT uint16_t GUX_LoadInternatDLL(const char* base_name);
APEXPORT uint16_t GUX_BuildHelpName(const char* directory, char* out, uint16_t size);

// Help in the user's language: the help file named by associated string
// group 11000, opened in the alternate help folder of the configuration,
// then in the product's folder; a topic text comes from group helpFile +
// 200. The help system's result, non-zero on success.
constexpr uint16_t GUX_NO_HELPFILE = 0xFFFF;
constexpr uint16_t GUX_GROUP_HELPTOPICS_OFFSET = 200;
APEXPORT uint16_t GUX_LaunchInternatHelpEx(HWND window, UINT command, uint16_t help_file, uint32_t data,
                                           uint32_t extra);
APEXPORT uint16_t GUX_LaunchInternatHelp(HWND window, UINT command, uint16_t help_file, uint32_t data);
APEXPORT uint16_t GUX_LaunchInternatHelpByFile(HWND window, UINT command, uint16_t help_file, const char* base_name,
                                               uint32_t data, uint32_t extra);
APEXPORT BOOL GUX_WinHelp(HWND window, const char* file, UINT command, uint32_t data);

// The product folder (registry value "Directory" of the product key); false
// when absent or empty.
bool gux_ProductDirectory(char* directory, size_t size);
// directory + '\' (when missing; none after an empty directory) + the name
// parts, bounded by the buffer: false when it does not fit.
bool gux_JoinPath(char* out, size_t size, const char* directory, const char* base, const char* middle,
                  const char* tail);

// ---------------------------------------------------------------------------
// Registry, bench settings, wheel descriptions and file associations (GU9)

constexpr const char* GU9_TALVO_KEY = "SOFTWARE\\Corvane Instrument\\Talvo";
constexpr const char* GU9_BENCH_KEY = "SOFTWARE\\Corvane Instrument\\Bench";
constexpr uint16_t GU9_PATH_SIZE = 260;
constexpr uint16_t GU9_WHEEL_SCREEN = 16126;
constexpr uint16_t GU9_WHEEL_FIRST_FILTER = 16127;
constexpr uint16_t GU9_WHEEL_SECOND_FILTER = 16128;

APEXPORT HKEY GU9_RegOpenKey(const char* path, HKEY root, REGSAM access);
APEXPORT uint16_t GU9_RegCloseKey(HKEY key);
APEXPORT uint16_t GU9_RegEnumKey(HKEY key, uint32_t index, char* buffer, uint32_t size);
APEXPORT uint16_t GU9_GetKeyValue(const char* path, const char* name, HKEY root, uint32_t size, void* buffer);
APEXPORT uint16_t GU9_GetDWordKeyValue(const char* path, const char* name, HKEY root, uint32_t* out);
APEXPORT uint16_t GU9_GetKeyStringValue(const char* path, const char* name, HKEY root, uint32_t size, char* buffer);
APEXPORT uint16_t GU9_SetDWordKeyValue(const char* path, const char* name, const uint32_t* value, uint32_t size);
APEXPORT uint16_t GU9_SetStringKeyValue(const char* path, const char* name, const char* data, uint32_t size);
APEXPORT void GU9_CreateKey(const char* path, const char* subkey);
APEXPORT uint16_t GU9_DeleteKey(const char* path, const char* subkey);
APEXPORT uint16_t GU9_DeleteValue(const char* path, const char* name);

APEXPORT char* GU9_BenchGetKey(const char* section, const char* key, char* buffer, uint32_t size);
APEXPORT uint16_t GU9_BenchGetKeyDWord(const char* section, const char* key, uint32_t default_value, uint32_t* out);
APEXPORT uint16_t GU9_BenchGetKeyInt(const char* section, const char* key, int32_t default_value, int32_t* out);
APEXPORT uint16_t GU9_BenchGetKeyBool(const char* section, const char* key, uint16_t default_value, uint16_t* out);
APEXPORT uint16_t GU9_BenchGetKeyFloat(const char* section, const char* key, float default_value, float* out);
APEXPORT uint16_t GU9_BenchSetKeyInt(const char* section, const char* key, const int32_t* value);
APEXPORT uint16_t GU9_BenchSetKey(const char* section, const char* key, const char* data, uint32_t size);

APEXPORT uint16_t GU9_GetWheelPosDescription(uint16_t wheel_id, int16_t position, char* buffer, uint16_t size,
                                             uint16_t* flag);
APEXPORT uint16_t GU9_SetWheelPosDescription(uint16_t wheel_id, int16_t position, const char* text);

APEXPORT void GU9_CreateFileAssocExt(const char* extension, const char* class_name);
APEXPORT void GU9_CreateFileAssocClass(const char* class_name, const char* description, const char* exe_path,
                                       const char* arguments, const char* dde_application, const char* dde_topic,
                                       const char* open_dde, const char* open_if_exec, const char* print_dde,
                                       const char* print_if_exec, int16_t icon_index);
APEXPORT void GU9_SetAssociationsToApp(const char* exe_path, const char* dde_application, const char* dde_topic,
                                       int16_t icon_index);
APEXPORT void GU9_SetAssociationsToKX(const char* exe_path, const char* dde_application, const char* dde_topic,
                                      int16_t icon_index);
APEXPORT uint16_t GU9_IsFileTypeClassThisExe(const char* class_name, const char* exe_path);
APEXPORT uint16_t GU9_CheckFileTypeClassExists(const char* class_name);

// ---------------------------------------------------------------------------
// File-open redirection: a host may hand in an object through which the
// native file layer opens and closes its files.

// Slot order as the host's object has it: the three IUnknown operations,
// then CreateFile and CloseHandle with the system calls' arguments.
class IVlRedirectFileAccess : public IUnknown {
 public:
  virtual HANDLE CreateFile(LPCSTR name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                            DWORD disposition, DWORD flags, HANDLE template_file) = 0;  // slot 3
  virtual BOOL CloseHandle(HANDLE file) = 0;                                          // slot 4
};

APEXPORT uint16_t APX_TurnonFileRedirection(IVlRedirectFileAccess* object);
APEXPORT HANDLE APX_RedirectCreateFile(LPCSTR name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                                       DWORD disposition, DWORD flags, HANDLE template_file);
APEXPORT BOOL APX_RedirectCloseHandle(HANDLE file);

// ---------------------------------------------------------------------------
// Paths, files, disk space and file security (GU4, GU12)

// Paths are at most MAX_PATH (260) bytes with the terminator; '\' and '/'
// both separate folders.

// Sizes of the parts of a path: drive "X:", folder, name and extension, each
// with its terminator.
constexpr uint32_t GU4_DRIVE_SIZE = 3;
constexpr uint32_t GU4_DIR_SIZE = 256;
constexpr uint32_t GU4_FNAME_SIZE = 256;
constexpr uint32_t GU4_EXT_SIZE = 256;

// Splits a path into drive, folder (with its trailing separator), name and
// extension (with its '.'); null outputs are skipped. The Safe forms copy at
// most size - 1 bytes of each part and always terminate it; the others
// assume outputs of the sizes above. GU4_splitpath and GU4_splitpathsafe
// fill an empty drive with the current one (none while the current folder
// lies outside the drives), but not for a network path ("\\server\share").
APEXPORT void GU4_splitpathtrue(const char* path, char* drive, char* dir, char* name, char* ext);
APEXPORT void GU4_splitpath(const char* path, char* drive, char* dir, char* name, char* ext);
APEXPORT void GU4_splitpathtrueSafe(const char* path, char* drive, char* dir, char* name, char* ext,
                                    uint32_t drive_size, uint32_t dir_size, uint32_t name_size, uint32_t ext_size);
APEXPORT void GU4_splitpathsafe(const char* path, char* drive, char* dir, char* name, char* ext,
                                uint32_t drive_size, uint32_t dir_size, uint32_t name_size, uint32_t ext_size);
// Joins the parts into `path` of MAX_PATH bytes; a path that would not fit
// comes out empty rather than cut.
APEXPORT void GU4_makepath(char* path, const char* drive, const char* dir, const char* name, const char* ext);

// Just after the last ':' or separator; the path itself when there is none.
APEXPORT char* GU12_GetFileNamePtrA(const char* path);
APEXPORT WCHAR* GU12_GetFileNamePtrW(const WCHAR* path);
// The last '.' when only characters a file name may hold follow it, else
// the end of the text.
APEXPORT char* GU12_GetFileNameExtensionPtrA(const char* path);
APEXPORT WCHAR* GU12_GetFileNameExtensionPtrW(const WCHAR* path);
// Up to and including the last ':' or separator; the root with its
// separator. The length, or 0 with `out` emptied when there is none or it
// does not fit `size`.
APEXPORT uint32_t GU12_GetPathNameFromFilePath(const char* path, char* out, uint32_t size);
APEXPORT uint32_t GU12_GetRootPathFromFilePath(const char* path, char* out, uint32_t size);

// Search record of GU4_FindFirst and GU4_FindNext, 280 bytes, the run-time
// library's layout.
//   0    4  attributes (FILE_ATTRIBUTE_*)
//   4    4  creation time, seconds since 1970-01-01 00:00 UTC (-1 when not
//           representable)
//   8    4  last access time, the same way
//  12    4  last write time, the same way
//  16    4  size in bytes, 0xFFFFFFFF for 4 GB and more
//  20  260  name, terminated
struct GU4_FINDDATA {
  uint32_t attrib;
  int32_t time_create;
  int32_t time_access;
  int32_t time_write;
  uint32_t size;
  char name[MAX_PATH];
};
static_assert(sizeof(GU4_FINDDATA) == 280);

// One search for the whole process: GU4_FindFirst closes the one still open.
// The attributes are those of the callers' interface; every entry that
// matches the pattern is listed. 0 for an entry found, -1 otherwise.
APEXPORT int32_t GU4_FindFirst(const char* pattern, uint32_t attributes, GU4_FINDDATA* data);
APEXPORT int32_t GU4_FindNext(GU4_FINDDATA* data);
APEXPORT uint16_t GU4_FindClose();

// The run-time library's results: 0 on success, -1 with errno set (ENOENT,
// EACCES, EEXIST, or EINVAL for anything else, null paths too).
APEXPORT int32_t GU4_remove(const char* path);
APEXPORT int32_t GU4_rename(const char* old_path, const char* new_path);
APEXPORT int32_t GU4_mkdir(const char* path);

// 1 when the file opens for reading; a bare name is also looked for in the
// Windows directory.
APEXPORT uint16_t GU4_DoesFileExist(const char* path);
// 1 when the file opens for reading or is in use by another open.
APEXPORT uint16_t GU12_DoesFileExist(const char* path);
APEXPORT uint16_t GU4_WildcardFileExists(const char* pattern);
// 1 when a file or folder of that name exists.
APEXPORT uint16_t GU4_Access(const char* path);

// 1 when the name holds none of < > " * / : ? \ |; with `fix` each of them
// is replaced by '_' (the result stays 0).
APEXPORT uint16_t GU12_ValidateFileName(char* name, uint16_t fix);
// Appends '\' when the path does not end in a separator: the new length,
// the unchanged length when it already ends in one, 0 for an empty path or
// no room in `size` bytes.
APEXPORT uint32_t GU12_AddSlashToPathName(char* path, uint32_t size);
// Gives the path the extension `ext` (with or without its '.') unless it
// has it already, ignoring case: the new length, 0 when it would not fit
// (the path is then left as it was).
APEXPORT uint32_t GU12_AddExtensionToPathName(char* path, uint32_t size, const char* ext);
// The full path name; 1 when it fits `size`.
APEXPORT uint16_t GU12_QualifyPath(const char* path, char* out, uint32_t size);
// The folder of the module's file (of the program for a null module), with
// its trailing separator: the length, or 0.
APEXPORT uint32_t GU12_GetModulePath(HMODULE module, char* out, uint32_t size);
APEXPORT uint32_t GU4_GetModulePath(char* out, uint32_t size);
// The short form of an existing path: its length, or 0 when there is none
// or it does not fit.
APEXPORT uint32_t GU4_GetShortPathName(const char* path, char* out, uint32_t size);
// The long form of a path with a drive, each part holding a '~' replaced by
// the name the file system stores; a path without a drive is copied as it
// is. 1 when built, 0 (with `out` emptied) when it does not fit `size`.
APEXPORT uint16_t GU4_GetLongPathName(const char* short_path, uint32_t size, char* out);

// Wildcard match of a file name: '*' any run of characters up to a '.' (a
// lone "*" matches every name), '?' one character, letters without regard
// to case; a '.' that ends the name may be left out of the pattern, and a
// pattern's trailing '.' may stand for no extension.
APEXPORT uint16_t GU12_IsMatchWildCard(const char* pattern, const char* name);

// "1.50 KB": bytes, KB, MB or GB with 2, 1 or 0 decimals as the scaled value
// is below 10, below 100 or more; whole bytes as "100 Bytes". `out` holds
// GU12_FILESIZE_TEXT_SIZE bytes, enough for every size.
constexpr uint32_t GU12_FILESIZE_TEXT_SIZE = 16;
APEXPORT char* GU12_FileSizeToString(uint64_t size, char* out);

// Grants `access_mask` to `sid` on the file, keeping the other entries of
// its access list; 1 on success. A failed step is named on the debugger
// output. GU12_SetWideOpenAccess grants GENERIC_ALL to everyone (S-1-1-0).
APEXPORT uint16_t GU12_AddAccessAllowedAce(const char* path, PSID sid, DWORD access_mask);
APEXPORT uint16_t GU12_SetWideOpenAccess(const char* path);

// The current drive, 1 for A:, 0 while the current folder lies outside the
// drives; making a drive current answers 1 on success.
APEXPORT int32_t GU4_GetCurrentWorkingDrive();
APEXPORT uint16_t GU4_SetDrive(int32_t drive);

// Free bytes of the path's disk, 0 when they cannot be measured.
APEXPORT uint64_t GU4_GetDiskFreeSpace(const char* path);
// Free or total bytes divided by `unit` (0: bytes), 0xFFFFFFFF above what 32
// bits hold, 0 when they cannot be measured.
APEXPORT uint32_t GU12_GetDiskFreeSpace(const char* path, uint32_t unit);
APEXPORT uint32_t GU12_GetDiskTotalSpace(const char* path, uint32_t unit);
// The temporary folder, checked by creating and deleting a file in it; `out`
// holds MAX_PATH bytes.
APEXPORT uint16_t GU12_GetValidSysTempPath(char* out);

// ---------------------------------------------------------------------------
// Printing state (GU8)

// Print flag values.
constexpr int16_t GU8_PRINT_COLOUR = 1;
constexpr int16_t GU8_PRINT_MONOCHROME_COPY = 2;
constexpr int16_t GU8_PRINT_UNSCALED = 3;
constexpr int16_t GU8_PRINT_MONOCHROME_COPY_UNCLIPPED = 4;
// Kind of GU8_GetIC and GU8_GetDCorIC: the default printer (or the print
// DC); any other kind gives a new display information context that the
// caller deletes.
constexpr int16_t GU8_DEFAULT_PRINTER = 1;

APEXPORT void GU8_InitPrintVars(HWND window, HDC dc, uint32_t width, uint32_t height, int16_t flag);
APEXPORT void GU8_NullPrintVars();
APEXPORT int16_t GU8_SetPrtFlag_PRN(HWND window, int16_t flag);
APEXPORT uint16_t GU8_StartPrinting_PRN();
APEXPORT int16_t GU8_DonePrinting_PRN();
// The flag while the window or one of its ancestors is the print window.
APEXPORT int16_t GU8_IsPrinting_PRN(HWND window);
APEXPORT int16_t GU8_AdjustXOffset_PRN(HWND window, int32_t x);
APEXPORT int16_t GU8_AdjustYOffset_PRN(HWND window, int32_t y);
APEXPORT int32_t GU8_InvalidateRect_PRN(HWND window, BOOL erase);
APEXPORT BOOL GU8_SetWindowPos_PRN(HWND window, HWND after, int32_t x, int32_t y, int32_t cx, int32_t cy,
                                   UINT flags);
APEXPORT HDC GU8_GetDC(HWND window);
APEXPORT int32_t GU8_ReleaseDC(HWND window, HDC dc);
// 1 when the clip region of the print DC was set.
APEXPORT uint16_t GU8_ClipData(HWND window, int32_t x, int32_t y, int32_t width, int32_t height);
APEXPORT uint16_t GU8_UnClip(HWND window);
APEXPORT uint16_t GU8_SetAbortFlag(uint16_t flag);
APEXPORT uint16_t GU8_IsPrintAborted(HWND window);
APEXPORT HDC GU8_GetIC(int16_t kind);
APEXPORT HDC GU8_GetDCorIC(int16_t kind);
// The device name in the string space, null when none.
APEXPORT char* GU8_GetCurrentDeviceName();
APEXPORT uint16_t GU8_SetCurrentDeviceName(const char* name);

// The DC of the print job, whatever window is printed; null when none.
HDC gu8_PrintDC();

// ---------------------------------------------------------------------------
// Fonts, pens and palettes (GU6)

constexpr uint16_t GU6_FONT_TABLE_SIZE = 25;
constexpr int16_t GU6_FIRST_DYNAMIC_FONT = 100;
constexpr int16_t GU6_LAST_HANDED_OUT_FONT = 114;
constexpr int16_t GU6_FIRST_PRINTER_FONT = 1024;
constexpr int16_t GU6_DEFAULT_PRINTER_FONT = 58;
constexpr uint16_t GU6_FONT_FIXED = 0;
constexpr uint16_t GU6_FONT_DYNAMIC = 1;
constexpr uint16_t GU6_FONT_PRINTER = 2;
constexpr uint16_t GU6_GROUP_SCREEN_FONTS = 9010;
constexpr uint16_t GU6_GROUP_FONT_STYLES = 9011;
constexpr uint16_t GU6_GROUP_PRINTER_FONTS = 9020;

APEXPORT uint16_t GU6_GetFontType(int16_t id);
// "<style>,<points>,<face>" as a font on `dc`, turned by 90 degrees when
// `vertical` is non-zero; null when a field is missing.
APEXPORT HFONT GU6_CreateFontFromStr(HDC dc, const char* description, uint16_t vertical);
APEXPORT uint16_t GU6_CreateFontEx(HDC dc, int16_t id, const char* description);
APEXPORT uint16_t GU6_CreatePrtFontEx(HDC dc, int16_t id, const char* description);
APEXPORT uint16_t GU6_ModifyFont(HDC dc, int16_t id, const char* description);
APEXPORT uint16_t GU6_ModifyPrtFont(HDC dc, int16_t id, const char* description);
APEXPORT uint16_t GU6_ReCreateAllDynamicPrtFonts(HDC dc);
// Removes the id from the screen and the printer table.
APEXPORT uint16_t GU6_DestroyFont(int16_t id);
APEXPORT uint16_t GU6_DestroyAllFonts(uint16_t all);
APEXPORT uint16_t GU6_DestroyAllPrtFonts(uint16_t all);
APEXPORT int16_t GU6_GetDynamicFontID();
APEXPORT uint16_t GU6_IsFontAvailable(int16_t id);
APEXPORT HFONT GU6_NewGetFont(int16_t id);
APEXPORT HFONT GU6_NewGetPrtFont(int16_t id);
APEXPORT uint16_t GU6_CreateFont(const char* name);
APEXPORT int16_t GU6_GetFontNumber(const char* name);
APEXPORT HFONT GU6_GetFont(const char* name);
APEXPORT HFONT GU6_GetPrtFont(const char* name);
APEXPORT HFONT GU6_NewGetFontEX(HWND window, int16_t id);
APEXPORT HFONT GU6_GetFontEX(HWND window, const char* name);
APEXPORT uint16_t GU6_NewGetTextMetrics(HWND window, int16_t id, TEXTMETRICA* metrics);
APEXPORT uint16_t GU6_GetTextMetrics(HWND window, const char* name, TEXTMETRICA* metrics);
APEXPORT uint16_t GU6_NewGetTextExtent(HWND window, int16_t id, const char* text, int32_t reserved, int32_t* width,
                                       int32_t* height);
APEXPORT uint16_t GU6_GetTextExtent(HWND window, const char* name, const char* text, int32_t reserved,
                                    int32_t* width, int32_t* height);

constexpr uint16_t GU6_PEN_TABLE_SIZE = 21;
constexpr int16_t GU6_DEFAULT_PENS = 20;
constexpr int16_t GU6_ALL_PENS = -1;
constexpr COLORREF GU6_PALETTE_RELATIVE = 0x02000000;

APEXPORT int16_t GU6_CreatePen(int16_t n);
APEXPORT int16_t GU6_CreatePenEx(int16_t n, COLORREF colour);
APEXPORT uint16_t GU6_DestroyAllPens();
APEXPORT HPEN GU6_GetPen(int16_t n);
APEXPORT COLORREF GU6_PenRGB(int16_t n);
APEXPORT COLORREF GU6_PenRGBEx(HWND window, int16_t n, HDC dc);
APEXPORT HPEN GU6_GetPenEX(HWND window, int16_t n, HDC dc);
APEXPORT uint16_t GU6_GetMonochromeCopy();
APEXPORT uint16_t GU6_SetMonochromeCopy(uint16_t flag);
APEXPORT uint16_t GU6_GetMonochromePrint();
APEXPORT uint16_t GU6_SetMonochromePrint(uint16_t flag);

constexpr uint16_t GU6_FIXED_PALETTE_SIZE = 72;
constexpr uint16_t GU6_DYNAMIC_PALETTE_SIZE = 25;

// The fixed entries, then the dynamic entries up to the highest one in use.
APEXPORT HPALETTE GU6_CreatePalette();
APEXPORT uint16_t GU6_SetPalette(HPALETTE palette);
APEXPORT HPALETTE GU6_GetPalette();
APEXPORT uint16_t GU6_DestroyPalette();
APEXPORT int16_t GU6_GetDynamicPaletteID();
APEXPORT uint16_t GU6_SetDynamicPaletteEntry(int16_t index, const PALETTEENTRY* entry);
APEXPORT uint16_t GU6_FreeDynamicPaletteEntry(int16_t index);
APEXPORT uint16_t GU6_GetDynamicPaletteEntry(int16_t index, PALETTEENTRY* entry);
APEXPORT uint16_t GU6_GetPaletteEntry(int16_t index, PALETTEENTRY* entry);
APEXPORT COLORREF GU6_GetPaletteEntryColorRef(int16_t index);
APEXPORT uint16_t GU6_ColorRefToPaletteEntry(COLORREF colour, PALETTEENTRY* entry);
APEXPORT HBRUSH GU6_CreateSolidBrush(int16_t index);

constexpr int16_t GU6_BUFFER_END = 0;
constexpr int16_t GU6_BUFFER_START = 1;
APEXPORT HDC GU6_BufferDC(HDC dc, RECT* rect, int16_t mode);

// ---------------------------------------------------------------------------
// Bitmaps, property sheets and bitmap scaling (GU4, GU, SCL)

// Packed DIBs are movable global blocks: the header, the colour table, then
// the rows, bottom row first unless the height is negative.

// Bytes of the header's colour table; 0 for a header that is no DIB header
// or whose colours-used count is more than its bits allow.
APEXPORT uint16_t GU4_PaletteSize(const void* header);
// The packed DIB of a global block, locked, with its layout; null (and the
// block unlocked) when the block does not hold the whole DIB its header
// describes. The caller unlocks it.
BITMAPINFO* gu4_LockDIB(HGLOBAL dib, platform::DibLayout* layout);
APEXPORT HGLOBAL GU4_BitmapToDIB(HBITMAP bitmap, uint16_t bits);
APEXPORT HBITMAP GU4_BitmapFromDIB(HGLOBAL dib, HPALETTE palette);
APEXPORT HPALETTE GU4_CreateDIBPalette(const void* header, uint16_t* count);
APEXPORT HBITMAP GU4_LoadBitmapAndPalette(const char* name, HPALETTE* palette);
APEXPORT uint16_t GU4_PaintBitmap(HDC dc, HBITMAP bitmap, HPALETTE palette, int32_t x, int32_t y, int32_t width,
                                  int32_t height);
APEXPORT uint16_t GU4_StretchBltTransparent(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height,
                                            int32_t source_x, int32_t source_y, int32_t source_width,
                                            int32_t source_height, HBITMAP bitmap, COLORREF transparent);
APEXPORT uint16_t GU4_AvgScaleBltTransparent(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height,
                                             int32_t source_x, int32_t source_y, int32_t source_width,
                                             int32_t source_height, HBITMAP bitmap, COLORREF transparent);
APEXPORT HBITMAP GU4_ConvertGrayBitmapToWindowsColors(HBITMAP bitmap);
constexpr int16_t GU4_STOCK_PEN = 1;
constexpr int16_t GU4_STOCK_FONT = 2;
constexpr int16_t GU4_STOCK_BRUSH = 3;
APEXPORT HGDIOBJ GU4_SelectObject(HDC dc, HGDIOBJ object, int16_t kind);

// Property sheets of at most 31 pages from dialog templates; each page's
// dialog parameter points at a GU4_PAGEPARAM.
constexpr uint16_t GU4_MAX_SHEET_PAGES = 32;
// Page parameter, 8 bytes.
//   0  4  page index
//   4  4  the caller's data
struct GU4_PAGEPARAM {
  uint32_t page;
  uint32_t user_data;
};
static_assert(sizeof(GU4_PAGEPARAM) == 8);
APEXPORT INT_PTR GU4_InitMultiDlg(HWND parent, const char* caption, const char* const* templates, uint16_t count,
                                  uint32_t flags, DLGPROC procedure, uint32_t user_data);
APEXPORT INT_PTR GU4_CreateWizardDlg(const char* caption, const char* const* templates, uint16_t count,
                                     DLGPROC procedure, uint32_t user_data);
APEXPORT INT_PTR GU4_CreateTabbedDlg(HWND parent, const char* caption, const char* const* templates, uint16_t count,
                                     DLGPROC procedure, uint32_t user_data);

// Averaging scalers of 24-bit packed DIBs into new ones; null for another
// depth, a new width of GU_MAX_SCALED_WIDTH or more, a source block shorter
// than its header says, or no memory.
constexpr int32_t GU_MAX_SCALED_WIDTH = 2048;
APEXPORT HGLOBAL SCL_CreateBitmap(int32_t width, int32_t height, uint16_t bits);
APEXPORT HGLOBAL GU_LocalAvgScaleDIB(HGLOBAL dib, int32_t width, int32_t height, uint32_t reserved);
APEXPORT HGLOBAL GU_AvgScaleDIB(HGLOBAL dib, int32_t width, int32_t height);
APEXPORT HGLOBAL GU_AvgScaleDIBTransparent(HGLOBAL dib, int32_t width, int32_t height, COLORREF transparent);
