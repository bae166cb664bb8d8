// Fuzz target of the array text reader: arbitrary bytes are read as an
// array's text form at the start of a file, and then serve as the stored
// reference of a comparison. A text that is read must give a sound array no
// larger than the text can describe, which writes out and reads back with
// the same shape and the same missing values; a refused text leaves the
// file's position where it was. No array outlives its input: the comparison
// deletes the array it is given and the reference it reads, once each.
//
// Seeds (fuzz/corpus/array_text/), CRLF line ends: two_by_three.txt is the
// writer's text of 2 × 3 values 1 to 6; missing.txt holds "#VALUE!" in the
// middle and at the end of a row; short_row.txt has a row of one value where
// the header says two.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "array/array.h"
#include "core/core.h"
#include "files/files.h"
#include "library_home.h"

namespace {

using fuzz::check;
using fuzz::close_and_destroy;
using fuzz::destroy;

AP4_ARRAY* read_text(AP20_FILE* file) {
  uint16_t array_class = AP4_CLASS_ID;
  return ap_result_object<AP4_ARRAY>(GU2_DoMethod_MSG(AP4_MSG_READ_TEXT, &array_class, file));
}

// The array written as text to a scratch file and read back: the same
// shape, missing where the original is missing.
void check_written_back(const AP4_ARRAY* array) {
  const std::string scratch = fuzz::library_home() + "/again.txt";
  AP20_FILE* out = fuzz::opened_file(scratch, AP20_MODE_CREATE);
  check(GU2_DoMethod_MSG(AP4_MSG_WRITE_TEXT, const_cast<AP4_ARRAY*>(array), out) == 1);
  close_and_destroy(out);
  AP20_FILE* in = fuzz::opened_file(scratch, AP20_MODE_READ);
  AP4_ARRAY* again = read_text(in);
  check(again != nullptr && again->rows == array->rows && again->columns == array->columns);
  const float* a = ap4a_GetDataAddress(array);
  const float* b = ap4a_GetDataAddress(again);
  for (uint32_t i = 0; i < array->rows * array->columns; ++i) check(ap1_is_missing(a[i]) == ap1_is_missing(b[i]));
  destroy(again);
  close_and_destroy(in);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz::input_file("text.txt", data, size);
  if (path.empty()) return 0;

  AP20_FILE* file = fuzz::opened_file(path, AP20_MODE_READ);
  if (AP4_ARRAY* array = read_text(file)) {
    const uint32_t rows = array->rows;
    const uint32_t columns = array->columns;
    check(static_cast<int32_t>(rows) > 0 && static_cast<int32_t>(columns) > 0);
    check(uint64_t{rows} * columns == GU3_NumElements_MM(array->data));
    check(uint64_t{rows} * columns * 2 <= size);
    check_written_back(array);
    destroy(array);
  } else {
    check(GU2_DoMethod_MSG(AP20_MSG_POSITION, file, nullptr) == 0);
  }

  check(GU2_DoMethod_MSG(AP20_MSG_REWIND, file, nullptr) == 1);
  AP20_FILE* report = fuzz::opened_file(fuzz::library_home() + "/report.txt", AP20_MODE_CREATE);
  uint16_t array_class = AP4_CLASS_ID;
  AP4_NEWPARM one{nullptr, 1, 1};
  auto* compared = ap_result_object<AP4_ARRAY>(GU2_DoMethod_MSG(AP_MSG_NEW, &array_class, &one));
  check(compared != nullptr);
  int16_t errors = 0;
  AP4_COMPAREPARM parameter{file, &errors, report, "fuzz"};
  const uint32_t equal = GU2_DoMethod_MSG(AP4_MSG_COMPARE_STORED, compared, &parameter);
  check(equal == 1 ? errors == 0 : errors == 1);
  close_and_destroy(report);
  close_and_destroy(file);
  check(APX_GetClassTable()->classes[AP4_CLASS_ID].live == 0);
  return 0;
}
