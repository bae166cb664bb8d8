// A spectrum in memory verified against the copy its native file holds:
// data, history, comments and annotations are compared and a short report
// names what differs; and the root-mean-square difference of two spectra
// on one grid. AP7_Dispatcher_SPECTRUM calls these for messages 251 and
// 435.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "core/core.h"
#include "files/files.h"
#include "platform/codepage.h"
#include "spectrum/spectrum.h"
#include "util/util.h"

namespace {

constexpr char kOk[] = "OK";
constexpr char kSeparator[] = ";";
constexpr char kDataMismatch[] = "DataMismatch";
constexpr char kHistoryMismatch[] = "HistoryMismatch";
constexpr char kAnnotationMismatch[] = "AnnotationMismatch";
constexpr char kCommentMismatch[] = "CommentMismatch";
constexpr char kGroupExtension[] = "spg";

// The tolerant data comparison: a difference of more than this percentage
// of the stored value, whose size counts as at least kSmallestValue.
constexpr double kTolerancePercent = 5e-05;
constexpr double kSmallestValue = 1e-10;

// Lines of the history that carry stamps which differ from save to save
// (the login label, the signature and audit lines): associated strings.
struct ap7d_stamp {
  uint16_t group;
  uint16_t number;
};
constexpr ap7d_stamp kStamps[] = {{AP7_GROUP_LOGIN, AP7_LOGIN_LABEL},
                                  {12000, 310},
                                  {15084, 0},
                                  {15084, 1},
                                  {15084, 2},
                                  {15084, 3},
                                  {15084, 4},
                                  {15084, 5},
                                  {15084, 6}};

// The RMS difference: the outputs when refused, and the tolerance (in
// thousandths) an exact 0 stands for.
constexpr double kRefused = -1e20;
constexpr float kDefaultTolerance = 0.001f;
constexpr double kThousand = 1000.0;

bool ap7d_group_path(const char* path) {
  const char* dot = std::strrchr(path, '.');
  return dot != nullptr && _stricmp(dot + 1, kGroupExtension) == 0;
}

// The Y values of a spectrum when its array holds all n of them.
const float* ap7d_values(AP7_SPECTRUM* spectrum, uint32_t n) {
  if (spectrum->data == nullptr || spectrum->data->columns < n) return nullptr;
  return ap7b_GetDataPtr(spectrum);
}

bool ap7d_values_close(float stored, float value) {
  if (std::isnan(stored) || std::isnan(value)) return std::isnan(stored) && std::isnan(value);
  const double size = std::max(std::fabs(static_cast<double>(stored)), kSmallestValue);
  return 100.0 * std::fabs(static_cast<double>(stored) - value) / size <= kTolerancePercent;
}

// Two spectra's data differ when their counts do or when either array
// lacks the values its count promises; nothing is read past the shorter.
bool ap7d_data_differ(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* stored, bool tolerant) {
  const uint32_t n = ap7a_record(spectrum)->points;
  if (n != ap7a_record(stored)->points) return true;
  const float* y = ap7d_values(spectrum, n);
  const float* r = ap7d_values(stored, n);
  if (n == 0) return false;
  if (y == nullptr || r == nullptr) return true;
  if (!tolerant) return std::memcmp(y, r, n * sizeof(float)) != 0;
  for (uint32_t i = 0; i < n; ++i)
    if (!ap7d_values_close(r[i], y[i])) return true;
  return false;
}

// Texts compare equal when neither is there, or when one is missing and
// the other empty; with `clean` the stamp lines are cut from both first.
bool ap7d_texts_differ(const char* a, const char* b, bool clean) {
  if (a == nullptr || b == nullptr) {
    const char* present = a != nullptr ? a : b;
    return present != nullptr && present[0] != '\0';
  }
  std::string first(a);
  std::string second(b);
  if (clean) {
    for (const ap7d_stamp& stamp : kStamps) {
      const char* text = GU4_GetAssocString(stamp.group, stamp.number, nullptr, nullptr);
      if (text == nullptr) continue;
      ap7d_CutLinesFrom(first.data(), text);
      ap7d_CutLinesFrom(second.data(), text);
    }
  }
  return std::strcmp(first.c_str(), second.c_str()) != 0;
}

AP34_ANNOTREC* ap7d_record_of(AP34_ANNOTATION* annotation, GU1_NODE* node) {
  return static_cast<AP34_ANNOTREC*>(gu1_item(&annotation->records, node));
}

GU1_NODE* ap7d_first(AP34_ANNOTATION* annotation) {
  return annotation != nullptr ? annotation->records.head : nullptr;
}

bool ap7d_protected(AP34_ANNOTATION* annotation, GU1_NODE* node) {
  return (ap7d_record_of(annotation, node)->flags & AP34_FLAG_PROTECTED) != 0;
}

uint32_t ap7d_unprotected_count(AP34_ANNOTATION* annotation) {
  uint32_t count = 0;
  for (GU1_NODE* node = ap7d_first(annotation); node != nullptr; node = node->next)
    if (!ap7d_protected(annotation, node)) ++count;
  return count;
}

// The records without the protected flag are compared in step; protected
// ones are passed over on their own side.
bool ap7d_annotations_differ(AP34_ANNOTATION* a, AP34_ANNOTATION* b) {
  GU1_NODE* x = ap7d_first(a);
  GU1_NODE* y = ap7d_first(b);
  while (x != nullptr && y != nullptr) {
    if (ap7d_protected(a, x)) {
      x = x->next;
    } else if (ap7d_protected(b, y)) {
      y = y->next;
    } else {
      if (ap7d_AnnotationsDiffer(ap7d_record_of(a, x), ap7d_record_of(b, y))) return true;
      x = x->next;
      y = y->next;
    }
  }
  return ap7d_unprotected_count(a) != ap7d_unprotected_count(b);
}

bool ap7d_same(float a, float b) { return a == b || (std::isnan(a) && std::isnan(b)); }

void ap7d_add_item(std::string& report, bool differ, const char* item) {
  if (!differ) return;
  if (!report.empty()) report += kSeparator;
  report += item;
}

void ap7d_set_rms_outputs(double* mean_square, double* rms, double square, double root) {
  if (!IsBadWritePtr(mean_square, sizeof *mean_square)) *mean_square = square;
  if (!IsBadWritePtr(rms, sizeof *rms)) *rms = root;
}

}  // namespace

