// The GAML reader's model of one loaded document: every trace with its
// sections, elements, children and decoded values, built in one pass over the
// XML and checked as it is built, so that the COM objects over it (objects.cpp)
// only hand out what is already there. The model is immutable once parsed and
// shared by every object handed out from it.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/oleaut.h"

namespace gamlreader {

struct Parameter {
  std::u16string name;
  std::u16string value;
};

// The parameters of one trace or element, and the named sections (groups)
// they fall into, in order of first appearance.
struct ParameterSet {
  struct Section {
    std::u16string name;
    std::vector<const Parameter*> parameters;  // into `parameters` below, in document order
  };
  std::vector<Parameter> parameters;
  std::vector<Section> sections;
};

struct ArrayDestroyer {
  void operator()(SAFEARRAY* array) const { SafeArrayDestroy(array); }
};

// One `values` array: the numbers, already in this machine's byte order, in
// the SAFEARRAY block that is lent to each caller, who reads it.
struct Values {
  std::unique_ptr<SAFEARRAY, ArrayDestroyer> array;  // VT_R4 or VT_R8; null: the Xdata or Ydata has no `values`
  LONG units = 0;  // the reader's unit code of the axis
};

struct Element {  // an Xdata
  ParameterSet groups;
  Values x;
  std::vector<Values> children;  // the Y values of each Ydata
};

struct Trace {
  std::u16string name;
  bool has_date = false;
  DATE date = 0.0;  // local time
  ParameterSet sections;
  std::vector<Element> elements;
};

struct Document {
  std::vector<Trace> traces;
};

// Sections point into their parameter vectors; growing the vectors that hold
// traces and elements moves those without moving the parameters.
static_assert(std::is_nothrow_move_constructible_v<Trace> && std::is_nothrow_move_constructible_v<Element>);

// Parses a whole document, in place: the buffer is left changed. S_OK with
// the model, or E_FAIL for a document that is not XML, has no GAML root or
// holds a malformed `values` array (unknown format or byte order, bad base64,
// a count that does not match). Throws only std::bad_alloc.
HRESULT parse_document(char* bytes, size_t size, std::shared_ptr<const Document>* document);

// Decodes base64 (padding, white space anywhere) into exactly `size` bytes
// at `out`; false when the text is not base64 or does not decode to exactly
// that many bytes. Writes nothing beyond `size` bytes.
bool decode_base64(const char* text, size_t length, unsigned char* out, size_t size);

// How runs of digits are decoded: the fastest way this processor has, or
// by table only (what a processor without SSSE3 does).
enum class Base64Runs { kFastest, kTable };
bool decode_base64(const char* text, size_t length, unsigned char* out, size_t size, Base64Runs runs);

// The reader's unit code for a `units` name.
LONG unit_code(const char* name);

}  // namespace gamlreader
