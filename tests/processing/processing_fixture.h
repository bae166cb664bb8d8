// Shared set-up of the processing tests: the spectrum fixture, and the
// spectra and arrays a test keeps until its end, destroyed in TearDown.
#pragma once
#include <vector>

#include "processing/processing.h"
#include "spectrum/spectrum_fixture.h"

// The unit codes the processing tests give their spectra.
constexpr uint32_t kWavenumbers = AP1_XUNIT_WAVENUMBERS;
constexpr uint32_t kPercentT = AP1_YUNIT_PERCENT_TRANSMITTANCE;
constexpr uint32_t kAbsorbance = AP1_YUNIT_ABSORBANCE;

class ProcessingTest : public SpectrumTest {
 protected:
  void TearDown() override {
    for (AP7_SPECTRUM* spectrum : spectra_) spectrumtest::destroy(spectrum);
    for (AP4_ARRAY* array : arrays_) arraytest::destroy(array);
    SpectrumTest::TearDown();
  }

  AP7_SPECTRUM* keep(AP7_SPECTRUM* spectrum) {
    if (spectrum != nullptr) spectra_.push_back(spectrum);
    return spectrum;
  }
  AP4_ARRAY* keep(AP4_ARRAY* array) {
    if (array != nullptr) arrays_.push_back(array);
    return array;
  }
  size_t kept_spectra() const { return spectra_.size(); }
  size_t kept_arrays() const { return arrays_.size(); }

 private:
  std::vector<AP7_SPECTRUM*> spectra_;
  std::vector<AP4_ARRAY*> arrays_;
};
