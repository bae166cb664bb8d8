// The spectrum wrapper CApSpectrum, which owns one AP7 spectrum and offers a
// member per spectrum operation the converter uses. The import job fills
// one wrapper per trace and saves it; the header wrappers attach to a
// wrapper to reach its spectral header.
#pragma once
#include <cstdint>
#include <string>

#include "apcomlib/array/array.h"
#include "apcomlib/core/core.h"

struct AP7_SPECTRUM;

namespace converter {

class CApSpectrum : public CApObjectBase {
 public:
  // A new spectrum of one point, or of n points.
  CApSpectrum();
  explicit CApSpectrum(uint32_t points);
  // A duplicate of the other wrapper's spectrum.
  CApSpectrum(const CApSpectrum& other);
  // Adopts the object when it is a spectrum; otherwise holds none.
  explicit CApSpectrum(AP_OBJECT* object);
  CApSpectrum& operator=(const CApSpectrum& other);
  ~CApSpectrum() override;

  // Adopts a spectrum in place of the one held; false (keeping the held
  // one) for null or another class.
  bool Attach(AP_OBJECT* object);
  // Hands a spectrum just made to the out wrapper; deletes it when it cannot.
  static bool HandOut(AP7_SPECTRUM* made, CApSpectrum& out);
  bool Holds() const { return object_ != nullptr; }

  // Object protocol of the spectrum's own part.
  bool SetUserWord(uint16_t word);
  bool GetMemorySize(uint32_t* bytes) const;
  bool BeginChange();
  bool EndChange();
  // The change state: 0 unchanged, 1 changed (the spectrum or one of its parts), 2 saved.
  bool IsModified(int16_t* state) const;
  bool AddDependentWindow(HWND window, uint16_t kind);
  bool RemoveDependent(HWND window);

  // Points and values, of the whole X range or of x1..x2.
  bool GetPointCount(uint32_t* count) const;
  bool GetPointCount(float x1, float x2, uint32_t* count) const;
  bool FillRange(float value);
  bool FillRange(float x1, float x2, float value);
  bool InsertPoints(bool at_start, int32_t count);
  bool DeletePoints(bool at_start, int32_t count);
  bool SetNumPoints(uint32_t count);
  bool SetScaledData(const float* values, uint32_t count, double factor);
  bool SetScaledData(const int32_t* values, uint32_t count, double factor);
  // As SetScaledData with the factor 1.0, the values taken last one first.
  bool SetReversedData(const float* values, uint32_t count);
  // All values when the buffer holds them; `count` gives the capacity and
  // takes the point count.
  bool GetValues(float* buffer, uint32_t* count) const;
  // The values from the index of x1 to that of x2, both included, from the
  // lower one up, as many as the buffer holds; `count` takes that number.
  bool GetValues(float* buffer, uint32_t* count, float x1, float x2) const;
  // The whole spectrum copied into the other wrapper's, resized to match.
  bool CopyInto(CApSpectrum& target) const;
  bool IsSingleBeam(bool* single_beam) const;

  // The spectral header object as bytes: its class id, parameter-table
  // reference and record. Setting keeps the header's own table.
  static constexpr uint32_t kHeaderSize = 1200;
  static uint32_t GetHeaderSize() { return kHeaderSize; }
  bool GetHeaderBytes(void* buffer, uint32_t size) const;
  bool SetHeaderBytes(const void* buffer, uint32_t size);

  // Files: saving under another path as a native file or in an exchange
  // format, and to the stored path. The stored path is the same afterwards.
  bool SaveAs(const std::u16string& path);
  bool ExportJcamp(const std::u16string& path);
  bool ExportVelmaran(const std::u16string& path);
  bool ExportXYPairs(const std::u16string& path);
  bool SaveSigned();

  // History and comment texts.
  bool ClearHistory();
  bool GetHistoryLength(uint32_t* length) const;
  bool GetHistory(std::u16string& text) const;
  bool AppendHistory(const std::u16string& text);
  bool ClearComment();
  bool GetCommentLength(uint32_t* length) const;
  bool GetComment(std::u16string& text) const;
  bool AppendComment(const std::u16string& text);

  // Stored interferograms: sub-spectrum B is the sample's, A the background's.
  bool HasSampleInterferogram() const;
  bool HasBackgroundInterferogram() const;
  bool AttachSampleInterferogram(const CApSpectrum& other);
  bool AttachBackgroundInterferogram(const CApSpectrum& other);
  // A copy of this spectrum becomes its own sample interferogram.
  bool KeepSelfAsSampleInterferogram();
  // A copy of the other's sample (or background) interferogram becomes the
  // spectrum held; false when the other has none.
  bool TakeSampleInterferogramOf(const CApSpectrum& other);
  bool TakeBackgroundInterferogramOf(const CApSpectrum& other);

