#!/usr/bin/env bash
# hotsync.exe under Wine: a user, a synchronization through a test conduit
# loaded with LoadLibrary (its backup made first), the backup listed and
# restored; the Linux programs read the same home and handheld alike.
#   hotsync-console.sh WINE WINDOWS_BIN TEST_CONDUIT LINUX_BIN SAMPLES
set -uo pipefail
wine=$1 win=$2 conduit=$3 linux=$4 samples=$5
for program in hotsync handheld; do
  [[ -x $linux/$program ]] || { echo "the Linux $program is not built: $linux/$program"; exit 1; }
done
root=$(mktemp -d "${TMPDIR:-/tmp}/norv-hotsync.XXXXXX")
trap 'rm -rf "$root"' EXIT
failures=0 passed=0
check() { # NAME COMMAND...: counts the check, shows the failing ones
  if "${@:2}"; then passed=$((passed + 1)); else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
exe() { "$wine" "$win/$1" "${@:2}" 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }
has() { grep -q -- "$1" <<<"$2" || { echo "no \"$1\" in:"; echo "$2"; return 1; }; }
home=$root/home hh=$root/hh
out=

check "--help" has 'Subcommands:' "$(exe hotsync.exe --help)"
check "user add" exe hotsync.exe --home "$home" user add Alice
check "users.dat read on Linux" has '^Alice ' "$("$linux/hotsync" --home "$home" user list)"
check "no backups yet" has 'No backups of Alice' "$(exe hotsync.exe --home "$home" restore --user Alice --list)"

check "handheld.exe init" exe handheld.exe init "$hh" --user Alice --user-id 42
check "catalogc.exe" exe catalogc.exe "$samples/catalog.json" -o "$root/catalog.pdb"
check "handheld.exe import" exe handheld.exe import "$hh" "$root/catalog.pdb"

out=$(exe hotsync.exe --home "$home" sync --user Alice --handheld "$hh" --conduit "$conduit" --yes)
check "sync exits 0" test $? -eq 0
# The prefix is shared with tests that choose a language: either catalog's words.
check "the conduit ran to its end" has '^  \(end\|fin\)  *TestConduit$' "$out"
check "the run's verdict" has '^  OK  *Synchroni[sz]' "$out"
check "the conduit saw the database" has 'db C7abc CATA/KESA' "$out"
check "its new database is on the handheld" has '^TestCreated ' "$("$linux/handheld" list "$hh")"
out=$(exe hotsync.exe --home "$home" sync --user Alice --handheld "$hh" --conduit "$root/missing.dll" --yes)
check "a missing conduit fails" test $? -ne 0
check "a missing conduit is named" has 'missing.dll' "$out"

out=$(exe hotsync.exe --home "$home" restore --user Alice --list)
check "one backup listed" has '(1 generation, the newest of ' "$out"
# Alike but for the separators: each program writes paths as its platform does.
check "the listing alike on Linux" \
  test "$(tr '\\' / <<<"$out")" == "$("$linux/hotsync" --home "$home" restore --user Alice --list | tr '\\' /)"
native=$(tr / '\\' <<<"$home")
check "paths with backslashes on Windows" grep -qF "(in $native\\Alice\\Backup)" <<<"$out"
check "database removed on Linux" "$linux/handheld" remove "$hh" C7abc
check "restore" has 'Restored 1 database' "$(exe hotsync.exe --home "$home" restore --user Alice --handheld "$hh" --yes)"
check "restored bytes" cmp "$root/catalog.pdb" "$hh/C7abc.pdb"

echo "$passed passed, $failures failed"
[[ $failures -eq 0 ]]
