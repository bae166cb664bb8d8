// The spectrum wrapper: creation, adoption and deletion of the spectrum it
// owns, and one member per spectrum operation the converter and the file
// layer's wrapper use: the object protocol, points and values of ranges,
// scaled data, the header as bytes, saving under another path, the history
// and comment texts and the stored interferograms. Each member is one call
// of the spectrum class's operation. Used by the GAML import job and the
// header wrappers.
#include "converter/apspectrum.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <vector>

#include <emmintrin.h>

#include "apcomlib/array/array.h"
#include "apcomlib/spectrum/spectrum.h"

namespace converter {
namespace {

constexpr uint32_t kSpectrumRecordSize = sizeof(AP7_SPECTRUM);
// The exchange formats' file classes.
constexpr uint16_t kJcampFormat = 23;
constexpr uint16_t kXYPairsFormat = 25;
constexpr uint16_t kVelmaranFormat = 63;
// The object's debug text is made in a buffer of 255 characters.
constexpr uint32_t kDumpBuffer = 256;

AP7_SPECTRUM* spectrum_of(AP_OBJECT* object) { return object != nullptr ? ap7a_spectrum(object) : nullptr; }

AP_OBJECT* as_object(AP7_SPECTRUM* spectrum) { return reinterpret_cast<AP_OBJECT*>(spectrum); }

AP_OBJECT* duplicate(AP_OBJECT* spectrum) {
  AP7_SPECTRUM* source = spectrum_of(spectrum);
  return source != nullptr ? as_object(ap7a_Duplicate(source, nullptr)) : nullptr;
}

void delete_spectrum(AP_OBJECT* spectrum, uint32_t window) {
  if (AP7_SPECTRUM* held = spectrum_of(spectrum)) ap7a_Delete(held, reinterpret_cast<HWND>(window));
}

// A duplicate without the spectrum's own sub-spectra, which are set aside
// for the copy and put back.
AP7_SPECTRUM* duplicate_without_sub_spectra(AP7_SPECTRUM* source) {
  AP7_SPECTRUM* const set_aside[] = {source->subSpectrumA, source->subSpectrumB};
  source->subSpectrumA = source->subSpectrumB = nullptr;
  AP7_SPECTRUM* copy = ap7a_Duplicate(source, nullptr);
  source->subSpectrumA = set_aside[0];
  source->subSpectrumB = set_aside[1];
  return copy;
}

}  // namespace

CApSpectrum::CApSpectrum() : CApSpectrum(1u) {}

CApSpectrum::CApSpectrum(uint32_t points) {
  record_size_ = kSpectrumRecordSize;
  object_ = as_object(ap7a_NewInit(AP7_CLASS_ID, points, nullptr));
}

CApSpectrum::CApSpectrum(const CApSpectrum& other) : CApObjectBase() {
  record_size_ = kSpectrumRecordSize;
  object_ = duplicate(other.object_);
}

CApSpectrum::CApSpectrum(AP_OBJECT* object) {
  record_size_ = kSpectrumRecordSize;
  if (spectrum_of(object) != nullptr) object_ = object;
}

CApSpectrum& CApSpectrum::operator=(const CApSpectrum& other) {
  if (this != &other) {
    delete_spectrum(object_, delete_argument_);
    object_ = duplicate(other.object_);
  }
  return *this;
}

CApSpectrum::~CApSpectrum() {
  delete_spectrum(object_, delete_argument_);
  for (AP40_LLIST* list : {list0_, list1_}) {
    if (list != nullptr) ap40_Destroy_LLIST(list, reinterpret_cast<HWND>(delete_argument_), 1);
  }
}

bool CApSpectrum::Attach(AP_OBJECT* object) {
  if (spectrum_of(object) == nullptr) return false;
  if (object != object_) delete_spectrum(object_, delete_argument_);
  object_ = object;
  return true;
}

AP_OBJECT* CApSpectrum::GetHeaderObject() const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr ? reinterpret_cast<AP_OBJECT*>(ap7b_GetHeader(spectrum)) : nullptr;
}

bool CApSpectrum::SendToPart(uint16_t message, void* parameter) {
  return object_ != nullptr && GU2_DoMethod_MSG(message, object_, parameter) == 1;
}

bool CApSpectrum::SetUserWord(uint16_t word) {
  AP_WORDPARM block{word};
  return SendToPart(AP_MSG_SET_USER_WORD, &block);
}

bool CApSpectrum::GetMemorySize(uint32_t* bytes) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  if (spectrum == nullptr || bytes == nullptr) return false;
  *bytes = ap7a_GetSize(spectrum);
  return true;
}

bool CApSpectrum::BeginChange() { return SendToPart(AP_MSG_BEGIN_CHANGE, nullptr); }
bool CApSpectrum::EndChange() { return SendToPart(AP_MSG_END_CHANGE, nullptr); }

