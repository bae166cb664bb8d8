// Bulk content of a GAML trace: the Y values of an element's child stored in
// a spectrum (in ascending X order), the first and last X value and the X
// unit of an element, the reader's unit codes as the header's, and the lines
// of the trace's "History" sections joined into the spectrum's history. The
// trace import and the Spectrum Header import call these.
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "converter/importjob.h"

namespace converter {
namespace {

constexpr char16_t kHistory[] = u"History";
constexpr uint32_t kOtherUnits = 8;

// Reader unit codes whose header unit is not "other" (8); one table serves X
// and Y units alike.
constexpr std::pair<LONG, uint32_t> kUnitCodes[] = {
    {0, 40},  {1, 17},  {12, 103}, {14, 25}, {24, 20}, {26, 12}, {30, 9},  {32, 24}, {34, 4},  {41, 9},
    {48, 3},  {52, 13}, {54, 32},  {55, 21}, {56, 6},  {57, 23}, {58, 16}, {59, 22}, {61, 1},
};

// The data of a one-dimensional array of 4-byte floats or 8-byte doubles,
// accessed while the view lives. Any other array is not readable.
class ArrayView {
 public:
  explicit ArrayView(const VARIANT& values) {
    if ((values.vt & VT_ARRAY) == 0 || values.parray == nullptr || SafeArrayGetDim(values.parray) < 1) return;
    array_ = values.parray;
    element_size_ = SafeArrayGetElemsize(array_);
    locked_ = SafeArrayAccessData(array_, &data_);
  }
  ArrayView(const ArrayView&) = delete;
  ArrayView& operator=(const ArrayView&) = delete;
  ~ArrayView() {
    if (SUCCEEDED(locked_)) SafeArrayUnaccessData(array_);
  }

  bool is_array() const { return array_ != nullptr; }
  HRESULT locked() const { return locked_; }
  bool readable() const {
    return SUCCEEDED(locked_) && (element_size_ == sizeof(float) || element_size_ == sizeof(double));
  }
  ULONG count() const { return array_->rgsabound[0].cElements; }
  float at(ULONG i) const {
    if (element_size_ == sizeof(float)) return floats()[i];
    return static_cast<float>(static_cast<const double*>(data_)[i]);
  }
  // The values as stored, when they are floats. The reader lends them: they
  // are read, never written.
  const float* floats() const {
    return element_size_ == sizeof(float) ? static_cast<const float*>(data_) : nullptr;
  }

