# CMake toolchain of the macOS cross-check (scripts/macos-cross-check): builds
# the Apple branch of CMakeLists.txt on Linux, one architecture at a time
# (-DCMAKE_OSX_ARCHITECTURES=arm64 or x86_64), with zig's clang standing in
# for Apple's and tools/macos-sdk-stub standing in for the macOS SDK.
# Never used by a build on macOS.
set(CMAKE_SYSTEM_NAME Darwin)
if(CMAKE_OSX_ARCHITECTURES MATCHES "^(arm64|x86_64)$")
  set(CMAKE_SYSTEM_PROCESSOR "${CMAKE_OSX_ARCHITECTURES}")
else()
  message(FATAL_ERROR "The cross-check builds one architecture at a time: "
                      "-DCMAKE_OSX_ARCHITECTURES=arm64 or x86_64")
endif()

set(CMAKE_CXX_COMPILER "${CMAKE_CURRENT_LIST_DIR}/zig-apple-c++")
set(CMAKE_AR /usr/bin/llvm-ar-14)
set(CMAKE_RANLIB /usr/bin/llvm-ranlib-14)

# The stub SDK: its headers are system headers, as the SDK's are, and its
# frameworks are found as the SDK's would be.
set(_smc_stub "${CMAKE_CURRENT_LIST_DIR}/../macos-sdk-stub")
cmake_path(ABSOLUTE_PATH _smc_stub NORMALIZE)
set(CMAKE_CXX_FLAGS_INIT "-isystem ${_smc_stub}/include")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-F${_smc_stub}/Frameworks")

# Nothing of the build machine is searched.
set(CMAKE_FIND_ROOT_PATH "${_smc_stub}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CMake's own checks compile without linking: each link of a C++ program
# builds zig's libc++ for its target and optimization level once.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
