#!/usr/bin/env bash
# NvConnexion.exe and NvPassword.exe under Wine (the Windows build, `make
# windows`), in a Wine prefix of their own: the check dialog before and after
# a check against the sample service, and the settings window's three pages.
# Runs inside an X display (scripts/screenshot); argument: the folder for the
# pictures. Without the Windows build or Wine it says so and takes none.
set -euo pipefail
out=$(realpath "$1")
root=$(pwd)
win=$root/build-win/bin
wine=/usr/lib/wine/wine64
command -v wine64 >/dev/null 2>&1 && wine=$(command -v wine64)
if [[ ! -x $wine || ! -f $win/NvPassword.exe || ! -f $win/NvConnexion.exe ]]; then
  echo "windows-dialogs.sh: no Wine or no Windows build (make windows): no pictures of the Windows dialogs" >&2
  exit 0
fi
server=$(dirname "$wine")/wineserver
command -v wineserver >/dev/null 2>&1 && server=$(command -v wineserver)
tmp=$(mktemp -d)
export WINEPREFIX=$tmp/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPATH=$win
service_pid="" app_pid=""
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

"$root/build/bin/norvelia-service" --listen 127.0.0.1:0 --port-file "$tmp/port" --content service/samples \
  --state "$tmp/state.db" >"$tmp/service.log" 2>&1 &
service_pid=$!
for _ in $(seq 100); do [[ -s "$tmp/port" ]] && break; sleep 0.1; done
url="http://127.0.0.1:$(cat "$tmp/port")/Tidepost/xxx/yyy"
key='HKLM\Software\Norvelia\Tidepost'
reg() { "$wine" reg add "$1" /v "$2" /d "$3" /f >/dev/null 2>&1; }
reg "$key" MsgDll Lexmo.dll
reg "$key\\Servers" Norvelia "$url"
reg "$key\\Servers" Recette "http://recette.norvelia.example/Tidepost/xxx/yyy"

windows() { xdotool search --onlyvisible --name "$1" 2>/dev/null || true; }
wait_windows() { # title count; a first start of Wine takes long
  for _ in $(seq 300); do
    [[ $(windows "$1" | wc -l) -ge $2 ]] && return 0
    sleep 0.2
  done
  echo "windows-dialogs.sh: no window \"$1\"; windows: $(xdotool search --onlyvisible --name . getwindowname %@ 2>&1 | head -5)" >&2; cat "$tmp"/*.out >&2 2>/dev/null
  return 1
}

title='Vérification de la connexion Norvelia'
"$wine" "$win/NvConnexion.exe" "$url" >"$tmp/connexion.out" 2>&1 &
app_pid=$!
wait_windows "$title" 1
dialog=$(windows "$title" | head -1)
sleep 1
import -window "$dialog" "$out/win-connexion-dialog.png"
xdotool windowfocus --sync "$dialog" key Return
wait_windows "$title" 2
sleep 0.5
import -window root "$out/win-connexion-check.png"
xdotool key Return
sleep 0.5
import -window "$dialog" "$out/win-connexion-log.png"
xdotool windowfocus --sync "$dialog" key Escape
wait "$app_pid" 2>/dev/null || true
app_pid=""

"$wine" "$win/hotsync.exe" --home "$tmp/home" user add "Alice Martin" >/dev/null 2>&1
"$wine" "$win/hotsync.exe" --home "$tmp/home" user add "Bruno Petit" >/dev/null 2>&1
reg "$key\\Users\\Alice Martin\\Norvelia" UID alice.martin
reg "$key\\Users\\Alice Martin" CurrentServer Norvelia
reg "$key\\Users" LastUser "Alice Martin"
title='Norvelia - Gestion des mots de passe'
for page in 0 1 2; do
  "$wine" reg add "$key\\Users" /v LastActiveTab /t REG_DWORD /d $page /f >/dev/null 2>&1
  "$wine" "$win/NvPassword.exe" >/dev/null 2>&1 &
  app_pid=$!
  wait_windows "$title" 1
  window=$(windows "$title" | head -1)
  sleep 1
  import -window "$window" "$out/win-password-page$page.png"
  kill "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
  app_pid=""
done
echo "windows-dialogs.sh: $out/win-*.png" >&2
