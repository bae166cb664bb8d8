// Fuzz target for the parameter-set stream reader: arbitrary bytes as the
// stream of a parameter set (u16 owning class, u32 block size, the block),
// read through a file object into a set whose table has number, text, raw
// and choice rows; every value is then written out as text and the set
// validated. The library is loaded once, before the inputs, in a temporary
// home folder, and unloaded at exit.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/core.h"
#include "files/files.h"

namespace {

constexpr uint16_t kSetClass = 200;

#pragma pack(push, 2)
struct IntStep {
  int16_t min, max, step;
};
struct LongList {
  uint16_t n;
  int32_t values[2];
};
struct DoubleStep {
  double min, max, step;
};
#pragma pack(pop)

const IntStep kIntLimits{0, 100, 5};
const LongList kLongLimits{2, {-1, 7}};
const DoubleStep kDoubleLimits{0.0, 1.0, 0.1};

AP13_PARMENTRY g_rows[] = {
    {0, AP13_TYPE_BOOL, 2, AP13_LIMITS_FREE, 0, "TRUE"},  {1, AP13_TYPE_INT, 2, AP13_LIMITS_STEP, 0, "5"},
    {2, AP13_TYPE_LONG, 4, AP13_LIMITS_LIST, 0, "7"},     {3, AP13_TYPE_SINGLE, 4, AP13_LIMITS_FREE, 0, "0.5"},
    {4, AP13_TYPE_DOUBLE, 8, AP13_LIMITS_STEP, 0, "0.2"}, {5, AP13_TYPE_STRING, 12, AP13_LIMITS_FREE, 0, "text"},
    {6, AP13_TYPE_PSTR, 8, AP13_LIMITS_FREE, 0, "ps"},    {7, AP13_TYPE_CARRAY, 4, AP13_LIMITS_NONE, 0, "ABCD"},
    {8, AP13_TYPE_COLOR, 4, AP13_LIMITS_FREE, 0, "1,2,3"}, {9, AP13_TYPE_WORD, 2, AP13_LIMITS_CHOICE, 0, "1"},
    {10, AP13_TYPE_ADDR, 4, AP13_LIMITS_FREE, 0, "0"},
};
constexpr uint16_t kRows = sizeof g_rows / sizeof g_rows[0];
const uint16_t kChoiceGroup = 7001;
std::vector<uint8_t> g_table;
uint32_t g_data_size = 0;

std::string g_path;

void unload() {
  apcom_UnregisterClasses();
  GU1_UnRegister_LL();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char folder[] = "/tmp/gaml2kov-fuzz-XXXXXX";
  if (mkdtemp(folder) == nullptr) std::abort();
  setenv("GAML2KOV_HOME", folder, 1);
  g_path = std::string(folder) + "/stream.bin";
  apcom_RegisterClasses(nullptr);
  GU1_Register_LL();
  std::atexit(unload);
  for (AP13_PARMENTRY& row : g_rows) {
    row.offset = static_cast<uint16_t>(g_data_size);
    g_data_size += row.size;
  }
  g_table.assign(AP13_TableBytes(kRows), 0);
  auto* table = reinterpret_cast<AP13_PARMTABLE*>(g_table.data());
  table->data_size = g_data_size;
  table->one = 1;
  table->count = kRows;
  table->rows = g_rows;
  AP13_TableLimits(table)[1] = &kIntLimits;
  AP13_TableLimits(table)[2] = &kLongLimits;
  AP13_TableLimits(table)[4] = &kDoubleLimits;
  AP13_TableLimits(table)[9] = &kChoiceGroup;
  APX_GetClassTable()->classes[kSetClass].class_data = table;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = g_path;
  std::FILE* stream = std::fopen(path.c_str(), "wb");
  if (stream == nullptr) return 0;
  std::fwrite(data, 1, size, stream);
  std::fclose(stream);

  std::vector<uint8_t> block(g_data_size);
  AP13_PARAMS* part = ap13_Create_PARAMS(AP13_CLASS_ID, kSetClass, nullptr, block.data());
  if (part == nullptr || ap13_Init_PARAMS(part, nullptr) != 1) std::abort();
  uint16_t file_class = AP20_CLASS_ID;
  AP_NEWPARM fresh{AP20_CLASS_ID, nullptr};
  void* file = reinterpret_cast<void*>(static_cast<uintptr_t>(GU2_DoMethod_MSG(AP_MSG_NEW, &file_class, &fresh)));
  AP20_NAMEPARM naming{nullptr, path.c_str()};
  AP20_OPENPARM open{AP20_MODE_READ, 0, 0};
  GU2_DoMethod_MSG(AP20_MSG_SET_NAME, file, &naming);
  if (GU2_DoMethod_MSG(AP20_MSG_OPEN, file, &open) != 1) std::abort();

  AP_READPARM read{static_cast<AP_OBJECT*>(file), 0};
  GU2_DoMethod_MSG(AP_MSG_READ, part, &read);
  char text[AP13_LARGEST_VALUE + 1];
  for (uint16_t index = 0; index < kRows; ++index) {
    GU2_PARMSTR parameter{index, sizeof text, 0xFFFF, text};
    GU2_DoMethod_MSG(GU2_MSG_GET_PARM_STR, part, &parameter);
  }
  GU2_DoMethod_MSG(AP13_MSG_VALIDATE_ALL, part, nullptr);

  AP_WINDOWPARM none{nullptr, 0};
  GU2_DoMethod_MSG(AP_MSG_DESTROY, file, &none);
  if (ap13_Destroy_PARAMS(part, nullptr) != AP_DESTROYED) std::abort();
  return 0;
}
