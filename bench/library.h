// The library as its shared module's start-up leaves it (classes
// registered, then the main list heap), for the benchmarks that make
// accessory objects; undone when the scope ends.
#pragma once
#include "core/core.h"

struct Library {
  Library() {
    apcom_RegisterClasses(apcom_LibraryModule());
    GU1_Register_LL();
  }
  ~Library() {
    GU1_UnRegister_LL();
    apcom_UnregisterClasses();
  }
};
