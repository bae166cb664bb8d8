// gaml_examples: writes the example GAML documents that `make demo`
// converts. The spectra are made up, but shaped like those of a film
// measured on an FTIR bench: absorbance bands over 4000 to 400 cm-1 (written
// in descending X, as instruments do), the sample and background
// interferograms behind them, and the bench, collection and history
// parameters the converter reads.
//
//   single_trace.gaml   one trace with its sample interferogram
//   three_traces.gaml   three traces: with background and sample
//                       interferograms, with the sample's only, and without
//
// Usage: gaml_examples FOLDER
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "examples/gaml_writer.h"

namespace {

using gamlwriter::Parameter;

constexpr int kSpectrumPoints = 1868;
constexpr int kInterferogramPoints = 2048;
constexpr double kPi = 3.14159265358979323846;

struct Band {
  double center;  // cm-1
  double height;  // absorbance
  double width;   // cm-1, half width at half height
};

// Absorbance from 4000 down to 400 cm-1: a sloping baseline and Lorentzian bands.
std::vector<double> absorbance(const std::vector<Band>& bands) {
  std::vector<double> y(kSpectrumPoints);
  for (int i = 0; i < kSpectrumPoints; ++i) {
    const double x = 4000.0 - 3600.0 * i / (kSpectrumPoints - 1);
    double value = 0.02 + 0.01 * (4000.0 - x) / 3600.0;
    for (const Band& band : bands) {
      const double offset = (x - band.center) / band.width;
      value += band.height / (1.0 + offset * offset);
    }
    y[i] = value;
  }
  return y;
}

// A centre burst at point 1024 with a decaying modulation.
std::vector<double> interferogram(double amplitude) {
  std::vector<double> y(kInterferogramPoints);
  for (int i = 0; i < kInterferogramPoints; ++i) {
    const double t = i - kInterferogramPoints / 2;
    y[i] = amplitude * std::exp(-std::fabs(t) / 40.0) * std::cos(2.0 * kPi * t / 7.3);
  }
  return y;
}

gamlwriter::Xdata spectrum_element(const std::vector<Band>& bands, int scans) {
  gamlwriter::Xdata element;
  element.units = "WAVENUMBER";
  const std::string section = "Spectrum Header";
  element.parameters = {
      {section, "NumPoints", std::to_string(kSpectrumPoints)},
      {section, "Duration", "2950"},
      {section, "LaserFreq", "15798.7"},
      {section, "FinalPeakPos", "1024"},
      {section, "NumScanPts", std::to_string(kInterferogramPoints)},
      {section, "NumTransformPts", "4096"},
      {section, "NumPostPeakPts", "1023"},
      {section, "NumScans", std::to_string(scans)},
      {section, "BKNumScans", "64"},
      {section, "SSP", "2.0"},
      {section, "ApodID", "1"},
      {section, "BKGain", "1.0"},
      {section, "PhaseCorrID", "1"},
      {section, "Aperture", "100"},
      {section, "BadScans", "0"},
      {section, "BKBadScans", "0"},
      {section, "CollectErrorMap", "0x0"},
      {section, "BKCollectErrorMap", "0x0"},
  };
  element.values = gamlwriter::Values{"FLOAT64", "INTEL", {4000.0, 400.0}, std::nullopt};
  element.children.push_back({"ABSORBANCE", {"FLOAT32", "INTEL", absorbance(bands), std::nullopt}});
  return element;
}

gamlwriter::Xdata interferogram_element(const std::string& section, double amplitude, int scans) {
  gamlwriter::Xdata element;
  element.units = "POINTS";
  element.parameters = {
      {section, "NumPoints", std::to_string(kInterferogramPoints)},
      {section, "NumScans", std::to_string(scans)},
      {section, "FinalPeakPos", std::to_string(kInterferogramPoints / 2)},
      {section, "Laser", "15798.7"},
  };
  element.values = gamlwriter::Values{"FLOAT64", "INTEL", {0.0, kInterferogramPoints - 1.0}, std::nullopt};
  element.children.push_back({"VOLTS", {"FLOAT32", "INTEL", interferogram(amplitude), std::nullopt}});
  return element;
}

enum class Interferograms { kNone, kSample, kBoth };

gamlwriter::Trace trace(const std::string& name, const std::vector<Band>& bands, int scans,
                        Interferograms interferograms) {
  gamlwriter::Trace made;
  made.name = name;
  made.parameters = {
      {"Bench Info", "BenchID", "7"},         {"Bench Info", "Gain", "2.0"},
      {"Bench Info", "Velocity", "0.6329"},   {"Bench Info", "DetectorID", "41"},
      {"Bench Info", "BeamSplitterID", "2"},  {"Bench Info", "SourceID", "2"},
      {"Bench Info", "ADBits", "24"},         {"Bench Info", "HPF", "200"},
      {"Bench Info", "LPF", "11000"},
      {"History", "line1", "Collected " + std::to_string(scans) + " scans at 4 cm-1 resolution"},
      {"History", "line2", "  Background of 64 scans"},
      {"History", "line3", "Converted to absorbance"},
  };
  made.elements.push_back(spectrum_element(bands, scans));
  if (interferograms == Interferograms::kBoth) {
    made.elements.push_back(interferogram_element("Archived Background Interferogram Header", 1.3, 64));
  }
  if (interferograms != Interferograms::kNone) {
    made.elements.push_back(interferogram_element("Archived Sample Interferogram Header", 1.0, scans));
  }
  return made;
}

const std::vector<Band> kFilm = {{3026, 0.35, 8},  {2923, 0.5, 12},  {1601, 0.3, 5},  {1493, 0.6, 6},
                                 {1452, 0.55, 6}, {1028, 0.15, 5}, {756, 0.8, 7},   {698, 1.1, 8}};
const std::vector<Band> kCoating = {{3400, 0.45, 120}, {2930, 0.3, 20}, {1730, 0.9, 12}, {1240, 0.7, 25},
                                    {1150, 0.5, 20}};
const std::vector<Band> kWater = {{3400, 1.2, 180}, {1640, 0.35, 40}, {700, 0.4, 150}};

bool write(const std::string& path, const std::vector<gamlwriter::Experiment>& experiments, const char* name) {
  std::ofstream out(path, std::ios::binary);
  out << gamlwriter::document(experiments, name);
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: gaml_examples FOLDER\n", stderr);
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  gamlwriter::Experiment single;
  single.collectdate = "2026-11-30T14:05:00";
  single.traces = {trace("Polystyrene film", kFilm, 32, Interferograms::kSample)};
  gamlwriter::Experiment series;
  series.collectdate = "2026-12-01T09:30:00";
  series.traces = {trace("Polystyrene film", kFilm, 32, Interferograms::kBoth),
                   trace("Acrylic coating", kCoating, 16, Interferograms::kSample),
                   trace("Water film", kWater, 8, Interferograms::kNone)};
  if (!write(folder + "single_trace.gaml", {single}, "single trace example") ||
      !write(folder + "three_traces.gaml", {series}, "three trace example")) {
    std::fprintf(stderr, "gaml_examples: cannot write into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
