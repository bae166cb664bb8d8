// Typed parameter accessors.
//
// Callers anywhere in the library read and write one parameter of a
// parameter-set object through a pair of functions per value type rather
// than building the blocks of messages 40 and 41 themselves. Each accessor
// first checks the object, the index, the caller's memory and the
// parameter's type, reports a failed check with the assertion box and sends
// nothing then. The module also answers whether an object carries a
// parameter-table part at all. It keeps no state.
#include "core/core.h"
#include "platform/memory.h"

namespace {

// Type codes the address pair is checked against, each exactly, in this order.
constexpr uint16_t kAddressTypes[] = {
    AP13_TYPE_ADDR,           AP13_TYPE_AP4ADDR,        AP13_TYPE_STSTRARRAY,       AP13_TYPE_GU3MEMFLOATADDR,
    AP13_TYPE_GU3MEMBOOLADDR, AP13_TYPE_GU3MEMWORDADDR, AP13_TYPE_GU3MEMLONGADDR,   AP13_TYPE_GU3MEMDWORDADDR,
    AP13_TYPE_GU3MEMDOUBLEADDR};

// The module's source and version, as the assertion box names them.
constexpr char kSource[] = "gu2_access.cpp 1.0";

// Steps 1 to 3 of the check: an object with a parameter part that has the index.
bool gu2b_has_parameter(void* object, uint16_t index) {
  if (object == nullptr || !GU2_IsAP13Child(object)) return false;
  uint16_t count = 0;
  return GU2_DoMethod_MSG(AP13_MSG_GET_PARM_COUNT, object, &count) != 0 && index < count;
}

uint32_t gu2b_ask_row(void* object, uint16_t message, uint16_t index) {
  return GU2_DoMethod_MSG(message, object, &index);
}

// The check with the memory probed over `probe_bytes`, apart from the size
// another type must fit in.
int16_t gu2b_check(void* object, uint16_t index, const void* value, uint32_t probe_bytes, uint16_t size,
                   uint16_t type_code, int16_t allow_other_types, int16_t read) {
  if (value == nullptr || !gu2b_has_parameter(object, index)) return 0;
  const bool bad_memory =
      read ? IsBadReadPtr(value, probe_bytes) : IsBadWritePtr(const_cast<void*>(value), probe_bytes);
  if (bad_memory) return 0;
  if (gu2b_ask_row(object, AP13_MSG_GET_PARM_TYPE, index) == type_code) return 1;
  return allow_other_types && gu2b_ask_row(object, AP13_MSG_GET_PARM_SIZE, index) <= size ? 1 : 0;
}

// What one accessor is checked with.
struct Access {
  const char* name;
  int16_t line;
  uint16_t size;
  uint16_t type_code;
  uint16_t flags;
};

int16_t gu2b_refuse(const Access& access) {
  if (access.flags & GU2_ACCESS_BOX) GU5_Assert(kSource, access.name, access.line);
  return 0;
}

int16_t gu2b_send(void* object, uint16_t index, const void* value, int16_t read) {
  void* block_value = const_cast<void*>(value);
  return read ? GU2_SetParmValue_MSG(object, index, block_value) : GU2_GetParmValue_MSG(object, index, block_value);
}

// A get (read 0) or a set (read 1). A get that asks for the whole row probes
// the caller's memory over the row's size, since that is what message 40
// writes into it.
int16_t gu2b_access(void* object, uint16_t index, const void* value, int16_t read, const Access& access) {
  uint32_t probe_bytes = access.size;
  if ((access.flags & GU2_ACCESS_WHOLE_ROW) && !read && gu2b_has_parameter(object, index)) {
    const uint32_t row_bytes = gu2b_ask_row(object, AP13_MSG_GET_PARM_SIZE, index);
    if (row_bytes > probe_bytes) probe_bytes = row_bytes;
  }
  if (!gu2b_check(object, index, value, probe_bytes, access.size, access.type_code, 1, read))
    return gu2b_refuse(access);
  return gu2b_send(object, index, value, read);
}

int16_t gu2b_address(void* object, uint16_t index, const void* value, int16_t read, const Access& access) {
  for (uint16_t type_code : kAddressTypes) {
    if (GU2_CheckParmExRW_MSG(object, index, value, access.size, type_code, 0, read))
      return gu2b_send(object, index, value, read);
  }
  return gu2b_refuse(access);
}

int16_t gu2b_byte_array(void* object, uint16_t size, uint16_t index, const void* value, int16_t read,
                        const Access& access) {
  if (size == 0) return gu2b_refuse(access);
  const Access sized{access.name, access.line, size, AP13_TYPE_CARRAY, access.flags};
  return gu2b_access(object, index, value, read, sized);
}

}  // namespace

