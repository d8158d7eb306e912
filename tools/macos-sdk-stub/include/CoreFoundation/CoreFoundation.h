/*
 * The least of <CoreFoundation/CoreFoundation.h> that smc-charge uses,
 * written from Apple's public CoreFoundation reference: the two dictionary
 * reference types in IOKit's matching calls. For the Linux cross-check only;
 * a build on macOS uses the SDK's own header.
 */
#ifndef __COREFOUNDATION_COREFOUNDATION__
#define __COREFOUNDATION_COREFOUNDATION__

typedef const struct __CFDictionary *CFDictionaryRef;
typedef struct __CFDictionary *CFMutableDictionaryRef;

#endif /* __COREFOUNDATION_COREFOUNDATION__ */
