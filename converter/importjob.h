// The GAML import job: one per ConvertFile. It checks the source and the
// target folder, creates the GAML reader and loads the document, imports each
// trace into a spectrum and saves one spectrum as a single-spectrum file or
// several as a group file.
//
// Its members are spread over the files of their concerns: importjob.cpp
// (opening, the target-folder probe, the walk over the traces),
// gamlvalues.cpp (parameters of a trace and its elements by section and
// name, names lists, numbers, dates), traceimport.cpp (one trace),
// headerimport.cpp (header parameters) and dataimport.cpp (values, X range,
// history). Reader objects are passed in borrowed: the callee takes its own
// references and releases every object it obtains.
#pragma once
#include <cstdint>
#include <vector>

#include "components/gamlreader/gamlreader.h"
#include "converter/apspectrum.h"
#include "converter/hdrwrappers.h"
#include "converter/holders.h"

namespace converter {

// The job's spectrum wrapper: a spectrum held for one trace.
class CGamlSpectrum : public CApSpectrum {
 public:
  using CApSpectrum::CApSpectrum;
  ~CGamlSpectrum() override = default;
  AP_OBJECT* GetSpectrum() const { return capobj_GetWrappedObject(this); }
};

struct HeaderField;

// Where a spectrum's parameters are looked up: the trace, or one of its
// first three elements.
constexpr LONG kTraceLevel = -1;
constexpr LONG kLastElement = 2;

class CGamlImportJob {
 public:
  CGamlImportJob();
  ~CGamlImportJob();
  CGamlImportJob(const CGamlImportJob&) = delete;
  CGamlImportJob& operator=(const CGamlImportJob&) = delete;

  // Checks the source and the target folder, creates the reader and loads
  // the source: S_OK, E_FAIL, or the reader's failure.
  HRESULT Open(Bstr source, Bstr target);
  // Imports every trace and saves the result at the target.
  HRESULT ConvertTraces();
  // The number of traces; 1 whenever the reader cannot tell.
  HRESULT GetTraceCount(LONG* count);

  // One trace into the spectrum a wrapper holds.
  HRESULT ImportTrace(IGamlTrace* trace, CApSpectrum* spectrum);
  HRESULT GetElementCount(IGamlTrace* trace, LONG* count);
  HRESULT ImportInterferogram(IGamlTrace* trace, CApSpectrum* target, LONG index, bool only_one);

  // Header parameters from "Bench Info", "Spectrum Header" and an
  // interferogram's header section.
  HRESULT ImportBenchInfo(IGamlTrace* trace, CCollectionHdr* header);
  HRESULT ImportSpectrumHeader(IGamlTrace* trace, CCollectionHdr* header, LONG index);
  HRESULT ImportInterferogramHeader(IGamlTrace* trace, CCollectionHdr* header, LONG index, const OLECHAR* section);
  static uint32_t MapDetectorCode(LONG code);
  static uint32_t MapBeamSplitterCode(LONG code);

  // Values, X range and history.
  HRESULT ImportData(IGamlTrace* trace, CApSpectrum* spectrum, LONG index, LONG child);
  HRESULT GetXRange(IGamlTrace* trace, LONG index, float* first_x, float* last_x, uint32_t* x_units);
  HRESULT ImportHistory(IGamlTrace* trace, CApSpectrum* spectrum);
  static uint32_t MapUnitCode(LONG code);

