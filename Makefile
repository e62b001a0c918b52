# The two commands of the README. Both install what is missing from Debian's packages first:
# make run only what the program and its window need, make test everything its tests use.

# The program and its window (make run).
RUN_PACKAGES := cmake ninja-build g++ pkg-config libicu-dev libpcre2-dev libdeflate-dev \
                libpugixml-dev libssl-dev zlib1g-dev qt6-base-dev unicode-data
# The manual page and the PDF guide: groff typesets both (gropdf, no TeX), rsvg-convert makes the
# pictures (and the icons), poppler-utils measures and joins the PDFs.
DOC_PACKAGES := groff librsvg2-bin poppler-utils
# make deb (CPack runs dpkg-shlibdeps, which needs file).
DEB_PACKAGES := dpkg-dev file
# Its check (make package-check): lintian, and the icons in the cache that hicolor-icon-theme's
# trigger builds with gtk-update-icon-cache.
PACKAGE_CHECK_PACKAGES := lintian desktop-file-utils shared-mime-info man-db hicolor-icon-theme \
                          gtk-update-icon-cache
# The real one-node Slurm cluster of tests/slurm/run.sh (make test, make test-slurm).
SLURM_PACKAGES := slurmctld slurmd slurm-client munge python3
# The Dask cluster of tests/dask/run.sh (make test) and cluster/dask-convert.py.
DASK_PACKAGES := python3-distributed
# make windows: the cross compiler, Debian's mingw zlib, dpkg-dev for apt-get source, the host
# tools of the Qt it builds (qt6-base-dev, above), icoutils for the program's icons, NSIS for the
# installer; its tests: Wine, Wine's fonts (Tahoma, as on Windows), xdotool (a user's Enter on
# the installer's page) and locales (the test locales are made with localedef). Only the posix
# thread model's compiler: the plain g++-mingw-w64-x86-64 brings the win32 one too (230 MB
# more, never used).
WINDOWS_PACKAGES := g++-mingw-w64-x86-64-posix libz-mingw-w64-dev icoutils nsis wine64 xdotool \
                    fonts-wine locales
# The tests' own: GoogleTest, clang for the fuzz build, msoffcrypto-tool to check encrypted test
# files, an X server for the window's tests.
TEST_PACKAGES := libgtest-dev libgmock-dev clang libclang-rt-14-dev python3-msoffcrypto-tool \
                 xvfb xauth fonts-dejavu-core
# Defined after the lists: := takes their values as they are at this line.
PACKAGES := $(RUN_PACKAGES) $(TEST_PACKAGES) $(DOC_PACKAGES) $(DEB_PACKAGES) \
            $(PACKAGE_CHECK_PACKAGES) $(DASK_PACKAGES) $(WINDOWS_PACKAGES)
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 15

.PHONY: run test fuzz deps run-deps deb-deps build build-asan build-tsan build-fuzz deb \
        package-check slurm-deps test-slurm test-dask test-kubernetes windows build-windows \
        test-windows windows-installer

# Installs the Debian packages named in $(1) that are missing.
define install_missing
	@missing=""; \
	for p in $(1); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	    sudo=""; [ "$$(id -u)" -eq 0 ] || sudo=sudo; \
	    echo "Installing:$$missing"; \
	    $$sudo apt-get update -q && \
	    DEBIAN_FRONTEND=noninteractive $$sudo apt-get install -y -q --no-install-recommends $$missing; \
	fi
endef

deps:
	$(call install_missing,$(PACKAGES))

run-deps:
	$(call install_missing,$(RUN_PACKAGES))

deb-deps:
	$(call install_missing,$(RUN_PACKAGES) $(DOC_PACKAGES) $(DEB_PACKAGES))

slurm-deps:
	$(call install_missing,$(SLURM_PACKAGES))

build: deps
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DQUILLON_TESTS=ON
	cmake --build build -j $(JOBS)

build-asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON -DQUILLON_TESTS=ON
	cmake --build build-asan -j $(JOBS)