 private:
  SAFEARRAY* array_ = nullptr;
  UINT element_size_ = 0;
  void* data_ = nullptr;
  HRESULT locked_ = E_FAIL;
};

}  // namespace

uint32_t CGamlImportJob::MapUnitCode(LONG code) {
  for (const auto& [reader, header] : kUnitCodes) {
    if (reader == code) return header;
  }
  return kOtherUnits;
}

HRESULT CGamlImportJob::GetChild(IGamlTrace* trace, LONG index, LONG child, ComRef<IGamlChild>* out) {
  ComRef<IGamlElement> element;
  HRESULT result = GetElement(trace, index, &element);
  ComRef<IGamlChildList> children;
  if (SUCCEEDED(result)) result = element->get_Children(children.out());
  if (SUCCEEDED(result)) result = children->Item(child, out->out());
  return result;
}

// Only the first and the last X value are used. An empty X array has
// neither: the caller's values stay.
HRESULT CGamlImportJob::GetXRange(IGamlTrace* trace, LONG index, float* first_x, float* last_x, uint32_t* x_units) {
  if (trace == nullptr || first_x == nullptr || last_x == nullptr || x_units == nullptr) return E_FAIL;
  ComRef<IGamlChild> child;
  ComRef<IGamlCollection> x_collection;
  ComRef<IDispatch> item;
  ComRef<IGamlValues> x_values;
  LONG unit = 0;
  HRESULT result = GetChild(trace, index, 0, &child);
  if (SUCCEEDED(result)) result = child->get_XValues(x_collection.out());
  VARIANT first;
  SetVariantLong(&first, 0);
  if (SUCCEEDED(result)) result = x_collection->Item(first, item.out());
  if (SUCCEEDED(result)) result = item->QueryInterface(IID_IGamlValues, reinterpret_cast<void**>(x_values.out()));
  if (SUCCEEDED(result)) result = x_values->get_Units(&unit);
  if (FAILED(result)) {
    *first_x = *last_x = 0.0f;
    return result;
  }
  *x_units = MapUnitCode(unit);
  Variant values;
  if (FAILED(x_values->get_Values(values.get()))) return E_FAIL;
  const ArrayView array(*values);
  if (!array.is_array()) return E_FAIL;
  if (!array.readable() || array.count() == 0) return SUCCEEDED(array.locked()) ? E_FAIL : array.locked();
  *first_x = array.at(0);
  *last_x = array.at(array.count() - 1);
  return array.locked();
}

// The spectrum takes as many points as there are Y values, in ascending X
// order. An array of no values, or of elements that are neither floats nor
// doubles, is refused.
HRESULT CGamlImportJob::ImportData(IGamlTrace* trace, CApSpectrum* spectrum, LONG index, LONG child) {
  if (trace == nullptr || spectrum == nullptr || index < 0 || index > kLastElement || child < 0) return E_FAIL;
  ComRef<IGamlChild> found;
  ComRef<IGamlValues> y_values;
  LONG unit = 0;
  HRESULT result = GetChild(trace, index, child, &found);
  if (SUCCEEDED(result)) result = found->get_Values(y_values.out());
  if (SUCCEEDED(result)) result = y_values->get_Units(&unit);
  if (FAILED(result)) return result;
  y_units_ = MapUnitCode(unit);
  Variant values;
  if (FAILED(y_values->get_Values(values.get()))) return E_FAIL;
  const ArrayView array(*values);
  if (!array.is_array()) return E_FAIL;
  float first_x = 0.0f;
  float last_x = 0.0f;
  uint32_t x_units = 0;
  GetXRange(trace, index, &first_x, &last_x, &x_units);
  if (!array.readable() || array.count() == 0) return E_FAIL;
  const ULONG count = array.count();
  const bool descending = first_x > last_x;
  // Floats go to the spectrum straight from the array, turned round on the
  // way when X descends; doubles are narrowed (and turned round) in a buffer
  // first.
  if (const float* floats = array.floats()) {
    const bool stored = descending ? spectrum->SetReversedData(floats, count) : spectrum->SetScaledData(floats, count, 1.0);
    return stored ? S_OK : E_FAIL;
  }
  std::unique_ptr<float[]> buffer(new (std::nothrow) float[count]);
  if (buffer == nullptr) return E_FAIL;
  for (ULONG j = 0; j < count; ++j) buffer[descending ? count - 1 - j : j] = array.at(j);
  return spectrum->SetScaledData(buffer.get(), count, 1.0) ? S_OK : E_FAIL;
}

// Lines are joined with "\r\n" inside a section and with nothing between
// sections; a line that follows a non-empty one is set off by "\t " unless
// it is empty or starts with two blanks itself.
HRESULT CGamlImportJob::ImportHistory(IGamlTrace* trace, CApSpectrum* spectrum) {
  if (trace == nullptr || spectrum == nullptr) return E_FAIL;
  Bstr names;
  HRESULT last = trace->get_SectionNames(names.out());
  if (FAILED(last)) return last;
  LONG sections = 0;
  CountNames(names.get(), &sections);
  std::u16string text;
  bool previous_empty = true;
  for (LONG n = 1; n <= sections; ++n) {
    Bstr name;
    GetNthName(names.get(), n, &name);
    if (name.text() != kHistory) continue;
    ComRef<IGamlCollection> section;
    LONG count = 0;
    last = trace->get_Section(name.get(), section.out());
    if (SUCCEEDED(last)) last = section->get_Count(&count);
    if (FAILED(last)) continue;
    for (LONG j = 0; j < count; ++j) {
      ComRef<IGamlParameter> parameter;
      Bstr value;
      last = ParameterAt(section.get(), j, &parameter);
      if (SUCCEEDED(last)) last = parameter->get_Value(value.out());
      if (FAILED(last)) continue;
      const std::u16string line = value.text();
      if (!line.empty() && line.compare(0, 2, u"  ") != 0 && !previous_empty) text += u"\t ";
      text += line;
      if (j != count - 1) text += u"\r\n";
      previous_empty = line.empty();
    }
  }
  if (text.empty() || FAILED(last)) return E_FAIL;
  spectrum->ClearHistory();
  return spectrum->AppendHistory(text) ? S_OK : E_FAIL;
}

}  // namespace converter
