// Fuzz target of the spectrum's text listing reader: arbitrary bytes are
// read as a listing at the start of a file. A listing that is read must give
// a spectrum of as many points as its count, no more than the file can
// hold, with its first X not above its last; written out and read back it
// keeps its count and its missing values. The spectrum read is then
// compared with itself, which counts once at most, and nothing outlives the
// input.
//
// Seeds (fuzz/corpus/spectrum_listing/), CRLF line ends: falling.txt is the
// writer's listing of three points from X 4000 down to 400 with a missing
// value; rising.txt two points from 400 up; short.txt a count of four over
// two value lines.
#include <cstdint>
#include <string>

#include "array/array.h"
#include "core/core.h"
#include "files/files.h"
#include "library_home.h"
#include "spectrum/spectrum.h"

namespace {

using fuzz::check;
using fuzz::close_and_destroy;
using fuzz::destroy;

AP7_SPECTRUM* read_listing(AP20_FILE* file) {
  uint16_t class_id = AP7_CLASS_ID;
  return ap_result_object<AP7_SPECTRUM>(GU2_DoMethod_MSG(AP7_MSG_READ_TEXT, &class_id, file));
}

uint32_t points_of(const AP7_SPECTRUM* spectrum) { return spectrum->header->data.points; }

// The spectrum written to a scratch file and read back: the same count, a
// value missing where the original's is.
void check_written_back(AP7_SPECTRUM* spectrum) {
  const std::string scratch = fuzz::library_home() + "/again.txt";
  AP20_FILE* out = fuzz::opened_file(scratch, AP20_MODE_CREATE);
  check(GU2_DoMethod_MSG(AP7_MSG_WRITE_TEXT, spectrum, out) == 1);
  close_and_destroy(out);
  AP20_FILE* in = fuzz::opened_file(scratch, AP20_MODE_READ);
  AP7_SPECTRUM* again = read_listing(in);
  check(again != nullptr && points_of(again) == points_of(spectrum));
  const float* a = ap7b_GetDataPtr(spectrum);
  const float* b = ap7b_GetDataPtr(again);
  for (uint32_t i = 0; i < points_of(spectrum); ++i) check(ap1_is_missing(a[i]) == ap1_is_missing(b[i]));
  destroy(again);
  close_and_destroy(in);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz::input_file("listing.txt", data, size);
  if (path.empty()) return 0;

  AP20_FILE* file = fuzz::opened_file(path, AP20_MODE_READ);
  if (AP7_SPECTRUM* spectrum = read_listing(file)) {
    const uint32_t points = points_of(spectrum);
    check(points > 0 && points <= size);
    check(GU3_NumElements_MM(spectrum->data->data) >= points);
    const float first_x = spectrum->header->data.first_x;
    const float last_x = spectrum->header->data.last_x;
    check(!(first_x > last_x));
    check_written_back(spectrum);

    AP20_FILE* report = fuzz::opened_file(fuzz::library_home() + "/report.txt", AP20_MODE_CREATE);
    uint16_t errors = 0;
    AP7_COMPAREPARM parameter{spectrum, &errors, report, "fuzz"};
    const uint32_t equal = GU2_DoMethod_MSG(AP7_MSG_COMPARE_STORED, spectrum, &parameter);
    check(equal == 1 ? errors == 0 : errors == 1);
    close_and_destroy(report);
    destroy(spectrum);
  }
  close_and_destroy(file);
  check(APX_GetClassTable()->classes[AP7_CLASS_ID].live == 0);
  return 0;
}
