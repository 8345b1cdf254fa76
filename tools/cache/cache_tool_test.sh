#!/usr/bin/env bash
# Runs lumiview-cache as a user would: every command, with its output files
# and exit codes, on a picture from the shared test data and on a broken one.
set -u
tool=$1
testdata=$2
picture_source=$testdata/jpeg/exif-ianare/orientation/portrait_6.jpg
progressive_source=$testdata/jpeg/jpeg-decoder/reftest/progressive3.jpg
if [ ! -f "$picture_source" ]; then
  echo "shared test pictures not found at $testdata: skipped"
  exit 0
fi
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
export HOME=$root TMPDIR=$root XDG_CONFIG_HOME=$root/config
fail() {
  echo "FAILED: $*"
  exit 1
}
is_png() { [ "$(head -c 4 "$1" | od -An -tx1 | tr -d ' ')" = "89504e47" ]; }

mkdir -p "$root/card/pictures"
picture=$root/card/pictures/portrait.jpg
cp "$picture_source" "$picture"
cp "$progressive_source" "$root/card/pictures/progressive.jpg"
printf 'not a picture at all' > "$root/card/pictures/broken.jpg"

"$tool" > /dev/null 2>&1
[ $? -eq 2 ] || fail "no command is a usage error"
"$tool" tile "$picture" "$root/card/" x 0 0 "$root/t.png" > /dev/null 2>&1
[ $? -eq 2 ] || fail "a level that is not a number is a usage error"

# DRIVE defaults to the picture's folder.
out=$("$tool" build "$picture") || fail "build: $out"
cache=$(echo "$out" | sed -n 's/^cache file: //p')
case $cache in "$root/card/pictures/!lumiviewcache/"*) ;; *) fail "cache file in the wrong place: $cache" ;; esac
[ -s "$cache" ] || fail "no cache file at $cache"
echo "$out" | grep -q "^size: [0-9]* bytes$" || fail "build prints no size: $out"
echo "$out" | grep -q "^build time: [0-9.]* s$" || fail "build prints no time: $out"

out=$("$tool" build "$picture" "$root/card/") || fail "build on a drive: $out"
cache=$(echo "$out" | sed -n 's/^cache file: //p')
[ "$(dirname "$cache")" = "$root/card/!lumiviewcache" ] || fail "cache file not on the drive: $cache"

out=$("$tool" info "$cache") || fail "info: $out"
for line in "format: 19" "levels: 2" "orientation: 6" "valid: yes"; do
  echo "$out" | grep -qx "$line" || fail "info lacks \"$line\": $out"
done
echo "$out" | grep -q "^level 1: .* 300 x 225$" || fail "info lacks the level's size: $out"
echo "$out" | grep -q "^thumbnail: .* 64 x 64$" || fail "info lacks the thumbnail: $out"

"$tool" thumb "$picture" "$root/card/" "$root/thumb.png" > /dev/null || fail "thumb"
is_png "$root/thumb.png" || fail "thumb wrote no PNG"

"$tool" tile "$picture" "$root/card/" 2 1 1 "$root/cache.png" > /dev/null || fail "tile"
"$tool" tile "$picture" "$root/card/" 2 1 1 "$root/direct.png" --source picture > /dev/null ||
  fail "tile from the picture"
is_png "$root/cache.png" || fail "tile wrote no PNG"
cmp -s "$root/cache.png" "$root/direct.png" || fail "the two sources disagree at full size"
"$tool" tile "$picture" "$root/card/" 2 9 9 "$root/none.png" > /dev/null 2>&1
[ $? -eq 1 ] || fail "a tile outside the picture is a failure"
[ ! -e "$root/none.png" ] || fail "a failed tile wrote a file"

"$tool" decode "$picture" "$root/whole.png" > /dev/null || fail "decode"
is_png "$root/whole.png" || fail "decode wrote no PNG"
err=$("$tool" decode "$root/card/pictures/progressive.jpg" "$root/p.png" 2>&1 >/dev/null)
[ $? -eq 1 ] || fail "decode of a progressive picture should fail"
echo "$err" | grep -q "does not take" || fail "decode says nothing useful: $err"

err=$("$tool" build "$root/card/pictures/broken.jpg" "$root/card/" 2>&1 >/dev/null)
[ $? -eq 1 ] || fail "building a broken picture should fail"
echo "$err" | grep -q "empty file" || fail "build does not name the marker: $err"
marker=$(ls "$root/card/!lumiviewcache/" | while read -r f; do
  [ -s "$root/card/!lumiviewcache/$f" ] || echo "$f"; done)
[ -n "$marker" ] || fail "no empty marker"
out=$("$tool" info "$root/card/!lumiviewcache/$marker")
[ $? -eq 1 ] || fail "info on the marker should fail"
echo "$out" | grep -q "^valid: no" || fail "info on the marker: $out"
"$tool" thumb "$root/card/pictures/broken.jpg" "$root/card/" "$root/b.png" > /dev/null 2>&1
[ $? -eq 1 ] || fail "thumb of a broken picture should fail"
echo "lumiview-cache: all commands behave"
