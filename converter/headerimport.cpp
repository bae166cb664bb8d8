// The header parameters of a spectrum from a GAML trace: title, collection
// time and the bench parameters from the trace's "Bench Info", the X range,
// units and collection parameters from an element's "Spectrum Header", and
// the three parameters of an interferogram's header section. Each value is
// looked up by name, given its fixed default when missing or unconvertible,
// translated where GAML codes differ from the header's, and written through
// the collection header wrapper. The trace import calls these.
#include <iterator>
#include <utility>
#include <vector>

#include "converter/gamlcodes.h"
#include "converter/importjob.h"

namespace converter {

// A header parameter filled from a GAML parameter: how its text is read, its
// value when missing or unconvertible, a factor applied to a double, the
// translation of a long, and the wrapper's setter.
struct HeaderField {
  enum Kind { kLong, kDouble, kHex } kind;
  const char16_t* name;
  double fallback;
  double factor;
  uint32_t (*translate)(LONG);
  bool (CCollectionHdr::*set_code)(uint32_t);
  bool (CCollectionHdr::*set_number)(float);
};

namespace {

constexpr char16_t kBenchInfo[] = u"Bench Info";
constexpr char16_t kSpectrumHeader[] = u"Spectrum Header";
using gamlcodes::kUnknownDetector;
using gamlcodes::kUnknownBeamSplitter;
constexpr float kDefaultLaser = 15798.0f;

constexpr HeaderField kBenchInfoFields[] = {
    {HeaderField::kLong, u"BenchID", 0, 1, nullptr, &CCollectionHdr::SetBenchID, nullptr},
    {HeaderField::kDouble, u"Gain", 1.0, 1, nullptr, nullptr, &CCollectionHdr::SetGain},
    {HeaderField::kDouble, u"Velocity", 1.0, 1, nullptr, nullptr, &CCollectionHdr::SetVelocity},
    {HeaderField::kLong, u"DetectorID", kUnknownDetector, 1, CGamlImportJob::MapDetectorCode,
     &CCollectionHdr::SetDetectorID, nullptr},
    {HeaderField::kLong, u"BeamSplitterID", 1, 1, CGamlImportJob::MapBeamSplitterCode,
     &CCollectionHdr::SetBeamSplitterID, nullptr},
    {HeaderField::kLong, u"SourceID", 2, 1, nullptr, &CCollectionHdr::SetSourceID, nullptr},
    {HeaderField::kLong, u"ADBits", 0, 1, nullptr, &CCollectionHdr::SetADBits, nullptr},
    {HeaderField::kDouble, u"HPF", 1.0, 1, nullptr, nullptr, &CCollectionHdr::SetHPF},
    {HeaderField::kDouble, u"LPF", 1.0, 1, nullptr, nullptr, &CCollectionHdr::SetLPF},
};

// Duration is given in hundredths of a second and set in seconds.
constexpr HeaderField kSpectrumHeaderFields[] = {
    {HeaderField::kDouble, u"Duration", 1000.0, 0.01, nullptr, nullptr, &CCollectionHdr::SetDuration},
    {HeaderField::kDouble, u"LaserFreq", kDefaultLaser, 1, nullptr, nullptr, &CCollectionHdr::SetLaserFreq},
    {HeaderField::kLong, u"FinalPeakPos", 0, 1, nullptr, &CCollectionHdr::SetFinalPeakPos, nullptr},
    {HeaderField::kLong, u"NumScanPts", 0, 1, nullptr, &CCollectionHdr::SetNumScanPts, nullptr},
    {HeaderField::kLong, u"NumTransformPts", 0, 1, nullptr, &CCollectionHdr::SetNumTransformPts, nullptr},
    {HeaderField::kLong, u"NumPostPeakPts", 0, 1, nullptr, &CCollectionHdr::SetNumPostPeakPts, nullptr},
    {HeaderField::kLong, u"NumScans", 1, 1, nullptr, &CCollectionHdr::SetNumScans, nullptr},
    {HeaderField::kLong, u"BKNumScans", 1, 1, nullptr, &CCollectionHdr::SetBKNumScans, nullptr},
    {HeaderField::kDouble, u"SSP", 2.0, 1, nullptr, nullptr, &CCollectionHdr::SetSSP},
    {HeaderField::kLong, u"ApodID", 0, 1, nullptr, &CCollectionHdr::SetApodID, nullptr},
    {HeaderField::kDouble, u"BKGain", 1.0, 1, nullptr, nullptr, &CCollectionHdr::SetBKGain},
    {HeaderField::kLong, u"PhaseCorrID", 0, 1, nullptr, &CCollectionHdr::SetPhaseCorrID, nullptr},
    {HeaderField::kDouble, u"Aperture", 100.0, 1, nullptr, nullptr, &CCollectionHdr::SetAperture},
    {HeaderField::kLong, u"BadScans", 0, 1, nullptr, &CCollectionHdr::SetBadScans, nullptr},
    {HeaderField::kLong, u"BKBadScans", 0, 1, nullptr, &CCollectionHdr::SetBKBadScans, nullptr},
    {HeaderField::kHex, u"CollectErrorMap", 0, 1, nullptr, &CCollectionHdr::SetCollectErrorMap, nullptr},
    {HeaderField::kHex, u"BKCollectErrorMap", 0, 1, nullptr, &CCollectionHdr::SetBKCollectErrorMap, nullptr},
};

template <size_t N>
uint32_t translated(const std::pair<int32_t, uint32_t> (&table)[N], LONG code, uint32_t otherwise) {
  for (const auto& [gaml, header] : table) {
    if (gaml == code) return header;
  }
  return otherwise;
}

}  // namespace

uint32_t CGamlImportJob::MapDetectorCode(LONG code) {
  return translated(gamlcodes::kDetectorCodes, code, kUnknownDetector);
}

uint32_t CGamlImportJob::MapBeamSplitterCode(LONG code) {
  return translated(gamlcodes::kBeamSplitterCodes, code, kUnknownBeamSplitter);
}

// Reads, converts and writes each field before the next, from the
// parameters of one section of the trace or group of an element.
void CGamlImportJob::ImportFields(const std::vector<NamedParameter>& parameters, const HeaderField* fields,
                                  size_t count, CCollectionHdr* header) {
  for (size_t i = 0; i < count; ++i) {
    const HeaderField& field = fields[i];
    if (field.kind == HeaderField::kDouble) {
      double value;
      ReadDouble(parameters, field.name, field.fallback, &value);
      (header->*field.set_number)(static_cast<float>(value * field.factor));
    } else if (field.kind == HeaderField::kLong) {
      LONG value;
      ReadLong(parameters, field.name, static_cast<LONG>(field.fallback), &value);
      (header->*field.set_code)(field.translate != nullptr ? field.translate(value) : static_cast<uint32_t>(value));
    } else {
      Bstr text;
      uint32_t value = 0;
      if (FAILED(ValueOf(parameters, field.name, &text)) || text.empty()) text = Bstr::from(u"0x0");
      HexTextToULong(text.get(), &value);
      (header->*field.set_code)(value);
    }
  }
}

HRESULT CGamlImportJob::ImportBenchInfo(IGamlTrace* trace, CCollectionHdr* header) {
  if (trace == nullptr || header == nullptr) return E_FAIL;
  Bstr name;
  if (FAILED(trace->get_Name(name.out()))) name.reset(nullptr);
  header->SetTitle(name.text());
  Variant date;
  if (SUCCEEDED(trace->get_Date(date.get()))) header->SetTimeStamp(DateToStoredTime(*date));
  std::vector<NamedParameter> parameters;
  ParametersAt(trace, kTraceLevel, kBenchInfo, &parameters);
  ImportFields(parameters, kBenchInfoFields, std::size(kBenchInfoFields), header);
  return S_OK;
}

HRESULT CGamlImportJob::ImportSpectrumHeader(IGamlTrace* trace, CCollectionHdr* header, LONG index) {
  if (trace == nullptr || header == nullptr || index < 0 || index > kLastElement) return E_FAIL;
  float first_x = 0.0f;
  float last_x = 0.0f;
  uint32_t x_units = 1;
  GetXRange(trace, index, &first_x, &last_x, &x_units);
  header->SetXUnits(x_units);
  // The header always holds an ascending range; ImportData stored the values to match.
  if (first_x > last_x) std::swap(first_x, last_x);
  header->SetLastX(last_x);
  header->SetFirstX(first_x);
  // The number of points is that of the Y values; the document's is read and not used.
  std::vector<NamedParameter> parameters;
  ParametersAt(trace, index, kSpectrumHeader, &parameters);
  LONG points;
  ReadLong(parameters, u"NumPoints", 0, &points);
  header->SetYUnits(y_units_);
  ImportFields(parameters, kSpectrumHeaderFields, std::size(kSpectrumHeaderFields), header);
  return S_OK;
}

HRESULT CGamlImportJob::ImportInterferogramHeader(IGamlTrace* trace, CCollectionHdr* header, LONG index,
                                                  const OLECHAR* section) {
  if (trace == nullptr || header == nullptr || section == nullptr || (index != 1 && index != 2)) return E_FAIL;
  LONG points;
  GetChildLong(trace, index, section, u"NumPoints", 0, &points);
  LONG scans;
  GetChildLong(trace, index, section, u"NumScans", 1, &scans);
  header->SetNumScans(static_cast<uint32_t>(scans));
  LONG peak;
  GetChildLong(trace, index, section, u"FinalPeakPos", 0, &peak);
  header->SetFinalPeakPos(static_cast<uint32_t>(peak));
  double laser;
  const HRESULT result = GetChildDouble(trace, index, section, u"Laser", kDefaultLaser, &laser);
  header->SetLaserFreq(static_cast<float>(laser));
  return result;
}

}  // namespace converter
