// International settings and the language DLL: the three international
// characters (decimal, list and thousands separator) read from WIN.INI
// "intl", the conversions between the fixed '.' notation of files and the
// user's notation, the user's three-letter language abbreviation, the
// translated resource DLL of that language (registered as the newest
// resource module) and the name of the help file of the user's language.
//
// The class registration reads the characters at load; the number helpers,
// text readers and writers and the listings use them.

#include <cstdio>
#include <cstring>

#include "platform/codepage.h"
#include "platform/modules.h"
#include "platform/profile.h"
#include "platform/timelocale.h"
#include "util/util.h"

namespace {

// Decimal, list and thousands characters, by index 1 to 3.
char g_international[3] = {'.', ';', ','};

constexpr size_t kAbbreviationSize = 16;
constexpr size_t kPathSize = GU9_PATH_SIZE;

struct LanguageAbbreviation {
  const char* iso639;
  const char* abbreviation;
};
constexpr LanguageAbbreviation kLanguages[] = {{"en", "ENU"}, {"de", "DEU"}, {"fr", "FRA"},
                                               {"es", "ESN"}, {"nl", "NLD"}, {"zh", "CHS"}};

struct LanguageCharSet {
  const char* abbreviation;
  int32_t char_set;
};
constexpr LanguageCharSet kCharSets[] = {{"JPN", 128}, {"CHS", 134}, {"RUS", 204}, {"PLK", 238}};

char gux_intl_char(const char* key, const char* fallback) {
  char value[2];
  GetProfileStringA("intl", key, fallback, value, sizeof value);
  return value[0] != '\0' ? value[0] : fallback[0];
}

void gux_replace(char* text, char from, char to) {
  for (char* p = text; text != nullptr && *p != '\0'; ++p) {
    if (*p == from) *p = to;
  }
}

int32_t gux_char_set(const char* abbreviation) {
  for (const LanguageCharSet& entry : kCharSets) {
    if (_stricmp(entry.abbreviation, abbreviation) == 0) return entry.char_set;
  }
  return 0;
}

}  // namespace

bool gux_ProductDirectory(char* directory, size_t size) {
  return GU9_GetKeyStringValue(GU9_TALVO_KEY, "Directory", HKEY_LOCAL_MACHINE, static_cast<uint32_t>(size),
                               directory) != 0 &&
         directory[0] != '\0';
}

bool gux_JoinPath(char* out, size_t size, const char* directory, const char* base, const char* middle,
                  const char* tail) {
  const size_t length = std::strlen(directory);
  const char* separator = length == 0 || directory[length - 1] == '\\' || directory[length - 1] == '/' ? "" : "\\";
  const int written = std::snprintf(out, size, "%s%s%s%s%s", directory, separator, base, middle, tail);
  return written >= 0 && static_cast<size_t>(written) < size;
}

APEXPORT uint16_t GUX_InitInternationalChars() {
  g_international[0] = gux_intl_char("sDecimal", ".");
  g_international[1] = gux_intl_char("sList", ";");
  g_international[2] = gux_intl_char("sThousand", ",");
  return 1;
}

APEXPORT char GUX_GetInternationalChar(uint16_t index) {
  return index >= GUX_DECIMAL && index <= GUX_THOUSANDS ? g_international[index - 1] : ',';
}

APEXPORT uint16_t GUX_SetInternationalChar(char ch, uint16_t index) {
  if (index < GUX_DECIMAL || index > GUX_THOUSANDS) return 0;
  g_international[index - 1] = ch;
  return 1;
}

APEXPORT void GUX_ChangeUSDecimalToInternat(char* text) { gux_replace(text, '.', g_international[0]); }

APEXPORT void GUX_ChangeInternatDecimalToUS(char* text) { gux_replace(text, g_international[0], '.'); }

