// The IOKit and sysctl stand-in: forwards each call to the attached machine.
//
// With no machine attached, nothing matches "AppleSMC", so the helper answers
// truthfully as on a Mac without the driver, and the architecture comes from
// the kernel that runs the process.
//
// On a Mac, mach_task_self_ and sysctlbyname below take the place of the
// system's within the program that links the stand-in (the linker takes a
// program's own definition before a library's), so that smc-emu's --arch
// holds there too; the system's code inside libraries keeps the system's.

#include <sys/utsname.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "platform/attached_machine.h"
#include "platform/standin/cf_objects.h"
#include "platform/standin/iokit.h"

extern "C" {

const mach_port_t kIOMainPortDefault = 0;
mach_port_t mach_task_self_ = 0x103;

// The key under which a matching dictionary names the class, as on macOS.
constexpr std::string_view kProviderClass = "IOProviderClass";

CFMutableDictionaryRef IOServiceMatching(const char* name) {
  if (name == nullptr) return nullptr;
  // The key is one constant string for the whole run, as on macOS. Every
  // connection asks for the class "AppleSMC", and the stand-in should cost a
  // run no more than it must: its dictionary is made once and handed out with
  // a reference each time, which the lookup takes over as it would a new one.
  static const CFStringRef key = CFStandinConstantString(kProviderClass.data());
  if (std::strcmp(name, "AppleSMC") == 0) {
    static CFStandinObject* const smc = [] {
      CFStandinObject* matching = platform::cf::makeDictionary(
          platform::cf::retain(key), platform::cf::retain(CFStandinConstantString("AppleSMC"))).release();
      matching->constant = true;
      return matching;
    }();
    return platform::cf::retain(smc).release();
  }
  return platform::cf::makeDictionary(platform::cf::retain(key), platform::cf::makeString(name)).release();
}

io_service_t IOServiceGetMatchingService(mach_port_t mainPort, CFDictionaryRef matching) {
  // The call takes over the dictionary, as on macOS.
  if (matching == nullptr) return 0;
  // cppcheck-suppress unreadVariable ; releases the dictionary however the call ends
  const platform::cf::Owned owned(const_cast<CFMutableDictionaryRef>(matching));  // NOLINT(*-const-cast)
  platform::Machine* machine = platform::attachedMachine();
  if (machine == nullptr || mainPort != kIOMainPortDefault) return 0;
  const auto className = platform::cf::textOf(platform::cf::valueFor(matching, kProviderClass));
  return className ? machine->matchService(*className) : 0;
}

kern_return_t IOServiceOpen(io_service_t service, task_port_t owningTask, uint32_t type,
                            io_connect_t* connect) {
  platform::Machine* machine = platform::attachedMachine();
  if (machine == nullptr || connect == nullptr) return kIOReturnBadArgument;
  return machine->openService(service, owningTask, type, connect);
}

kern_return_t IOObjectRelease(io_object_t object) {
  platform::Machine* machine = platform::attachedMachine();
  return machine == nullptr ? kIOReturnBadArgument : machine->releaseObject(object);
}

kern_return_t IORegistryEntryCreateCFProperties(io_registry_entry_t entry, CFMutableDictionaryRef* properties,
                                                CFAllocatorRef allocator, IOOptionBits options) {
  platform::Machine* machine = platform::attachedMachine();
  // Only the default allocator and no option, as the helper asks.
  if (machine == nullptr || properties == nullptr || allocator != nullptr || options != 0) {
    return kIOReturnBadArgument;
  }
  return machine->createProperties(entry, properties);
}

kern_return_t IOServiceClose(io_connect_t connect) {
  platform::Machine* machine = platform::attachedMachine();
  return machine == nullptr ? kIOReturnBadArgument : machine->closeConnection(connect);
}

kern_return_t IOConnectCallStructMethod(mach_port_t connection, uint32_t selector,
                                        const void* inputStruct, size_t inputStructCnt,
                                        void* outputStruct, size_t* outputStructCnt) {
  platform::Machine* machine = platform::attachedMachine();
  if (machine == nullptr) return kIOReturnNotOpen;
  return machine->callStructMethod(connection, selector, inputStruct, inputStructCnt,
                                   outputStruct, outputStructCnt);
}

// cppcheck-suppress constParameter ; the platform's own signature
int sysctlbyname(const char* name, void* oldp, size_t* oldlenp, void* newp, size_t newlen) {
  if (name == nullptr || oldlenp == nullptr || newp != nullptr || newlen != 0) {
    errno = EINVAL;
    return -1;
  }
  std::optional<int> value;
  if (platform::Machine* machine = platform::attachedMachine(); machine != nullptr) {
    value = machine->sysctlInteger(name);
  } else if (std::strcmp(name, "hw.optional.arm64") == 0) {
    utsname host{};
    // Linux names the architecture aarch64, macOS arm64.
    value = (uname(&host) == 0 && (std::strcmp(host.machine, "aarch64") == 0 ||
                                   std::strcmp(host.machine, "arm64") == 0))
                ? 1
                : 0;
  }
  if (!value) {
    errno = ENOENT;
    return -1;
  }
  if (oldp == nullptr) {
    *oldlenp = sizeof(int);
    return 0;
  }
  if (*oldlenp < sizeof(int)) {
    errno = ENOMEM;
    return -1;
  }
  std::memcpy(oldp, &*value, sizeof(int));
  *oldlenp = sizeof(int);
  return 0;
}

}  // extern "C"

namespace platform {

namespace {
Machine* attached = nullptr;
}  // namespace

void attachMachine(Machine* machine) { attached = machine; }

Machine* attachedMachine() { return attached; }

}  // namespace platform