  // The object's debug text, cut to the caller's buffer of `size` bytes.
  bool GetDebugDump(char* buffer, uint32_t size) const;

  // The value at the grid point nearest x, and setting it.
  bool GetValueAtX(float x, float* value) const;
  bool SetValueAtX(float x, float value);
  // A copy cut to x1..x2, handed to `out`.
  bool NewFromRange(float x1, float x2, CApSpectrum& out) const;
  // The other's values over the common range (within x1..x2) written into
  // this spectrum; the spacings must agree.
  bool CopyRangeFrom(const CApSpectrum& other, float x1, float x2);

  // Arithmetic with a constant, in place over the whole spectrum or x1..x2.
  bool AddConstant(float value);
  bool AddConstant(float x1, float x2, float value);
  bool SubtractConstant(float value);
  bool SubtractConstant(float x1, float x2, float value);
  bool MultiplyConstant(float value);
  bool MultiplyConstant(float x1, float x2, float value);
  bool DivideConstant(float value);
  bool DivideConstant(float x1, float x2, float value);
  // Arithmetic with another spectrum over the common range: a new spectrum
  // handed to `out`.
  bool AddSpectrum(const CApSpectrum& other, CApSpectrum& out) const;
  bool AddSpectrum(float x1, float x2, const CApSpectrum& other, CApSpectrum& out) const;
  bool SubtractSpectrum(const CApSpectrum& other, CApSpectrum& out) const;
  bool SubtractSpectrum(float x1, float x2, const CApSpectrum& other, CApSpectrum& out) const;
  bool MultiplySpectrum(const CApSpectrum& other, CApSpectrum& out) const;
  bool MultiplySpectrum(float x1, float x2, const CApSpectrum& other, CApSpectrum& out) const;
  bool DivideSpectrum(const CApSpectrum& other, CApSpectrum& out) const;
  bool DivideSpectrum(float x1, float x2, const CApSpectrum& other, CApSpectrum& out) const;

  // Statistics of the present values; each output written when given.
  bool GetMinMax(float* minimum, float* maximum) const;
  bool GetMinMax(float x1, float x2, float* minimum, float* maximum) const;
  bool GetMinMaxX(float* minimum, float* minimum_x, float* maximum, float* maximum_x) const;
  bool GetMinMaxX(float x1, float x2, float* minimum, float* minimum_x, float* maximum, float* maximum_x) const;
  bool GetSum(float* sum) const;
  bool GetSum(float x1, float x2, float* sum) const;
  bool GetMean(float* mean) const;
  bool GetMean(float x1, float x2, float* mean) const;
  bool GetStdDev(float* deviation) const;
  bool GetStdDev(float x1, float x2, float* deviation) const;

  // Transforms whose result is a new spectrum handed to `out`: regridding to
  // a spacing (continued with the end values, or kept inside the data),
  // first and second derivatives, smoothing and Fourier self-deconvolution.
  bool Regrid(float spacing, CApSpectrum& out) const;
  bool Regrid(float x1, float x2, float spacing, CApSpectrum& out) const;
  bool RegridInside(float spacing, CApSpectrum& out) const;
  bool RegridInside(float x1, float x2, float spacing, CApSpectrum& out) const;
  bool Derivative(CApSpectrum& out) const;
  bool Derivative(float x1, float x2, CApSpectrum& out) const;
  bool SecondDerivative(CApSpectrum& out) const;
  bool SecondDerivative(float x1, float x2, CApSpectrum& out) const;
  bool Smooth(uint32_t window, CApSpectrum& out) const;
  bool Smooth(float x1, float x2, uint32_t window, CApSpectrum& out) const;
  bool SelfDeconvolve(float half_width, float factor, uint16_t mode, uint32_t size, CApSpectrum& out) const;
  bool SelfDeconvolve(float x1, float x2, float half_width, float factor, uint16_t mode, uint32_t size,
                      CApSpectrum& out) const;
  // Peaks into the caller's table of `capacity` records: their number and
  // whether the table filled up. True whenever a spectrum is held.
  bool PeakSearch(float kernel_value, float sensitivity, uint16_t use_range, AP4_PEAK* table, uint32_t capacity,
                  uint32_t* found, bool* full) const;
  bool PeakSearch(float x1, float x2, float kernel_value, float sensitivity, uint16_t use_range, AP4_PEAK* table,
                  uint32_t capacity, uint32_t* found, bool* full) const;
  // Interferogram steps: the transform to 2^k points, apodization, the phase
  // spectrum (handed to `out`) and the phase correction, after which the
  // values are divided by the header's gain when that is positive.
  bool TransformInterferogram(uint16_t k);
  bool Apodize(uint16_t id, uint16_t ramp);
  bool PhaseSpectrum(uint32_t length, uint16_t k, uint16_t kind, uint16_t mode, CApSpectrum& out) const;
  bool PhaseCorrect(uint16_t mode, const CApSpectrum* phase);

