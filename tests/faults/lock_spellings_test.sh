#!/usr/bin/env bash
# Two launchers that reach one target directory by different paths (a folder and a link to it)
# and start together on an empty target take turns: both end with status 0 and the files whole,
# every time.
#
# Usage: lock_spellings_test.sh <launcher with target spec {PROGRAM_DIR}\unpacked>
#                               <its application folder> <scratch parent folder>
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/env.sh"
source "$repo_root/tests/support/test_lib.sh"
launcher=$1
app=$2
work=$(mktemp -d "$3/spellings.XXXXXX")
trap 'rm -rf "$work"' EXIT
folder=$work/launcher
mkdir -p "$folder"
ln -s "$folder" "$work/link"
cp "$launcher" "$folder/launcher.exe"
rounds=50

for round in $(seq "$rounds"); do
  rm -rf "$folder/unpacked"
  "$repo_root/scripts/wine-run" "$folder/launcher.exe" </dev/null >"$work/out.1" 2>"$work/err.1" &
  first=$!
  status=0
  "$repo_root/scripts/wine-run" "$work/link/launcher.exe" </dev/null >"$work/out.2" 2>"$work/err.2" ||
    status=$?
  wait "$first" || fail "round $round: the start through the folder failed: $(cat "$work/err.1")"
  [ "$status" -eq 0 ] || fail "round $round: the start through the link failed: $(cat "$work/err.2")"
  diff -r "$app" "$folder/unpacked" >/dev/null || fail "round $round: the files differ"
done
echo "$rounds rounds of two spellings started together, each ending well"