build-tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLON_TSAN=ON -DQUILLON_TESTS=ON
	cmake --build build-tsan -j $(JOBS)

build-fuzz: deps
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLON_FUZZ=ON \
	    -DCMAKE_CXX_COMPILER=clang++ -DQUILLON_FUZZ_SECONDS=$(FUZZ_SECONDS)
	cmake --build build-fuzz -j $(JOBS)

# The Windows build: quillon.exe, one static window program with the window in it, cross-built
# with mingw-w64 against libraries built from Debian's own source packages and a static Qt
# (cmake/windows/buildDeps.sh; Qt is built once per machine into ~/.cache/quillon-windows); its
# tests run under Wine, in a prefix of the build folder's own.
WINDOWS_JOBS ?= 2
# OFF: the program without the window, which needs no Qt (a machine without the Qt cache then
# need not build it, about twenty minutes on two idle cores); no installer either.
WINDOWS_WINDOW ?= ON
WINE_ENV := WINEPREFIX=$(CURDIR)/build-windows/wine WINEDEBUG=-all

windows: deps
	JOBS=$(WINDOWS_JOBS) QUILLON_WINDOW=$(WINDOWS_WINDOW) cmake/windows/buildDeps.sh build-windows
	cmake -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/windows/toolchain.cmake -DQUILLON_LINUX_EXE=$(CURDIR)/build/quillon \
	    -DQUILLON_TESTS=ON -DQUILLON_WINDOW=$(WINDOWS_WINDOW)
	cmake --build build-windows -j $(WINDOWS_JOBS) --target quillon
	@echo "Windows program: build-windows/quillon.exe"

build-windows: windows
	cmake --build build-windows -j $(WINDOWS_JOBS)

# The installer, build-windows/quillon-<version>-setup.exe (NSIS): Program Files, a Start-menu
# shortcut, the projects' file type, the guide and an entry under installed programs.
windows-installer: windows
	cmake --build build-windows -j $(WINDOWS_JOBS) --target installer
	@ls build-windows/quillon-*-setup.exe

# Wine's own services keep a pipe open that ctest waits on for seconds per test unless they
# and the server run already, started apart from ctest; the server is stopped at the end. The
# first program run makes the prefix, whose setup goes on after that program ends; tests that
# started meanwhile could end at once with no output, so the setup is waited for (wineserver
# -w) before the server the tests share is started, and a second run starts the services.
# All of it on one X server (Xvfb): Wine's desktop belongs to the server's first program, and a
# window program started later on another display (the window run, the watched install) would
# wait for that desktop forever.
test-windows: build build-windows
	mkdir -p build-windows/wine
	xvfb-run -a -s "-screen 0 1280x800x24" sh -c '\
	    $(WINE_ENV) /usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1; \
	    $(WINE_ENV) /usr/lib/wine/wineserver -w; \
	    $(WINE_ENV) /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1; \
	    $(WINE_ENV) /usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1; \
	    status=0; ctest --test-dir build-windows --output-on-failure -j $(WINDOWS_JOBS) || status=$$?; \
	    $(WINE_ENV) /usr/lib/wine/wineserver -k; exit $$status'

# The main job: the bundled sample presentations converted unattended into out/. One of them is
# broken on purpose, so the run shows a failure too; the exit code is still 0. Only the program
# and its window are built (the tests too only when make test asks for them).
run: run-deps
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
	cmake --build build -j $(JOBS) --target quillon quillon-window
	build/quillon samples/quick-start.batch-quillon
	@echo "Text files: out/   Log: out/quick-start.log"
	@cat out/quick-start.log

