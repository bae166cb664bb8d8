// The basic spectrum header wrapper: attaching to a spectrum wrapper, the
// units, X range, collection time, duration, point count and title of the
// spectral header, through the header's value messages or its record. The
// collection wrapper's one-line members live in hdrwrappers.h. Used by the
// trace import of the GAML import job.
#include "converter/hdrwrappers.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace converter {
namespace {

constexpr double kHundredthsPerSecond = 100.0;
constexpr size_t kTitleSize = sizeof(AP41_HEADERDATA::title);
// Titles of this many ANSI bytes or more do not fit the parameter with its terminator.
constexpr int32_t kTitleLimit = kTitleSize - 1;

}  // namespace

bool CHdrBase::SetByMessage(AP41_PARM parameter, const void* value) {
  if (header_ == nullptr) return false;
  GU2_SetParmValue_MSG(header_, parameter, const_cast<void*>(value));
  return true;
}

bool CHdrBase::GetByMessage(AP41_PARM parameter, void* value) {
  if (header_ == nullptr || value == nullptr) return false;
  GU2_GetParmValue_MSG(header_, parameter, value);
  return true;
}

bool CSpectrumHdr::Attach(CApSpectrum* spectrum) {
  if (spectrum == nullptr) return true;
  spectrum_ = spectrum;
  if (AP_OBJECT* header = spectrum->GetHeaderObject()) header_ = ap41_header(header);
  return true;
}

bool CSpectrumHdr::SetXUnits(uint32_t code) { return SetByMessage(AP41_XUNITS, &code); }
bool CSpectrumHdr::GetXUnits(uint32_t* code) { return GetByMessage(AP41_XUNITS, code); }
bool CSpectrumHdr::SetYUnits(uint32_t code) { return SetByMessage(AP41_YUNITS, &code); }
bool CSpectrumHdr::GetYUnits(uint32_t* code) { return GetByMessage(AP41_YUNITS, code); }
bool CSpectrumHdr::SetFirstX(float x) { return SetByMessage(AP41_FIRSTX, &x); }
bool CSpectrumHdr::GetFirstX(float* x) { return GetByMessage(AP41_FIRSTX, x); }
bool CSpectrumHdr::SetLastX(float x) { return SetByMessage(AP41_LASTX, &x); }
bool CSpectrumHdr::GetLastX(float* x) { return GetByMessage(AP41_LASTX, x); }
bool CSpectrumHdr::SetPointCount(uint32_t count) { return SetByMessage(AP41_POINTS, &count); }
bool CSpectrumHdr::GetPointCount(uint32_t* count) { return GetByMessage(AP41_POINTS, count); }
bool CSpectrumHdr::GetTimeStamp(uint32_t* stored_time) { return GetByMessage(AP41_TIME, stored_time); }

bool CSpectrumHdr::SetTimeStamp(uint32_t stored_time) {
  return SetDirect(offsetof(AP41_HEADERDATA, time), stored_time) && SetDirect(offsetof(AP41_HEADERDATA, p48), uint32_t{0});
}

// Whole hundredths: the nearest one, so that a duration that went through
// a float on its way (29 s as 0.29, held as 0.28999999) keeps its value. A
// negative or undefined duration is stored as none.
bool CSpectrumHdr::SetDuration(float seconds) {
  const double hundredths = std::nearbyint(static_cast<double>(seconds) * kHundredthsPerSecond);
  uint32_t stored = 0;
  if (hundredths >= 0.0) stored = hundredths >= UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(hundredths);
  return SetDirect(offsetof(AP41_HEADERDATA, Duration), stored);
}

bool CSpectrumHdr::GetDuration(float* seconds) {
  uint32_t hundredths;
  if (!GetDirect(offsetof(AP41_HEADERDATA, Duration), &hundredths) || seconds == nullptr) return false;
  *seconds = static_cast<float>(hundredths) / kHundredthsPerSecond;
  return true;
}

bool CSpectrumHdr::GetTitleLength(uint32_t* length) {
  char title[kTitleSize + 1] = {};
  if (!GetByMessage(AP41_TITLE, title)) return false;
  *length = static_cast<uint32_t>(strnlen(title, kTitleSize - 1) + 1);
  return true;
}

bool CSpectrumHdr::SetTitle(const std::u16string& title) {
  if (header_ == nullptr || capobj_WideToMultiByteLen(title) - 1 >= kTitleLimit) return false;
  char text[kTitleSize] = {};
  capobj_WideToMultiByte(title, text, sizeof text);
  return SetByMessage(AP41_TITLE, text);
}

bool CSpectrumHdr::GetTitle(std::u16string& title) {
  char text[kTitleSize + 1] = {};
  if (!GetByMessage(AP41_TITLE, text)) return false;
  if (title.size() < strnlen(text, kTitleSize - 1) + 1) return false;
  capobj_MultiByteToWide(text, title);
  return true;
}

}  // namespace converter