bool CApSpectrum::IsModified(int16_t* state) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  if (spectrum == nullptr || state == nullptr) return false;
  *state = ap7a_IsModified(spectrum);
  return true;
}

bool CApSpectrum::AddDependentWindow(HWND window, uint16_t kind) {
  AP_DEPENDENTWINDOWPARM block{window, kind};
  return SendToPart(AP_MSG_ADD_DEPENDENT_WINDOW, &block);
}

bool CApSpectrum::RemoveDependent(HWND window) {
  AP_WINDOWPARM block{window, 0};
  return SendToPart(AP_MSG_REMOVE_DEPENDENT, &block);
}

bool CApSpectrum::GetPointCount(uint32_t* count) const { return GetPointCount(AP_NOT_GIVEN, AP_NOT_GIVEN, count); }

bool CApSpectrum::GetPointCount(float x1, float x2, uint32_t* count) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && count != nullptr && ap7a_GetRangePoints(spectrum, x1, x2, count) == 1;
}

bool CApSpectrum::FillRange(float value) { return FillRange(AP_NOT_GIVEN, AP_NOT_GIVEN, value); }

bool CApSpectrum::FillRange(float x1, float x2, float value) {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && ap7a_FillRange(spectrum, x1, x2, value) == 1;
}

bool CApSpectrum::InsertPoints(bool at_start, int32_t count) {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && ap7a_InsertPoints(spectrum, at_start ? 1 : 0, count) == 1;
}

bool CApSpectrum::DeletePoints(bool at_start, int32_t count) {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && ap7a_DeletePoints(spectrum, at_start ? 1 : 0, count) == 1;
}

bool CApSpectrum::SetNumPoints(uint32_t count) {
  uint32_t now = 0;
  if (!GetPointCount(&now)) return false;
  if (now > count) DeletePoints(false, static_cast<int32_t>(now - count));
  if (now < count) InsertPoints(false, static_cast<int32_t>(count - now));
  return GetPointCount(&now) && now == count;
}

namespace {

constexpr uint32_t kExponent = 0x7F800000;
constexpr uint32_t kQuiet = 0x00400000;
constexpr uint32_t kFraction = 0x007FFFFF;

// Four values' bits at once, signalling NaNs made quiet, without a branch:
// most values are plain numbers.
__m128i quieted(__m128i bits) {
  const __m128i exponent = _mm_set1_epi32(static_cast<int>(kExponent));
  const __m128i quiet = _mm_set1_epi32(static_cast<int>(kQuiet));
  const __m128i not_a_number = _mm_cmpeq_epi32(_mm_and_si128(bits, _mm_or_si128(exponent, quiet)), exponent);
  const __m128i no_fraction =
      _mm_cmpeq_epi32(_mm_and_si128(bits, _mm_set1_epi32(static_cast<int>(kFraction))), _mm_setzero_si128());
  return _mm_or_si128(bits, _mm_andnot_si128(no_fraction, _mm_and_si128(not_a_number, quiet)));
}

// Floats scaled by 1.0 through a double come back as they were, except
// that a signalling NaN comes back quiet. The same is done on their bits,
// which costs far less than two conversions and a product per value.
// Value i goes to data[i * step] (step 1 or -1).
void copy_quieting_nans(const float* values, uint32_t count, float* data, int32_t step) {
  uint32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i four = quieted(_mm_loadu_si128(reinterpret_cast<const __m128i*>(values + i)));
    if (step > 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(data + i), four);
    } else {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(data - i - 3), _mm_shuffle_epi32(four, _MM_SHUFFLE(0, 1, 2, 3)));
    }
  }
  for (; i < count; ++i) {
    uint32_t bits;
    std::memcpy(&bits, &values[i], sizeof bits);
    const uint32_t signalling = ((bits & (kExponent | kQuiet)) == kExponent) & ((bits & kFraction) != 0);
    bits |= signalling * kQuiet;
    std::memcpy(data + static_cast<int32_t>(i) * step, &bits, sizeof bits);
  }
}

// The spectrum resized to `count` points; its data, or null.
float* resized_data(CApSpectrum& spectrum, AP_OBJECT* object, bool given, uint32_t count) {
  if (object == nullptr || (!given && count != 0) || !spectrum.SetNumPoints(count)) return nullptr;
  return ap7b_GetDataPtr(spectrum_of(object));
}

