#!/usr/bin/env bash
# Cross-builds the Windows build's libraries, static, into <build folder>/sysroot, from Debian's
# own source packages of the versions the Linux build links. The sources come through a private
# apt configuration whose source list repeats the machine's own Debian entries as deb-src, so
# nothing under /etc changes. zlib is Debian's mingw package (libz-mingw-w64-dev).
#
#   cmake/windows/buildDeps.sh build-windows
#   QUILLON_WINDOW=OFF cmake/windows/buildDeps.sh build-windows    # without Qt (no window)
#
# Each library is built once; delete <build folder>/deps to start over. Qt, which takes about
# twenty minutes, is built into a cache of the user's instead (QUILLON_QT_CACHE, by default
# ${XDG_CACHE_HOME:-~/.cache}/quillon-windows), in a folder named after its version and its
# configuration, so that every build folder and clone of the machine shares one build; the
# build folder's sysroot/qt links to it.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
BUILD="$(mkdir -p "$1" && cd "$1" && pwd)"
JOBS="${JOBS:-2}"
HOST=x86_64-w64-mingw32
SYSROOT="$BUILD/sysroot"
DEPS="$BUILD/deps"
APTDIR="$DEPS/apt"

# The source packages, at the versions of the Linux build's -dev packages on Debian 12. Where a
# security update's source is not served, the release's own version follows it in the list.
PCRE2="pcre2=10.42-1+deb12u2 pcre2=10.42-1"
PUGIXML=pugixml=1.13-0.2
LIBDEFLATE=libdeflate=1.14-1
GOOGLETEST=googletest=1.12.1-0.2
OPENSSL="openssl=3.0.19-1~deb12u2 openssl=3.0.17-1~deb12u2 openssl=3.0.15-1~deb12u1"
QTBASE=qt6-base=6.4.2+dfsg-10

mkdir -p "$SYSROOT/lib/pkgconfig" "$SYSROOT/include" "$DEPS/src"

# --- the private apt configuration -------------------------------------------------------------

# Every "deb" entry of the machine's sources for this release, as "deb-src". Other suppliers'
# entries (which may serve no sources at all) are left out.
write_source_list() {
    local codename out
    codename="$(. /etc/os-release && echo "$VERSION_CODENAME")"
    out="$APTDIR/sources.list.d"
    rm -rf "$out" && mkdir -p "$out"
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        grep -E "^deb[[:space:]].*[[:space:]]$codename(-[a-z]+)?([[:space:]]|/)" "$f" |
            sed -E 's/^deb([[:space:]])/deb-src\1/' >>"$out/machine.list" || true
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        # deb822 stanzas are separated by blank lines; keep those of this release that carry
        # binary packages and turn them into source stanzas.
        awk -v codename="$codename" '
            function flush() {
                if (stanza != "" && types ~ /(^|[[:space:]])deb([[:space:]]|$)/ &&
                    suites ~ ("(^|[[:space:]])" codename "(-[a-z]+)?([[:space:]]|$)"))
                    printf "%s\n", stanza
                stanza = ""; types = ""; suites = ""
            }
            /^[[:space:]]*$/ { flush(); next }
            /^#/ { next }
            /^Types:/ { types = substr($0, 7); $0 = "Types: deb-src" }
            /^Suites:/ { suites = substr($0, 8) }
            { stanza = stanza $0 "\n" }
            END { flush() }' "$f" >>"$out/machine.sources"
    done
    if [ ! -s "$out/machine.list" ] && [ ! -s "$out/machine.sources" ]; then
        echo "buildDeps: no Debian $codename entries in /etc/apt/sources.list*" >&2
        exit 1
    fi
}

setup_apt() {
    mkdir -p "$APTDIR/state/lists/partial" "$APTDIR/cache/archives/partial"
    : >"$APTDIR/sources.list"
    write_source_list
    cat >"$APTDIR/apt.conf" <<CONF
Dir::Etc::sourcelist "$APTDIR/sources.list";
Dir::Etc::sourceparts "$APTDIR/sources.list.d";
Dir::State "$APTDIR/state";
Dir::State::status "/var/lib/dpkg/status";
Dir::Cache "$APTDIR/cache";
APT::Sandbox::User "root";
CONF
    export APT_CONFIG="$APTDIR/apt.conf"
    if [ ! -f "$APTDIR/updated" ]; then
        apt-get -q update >"$APTDIR/update.log" 2>&1 || { cat "$APTDIR/update.log" >&2; exit 1; }
        touch "$APTDIR/updated"
    fi
}

# Unpacks the first source package of the list that the mirror serves (with Debian's patches
# applied) and prints its folder.
fetch() {
    local pinned name version upstream dir
    for pinned in "$@"; do
        name="${pinned%%=*}" version="${pinned#*=}"
        upstream="${version%-*}"
        upstream="${upstream#*:}"
        dir="$DEPS/src/$name-$upstream"
        [ -d "$dir" ] && { echo "$dir"; return; }
        if (cd "$DEPS/src" && apt-get -q source --only-source "$pinned" >"$name.log" 2>&1); then
            echo "buildDeps: source $pinned" >&2
            echo "$dir"
            return
        fi
        echo "buildDeps: $pinned is not served: $(grep -m1 '^E:' "$DEPS/src/$name.log")" >&2
    done
    exit 1
}

