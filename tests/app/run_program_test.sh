#!/usr/bin/env bash
# Starts the built program in a fresh home with the headless display and a
# script that lets it run for a second, and checks that it reached the album
# screen and ended with exit code 0.
set -u
program=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
export HOME=$root/home XDG_CONFIG_HOME=$root/home/.config XDG_STATE_HOME=$root/home/.state
export XDG_RUNTIME_DIR=$root/run TMPDIR=$root/tmp LUMIVIEW_DISPLAY=offscreen SDL_VIDEODRIVER=dummy
mkdir -p "$HOME" "$XDG_CONFIG_HOME/lumiview" "$XDG_RUNTIME_DIR" "$TMPDIR"
chmod 700 "$XDG_RUNTIME_DIR"
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\KARU]\n"Log"=dword:00000001\n' \
  > "$XDG_CONFIG_HOME/lumiview/registry.reg"

printf 'wait 1000\n' > "$root/script.txt"
err=$(LUMIVIEW_SCRIPT=$root/script.txt timeout 60 "$program" 2>&1 >/dev/null)
rc=$?
if [ $rc -ne 0 ]; then
  echo "program exited with $rc: $err"
  exit 1
fi
log=$TMPDIR/lumiview.txt
if [ ! -s "$log" ] || [ "$(head -c 2 "$log" | od -An -tx1 | tr -d ' ')" != "fffe" ]; then
  echo "no UTF-16 log at $log"
  exit 1
fi
if ! iconv -f UTF-16 -t UTF-8 "$log" | grep -q 'WinMain 14'; then
  echo "log lacks the start-up lines:"
  iconv -f UTF-16 -t UTF-8 "$log"
  exit 1
fi
echo "program ended with 0; stderr: $err"
