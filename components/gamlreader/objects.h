// The GAML reader's COM objects (objects.cpp) as the module's exports
// (module.cpp) reach them: the module's lock count and the creator of a
// reader object for the class factory.
#pragma once
#include "platform/com.h"

namespace gamlreader {

// The lock count of this module: every live object holds one.
platform::ComModule& module();

// A new, empty reader object answering `iid`.
HRESULT create_reader(REFIID iid, void** object);

}  // namespace gamlreader
