// The accessory library around one fuzz input: loaded as its shared
// module's start-up loads it, then released with every class, block and
// list node, and the dispatcher and class tables cleared, so that no input
// finds what another one left.
#pragma once
#include <cstring>

#include "core/core.h"

namespace fuzz {

inline bool load_library() { return apcom_RegisterClasses(apcom_LibraryModule()) == 1 && GU1_Register_LL() == 1; }

inline void release_library() {
  GU1_UnRegister_LL();
  apcom_UnregisterClasses();
  GU3_Unregister();
  for (uint16_t class_id = 1; class_id <= AP_CLASS_LIMIT; ++class_id) GU2_ImmedSetDispatcher(class_id, nullptr);
  std::memset(APX_GetClassTable(), 0, sizeof(APX_CLASSTABLE));
}

}  // namespace fuzz
