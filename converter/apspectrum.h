// The wrapper classes over accessory objects: CApObjectBase, the fields the
// wrappers share, and CApSpectrum, which owns one AP7 spectrum and offers a
// member per spectrum operation the converter uses. The import job fills
// one wrapper per trace and saves it; the header wrappers attach to a
// wrapper to reach its spectral header.
#pragma once
#include <cstdint>
#include <string>

#include "apcomlib/core/core.h"

namespace converter {

// Every object wrapper starts with its table of virtual functions and then
// the wrapped object, where capobj_GetWrappedObject finds it.
class CApObjectBase {
 public:
  CApObjectBase() = default;
  virtual ~CApObjectBase() = default;

 protected:
  CApObjectBase(const CApObjectBase&) = default;
  CApObjectBase& operator=(const CApObjectBase&) = default;

  AP_OBJECT* object_ = nullptr;
  AP40_LLIST* list0_ = nullptr;
  AP40_LLIST* list1_ = nullptr;
  AP_OBJECT* reference_ = nullptr;
  uint32_t comparison_code_ = 0;
  float comparison_values_[3] = {};
  uint32_t delete_argument_ = 0;
  uint32_t record_size_ = 0;
};

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
  // The values from the lower of the indexes of x1 and x2, as many as the
  // indexes lie apart and the buffer holds; `count` takes that number.
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
};

}  // namespace converter
