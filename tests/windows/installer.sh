#!/bin/sh
# The installer under Wine, as a user gets the program: a silent install into Program Files with
# its Start-menu shortcut, the projects' file type and the entry of installed programs; a
# project opened through its type; the program started from its shortcut, keeping its files in
# %LOCALAPPDATA%\quillon; a silent removal that leaves nothing under Program Files but the
# user's files where they were. Nothing silent opens a browser; an install and a removal that
# the user watches (on Xvfb, Enter on their one page) send the installation and removal reports.
#
#   installer.sh <wine runner> <setup.exe> <samples folder> <work folder>
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
wine="$1" setup="$2" samples="$(cd "$3" && pwd)" work="$4"
fail() { echo "$*"; exit 1; }
rm -rf "$work"
mkdir -p "$work/in" "$work/bin"
work="$(cd "$work" && pwd)"
cp "$samples/quarterly-review.pptx" "$samples/languages.pptx" "$work/in/"
dos() { printf 'Z:%s' "$1" | tr / '\\'; }
# Wine's menu builder would copy the shortcut and the file type into the Linux user's desktop.
WINEDLLOVERRIDES="winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
export WINEDLLOVERRIDES
# Wine hands links to the Linux desktop's xdg-open: a recorder stands in for the browser.
printf '#!/bin/sh\nprintf "%%s\\n" "$1" >>"%s/links"\n' "$work" >"$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"
PATH="$work/bin:$PATH"
export PATH

winvar() { "$wine" cmd /c echo "%$1%" | tr -d '\r'; }
unix() { "$wine" winepath -u "$1" | tr -d '\r'; }
programs="$(winvar ProgramFiles)\\Quillon Converter"
menu="$(winvar ProgramData)\\Microsoft\\Windows\\Start Menu\\Programs"
data="$(winvar LOCALAPPDATA)\\quillon"
folder="$(unix "$programs")"
shortcut="$(unix "$menu\\Quillon Converter.lnk")"
kept="$(unix "$data")"
[ -n "$folder" ] && [ -n "$kept" ] || fail "no Unix paths for $programs and $data"
rm -rf "$kept"

"$wine" "$setup" /S || fail "the silent install ended with $?"
for file in quillon.exe quillon.pdf uninstall.exe; do
    [ -s "$folder/$file" ] || fail "no $programs\\$file"
done
[ -f "$shortcut" ] || fail "no Start-menu shortcut"
assoc="$("$wine" cmd /c assoc .batch-quillon | tr -d '\r')"
[ "$assoc" = ".batch-quillon=Quillon.Project" ] || fail "assoc: $assoc"
ftype="$("$wine" cmd /c ftype Quillon.Project | tr -d '\r')"
[ "$ftype" = "Quillon.Project=\"$programs\\quillon.exe\" \"%1\"" ] || fail "ftype: $ftype"
"$wine" reg query 'HKLM\Software\Classes\Quillon.Project\DefaultIcon' | tr -d '\r' |
    grep -qF "\"$programs\\quillon.exe\",1" || fail "the project type has not the project icon"
"$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QuillonConverter' \
    /v DisplayName | grep -q "Quillon Converter" || fail "no entry under installed programs"

# A project opened through its type (as a double click does) runs with the installed program.
printf 'Source=%s\\*.pptx\r\nTarget=%s\r\nPureConsole=1\r\nLogFile=%s\r\n' \
    "$(dos "$work/in")" "$(dos "$work/typed")" "$(dos "$work/typed.log")" >"$work/p.batch-quillon"
"$wine" start /wait "$(dos "$work/p.batch-quillon")" || fail "start of the project ended with $?"
[ -s "$work/typed/quarterly-review.txt" ] || fail "the project opened through its type did not run"

# The shortcut starts the installed program, which finds its default project in the user's
# %LOCALAPPDATA%\quillon, as everything it keeps: an elevated install could write Program
# Files, and the program must not take that for a portable copy.
mkdir -p "$kept"
printf 'Source=%s\\*.pptx\r\nTarget=%s\r\nPureConsole=1\r\nLogFile=%s\r\n' \
    "$(dos "$work/in")" "$(dos "$work/linked")" "$(dos "$work/linked.log")" \
    >"$kept/quillon.batch-quillon"
"$wine" start /wait "$menu\\Quillon Converter.lnk" || fail "start of the shortcut ended with $?"
# Wine's start waits for the link, not always for the program it starts.
for _ in $(seq 120); do
    [ "$(cat "$work/linked.log" 2>/dev/null | tr -d '\r' | grep -c ' => ')" = 2 ] && break
    sleep 0.5
done
[ -s "$work/linked/languages.txt" ] || fail "the shortcut did not start the program"
[ -s "$kept/quillon.ext" ] || fail "no usage store in $data"
[ -z "$(ls "$folder" | grep -v -e '^quillon.exe$' -e '^quillon.pdf$' -e '^uninstall.exe$')" ] ||
    fail "the program wrote into Program Files: $(ls "$folder")"

# The uninstaller hands over to a copy of itself and returns at once: its end is the folder's.
"$wine" "$programs\\uninstall.exe" /S || fail "the silent removal ended with $?"
for _ in $(seq 120); do [ -e "$folder" ] || break; sleep 0.5; done
[ ! -e "$folder" ] || fail "left under Program Files: $(ls -A "$folder")"
[ ! -e "$shortcut" ] || fail "the shortcut stayed"
"$wine" cmd /c assoc .batch-quillon >/dev/null 2>&1 && fail "the file type stayed"
"$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QuillonConverter' \
    >/dev/null 2>&1 && fail "the entry under installed programs stayed"
[ -s "$kept/quillon.ext" ] || fail "the removal took the user's files"
[ ! -e "$work/links" ] || fail "a silent install or removal opened: $(cat "$work/links")"

# On the X server of DISPLAY when there is one, as the Wine server's desktop (windowRun.sh).
watched() {
    if [ -n "${DISPLAY:-}" ]; then
        "$here/pressEnter.sh" "$@"
    else
        xvfb-run -a -s "-screen 0 1024x768x24" "$here/pressEnter.sh" "$@"
    fi
}
watched "Quillon Converter Setup" "$wine" "$setup" || fail "the watched install did not end"
[ -s "$folder/quillon.exe" ] || fail "the watched install installed nothing"
watched "Quillon Converter Uninstall" "$wine" "$programs\\uninstall.exe" ||
    fail "the watched removal did not end"
for _ in $(seq 120); do [ -e "$folder" ] || break; sleep 0.5; done
[ ! -e "$folder" ] || fail "the watched removal left: $(ls -A "$folder")"
grep -q '/net/?a=ins&' "$work/links" 2>/dev/null || fail "no installation report"
grep -q '/net/?a=uni&' "$work/links" || fail "no removal report: $(cat "$work/links")"
echo "installed, used through its type and its shortcut, removed; the watched install and" \
    "removal reported, the silent ones opened nothing"
