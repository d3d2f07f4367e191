#!/usr/bin/env bash
# The Windows build's windows under Wine, against the sample service: the
# HotSync window of hotsync.exe, its progress dialog 129 in the middle of a
# run, the window after it (the service stuck on channel C2 beyond the
# conduit's patience: a run with a problem) and its restore dialog. Runs inside an X display
# (scripts/screenshot); argument: the folder for the pictures. Skipped when
# the Windows build (make windows) or Wine is not there.
set -euo pipefail
out=$(realpath "$1")
win=$PWD/build-win/bin bin=$PWD/build/bin
wine=/usr/lib/wine/wine64
command -v wine64 >/dev/null 2>&1 && wine=$(command -v wine64)
if [[ ! -x $wine || ! -f $win/hotsync.exe ]]; then
  echo "windows.sh: no Windows build or no Wine (make windows): skipped" >&2
  exit 0
fi
server=$(dirname "$wine")/wineserver
command -v wineserver >/dev/null 2>&1 && server=$(command -v wineserver)
tmp=$(mktemp -d)
export WINEPREFIX=$tmp/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPATH=$win
service_pid="" app_pid=""
# Ends what this script started, by its pid, and this prefix's Wine server.
cleanup() {
  [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
  [[ -n "$service_pid" ]] && kill "$service_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  "$server" -k >/dev/null 2>&1 || true
  "$server" -w >/dev/null 2>&1 || true
  rm -rf "$tmp"
}
trap cleanup EXIT

"$wine" wineboot -i >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
"$bin/norvelia-service" --listen 127.0.0.1:0 --port-file "$tmp/port" --content service/samples \
  --state "$tmp/state.db" --delay 700 --stall C2:5000 >"$tmp/service.log" 2>&1 &
service_pid=$!
for _ in $(seq 100); do [[ -s "$tmp/port" ]] && break; sleep 0.1; done
key='HKLM\Software\Norvelia\Tidepost'
reg() { "$wine" reg add "$1" /v "$2" /d "$3" /f >/dev/null 2>&1; }
reg "$key" MsgDll LexmoUs.dll
reg "$key\\Servers" Norvelia "http://127.0.0.1:$(cat "$tmp/port")/Tidepost/xxx/yyy"
reg "$key\\Users\\Anne" CurrentServer Norvelia
reg "$key\\Users\\Anne\\Norvelia" UID anne
"$wine" "$win/hotsync.exe" user add Anne >/dev/null 2>&1
"$bin/handheld" init --user Anne "$tmp/palm" >/dev/null
palm=$("$wine" winepath -w "$tmp/palm" 2>/dev/null)
# A window's picture, cut from the screen: Wine's windows are not always
# readable on their own while they settle.
shot() { # WINDOW FILE
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  for _ in 1 2 3 4 5; do
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$2" 2>/dev/null && return 0
    sleep 0.5
  done
  echo "windows.sh: no picture of window $1" >&2
  return 1
}

NORVELIA_STALL_SECONDS=1 "$wine" "$win/hotsync.exe" gui --user Anne --handheld "$palm" >"$tmp/gui.out" 2>&1 </dev/null &
app_pid=$!
main=$(timeout 60 xdotool search --sync --name '^HotSync$' | head -n1)
sleep 0.5
shot "$main" "$out/hotsync-win-window-before.png"
xdotool windowfocus --sync "$main" 2>/dev/null
xdotool key --clearmodifiers alt+s
progress=$(timeout 60 xdotool search --sync --name '^Norvelia - Progress$' | head -n1)
sleep 2
shot "$progress" "$out/hotsync-win-progress.png"
# The run ends and its dialog goes.
for _ in $(seq 600); do xdotool search --name '^Norvelia - Progress$' >/dev/null 2>&1 || break; sleep 0.1; done
sleep 0.5
shot "$main" "$out/hotsync-win-window.png"
xdotool windowfocus --sync "$main" 2>/dev/null
xdotool key --clearmodifiers alt+f r
restore=$(timeout 30 xdotool search --sync --name '^Restore a backup$' | head -n1)
sleep 0.5
shot "$restore" "$out/hotsync-win-restore.png"
xdotool key --clearmodifiers Escape
xdotool windowfocus --sync "$main" 2>/dev/null
xdotool key --clearmodifiers alt+f q
wait "$app_pid" 2>/dev/null || true
app_pid=""