void ap7d_CutLinesFrom(char* text, const char* stamp) {
  if (text == nullptr || stamp == nullptr || stamp[0] == '\0') return;
  char* found = std::strstr(text, stamp);
  while (found != nullptr) {
    char* end = found;
    while (*end != '\0' && *end != '\n') end = CharNextA(end);
    if (*end == '\n') ++end;
    std::memmove(found, end, std::strlen(end) + 1);
    found = std::strstr(found, stamp);
  }
}

// Two records without labels have the same (no) label.
bool ap7d_AnnotationsDiffer(const AP34_ANNOTREC* a, const AP34_ANNOTREC* b) {
  const char* label_a = a->label;
  const char* label_b = b->label;
  if ((label_a == nullptr) != (label_b == nullptr)) return true;
  if (label_a != nullptr && std::strcmp(label_a, label_b) != 0) return true;
  const uint16_t flags = a->flags | b->flags;
  if ((flags & AP34_FLAG_ABSOLUTE) != 0 && !ap7d_same(a->x, b->x)) return true;
  if (!ap7d_same(a->text_x, b->text_x) || !ap7d_same(a->y, b->y)) return true;
  if ((flags & AP34_FLAG_SECOND_POINT) != 0 && (!ap7d_same(a->x2, b->x2) || !ap7d_same(a->y2, b->y2))) return true;
  if ((flags & (AP34_FLAG_THIRD_POINT | AP34_FLAG_THIRD_POINT_ALT)) != 0 &&
      (!ap7d_same(a->x3, b->x3) || !ap7d_same(a->y3, b->y3)))
    return true;
  return false;
}

