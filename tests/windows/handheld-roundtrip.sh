#!/usr/bin/env bash
# handheld.exe and catalogc.exe under Wine make a handheld folder; the Linux
# handheld reads it as its own, and what it changes there handheld.exe sees.
#   handheld-roundtrip.sh WINE WINDOWS_BIN LINUX_HANDHELD SAMPLES
set -uo pipefail
wine=$1 win=$2 linux=$3 samples=$4
[[ -x $linux ]] || { echo "the Linux handheld is not built: $linux"; exit 1; }
root=$(mktemp -d "${TMPDIR:-/tmp}/norv-roundtrip.XXXXXX")
trap 'rm -rf "$root"' EXIT
failures=0 passed=0
check() { # NAME COMMAND...: counts the check, shows the failing ones
  if "${@:2}"; then passed=$((passed + 1)); else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
exe() { "$wine" "$win/$1" "${@:2}" | tr -d '\r'; return "${PIPESTATUS[0]}"; }
hh=$root/hh

check "handheld.exe init" exe handheld.exe init "$hh" --user Alice --user-id 42
declare -A database=([catalog]=C7abc [list]=ListeC7 [user]=USERCTX)
for sample in catalog list user; do
  check "catalogc.exe $sample" exe catalogc.exe "$samples/$sample.json" -o "$root/$sample.pdb"
done
check "handheld.exe import" exe handheld.exe import "$hh" "$root/catalog.pdb" "$root/list.pdb" "$root/user.pdb"
# The databases are the compiled files, byte for byte, under their names.
for sample in catalog list user; do
  check "$sample imported as ${database[$sample]}.pdb" cmp "$root/$sample.pdb" "$hh/${database[$sample]}.pdb"
done

# Both programs read the folder alike.
same() { # NAME ARGS...: handheld.exe and handheld print the same lines
  local w l
  w=$(exe handheld.exe "${@:2}") || { echo "handheld.exe $*: failed"; return 1; }
  l=$("$linux" "${@:2}") || { echo "handheld $*: failed"; return 1; }
  [[ $w == "$l" ]] || { diff <(echo "$w") <(echo "$l"); return 1; }
}
check "list alike" same list list "$hh"
check "3 databases listed" grep -qx '3 databases' <("$linux" list "$hh")
for db in C7abc ListeC7 USERCTX; do check "dump $db alike" same dump dump "$hh" "$db"; done

# A change on the Linux side, read back under Wine.
check "handheld remove" "$linux" remove "$hh" ListeC7
check "handheld.exe sees the removal" grep -qx '2 databases' <(exe handheld.exe list "$hh")
check "handheld.exe export" exe handheld.exe export "$hh" C7abc "$root/exported.pdb"
check "exported bytes" cmp "$root/catalog.pdb" "$root/exported.pdb"
# Windows-style options stay off: a path is a path.
check "usage error names the program" grep -q '^handheld: ' <(exe handheld.exe bogus 2>&1)

echo "$passed passed, $failures failed"
[[ $failures -eq 0 ]]
