// One reference to a CoreFoundation object, dropped however its owner's
// scope ends: a throw in the stand-in, or an early return, included.
#pragma once

#include <memory>
#include <type_traits>

#include "smc/platform.h"

/// Drops the reference that it holds.
struct CFReleaser {
  void operator()(CFTypeRef object) const { CFRelease(object); }
};

/// One reference of the CoreFoundation reference type `Ref`.
template <class Ref>
using CFOwned = std::unique_ptr<std::remove_pointer_t<Ref>, CFReleaser>;
