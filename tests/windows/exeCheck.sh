#!/bin/sh
# quillon.exe as Windows meets it: a window program (a double click opens no console) that
# needs nothing but the system's own libraries, with its icons, its version and its manifest;
# and under Wine, asked for its usage or run unattended, it writes where it was asked to and
# ends with the run's exit code, as a console program would.
#
#   exeCheck.sh <wine runner> <quillon.exe> <samples folder> <work folder>
set -eu
wine="$1" exe="$2" samples="$(cd "$3" && pwd)" work="$4"
fail() { echo "$*"; exit 1; }
rm -rf "$work"
mkdir -p "$work/in"

headers="$(x86_64-w64-mingw32-objdump -p "$exe")"
echo "$headers" | grep -q '^Subsystem.*(Windows GUI)' ||
    fail "not a window program: $(echo "$headers" | grep '^Subsystem')"
# Every library it loads is the system's: no Qt, no C++ runtime, nothing to ship beside it.
system='^(KERNEL32|USER32|GDI32|ADVAPI32|SHELL32|OLE32|OLEAUT32|COMDLG32|COMCTL32|UXTHEME|DWMAPI|SHCORE|IMM32|WINMM|VERSION|WS2_32|SHLWAPI|SETUPAPI|WTSAPI32|NETAPI32|USERENV|MPR|AUTHZ|BCRYPT|CRYPT32|UIAUTOMATIONCORE|D3D9|D3D11|DXGI|DWRITE|WINSPOOL\.DRV|msvcrt|api-ms-win-[a-z0-9-]+)\.dll$'
others="$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | grep -Eiv "$system" || true)"
[ -z "$others" ] || fail "needs libraries beside it: $others"

# Resources (wrestool of icoutils): the program's icon and the project icon, each with the
# small and the large size; the version; the manifest with its settings.
resources="$(wrestool -l "$exe")"
for icon in 1 2; do
    echo "$resources" | grep -q -- "--type=14 --name=$icon " || fail "no icon group $icon"
    wrestool -x --type=14 --name=$icon "$exe" >"$work/icon.ico"
    for size in 16 32; do
        icotool -l "$work/icon.ico" | grep -q -- "--width=$size --height=$size" ||
            fail "icon $icon has no $size x $size image"
    done
done
echo "$resources" | grep -q -- '--type=16 ' || fail "no version resource"
wrestool -x --raw --type=16 "$exe" | iconv -f UTF-16LE -t UTF-8 2>/dev/null | tr -d '\000' |
    grep -q "2024.16.323.2227" || fail "the version resource does not hold the version"
manifest="$(wrestool -x --raw --type=24 --name=1 "$exe")"
for setting in PerMonitorV2 'Microsoft.Windows.Common-Controls" version="6' \
    '<longPathAware[^>]*>true'; do
    echo "$manifest" | grep -q "$setting" || fail "the manifest lacks $setting"
done

cp "$exe" "$work/quillon.exe"
cp "$samples/quarterly-review.pptx" "$samples/damaged.pptx" "$work/in/"
dos() { printf 'Z:%s' "$1" | tr / '\\'; }
w="$(cd "$work" && pwd)"

# Asked how to use it, it answers on standard output, keeps no file and ends with 0.
for ask in '/?' --help; do
    "$wine" "$work/quillon.exe" "$ask" >"$work/usage.out" 2>"$work/usage.err" ||
        fail "$ask ended with $?: $(cat "$work/usage.err")"
    grep -q '^Usage: quillon.exe' "$work/usage.out" || fail "$ask: no usage on standard output"
    grep -q 'C:\\in\\\*.ppt?' "$work/usage.out" || fail "$ask: the example is not in Windows form"
done
[ ! -e "$work/quillon.ext" ] || fail "the usage answer kept a usage store"

# An unattended run: its exit code is the run's (3 with strict codes when a file failed),
# whatever the subsystem, and the failure's report reaches the desktop's opener (Wine hands
# links to xdg-open, here a recorder).
mkdir -p "$work/bin"
printf '#!/bin/sh\nprintf "%%s\\n" "$1" >>"%s/links"\n' "$work" >"$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"
status=0
PATH="$work/bin:$PATH" "$wine" "$work/quillon.exe" \
    "-P:Source=$(dos "$w/in")\\*.pptx,Target=$(dos "$w/out"),PureConsole=1,ExitCodes=strict" \
    >"$work/run.out" 2>"$work/run.err" || status=$?
[ "$status" = 3 ] || fail "the unattended run ended with $status, not 3: $(cat "$work/run.err")"
[ -s "$work/out/quarterly-review.txt" ] || fail "no text of quarterly-review.pptx"
for _ in $(seq 40); do [ -s "$work/links" ] && break; sleep 0.25; done
grep -q '/net/?a=err&e=' "$work/links" 2>/dev/null || fail "no error report was opened"
echo "a window program with its resources and system libraries only; usage and exit codes kept"
