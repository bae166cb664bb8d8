// The spectrum wrapper's processing members: the X axis, regions, unit
// conversions and combinations of the spectrum operations, the two lists of
// spectra for list statistics, and loading a spectrum from a file. Each
// member is one call of the operation with the held spectrum; new spectra
// go to an out wrapper. The converter's import does not use them.
#include <cstring>
#include <vector>

#include "apcomlib/processing/processing.h"
#include "apcomlib/spectrum/spectrum.h"
#include "converter/apspectrum.h"

namespace converter {
namespace {

AP7_SPECTRUM* spectrum_of(AP_OBJECT* object) { return object != nullptr ? ap7a_spectrum(object) : nullptr; }

constexpr float kWhole = AP_NOT_GIVEN;

}  // namespace

bool CApSpectrum::XToIndex(float x, int32_t* index) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && index != nullptr && ap7b_XToIndex(spectrum, x, index) == 1;
}

bool CApSpectrum::GetXSpacing(float* spacing) const {
  return object_ != nullptr && spacing != nullptr && ap7b_GetXSpacingOut(object_, spacing) == 1;
}

bool CApSpectrum::GetXRange(float* first_x, float* last_x) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && first_x != nullptr && last_x != nullptr && ap7b_GetXRange(spectrum, first_x, last_x) != 0;
}

// The operations answer the point count, 0 on failure.
bool CApSpectrum::ClampXRange(float* x1, float* x2) {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && x1 != nullptr && x2 != nullptr && ap7b_ClampXRange(spectrum, x1, x2) != 0;
}

// The operation answers the number of points of the range, 0 or less when
// there are none.
bool CApSpectrum::XRangeToIndexRange(float* x1, float* x2, AP4_CELL* first, AP4_CELL* last) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && x1 != nullptr && x2 != nullptr && first != nullptr && last != nullptr &&
         ap7b_XRangeToIndexRange(spectrum, x1, x2, first, last) > 0;
}

bool CApSpectrum::CommonIndexRange(const CApSpectrum& other, float* x1, float* x2, AP4_CELL* first, AP4_CELL* last,
                                   AP4_CELL* other_first, AP4_CELL* other_last) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  AP7_SPECTRUM* second = spectrum_of(other.object_);
  return spectrum != nullptr && second != nullptr && x1 != nullptr && x2 != nullptr && first != nullptr &&
         last != nullptr && other_first != nullptr && other_last != nullptr &&
         ap7b_CommonIndexRange(spectrum, x1, x2, first, last, second, other_first, other_last) > 0;
}

bool CApSpectrum::CompareSpacing(const CApSpectrum& other, bool* same) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  AP7_SPECTRUM* second = spectrum_of(other.object_);
  if (spectrum == nullptr || second == nullptr || same == nullptr) return false;
  *same = ap7d_CompareSpacing(spectrum, second) == 1;
  return true;
}

bool CApSpectrum::CompareHeaderField(const CApSpectrum& other, bool* same) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  AP7_SPECTRUM* second = spectrum_of(other.object_);
  if (spectrum == nullptr || second == nullptr || same == nullptr) return false;
  *same = ap7d_CompareHeaderField(spectrum, second) == 1;
  return true;
}

bool CApSpectrum::GetPeakDirection(uint16_t* direction) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  if (spectrum == nullptr || direction == nullptr) return false;
  *direction = ap7d_GetPeakDirection(spectrum) == AP1_PEAKS_UP ? AP1_PEAKS_UP : AP1_PEAKS_DOWN;
  return true;
}

bool CApSpectrum::BlankRegion() { return BlankRegion(kWhole, kWhole); }
bool CApSpectrum::BlankRegion(float x1, float x2) {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && ap7b_BlankRegion(spectrum, x1, x2) == 1;
}

bool CApSpectrum::StraightLineRegion() { return StraightLineRegion(kWhole, kWhole); }
bool CApSpectrum::StraightLineRegion(float x1, float x2) {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && ap7b_StraightLineRegion(spectrum, x1, x2) == 1;
}