template <class Value>
bool set_scaled(CApSpectrum& spectrum, AP_OBJECT* object, const Value* values, uint32_t count, double factor) {
  float* data = resized_data(spectrum, object, values != nullptr, count);
  if (data == nullptr) return false;
  if constexpr (std::is_same_v<Value, float>) {
    if (factor == 1.0) {
      copy_quieting_nans(values, count, data, 1);
      return true;
    }
  }
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

bool CApSpectrum::SetReversedData(const float* values, uint32_t count) {
  float* data = resized_data(*this, object_, values != nullptr, count);
  if (data == nullptr) return false;
  if (count != 0) copy_quieting_nans(values, count, data + count - 1, -1);
  return true;
}

bool CApSpectrum::GetValues(float* buffer, uint32_t* count) const {
  uint32_t points = 0;
  if (buffer == nullptr || !GetPointCount(&points)) return false;
  const uint32_t capacity = *count;
  *count = points;
  if (points > capacity) return false;
  const float* data = ap7b_GetDataPtr(spectrum_of(object_));
  if (data == nullptr && points != 0) return false;
  std::memcpy(buffer, data, points * sizeof(float));
  return true;
}

// The indexes are kept inside the data at both ends, so that a limit
// outside the axis never reads beyond it.
bool CApSpectrum::GetValues(float* buffer, uint32_t* count, float x1, float x2) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  uint32_t points = 0;
  if (buffer == nullptr || count == nullptr || !GetPointCount(&points) || points == 0) return false;
  const float* data = ap7b_GetDataPtr(spectrum);
  if (data == nullptr) return false;
  int32_t ends[2] = {0, 0};
  ap7b_XToIndex(spectrum, x1, &ends[0]);
  ap7b_XToIndex(spectrum, x2, &ends[1]);
  for (int32_t& end : ends) end = std::clamp<int32_t>(end, 0, static_cast<int32_t>(points) - 1);
  const uint32_t lower = static_cast<uint32_t>(std::min(ends[0], ends[1]));
  // Both end points belong to the range.
  const uint32_t copied = std::min(static_cast<uint32_t>(std::abs(ends[1] - ends[0])) + 1, *count);
  std::memcpy(buffer, data + lower, copied * sizeof(float));
  *count = copied;
  return true;
}

bool CApSpectrum::CopyInto(CApSpectrum& target) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  AP7_SPECTRUM* copy = spectrum_of(target.object_);
  uint32_t points = 0;
  uint32_t target_points = 0;
  if (spectrum == nullptr || copy == nullptr || !GetPointCount(&points) || !target.GetPointCount(&target_points)) {
    return false;
  }
  if (points != target_points && !target.SetNumPoints(points)) return false;
  return ap7a_Copy(spectrum, copy, nullptr) == 1;
}

bool CApSpectrum::IsSingleBeam(bool* single_beam) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  const AP41_HEADERDATA* record = ap7a_record(spectrum);
  if (record == nullptr || single_beam == nullptr) return false;
  *single_beam = record->y_units == AP41_YUNITS_SINGLE_BEAM;
  return true;
}

bool CApSpectrum::GetHeaderBytes(void* buffer, uint32_t size) const {
  AP41_SPECTRALHEADER* header = ap41_header(GetHeaderObject());
  if (header == nullptr || buffer == nullptr || size < kHeaderSize) return false;
  std::memcpy(buffer, header, kHeaderSize);
  return true;
}

bool CApSpectrum::SetHeaderBytes(const void* buffer, uint32_t size) {
  AP41_SPECTRALHEADER* header = ap41_header(GetHeaderObject());
  if (header == nullptr || buffer == nullptr || size < kHeaderSize) return false;
  AP13_PARAMS* const own_table = header->params;
  std::memcpy(header, buffer, kHeaderSize);
  header->params = own_table;
  return true;
}

// The spectrum is saved under the new path or not at all: a path that does
// not fit the path field, or an old path that cannot be read back to put
// back afterwards, refuses the save. Format class 0 is the native file,
// saved with its signature.
bool CApSpectrum::SaveUnder(const std::u16string& path, uint16_t format_class) {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  if (spectrum == nullptr) return false;
  char target[AP7_TEXT_FIELD] = {};
  char old_path[AP7_TEXT_FIELD] = {};
  if (capobj_WideToMultiByte(path, target, sizeof target) == nullptr) return false;
  if (ap7b_GetFilePath(spectrum, old_path) != 1 || ap7b_SetFilePath(spectrum, target) != 1) return false;
  const bool saved = format_class == 0 ? SaveSigned() : ap7d_SaveToFile(object_, format_class) == 1;
  ap7b_SetFilePath(spectrum, old_path);
  return saved;
}

bool CApSpectrum::SaveAs(const std::u16string& path) { return SaveUnder(path, 0); }
bool CApSpectrum::ExportJcamp(const std::u16string& path) { return SaveUnder(path, kJcampFormat); }
bool CApSpectrum::ExportVelmaran(const std::u16string& path) { return SaveUnder(path, kVelmaranFormat); }
bool CApSpectrum::ExportXYPairs(const std::u16string& path) { return SaveUnder(path, kXYPairsFormat); }

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

