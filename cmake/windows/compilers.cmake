# The mingw-w64 cross compilers for 64-bit Windows, alone: the toolchain of the Qt build
# (buildDeps.sh), which brings its own libraries, and the start of toolchain.cmake. The posix
# thread model is the one with std::thread, std::mutex and std::condition_variable.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUILLON_WIN_HOST x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUILLON_WIN_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLON_WIN_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLON_WIN_HOST}-windres)
set(CMAKE_AR ${QUILLON_WIN_HOST}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${QUILLON_WIN_HOST}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${QUILLON_WIN_HOST})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
