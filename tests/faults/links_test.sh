#!/usr/bin/env bash
# Links planted in the target directory are replaced or refused, never written through: a
# symbolic link and a hard link in a file's place give way to the application's own file, links
# at a file's partial names are left alone, and a link in a folder's place ends the start with
# the open-for-writing message. The files the links lead to keep their bytes, also when a link
# waits at the very partial name a start takes or at the name of a file moved aside.
#
# Usage: links_test.sh <launcher with target spec {PROGRAM_DIR}\unpacked>
#                      <its application folder> <scratch parent folder>
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/env.sh"
source "$repo_root/tests/support/test_lib.sh"
launcher=$1
app=$2
work=$(mktemp -d "$3/links.XXXXXX")
trap 'rm -rf "$work"' EXIT
folder=$work/launcher
target=$folder/unpacked
outside=$work/outside
mkdir -p "$folder" "$outside/tables"
cp "$launcher" "$folder/launcher.exe"

start() {  # expected exit status
  local status=0
  "$repo_root/scripts/wine-run" "$folder/launcher.exe" </dev/null >"$work/out" 2>"$work/err" ||
    status=$?
  [ "$status" -eq "$1" ] || fail "exit status $status, not $1: $(cat "$work/out" "$work/err")"
}

start 0
printf 'outside words' >"$outside/words.txt"
printf 'outside readme' >"$outside/readme.txt"
rm "$target/data/words.txt" "$target/readme.txt"
ln -s "$outside/words.txt" "$target/data/words.txt"
ln "$outside/readme.txt" "$target/readme.txt"
start 0
[ "$(cat "$outside/words.txt")" = "outside words" ] || fail "written through a symbolic link"
[ "$(cat "$outside/readme.txt")" = "outside readme" ] || fail "written through a hard link"
[ ! -L "$target/data/words.txt" ] || fail "the symbolic link is still in place"
diff -r "$app" "$target" >/dev/null || fail "the unpacked files differ from the application"

# A changed file beside partial names of its own: links to a file outside at the names a start
# used to write and a terminated start might have written, and a partial file such a start left.
# The start neither deletes nor opens what the links lead to, and removes the file left.
printf 'precious' >"$outside/precious.txt"
printf 'changed' >"$target/readme.txt"
ln -s "$outside/precious.txt" "$target/readme.txt.tarnic-partial"
ln -s "$outside/precious.txt" "$target/readme.txt.1-0.tarnic-partial"
printf 'left' >"$target/readme.txt.2-0.tarnic-partial"
start 0
[ "$(cat "$outside/precious.txt" 2>/dev/null)" = "precious" ] ||
  fail "the file behind a link at a partial name was changed or deleted"
[ -L "$target/readme.txt.tarnic-partial" ] && [ -L "$target/readme.txt.1-0.tarnic-partial" ] ||
  fail "a link at a partial name was removed"
[ ! -e "$target/readme.txt.2-0.tarnic-partial" ] || fail "the partial file left is still there"
rm "$target/readme.txt.tarnic-partial" "$target/readme.txt.1-0.tarnic-partial"
diff -r "$app" "$target" >/dev/null || fail "the unpacked files differ from the application"

# Files a start moved aside, which a later start removes when it finds the mark such a start
# leaves: the files of that name in the table's folders go, the links stay, and so does the file
# they lead to; the mark stays while a link does.
printf 'moved aside' >"$target/data/words.txt.7-0.tarnic-partial"
ln -s "$outside/precious.txt" "$target/data/tables/grid.bin.8-0.tarnic-partial"
touch "$target/leftovers.tarnic-partial"
start 0
[ "$(cat "$outside/precious.txt" 2>/dev/null)" = "precious" ] ||
  fail "the file behind a link at a leftover's name was changed or deleted"
[ -L "$target/data/tables/grid.bin.8-0.tarnic-partial" ] ||
  fail "a link at a leftover's name was removed"
[ ! -e "$target/data/words.txt.7-0.tarnic-partial" ] || fail "the file moved aside is still there"
[ -e "$target/leftovers.tarnic-partial" ] || fail "the mark went while a link stays"
rm "$target/data/tables/grid.bin.8-0.tarnic-partial" "$target/leftovers.tarnic-partial"

# Links at the very partial name the start takes first: readme.txt, the tag of the start's own
# process id (a multiple of 4 under Wine, as on Windows) and counter 0. The start creates its
# partial file new, never opens what is there, and takes the next name.
printf 'changed' >"$target/readme.txt"
for ((pid = 4; pid <= 0x2000; pid += 4)); do
  ln -s "$outside/precious.txt" "$target/readme.txt.$(printf '%x' "$pid")-0.tarnic-partial"
done
start 0
[ "$(cat "$outside/precious.txt" 2>/dev/null)" = "precious" ] ||
  fail "a link at the start's own partial name was written through"
rm "$target"/readme.txt.*.tarnic-partial
diff -r "$app" "$target" >/dev/null || fail "the unpacked files differ from the application"

# The first file below the folder in region order is data\tables\chunked.bin.
rm -r "$target/data/tables"
ln -s "$outside/tables" "$target/data/tables"
start 2
blocked="Z:${target//\//\\}\\data\\tables\\chunked.bin"
[ "$(tr -d '\r' <"$work/err")" = "Error, failed to open '$blocked' for writing." ] ||
  fail "standard error: $(cat "$work/err")"
[ -z "$(ls -A "$outside/tables")" ] || fail "written through a linked folder: $(ls "$outside/tables")"
echo "links in the target directory are replaced or refused, never written through"
