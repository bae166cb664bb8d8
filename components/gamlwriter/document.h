// The GAML writer's document: the GAML form of spectra that the library read
// from a native file, in the shape that the GAML reader and the converter's
// import read back into the same spectra. The export converter object
// (converter.cpp) builds it and saves it.
#pragma once
#include <vector>

#include <pugixml.hpp>

#include "tools/readback.h"

namespace gamlexport {

// Fills `xml` (empty) with the document of the spectra, in their order: one
// trace per spectrum, consecutive spectra of one collection time in one
// experiment. Throws only std::bad_alloc.
void build_document(const std::vector<readback::Spectrum>& spectra, pugi::xml_document* xml);

}  // namespace gamlexport
