#!/usr/bin/env bash
# The HotSync window against the sample service: the progress dialog in the
# middle of a run, the window after it, and the HotSync action dialog of
# hotsync configure. Runs inside an X display (scripts/screenshot); argument:
# the folder for the pictures.
set -euo pipefail
out=$(realpath "$1")
bin=build/bin
tmp=$(mktemp -d)
service_pid="" app_pid=""
cleanup() {
  [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
  [[ -n "$service_pid" ]] && kill "$service_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

# Slow answers keep the run on screen long enough to be seen.
"$bin/norvelia-service" --listen 127.0.0.1:0 --port-file "$tmp/port" --content service/samples \
  --state "$tmp/state.db" --delay 700 >"$tmp/service.log" 2>&1 &
service_pid=$!
for _ in $(seq 100); do [[ -s "$tmp/port" ]] && break; sleep 0.1; done
port=$(cat "$tmp/port")

export NORVELIA_REGISTRY="$tmp/registry.db"
export NORVELIA_MSGDIR="$PWD/share/norvelia"
export HOTSYNC_HOME="$tmp/home"
products='HKLM\Software\Norvelia\Tidepost'
"$bin/norvreg" import share/norvelia/defaults.reg
"$bin/norvreg" set "$products\\Servers" Norvelia "http://127.0.0.1:$port/Tidepost/xxx/yyy"
"$bin/hotsync" user add Anne >/dev/null
"$bin/norvreg" set "$products\\Users\\Anne" CurrentServer Norvelia
"$bin/norvreg" set "$products\\Users\\Anne\\Norvelia" UID anne
"$bin/norvreg" set "$products\\Users\\Anne\\Norvelia" PWD s3cret-pwd
"$bin/handheld" init --user Anne "$tmp/palm" >/dev/null

windows() { xdotool search --onlyvisible --pid "$1" 2>/dev/null || true; }
wait_windows() { # pid count
  for _ in $(seq 150); do
    [[ $(windows "$1" | wc -l) -ge $2 ]] && return 0
    sleep 0.1
  done
  echo "hotsync.sh: no window" >&2
  return 1
}

"$bin/hotsync-gui" --user Anne --handheld "$tmp/palm" &
app_pid=$!
wait_windows "$app_pid" 1
main=$(windows "$app_pid" | head -1)
sleep 0.5
xdotool windowfocus --sync "$main" key alt+s
wait_windows "$app_pid" 2
progress=$(windows "$app_pid" | grep -v -x "$main" | tail -1)
sleep 2
import -window "$progress" "$out/hotsync-progress.png"
# The run ends and its dialog goes.
for _ in $(seq 600); do [[ $(windows "$app_pid" | wc -l) -le 1 ]] && break; sleep 0.1; done
sleep 0.5
import -window "$main" "$out/hotsync-window.png"
kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
app_pid=""

# The window after a run: one that placed two orders, then one whose channel
# C2 the service leaves stuck past the stall bound (shortened to a second).
sync_in_window() { # handheld picture
  "$bin/hotsync-gui" --user Anne --handheld "$1" &
  app_pid=$!
  wait_windows "$app_pid" 1
  local window
  window=$(windows "$app_pid" | head -1)
  sleep 0.5
  xdotool windowfocus --sync "$window" key alt+s
  wait_windows "$app_pid" 2
  for _ in $(seq 600); do [[ $(windows "$app_pid" | wc -l) -le 1 ]] && break; sleep 0.1; done
  sleep 0.5
  import -window "$window" "$2"
  kill "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
  app_pid=""
}
"$bin/handheld" init --user Anne "$tmp/orders" >/dev/null
sed 's/"ListeC7"/"Courses"/' service/samples/catalogc/list.json >"$tmp/courses.json"
for list in service/samples/catalogc/list.json "$tmp/courses.json"; do
  "$bin/catalogc" "$list" -o "$tmp/list.pdb" >/dev/null
  "$bin/handheld" import "$tmp/orders" "$tmp/list.pdb" >/dev/null
done
sync_in_window "$tmp/orders" "$out/hotsync-two-orders.png"
kill "$service_pid" 2>/dev/null || true
wait "$service_pid" 2>/dev/null || true
rm -f "$tmp/port"
"$bin/norvelia-service" --listen 127.0.0.1:0 --port-file "$tmp/port" --content service/samples \
  --state "$tmp/state.db" --stall C2:4000 >"$tmp/service.log" 2>&1 &
service_pid=$!
for _ in $(seq 100); do [[ -s "$tmp/port" ]] && break; sleep 0.1; done
"$bin/norvreg" set "$products\\Servers" Norvelia "http://127.0.0.1:$(cat "$tmp/port")/Tidepost/xxx/yyy"
"$bin/handheld" init --user Anne "$tmp/stuck" >/dev/null
NORVELIA_STALL_SECONDS=1 sync_in_window "$tmp/stuck" "$out/hotsync-failed-channel.png"

"$bin/hotsync" configure --user Anne >/dev/null 2>&1 &
app_pid=$!
wait_windows "$app_pid" 1
dialog=$(windows "$app_pid" | tail -1)
sleep 0.5
import -window "$dialog" "$out/hotsync-action.png"
xdotool windowfocus --sync "$dialog" key Escape
wait "$app_pid" 2>/dev/null || true
app_pid=""
