// Builds the GAML document of native spectra with pugixml: each spectrum's
// title, collection time, X range and units, Y values and units, history,
// the bench and collection parameters of its header, and its stored
// interferograms, each written where and as the converter's GAML import
// reads it. Values go as base64 of little-endian 32-bit floats, so that they
// come back bit for bit; numbers in text use "." whatever the locale. Called
// by the export converter object (converter.cpp).
#include "components/gamlwriter/document.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>

#include "components/gamlreader/units.h"
#include "converter/gamlcodes.h"
#include "platform/codepage.h"
#include "apcomlib/util/util.h"

namespace gamlexport {

namespace {

constexpr char kBenchInfo[] = "Bench Info";
constexpr char kSpectrumHeader[] = "Spectrum Header";
constexpr char kHistory[] = "History";
constexpr char kBackgroundHeader[] = "Archived Background Interferogram Header";
constexpr char kSampleHeader[] = "Archived Sample Interferogram Header";
// The units of a header code that no GAML name gives back; the reader
// takes it, as any name it does not know, for the header's "other" unit.
constexpr char kUnknownUnits[] = "UNKNOWN";
// No detector or beam splitter: the import turns a GAML code outside its
// tables into its unknown code.
constexpr int32_t kNoGamlCode = 0;
// The blanks and the tab the import puts in front of a history line.
constexpr char kHistoryLinePrefix[] = "\t ";
constexpr char kLineEnd[] = "\r\n";
// The header's X unit of Raman spectra; other spectra are infrared.
constexpr uint32_t kRamanShiftUnits = 32;

// How a header field is written: the import reads a long as a signed 32-bit
// number into the field's bit pattern, a float through a double, a count of
// hundredths as a double, an error map as hexadecimal text, and translates
// detector and beam-splitter codes.
enum class Kind { kLong, kFloat, kCount, kHex, kDetector, kBeamSplitter };

struct Field {
  const char* name;
  size_t offset;  // in AP41_HEADERDATA
  Kind kind;
};

#define GAML_FIELD(name, kind) {#name, offsetof(AP41_HEADERDATA, name), kind}
constexpr Field kBenchInfoFields[] = {
    GAML_FIELD(BenchID, Kind::kLong),          GAML_FIELD(Gain, Kind::kFloat),
    GAML_FIELD(Velocity, Kind::kFloat),        GAML_FIELD(DetectorID, Kind::kDetector),
    GAML_FIELD(BeamSplitterID, Kind::kBeamSplitter), GAML_FIELD(SourceID, Kind::kLong),
    GAML_FIELD(ADBits, Kind::kLong),           GAML_FIELD(HPF, Kind::kFloat),
    GAML_FIELD(LPF, Kind::kFloat),
};
constexpr Field kSpectrumHeaderFields[] = {
    GAML_FIELD(Duration, Kind::kCount),        GAML_FIELD(LaserFreq, Kind::kFloat),
    GAML_FIELD(FinalPeakPos, Kind::kLong),     GAML_FIELD(NumScanPts, Kind::kLong),
    GAML_FIELD(NumTransformPts, Kind::kLong),  GAML_FIELD(NumPostPeakPts, Kind::kLong),
    GAML_FIELD(NumScans, Kind::kLong),         GAML_FIELD(BKNumScans, Kind::kLong),
    GAML_FIELD(SSP, Kind::kFloat),             GAML_FIELD(ApodID, Kind::kLong),
    GAML_FIELD(BKGain, Kind::kFloat),          GAML_FIELD(PhaseCorrID, Kind::kLong),
    GAML_FIELD(Aperture, Kind::kFloat),        GAML_FIELD(BadScans, Kind::kLong),
    GAML_FIELD(BKBadScans, Kind::kLong),       GAML_FIELD(CollectErrorMap, Kind::kHex),
    GAML_FIELD(BKCollectErrorMap, Kind::kHex),
};
constexpr Field kInterferogramFields[] = {
    GAML_FIELD(NumScans, Kind::kLong),
    GAML_FIELD(FinalPeakPos, Kind::kLong),
    {"Laser", offsetof(AP41_HEADERDATA, LaserFreq), Kind::kFloat},
};
#undef GAML_FIELD

// A number as the import reads it back bit for bit: "." as the decimal
// character whatever the locale, as few digits as that allows.
std::string float_text(float value) {
  char text[32];
  char* end = std::to_chars(text, text + sizeof text, value).ptr;
  double read = 0.0;
  std::from_chars(text, end, read);
  if (static_cast<float>(read) == value) return std::string(text, end);
  // The shortest text of the float, read as a double, may round to its
  // neighbour; the double's own shortest text does not.
  end = std::to_chars(text, text + sizeof text, static_cast<double>(value)).ptr;
  return std::string(text, end);
}

// The values of the "History" parameters that the import joins back into
// `text` (Windows-1252, lines ended by "\r\n"), none for an empty text.
// The import joins the values of a section with "\r\n" and puts "\t " in
// front of every value that is not empty, does not start with two blanks and
// follows a value that is not empty. A line that carries that prefix goes
// without it; any other line goes as it is.
std::vector<std::string> history_values(const std::string& text) {
  std::vector<std::string> values;
  if (text.empty()) return values;
  const size_t prefix = std::strlen(kHistoryLinePrefix);
  size_t start = 0;
  while (true) {
    const size_t end = text.find(kLineEnd, start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const bool gets_prefix_back = !values.empty() && !values.back().empty() && line.size() > prefix &&
                                  line.compare(0, prefix, kHistoryLinePrefix) == 0 &&
                                  line.compare(prefix, 2, "  ") != 0;
    values.push_back(gets_prefix_back ? line.substr(prefix) : std::move(line));
    if (end == std::string::npos) break;
    start = end + std::strlen(kLineEnd);
  }
  return values;
}

template <class Number>
Number field_value(const AP41_HEADERDATA& record, size_t offset) {
  Number value;
  std::memcpy(&value, reinterpret_cast<const char*>(&record) + offset, sizeof value);
  return value;
}

template <class Number>
std::string number_text(Number value, int base = 10) {
  char text[24];
  return std::string(text, std::to_chars(text, text + sizeof text, value, base).ptr);
}

template <size_t N>
int32_t gaml_code(const std::pair<int32_t, uint32_t> (&table)[N], uint32_t header_code) {
  for (const auto& [gaml, header] : table) {
    if (header == header_code) return gaml;
  }
  return kNoGamlCode;
}

// The text of a field; empty for a float that is not a number, which no
// text brings back: the import then takes its default.
std::string field_text(const AP41_HEADERDATA& record, const Field& field) {
  const uint32_t bits = field_value<uint32_t>(record, field.offset);
  switch (field.kind) {
    case Kind::kLong: return number_text(static_cast<int32_t>(bits));
    case Kind::kCount: return number_text(bits);
    case Kind::kHex: return "0x" + number_text(bits, 16);
    case Kind::kDetector: return number_text(gaml_code(gamlcodes::kDetectorCodes, bits));
    case Kind::kBeamSplitter: return number_text(gaml_code(gamlcodes::kBeamSplitterCodes, bits));
    case Kind::kFloat: {
      const float value = field_value<float>(record, field.offset);
      return std::isfinite(value) ? float_text(value) : std::string();
    }
  }
  return std::string();
}

// Windows-1252 text as XML's UTF-8.
std::string utf8(const char* ansi, size_t length) {
  if (length == 0) return std::string();
  std::u16string wide(length, u'\0');  // 1252 is one unit per byte
  const int units = MultiByteToWideChar(CP_ACP, 0, ansi, static_cast<int>(length), wide.data(),
                                        static_cast<int>(wide.size()));
  std::string text(static_cast<size_t>(units) * 3, '\0');
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, text.data(), static_cast<int>(text.size()),
                                        nullptr, nullptr);
  text.resize(static_cast<size_t>(bytes > 0 ? bytes : 0));
  return text;
}

const char* units_name(uint32_t header_code) {
  if (header_code == gamlunits::kOtherHeaderCode) return kUnknownUnits;
  for (const gamlunits::UnitName& unit : gamlunits::kUnits) {
    if (unit.header_code == header_code) return unit.name;
  }
  return kUnknownUnits;
}

// pugixml answers a failed allocation with an empty node or a false
// result; the document would go out short. These make it the exception
// that the converter answers with E_OUTOFMEMORY.
pugi::xml_node add_child(pugi::xml_node parent, const char* name) {
  const pugi::xml_node child = parent.append_child(name);
  if (!child) throw std::bad_alloc();
  return child;
}

void add_attribute(pugi::xml_node node, const char* name, const char* value) {
  if (!node.append_attribute(name).set_value(value)) throw std::bad_alloc();
}

void set_text(pugi::xml_node node, const char* text) {
  if (!node.text().set(text)) throw std::bad_alloc();
}

void add_parameter(pugi::xml_node parent, const char* group, const char* name, const std::string& value) {
  pugi::xml_node parameter = add_child(parent, "parameter");
  add_attribute(parameter, "group", group);
  add_attribute(parameter, "name", name);
  set_text(parameter, value.c_str());
}

template <size_t N>
void add_fields(pugi::xml_node parent, const char* group, const Field (&fields)[N], const AP41_HEADERDATA& record) {
  for (const Field& field : fields) {
    const std::string text = field_text(record, field);
    if (!text.empty()) add_parameter(parent, group, field.name, text);
  }
}

constexpr char kBase64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Standard base64 with padding, in one line.
std::string base64(const std::vector<uint8_t>& bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  size_t at = 0;
  for (; at + 3 <= bytes.size(); at += 3) {
    const uint32_t group = uint32_t{bytes[at]} << 16 | uint32_t{bytes[at + 1]} << 8 | bytes[at + 2];
    for (int shift = 18; shift >= 0; shift -= 6) text += kBase64Digits[group >> shift & 63];
  }
  const size_t left = bytes.size() - at;
  if (left > 0) {
    const uint32_t group = uint32_t{bytes[at]} << 16 | (left == 2 ? uint32_t{bytes[at + 1]} << 8 : 0);
    text += kBase64Digits[group >> 18 & 63];
    text += kBase64Digits[group >> 12 & 63];
    text += left == 2 ? kBase64Digits[group >> 6 & 63] : '=';
    text += '=';
  }
  return text;
}

// A `values` child of FLOAT32 numbers in INTEL byte order.
void add_values(pugi::xml_node axis, const float* values, size_t count) {
  std::vector<uint8_t> bytes(count * sizeof(float));
  for (size_t i = 0; i < count; ++i) {
    uint32_t bits;
    std::memcpy(&bits, &values[i], sizeof bits);
    for (size_t byte = 0; byte < sizeof bits; ++byte)
      bytes[i * sizeof bits + byte] = static_cast<uint8_t>(bits >> (8 * byte));
  }
  pugi::xml_node node = add_child(axis, "values");
  add_attribute(node, "format", "FLOAT32");
  add_attribute(node, "byteorder", "INTEL");
  add_attribute(node, "numvalues", number_text(count).c_str());
  set_text(node, base64(bytes).c_str());
}

pugi::xml_node add_xdata(pugi::xml_node trace, const AP7_SPECTRUM* spectrum) {
  pugi::xml_node xdata = add_child(trace, "Xdata");
  add_attribute(xdata, "units", units_name(spectrum->header->data.x_units));
  return xdata;
}

// The Xdata's values are the spectrum's first and last X, and its one Ydata
// holds the Y values: the import takes the X range from the two ends and the
// number of points from the Y values.
void add_axes(pugi::xml_node xdata, const AP7_SPECTRUM* spectrum) {
  const AP41_HEADERDATA& record = spectrum->header->data;
  const float ends[2] = {record.first_x, record.last_x};
  add_values(xdata, ends, std::size(ends));
  pugi::xml_node ydata = add_child(xdata, "Ydata");
  add_attribute(ydata, "units", units_name(record.y_units));
  add_values(ydata, ap7b_GetDataPtr(spectrum), record.points);
}

// An interferogram element: its values and the header section the import
// reads it with.
void add_interferogram(pugi::xml_node trace, const AP7_SPECTRUM* interferogram, const char* section) {
  pugi::xml_node xdata = add_xdata(trace, interferogram);
  add_fields(xdata, section, kInterferogramFields, interferogram->header->data);
  add_axes(xdata, interferogram);
}

// The collection time as the wall-clock xsd:dateTime the reader takes it
// for; empty when it has no local time.
std::string collect_date(GU4_TIME stored) {
  const GU4_CALTIME calendar = GU4_Timeout(stored);
  const GU4_TM local = *GU4_localtime(&calendar);
  if (local.tm_mday == 0) return std::string();
  auto two = [](int32_t number) { return (number < 10 ? "0" : "") + number_text(number); };
  const int32_t year = local.tm_year + 1900;
  if (year < 1000 || year > 9999) return std::string();
  return number_text(year) + "-" + two(local.tm_mon + 1) + "-" + two(local.tm_mday) + "T" + two(local.tm_hour) +
         ":" + two(local.tm_min) + ":" + two(local.tm_sec);
}

void add_trace(pugi::xml_node experiment, const readback::Spectrum& read) {
  const AP7_SPECTRUM* spectrum = read.spectrum;
  const AP41_HEADERDATA& record = spectrum->header->data;
  pugi::xml_node trace = add_child(experiment, "trace");
  add_attribute(trace, "name", utf8(record.title, strnlen(record.title, sizeof record.title)).c_str());
  add_attribute(trace, "technique", record.x_units == kRamanShiftUnits ? "RAMAN" : "FTIR");
  add_fields(trace, kBenchInfo, kBenchInfoFields, record);
  const char* history = ap7d_GetHistoryText(spectrum);
  int line = 0;
  for (const std::string& value : history_values(history != nullptr ? history : "")) {
    add_parameter(trace, kHistory, ("line" + number_text(++line)).c_str(), utf8(value.data(), value.size()));
  }
  pugi::xml_node xdata = add_xdata(trace, spectrum);
  add_fields(xdata, kSpectrumHeader, kSpectrumHeaderFields, record);
  add_axes(xdata, spectrum);
  // Two elements carry the sample interferogram, three the background and
  // then the sample; a background alone has no place.
  if (read.sample != nullptr && read.background != nullptr)
    add_interferogram(trace, read.background, kBackgroundHeader);
  if (read.sample != nullptr) add_interferogram(trace, read.sample, kSampleHeader);
}

}  // namespace

void build_document(const std::vector<readback::Spectrum>& spectra, pugi::xml_document* xml) {
  const pugi::xml_node declaration = xml->append_child(pugi::node_declaration);
  if (!declaration) throw std::bad_alloc();
  add_attribute(declaration, "version", "1.0");
  add_attribute(declaration, "encoding", "UTF-8");
  const pugi::xml_node gaml = add_child(*xml, "GAML");
  add_attribute(gaml, "version", "1.20");
  pugi::xml_node experiment;
  GU4_TIME date = 0;
  for (const readback::Spectrum& read : spectra) {
    // A trace's date is its experiment's: a new date, a new experiment.
    const GU4_TIME time = read.spectrum->header->data.time;
    if (!experiment || time != date) {
      experiment = add_child(gaml, "experiment");
      const std::string collected = collect_date(time);
      if (!collected.empty()) set_text(add_child(experiment, "collectdate"), collected.c_str());
      date = time;
    }
    add_trace(experiment, read);
  }
}

}  // namespace gamlexport