bool CApSpectrum::ClearHistory() { return ClearText(AP7_MSG_HISTORY_OBJECT); }
bool CApSpectrum::GetHistoryLength(uint32_t* length) const { return GetTextLength(AP7_MSG_HISTORY_OBJECT, length); }
bool CApSpectrum::GetHistory(std::u16string& text) const { return GetText(AP7_MSG_HISTORY_OBJECT, text); }
bool CApSpectrum::AppendHistory(const std::u16string& text) { return AppendText(AP7_MSG_HISTORY_OBJECT, text); }
bool CApSpectrum::ClearComment() { return ClearText(AP7_MSG_COMMENT_OBJECT); }
bool CApSpectrum::GetCommentLength(uint32_t* length) const { return GetTextLength(AP7_MSG_COMMENT_OBJECT, length); }
bool CApSpectrum::GetComment(std::u16string& text) const { return GetText(AP7_MSG_COMMENT_OBJECT, text); }
bool CApSpectrum::AppendComment(const std::u16string& text) { return AppendText(AP7_MSG_COMMENT_OBJECT, text); }

bool CApSpectrum::GetSubSpectra(AP_OBJECT** background, AP_OBJECT** sample) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  char name[AP7_TEXT_FIELD];
  AP7_SPECTRUM* sub_a = nullptr;
  AP7_SPECTRUM* sub_b = nullptr;
  const AP7_GETNAMEPARM out{name, &sub_a, &sub_b};
  if (spectrum == nullptr || ap7b_GetNameAndSubSpectra(spectrum, &out) != 1) return false;
  *background = as_object(sub_a);
  *sample = as_object(sub_b);
  return true;
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

// The copy is made without the other spectrum's own sub-spectra. A copy
// that cannot be attached is deleted again.
bool CApSpectrum::AttachInterferogram(const CApSpectrum& other, bool sample) {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  AP7_SPECTRUM* source = spectrum_of(other.object_);
  if (spectrum == nullptr || source == nullptr) return false;
  AP7_SPECTRUM* copy = duplicate_without_sub_spectra(source);
  if (copy == nullptr) return false;
  AP_OBJECT* background = nullptr;
  AP_OBJECT* held_sample = nullptr;
  if (!GetSubSpectra(&background, &held_sample) ||
      ap7b_SetNameAndSubSpectra(spectrum, nullptr, sample ? spectrum_of(background) : copy,
                                sample ? copy : spectrum_of(held_sample)) != 1) {
    ap7a_Delete(copy, nullptr);
    return false;
  }
  return true;
}

bool CApSpectrum::AttachSampleInterferogram(const CApSpectrum& other) { return AttachInterferogram(other, true); }
bool CApSpectrum::AttachBackgroundInterferogram(const CApSpectrum& other) {
  return AttachInterferogram(other, false);
}

bool CApSpectrum::KeepSelfAsSampleInterferogram() {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  AP7_SPECTRUM* copy = spectrum != nullptr ? duplicate_without_sub_spectra(spectrum) : nullptr;
  if (copy == nullptr) return false;
  ap7b_SetNameAndSubSpectra(spectrum, nullptr, spectrum->subSpectrumA, copy);
  return true;
}

bool CApSpectrum::TakeInterferogramOf(const CApSpectrum& other, bool sample) {
  AP_OBJECT* background = nullptr;
  AP_OBJECT* held_sample = nullptr;
  if (object_ == nullptr || !other.GetSubSpectra(&background, &held_sample)) return false;
  AP_OBJECT* copy = duplicate(sample ? held_sample : background);
  return copy != nullptr && Attach(copy);
}

bool CApSpectrum::TakeSampleInterferogramOf(const CApSpectrum& other) { return TakeInterferogramOf(other, true); }
bool CApSpectrum::TakeBackgroundInterferogramOf(const CApSpectrum& other) {
  return TakeInterferogramOf(other, false);
}


// The text is cut to 255 characters, then to the caller's buffer.
bool CApSpectrum::GetDebugDump(char* buffer, uint32_t size) const {
  std::string dump;
  if (object_ == nullptr || buffer == nullptr || size == 0 || !ap2_DumpText_OBJ(object_, dump)) return false;
  if (dump.size() >= kDumpBuffer) dump.resize(kDumpBuffer - 1);
  capobj_StrCopyN2(dump.c_str(), buffer, static_cast<int32_t>(std::min<uint32_t>(size, INT32_MAX)));
  return true;
}

namespace {

constexpr float kWhole = AP_NOT_GIVEN;

}  // namespace