  // Two-spectrum region operations over the common range.
  bool ScaleRange(float x1, float x2, float y_low, float y_high, int16_t columns, uint16_t height, uint16_t* minima,
                  uint16_t* maxima) const;
  bool CorrelateRanges(const CApSpectrum& other, float* slope) const;
  bool CorrelateRanges(float x1, float x2, const CApSpectrum& other, float* slope) const;
  bool CountValidPairs(const CApSpectrum& other, uint32_t* count) const;
  bool CountValidPairs(float x1, float x2, const CApSpectrum& other, uint32_t* count) const;
  bool PairProduct(const CApSpectrum& other, float* product) const;
  bool PairProduct(float x1, float x2, const CApSpectrum& other, float* product) const;
  bool Convolve(const CApSpectrum& kernel, uint16_t option, CApSpectrum& out) const;
  bool Convolve(float x1, float x2, const CApSpectrum& kernel, uint16_t option, CApSpectrum& out) const;

  // Processing members (apspectrum_processing.cpp).
  // The X axis: the index of x, the spacing, the range, the data trimmed or
  // padded with zeros on its grid to span x1..x2 (which take the range
  // reached), a range as index cells, and the common range with another.
  bool XToIndex(float x, int32_t* index) const;
  bool GetXSpacing(float* spacing) const;
  bool GetXRange(float* first_x, float* last_x) const;
  bool ClampXRange(float* x1, float* x2);
  bool XRangeToIndexRange(float* x1, float* x2, AP4_CELL* first, AP4_CELL* last) const;
  bool CommonIndexRange(const CApSpectrum& other, float* x1, float* x2, AP4_CELL* first, AP4_CELL* last,
                        AP4_CELL* other_first, AP4_CELL* other_last) const;
  // Whether the spacings, and header parameter 47, agree with the other's.
  bool CompareSpacing(const CApSpectrum& other, bool* same) const;
  bool CompareHeaderField(const CApSpectrum& other, bool* same) const;
  // 1 for upward peaks, otherwise 2.
  bool GetPeakDirection(uint16_t* direction) const;
  // Regions set missing, or bridged by the straight line between their ends.
  bool BlankRegion();
  bool BlankRegion(float x1, float x2);
  bool StraightLineRegion();
  bool StraightLineRegion(float x1, float x2);
  bool FillNaNGaps();
  // This spectrum less k times the other, over the common range.
  bool SubtractScaled(const CApSpectrum& other, float k);
  bool SubtractScaled(float x1, float x2, const CApSpectrum& other, float k);
  // Y-unit conversions in place.
  bool ConvertToAbsorbance(bool truncate);
  bool ConvertToTransmittance(bool truncate);
  bool ConvertToPAS(bool truncate);
  bool ConvertToKM(bool truncate);
  bool ConvertYUnits(uint16_t target);
  // The union of the two X ranges, handed to `out`.
  bool Concatenate(const CApSpectrum& other, CApSpectrum& out) const;

  // Y-unit conversions to %R and to log(1/R), in place.
  bool ConvertToPercentReflectance(bool truncate);
  bool ConvertToLogInverseR(bool truncate);
  // New spectra handed to `out`: smoothed to the resolution, at another
  // spacing, prepared for a library search, interpolated through the
  // transform or by halving the spacing, the Kramers-Kronig absorption
  // index, the ATR correction, and the baseline-corrected copy.
  bool SmoothToResolution(CApSpectrum& out) const;
  bool SmoothToResolution(float x1, float x2, CApSpectrum& out) const;
  bool ChangeSpacing(float spacing, CApSpectrum& out) const;
  bool ChangeSpacing(float x1, float x2, float spacing, CApSpectrum& out) const;
  bool PrepareSearchRegion(float spacing, CApSpectrum& out) const;
  bool PrepareSearchRegion(float x1, float x2, float spacing, CApSpectrum& out) const;
  bool InterpolateByFFT(float spacing, CApSpectrum& out) const;
  bool InterpolateByFFT(float x1, float x2, float spacing, CApSpectrum& out) const;
  bool InterpolateBySubdivision(float spacing, CApSpectrum& out) const;
  bool InterpolateBySubdivision(float x1, float x2, float spacing, CApSpectrum& out) const;
  bool KramersKronig(CApSpectrum& out) const;
  bool KramersKronig(float x1, float x2, CApSpectrum& out) const;
  bool ATRCorrection(CApSpectrum& out) const;
  bool IterativeBaselineFit(uint16_t order, uint8_t offset, CApSpectrum& out) const;
  bool IterativeBaselineFit(float x1, float x2, uint16_t order, uint8_t offset, CApSpectrum& out) const;
  // This single beam ratioed against the background, handed to `out`, which
  // must hold a spectrum already; with `keep_interferogram_too` a copy of the
  // background's sample interferogram becomes the result's background one.
  bool RatioAgainstBackground(const CApSpectrum& background, CApSpectrum& out, bool keep_interferogram_too) const;
  // Measures: the band area of x1..x2 above the level and above the line
  // over x3..x4, the half-height width of the largest peak, and the peak
  // nearest x with its valleys.
  bool MeasureArea(float x1, float x2, float x3, float x4, float* area_level, float* area_baseline) const;
  bool FindPeakLimits(float x1, float x2, float* width) const;
  bool PeakListInRange(float x, float x1, float x2, float peak_level, float valley_level, float* peak_x, float* left_x,
                       float* right_x) const;