bool CApSpectrum::FillNaNGaps() {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && spectrum->data != nullptr && ap4b_FillNaNGaps(spectrum->data) == 1;
}

bool CApSpectrum::SubtractScaled(const CApSpectrum& other, float k) { return SubtractScaled(kWhole, kWhole, other, k); }
bool CApSpectrum::SubtractScaled(float x1, float x2, const CApSpectrum& other, float k) {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  AP7_SPECTRUM* second = spectrum_of(other.object_);
  return spectrum != nullptr && second != nullptr && ap7d_SubtractScaled(spectrum, x1, x2, second, k) == 1;
}

namespace {

using Conversion = uint16_t (*)(AP7_SPECTRUM*, uint16_t);

bool convert(AP_OBJECT* object, Conversion conversion, bool truncate) {
  AP7_SPECTRUM* spectrum = spectrum_of(object);
  return spectrum != nullptr && conversion(spectrum, truncate ? 1 : 0) == 1;
}

}  // namespace

bool CApSpectrum::ConvertToAbsorbance(bool truncate) { return convert(object_, ap7b_ConvertToAbsorbance, truncate); }
bool CApSpectrum::ConvertToTransmittance(bool truncate) {
  return convert(object_, ap7b_ConvertToTransmittance, truncate);
}
bool CApSpectrum::ConvertToPAS(bool truncate) { return convert(object_, ap7b_ConvertToPAS, truncate); }
bool CApSpectrum::ConvertToKM(bool truncate) { return convert(object_, ap7b_ConvertToKM, truncate); }

bool CApSpectrum::ConvertYUnits(uint16_t target) {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && ap7d_ConvertYUnits(spectrum, target) == 1;
}

bool CApSpectrum::Concatenate(const CApSpectrum& other, CApSpectrum& out) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  AP7_SPECTRUM* second = spectrum_of(other.object_);
  if (spectrum == nullptr || second == nullptr) return false;
  return HandOut(ap7b_Concatenate(spectrum, second), out);
}

bool CApSpectrum::ConvertToPercentReflectance(bool truncate) {
  return convert(object_, ap7b_ConvertUnits137, truncate);
}
bool CApSpectrum::ConvertToLogInverseR(bool truncate) { return convert(object_, ap7b_ConvertUnits138, truncate); }

namespace {

using RangeOperation = AP7_SPECTRUM* (*)(AP7_SPECTRUM*, float, float);
using SpacingOperation = AP7_SPECTRUM* (*)(AP7_SPECTRUM*, float, float, float);

bool new_of_range(AP_OBJECT* object, RangeOperation operation, float x1, float x2, CApSpectrum& out) {
  AP7_SPECTRUM* spectrum = spectrum_of(object);
  return spectrum != nullptr && CApSpectrum::HandOut(operation(spectrum, x1, x2), out);
}

bool new_at_spacing(AP_OBJECT* object, SpacingOperation operation, float x1, float x2, float spacing,
                    CApSpectrum& out) {
  AP7_SPECTRUM* spectrum = spectrum_of(object);
  return spectrum != nullptr && CApSpectrum::HandOut(operation(spectrum, x1, x2, spacing), out);
}

}  // namespace

