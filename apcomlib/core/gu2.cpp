// Message layer: the dispatcher table and the one call through which every
// accessory object is reached.
//
// Owns the process-wide table of class dispatchers, indexed by class id.
// GU2_DoMethod_MSG reads the class id at the start of an object and calls
// the dispatcher of that class; class registration fills the table through
// the setters; every class and caller of the library sends its messages here.
// The four parameter wrappers build the blocks of messages 40 to 43 for the
// parameter-table classes.
#include <cstring>

#include "core/core.h"
#include "platform/memory.h"
#include "platform/modules.h"

namespace {

// Room for ids 0 to 251; messages go to ids below 250, the setters take 1 to 250.
AP_DISPATCHER g_dispatchers[252];

constexpr uint16_t kLastSettableId = 250;

bool gu2_settable(uint16_t class_id) { return class_id != 0 && class_id <= kLastSettableId; }

bool gu2_callable(AP_DISPATCHER dispatcher) {
  return dispatcher != nullptr && !IsBadCodePtr(reinterpret_cast<FARPROC>(dispatcher));
}

int16_t gu2_send_parameter_message(uint16_t message, void* object, void* block) {
  return static_cast<int16_t>(GU2_DoMethod_MSG(message, object, block));
}

}  // namespace

uint16_t gu2_ClassIdOf(const void* object) {
  if (IsBadReadPtr(object, sizeof(uint16_t))) return 0;
  uint16_t class_id;
  std::memcpy(&class_id, object, sizeof class_id);
  return class_id;
}

APEXPORT uint32_t GU2_DoMethod_MSG(int32_t message, void* object, void* parameter) {
  // A number no dispatcher can be given is refused rather than cut to 16 bits.
  if (message < 0 || message > 0xFFFF || IsBadReadPtr(object, sizeof(uint16_t))) return 0;
  const uint16_t class_id = gu2_ClassIdOf(object);
  if (class_id >= AP_CLASS_LIMIT || !gu2_callable(g_dispatchers[class_id])) return 0;
  return g_dispatchers[class_id](object, static_cast<uint16_t>(message), parameter);
}

APEXPORT AP_DISPATCHER GU2_GetDispatcher(uint16_t class_id) {
  return gu2_settable(class_id) ? g_dispatchers[class_id] : nullptr;
}

APEXPORT AP_DISPATCHER GU2_ImmedSetDispatcher(uint16_t class_id, AP_DISPATCHER dispatcher) {
  if (!gu2_settable(class_id)) return nullptr;
  AP_DISPATCHER previous = g_dispatchers[class_id];
  g_dispatchers[class_id] = dispatcher;
  return previous;
}

APEXPORT AP_DISPATCHER GU2_SetDispatcher(uint16_t class_id, HMODULE module, const char* exported_name) {
  return GU2_ImmedSetDispatcher(class_id, reinterpret_cast<AP_DISPATCHER>(GetProcAddress(module, exported_name)));
}

APEXPORT uint16_t GU2_IsValidClassID_MSG(uint16_t class_id) {
  return class_id < AP_CLASS_LIMIT && gu2_callable(g_dispatchers[class_id]) ? 1 : 0;
}

APEXPORT int16_t GU2_GetParmValue_MSG(void* object, uint16_t index, void* value) {
  GU2_PARMVALUE block{index, value, 0};
  return gu2_send_parameter_message(GU2_MSG_GET_PARM_VALUE, object, &block);
}

APEXPORT int16_t GU2_SetParmValue_MSG(void* object, uint16_t index, void* value) {
  GU2_PARMVALUE block{index, value, 0};
  return gu2_send_parameter_message(GU2_MSG_SET_PARM_VALUE, object, &block);
}

APEXPORT int16_t GU2_GetParmStrValue_MSG(void* object, uint16_t index, char* buffer, uint16_t size,
                                         uint16_t precision) {
  GU2_PARMSTR block{index, size, precision, buffer};
  return gu2_send_parameter_message(GU2_MSG_GET_PARM_STR, object, &block);
}

APEXPORT int16_t GU2_SetParmStrValue_MSG(void* object, uint16_t index, const char* text) {
  GU2_PARMSTRSET block{index, text, 0};
  return gu2_send_parameter_message(GU2_MSG_SET_PARM_STR, object, &block);
}
