// The spectrum information text (message 299): an electronic-signature
// line, the company name, the title, the collection date, the collection
// settings and the optics (or what the members of a self-describing bench's
// spectrum write), the file path and the comment, each chosen by a flag.
// The text is a new string of the string space, the caller's to remove.
// Each line is put together in a work line of bounded length. The
// dispatcher's analysis table calls ap7c_BuildSpectrumInfoText.
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <string>

#include "core/core.h"
#include "platform/modules.h"
#include "processing/processing.h"
#include "util/util.h"

namespace {

// The work line holds at most this many characters.
constexpr size_t kWorkLine = 512;
constexpr char kLineEnd[] = "\r\n";
// Header parameters named by number.
constexpr uint16_t kTitle = 8;
constexpr uint16_t kSampleSpacing = 12;
constexpr uint16_t kGain = 20;
constexpr uint16_t kScans = 23;
constexpr uint16_t kVelocity = 24;
constexpr uint16_t kAperture = 25;
constexpr uint16_t kBackgroundScans = 32;
constexpr uint16_t kSource = 45;
constexpr uint16_t kPostPeakPoints = 47;
constexpr uint16_t kTitleSize = 256;
constexpr uint16_t kTitleFlags = 1;
// Labels of group 4100.
constexpr uint16_t kLabelScans = 0;
constexpr uint16_t kLabelBackgroundScans = 1;
constexpr uint16_t kLabelResolution = 2;
constexpr uint16_t kLabelGain = 3;
constexpr uint16_t kLabelVelocity = 4;
constexpr uint16_t kLabelAperture = 5;
constexpr uint16_t kLabelDetector = 6;
constexpr uint16_t kLabelBeamSplitter = 7;
constexpr uint16_t kLabelSource = 9;
// Width and decimals of the numbers; counts are whole.
constexpr uint16_t kCountWidth = 12;
constexpr uint16_t kResolutionText = 32;

// Found once in the signature library and kept for the process.
AP7C_SIGNATURETEXT g_signature_text = nullptr;

// The line so far with text added, cut so that the line end and the
// terminator still fit the work line.
void ap7c_add(std::string& line, const char* text) {
  constexpr size_t kRoom = kWorkLine - sizeof kLineEnd;
  if (text == nullptr || line.size() >= kRoom) return;
  line.append(text, strnlen(text, kRoom - line.size()));
}

// A work line of the pieces, then the line end.
std::string ap7c_line(std::initializer_list<const char*> pieces) {
  std::string line;
  for (const char* piece : pieces) ap7c_add(line, piece);
  return line + kLineEnd;
}

const char* ap7c_not_available() { return GU4_GetAssocString(AP13_GROUP_NOT_GIVEN, 0, nullptr, nullptr); }

// The header parameter as text, width and decimals as message 42 takes
// them; empty when it cannot be read.
std::string ap7c_parameter(AP41_SPECTRALHEADER* header, uint16_t index, uint16_t width, uint16_t decimals) {
  char value[kWorkLine] = "";
  if (!GU2_GetParmStrValue_MSG(header, index, value, width, decimals)) return "";
  value[sizeof value - 1] = '\0';
  return value;
}

// The result so far and the line added; false (the result gone) when the
// string space is full.
bool ap7c_append_line(char*& result, const std::string& line) {
  char* longer = ap7c_ConcatString(result, line.c_str());
  if (longer == nullptr) {
    GU3_RemoveString(result);
    result = nullptr;
    return false;
  }
  result = longer;
  return true;
}

// A label and its value, then the line end.
bool ap7c_append_pair(char*& result, uint16_t label, const std::string& value) {
  return ap7c_append_line(result,
                           ap7c_line({GU4_GetAssocString(AP41_GROUP_LABELS, label, nullptr, nullptr), value.c_str()}));
}

// The signature line: the library's text for the file, then the line end.
bool ap7c_signature_line(char*& result, AP7_SPECTRUM* spectrum, uint16_t flags) {
  char path[AP7_TEXT_FIELD] = "";
  ap7b_GetFilePath(spectrum, path);
  if (flags & AP7C_INFO_NO_SIGNATURE) return true;
  std::string line;
  HINSTANCE library = GU4_GetDLLInst(AP7_SIGNATURE_LIBRARY);
  if (library != nullptr && g_signature_text == nullptr)
    g_signature_text = reinterpret_cast<AP7C_SIGNATURETEXT>(GetProcAddress(library, AP7C_SIGNATURE_TEXT_ENTRY));
  if (g_signature_text != nullptr) {
    const uint32_t flag = (flags & AP7C_INFO_SIGNATURE_FLAG_0) ? 0 : 1;
    if (char* text = g_signature_text(path, 1, 0, flag, spectrum)) {
      ap7c_add(line, text);
      GU3_RemoveString(text);
    }
  }
  return ap7c_append_line(result, line + kLineEnd);
}

std::string ap7c_date(const AP41_HEADERDATA* record) {
  if (record->time == 0) {
    const char* missing = ap7c_not_available();
    return missing != nullptr ? missing : "";
  }
  char when[kWorkLine] = "";
  if (GU4_Time2StringSafe(record->time, when, GU4_TIMEFMT_LONG2, sizeof when) == nullptr) return "";
  when[sizeof when - 1] = '\0';
  return when;
}

std::string ap7c_resolution(AP41_SPECTRALHEADER* header) {
  float spacing = 0.0f;
  uint32_t points = 0;
  if (!GU2_GetParmValue_MSG(header, kSampleSpacing, &spacing) || !GU2_GetParmValue_MSG(header, kPostPeakPoints, &points))
    return "";
  float resolution = 0.0f;
  char text[kResolutionText] = "";
  if (!AP1_GetResolution_MATH(spacing, static_cast<int32_t>(points), &resolution, text)) {
    const char* missing = ap7c_not_available();
    return missing != nullptr ? missing : "";
  }
  text[sizeof text - 1] = '\0';
  return text;
}

bool ap7c_collection_block(char*& result, AP41_SPECTRALHEADER* header) {
  float gain = 0.0f;
  std::string gain_text;
  if (GU2_GetParmValue_MSG(header, kGain, &gain)) {
    const bool whole = AP1_KovFloatCompareSG_MATH(gain, std::trunc(gain)) != 0;
    gain_text = whole ? ap7c_parameter(header, kGain, 7, 1) : ap7c_parameter(header, kGain, 9, 3);
  }
  return ap7c_append_pair(result, kLabelScans, ap7c_parameter(header, kScans, kCountWidth, 0)) &&
         ap7c_append_pair(result, kLabelBackgroundScans, ap7c_parameter(header, kBackgroundScans, kCountWidth, 0)) &&
         ap7c_append_pair(result, kLabelResolution, ap7c_resolution(header)) &&
         ap7c_append_pair(result, kLabelGain, gain_text) &&
         ap7c_append_pair(result, kLabelVelocity, ap7c_parameter(header, kVelocity, 8, 4)) &&
         ap7c_append_pair(result, kLabelAperture, ap7c_parameter(header, kAperture, 7, 2));
}

// The name of an instrument part by its id, the not-available text for an
// id without one.
std::string ap7c_part_name(uint16_t group, uint32_t id) {
  const char* name = GU4_GetAssocString(group, static_cast<uint16_t>(id), nullptr, nullptr);
  if (name == nullptr) name = ap7c_not_available();
  return name != nullptr ? name : "";
}

bool ap7c_optics_block(char*& result, AP41_SPECTRALHEADER* header) {
  uint32_t detector = 0, beam_splitter = 0;
  const bool have_detector = GU2_GetParmValue_MSG(header, 10, &detector) != 0;
  const bool have_splitter = GU2_GetParmValue_MSG(header, 11, &beam_splitter) != 0;
  return ap7c_append_pair(result, kLabelDetector, have_detector ? ap7c_part_name(AP41_GROUP_DETECTORS, detector) : "") &&
         ap7c_append_pair(result, kLabelBeamSplitter,
                          have_splitter ? ap7c_part_name(AP41_GROUP_BEAMSPLITTERS, beam_splitter) : "") &&
         ap7c_append_pair(result, kLabelSource, ap7c_parameter(header, kSource, kCountWidth, 0));
}

// What the spectrum's members write about a self-describing bench.
bool ap7c_member_lines(char*& result, AP7_SPECTRUM* spectrum, uint16_t flags) {
  AP_OBJECT* text = ap2_New_OBJ(AP48_CLASS_ID, nullptr);
  if (text == nullptr) return true;
  bool kept = true;
  AP_OBJECT* list = ap7d_FindListItem(spectrum, 0);
  AP7C_INFOMEMBERPARM block{spectrum, flags, reinterpret_cast<AP48_TEXT*>(text)};
  AP40_SENDPARM send{AP7C_MSG_MEMBER_INFO, &block};
  if (list != nullptr && GU2_DoMethod_MSG(AP40_MSG_SEND_TO_ALL, list, &send) != 0) {
    const char* written = ap_result_object<char>(GU2_DoMethod_MSG(AP48_MSG_TEXT, text, nullptr));
    kept = ap7c_append_line(result, written != nullptr ? written : "") && ap7c_append_line(result, kLineEnd);
  }
  AP_WINDOWPARM window{nullptr, 0};
  GU2_DoMethod_MSG(AP_MSG_DESTROY, text, &window);
  return kept;
}

}  // namespace

