#!/bin/sh
# pkg-config for the Windows sysroot: its .pc files only, static link lines.
PKG_CONFIG_LIBDIR="$QUILLON_WIN_SYSROOT/lib/pkgconfig:/usr/x86_64-w64-mingw32/lib/pkgconfig" PKG_CONFIG_PATH= exec pkg-config --static "$@"
