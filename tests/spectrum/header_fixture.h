// Shared set-up of the spectral header and history-bit tests: the library
// loaded with its classes (through the parameter tests' fixture, whose
// message, file and window helpers they use), a resource module with the
// association texts the header reads (unit codes, description labels,
// detectors, beam splitters, sources, the not-given text), and helpers that
// make headers and read their record. TearDown also drops the configuration
// the tests set.
#pragma once
#include <string>

#include <gtest/gtest.h>

#include "core/core.h"
#include "core/params_fixture.h"
#include "spectrum/spectrum.h"
#include "util/util_fixture.h"

namespace headertest {

using paramstest::bytes_of;
using paramstest::kNotGiven;

// A text row: the text, its terminator and zeros up to the row's size.
inline std::string text_bytes(const std::string& text, size_t size) {
  std::string bytes = text;
  bytes.resize(size, '\0');
  return bytes;
}

// The parameter tests' fixture gives the messages, files and windows; the
// header's tests add their texts, headers and the configuration they set.
class HeaderTest : public paramstest::ParamsTest {
 protected:
  void TearDown() override {
    GU6_DeleteConfig("CustomerInfo", "CompanyName");
    ParamsTest::TearDown();
  }

  // The texts of the groups the header reads, in one resource module.
  static void add_header_texts() {
    utiltest::ModuleBuilder builder;
    builder
        .group(AP41_GROUP_UNITS, {{1, "Wavenumbers", 0},
                                  {2, "Points", 0},
                                  {3, "Nanometers", 0},
                                  {15, "Single Beam", 0},
                                  {16, "%Transmittance", 0},
                                  {17, "Absorbance", 0},
                                  {22, "Interferogram", 0}})
        .group(AP41_GROUP_LABELS, {{0, "Scans: ", 0},
                                   {1, "Background scans: ", 0},
                                   {2, "Resolution: ", 0},
                                   {3, "Gain: ", 0},
                                   {4, "Velocity: ", 0},
                                   {5, "Aperture: ", 0},
                                   {6, "Detector: ", 0},
                                   {7, "Beam splitter: ", 0},
                                   {9, "Source: ", 0}})
        .group(AP41_GROUP_DETECTORS, {{0, "None", 0}, {1, "DTGS", 0}, {2, "MCT", 0}})
        .group(AP41_GROUP_BEAMSPLITTERS, {{0, "None", 0}, {1, "KBr", 0}})
        .group(AP41_GROUP_SOURCES, {{0, "Off", 0}, {1, "IR", 0}, {2, "White light", 0}})
        .group(AP13_GROUP_NOT_GIVEN, {{0, kNotGiven, 0}});
    utiltest::add_resource_module("header_texts.dll", builder);
  }

  // A new header, made and initialised as a spectrum makes its own.
  static AP41_SPECTRALHEADER* make() {
    return reinterpret_cast<AP41_SPECTRALHEADER*>(ParamsTest::make(nullptr, AP41_CLASS_ID));
  }
  // The stored bytes of the record from an offset on.
  static std::string stored(const AP41_SPECTRALHEADER* header, size_t offset, size_t size) {
    return std::string(reinterpret_cast<const char*>(&header->data) + offset, size);
  }
  static std::string record_of(const AP41_SPECTRALHEADER* header) {
    return stored(header, 0, sizeof(AP41_HEADERDATA));
  }
  static int16_t change_state(AP41_SPECTRALHEADER* header) {
    return static_cast<int16_t>(send(AP_MSG_GET_CHANGE_STATE, header));
  }
};

}  // namespace headertest
