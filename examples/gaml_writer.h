// A small writer of GAML documents in the shape the converter reads:
// experiments with a collection date, traces with parameters, and Xdata
// elements with their X values, parameters and Ydata children, each values
// array packed in the declared format and byte order and written as base64.
// The example generator, the converter's tests and the benchmark describe
// their documents with it; nothing in the server uses it.
#pragma once
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace gamlwriter {

struct Parameter {
  std::string group;  // empty: no group attribute
  std::string name;
  std::string value;
};

// A values array: the numbers, packed as FLOAT32, FLOAT64, INT32 or INT64 in
// INTEL (little-endian) or MOTOROLA (big-endian) order. `numvalues` is the
// count of numbers unless given.
struct Values {
  std::string format = "FLOAT64";
  std::string byteorder = "INTEL";
  std::vector<double> numbers;
  std::optional<size_t> numvalues;
};

struct Ydata {
  std::string units;
  Values values;
};

struct Xdata {
  std::string units;
  std::vector<Parameter> parameters;
  std::optional<Values> values;
  std::vector<Ydata> children;
};

struct Trace {
  std::optional<std::string> name;
  std::vector<Parameter> parameters;
  std::vector<Xdata> elements;
};

struct Experiment {
  std::optional<std::string> collectdate;  // xsd:dateTime
  std::vector<Trace> traces;
};

inline std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

inline std::string base64(const std::string& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const uint32_t group = static_cast<uint8_t>(bytes[i]) << 16 | static_cast<uint8_t>(bytes[i + 1]) << 8 |
                           static_cast<uint8_t>(bytes[i + 2]);
    for (int shift : {18, 12, 6, 0}) out += kDigits[(group >> shift) & 63];
  }
  if (i + 1 == bytes.size()) {
    const uint32_t group = static_cast<uint8_t>(bytes[i]) << 16;
    out += kDigits[(group >> 18) & 63];
    out += kDigits[(group >> 12) & 63];
    out += "==";
  } else if (i + 2 == bytes.size()) {
    const uint32_t group = static_cast<uint8_t>(bytes[i]) << 16 | static_cast<uint8_t>(bytes[i + 1]) << 8;
    for (int shift : {18, 12, 6}) out += kDigits[(group >> shift) & 63];
    out += '=';
  }
  return out;
}

// The numbers packed as the array declares them.
inline std::string packed(const Values& values) {
  std::string bytes;
  const bool big_endian = values.byteorder == "MOTOROLA";
  auto append = [&](const void* number, size_t size) {
    const char* raw = static_cast<const char*>(number);
    for (size_t i = 0; i < size; ++i) bytes += raw[big_endian ? size - 1 - i : i];
  };
  for (double number : values.numbers) {
    if (values.format == "FLOAT32") {
      const float value = static_cast<float>(number);
      append(&value, sizeof value);
    } else if (values.format == "INT32") {
      const int32_t value = static_cast<int32_t>(number);
      append(&value, sizeof value);
    } else if (values.format == "INT64") {
      const int64_t value = static_cast<int64_t>(number);
      append(&value, sizeof value);
    } else {
      append(&number, sizeof number);
    }
  }
  return bytes;
}

inline void write_parameters(std::string& out, const std::vector<Parameter>& parameters, const char* indent) {
  for (const Parameter& parameter : parameters) {
    out += indent;
    out += "<parameter";
    if (!parameter.group.empty()) out += " group=\"" + escaped(parameter.group) + "\"";
    out += " name=\"" + escaped(parameter.name) + "\">" + escaped(parameter.value) + "</parameter>\n";
  }
}

inline void write_values(std::string& out, const Values& values, const char* indent) {
  out += indent;
  out += "<values format=\"" + values.format + "\" byteorder=\"" + values.byteorder + "\" numvalues=\"" +
         std::to_string(values.numvalues.value_or(values.numbers.size())) + "\">" + base64(packed(values)) +
         "</values>\n";
}

// The whole document: the usual 38-character declaration and a line feed,
// so that "<GAML version=" starts at byte 39.
inline std::string document(const std::vector<Experiment>& experiments, const std::string& name = "") {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<GAML version=\"1.20\"";
  if (!name.empty()) out += " name=\"" + escaped(name) + "\"";
  out += ">\n";
  for (const Experiment& experiment : experiments) {
    out += "  <experiment>\n";
    if (experiment.collectdate) out += "    <collectdate>" + *experiment.collectdate + "</collectdate>\n";
    for (const Trace& trace : experiment.traces) {
      out += "    <trace";
      if (trace.name) out += " name=\"" + escaped(*trace.name) + "\"";
      out += " technique=\"FTIR\">\n";
      write_parameters(out, trace.parameters, "      ");
      for (const Xdata& element : trace.elements) {
        out += "      <Xdata";
        if (!element.units.empty()) out += " units=\"" + element.units + "\"";
        out += ">\n";
        write_parameters(out, element.parameters, "        ");
        if (element.values) write_values(out, *element.values, "        ");
        for (const Ydata& child : element.children) {
          out += "        <Ydata";
          if (!child.units.empty()) out += " units=\"" + child.units + "\"";
          out += ">\n";
          write_values(out, child.values, "          ");
          out += "        </Ydata>\n";
        }
        out += "      </Xdata>\n";
      }
      out += "    </trace>\n";
    }
    out += "  </experiment>\n";
  }
  out += "</GAML>\n";
  return out;
}

}  // namespace gamlwriter
