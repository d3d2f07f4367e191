#!/usr/bin/env bash
# The HotSync window on a new account: the set-up of its first start, page by
# page, and the menu of its tray icon. Runs inside an X display
# (scripts/screenshot); argument: the folder for the pictures.
set -euo pipefail
out=$(realpath "$1")
bin=$PWD/build/bin
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A new account: nothing but its home; the settings of a new installation are
# imported by the window itself.
export HOME="$tmp/account"
mkdir -p "$HOME"
unset NORVELIA_REGISTRY HOTSYNC_HOME XDG_CONFIG_HOME XDG_DATA_HOME
export NORVELIA_MSGDIR="$PWD/share/norvelia"

"$bin/hotsync-gui" --screenshot-setup "$tmp/first"
mv "$tmp/first-user.png" "$out/hotsync-first-start.png"
# Once a user is there, the other pages have something to show.
"$bin/hotsync" user add Anne >/dev/null 2>&1
"$bin/hotsync-gui" --user Anne --screenshot-setup "$out/hotsync-setup"
rm -f "$out/hotsync-setup-user.png"
"$bin/hotsync-gui" --user Anne --screenshot-tray "$out/hotsync-tray-menu.png"