char* ap7c_ConcatString(char* a, const char* b) {
  if (a == nullptr) return nullptr;
  const size_t length_a = std::strlen(a);
  const size_t length_b = b != nullptr ? std::strlen(b) : 0;
  if (length_a + length_b + 1 > UINT32_MAX) return nullptr;
  char* joined = GU3_GetStringSpaceEx(static_cast<uint32_t>(length_a + length_b + 1));
  if (joined == nullptr) return nullptr;
  std::memcpy(joined, a, length_a);
  if (length_b != 0) std::memcpy(joined + length_a, b, length_b);
  joined[length_a + length_b] = '\0';
  GU3_RemoveString(a);
  return joined;
}

char* ap7c_BuildSpectrumInfoText(AP7_SPECTRUM* spectrum, uint16_t flags) {
  AP41_SPECTRALHEADER* header = ap7b_GetHeader(ap7a_spectrum(spectrum));
  if (header == nullptr) return nullptr;
  const AP41_HEADERDATA* record = &header->data;
  const bool self_describing = record->BenchID > AP7C_SELF_DESCRIBING_BENCH;
  char* result = GU3_StoreStringEx("");
  if (result == nullptr) return nullptr;
  if (GU4_SupportsSecurityServices() && !ap7c_signature_line(result, spectrum, flags)) return nullptr;
  if (flags & AP7C_INFO_COMPANY) {
    char company[kWorkLine] = "";
    GU6_GetConfig("CustomerInfo", "CompanyName", company);
    company[sizeof company - 1] = '\0';
    if (!ap7c_append_line(result, ap7c_line({company}))) return nullptr;
  }
  if ((flags & AP7C_INFO_TITLE) && !ap7c_append_line(result, ap7c_line({ap7c_parameter(header, kTitle, kTitleSize, kTitleFlags).c_str()})))
    return nullptr;
  if ((flags & AP7C_INFO_DATE) && !ap7c_append_line(result, ap7c_line({ap7c_date(record).c_str()}))) return nullptr;
  if (self_describing) {
    if ((flags & (AP7C_INFO_COLLECTION | AP7C_INFO_OPTICS)) && !ap7c_member_lines(result, spectrum, flags))
      return nullptr;
  } else {
    if ((flags & AP7C_INFO_COLLECTION) && !ap7c_collection_block(result, header)) return nullptr;
    if ((flags & AP7C_INFO_OPTICS) && !ap7c_optics_block(result, header)) return nullptr;
  }
  if (flags & AP7C_INFO_PATH) {
    char path[AP7_TEXT_FIELD] = "";
    ap7b_GetFilePath(spectrum, path);
    path[sizeof path - 1] = '\0';
    if (!ap7c_append_line(result, path) || !ap7c_append_line(result, kLineEnd)) return nullptr;
  }
  if (flags & AP7C_INFO_COMMENT) {
    const char* comment = ap7d_GetCommentText(spectrum);
    if (comment != nullptr && !ap7c_append_line(result, comment)) return nullptr;
  }
  return result;
}
