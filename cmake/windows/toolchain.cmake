# Cross-building for 64-bit Windows with Debian's mingw-w64 (compilers.cmake). Libraries come
# from the sysroot that buildDeps.sh fills (QUILLON_WIN_SYSROOT, by default <build
# folder>/sysroot) and from Debian's mingw packages; programs run under Wine.
include(${CMAKE_CURRENT_LIST_DIR}/compilers.cmake)

if(NOT QUILLON_WIN_SYSROOT)
    set(QUILLON_WIN_SYSROOT ${CMAKE_BINARY_DIR}/sysroot)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUILLON_WIN_SYSROOT)

list(PREPEND CMAKE_FIND_ROOT_PATH ${QUILLON_WIN_SYSROOT})
# qt: buildDeps.sh's link to the Qt it built, in a cache of the user's.
set(CMAKE_PREFIX_PATH ${QUILLON_WIN_SYSROOT} ${QUILLON_WIN_SYSROOT}/qt)
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