// A parameter part always hangs from its root part; one without is no child.
APEXPORT int16_t GU2_IsAP13Child(const void* object) {
  const AP13_PARAMS* part = ap13_FindParamsPart(object);
  return part != nullptr && part->head.parent != nullptr ? 1 : 0;
}

APEXPORT int16_t GU2_CheckParmExRW_MSG(void* object, uint16_t index, const void* value, uint16_t size,
                                       uint16_t type_code, int16_t allow_other_types, int16_t read) {
  return gu2b_check(object, index, value, size, size, type_code, allow_other_types, read);
}

APEXPORT int16_t GU2_CheckParmEx_MSG(void* object, uint16_t index, const void* value, uint16_t size,
                                     uint16_t type_code, int16_t allow_other_types) {
  return GU2_CheckParmExRW_MSG(object, index, value, size, type_code, allow_other_types, 1);
}

APEXPORT int16_t GU2_CheckParm_MSG(void* object, uint16_t index, const void* value, uint16_t size,
                                   uint16_t type_code) {
  return GU2_CheckParmEx_MSG(object, index, value, size, type_code, 1);
}

#define GU2B_DEFINE_TYPED_ACCESSORS(Type, ValueType, size, type_code, get_flags, set_flags)            \
  APEXPORT int16_t GU2_##Type##GetParmValue_MSG(void* object, uint16_t index, ValueType* value) {         \
    return gu2b_access(object, index, value, 0,                                                            \
                       Access{"GU2_" #Type "GetParmValue_MSG", __LINE__, size, type_code, get_flags});   \
  }                                                                                                        \
  APEXPORT int16_t GU2_##Type##SetParmValue_MSG(void* object, uint16_t index, ValueType const* value) {   \
    return gu2b_access(object, index, value, 1,                                                            \
                       Access{"GU2_" #Type "SetParmValue_MSG", __LINE__, size, type_code, set_flags});   \
  }
GU2_TYPED_ACCESSORS(GU2B_DEFINE_TYPED_ACCESSORS)
#undef GU2B_DEFINE_TYPED_ACCESSORS

APEXPORT int16_t GU2_AddrGetParmValue_MSG(void* object, uint16_t index, uint32_t* value) {
  return gu2b_address(object, index, value, 0, Access{"GU2_AddrGetParmValue_MSG", __LINE__, 4, 0, GU2_ACCESS_BOX});
}

APEXPORT int16_t GU2_AddrSetParmValue_MSG(void* object, uint16_t index, const uint32_t* value) {
  return gu2b_address(object, index, value, 1, Access{"GU2_AddrSetParmValue_MSG", __LINE__, 4, 0, GU2_ACCESS_BOX});
}

APEXPORT int16_t GU2_CArrayGetParmValue_MSG(void* object, uint16_t size, uint16_t index, void* value) {
  return gu2b_byte_array(object, size, index, value, 0,
                         Access{"GU2_CArrayGetParmValue_MSG", __LINE__, 0, 0, GU2_ACCESS_BOX});
}

APEXPORT int16_t GU2_CArraySetParmValue_MSG(void* object, uint16_t size, uint16_t index, const void* value) {
  return gu2b_byte_array(object, size, index, value, 1,
                         Access{"GU2_CArraySetParmValue_MSG", __LINE__, 0, 0, GU2_ACCESS_BOX});
}
