#!/usr/bin/env bash
# Installs the build into a temporary prefix as a user or a package would
# (cmake --install BUILD --prefix PREFIX), checks that every file lies where
# the program and the desktop look for it, validates the desktop entry, the
# metainfo and the manual page, and starts the installed program headless:
# it must find its skins and languages in the prefix and reach the album
# screen. Without its skins the same program must say so.
set -u
cmake=$1
build=$2
source=$3
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
prefix=$root/prefix
program=$prefix/lib/lumiview
failed=0
fail() {
  echo "install test: $*"
  failed=1
}

if ! "$cmake" --install "$build" --prefix "$prefix" > "$root/install.log" 2>&1; then
  cat "$root/install.log"
  echo "install test: cmake --install failed"
  exit 1
fi

# The program folder: the executable, a link to it in bin/, the build's
# compiled skins as they lie there, every language and every help page.
[ -x "$program/lumiview" ] || fail "no executable lib/lumiview/lumiview"
[ -L "$prefix/bin/lumiview" ] && [ "$(readlink -f "$prefix/bin/lumiview")" = "$(readlink -f "$program/lumiview")" ] ||
  fail "bin/lumiview does not link to lib/lumiview/lumiview"
ls "$build"/skins/bin/*.skin > /dev/null 2>&1 || fail "the build has no compiled skin"
diff -r "$build/skins/bin" "$program/skins/bin" > "$root/skins.diff" || fail "skins/bin differs: $(cat "$root/skins.diff")"
for file in "$source"/lang/*.lng; do
  cmp -s "$file" "$program/$(basename "$file")" || fail "language $(basename "$file") not installed"
done
for file in "$source"/data/help/*.html; do
  cmp -s "$file" "$program/help/$(basename "$file")" || fail "help page $(basename "$file") not installed"
done

# What the desktop reads.
share=$prefix/share
desktop=$share/applications/lumiview.desktop
grep -qx 'Exec=lumiview %f' "$desktop" || fail "the desktop entry does not start lumiview %f"
grep -qx 'MimeType=image/jpeg;inode/directory;' "$desktop" || fail "the desktop entry's types are wrong"
desktop-file-validate "$desktop" || fail "desktop-file-validate refused the desktop entry"
cmp -s "$source/data/icons/lumiview.svg" "$share/icons/hicolor/scalable/apps/lumiview.svg" ||
  fail "no scalable icon"
for size in 48 128; do
  png=$share/icons/hicolor/${size}x${size}/apps/lumiview.png
  # The PNG header: signature, IHDR, then width and height as 32-bit numbers.
  read -r width height < <(od -An -tu1 -j16 -N8 "$png" 2> /dev/null |
    awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
  [ "${width:-0}x${height:-0}" = "${size}x${size}" ] || fail "icon $png is ${width:-?}x${height:-?}"
done
metainfo=$(ls "$share"/metainfo/*.metainfo.xml 2> /dev/null)
[ "$(echo "$metainfo" | wc -w)" = 1 ] || fail "not one metainfo file: $metainfo"
id=$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "$metainfo")
[ "$(basename "$metainfo")" = "$id.metainfo.xml" ] || fail "the metainfo file is not named after its id $id"
grep -q '<launchable type="desktop-id">lumiview.desktop</launchable>' "$metainfo" ||
  fail "the metainfo does not name the desktop entry"
appstreamcli validate --no-net "$metainfo" > "$root/metainfo.log" 2>&1 ||
  fail "appstreamcli refused the metainfo: $(cat "$root/metainfo.log")"
manual=$share/man/man1/lumiview.1
warnings=$(groff -man -ww -z "$manual" 2>&1) && [ -z "$warnings" ] || fail "the manual page: $warnings"
for section in ARGUMENTS KEYS ENVIRONMENT FILES; do
  grep -q "^\.SH $section" "$manual" || fail "the manual page has no $section"
done

# The installed program, started through its link in a fresh home.
export HOME=$root/home XDG_CONFIG_HOME=$root/home/.config XDG_STATE_HOME=$root/home/.state
export XDG_RUNTIME_DIR=$root/run TMPDIR=$root/tmp LUMIVIEW_DISPLAY=offscreen SDL_VIDEODRIVER=dummy
export LUMIVIEW_PICTURES=$root/home/Pictures LUMIVIEW_CARDS=
mkdir -p "$LUMIVIEW_PICTURES" "$XDG_CONFIG_HOME/lumiview" "$XDG_RUNTIME_DIR" "$TMPDIR"
chmod 700 "$XDG_RUNTIME_DIR"
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\KARU]\n"Log"=dword:00000001\n' \
  > "$XDG_CONFIG_HOME/lumiview/registry.reg"
printf 'wait 700\nidle 300 5000\nscreenshot %s\n' "$root/album.png" > "$root/script.txt"
err=$(LUMIVIEW_SCRIPT=$root/script.txt timeout 60 "$prefix/bin/lumiview" 2>&1 > /dev/null)
rc=$?
[ $rc -eq 0 ] || fail "the installed program exited with $rc: $err"
log=$(iconv -f UTF-16 -t UTF-8 "$TMPDIR/lumiview.txt" 2> /dev/null)
real=$(readlink -f "$program")
echo "$log" | grep -q "SkinChoice::load_language_at_start language=$real/[a-z]*\.lng" ||
  fail "no language from $real: $log"
echo "$log" | grep -q "SkinChoice::load_skin_at_start skin=$real/skins/bin/[a-z]*\.skin" ||
  fail "no skin from $real"
echo "$log" | grep -q 'WinMain 14' || fail "the album screen was never shown"
[ "$(od -An -tx1 -N8 "$root/album.png" 2> /dev/null | tr -d ' ')" = 89504e470d0a1a0a ] ||
  fail "no screenshot"

# Without its skins it has nothing to draw with, and says so.
rm -rf "$program/skins"
err=$(timeout 60 "$prefix/bin/lumiview" 2>&1 > /dev/null)
echo "$err" | grep -q 'No skins found' || fail "without its skins it did not say so: $err"

[ $failed -eq 0 ] && echo "installed into $prefix and ran from there"
exit $failed
