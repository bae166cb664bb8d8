// The spectrum header wrappers: a setter and a getter per spectral-header
// parameter that the GAML import writes. A wrapper attaches to a spectrum
// wrapper and reaches that spectrum's header object. Message setters send
// the header's set-value message, so the value is validated and a change
// notice follows; direct setters write the header record in place. The
// trace import creates CCollectionHdr objects.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "apcomlib/spectrum/spectrum.h"
#include "converter/apspectrum.h"

namespace converter {

class CHdrBase : public CApObjectBase {
 public:
  CHdrBase() = default;
  // A copy starts detached; assignment changes nothing.
  CHdrBase(const CHdrBase&) : CApObjectBase() {}
  CHdrBase& operator=(const CHdrBase&) { return *this; }
  ~CHdrBase() override = default;

  virtual bool Attach(CApSpectrum* spectrum) = 0;
  virtual bool SetXUnits(uint32_t code) = 0;
  virtual bool GetXUnits(uint32_t* code) = 0;
  virtual bool SetYUnits(uint32_t code) = 0;
  virtual bool GetYUnits(uint32_t* code) = 0;
  virtual bool SetFirstX(float x) = 0;
  virtual bool GetFirstX(float* x) = 0;
  virtual bool SetLastX(float x) = 0;
  virtual bool GetLastX(float* x) = 0;
  virtual bool SetTimeStamp(uint32_t stored_time) = 0;
  virtual bool GetTimeStamp(uint32_t* stored_time) = 0;
  virtual bool SetDuration(float seconds) = 0;
  virtual bool GetDuration(float* seconds) = 0;
  virtual bool SetPointCount(uint32_t count) = 0;
  virtual bool GetPointCount(uint32_t* count) = 0;
  virtual bool GetTitleLength(uint32_t* length) = 0;
  virtual bool SetTitle(const std::u16string& title) = 0;
  virtual bool GetTitle(std::u16string& title) = 0;

 protected:
  // Through the header's value messages: validated, with a change notice.
  bool SetByMessage(AP41_PARM parameter, const void* value);
  bool GetByMessage(AP41_PARM parameter, void* value);
  // In the header record itself, at a field's offset (the record is packed,
  // so its fields are copied, never referenced): no validation, no notice.
  template <class T>
  bool SetDirect(size_t offset, T value) {
    if (header_ == nullptr) return false;
    std::memcpy(reinterpret_cast<char*>(&header_->data) + offset, &value, sizeof value);
    return true;
  }
  template <class T>
  bool GetDirect(size_t offset, T* value) {
    if (header_ == nullptr || value == nullptr) return false;
    std::memcpy(value, reinterpret_cast<const char*>(&header_->data) + offset, sizeof *value);
    return true;
  }

