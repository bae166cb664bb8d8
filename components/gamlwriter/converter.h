// The GAML export converter object (converter.cpp) as the module's exports
// (module.cpp) reach it: the module's lock count and the creator of a
// converter object for the class factory.
#pragma once
#include "platform/com.h"

namespace gamlexport {

// The lock count of this module: every live object holds one.
platform::ComModule& module();

// A new converter object answering `iid`.
HRESULT create_converter(REFIID iid, void** object);

}  // namespace gamlexport