bool CApSpectrum::SmoothToResolution(CApSpectrum& out) const { return SmoothToResolution(kWhole, kWhole, out); }
bool CApSpectrum::SmoothToResolution(float x1, float x2, CApSpectrum& out) const {
  return new_of_range(object_, ap7b_SmoothToResolution, x1, x2, out);
}
bool CApSpectrum::ChangeSpacing(float spacing, CApSpectrum& out) const {
  return ChangeSpacing(kWhole, kWhole, spacing, out);
}
bool CApSpectrum::ChangeSpacing(float x1, float x2, float spacing, CApSpectrum& out) const {
  return new_at_spacing(object_, ap7b_ChangeSpacing, x1, x2, spacing, out);
}
bool CApSpectrum::PrepareSearchRegion(float spacing, CApSpectrum& out) const {
  return PrepareSearchRegion(kWhole, kWhole, spacing, out);
}
bool CApSpectrum::PrepareSearchRegion(float x1, float x2, float spacing, CApSpectrum& out) const {
  return new_at_spacing(object_, ap7b_PrepareSearchRegion, x1, x2, spacing, out);
}
bool CApSpectrum::InterpolateByFFT(float spacing, CApSpectrum& out) const {
  return InterpolateByFFT(kWhole, kWhole, spacing, out);
}
bool CApSpectrum::InterpolateByFFT(float x1, float x2, float spacing, CApSpectrum& out) const {
  return new_at_spacing(object_, ap7d_InterpolateByFFT, x1, x2, spacing, out);
}
bool CApSpectrum::InterpolateBySubdivision(float spacing, CApSpectrum& out) const {
  return InterpolateBySubdivision(kWhole, kWhole, spacing, out);
}
bool CApSpectrum::InterpolateBySubdivision(float x1, float x2, float spacing, CApSpectrum& out) const {
  return new_at_spacing(object_, ap7d_InterpolateBySubdivision, x1, x2, spacing, out);
}
bool CApSpectrum::KramersKronig(CApSpectrum& out) const { return KramersKronig(kWhole, kWhole, out); }
bool CApSpectrum::KramersKronig(float x1, float x2, CApSpectrum& out) const {
  return new_of_range(object_, ap7d_KramersKronig, x1, x2, out);
}

bool CApSpectrum::ATRCorrection(CApSpectrum& out) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && HandOut(ap7b_ATRCorrection(spectrum), out);
}

// The fit runs its passes until it settles (-1), on upward peaks (0).
bool CApSpectrum::IterativeBaselineFit(uint16_t order, uint8_t offset, CApSpectrum& out) const {
  return IterativeBaselineFit(kWhole, kWhole, order, offset, out);
}
bool CApSpectrum::IterativeBaselineFit(float x1, float x2, uint16_t order, uint8_t offset, CApSpectrum& out) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && HandOut(ap7e_IterativeBaselineFit(spectrum, x1, x2, order, offset, -1, 0), out);
}

bool CApSpectrum::MeasureArea(float x1, float x2, float x3, float x4, float* area_level, float* area_baseline) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && area_level != nullptr && area_baseline != nullptr &&
         ap7b_MeasureArea(spectrum, x1, x2, x3, x4, area_level, area_baseline) == 1;
}

bool CApSpectrum::FindPeakLimits(float x1, float x2, float* width) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && width != nullptr && ap7b_FindPeakLimits(spectrum, x1, x2, width) == 1;
}

bool CApSpectrum::PeakListInRange(float x, float x1, float x2, float peak_level, float valley_level, float* peak_x,
                                  float* left_x, float* right_x) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && peak_x != nullptr && left_x != nullptr && right_x != nullptr &&
         ap7b_PeakListInRange(spectrum, x, x1, x2, peak_level, valley_level, peak_x, left_x, right_x) == 1;
}

bool CApSpectrum::InterpolateDoublePoints(CApSpectrum& out) const { return InterpolateDoublePoints(kWhole, kWhole, out); }
bool CApSpectrum::InterpolateDoublePoints(float x1, float x2, CApSpectrum& out) const {
  return new_of_range(object_, ap7b_InterpolateDoublePoints, x1, x2, out);
}

bool CApSpectrum::AddWeighted(const CApSpectrum& other, CApSpectrum& out) const {
  return AddWeighted(kWhole, kWhole, other, out);
}
bool CApSpectrum::AddWeighted(float x1, float x2, const CApSpectrum& other, CApSpectrum& out) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  AP7_SPECTRUM* second = spectrum_of(other.object_);
  return spectrum != nullptr && second != nullptr && HandOut(ap7b_AddWeighted(spectrum, x1, x2, second), out);
}