// A new spectrum handed to the out wrapper, or deleted when there is none
// to take it.
bool CApSpectrum::HandOut(AP7_SPECTRUM* made, CApSpectrum& out) {
  ap7a_new_spectrum held(made);
  if (held.get() == nullptr || !out.Attach(as_object(held.get()))) return false;
  held.release();
  return true;
}

bool CApSpectrum::GetValueAtX(float x, float* value) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && value != nullptr && ap7a_GetValueAtX(spectrum, x, value) == 1;
}

bool CApSpectrum::SetValueAtX(float x, float value) {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && ap7a_SetValueAtX(spectrum, x, value) == 1;
}

bool CApSpectrum::NewFromRange(float x1, float x2, CApSpectrum& out) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && HandOut(ap7a_NewFromRange(spectrum, x1, x2), out);
}

bool CApSpectrum::CopyRangeFrom(const CApSpectrum& other, float x1, float x2) {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  AP7_SPECTRUM* source = spectrum_of(other.object_);
  return spectrum != nullptr && source != nullptr && ap7a_CopyRangeFrom(source, x1, x2, spectrum) == 1;
}

namespace {

using ScalarOperation = uint16_t (*)(AP7_SPECTRUM*, float, float, float);
using SpectraOperation = AP7_SPECTRUM* (*)(AP7_SPECTRUM*, float, float, AP7_SPECTRUM*);

bool with_constant(AP_OBJECT* object, ScalarOperation operation, float x1, float x2, float value) {
  AP7_SPECTRUM* spectrum = spectrum_of(object);
  return spectrum != nullptr && operation(spectrum, x1, x2, value) == 1;
}

bool with_spectrum(AP_OBJECT* object, SpectraOperation operation, float x1, float x2, AP_OBJECT* other,
                   CApSpectrum& out) {
  AP7_SPECTRUM* spectrum = spectrum_of(object);
  AP7_SPECTRUM* second = spectrum_of(other);
  return spectrum != nullptr && second != nullptr && CApSpectrum::HandOut(operation(spectrum, x1, x2, second), out);
}

}  // namespace

bool CApSpectrum::AddConstant(float value) { return AddConstant(kWhole, kWhole, value); }
bool CApSpectrum::AddConstant(float x1, float x2, float value) {
  return with_constant(object_, ap7a_AddScalar, x1, x2, value);
}
bool CApSpectrum::SubtractConstant(float value) { return SubtractConstant(kWhole, kWhole, value); }
bool CApSpectrum::SubtractConstant(float x1, float x2, float value) {
  return with_constant(object_, ap7a_SubtractScalar, x1, x2, value);
}
bool CApSpectrum::MultiplyConstant(float value) { return MultiplyConstant(kWhole, kWhole, value); }
bool CApSpectrum::MultiplyConstant(float x1, float x2, float value) {
  return with_constant(object_, ap7a_MultiplyScalar, x1, x2, value);
}
bool CApSpectrum::DivideConstant(float value) { return DivideConstant(kWhole, kWhole, value); }
// A divisor equal to 0 is refused: the values stay, rather than all
// becoming missing.
bool CApSpectrum::DivideConstant(float x1, float x2, float value) {
  return AP1_KovFloatCompareSG_MATH(value, 0.0f) == 0 && with_constant(object_, ap7a_DivideScalar, x1, x2, value);
}

bool CApSpectrum::AddSpectrum(const CApSpectrum& other, CApSpectrum& out) const {
  return AddSpectrum(kWhole, kWhole, other, out);
}
bool CApSpectrum::AddSpectrum(float x1, float x2, const CApSpectrum& other, CApSpectrum& out) const {
  return with_spectrum(object_, ap7a_AddSpectra, x1, x2, other.object_, out);
}
bool CApSpectrum::SubtractSpectrum(const CApSpectrum& other, CApSpectrum& out) const {
  return SubtractSpectrum(kWhole, kWhole, other, out);
}
bool CApSpectrum::SubtractSpectrum(float x1, float x2, const CApSpectrum& other, CApSpectrum& out) const {
  return with_spectrum(object_, ap7a_SubtractSpectra, x1, x2, other.object_, out);
}
bool CApSpectrum::MultiplySpectrum(const CApSpectrum& other, CApSpectrum& out) const {
  return MultiplySpectrum(kWhole, kWhole, other, out);
}
bool CApSpectrum::MultiplySpectrum(float x1, float x2, const CApSpectrum& other, CApSpectrum& out) const {
  return with_spectrum(object_, ap7a_MultiplySpectra, x1, x2, other.object_, out);
}
bool CApSpectrum::DivideSpectrum(const CApSpectrum& other, CApSpectrum& out) const {
  return DivideSpectrum(kWhole, kWhole, other, out);
}
bool CApSpectrum::DivideSpectrum(float x1, float x2, const CApSpectrum& other, CApSpectrum& out) const {
  return with_spectrum(object_, ap7a_DivideSpectra, x1, x2, other.object_, out);
}

