#!/usr/bin/env bash
# NvPassword's three pages and three dialogs, in the locale's language, from a
# private settings store and HotSync home with two users.
set -euo pipefail
out=$(realpath "$1")
root=$(pwd)
bin=$root/build/bin
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export NORVELIA_REGISTRY=$tmp/registry.db HOTSYNC_HOME=$tmp/home NORVELIA_MSGDIR=$root/share/norvelia
key='HKLM\Software\Norvelia\Tidepost'
"$bin/norvreg" import share/norvelia/defaults.reg
"$bin/hotsync" user add "Alice Martin" >/dev/null
"$bin/hotsync" user add "Bruno Petit" >/dev/null
"$bin/norvreg" set "$key\\Servers" Recette "http://recette.norvelia.example/Tidepost/xxx/yyy"
"$bin/norvreg" set "$key\\Users\\Alice Martin\\Norvelia" UID alice.martin
"$bin/norvreg" set "$key\\Users\\Alice Martin" CurrentServer Norvelia
"$bin/norvreg" set "$key\\Users" LastUser "Alice Martin"
"$bin/NvPassword" --screenshot "$out"