AP7_SPECTRUM* ap7d_ReadGroupMember(const char* path, uint32_t index) {
  AP_OBJECT* file = ap7b_OpenForReading(AP51_CLASS_ID, path);
  if (file == nullptr) return nullptr;
  auto* member = ap7a_spectrum(ap_result_object<AP_OBJECT>(
      GU2_DoMethod_MSG(AP51_MSG_READ_MEMBER, file, reinterpret_cast<void*>(static_cast<uintptr_t>(index)))));
  if (member != nullptr) ap7b_SetFilePath(member, path);
  ap7b_CloseAndDestroy(file);
  return member;
}

uint16_t ap7d_CompareWithStoredFile(AP7_SPECTRUM* spectrum, const char* path, uint16_t flags, char* report) {
  if (IsBadWritePtr(report, AP7_COMPARE_REPORT_SIZE)) return AP7_COMPARE_MISSING_ARGUMENT;
  report[0] = '\0';
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  if (ap7a_record(checked) == nullptr || path == nullptr || IsBadReadPtr(path, 1)) return AP7_COMPARE_MISSING_ARGUMENT;
  ap7a_new_spectrum stored(ap7d_group_path(path) ? ap7d_ReadGroupMember(path, checked->groupIndex)
                                                 : ap7b_ReadSpectrumFile(path));
  if (ap7a_record(stored.get()) == nullptr) return AP7_COMPARE_UNREADABLE;
  std::string found;
  if ((flags & AP7_COMPARE_DATA) != 0)
    ap7d_add_item(found, ap7d_data_differ(checked, stored.get(), (flags & AP7_COMPARE_TOLERANT) != 0), kDataMismatch);
  if ((flags & AP7_COMPARE_HISTORY) != 0)
    ap7d_add_item(found, ap7d_texts_differ(ap7d_GetHistoryText(checked), ap7d_GetHistoryText(stored.get()), true),
                  kHistoryMismatch);
  // The headers are not compared: the stored one carries what the save
  // wrote (its time, its counts), not what the spectrum was given.
  if ((flags & AP7_COMPARE_ANNOTATIONS) != 0)
    ap7d_add_item(found, ap7d_annotations_differ(checked->annotation, stored.get()->annotation), kAnnotationMismatch);
  if ((flags & AP7_COMPARE_COMMENTS) != 0)
    ap7d_add_item(found, ap7d_texts_differ(ap7d_GetCommentText(checked), ap7d_GetCommentText(stored.get()), false),
                  kCommentMismatch);
  const char* text = found.empty() ? kOk : found.c_str();
  std::strncpy(report, text, AP7_COMPARE_REPORT_SIZE - 1);
  report[AP7_COMPARE_REPORT_SIZE - 1] = '\0';
  return found.empty() ? AP7_COMPARE_SAME : AP7_COMPARE_DIFFERENT;
}

int32_t ap7d_RmsDifference(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* other, float tolerance, double* mean_square,
                           double* rms) {
  ap7d_set_rms_outputs(mean_square, rms, kRefused, kRefused);
  if (IsBadWritePtr(mean_square, sizeof *mean_square) || IsBadWritePtr(rms, sizeof *rms)) return 0;
  AP7_SPECTRUM* a = ap7a_spectrum(spectrum);
  AP7_SPECTRUM* b = ap7a_spectrum(other);
  if (ap7a_record(a) == nullptr || ap7a_record(b) == nullptr) return 0;
  const uint32_t n = ap7a_record(a)->points;
  const float* ya = ap7d_values(a, n);
  const float* yb = ap7d_values(b, n);
  if (n < 1 || n != ap7a_record(b)->points || ya == nullptr || yb == nullptr) return 0;
  if (AP1_KovFloatCompareSG_MATH(tolerance, 0.0f) != 0) tolerance = kDefaultTolerance;
  const double t = tolerance / kThousand;
  double sum = 0.0;
  uint32_t count = 0;
  for (uint32_t i = 0; i < n; ++i) {
    if (std::isnan(ya[i]) || std::isnan(yb[i])) continue;
    const double d = static_cast<double>(ya[i]) - yb[i];
    sum += d * d;
    ++count;
  }
  const double mean = count > 0 ? sum / count : 0.0;
  ap7d_set_rms_outputs(mean_square, rms, mean / (t * t), std::sqrt(mean) * kThousand);
  return 1;
}
