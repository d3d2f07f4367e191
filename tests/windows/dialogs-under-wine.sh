#!/usr/bin/env bash
# NvConnexion.exe and NvPassword.exe under Wine, driven from the keyboard with
# xdotool: a check against the Linux norvelia-service and against a stopped
# one, with LastErrorCode read back from the Wine prefix's registry; a login
# entered on NvPassword.exe's first page, with UID and PWD read back.
#   dialogs-under-wine.sh WINE WINDOWS_BIN LINUX_BIN CONTENT
set -uo pipefail
wine=$1 win=$2 linux=$3 content=$4
if [[ -z ${DISPLAY:-} ]] || ! command -v xdotool >/dev/null 2>&1; then
  echo "no display or no xdotool: the dialogs are not tried"
  exit 0
fi
[[ -x $linux/norvelia-service ]] || { echo "the Linux norvelia-service is not built: $linux"; exit 1; }
root=$(mktemp -d "${TMPDIR:-/tmp}/norv-windialogs.XXXXXX")
service= app=
# Stops what this test started (by its pids), then removes its files.
cleanup() {
  if [[ -n $app ]]; then kill "$app" 2>/dev/null; wait "$app" 2>/dev/null; fi
  if [[ -n $service ]]; then kill "$service" 2>/dev/null; wait "$service" 2>/dev/null; fi
  rm -rf "$root"
}
trap cleanup EXIT
failures=0 passed=0
check() { # NAME COMMAND...: counts the check, shows the failing ones
  if "${@:2}"; then passed=$((passed + 1)); else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
has() { grep -Eq -- "$1" <<<"$2" || { echo "no /$1/ in:"; echo "$2"; return 1; }; }
key='HKLM\Software\Norvelia\Tidepost'
reg() { "$wine" reg add "$1" /v "$2" /d "$3" /f >/dev/null 2>&1; }
query() { "$wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r'; }
# The windows titled $1, oldest first; waits until there are $2 of them.
windows() { xdotool search --onlyvisible --name "$1" 2>/dev/null; }
wait_windows() {
  for _ in $(seq 150); do
    [[ $(windows "$1" | wc -l) -ge $2 ]] && return 0
    sleep 0.2
  done
  echo "no $2 window(s) titled \"$1\""
  return 1
}
# Presses keys in the window titled $1 (the newest of that name).
keys() { local w; w=$(windows "$1" | tail -n1); [[ -n $w ]] && xdotool windowfocus --sync "$w" 2>/dev/null; xdotool key --clearmodifiers "${@:2}"; }

"$linux/norvelia-service" --listen 127.0.0.1:0 --port-file "$root/port" --content "$content" \
  --state "$root/state.db" >"$root/service.out" 2>&1 &
service=$!
for _ in $(seq 100); do [[ -s $root/port ]] && break; sleep 0.1; done
[[ -s $root/port ]] || { echo "the service did not start:"; cat "$root/service.out"; exit 1; }
url="http://127.0.0.1:$(cat "$root/port")/Tidepost/xxx/yyy"
reg "$key" MsgDll LexmoUs.dll
reg "$key\\Servers" Norvelia "$url"

# A check of the server given on the command line, then the window closed.
title='Norvelia connection check'
connexion() { # the outcome expected in LastErrorCode
  "$wine" "$win/NvConnexion.exe" "$url" >"$root/connexion.out" 2>&1 &
  app=$!
  check "the connection dialog shows" wait_windows "$title" 1 || return
  keys "$title" Return
  check "the outcome's box shows" wait_windows "$title" 2
  keys "$title" Return
  for _ in $(seq 50); do [[ $(windows "$title" | wc -l) -le 1 ]] && break; sleep 0.2; done
  check "LastErrorCode $1 after the check" has "LastErrorCode +REG_SZ +$1\$" "$(query "$key" LastErrorCode)"
  keys "$title" Escape
  wait "$app"
  check "NvConnexion.exe ends with 0" test $? -eq 0
  app=
  check "LastErrorCode -1 once closed" has "LastErrorCode +REG_BINARY +[Ff]{8}" "$(query "$key" LastErrorCode)"
}
connexion 0
kill "$service" 2>/dev/null; wait "$service" 2>/dev/null; service=
connexion 12029

# A login on NvPassword.exe's first page, from the keyboard: the HotSync user
# is chosen already, the three fields typed, Tab to OK and Space.
check "user add" "$wine" "$win/hotsync.exe" --home "$root/home" user add Anne >/dev/null 2>&1
reg "$key\\Users\\Anne" CurrentServer Norvelia
title='Norvelia - Password management'
"$wine" "$win/NvPassword.exe" >"$root/password.out" 2>&1 &
app=$!
if check "the settings window shows" wait_windows "$title" 1; then
  sleep 0.5
  keys "$title" Tab
  xdotool type --delay 20 anne
  xdotool key Tab
  xdotool type --delay 20 s3cret
  xdotool key Tab
  xdotool type --delay 20 s3cret
  xdotool key Tab space
  check "the confirmation shows" wait_windows Information 1
  keys Information Return
  sleep 0.5
  user="$key\\Users\\Anne\\Norvelia"
  check "UID written" has 'UID +REG_SZ +anne$' "$(query "$user" UID)"
  # NvCypher("s3cret", "k&v" + "anne"), as the Linux program stores it.
  check "PWD written cyphered" has 'PWD +REG_SZ +E67744DB0835$' "$(query "$user" PWD)"
  keys "$title" alt+q
  wait "$app"
  check "NvPassword.exe ends with 0" test $? -eq 0
  app=
  # Saved, the login page has no user chosen any more: the page is kept.
  check "the page kept" has 'LastActiveTab +REG_DWORD +0x0$' "$(query "$key\\Users" LastActiveTab)"
fi

echo "$passed passed, $failures failed"
[[ $failures -eq 0 ]]
