// The one place that picks the platform's IOKit and sysctl declarations.
//
// On Apple platforms these are the system's own headers. Everywhere else the
// project's stand-in declares the same names with the same signatures and
// integer widths, so the code that calls them is the same code on both.
#pragma once

#if defined(__APPLE__)
#include <IOKit/IOKitLib.h>
#include <mach/mach.h>
#include <sys/sysctl.h>
#else
#include "platform/iokit.h"
#endif