# Every test in the normal build, again under AddressSanitizer + UndefinedBehaviorSanitizer and
# under ThreadSanitizer, then every fuzz target for FUZZ_SECONDS, then the Debian package; after
# the normal build's tests, the program on a real one-node Slurm cluster (20 to 80 s); then the
# engine benchmarks' programs built; last the Windows build's tests under Wine, the window's and
# the installer's with them (a fresh machine first builds the Windows Qt into its cache, once).
test: build build-asan build-tsan build-fuzz slurm-deps
	ctest --test-dir build --output-on-failure -j $(JOBS)
	tests/slurm/run.sh build/quillon
	tests/dask/run.sh build/quillon
	tests/kubernetes/check.sh build/kubernetes
	ctest --test-dir build-asan --output-on-failure -j $(JOBS)
	TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tsan.supp" ctest --test-dir build-tsan --output-on-failure -j $(JOBS)
	ctest --test-dir build-fuzz --output-on-failure -j $(JOBS)
	$(MAKE) package-check
	$(MAKE) bench-programs
	$(MAKE) test-windows

# The engine benchmarks' own programs, which build the engine in projects of their own, built
# (not run) by make test so that they keep building as the engine changes.
.PHONY: bench-programs
bench-programs: deps
	cmake -S bench/ooxml -B build-bench-programs/ooxml -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build build-bench-programs/ooxml -j $(JOBS)
	cmake -S bench/ppt -B build-bench-programs/ppt -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build build-bench-programs/ppt -j $(JOBS)

# The Debian package of the normal build, build/quillon_<version>-1_<arch>.deb (CPack; the
# dependencies are those dpkg-shlibdeps finds in the binaries, and python3 for the cluster
# scripts). Builds what the package holds and nothing more.
deb: deb-deps
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
	cmake --build build -j $(JOBS) --target quillon_package
	rm -f build/quillon_*.deb
	cd build && cpack -G DEB

# The package checked as its user gets it (packaging/check.sh): lintian, the desktop entry,
# installed with dpkg, run by an ordinary user over ../shared/corpus-public, man quillon, removed.
# Needs root; says so and passes otherwise.
package-check: deb
	$(call install_missing,$(PACKAGE_CHECK_PACKAGES))
	packaging/check.sh build

# The Slurm test of make test alone: daemons on private ports, a job array of 4 tasks, one
# cancelled and requeued (tests/slurm/run.sh).
test-slurm: build slurm-deps
	tests/slurm/run.sh build/quillon

# The Dask test of make test alone: a LocalCluster of 2 workers, one of them killed
# (tests/dask/run.sh).
test-dask: build
	tests/dask/run.sh build/quillon

# The Kubernetes manifest against the Kubernetes schemas, offline (tests/kubernetes/check.sh,
# which installs Node.js and npm where there is no npm, and npm's kubernetes-models into build/).
test-kubernetes:
	tests/kubernetes/check.sh build/kubernetes

# The source-search benchmark of bench/README.md (a Release build; not part of make test).
.PHONY: bench-search
bench-search: deps
	cmake -S . -B build-bench-search -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build build-bench-search --target search_bench
	bench/search/run.sh build-bench-search/src/discovery/search_bench

# The scheduling benchmark of bench/README.md (a Release build; not part of make test).
.PHONY: bench-scheduler
bench-scheduler: deps
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build build-bench --target scheduler_bench
	build-bench/src/conversion/scheduler_bench 100000 8 7

# Speed and memory of the engine against its peers on the same files in the same run
# (bench/README.md); not part of `make test`. The peers are pinned: officeparser from npm
# (installed into build-bench-engine/ by bench/ooxml/run.sh), and Debian's catdoc and Apache
# POI, which read only binary .ppt and are the peers of the .ppt benchmark.
BENCH_PACKAGES := catdoc=1:0.95-6~deb12u1 libapache-poi-java=4.0.1-4 python3 hyperfine time \
                  libzip-dev cmark python3-jsonschema
OFFICEPARSER_VERSION := 7.8.0