namespace {

using StatisticOperation = uint16_t (*)(AP7_SPECTRUM*, float, float, float*);

bool statistic(AP_OBJECT* object, StatisticOperation operation, float x1, float x2, float* result) {
  AP7_SPECTRUM* spectrum = spectrum_of(object);
  float value = 0;
  if (spectrum == nullptr || operation(spectrum, x1, x2, &value) != 1) return false;
  if (result != nullptr) *result = value;
  return true;
}

}  // namespace

bool CApSpectrum::GetMinMax(float* minimum, float* maximum) const { return GetMinMax(kWhole, kWhole, minimum, maximum); }
bool CApSpectrum::GetMinMax(float x1, float x2, float* minimum, float* maximum) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  float low = 0, high = 0;
  if (spectrum == nullptr || ap7a_MinMax(spectrum, x1, x2, &low, &high) != 1) return false;
  if (minimum != nullptr) *minimum = low;
  if (maximum != nullptr) *maximum = high;
  return true;
}

bool CApSpectrum::GetMinMaxX(float* minimum, float* minimum_x, float* maximum, float* maximum_x) const {
  return GetMinMaxX(kWhole, kWhole, minimum, minimum_x, maximum, maximum_x);
}
bool CApSpectrum::GetMinMaxX(float x1, float x2, float* minimum, float* minimum_x, float* maximum,
                             float* maximum_x) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  float values[4] = {};
  if (spectrum == nullptr || ap7a_MinMaxX(spectrum, x1, x2, &values[0], &values[1], &values[2], &values[3]) != 1)
    return false;
  float* const out[] = {minimum, minimum_x, maximum, maximum_x};
  for (int i = 0; i < 4; ++i) {
    if (out[i] != nullptr) *out[i] = values[i];
  }
  return true;
}

bool CApSpectrum::GetSum(float* sum) const { return GetSum(kWhole, kWhole, sum); }
bool CApSpectrum::GetSum(float x1, float x2, float* sum) const { return statistic(object_, ap7a_RangeSum, x1, x2, sum); }
bool CApSpectrum::GetMean(float* mean) const { return GetMean(kWhole, kWhole, mean); }
bool CApSpectrum::GetMean(float x1, float x2, float* mean) const {
  return statistic(object_, ap7a_RangeMean, x1, x2, mean);
}
bool CApSpectrum::GetStdDev(float* deviation) const { return GetStdDev(kWhole, kWhole, deviation); }
bool CApSpectrum::GetStdDev(float x1, float x2, float* deviation) const {
  return statistic(object_, ap7a_RangeStdDev, x1, x2, deviation);
}

namespace {

// The regrids take finite limits: the whole spectrum is its own X range.
bool whole_x_range(AP_OBJECT* object, float* x1, float* x2) {
  const AP41_HEADERDATA* record = ap7a_record(spectrum_of(object));
  if (record == nullptr) return false;
  *x1 = record->first_x;
  *x2 = record->last_x;
  return true;
}

}  // namespace

bool CApSpectrum::Regrid(float spacing, CApSpectrum& out) const {
  float x1 = 0, x2 = 0;
  return whole_x_range(object_, &x1, &x2) && Regrid(x1, x2, spacing, out);
}
bool CApSpectrum::Regrid(float x1, float x2, float spacing, CApSpectrum& out) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && HandOut(ap7a_RangeTransform(spectrum, x1, x2, spacing), out);
}
bool CApSpectrum::RegridInside(float spacing, CApSpectrum& out) const {
  float x1 = 0, x2 = 0;
  return whole_x_range(object_, &x1, &x2) && RegridInside(x1, x2, spacing, out);
}
bool CApSpectrum::RegridInside(float x1, float x2, float spacing, CApSpectrum& out) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && HandOut(ap7a_RangeTransform2(spectrum, x1, x2, spacing), out);
}

bool CApSpectrum::Derivative(CApSpectrum& out) const { return Derivative(kWhole, kWhole, out); }
bool CApSpectrum::Derivative(float x1, float x2, CApSpectrum& out) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && HandOut(ap7a_Derivative(spectrum, x1, x2), out);
}
bool CApSpectrum::SecondDerivative(CApSpectrum& out) const { return SecondDerivative(kWhole, kWhole, out); }
bool CApSpectrum::SecondDerivative(float x1, float x2, CApSpectrum& out) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && HandOut(ap7a_DerivativeRange(spectrum, x1, x2), out);
}

bool CApSpectrum::Smooth(uint32_t window, CApSpectrum& out) const { return Smooth(kWhole, kWhole, window, out); }
bool CApSpectrum::Smooth(float x1, float x2, uint32_t window, CApSpectrum& out) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && HandOut(ap7a_SGSmooth(spectrum, x1, x2, window), out);
}

