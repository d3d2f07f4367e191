#!/usr/bin/env bash
# A whole synchronization under Wine: hotsync.exe loads Norv30.dll, which
# talks to the Linux norvelia-service over loopback with WinInet and writes
# the handheld; the Linux handheld then reads what it wrote.
#   sync-under-wine.sh WINE WINDOWS_BIN LINUX_BIN CONTENT
set -uo pipefail
wine=$1 win=$2 linux=$3 content=$4
for program in norvelia-service handheld catalogc; do
  [[ -x $linux/$program ]] || { echo "the Linux $program is not built: $linux/$program"; exit 1; }
done
root=$(mktemp -d "${TMPDIR:-/tmp}/norv-winsync.XXXXXX")
service=
# Stops the service this test started (by its pid), then removes its files.
cleanup() {
  if [[ -n $service ]]; then kill "$service" 2>/dev/null; wait "$service" 2>/dev/null; fi
  rm -rf "$root"
}
trap cleanup EXIT
failures=0 passed=0
check() { # NAME COMMAND...: counts the check, shows the failing ones
  if "${@:2}"; then passed=$((passed + 1)); else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
exe() { "$wine" "$win/$1" "${@:2}" 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }
has() { grep -q -- "$1" <<<"$2" || { echo "no \"$1\" in:"; echo "$2"; return 1; }; }
home=$root/home hh=$root/hh

"$linux/norvelia-service" --listen 127.0.0.1:0 --port-file "$root/port" --content "$content" \
  --state "$root/state.db" >"$root/service.out" 2>&1 &
service=$!
for _ in $(seq 100); do [[ -s $root/port ]] && break; sleep 0.1; done
[[ -s $root/port ]] || { echo "the service did not start:"; cat "$root/service.out"; exit 1; }
url="http://127.0.0.1:$(cat "$root/port")/Tidepost/"

# The settings an installer writes, in this Wine prefix's own registry.
key='HKLM\Software\Norvelia\Tidepost'
reg() { "$wine" reg add "$1" /v "$2" /d "$3" /f >/dev/null 2>&1; }
check "registry" reg "$key" MsgDll LexmoUs.dll
reg "$key\\Servers" Norvelia "$url"
reg "$key\\Users\\Anne" CurrentServer Norvelia
reg "$key\\Users\\Anne\\Norvelia" UID anne
reg "$key\\Users\\Anne\\Norvelia" NorvVers 2.3.0

check "user add" exe hotsync.exe --home "$home" user add Anne
check "handheld init" "$linux/handheld" init "$hh" --user Anne

out=$(exe hotsync.exe --home "$home" sync --user Anne --handheld "$hh" --yes)
check "first sync exits 0" test $? -eq 0 || echo "$out"
check "the conduit ended well" has '^  \(end\|fin\)  *Norvelia$' "$out"
check "the run's verdict" has '^  OK  *Synchroni[sz]' "$out"
listing=$("$linux/handheld" list "$hh")
check "catalogs installed" has '^C7cat  *CATA' "$listing"
check "user context installed" has '^USERCTX ' "$listing"
check "the application installed" has '^Norvelia  *appl' "$listing"
check "every database sound" test -z "$(grep -i damaged <<<"$listing")"
check "trace written" has 'THIRD STAGE' "$(cat "$home/NorvTrace.log" 2>&1)"

# A shopping list whose order waits on the handheld goes out on the next run.
now=$(date +%Y-%m-%dT%H:%M:%S)
cat >"$root/courses.json" <<JSON
{
  "kind": "list", "type": "LIST", "name": "Courses samedi",
  "appInfo": {"title": "Courses samedi", "listOrCatalogName": "C7cat", "channelType": 2, "formatNum": 2},
  "order": {"creationDate": "$now", "orderingDate": "$now", "channelId": "C7", "deliveryName": "Anne Martin"},
  "itemRefs": [{"reference": "POM-01", "name": "Pommes", "quantity": 3, "price": "2,10", "need": true}]
}
JSON
check "catalogc" "$linux/catalogc" "$root/courses.json" -o "$root/courses.pdb"
check "handheld import" "$linux/handheld" import "$hh" "$root/courses.pdb"
out=$(exe hotsync.exe --home "$home" sync --user Anne --handheld "$hh" --yes)
check "second sync exits 0" test $? -eq 0 || echo "$out"
processed=$("$linux/handheld" dump "$hh" "Courses samedi" | grep 'Processed:')
check "the order is processed" test -n "$processed" -a -z "$(grep 1904-01-01 <<<"$processed")"
listing=$("$linux/handheld" list "$hh")

# A second run with the service gone: the failure is said, nothing is lost.
kill "$service" 2>/dev/null; wait "$service" 2>/dev/null; service=
out=$(exe hotsync.exe --home "$home" sync --user Anne --handheld "$hh" --yes)
check "sync without the service fails" test $? -ne 0
check "the probe's failure is in the log" has 'FAILED' "$out"
check "the handheld is as it was" test "$listing" == "$("$linux/handheld" list "$hh")"

# The HotSync action dialog of the Win32 host, answered from the keyboard:
# "Do nothing" for the next HotSync only.
if [[ -n ${DISPLAY:-} ]] && command -v xdotool >/dev/null 2>&1; then
  exe hotsync.exe --home "$home" configure --user Anne >"$root/configure.out" &
  configure=$!
  dialog=$(timeout 30 xdotool search --sync --name 'Change HotSync Action - Norvelia' | head -n1)
  check "the action dialog shows" test -n "$dialog"
  if [[ -n $dialog ]]; then
    xdotool windowfocus --sync "$dialog" 2>/dev/null
    xdotool key --clearmodifiers alt+n
    xdotool key Return
  fi
  wait "$configure"
  check "configure exits 0" test $? -eq 0
  check "the choice is kept for the next HotSync" has 'temporary=6' "$(cat "$home/Anne/HotSync.ini")"
  check "configure says so" has 'nothing (next HotSync only)' "$(cat "$root/configure.out")"
else
  echo "no display or no xdotool: the action dialog is not tried"
fi

echo "$passed passed, $failures failed"
[[ $failures -eq 0 ]]
