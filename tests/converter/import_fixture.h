// The import tests' set-up: the library started as the server starts it, a
// job, a spectrum wrapper and a header wrapper attached to it, and one
// trace of a document written for the test.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "apcomlib/spectrum/spectrum.h"
#include "converter/importjob.h"
#include "converter_support.h"
#include "module_fixture.h"

namespace convertertest {

class Import : public AttachedModule {
 protected:
  void SetUp() override {
    AttachedModule::SetUp();
    spectrum_ = std::make_unique<converter::CGamlSpectrum>();
    header_ = std::make_unique<converter::CCollectionHdr>();
    header_->Attach(spectrum_.get());
  }
  void TearDown() override {
    header_.reset();
    spectrum_.reset();
    document_.reset();
    AttachedModule::TearDown();
  }

  // Loads a document of one experiment with these traces.
  void load(const std::vector<gamlwriter::Trace>& traces) {
    document_ = std::make_unique<LoadedDocument>(write_gaml("import.gaml", experiment(traces)));
  }
  ComRef<IGamlTrace> trace(LONG index = 0) const { return document_->trace(index); }

  AP7_SPECTRUM* spectrum() const { return ap7a_spectrum(spectrum_->GetSpectrum()); }
  AP41_HEADERDATA& record() const { return spectrum()->header->data; }
  std::vector<float> values() const {
    const float* data = ap7b_GetDataPtr(spectrum());
    return std::vector<float>(data, data + record().points);
  }
  std::string history() const {
    const char* text = ap7d_GetHistoryText(spectrum());
    return text != nullptr ? text : "";
  }

  converter::CGamlImportJob job_;
  std::unique_ptr<LoadedDocument> document_;
  std::unique_ptr<converter::CGamlSpectrum> spectrum_;
  std::unique_ptr<converter::CCollectionHdr> header_;
};

// A trace named `name` with one spectrum element over first..last.
inline gamlwriter::Trace spectrum_trace(const char* name, double first, double last, std::vector<double> y,
                                        std::vector<gamlwriter::Parameter> parameters = {}) {
  gamlwriter::Trace trace;
  trace.name = name;
  trace.parameters = std::move(parameters);
  trace.elements.push_back(element(first, last, std::move(y)));
  return trace;
}

// An interferogram element with its header section.
inline gamlwriter::Xdata interferogram(const char* section, std::vector<double> y, const char* scans,
                                       const char* peak, const char* laser) {
  gamlwriter::Xdata xdata = element(0, static_cast<double>(y.size() - 1), std::move(y), "POINTS", "VOLTS");
  xdata.parameters = {{section, "NumPoints", std::to_string(xdata.children[0].values.numbers.size())},
                      {section, "NumScans", scans},
                      {section, "FinalPeakPos", peak},
                      {section, "Laser", laser}};
  return xdata;
}

}  // namespace convertertest
