// The import of one trace into one spectrum: the order in which values,
// header sections, history and stored interferograms are filled, which
// failures fail the trace, and the interferograms a trace carries in its
// second and third elements. The import job calls ImportTrace per trace.
#include "converter/importjob.h"

namespace converter {
namespace {

constexpr char16_t kSampleInterferogramHeader[] = u"Archived Sample Interferogram Header";
constexpr char16_t kBackgroundInterferogramHeader[] = u"Archived Background Interferogram Header";

}  // namespace

HRESULT CGamlImportJob::ImportTrace(IGamlTrace* trace, CApSpectrum* spectrum) {
  if (trace == nullptr || spectrum == nullptr) return E_FAIL;
  CCollectionHdr header;
  if (!header.Attach(spectrum)) return E_FAIL;
  HRESULT result = ImportData(trace, spectrum, 0, 0);
  if (SUCCEEDED(result)) {
    result = ImportBenchInfo(trace, &header);
    if (SUCCEEDED(result)) result = SUCCEEDED(ImportSpectrumHeader(trace, &header, 0)) ? S_OK : E_FAIL;
  }
  // The history and the interferograms come whatever became of the values.
  ImportHistory(trace, spectrum);
  LONG elements = 1;
  if (SUCCEEDED(GetElementCount(trace, &elements))) {
    if (elements == 2) {
      ImportInterferogram(trace, spectrum, 1, true);
    } else if (elements == 3) {
      ImportInterferogram(trace, spectrum, 1, false);
      ImportInterferogram(trace, spectrum, 2, false);
    }
  }
  return result;
}

HRESULT CGamlImportJob::GetElementCount(IGamlTrace* trace, LONG* count) {
  if (trace == nullptr || count == nullptr) return E_FAIL;
  *count = 1;
  ComRef<IGamlCollection> elements;
  HRESULT result = trace->get_Elements(elements.out());
  LONG counted = 1;
  if (SUCCEEDED(result)) result = elements->get_Count(&counted);
  if (SUCCEEDED(result)) *count = counted;
  return SUCCEEDED(result) ? S_OK : result;
}

// With only one interferogram (a trace of two elements) it is the sample's,
// described in element 1; with two, element 1 holds the background's and
// element 2 the sample's, each described in its own element. An
// interferogram without a readable laser frequency is left out.
HRESULT CGamlImportJob::ImportInterferogram(IGamlTrace* trace, CApSpectrum* target, LONG index, bool only_one) {
  if (target == nullptr || trace == nullptr || (index != 1 && index != 2)) return E_FAIL;
  CGamlSpectrum interferogram;
  if (interferogram.GetSpectrum() == nullptr) return E_FAIL;
  CCollectionHdr header;
  header.Attach(&interferogram);
  HRESULT result = ImportData(trace, &interferogram, index, 0);
  if (FAILED(result)) return result;
  const bool sample = only_one || index == 2;
  result = ImportInterferogramHeader(trace, &header, only_one ? 1 : index,
                                     sample ? kSampleInterferogramHeader : kBackgroundInterferogramHeader);
  if (result != S_OK) return result;
  const bool attached = sample ? target->AttachSampleInterferogram(interferogram)
                               : target->AttachBackgroundInterferogram(interferogram);
  return attached ? S_OK : E_FAIL;
}

}  // namespace converter