# The peers and tools of the benchmarks: catdoc, Apache POI and a JDK for the .ppt one,
# Node.js and npm for officeparser, hyperfine and GNU time for the window's.
.PHONY: bench-deps bench bench-ppt
bench-deps: deps
	@missing=""; \
	for p in $(BENCH_PACKAGES); do \
	    dpkg -s $${p%%=*} >/dev/null 2>&1 || missing="$$missing $$p"; \
	done; \
	command -v npm >/dev/null 2>&1 || missing="$$missing nodejs npm"; \
	command -v javac >/dev/null 2>&1 || missing="$$missing default-jdk-headless"; \
	if [ -n "$$missing" ]; then \
	    sudo=""; [ "$$(id -u)" -eq 0 ] || sudo=sudo; \
	    echo "Installing:$$missing"; \
	    $$sudo apt-get update -q && \
	    DEBIAN_FRONTEND=noninteractive $$sudo apt-get install -y -q --no-install-recommends $$missing; \
	fi

# What the window costs a run without one (bench/README.md): start-up and peak memory of an
# empty unattended run against the build before the window.
.PHONY: bench-window-startup
bench-window-startup: bench-deps
	bench/window/startup.sh

# The window under load against the same work without one: listing 100,000 files, converting
# the generated decks (bench/README.md).
.PHONY: bench-window
bench-window: bench-deps
	bench/window/run.sh

# One process per file and an empty unattended run against catppt, this tree against main
# (bench/README.md, "Start-up").
.PHONY: bench-startup bench-scaling
bench-startup: bench-deps
	bench/startup/run.sh

# Two converters against one on the same 1,610 small files (bench/README.md).
bench-scaling: bench-deps
	bench/scaling/run.sh

bench: bench-deps
	OFFICEPARSER_VERSION=$(OFFICEPARSER_VERSION) bench/ooxml/run.sh

# The binary .ppt reader against catppt and Apache POI on the same files (bench/README.md).
bench-ppt: bench-deps
	bench/ppt/run.sh

# Notes against POI's, Markdown through cmark, JSON Lines against their schema, and the speed
# of each output form, on the public files (bench/README.md).
.PHONY: bench-notes
bench-notes: bench-deps build
	bench/notes/run.sh build/quillon

# Peak memory of 8 converters on 8 copies of a 230 MB .ppt and of a 230 MB .pptx (bench/README.md).
.PHONY: bench-memory
bench-memory: deps
	cmake -S . -B build-bench-engine/tree -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build build-bench-engine/tree --target quillon
	bench/ppt/memory.sh build-bench-engine/tree/quillon 8 230

# Every fuzz target for FUZZ_TIME seconds (default 120) from the real sample files; findings go to
# fuzz/findings/. Not part of make test, which replays fuzz/regressions/ and fuzzes briefly.
fuzz: build-fuzz
	fuzz/run.sh build-fuzz

# The window's screenshots in docs/ (shown in the README), from the real program under Xvfb,
# with the Tahoma of Debian's fonts-wine so the pictures look as designed. Not part of make test.
SCREENSHOT_PACKAGES := xdotool imagemagick fonts-wine openbox
.PHONY: screenshots
screenshots: build
	@missing=""; \
	for p in $(SCREENSHOT_PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	    sudo=""; [ "$$(id -u)" -eq 0 ] || sudo=sudo; \
	    $$sudo apt-get update -q && \
	    DEBIAN_FRONTEND=noninteractive $$sudo apt-get install -y -q --no-install-recommends $$missing; \
	fi
	docs/screenshots.sh build

# The Windows window's screenshots in docs/ (windows-*.png), from quillon.exe under Wine on Xvfb
# with openbox placing the windows. Not part of make test.
.PHONY: screenshots-windows
screenshots-windows: windows
	@missing=""; \
	for p in $(SCREENSHOT_PACKAGES) openbox; do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	    sudo=""; [ "$$(id -u)" -eq 0 ] || sudo=sudo; \
	    $$sudo apt-get update -q && \
	    DEBIAN_FRONTEND=noninteractive $$sudo apt-get install -y -q --no-install-recommends $$missing; \
	fi
	docs/screenshots-windows.sh build-windows
