# Cross-building for 64-bit Windows with Debian's mingw-w64. The posix thread model is the one
# with std::thread, std::mutex and std::condition_variable. Libraries come from the sysroot that
# buildDeps.sh fills (QUILLON_WIN_SYSROOT, by default <build folder>/sysroot) and from Debian's
# mingw packages; programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUILLON_WIN_HOST x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUILLON_WIN_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLON_WIN_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLON_WIN_HOST}-windres)
set(CMAKE_AR ${QUILLON_WIN_HOST}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${QUILLON_WIN_HOST}-gcc-ranlib-posix CACHE FILEPATH "")

if(NOT QUILLON_WIN_SYSROOT)
    set(QUILLON_WIN_SYSROOT ${CMAKE_BINARY_DIR}/sysroot)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUILLON_WIN_SYSROOT)

set(CMAKE_FIND_ROOT_PATH ${QUILLON_WIN_SYSROOT} /usr/${QUILLON_WIN_HOST})
set(CMAKE_PREFIX_PATH ${QUILLON_WIN_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static libraries only: one executable with nothing to ship beside it. (The platform's
# defaults put import libraries first again after this file: projects set
# CMAKE_FIND_LIBRARY_SUFFIXES themselves.)
set(ZLIB_USE_STATIC_LIBS ON)

# pkg-config sees the sysroot alone, and --static so that private dependencies are linked too.
set(PKG_CONFIG_EXECUTABLE ${CMAKE_CURRENT_LIST_DIR}/pkg-config.sh CACHE FILEPATH "")
set(ENV{QUILLON_WIN_SYSROOT} ${QUILLON_WIN_SYSROOT})

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# -O2, as the Linux build's optimised builds.
set(CMAKE_C_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")

# Test programs run under Wine, in a prefix of the build folder's own.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine.sh)
endif()
