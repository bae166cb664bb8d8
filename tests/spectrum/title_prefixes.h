// The title prefixes of new spectra (association group 1007) in a resource
// module, for the tests of operations that put one in front of a title.
// The fixture's TearDown removes the module again.
#pragma once
#include "spectrum/spectrum.h"
#include "util/util_fixture.h"

namespace spectrumtest {

inline void add_title_prefixes() {
  utiltest::ModuleBuilder builder;
  builder.group(AP7_GROUP_TITLE_PREFIX, {{AP7_TITLE_SMOOTHED, "Smoothed: ", 0},
                                         {6, "Interpolated: ", 0},
                                         {AP7_TITLE_FIRST_DERIVATIVE, "First derivative: ", 0},
                                         {AP7_TITLE_SECOND_DERIVATIVE, "Second derivative: ", 0}});
  utiltest::add_resource_module("title_prefixes.dll", builder);
}

}  // namespace spectrumtest
