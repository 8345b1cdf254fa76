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
# scan: a card and a pictures folder searched as the program does, every
# missing cache file made, the folder list saved; a second scan finds them.
scan=$root/scan
mkdir -p "$scan/card/DCIM/100" "$scan/card/Windows/System" "$scan/pics/Trip" "$scan/state"
cp "$picture_source" "$scan/card/DCIM/100/a.jpg"
cp "$testdata/jpeg/exif-ianare/orientation/landscape_3.jpg" "$scan/card/DCIM/100/b.JPG"
cp "$picture_source" "$scan/card/Windows/System/left-out.jpg"
cp "$testdata/jpeg/libjpeg-turbo/testorig.jpg" "$scan/pics/Trip/c.jpeg"
printf 'broken' > "$scan/pics/Trip/d.jpg"
export XDG_STATE_HOME=$scan/state XDG_CACHE_HOME=$scan/cache LUMIVIEW_PICTURES=$scan/pics
unset LUMIVIEW_CARDS
out=$("$tool" scan --jobs 3 "$scan/card" 2> "$scan/err") || fail "scan: $out"
echo "$out" | grep -q "^drives: $scan/card/ $scan/pics/ (the pictures folder)$" ||
  fail "scan names the wrong drives: $out"
echo "$out" | grep -q "^found 4 pictures in 2 folders: 0 have a cache file, 4 need one$" ||
  fail "scan found the wrong pictures: $out"
echo "$out" | grep -q "^scan: 4 pictures, 0 with a cache file already, 3 made, 1 failed, in .* on 3 threads)$" ||
  fail "scan summary: $out"
echo "$out" | grep -q "^could not make the cache file of %my_documents%/Trip/d.jpg$" ||
  fail "scan does not name the broken picture: $out"
grep -q "^made 4/4 " "$scan/err" || fail "no progress lines: $(cat "$scan/err")"
for f in "$scan/card/!lumiviewcache/"* "$scan/pics/!lumiviewcache/"*; do
  [ -s "$f" ] || continue
  "$tool" info "$f" | grep -qx "valid: yes" || fail "scan made a bad cache file $f"
done
[ "$(ls "$scan/card/!lumiviewcache" | wc -l)" -eq 2 ] || fail "card caches: $(ls "$scan/card/!lumiviewcache")"
[ "$(head -c 2 "$scan/state/lumiview/folders.ini" | od -An -tx1 | tr -d ' ')" = "fffe" ] ||
  fail "no folder list saved"
"$tool" scan -j 0 "$scan/card" > /dev/null 2>&1
[ $? -eq 2 ] || fail "scan -j 0 is a usage error"
out=$("$tool" scan -j1 "$scan/card" 2>/dev/null) || fail "second scan: $out"
echo "$out" | grep -q "^scan: 4 pictures, 3 with a cache file already, 0 made, 1 failed, in " ||
  fail "second scan summary: $out"

# Ctrl-C during the builds stops the scan cleanly: status 130, no
# half-written file, and the next scan finishes the job.
big=$root/big
mkdir -p "$big/card" "$big/pics"
n=0
for source in "$testdata"/jpeg/large/*.jpg "$testdata"/jpeg/zune/large_*.jpg; do
  for copy in 1 2 3; do
    n=$((n + 1))
    # Bytes after the end of the picture give each copy a size of its own.
    { cat "$source"; head -c $n /dev/zero; } > "$big/card/$n.jpg"
  done
done
export LUMIVIEW_PICTURES=$big/pics
"$tool" scan "$big/card" > "$big/out" 2> "$big/err" &
pid=$!
for i in $(seq 600); do grep -q "need one" "$big/out" && break; sleep 0.05; done
kill -INT $pid
wait $pid
status=$?
if grep -q "^scan: $n pictures" "$big/out"; then
  echo "note: the scan ended before Ctrl-C reached it; interruption not checked"
else
  [ $status -eq 130 ] || fail "an interrupted scan gives status $status: $(cat "$big/out" "$big/err")"
  grep -q "^scan: stopped after [0-9]* of $n cache files" "$big/out" ||
    fail "interrupted scan says: $(cat "$big/out")"
fi
for f in "$big/card/!lumiviewcache/"*; do
  [ -e "$f" ] || continue
  case $f in *.tmp-*) fail "a half-written cache file was left: $f" ;; esac
  "$tool" info "$f" | grep -qx "valid: yes" || fail "interrupted scan left a bad cache file $f"
done
out=$("$tool" scan "$big/card" 2>/dev/null) || fail "scan after Ctrl-C: $out"
echo "$out" | grep -q "^scan: $n pictures, .* 0 failed, in " || fail "scan after Ctrl-C: $out"
[ "$(ls "$big/card/!lumiviewcache" | wc -l)" -eq $n ] || fail "not every cache file made"
echo "lumiview-cache: all commands behave"
