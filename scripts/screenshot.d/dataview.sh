#!/usr/bin/env bash
# The data views of hotsync-gui (what a double-click on a database opens): the
# sample catalog, list and user context, and lists whose order the service
# placed or refused. Runs inside an X display (scripts/screenshot); argument:
# the folder for the pictures.
set -euo pipefail
out=$(realpath "$1")
bin=build/bin
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

export NORVELIA_REGISTRY="$tmp/registry.db"
export NORVELIA_MSGDIR="$PWD/share/norvelia"
export HOTSYNC_HOME="$tmp/home"
# French, the product's language, with its dates.
unset LC_ALL
export LC_TIME=fr_FR.UTF-8 2>/dev/null
"$bin/handheld" init "$tmp/palm" >/dev/null
samples=service/samples/catalogc
for sample in catalog list user; do
  "$bin/catalogc" "$samples/$sample.json" -o "$tmp/$sample.pdb" >/dev/null
done
# The sample list again, once placed by the service and once refused by it.
sed -e 's/"ListeC7"/"ListeC7-passee"/' -e 's/"creationDate": "[^"]*"/"processDate": "05\/05\/2001 09:12"/' \
  "$samples/list.json" >"$tmp/placed.json"
sed -e 's/"ListeC7"/"ListeC7-refusee"/' -e 's/"creationDate": "[^"]*"/"errorMessage": "Article CAFE-02 en rupture de stock"/' \
  "$samples/list.json" >"$tmp/refused.json"
for list in placed refused; do
  "$bin/catalogc" "$tmp/$list.json" -o "$tmp/$list.pdb" >/dev/null
done
"$bin/handheld" import "$tmp/palm" "$tmp"/{catalog,list,user,placed,refused}.pdb >/dev/null

shot() { # database picture
  "$bin/hotsync-gui" --handheld "$tmp/palm" --view "$1" --screenshot "$out/$2"
}
shot C7abc dataview-catalog.png
shot ListeC7 dataview-list.png
shot ListeC7-passee dataview-list-placed.png
shot ListeC7-refusee dataview-list-refused.png
shot USERCTX dataview-user.png