  CApSpectrum* spectrum_ = nullptr;
  AP41_SPECTRALHEADER* header_ = nullptr;
};

class CSpectrumHdr : public CHdrBase {
 public:
  bool Attach(CApSpectrum* spectrum) override;
  bool SetXUnits(uint32_t code) override;
  bool GetXUnits(uint32_t* code) override;
  bool SetYUnits(uint32_t code) override;
  bool GetYUnits(uint32_t* code) override;
  bool SetFirstX(float x) override;
  bool GetFirstX(float* x) override;
  bool SetLastX(float x) override;
  bool GetLastX(float* x) override;
  bool SetTimeStamp(uint32_t stored_time) override;
  bool GetTimeStamp(uint32_t* stored_time) override;
  // Stored in hundredths of a second, rounded to the nearest.
  bool SetDuration(float seconds) override;
  bool GetDuration(float* seconds) override;
  bool SetPointCount(uint32_t count) override;
  bool GetPointCount(uint32_t* count) override;
  bool GetTitleLength(uint32_t* length) override;
  // Refuses a title of 255 bytes or more in the ANSI code page.
  bool SetTitle(const std::u16string& title) override;
  bool GetTitle(std::u16string& title) override;
};

// The collection parameters of the instrument, named after the GAML
// parameters the import writes into them.
class CCollectionHdr : public CSpectrumHdr {
 public:
  bool SetLaserFreq(float value) { return SetDirect(offsetof(AP41_HEADERDATA, LaserFreq), value); }
  bool GetLaserFreq(float* value) { return GetByMessage(AP41_LASERFREQ, value); }
  bool SetFinalPeakPos(uint32_t value) { return SetByMessage(AP41_FINALPEAKPOS, &value); }
  bool GetFinalPeakPos(uint32_t* value) { return GetByMessage(AP41_FINALPEAKPOS, value); }
  bool SetSSP(float value) { return SetDirect(offsetof(AP41_HEADERDATA, SSP), value); }
  bool GetSSP(float* value) { return GetByMessage(AP41_SSP, value); }
  // The header's checked set ends at 65536 scans, which a long collection
  // passes: after the message, the count is stored as given.
  bool SetNumScans(uint32_t value) {
    return SetByMessage(AP41_NUMSCANS, &value) && SetDirect(offsetof(AP41_HEADERDATA, NumScans), value);
  }
  bool GetNumScans(uint32_t* value) { return GetByMessage(AP41_NUMSCANS, value); }
  bool SetNumPostPeakPts(uint32_t value) { return SetDirect(offsetof(AP41_HEADERDATA, NumPostPeakPts), value); }
  bool GetNumPostPeakPts(uint32_t* value) { return GetByMessage(AP41_NUMPOSTPEAKPTS, value); }
  bool SetNumTransformPts(uint32_t value) { return SetDirect(offsetof(AP41_HEADERDATA, NumTransformPts), value); }
  bool GetNumTransformPts(uint32_t* value) { return GetByMessage(AP41_NUMTRANSFORMPTS, value); }
  bool SetNumScanPts(uint32_t value) { return SetDirect(offsetof(AP41_HEADERDATA, NumScanPts), value); }
  bool GetNumScanPts(uint32_t* value) { return GetByMessage(AP41_NUMSCANPTS, value); }
  bool SetGain(float value) { return SetDirect(offsetof(AP41_HEADERDATA, Gain), value); }
  bool GetGain(float* value) { return GetByMessage(AP41_GAIN, value); }
  bool SetVelocity(float value) { return SetDirect(offsetof(AP41_HEADERDATA, Velocity), value); }
  bool GetVelocity(float* value) { return GetDirect(offsetof(AP41_HEADERDATA, Velocity), value); }
  bool SetSourceID(uint32_t value) { return SetDirect(offsetof(AP41_HEADERDATA, SourceID), value); }
  bool GetSourceID(uint32_t* value) { return GetDirect(offsetof(AP41_HEADERDATA, SourceID), value); }
  bool SetDetectorID(uint32_t value) { return SetDirect(offsetof(AP41_HEADERDATA, DetectorID), value); }
  bool GetDetectorID(uint32_t* value) { return GetDirect(offsetof(AP41_HEADERDATA, DetectorID), value); }
  bool SetHPF(float value) { return SetDirect(offsetof(AP41_HEADERDATA, HPF), value); }
  bool GetHPF(float* value) { return GetDirect(offsetof(AP41_HEADERDATA, HPF), value); }
  bool SetLPF(float value) { return SetDirect(offsetof(AP41_HEADERDATA, LPF), value); }
  bool GetLPF(float* value) { return GetDirect(offsetof(AP41_HEADERDATA, LPF), value); }
  bool SetAperture(float value) { return SetDirect(offsetof(AP41_HEADERDATA, Aperture), value); }
  bool GetAperture(float* value) { return GetDirect(offsetof(AP41_HEADERDATA, Aperture), value); }
  bool SetBenchID(uint32_t value) { return SetDirect(offsetof(AP41_HEADERDATA, BenchID), value); }
  bool GetBenchID(uint32_t* value) { return GetDirect(offsetof(AP41_HEADERDATA, BenchID), value); }
  bool SetBadScans(uint32_t value) { return SetDirect(offsetof(AP41_HEADERDATA, BadScans), value); }
  bool GetBadScans(uint32_t* value) { return GetDirect(offsetof(AP41_HEADERDATA, BadScans), value); }
  bool SetBKBadScans(uint32_t value) { return SetDirect(offsetof(AP41_HEADERDATA, BKBadScans), value); }
  bool GetBKBadScans(uint32_t* value) { return GetDirect(offsetof(AP41_HEADERDATA, BKBadScans), value); }
  bool SetCollectErrorMap(uint32_t value) { return SetDirect(offsetof(AP41_HEADERDATA, CollectErrorMap), value); }
  bool GetCollectErrorMap(uint32_t* value) { return GetDirect(offsetof(AP41_HEADERDATA, CollectErrorMap), value); }
  bool SetBKCollectErrorMap(uint32_t value) { return SetDirect(offsetof(AP41_HEADERDATA, BKCollectErrorMap), value); }
  bool GetBKCollectErrorMap(uint32_t* value) { return GetDirect(offsetof(AP41_HEADERDATA, BKCollectErrorMap), value); }
  bool SetBeamSplitterID(uint32_t value) { return SetDirect(offsetof(AP41_HEADERDATA, BeamSplitterID), value); }
  bool GetBeamSplitterID(uint32_t* value) { return GetDirect(offsetof(AP41_HEADERDATA, BeamSplitterID), value); }
  bool SetADBits(uint32_t value) { return SetDirect(offsetof(AP41_HEADERDATA, ADBits), value); }
  bool GetADBits(uint32_t* value) { return GetDirect(offsetof(AP41_HEADERDATA, ADBits), value); }
  bool SetBKNumScans(uint32_t value) { return SetDirect(offsetof(AP41_HEADERDATA, BKNumScans), value); }
  bool GetBKNumScans(uint32_t* value) { return GetDirect(offsetof(AP41_HEADERDATA, BKNumScans), value); }
  bool SetBKGain(float value) { return SetDirect(offsetof(AP41_HEADERDATA, BKGain), value); }
  bool GetBKGain(float* value) { return GetDirect(offsetof(AP41_HEADERDATA, BKGain), value); }
  bool SetApodID(uint32_t value) { return SetDirect(offsetof(AP41_HEADERDATA, ApodID), value); }
  bool GetApodID(uint32_t* value) { return GetDirect(offsetof(AP41_HEADERDATA, ApodID), value); }
  bool SetPhaseCorrID(uint32_t value) { return SetDirect(offsetof(AP41_HEADERDATA, PhaseCorrID), value); }
  bool GetPhaseCorrID(uint32_t* value) { return GetDirect(offsetof(AP41_HEADERDATA, PhaseCorrID), value); }
  bool SetHeaderP26(uint32_t value) { return SetDirect(offsetof(AP41_HEADERDATA, p26), value); }
  bool GetHeaderP26(uint32_t* value) { return GetDirect(offsetof(AP41_HEADERDATA, p26), value); }
  bool SetHeaderP27(uint32_t value) { return SetDirect(offsetof(AP41_HEADERDATA, p27), value); }
  bool GetHeaderP27(uint32_t* value) { return GetDirect(offsetof(AP41_HEADERDATA, p27), value); }
  bool SetHeaderP28(uint32_t value) { return SetDirect(offsetof(AP41_HEADERDATA, p28), value); }
  bool GetHeaderP28(uint32_t* value) { return GetDirect(offsetof(AP41_HEADERDATA, p28), value); }
};

}  // namespace converter