bool CApSpectrum::SelfDeconvolve(float half_width, float factor, uint16_t mode, uint32_t size,
                                 CApSpectrum& out) const {
  return SelfDeconvolve(kWhole, kWhole, half_width, factor, mode, size, out);
}
bool CApSpectrum::SelfDeconvolve(float x1, float x2, float half_width, float factor, uint16_t mode, uint32_t size,
                                 CApSpectrum& out) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr &&
         HandOut(ap7a_FourierSelfDeconvolve(spectrum, x1, x2, half_width, factor, mode, size), out);
}

bool CApSpectrum::PeakSearch(float kernel_value, float sensitivity, uint16_t use_range, AP4_PEAK* table,
                             uint32_t capacity, uint32_t* found, bool* full) const {
  return PeakSearch(kWhole, kWhole, kernel_value, sensitivity, use_range, table, capacity, found, full);
}
bool CApSpectrum::PeakSearch(float x1, float x2, float kernel_value, float sensitivity, uint16_t use_range,
                             AP4_PEAK* table, uint32_t capacity, uint32_t* found, bool* full) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  if (spectrum == nullptr || table == nullptr) return false;
  uint16_t table_full = 0;
  const AP7_PEAKSEARCHPARM block{x1, x2, kernel_value, sensitivity, capacity, use_range, &table_full, table, 1, 1};
  const uint32_t peaks = ap7a_PeakSearch(spectrum, &block, block.sort, block.log_mode);
  if (found != nullptr) *found = peaks;
  if (full != nullptr) *full = table_full != 0;
  return true;
}

bool CApSpectrum::TransformInterferogram(uint16_t k) {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && ap7a_TransformInterferogram(spectrum, k) == 1;
}

bool CApSpectrum::Apodize(uint16_t id, uint16_t ramp) {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && ap7a_Apodize(spectrum, id, ramp) == 1;
}

bool CApSpectrum::PhaseSpectrum(uint32_t length, uint16_t k, uint16_t kind, uint16_t mode, CApSpectrum& out) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && HandOut(ap7a_PhaseSpectrum(spectrum, length, k, kind, mode), out);
}

bool CApSpectrum::PhaseCorrect(uint16_t mode, const CApSpectrum* phase) {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  if (spectrum == nullptr || ap7a_PhaseCorrect(spectrum, mode, phase != nullptr ? spectrum_of(phase->object_) : nullptr) != 1)
    return false;
  const float gain = ap7a_record(spectrum)->Gain;
  if (gain > 0) ap7a_DivideScalar(spectrum, kWhole, kWhole, gain);
  return true;
}

bool CApSpectrum::ScaleRange(float x1, float x2, float y_low, float y_high, int16_t columns, uint16_t height,
                             uint16_t* minima, uint16_t* maxima) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && minima != nullptr && maxima != nullptr &&
         ap7a_ScaleRange(spectrum, x1, x2, y_low, y_high, columns, height, minima, maxima) == 1;
}

namespace {

template <class Result>
using PairOperation = uint16_t (*)(AP7_SPECTRUM*, float, float, AP7_SPECTRUM*, Result*);

template <class Result>
bool over_pairs(AP_OBJECT* object, PairOperation<Result> operation, float x1, float x2, AP_OBJECT* other,
                Result* result) {
  AP7_SPECTRUM* spectrum = spectrum_of(object);
  AP7_SPECTRUM* second = spectrum_of(other);
  Result value{};
  if (spectrum == nullptr || second == nullptr || result == nullptr || operation(spectrum, x1, x2, second, &value) != 1)
    return false;
  *result = value;
  return true;
}

}  // namespace

bool CApSpectrum::CorrelateRanges(const CApSpectrum& other, float* slope) const {
  return CorrelateRanges(kWhole, kWhole, other, slope);
}
bool CApSpectrum::CorrelateRanges(float x1, float x2, const CApSpectrum& other, float* slope) const {
  return over_pairs<float>(object_, ap7a_CorrelateRanges, x1, x2, other.object_, slope);
}
bool CApSpectrum::CountValidPairs(const CApSpectrum& other, uint32_t* count) const {
  return CountValidPairs(kWhole, kWhole, other, count);
}
bool CApSpectrum::CountValidPairs(float x1, float x2, const CApSpectrum& other, uint32_t* count) const {
  return over_pairs<uint32_t>(object_, ap7a_CountValidPairs, x1, x2, other.object_, count);
}
bool CApSpectrum::PairProduct(const CApSpectrum& other, float* product) const {
  return PairProduct(kWhole, kWhole, other, product);
}
bool CApSpectrum::PairProduct(float x1, float x2, const CApSpectrum& other, float* product) const {
  return over_pairs<float>(object_, ap7a_RangePairOp, x1, x2, other.object_, product);
}

