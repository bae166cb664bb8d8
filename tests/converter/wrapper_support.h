// What the spectrum-wrapper tests share: a wrapper's values read back whole.
#pragma once
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "converter/apspectrum.h"

namespace convertertest {

inline std::vector<float> values_of(const converter::CApSpectrum& wrapper) {
  uint32_t count = 0;
  float probe;
  wrapper.GetValues(&probe, &count);
  std::vector<float> values(count);
  EXPECT_TRUE(wrapper.GetValues(values.data(), &count));
  return values;
}

}  // namespace convertertest