  // Combinations handed to `out`: the points doubled with interpolated
  // midpoints, and the mean with another spectrum weighted by scan counts.
  bool InterpolateDoublePoints(CApSpectrum& out) const;
  bool InterpolateDoublePoints(float x1, float x2, CApSpectrum& out) const;
  bool AddWeighted(const CApSpectrum& other, CApSpectrum& out) const;
  bool AddWeighted(float x1, float x2, const CApSpectrum& other, CApSpectrum& out) const;
  // The peak-to-peak and rms of the residuals about the line fitted to x1..x2.
  bool LinearFitRange(float x1, float x2, float* peak_to_peak, float* rms) const;
  // The black-body reference at the temperature (kelvin) over x1..x2 at the
  // spacing, handed to `out`.
  bool NewForSpacing(float x1, float x2, float spacing, float temperature, CApSpectrum& out) const;
  // A copy of n points from x1 to x2 in the Y code for a library search,
  // titled `title`, handed to `out`.
  bool SearchPrep279(double x1, double x2, uint32_t y_code, const char* title, int32_t n, CApSpectrum& out) const;
  // This interferogram trimmed or padded to the counts before and after its
  // peak, in place.
  bool AlignInterferogram(uint32_t before, uint32_t after);
  // The data fitted to x1..x2 in place; x1 and x2 take the range reached
  // and `points` the point count.
  bool FitToXRange(float* x1, float* x2, uint32_t* points);
  // A copy of this interferogram turned into a single beam, handed to `out`.
  bool InterferogramToSingleBeam(uint16_t size_code, uint16_t apodization, uint16_t phase_mode, uint32_t phase_length,
                                 uint16_t phase_size_code, CApSpectrum& out) const;
  // This sample ratioed by the formula of the mode against the background
  // and the spectra s3..s7, which fill the formula's roles by mode; handed to
  // `out`, which must hold a spectrum already. With `keep_interferogram_too` the
  // sample interferogram of s3 (mode 5) or of the background becomes the
  // result's background interferogram.
  bool RatioConformed(const CApSpectrum* background, CApSpectrum& out, const CApSpectrum* s3, const CApSpectrum* s4,
                      const CApSpectrum* s5, const CApSpectrum* s6, const CApSpectrum* s7, float a, float b, float c,
                      bool prepare, uint16_t mode, bool keep_interferogram_too) const;
  // The class-99 record of the spectrum's list (made when absent): a, b and
  // c in, and out again. False where no class 99 is registered.
  bool SetClass99Record(float a, float b, float c);
  bool GetClass99Record(float* a, float* b, float* c) const;

  // Two lists of spectra (0 and 1) for list statistics: the result becomes
  // the spectrum held.
  bool ClearList(int which);
  bool AddCopyToList(int which, const CApSpectrum& spectrum);
  bool ListStatistics(uint16_t derivative, uint16_t statistic);
  bool SetComparisonParameters(uint32_t code, float value1, const CApSpectrum* reference, float value2, float value3);
  bool CompareListStatistics();

  // A spectrum read from the file, with the file's stored interferograms.
  bool Load(const std::u16string& path);

  // The spectrum's own spectral header object; null when none is held.
  AP_OBJECT* GetHeaderObject() const;

 private:
  AP_OBJECT* TextObject(uint16_t message) const;
  bool ClearText(uint16_t message);
  bool GetTextLength(uint16_t message, uint32_t* length) const;
  bool GetText(uint16_t message, std::u16string& text) const;
  bool AppendText(uint16_t message, const std::u16string& text);
  bool SaveUnder(const std::u16string& path, uint16_t format_class);
  bool AttachInterferogram(const CApSpectrum& other, bool sample);
  bool TakeInterferogramOf(const CApSpectrum& other, bool sample);
  bool SendToPart(uint16_t message, void* parameter);
  bool GetSubSpectra(AP_OBJECT** background, AP_OBJECT** sample) const;
  AP40_LLIST*& List(int which);
};

}  // namespace converter
