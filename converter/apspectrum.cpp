// The spectrum wrapper: creation, adoption and deletion of the spectrum it
// owns, its points and values, its save under another path, its history and
// comment texts and its stored interferograms. Each member sends the
// spectrum the message of its operation. Used by the GAML import job and
// the header wrappers.
#include "converter/apspectrum.h"

#include <cstring>
#include <vector>

#include "apcomlib/array/array.h"
#include "apcomlib/spectrum/spectrum.h"
#include "platform/files.h"

namespace converter {
namespace {

constexpr uint16_t kSpectrumClass = 7;
constexpr uint32_t kSpectrumRecordSize = 558;
constexpr size_t kPathSize = MAX_PATH;

// Spectrum messages and their parameter blocks.
constexpr uint16_t kRangePoints = 36;
constexpr uint16_t kInsertPoints = 45;
constexpr uint16_t kDeletePoints = 46;
constexpr uint16_t kSetFilePath = 159;
constexpr uint16_t kGetFilePath = 160;
constexpr uint16_t kGetNameAndSubSpectra = 161;
constexpr uint16_t kSetNameAndSubSpectra = 162;
constexpr uint16_t kGetHeader = 168;
constexpr uint16_t kHistoryObject = 196;
constexpr uint16_t kCommentObject = 197;
constexpr uint16_t kDataPointer = 220;

#pragma pack(push, 2)
struct NewBlock {
  uint32_t points;
  HWND window;
};
struct RangeCountBlock {
  float x1;
  float x2;
  uint32_t* count;
};
struct PointsBlock {
  uint16_t at_start;
  uint32_t count;
};
struct NameAndSubSpectraBlock {
  char* name;
  AP_OBJECT** background;
  AP_OBJECT** sample;
};
struct SetNameAndSubSpectraBlock {
  const char* name;
  AP_OBJECT* background;
  AP_OBJECT* sample;
};
// The head of a spectrum as far as its sub-spectra.
struct SpectrumHead {
  uint16_t class_id;
  AP_OBJECT* data;
  AP_OBJECT* header;
  AP_OBJECT* annotation;
  AP_OBJECT* background;
  AP_OBJECT* sample;
};
#pragma pack(pop)

bool is_spectrum(const AP_OBJECT* object) { return object != nullptr && object->class_id == kSpectrumClass; }

AP_OBJECT* new_spectrum(uint32_t points) {
  uint16_t class_id = kSpectrumClass;
  NewBlock block{points, nullptr};
  return reinterpret_cast<AP_OBJECT*>(GU2_DoMethod_MSG(AP_MSG_NEW, &class_id, &block));
}

AP_OBJECT* duplicate(AP_OBJECT* spectrum) {
  if (spectrum == nullptr) return nullptr;
  AP_WINDOWPARM block{nullptr, 0};
  return reinterpret_cast<AP_OBJECT*>(GU2_DoMethod_MSG(AP_MSG_DUPLICATE, spectrum, &block));
}

void delete_object(AP_OBJECT* object, uint32_t window) {
  if (object == nullptr) return;
  AP_WINDOWPARM block{reinterpret_cast<HWND>(window), 0};
  GU2_DoMethod_MSG(AP_MSG_DESTROY, object, &block);
}

}  // namespace

CApSpectrum::CApSpectrum() : CApSpectrum(1u) {}

CApSpectrum::CApSpectrum(uint32_t points) {
  record_size_ = kSpectrumRecordSize;
  object_ = new_spectrum(points);
}

CApSpectrum::CApSpectrum(const CApSpectrum& other) : CApObjectBase() {
  record_size_ = kSpectrumRecordSize;
  object_ = duplicate(other.object_);
}

CApSpectrum::CApSpectrum(AP_OBJECT* object) {
  record_size_ = kSpectrumRecordSize;
  if (is_spectrum(object)) object_ = object;
}

CApSpectrum& CApSpectrum::operator=(const CApSpectrum& other) {
  if (this != &other) {
    delete_object(object_, delete_argument_);
    object_ = duplicate(other.object_);
  }
  return *this;
}

CApSpectrum::~CApSpectrum() {
  delete_object(object_, delete_argument_);
  for (AP40_LLIST* list : {list0_, list1_}) {
    if (list != nullptr) ap40_Destroy_LLIST(list, reinterpret_cast<HWND>(delete_argument_), 1);
  }
}

bool CApSpectrum::Attach(AP_OBJECT* object) {
  if (!is_spectrum(object)) return false;
  if (object != object_) delete_object(object_, delete_argument_);
  object_ = object;
  return true;
}

AP_OBJECT* CApSpectrum::GetHeaderObject() const {
  if (object_ == nullptr) return nullptr;
  return reinterpret_cast<AP_OBJECT*>(GU2_DoMethod_MSG(kGetHeader, object_, nullptr));
}

bool CApSpectrum::GetPointCount(uint32_t* count) const {
  if (object_ == nullptr || count == nullptr) return false;
  RangeCountBlock block{AP_NOT_GIVEN, AP_NOT_GIVEN, count};
  return GU2_DoMethod_MSG(kRangePoints, object_, &block) == 1;
}

bool CApSpectrum::SetNumPoints(uint32_t count) {
  uint32_t now = 0;
  if (!GetPointCount(&now)) return false;
  if (now != count) {
    PointsBlock block{0, now > count ? now - count : count - now};
    GU2_DoMethod_MSG(now > count ? kDeletePoints : kInsertPoints, object_, &block);
  }
  return GetPointCount(&now) && now == count;
}

namespace {

template <class Value>
bool set_scaled(CApSpectrum& spectrum, AP_OBJECT* object, const Value* values, uint32_t count, double factor) {
  if (object == nullptr || (values == nullptr && count != 0) || !spectrum.SetNumPoints(count)) return false;
  auto* data = reinterpret_cast<float*>(GU2_DoMethod_MSG(kDataPointer, object, nullptr));
  if (data == nullptr) return false;
  for (uint32_t i = 0; i < count; ++i) data[i] = static_cast<float>(factor * static_cast<double>(values[i]));
  return true;
}

}  // namespace

bool CApSpectrum::SetScaledData(const float* values, uint32_t count, double factor) {
  return set_scaled(*this, object_, values, count, factor);
}

bool CApSpectrum::SetScaledData(const int32_t* values, uint32_t count, double factor) {
  return set_scaled(*this, object_, values, count, factor);
}

bool CApSpectrum::GetValues(float* buffer, uint32_t* count) const {
  uint32_t points = 0;
  if (buffer == nullptr || !GetPointCount(&points)) return false;
  const uint32_t capacity = *count;
  *count = points;
  if (points > capacity) return false;
  const auto* data = reinterpret_cast<const float*>(GU2_DoMethod_MSG(kDataPointer, object_, nullptr));
  if (data == nullptr && points != 0) return false;
  std::memcpy(buffer, data, points * sizeof(float));
  return true;
}

// The spectrum is saved under the new path or not at all: a path that does
// not fit the path field, or an old path that cannot be read back to put
// back afterwards, refuses the save.
bool CApSpectrum::SaveAs(const std::u16string& path) {
  if (object_ == nullptr) return false;
  char target[kPathSize] = {};
  char old_path[kPathSize] = {};
  if (capobj_WideToMultiByte(path, target, sizeof target) == nullptr) return false;
  if (GU2_DoMethod_MSG(kGetFilePath, object_, old_path) != 1) return false;
  if (GU2_DoMethod_MSG(kSetFilePath, object_, target) != 1) return false;
  const bool saved = SaveSigned();
  GU2_DoMethod_MSG(kSetFilePath, object_, old_path);
  return saved;
}

bool CApSpectrum::SaveSigned() { return object_ != nullptr && GU2_DoMethod_MSG(AP_MSG_SAVE, object_, nullptr) == 1; }

AP_OBJECT* CApSpectrum::TextObject(uint16_t message) const {
  if (object_ == nullptr) return nullptr;
  return reinterpret_cast<AP_OBJECT*>(GU2_DoMethod_MSG(message, object_, nullptr));
}

bool CApSpectrum::ClearText(uint16_t message) {
  AP_OBJECT* text = TextObject(message);
  return text != nullptr && GU2_DoMethod_MSG(AP48_MSG_CLEAR, text, nullptr) != 0;
}

bool CApSpectrum::GetTextLength(uint16_t message, uint32_t* length) const {
  AP_OBJECT* text = TextObject(message);
  if (text == nullptr || length == nullptr) return false;
  const uint32_t bytes = GU2_DoMethod_MSG(AP48_MSG_LENGTH, text, nullptr);
  *length = bytes == 0 ? 0 : bytes + 1;
  return true;
}

bool CApSpectrum::GetText(uint16_t message, std::u16string& out) const {
  AP_OBJECT* text = TextObject(message);
  if (text == nullptr) return false;
  const auto* stored = reinterpret_cast<const char*>(GU2_DoMethod_MSG(AP48_MSG_TEXT, text, nullptr));
  const size_t length = stored == nullptr ? 0 : std::strlen(stored);
  if (out.size() <= length) return false;
  capobj_MultiByteToWide(stored == nullptr ? "" : stored, out);
  return true;
}

bool CApSpectrum::AppendText(uint16_t message, const std::u16string& added) {
  AP_OBJECT* text = TextObject(message);
  const int32_t length = capobj_WideToMultiByteLen(added) - 1;
  if (text == nullptr || length <= 0) return false;
  std::vector<char> ansi(static_cast<size_t>(length) + 1);
  capobj_WideToMultiByte(added, ansi.data(), static_cast<int32_t>(ansi.size()));
  return GU2_DoMethod_MSG(AP48_MSG_APPEND, text, ansi.data()) != 0;
}

bool CApSpectrum::ClearHistory() { return ClearText(kHistoryObject); }
bool CApSpectrum::GetHistoryLength(uint32_t* length) const { return GetTextLength(kHistoryObject, length); }
bool CApSpectrum::GetHistory(std::u16string& text) const { return GetText(kHistoryObject, text); }
bool CApSpectrum::AppendHistory(const std::u16string& text) { return AppendText(kHistoryObject, text); }
bool CApSpectrum::ClearComment() { return ClearText(kCommentObject); }
bool CApSpectrum::GetCommentLength(uint32_t* length) const { return GetTextLength(kCommentObject, length); }
bool CApSpectrum::GetComment(std::u16string& text) const { return GetText(kCommentObject, text); }
bool CApSpectrum::AppendComment(const std::u16string& text) { return AppendText(kCommentObject, text); }

bool CApSpectrum::GetSubSpectra(AP_OBJECT** background, AP_OBJECT** sample) const {
  char name[kPathSize];
  NameAndSubSpectraBlock block{name, background, sample};
  return object_ != nullptr && GU2_DoMethod_MSG(kGetNameAndSubSpectra, object_, &block) == 1;
}

bool CApSpectrum::HasSampleInterferogram() const {
  AP_OBJECT* background = nullptr;
  AP_OBJECT* sample = nullptr;
  return GetSubSpectra(&background, &sample) && sample != nullptr;
}

bool CApSpectrum::HasBackgroundInterferogram() const {
  AP_OBJECT* background = nullptr;
  AP_OBJECT* sample = nullptr;
  return GetSubSpectra(&background, &sample) && background != nullptr;
}

// The copy is made without the other spectrum's own sub-spectra, which are
// set aside for the duplicate and put back. A copy that cannot be attached
// is deleted again.
bool CApSpectrum::AttachInterferogram(const CApSpectrum& other, bool sample) {
  if (object_ == nullptr || !is_spectrum(other.object_)) return false;
  auto* head = reinterpret_cast<SpectrumHead*>(other.object_);
  AP_OBJECT* const set_aside[] = {head->background, head->sample};
  head->background = head->sample = nullptr;
  AP_OBJECT* copy = duplicate(other.object_);
  head->background = set_aside[0];
  head->sample = set_aside[1];
  AP_OBJECT* background = nullptr;
  AP_OBJECT* held_sample = nullptr;
  if (copy == nullptr || !GetSubSpectra(&background, &held_sample)) {
    delete_object(copy, 0);
    return false;
  }
  SetNameAndSubSpectraBlock block{nullptr, sample ? background : copy, sample ? copy : held_sample};
  if (GU2_DoMethod_MSG(kSetNameAndSubSpectra, object_, &block) != 1) {
    delete_object(copy, 0);
    return false;
  }
  return true;
}

bool CApSpectrum::AttachSampleInterferogram(const CApSpectrum& other) { return AttachInterferogram(other, true); }
bool CApSpectrum::AttachBackgroundInterferogram(const CApSpectrum& other) {
  return AttachInterferogram(other, false);
}

}  // namespace converter