  // Value access. A section is the trace's; a group is element `index`'s.
  static HRESULT CountNames(BSTR names, LONG* count);
  static HRESULT GetNthName(BSTR names, LONG n, Bstr* name);
  HRESULT FindParameter(IGamlTrace* trace, const OLECHAR* section, const OLECHAR* name, Bstr* value);
  HRESULT GetDouble(IGamlTrace* trace, const OLECHAR* section, const OLECHAR* name, double fallback, double* value);
  HRESULT GetLong(IGamlTrace* trace, const OLECHAR* section, const OLECHAR* name, LONG fallback, LONG* value);
  HRESULT FindChildParameter(IGamlTrace* trace, LONG index, const OLECHAR* group, const OLECHAR* name, Bstr* value);
  HRESULT GetChildDouble(IGamlTrace* trace, LONG index, const OLECHAR* group, const OLECHAR* name, double fallback,
                         double* value);
  HRESULT GetChildLong(IGamlTrace* trace, LONG index, const OLECHAR* group, const OLECHAR* name, LONG fallback,
                       LONG* value);
  HRESULT GetChildString(IGamlTrace* trace, LONG index, const OLECHAR* group, const OLECHAR* name,
                         const OLECHAR* fallback, Bstr* value);
  static HRESULT HexTextToULong(BSTR text, uint32_t* value);
  static uint32_t DateToStoredTime(const VARIANT& date);
  static void SetVariantLong(VARIANT* variant, LONG number);

  // The Y-unit code of the last values read (8 before any).
  uint32_t RememberedYUnits() const { return y_units_; }

 private:
  // A parameter of a section or group, with its name.
  struct NamedParameter {
    Bstr name;
    ComRef<IGamlParameter> parameter;
  };
  // Every parameter of the sections named `section` at the trace
  // (kTraceLevel) or of the groups so named of an element, in search order,
  // so that many values are looked up with one walk over the reader.
  HRESULT ParametersAt(IGamlTrace* trace, LONG index, const OLECHAR* section, std::vector<NamedParameter>* found);
  static const NamedParameter* FirstNamed(const std::vector<NamedParameter>& parameters, const OLECHAR* name);
  // The value text of the first parameter of that name; E_FAIL without one.
  static HRESULT ValueOf(const std::vector<NamedParameter>& parameters, const OLECHAR* name, Bstr* value);
  static HRESULT ReadDouble(const std::vector<NamedParameter>& parameters, const OLECHAR* name, double fallback,
                            double* value);
  static HRESULT ReadLong(const std::vector<NamedParameter>& parameters, const OLECHAR* name, LONG fallback, LONG* value);
  template <class T>
  static HRESULT ReadNumber(HRESULT found, const Bstr& text, T fallback, T* value,
                            HRESULT (*convert)(LPCOLESTR, LCID, ULONG, T*));
  // The value text of a parameter at the trace (kTraceLevel) or an element.
  HRESULT FindAt(IGamlTrace* trace, LONG index, const OLECHAR* section, const OLECHAR* name, Bstr* value);
  HRESULT GetDoubleAt(IGamlTrace* trace, LONG index, const OLECHAR* section, const OLECHAR* name, double fallback,
                      double* value);
  HRESULT GetLongAt(IGamlTrace* trace, LONG index, const OLECHAR* section, const OLECHAR* name, LONG fallback,
                    LONG* value);
  static void ImportFields(const std::vector<NamedParameter>& parameters, const HeaderField* fields, size_t count,
                           CCollectionHdr* header);
  template <class T>
  HRESULT GetNumberAt(IGamlTrace* trace, LONG index, const OLECHAR* section, const OLECHAR* name, T fallback,
                      T* value, HRESULT (*convert)(LPCOLESTR, LCID, ULONG, T*));
  // Parameter `index` of a section or group.
  static HRESULT ParameterAt(IGamlCollection* parameters, LONG index, ComRef<IGamlParameter>* parameter);
  // The element at `index` and its child `child`, as the walk to values takes them.
  HRESULT GetElement(IGamlTrace* trace, LONG index, ComRef<IGamlElement>* element);
  HRESULT GetChild(IGamlTrace* trace, LONG index, LONG child, ComRef<IGamlChild>* out);
  HRESULT SaveGroup(CGamlSpectrum* spectra, LONG count, AP40_LLIST* list);

  Bstr source_;
  Bstr target_;
  ComRef<IGamlReader> reader_;
  uint32_t y_units_;
  bool in_apartment_;
};

}  // namespace converter