// One text: the walk ends at its terminator.
APEXPORT void GUX_FixDecimalChar(char* text) {
  if (text == nullptr || g_international[0] == '.') return;
  for (char* p = text; *p != '\0'; ++p) {
    if (*p == '.') {
      *p = g_international[0];
    } else if (*p == ',') {
      *p = g_international[2];
    }
  }
}

APEXPORT uint16_t GUX_IsMeasurementEnglish() {
  char value[2];
  GetProfileStringA("intl", "iMeasure", ".", value, sizeof value);
  return std::strcmp(value, "0") == 0 ? 0 : 1;
}

APEXPORT uint16_t GUX_GetInternatLangAbbrev(char* buffer, uint16_t size) {
  if (buffer == nullptr || size == 0) return 0;
  char abbreviation[kAbbreviationSize] = "";
  char iso639[kAbbreviationSize] = "";
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, iso639, sizeof iso639);
  for (const LanguageAbbreviation& entry : kLanguages) {
    if (_stricmp(entry.iso639, iso639) == 0) std::strcpy(abbreviation, entry.abbreviation);
  }
  if (abbreviation[0] == '\0')
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SABBREVLANGNAME, abbreviation, sizeof abbreviation);
  if (abbreviation[0] == '\0') GetProfileStringA("intl", "sLanguage", "enu", abbreviation, sizeof abbreviation);
  std::snprintf(buffer, size, "%s", abbreviation);
  return 1;
}

APEXPORT uint16_t GUX_TranslateFileName(char* name) {
  if (name == nullptr) return 0;
  char abbreviation[kAbbreviationSize];
  GUX_GetInternatLangAbbrev(abbreviation, sizeof abbreviation);
  if (std::strlen(abbreviation) != 3) return 0;
  const char* dot = std::strchr(name, '.');
  const size_t stem = dot != nullptr ? static_cast<size_t>(dot - name) : std::strlen(name);
  if (stem <= 3) return 0;
  std::memcpy(name + stem - 3, abbreviation, 3);
  return 1;
}

APEXPORT uint16_t GUX_LoadInternatDLL(const char* base_name) {
  if (base_name == nullptr) return 0;
  char abbreviation[kAbbreviationSize];
  GUX_GetInternatLangAbbrev(abbreviation, sizeof abbreviation);
  const int32_t char_set = gux_char_set(abbreviation);
  if (GU6_GetConfigInt("CustomerInfo", "CharSet", 0) != char_set) {
    char value[12];
    std::snprintf(value, sizeof value, "%d", static_cast<int>(char_set));
    GU6_SetConfig("CustomerInfo", "CharSet", value);
  }
  if (_stricmp(abbreviation, "enu") == 0) return 1;
  char name[kPathSize], directory[kPathSize + 1], path[kPathSize];
  if (!gux_JoinPath(name, sizeof name, "", base_name, abbreviation, ".dll") ||
      !gux_ProductDirectory(directory, kPathSize) || !gux_JoinPath(path, sizeof path, directory, name, "", ""))
    return 0;
  if (!platform::file_exists(path)) return 1;
  const HMODULE module = LoadLibraryA(path);
  if (module == nullptr) return 0;
  GU4_AddDLLInst(name, module, 1);
  GU4_AddResourceInstance(module);
  return 1;
}

APEXPORT uint16_t GUX_BuildHelpName(const char* directory, char* out, uint16_t size) {
  if (out == nullptr || size == 0) return 0;
  out[0] = '\0';
  const char* base = GU4_GetAssocString(GUX_GROUP_HELPFILES, 1, nullptr, nullptr);
  if (directory == nullptr || base == nullptr || std::strlen(directory) > size) return 0;
  char abbreviation[kAbbreviationSize];
  GUX_GetInternatLangAbbrev(abbreviation, sizeof abbreviation);
  for (const char* language : {static_cast<const char*>(abbreviation), "enu"}) {
    if (gux_JoinPath(out, size, directory, base, language, ".hlp") && platform::file_exists(out)) return 1;
  }
  out[0] = '\0';
  return 0;
}
