// The GAML writer's document: the GAML form of spectra that the library read
// from a native file, in the shape that the GAML reader and the converter's
// import read back into the same spectra. The export converter object
// (converter.cpp) builds it and saves it.
#pragma once
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "tools/readback.h"

namespace gamlexport {

// Fills `xml` (empty) with the document of the spectra, in their order: one
// trace per spectrum, consecutive spectra of one collection time in one
// experiment. Throws only std::bad_alloc.
void build_document(const std::vector<readback::Spectrum>& spectra, pugi::xml_document* xml);

// The values of the "History" parameters that the import joins back into
// `text` (Windows-1252, lines ended by "\r\n"): one value per line, less the
// "\t " that the import puts back in front of a line; none for an empty text.
std::vector<std::string> history_values(const std::string& text);

// A number as the import reads it back bit for bit: "." as the decimal
// character whatever the locale, as few digits as that allows.
std::string float_text(float value);

}  // namespace gamlexport