bool CApSpectrum::LinearFitRange(float x1, float x2, float* peak_to_peak, float* rms) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && peak_to_peak != nullptr && rms != nullptr &&
         ap7b_LinearFitRange(spectrum, x1, x2, peak_to_peak, rms) == 1;
}

bool CApSpectrum::NewForSpacing(float x1, float x2, float spacing, float temperature, CApSpectrum& out) const {
  return spectrum_of(object_) != nullptr && HandOut(ap7b_NewForSpacing(AP7_CLASS_ID, x1, x2, spacing, temperature), out);
}

// The search copy takes the title into a buffer of its own.
bool CApSpectrum::SearchPrep279(double x1, double x2, uint32_t y_code, const char* title, int32_t n,
                                CApSpectrum& out) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  if (spectrum == nullptr || title == nullptr) return false;
  std::vector<char> buffer(title, title + std::strlen(title) + 1);
  return HandOut(ap7b_SearchPrep279(spectrum, x1, x2, y_code, buffer.data(), n), out);
}

bool CApSpectrum::AlignInterferogram(uint32_t before, uint32_t after) {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  return spectrum != nullptr && ap7b_AlignInterferogram(spectrum, before, after) == 1;
}

bool CApSpectrum::FitToXRange(float* x1, float* x2, uint32_t* points) {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  if (spectrum == nullptr || x1 == nullptr || x2 == nullptr || points == nullptr) return false;
  *points = ap7d_FitToXRange(spectrum, x1, x2);
  return *points != 0;
}

// The conversion works in place: on a copy, so that this interferogram stays.
bool CApSpectrum::InterferogramToSingleBeam(uint16_t size_code, uint16_t apodization, uint16_t phase_mode,
                                            uint32_t phase_length, uint16_t phase_size_code, CApSpectrum& out) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  if (spectrum == nullptr) return false;
  ap7a_new_spectrum copy(ap7a_Duplicate(spectrum, nullptr));
  if (copy.get() == nullptr || ap7b_InterferogramToSingleBeamDefault(copy.get(), size_code, apodization, phase_mode,
                                                                      phase_length, phase_size_code, 0, nullptr) != 1)
    return false;
  return HandOut(copy.release(), out);
}

namespace {

// The record's parameters and the factor between b as given and as kept.
constexpr uint16_t kClass99 = 99;
constexpr float kClass99Factor = 0.750062f;

}  // namespace

// A record made here joins the list only once it is filled.
bool CApSpectrum::SetClass99Record(float a, float b, float c) {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  if (spectrum == nullptr) return false;
  AP_OBJECT* record = ap7d_FindListItem(spectrum, kClass99);
  const bool made = record == nullptr;
  if (made) {
    uint16_t class_id = kClass99;
    AP_NEWPARM fresh{kClass99, nullptr};
    record = ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP_MSG_NEW, &class_id, &fresh));
  }
  if (record == nullptr) return false;
  float kept_b = b / kClass99Factor;
  uint32_t zero = 0, one = 1;
  float zero_value = 0.0f;
  const bool set = GU2_SetParmValue_MSG(record, 2, &c) != 0 && GU2_SetParmValue_MSG(record, 0, &a) != 0 &&
                   GU2_SetParmValue_MSG(record, 1, &kept_b) != 0 && GU2_SetParmValue_MSG(record, 5, &zero) != 0 &&
                   GU2_SetParmValue_MSG(record, 3, &zero_value) != 0 && GU2_SetParmValue_MSG(record, 4, &one) != 0;
  if (made && (!set || ap7d_CopyListFrom(spectrum, record) == 0)) {
    AP_WINDOWPARM window{nullptr, 0};
    GU2_DoMethod_MSG(AP_MSG_DESTROY, record, &window);
    return false;
  }
  return set;
}

