// Fuzz target for the stream readers of the quality-check classes:
// arbitrary bytes as a stored settings (SQ, class 120) or results (SQR,
// class 121) record (u16 owning class, u32 block size, the block), read
// through a file object into a new object of each class; what was read is
// then upgraded (settings), written out as text value by value, reported
// and destroyed. The library is loaded once, before the inputs, in a
// temporary home folder, and unloaded at exit.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/core.h"
#include "files/files.h"
#include "processing/processing.h"

namespace {

std::string g_path;
HWND const kWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(1));

void unload() {
  apcom_UnregisterClasses();
  GU1_UnRegister_LL();
}

void* read_as(uint16_t class_id, uint16_t parameters) {
  uint16_t file_class = AP20_CLASS_ID;
  AP_NEWPARM fresh{AP20_CLASS_ID, nullptr};
  void* file = reinterpret_cast<void*>(static_cast<uintptr_t>(GU2_DoMethod_MSG(AP_MSG_NEW, &file_class, &fresh)));
  AP20_NAMEPARM naming{nullptr, g_path.c_str()};
  AP20_OPENPARM open{AP20_MODE_READ, 0, 0};
  GU2_DoMethod_MSG(AP20_MSG_SET_NAME, file, &naming);
  if (GU2_DoMethod_MSG(AP20_MSG_OPEN, file, &open) != 1) std::abort();
  AP_READPARM read{static_cast<AP_OBJECT*>(file), 1};
  void* object = reinterpret_cast<void*>(static_cast<uintptr_t>(GU2_DoMethod_MSG(AP_MSG_READ, &class_id, &read)));
  if (object != nullptr) {
    char text[AP13_LARGEST_VALUE + 1];
    for (uint16_t index = 0; index < parameters; ++index) {
      GU2_PARMSTR parameter{index, sizeof text, 0xFFFF, text};
      GU2_DoMethod_MSG(GU2_MSG_GET_PARM_STR, object, &parameter);
    }
  }
  AP_WINDOWPARM none{nullptr, 0};
  GU2_DoMethod_MSG(AP_MSG_DESTROY, file, &none);
  return object;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char folder[] = "/tmp/gaml2kov-fuzz-XXXXXX";
  if (mkdtemp(folder) == nullptr) std::abort();
  setenv("GAML2KOV_HOME", folder, 1);
  g_path = std::string(folder) + "/stream.bin";
  apcom_RegisterClasses(apcom_LibraryModule());
  GU1_Register_LL();
  std::atexit(unload);
  ap121_LoadAccessories();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::FILE* stream = std::fopen(g_path.c_str(), "wb");
  if (stream == nullptr) return 0;
  std::fwrite(data, 1, size, stream);
  std::fclose(stream);

  AP_WINDOWPARM none{nullptr, 0};
  if (void* settings = read_as(AP120_CLASS_ID, AP120_PARM_COUNT)) {
    if (GU2_DoMethod_MSG(AP_MSG_DESTROY, settings, &none) != AP_DESTROYED) std::abort();
  }
  if (void* result = read_as(AP121_CLASS_ID, AP121_PARM_COUNT)) {
    uint16_t text_class = AP48_CLASS_ID;
    AP_WINDOWPARM window{nullptr, 0};
    void* text = reinterpret_cast<void*>(static_cast<uintptr_t>(GU2_DoMethod_MSG(AP_MSG_NEW, &text_class, &window)));
    AP121_REPORTPARM report{static_cast<AP48_TEXT*>(text), kWindow};
    if (GU2_DoMethod_MSG(AP121_MSG_REPORT, result, &report) != 0) GU2_DoMethod_MSG(AP_MSG_DESTROY, text, &none);
    for (int16_t message : {int16_t{4}, int16_t{83}, int16_t{-1}}) {
      GU2_DoMethod_MSG(AP121_MSG_MESSAGE_TEXT, result, &message);
      GU2_DoMethod_MSG(AP121_MSG_MESSAGE_HELP, result, &message);
    }
    if (GU2_DoMethod_MSG(AP_MSG_DESTROY, result, &none) != AP_DESTROYED) std::abort();
  }
  return 0;
}
