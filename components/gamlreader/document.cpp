// Builds the reader's document model from GAML XML with pugixml: traces in
// document order across experiments, parameter sections by group, Xdata
// elements with their Ydata children, collection dates, unit codes and the
// base64 `values` arrays decoded into this machine's byte order. Called by the
// reader object's Load (objects.cpp).
#include "components/gamlreader/document.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_map>
#include <utility>

#include <pugixml.hpp>

#include "components/gamlreader/units.h"
#include "platform/codepage.h"

namespace gamlreader {

namespace {

std::u16string utf16(const char* text) {
  const int length = static_cast<int>(std::strlen(text));
  if (length == 0) return std::u16string();
  std::u16string wide(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text, length, nullptr, 0)), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, length, wide.data(), static_cast<int>(wide.size()));
  return wide;
}

// The `parameter` children of a node; a parameter whose group is absent or
// empty belongs to no section.
void read_parameters(pugi::xml_node node, ParameterSet* set) {
  std::vector<const char*> groups;
  for (pugi::xml_node parameter : node.children("parameter")) {
    set->parameters.push_back({utf16(parameter.attribute("name").value()), utf16(parameter.text().get())});
    groups.push_back(parameter.attribute("group").value());
  }
  std::unordered_map<std::string, size_t> section_of_group;
  for (size_t i = 0; i < groups.size(); ++i) {
    if (*groups[i] == '\0') continue;
    const auto [found, added] = section_of_group.emplace(groups[i], set->sections.size());
    if (added) set->sections.push_back({utf16(groups[i]), {}});
    set->sections[found->second].parameters.push_back(&set->parameters[i]);
  }
}

LONG units_attribute(pugi::xml_node node) { return unit_code(node.attribute("units").value()); }

// ---- values ----

// A count written as decimal digits only.
bool read_count(const char* text, uint64_t* count) {
  *count = 0;
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9' || *count > UINT32_MAX) return false;
    *count = *count * 10 + static_cast<uint64_t>(*text - '0');
  }
  return true;
}

struct Format {
  const char* name;
  size_t size;    // bytes of one number in the document
  bool integer;   // integers become doubles: every 32-bit one exactly, 64-bit ones rounded to nearest
};
constexpr Format kFormats[] = {{"FLOAT32", 4, false}, {"FLOAT64", 8, false}, {"INT32", 4, true}, {"INT64", 8, true}};

// A vector of `count` numbers of `type`, not cleared: the decoder fills
// every element or the array is dropped. Throws std::bad_alloc when it
// cannot be made.
std::unique_ptr<SAFEARRAY, ArrayDestroyer> new_array(VARTYPE type, uint64_t count) {
  std::unique_ptr<SAFEARRAY, ArrayDestroyer> array(platform::create_unfilled_vector(type, static_cast<ULONG>(count)));
  if (array == nullptr) throw std::bad_alloc();
  return array;
}

template <class Integer>
void integers_to_doubles(const std::vector<unsigned char>& packed, double* doubles) {
  for (size_t i = 0; i < packed.size() / sizeof(Integer); ++i) {
    Integer number;
    std::memcpy(&number, packed.data() + i * sizeof number, sizeof number);
    doubles[i] = static_cast<double>(number);
  }
}

// Decodes one `values` element; false when it is malformed. Floating-point
// numbers are decoded straight into the array's block; integers go through
// a block of their own on their way to doubles.
bool read_values(pugi::xml_node node, Values* values) {
  const char* format_name = node.attribute("format").value();
  const Format* format = std::find_if(std::begin(kFormats), std::end(kFormats), [&](const Format& f) {
    return std::strcmp(f.name, format_name) == 0;
  });
  const char* byte_order = node.attribute("byteorder").value();
  const bool big_endian = std::strcmp(byte_order, "MOTOROLA") == 0;
  uint64_t count = 0;
  if (format == std::end(kFormats) || (!big_endian && std::strcmp(byte_order, "INTEL") != 0) ||
      !read_count(node.attribute("numvalues").value(), &count)) {
    return false;
  }
  // The text bounds what it decodes to, so a count it cannot hold is refused
  // before any block is made for it.
  const char* text = node.text().get();
  const size_t length = std::strlen(text);
  const uint64_t size = count * format->size;
  if (size > length / 4 * 3) return false;
  const VARTYPE type = format->size == 4 && !format->integer ? VT_R4 : VT_R8;
  std::unique_ptr<SAFEARRAY, ArrayDestroyer> array = new_array(type, count);
  std::vector<unsigned char> integers;
  if (format->integer) integers.resize(static_cast<size_t>(size));
  unsigned char* packed = format->integer ? integers.data() : static_cast<unsigned char*>(array->pvData);
  if (!decode_base64(text, length, packed, static_cast<size_t>(size))) return false;
  if (big_endian) {
    for (size_t at = 0; at < size; at += format->size) std::reverse(packed + at, packed + at + format->size);
  }
  if (format->integer && format->size == 4) integers_to_doubles<int32_t>(integers, static_cast<double*>(array->pvData));
  if (format->integer && format->size == 8) integers_to_doubles<int64_t>(integers, static_cast<double*>(array->pvData));
  values->array = std::move(array);
  return true;
}