bool CApSpectrum::GetClass99Record(float* a, float* b, float* c) const {
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  AP_OBJECT* record = spectrum != nullptr ? ap7d_FindListItem(spectrum, kClass99) : nullptr;
  float values[3] = {};
  if (record == nullptr || a == nullptr || b == nullptr || c == nullptr || GU2_GetParmValue_MSG(record, 2, &values[2]) == 0 ||
      GU2_GetParmValue_MSG(record, 0, &values[0]) == 0 || GU2_GetParmValue_MSG(record, 1, &values[1]) == 0)
    return false;
  *a = values[0];
  *b = values[1] * kClass99Factor;
  *c = values[2];
  return true;
}

AP40_LLIST*& CApSpectrum::List(int which) { return which == 0 ? list0_ : list1_; }

bool CApSpectrum::ClearList(int which) {
  if (object_ == nullptr || (which != 0 && which != 1)) return false;
  AP40_LLIST*& list = List(which);
  if (list != nullptr) ap40_Destroy_LLIST(list, reinterpret_cast<HWND>(delete_argument_), 1);
  list = nullptr;
  return true;
}

// The list is made on first use; a copy that cannot be added is deleted.
bool CApSpectrum::AddCopyToList(int which, const CApSpectrum& spectrum) {
  AP7_SPECTRUM* source = spectrum_of(spectrum.object_);
  if (object_ == nullptr || source == nullptr || (which != 0 && which != 1)) return false;
  AP40_LLIST*& list = List(which);
  if (list == nullptr) list = ap40_New_LLIST(nullptr, AP40_NO_KEY);
  if (list == nullptr) return false;
  ap7a_new_spectrum copy(ap7a_Duplicate(source, nullptr));
  if (copy.get() == nullptr || GU2_DoMethod_MSG(AP40_MSG_ADD, list, copy.get()) == AP40_NO_INDEX) return false;
  copy.release();
  return true;
}

bool CApSpectrum::ListStatistics(uint16_t derivative, uint16_t statistic) {
  if (object_ == nullptr || list0_ == nullptr) return false;
  int16_t status = 0;
  return HandOut(ap7e_ListStatistics(reinterpret_cast<AP_OBJECT*>(list0_), derivative, statistic, &status), *this);
}

bool CApSpectrum::SetComparisonParameters(uint32_t code, float value1, const CApSpectrum* reference, float value2,
                                          float value3) {
  if (object_ == nullptr) return false;
  comparison_code_ = code;
  comparison_values_[0] = value1;
  comparison_values_[1] = value2;
  comparison_values_[2] = value3;
  reference_ = reference != nullptr ? reference->object_ : nullptr;
  return true;
}

bool CApSpectrum::CompareListStatistics() {
  if (object_ == nullptr || list0_ == nullptr || list1_ == nullptr) return false;
  return HandOut(ap7e_CompareListStatistics(reinterpret_cast<AP_OBJECT*>(list0_), reinterpret_cast<AP_OBJECT*>(list1_),
                                            comparison_code_, comparison_values_[0], spectrum_of(reference_),
                                            comparison_values_[1], comparison_values_[2]),
                 *this);
}

bool CApSpectrum::Load(const std::u16string& path) {
  char name[AP7_TEXT_FIELD] = {};
  if (object_ == nullptr || capobj_WideToMultiByte(path, name, sizeof name) == nullptr) return false;
  if (!HandOut(ap7b_ReadSpectrumFile(name), *this)) return false;
  AP7_SPECTRUM* spectrum = spectrum_of(object_);
  ap7a_new_spectrum sample(ap7b_ReadStoredSpectrum(spectrum, nullptr, 1));
  ap7a_new_spectrum background(ap7b_ReadStoredSpectrum(spectrum, nullptr, 0));
  if (ap7b_SetNameAndSubSpectra(spectrum, nullptr, background.get(), sample.get()) != 1) return false;
  sample.release();
  background.release();
  return true;
}

}  // namespace converter