# --- the libraries ------------------------------------------------------------------------------

TOOLCHAIN="$HERE/toolchain.cmake"
cmake_dep() {
    local name="$1" src="$2"
    shift 2
    cmake -S "$src" -B "$DEPS/build-$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DQUILLON_WIN_SYSROOT="$SYSROOT" \
        -DCMAKE_INSTALL_PREFIX="$SYSROOT" -DBUILD_SHARED_LIBS=OFF "$@" >"$DEPS/$name.log" 2>&1 &&
        nice -n 10 cmake --build "$DEPS/build-$name" -j "$JOBS" >>"$DEPS/$name.log" 2>&1 &&
        cmake --install "$DEPS/build-$name" >>"$DEPS/$name.log" 2>&1 ||
        { tail -40 "$DEPS/$name.log" >&2; exit 1; }
}

done_stamp() { [ -f "$DEPS/$1.done" ]; }
stamp() { touch "$DEPS/$1.done"; echo "buildDeps: $1 built in $(($(date +%s) - $2)) s"; }

need_apt=0
for lib in pcre2 pugixml libdeflate openssl googletest; do done_stamp $lib || need_apt=1; done

# The smallest static QtWidgets the window needs: the Windows platform plugin and style, and the
# minimal platform of its tests (Qt makes no off-screen one for Windows). Its host tools (moc,
# rcc, uic) are Debian's own Qt 6 of the same version. Drag and drop needs the xpm image format;
# Debian's source lacks the tablet library; Direct2D would be a second platform plugin, and
# without it Qt builds no DirectWrite font database while the platform plugin still calls one
# (the program then fails to link): the fonts are GDI's, as in Qt 5. Everything else the window
# does not use is left out.
QT_OPTIONS="-release -static -optimize-size -xplatform win32-g++ -qt-host-path /usr
    -nomake examples -nomake tests -no-pkg-config -no-opengl -no-dbus -no-icu -no-glib
    -no-freetype -no-fontconfig -no-zstd -qt-zlib -qt-pcre -qt-libpng -no-libjpeg -qt-harfbuzz
    -qt-doubleconversion -no-feature-sql -no-feature-network -no-feature-testlib -no-feature-xml
    -no-feature-printsupport -no-feature-concurrent -no-feature-vulkan -no-feature-tabletevent
    -no-feature-directwrite3
    -no-feature-sessionmanager -no-feature-direct2d -no-feature-gif -no-feature-ico
    -no-feature-imageformat_bmp -no-feature-imageformat_ppm -no-feature-imageformat_xbm
    -no-feature-pdf -no-feature-printer -no-feature-movie -no-feature-androiddeployqt
    -no-feature-qmake -no-feature-graphicsview -no-feature-mdiarea -no-feature-lcdnumber
    -no-feature-dial -no-feature-calendarwidget -no-feature-colordialog -no-feature-fontdialog
    -no-feature-wizard -no-feature-undoview -no-feature-undogroup -no-feature-undostack
    -no-feature-undocommand -no-feature-splashscreen -no-feature-keysequenceedit
    -no-feature-fontcombobox -no-feature-errormessage -no-feature-textodfwriter
    -no-feature-textmarkdownreader -no-feature-textmarkdownwriter -no-feature-systemtrayicon"
QT_VERSION="${QTBASE#*=}"
QT_VERSION="${QT_VERSION%%+*}"
QT_CACHE="${QUILLON_QT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quillon-windows}"
# The configuration: the options, the compilers' settings and the compiler's version.
qt_key="$( (echo "$QTBASE $QT_OPTIONS"; cat "$HERE/compilers.cmake"; $HOST-g++-posix --version) |
    sha256sum | cut -c1-12)"
QT_PREFIX="$QT_CACHE/qt-$QT_VERSION-$qt_key"
with_qt=1
[ "${QUILLON_WINDOW:-ON}" != OFF ] || with_qt=0
[ $with_qt -eq 0 ] || [ -f "$QT_PREFIX/.done" ] || need_apt=1

[ $need_apt -eq 0 ] || setup_apt

if ! done_stamp pcre2; then
    t=$(date +%s)
    src="$(fetch $PCRE2)"
    cmake_dep pcre2 "$src" -DPCRE2_BUILD_PCRE2_8=ON -DPCRE2_BUILD_PCRE2_16=OFF \
        -DPCRE2_BUILD_PCRE2_32=OFF -DPCRE2_SUPPORT_UNICODE=ON -DPCRE2_SUPPORT_JIT=OFF \
        -DPCRE2_BUILD_PCRE2GREP=OFF -DPCRE2_BUILD_TESTS=OFF -DPCRE2_STATIC_PIC=OFF
    # The static library's users must say so, or its header declares the functions dllimport.
    sed -i -E 's/^(Cflags:.*)$/\1 -DPCRE2_STATIC/' "$SYSROOT/lib/pkgconfig/libpcre2-8.pc"
    stamp pcre2 $t
