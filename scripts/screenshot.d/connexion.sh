#!/usr/bin/env bash
# NvConnexion against the sample service: the dialog, then a check with its log
# and success box. Runs inside an X display (scripts/screenshot); argument: the
# folder for the pictures.
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

"$bin/norvelia-service" --listen 127.0.0.1:0 --port-file "$tmp/port" --content service/samples \
  --state "$tmp/state.db" >"$tmp/service.log" 2>&1 &
service_pid=$!
for _ in $(seq 100); do [[ -s "$tmp/port" ]] && break; sleep 0.1; done
port=$(cat "$tmp/port")
url="http://127.0.0.1:$port/Tidepost/xxx/yyy"

export NORVELIA_REGISTRY="$tmp/registry.db"
export NORVELIA_MSGDIR="$PWD/share/norvelia"
"$bin/norvreg" import share/norvelia/defaults.reg
"$bin/norvreg" set 'HKLM\Software\Norvelia\Tidepost\Servers' Norvelia "$url"

"$bin/NvConnexion" "$url" &
app_pid=$!

# Windows of the program that are shown, oldest first.
windows() { xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null || true; }
wait_windows() {
  for _ in $(seq 100); do
    [[ $(windows | wc -l) -ge $1 ]] && return 0
    sleep 0.1
  done
  echo "connexion.sh: no window" >&2
  return 1
}

wait_windows 1
dialog=$(windows | head -1)
sleep 0.5
import -window "$dialog" "$out/connexion-dialog.png"

# The check button is the default button.
xdotool windowfocus --sync "$dialog" key Return
wait_windows 2
box=$(windows | grep -v -x "$dialog" | tail -1)
sleep 0.5
import -window root "$out/connexion-check.png"
import -window "$box" "$out/connexion-success-box.png"
xdotool windowfocus --sync "$box" key Return
sleep 0.5
import -window "$dialog" "$out/connexion-log.png"

echo "LastErrorCode after the check: $("$bin/norvreg" get 'HKLM\Software\Norvelia\Tidepost' LastErrorCode)" >&2
xdotool windowfocus --sync "$dialog" key Escape
wait "$app_pid" || true
app_pid=""
echo "LastErrorCode after quitting: $("$bin/norvreg" get 'HKLM\Software\Norvelia\Tidepost' LastErrorCode)" >&2