bool CApSpectrum::Convolve(const CApSpectrum& kernel, uint16_t option, CApSpectrum& out) const {
  return Convolve(kWhole, kWhole, kernel, option, out);
}
bool CApSpectrum::Convolve(float x1, float x2, const CApSpectrum& kernel, uint16_t option, CApSpectrum& out) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  AP7_SPECTRUM* second = spectrum_of(kernel.object_);
  return spectrum != nullptr && second != nullptr && HandOut(ap7a_Convolve(spectrum, x1, x2, second, option), out);
}

namespace {

// A copy of the source's sample interferogram as the result's background
// interferogram, when the source has one and the copy can be had.
void keep_interferogram(AP7_SPECTRUM* source, AP7_SPECTRUM* result) {
  if (source == nullptr || source->subSpectrumB == nullptr) return;
  ap7a_new_spectrum copy(duplicate_without_sub_spectra(source->subSpectrumB));
  if (copy.get() != nullptr && ap7b_SetNameAndSubSpectra(result, nullptr, copy.get(), result->subSpectrumB) == 1)
    copy.release();
}

}  // namespace

// The ratio counts as made once it is handed out; the interferogram copy
// follows it when it can be had.
bool CApSpectrum::RatioAgainstBackground(const CApSpectrum& background, CApSpectrum& out,
                                         bool keep_interferogram_too) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  AP7_SPECTRUM* reference = spectrum_of(background.object_);
  if (spectrum == nullptr || reference == nullptr || !out.Holds() ||
      !HandOut(ap7b_RatioAgainstBackground(spectrum, reference), out)) {
    return false;
  }
  if (keep_interferogram_too) keep_interferogram(reference, spectrum_of(out.object_));
  return true;
}

// The roles of the formula by mode: B background, D dark, E, R reference, F
// factor; a mode runs only when the spectra it needs are given.
bool CApSpectrum::RatioConformed(const CApSpectrum* background, CApSpectrum& out, const CApSpectrum* s3,
                                 const CApSpectrum* s4, const CApSpectrum* s5, const CApSpectrum* s6,
                                 const CApSpectrum* s7, float a, float b, float c, bool prepare, uint16_t mode,
                                 bool keep_interferogram_too) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  const auto held = [](const CApSpectrum* wrapper) { return wrapper != nullptr ? spectrum_of(wrapper->object_) : nullptr; };
  AP7_SPECTRUM* const bg = held(background);
  AP7_SPECTRUM* const sp3 = held(s3);
  AP7_SPECTRUM* const sp4 = held(s4);
  AP7_SPECTRUM* const sp5 = held(s5);
  AP7_SPECTRUM* const sp6 = held(s6);
  AP7_SPECTRUM* const sp7 = held(s7);
  struct Roles {
    AP7_SPECTRUM *b, *d, *e, *r, *f;
    bool given;
  } roles{};
  switch (mode) {
    case 1:
    case 2: roles = {bg, sp3, nullptr, nullptr, nullptr, bg && sp3}; break;
    case 3: roles = {bg, nullptr, sp6, sp7, nullptr, bg && sp6 && sp7}; break;
    case 4: roles = {bg, nullptr, nullptr, sp3, nullptr, bg && sp3}; break;
    case 5: roles = {nullptr, nullptr, nullptr, sp3, nullptr, sp3 != nullptr}; break;
    case 6: roles = {bg, sp3, sp4, nullptr, nullptr, bg && sp3 && sp4}; break;
    case 7: roles = {bg, sp3, nullptr, sp7, sp6, bg && sp3 && sp6 && sp7}; break;
    case 8: roles = {bg, sp3, sp4, sp7, sp6, bg && sp3 && sp4 && sp6 && sp7}; break;
    case 9: roles = {bg, sp3, sp4, nullptr, nullptr, bg != nullptr}; break;
    case 10: roles = {bg, sp3, nullptr, sp4, nullptr, bg != nullptr}; break;
    case 11: roles = {bg, sp3, sp4, sp5, nullptr, bg && sp5}; break;
    default: roles = {bg, nullptr, nullptr, nullptr, nullptr, bg != nullptr}; break;
  }
  if (spectrum == nullptr || !roles.given || !out.Holds() ||
      !HandOut(ap7b_RatioConformed(spectrum, mode, roles.b, roles.d, roles.e, roles.r, roles.f, a, b, c, 0,
                                   prepare ? 1 : 0),
               out)) {
    return false;
  }
  if (keep_interferogram_too) keep_interferogram(mode == 5 ? sp3 : bg, spectrum_of(out.object_));
  return true;
}

}  // namespace converter
