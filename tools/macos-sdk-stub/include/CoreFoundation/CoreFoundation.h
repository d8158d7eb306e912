/*
 * The least of <CoreFoundation/CoreFoundation.h> that smc-charge uses,
 * written from Apple's public CoreFoundation reference: the dictionary
 * reference types of IOKit's matching calls, the calls that read the
 * power-source descriptions (types, arrays, dictionaries, numbers, booleans,
 * constant strings, release), and the run loop of a holder that stays (its
 * timer, the current time, and a file-descriptor source) with the date of
 * a timed wake, each section
 * under the name of the SDK's header that declares it. For the Linux
 * cross-check only; a build on macOS uses the SDK's own header.
 */
#ifndef __COREFOUNDATION_COREFOUNDATION__
#define __COREFOUNDATION_COREFOUNDATION__

/* C++ only, as the helper is; the SDK's header serves C as well. */
extern "C" {

/* CFBase.h */
typedef unsigned char Boolean;
typedef signed long CFIndex;
typedef unsigned long CFTypeID;
typedef const void *CFTypeRef;
typedef const struct __CFString *CFStringRef;
typedef unsigned long CFOptionFlags;
typedef const struct __CFAllocator *CFAllocatorRef;

CFTypeID CFGetTypeID(CFTypeRef cf);
Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2);
/* A null reference is a crash, not a no-op. */
void CFRelease(CFTypeRef cf);

/* CFArray.h */
typedef const struct __CFArray *CFArrayRef;
CFIndex CFArrayGetCount(CFArrayRef theArray);
const void *CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx);

/* CFDictionary.h */
typedef const struct __CFDictionary *CFDictionaryRef;
typedef struct __CFDictionary *CFMutableDictionaryRef;
CFTypeID CFDictionaryGetTypeID(void);
const void *CFDictionaryGetValue(CFDictionaryRef theDict, const void *key);

/* CFNumber.h: CF_ENUM(CFIndex, CFNumberType), a typed enum as in the SDK,
 * with the entry the helper names. */
enum CFNumberType : CFIndex { kCFNumberIntType = 9 };
typedef const struct __CFBoolean *CFBooleanRef;
typedef const struct __CFNumber *CFNumberRef;
CFTypeID CFBooleanGetTypeID(void);
Boolean CFBooleanGetValue(CFBooleanRef boolean);
CFTypeID CFNumberGetTypeID(void);
/* False when the value does not fit the type exactly. */
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void *valuePtr);

/* CFString.h: clang makes constant strings itself where it can, against
 * the class reference that CoreFoundation exports. */
CFTypeID CFStringGetTypeID(void);
CFStringRef __CFStringMakeConstantString(const char *cStr);
#ifdef __CONSTANT_CFSTRINGS__
#define CFSTR(cStr) ((CFStringRef) __builtin___CFStringMakeConstantString("" cStr ""))
#else
#define CFSTR(cStr) __CFStringMakeConstantString("" cStr "")
#endif

/* CFDate.h */
typedef double CFTimeInterval;
typedef CFTimeInterval CFAbsoluteTime;
typedef const struct __CFDate *CFDateRef;
CFAbsoluteTime CFAbsoluteTimeGetCurrent(void);
CFDateRef CFDateCreate(CFAllocatorRef allocator, CFAbsoluteTime at);
CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef theDate);

/* CFRunLoop.h */
typedef CFStringRef CFRunLoopMode;
typedef struct __CFRunLoop *CFRunLoopRef;
typedef struct __CFRunLoopSource *CFRunLoopSourceRef;
typedef struct __CFRunLoopTimer *CFRunLoopTimerRef;
extern const CFRunLoopMode kCFRunLoopDefaultMode;
CFRunLoopRef CFRunLoopGetCurrent(void);
void CFRunLoopRun(void);
void CFRunLoopStop(CFRunLoopRef rl);
/* The run loop retains what is added. */
void CFRunLoopAddSource(CFRunLoopRef rl, CFRunLoopSourceRef source, CFRunLoopMode mode);
void CFRunLoopAddTimer(CFRunLoopRef rl, CFRunLoopTimerRef timer, CFRunLoopMode mode);
typedef struct {
    CFIndex version;
    void *info;
    const void *(*retain)(const void *info);
    void (*release)(const void *info);
    CFStringRef (*copyDescription)(const void *info);
} CFRunLoopTimerContext;
typedef void (*CFRunLoopTimerCallBack)(CFRunLoopTimerRef timer, void *info);
CFRunLoopTimerRef CFRunLoopTimerCreate(CFAllocatorRef allocator, CFAbsoluteTime fireDate,
                                       CFTimeInterval interval, CFOptionFlags flags, CFIndex order,
                                       CFRunLoopTimerCallBack callout, CFRunLoopTimerContext *context);

/* CFFileDescriptor.h: CF_ENUM(CFOptionFlags), a typed enum as in the SDK,
 * with the entry the holder names. */
typedef int CFFileDescriptorNativeDescriptor;
typedef struct __CFFileDescriptor *CFFileDescriptorRef;
enum : CFOptionFlags { kCFFileDescriptorReadCallBack = 1UL << 0 };
typedef void (*CFFileDescriptorCallBack)(CFFileDescriptorRef f, CFOptionFlags callBackTypes, void *info);
typedef struct {
    CFIndex version;
    void *info;
    void *(*retain)(void *info);
    void (*release)(void *info);
    CFStringRef (*copyDescription)(void *info);
} CFFileDescriptorContext;
CFFileDescriptorRef CFFileDescriptorCreate(CFAllocatorRef allocator, CFFileDescriptorNativeDescriptor fd,
                                           Boolean closeOnInvalidate, CFFileDescriptorCallBack callout,
                                           const CFFileDescriptorContext *context);
/* One shot: a callback disables itself until enabled again. */
void CFFileDescriptorEnableCallBacks(CFFileDescriptorRef f, CFOptionFlags callBackTypes);
CFRunLoopSourceRef CFFileDescriptorCreateRunLoopSource(CFAllocatorRef allocator, CFFileDescriptorRef f,
                                                       CFIndex order);
void CFFileDescriptorInvalidate(CFFileDescriptorRef f);

}

#endif /* __COREFOUNDATION_COREFOUNDATION__ */
