#!/usr/bin/env bash
# The reference service's status page after a few queries sent with curl,
# rendered by headless Chromium. Argument: the folder for the picture.
set -euo pipefail
out=$(realpath "$1")
bin=build/bin
tmp=$(mktemp -d)
service_pid=""
cleanup() {
  [[ -n "$service_pid" ]] && kill "$service_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

"$bin/norvelia-service" --listen 127.0.0.1:0 --port-file "$tmp/port" --content service/samples \
  --state "$tmp/state.db" --user anne:secret >"$tmp/service.log" 2>&1 &
service_pid=$!
for _ in $(seq 100); do [[ -s "$tmp/port" ]] && break; sleep 0.1; done
url="http://127.0.0.1:$(cat "$tmp/port")"

# What a synchronization sends, as standard forms.
"$bin/catalogc" service/samples/catalogc/list.json -o "$tmp/list.pdb" >/dev/null
q() { curl -sS -o /dev/null "$url/Tidepost/srv" "$@"; }
q -F function=DeclareChannels -F UID=anne -F PWD=secret -F 'CIDList=C1;C7' -F NorvVers=2.3
q -F function=GetUpToDateCatalog -F UID=anne -F CID=C1 -F DefListRequested=no
q -F function=ProcessList -F UID=anne -F CID=C7 -F "IODBinData=@$tmp/list.pdb;filename=Courses.pdb"
q -F function=ProcessGame -F UID=anne -F Game=QUIZ-2001 -F Points=17 -F Stamp=3600
q -F function=StartGame -F UID=anne -F Game=QUIZ-2001 -F Stamp=3600
q -F function=DeclareChannels -F UID=anne -F PWD=wrong
q --form-string 'function=<b>not markup</b>' -F UID=anne

chromium --headless --no-sandbox --disable-gpu --disable-background-networking --no-first-run \
  --user-data-dir="$tmp/chromium" --hide-scrollbars --window-size=1100,1500 \
  --screenshot="$out/service-status.png" "$url/" >"$tmp/chromium.log" 2>&1 ||
  { cat "$tmp/chromium.log" >&2; exit 1; }
echo "service.sh: $out/service-status.png" >&2