fi

if ! done_stamp pugixml; then
    t=$(date +%s)
    src="$(fetch $PUGIXML)"
    cmake_dep pugixml "$src" -DPUGIXML_BUILD_TESTS=OFF
    stamp pugixml $t
fi

if ! done_stamp libdeflate; then
    t=$(date +%s)
    src="$(fetch $LIBDEFLATE)"
    # 1.14 builds with its own Makefile; only the static library is wanted, which it names
    # libdeflatestatic.lib for a mingw target.
    nice -n 10 make -C "$src" -j "$JOBS" CC=$HOST-gcc-posix AR=$HOST-ar libdeflatestatic.lib \
        >"$DEPS/libdeflate.log" 2>&1 || { tail -40 "$DEPS/libdeflate.log" >&2; exit 1; }
    cp "$src/libdeflate.h" "$SYSROOT/include/"
    cp "$src/libdeflatestatic.lib" "$SYSROOT/lib/libdeflate.a"
    version="${LIBDEFLATE#*=}"
    cat >"$SYSROOT/lib/pkgconfig/libdeflate.pc" <<PC
prefix=$SYSROOT
Name: libdeflate
Description: Fast implementation of DEFLATE, zlib, and gzip
Version: ${version%-*}
Libs: -L\${prefix}/lib -ldeflate
Cflags: -I\${prefix}/include
PC
    stamp libdeflate $t
fi

if ! done_stamp openssl; then
    t=$(date +%s)
    src="$(fetch $OPENSSL)"
    # Only libcrypto is used (SHA and AES of encrypted presentations): only the libraries are
    # built (build_libs), static, without engines, modules, sockets or tests.
    mkdir -p "$DEPS/build-openssl"
    (cd "$DEPS/build-openssl" &&
        "$src/Configure" mingw64 no-shared no-module no-tests no-engine no-legacy no-dso \
            no-ssl3 no-dtls no-sock no-ui-console no-autoload-config \
            CC=$HOST-gcc-posix AR=$HOST-ar RANLIB=$HOST-ranlib RC=$HOST-windres \
            --prefix="$SYSROOT" --libdir=lib >"$DEPS/openssl.log" 2>&1 &&
        nice -n 10 make -j "$JOBS" build_libs >>"$DEPS/openssl.log" 2>&1 &&
        make install_dev >>"$DEPS/openssl.log" 2>&1) ||
        { tail -40 "$DEPS/openssl.log" >&2; exit 1; }
    stamp openssl $t
fi

if ! done_stamp googletest; then
    t=$(date +%s)
    src="$(fetch $GOOGLETEST)"
    cmake_dep googletest "$src" -Dgtest_disable_pthreads=OFF -DINSTALL_GTEST=ON
    stamp googletest $t
fi

[ $with_qt -eq 1 ] || exit 0
if [ ! -f "$QT_PREFIX/.done" ]; then
    mkdir -p "$QT_CACHE"
    # One build at a time per cache: a second caller waits for the first and then finds it done.
    exec 9>"$QT_CACHE/qt.lock"
    flock 9
fi
if [ ! -f "$QT_PREFIX/.done" ]; then
    t=$(date +%s)
    work="$QT_PREFIX.work"
    rm -rf "$work" "$QT_PREFIX"
    mkdir -p "$work/src"
    (cd "$work/src" && apt-get -q source --only-source "$QTBASE" >"$work/source.log" 2>&1) ||
        { tail -5 "$work/source.log" >&2; exit 1; }
    echo "buildDeps: source $QTBASE" >&2
    src="$(find "$work/src" -mindepth 1 -maxdepth 1 -type d -name 'qt*' | head -1)"
    launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache
        -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    mkdir -p "$work/build"
    # shellcheck disable=SC2086 # the options are words
    (cd "$work/build" &&
        "$src/configure" -prefix "$QT_PREFIX" $QT_OPTIONS -- \
            -DCMAKE_TOOLCHAIN_FILE="$HERE/compilers.cmake" \
            -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
            -DQT_BUILD_TOOLS_WHEN_CROSSCOMPILING=OFF "${launcher[@]}" >"$QT_CACHE/qt.log" 2>&1 &&
        nice -n 10 cmake --build . -j "$JOBS" >>"$QT_CACHE/qt.log" 2>&1 &&
        cmake --install . >>"$QT_CACHE/qt.log" 2>&1) ||
        { tail -40 "$QT_CACHE/qt.log" >&2; exit 1; }
    touch "$QT_PREFIX/.done"
    # The sources and the build (2 GB) are not needed again.
    rm -rf "$work"
    echo "buildDeps: Qt $QT_VERSION built in $(($(date +%s) - t)) s into $QT_PREFIX"
fi
ln -sfn "$QT_PREFIX" "$SYSROOT/qt"
