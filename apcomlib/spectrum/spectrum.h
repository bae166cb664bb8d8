// Spectrum model: the records every spectrum carries and the classes that
// keep them (title, spectral header, annotation, history bits), declared for
// the spectrum class and the native file layer.
#pragma once
#include <cstdint>

#include "array/array.h"
#include "core/core.h"

// ---------------------------------------------------------------------------
// Title (class 43)

// ---------------------------------------------------------------------------
// Spectral header (class 41)

// ---------------------------------------------------------------------------
// History bits

// ---------------------------------------------------------------------------
// Annotation (class 34)