// The Y values of a Ydata or the X values of an Xdata: its first `values`
// child, if any, and its units.
bool read_axis(pugi::xml_node node, Values* values) {
  values->units = units_attribute(node);
  const pugi::xml_node array = node.child("values");
  return !array || read_values(array, values);
}

// ---- dates ----

// Reads `digits` decimal digits at *at.
bool read_digits(const char** at, int digits, WORD* value) {
  *value = 0;
  for (int i = 0; i < digits; ++i, ++*at) {
    if (**at < '0' || **at > '9') return false;
    *value = static_cast<WORD>(*value * 10 + (**at - '0'));
  }
  return true;
}

bool read_literal(const char** at, char literal) {
  if (**at != literal) return false;
  ++*at;
  return true;
}

const char* skip_blanks(const char* at) {
  while (*at == ' ' || *at == '\t' || *at == '\r' || *at == '\n') ++at;
  return at;
}

// An xsd:dateTime "YYYY-MM-DDThh:mm:ss", optionally with a fraction of a
// second and a zone, as the wall-clock time written: the native stored time
// is a local count, so a spectrum collected at 14:05 keeps 14:05 whatever
// zone the document names. The fraction of a second is dropped.
bool read_date(const char* text, DATE* date) {
  const char* at = skip_blanks(text);
  SYSTEMTIME time{};
  if (!read_digits(&at, 4, &time.wYear) || !read_literal(&at, '-') || !read_digits(&at, 2, &time.wMonth) ||
      !read_literal(&at, '-') || !read_digits(&at, 2, &time.wDay) || !read_literal(&at, 'T') ||
      !read_digits(&at, 2, &time.wHour) || !read_literal(&at, ':') || !read_digits(&at, 2, &time.wMinute) ||
      !read_literal(&at, ':') || !read_digits(&at, 2, &time.wSecond)) {
    return false;
  }
  if (read_literal(&at, '.')) {
    if (*at < '0' || *at > '9') return false;
    while (*at >= '0' && *at <= '9') ++at;
  }
  WORD zone_part;
  if (!read_literal(&at, 'Z') && (*at == '+' || *at == '-')) {
    ++at;
    if (!read_digits(&at, 2, &zone_part) || !read_literal(&at, ':') || !read_digits(&at, 2, &zone_part)) return false;
  }
  return *skip_blanks(at) == '\0' && SystemTimeToVariantTime(&time, date);
}

bool read_trace(pugi::xml_node node, const char* collect_date, Trace* trace) {
  trace->name = utf16(node.attribute("name").value());
  trace->has_date = read_date(collect_date, &trace->date);
  read_parameters(node, &trace->sections);
  for (pugi::xml_node xdata : node.children("Xdata")) {
    Element& element = trace->elements.emplace_back();
    read_parameters(xdata, &element.groups);
    if (!read_axis(xdata, &element.x)) return false;
    for (pugi::xml_node ydata : xdata.children("Ydata")) {
      if (!read_axis(ydata, &element.children.emplace_back())) return false;
    }
  }
  return true;
}

}  // namespace

LONG unit_code(const char* name) {
  for (const gamlunits::UnitName& unit : gamlunits::kUnits) {
    if (std::strcmp(unit.name, name) == 0) return unit.reader_code;
  }
  return gamlunits::kOtherReaderCode;
}

HRESULT parse_document(char* bytes, size_t size, std::shared_ptr<const Document>* document) {
  document->reset();
  pugi::xml_document xml;
  const unsigned options = pugi::parse_default | pugi::parse_ws_pcdata_single;
  if (!xml.load_buffer_inplace(bytes, size, options) || std::strcmp(xml.document_element().name(), "GAML") != 0) {
    return E_FAIL;
  }
  auto model = std::make_shared<Document>();
  for (pugi::xml_node experiment : xml.document_element().children("experiment")) {
    const char* collect_date = experiment.child("collectdate").text().get();
    for (pugi::xml_node trace : experiment.children("trace")) {
      if (!read_trace(trace, collect_date, &model->traces.emplace_back())) return E_FAIL;
    }
  }
  *document = std::move(model);
  return S_OK;
}

}  // namespace gamlreader
