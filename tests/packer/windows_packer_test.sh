#!/usr/bin/env bash
# The Windows packer, tarnic-pack.exe under Wine, against the Linux packer on the same inputs:
# the same launcher of the sample application (which runs), the same depfile, the same regions
# at every thread count, links followed and refused alike, the same messages for names Windows
# cannot store and for mistakes of a configuration, the same configuration from init, and
# nothing left by a killed run.
# Installed from the Windows tree, it comes with the same package and documentation.
#
# Usage: windows_packer_test.sh <Linux tarnic-pack> <tarnic-pack.exe> <sample configuration>
#                               <sample application folder> <sample launcher the build packed>
#                               <make_application.py> <Windows tree> <scratch parent folder>
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/env.sh"
source "$repo_root/tests/support/test_lib.sh"
linux_pack=$1
windows_pack=$2
config=$3
app=$4
reference=$5
make_application=$6
win_tree=$7
work=$(mktemp -d "$8/windows-packer.XXXXXX")
trap 'rm -rf "$work"' EXIT

windows() {
  "$repo_root/scripts/wine-run" "$windows_pack" "$@" </dev/null
}

# Output of the Windows packer as the Linux one words it: Unix paths for the Windows paths that
# Wine gives the same files (Z: is the Unix root), and line ends without CR.
unix_text() {
  sed -e 's#Z:##g' -e 's#\\#/#g' -e 's#\r$##' "$@"
}

# Runs both packers with the same arguments, where {} stands for an empty folder of each one's
# own; each one's standard error goes to <system>.err, its status to <system>.status.
both() {
  local status
  mkdir -p "$work/linux" "$work/windows"
  status=0
  "$linux_pack" "${@//\{\}/$work/linux}" </dev/null 2>"$work/linux.err" || status=$?
  echo "$status" >"$work/linux.status"
  status=0
  windows "${@//\{\}/$work/windows}" 2>"$work/windows.err" || status=$?
  echo "$status" >"$work/windows.status"
}

same_errors() {  # label
  cmp -s "$work/linux.status" "$work/windows.status" ||
    fail "$1: status $(cat "$work/linux.status") on Linux, $(cat "$work/windows.status") on Windows"
  # Reasons the systems word each in their own way are left out.
  diff <(sed -E 's/(cannot be followed):.*/\1/' "$work/linux.err") \
    <(unix_text "$work/windows.err" | sed -E 's/(cannot be followed):.*/\1/') >&2 ||
    fail "$1: the messages differ"
}

# The sample, as the build packs it with the Linux packer: the same bytes at any thread count,
# and the same depfile.
for threads in 1 2; do
  windows --quiet launcher --config "$config" --app "$app" --threads "$threads" \
    --out "$work/sample-$threads.exe" --depfile "$work/sample-$threads.d" ||
    fail "the Windows packer failed on the sample with $threads threads"
  cmp "$reference" "$work/sample-$threads.exe" ||
    fail "the sample's launcher differs from the Linux packer's with $threads threads"
done
"$linux_pack" --quiet launcher --config "$config" --app "$app" --out "$work/sample-1.exe" \
  --depfile "$work/sample.d"
# Its paths are written with '/' on both systems.
diff "$work/sample.d" <(sed 's#Z:/#/#g' "$work/sample-1.d") >&2 || fail "the depfiles differ"

# The launcher the Windows packer wrote runs the sample, which reads its DLL and data files.
status=0
"$repo_root/scripts/wine-run" "$work/sample-2.exe" --exit 7 </dev/null >"$work/sample.out" ||
  status=$?
[ "$status" -eq 7 ] || fail "the sample ended with status $status, not 7"
grep -q "Karten-ü.Straße.txt  *Straße: fünf Karten" "$work/sample.out" ||
  fail "the sample did not read its data: $(cat "$work/sample.out")"

# Several MB of an application whose jobs zstd spreads over its workers at level 3: the same
# region from both packers and every thread count, and the same listing of it.
bulky=$work/bulky
python3 "$make_application" "$bulky" "$app/Tessaline-Deck.exe"
mkdir -p "$bulky/links"
ln -s ../data "$bulky/links/data"
ln -s ../report.exe "$bulky/links/report-again.exe"
"$linux_pack" --quiet region --app "$bulky" --main report.exe --level 3 --threads 1 \
  --out "$work/bulky.region"
for threads in 1 2 3; do
  windows --quiet region --app "$bulky" --main report.exe --level 3 --threads "$threads" \
    --out "$work/bulky-$threads.region"
  cmp "$work/bulky.region" "$work/bulky-$threads.region" ||
    fail "the regions differ with $threads threads"
done
windows list "$work/bulky-2.region" | sed "s/\r$//" >"$work/windows.list"
diff <("$linux_pack" list "$work/bulky.region") "$work/windows.list" >&2 ||
  fail "the listings differ"

# Links that the launcher could not reproduce: the same refusals, and no output. (Wine lists no
# link whose target is missing or which leads into a loop of links: those the Windows packer
# cannot meet here.)
ln -s "$work" "$bulky/links/outside"
ln -s .. "$bulky/links/back"
both region --app "$bulky" --main report.exe --out "{}/refused.region"
same_errors "links"
grep -q "2 files or folders cannot be packed" "$work/linux.err" || fail "$(cat "$work/linux.err")"
[ -z "$(ls -A "$work/windows")" ] || fail "a refused run left $(ls -A "$work/windows")"

# Mistakes of a configuration: the same messages, each naming the file and the key, a main
# program named in other letter case among them (which Windows would find).
sed -e 's/^main = .*/main = "TESSALINE-DECK.EXE"/' -e 's/^\[version\]/&\nprodcut = "x"/' \
  "$config" >"$work/mistakes.toml"
both launcher --config "$work/mistakes.toml" --app "$app" --out "{}/mistakes.exe"
same_errors "configuration mistakes"
grep -q 'application.main "TESSALINE-DECK.EXE" is not a file in .*"Tessaline-Deck.exe" is' \
  "$work/linux.err" || fail "$(cat "$work/linux.err")"
grep -q 'version.prodcut is not a known key (did you mean `product`?)' "$work/linux.err" ||
  fail "$(cat "$work/linux.err")"
[ -z "$(ls -A "$work/windows")" ] || fail "a refused run left $(ls -A "$work/windows")"

# Names Windows cannot store are refused by their names before the system is asked about them,
# which Windows would take for a device or another file: the same words from both packers. An
# empty folder is ignored whatever its name.
names=$work/names
mkdir -p "$names/empty/CON" "$names/sub"
cp "$app/Tessaline-Deck.exe" "$names/"
touch "$names/aux.txt" "$names/trailing." "$names/sub/blank "
both region --app "$names" --main Tessaline-Deck.exe --out "{}/names.region"
same_errors "names"
grep -q '3 files or folders cannot be packed' "$work/linux.err" || fail "$(cat "$work/linux.err")"
grep -q '"aux.txt" is the device AUX on Windows' "$work/linux.err" || fail "$(cat "$work/linux.err")"

# An unknown token, a misspelt main program and an output that is a folder, in one run.
sed -e "s/^target_spec = .*/target_spec = '{APPDATA}\\\\Deck'/" -e 's/^main = .*/main = "Tesaline-Deck.exe"/' \
  "$config" >"$work/more-mistakes.toml"
both launcher --config "$work/more-mistakes.toml" --app "$app" --out "$work"
same_errors "more configuration mistakes"
grep -q "3 problems" "$work/linux.err" || fail "$(cat "$work/linux.err")"

# init on a program whose version resource windres wrote (the Windows packer): the same file from
# both packers, which packs at once into a launcher with the program's version strings.
mkdir "$work/packer-app"
cp "$windows_pack" "$work/packer-app/"
both --quiet init "$work/packer-app" --out "{}/packer.toml"
same_errors "init"
cmp "$work/linux/packer.toml" "$work/windows/packer.toml" || fail "init wrote other files"
"$linux_pack" --quiet launcher --config "$work/linux/packer.toml" --level 1 \
  --out "$work/packer-launcher.exe" || fail "the configuration init wrote does not pack"
/usr/bin/python3 - "$work/packer-app/$(basename "$windows_pack")" "$work/packer-launcher.exe" <<'PYTHON' ||
import sys
import pefile

def version(path):
    image = pefile.PE(path)
    strings = {}
    for info in image.FileInfo[0]:
        for table in getattr(info, "StringTable", []):
            strings.update(table.entries)
    for name in (b"OriginalFilename", b"InternalName"):
        strings.pop(name, None)
    fixed = image.VS_FIXEDFILEINFO[0]
    return strings, fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS, fixed.ProductVersionLS

program, launcher = version(sys.argv[1]), version(sys.argv[2])
if program != launcher or len(program[0]) != 6:
    sys.exit(f"the program's version block: {program}\nthe launcher's: {launcher}")
PYTHON
  fail "the launcher's version block is not the program's"

# A launcher written into its application folder, into a folder of it that does not exist yet:
# the next run leaves it out of the pack, and says so.
cp -r "$app" "$work/inside"
for run in first second; do
  windows launcher --config "$config" --app "$work/inside" --level 1 \
    --out "$work/inside/release/Deck.exe" 2>"$work/$run.err" || fail "$(cat "$work/$run.err")"
done
grep -q "; left out: .*Deck.exe, which this run writes" "$work/second.err" ||
  fail "the summary does not say the output was left out: $(cat "$work/second.err")"
diff <(windows list "$work/inside/release/Deck.exe" | sed "s/\r$//") \
  <("$linux_pack" list "$reference") >&2 || fail "the launcher carries the one before it"

# A run killed while it compresses leaves neither its output nor its temporary file: the system
# removes the file when the process's handles close.
rm "$bulky/links/"{outside,back}
mkdir "$work/killed"
"$repo_root/scripts/wine-run" "$windows_pack" --quiet region --app "$bulky" --main report.exe \
  --level 19 --threads 1 --out "$work/killed/bulky.region" </dev/null &
packer=$!
# Bounds generous enough for a busy machine: the loops end as soon as the file is seen.
for _ in $(seq 1200); do
  [ -n "$(ls -A "$work/killed")" ] && break
  sleep 0.1
done
[ -n "$(ls -A "$work/killed")" ] || fail "no temporary file appeared"
kill -KILL "$packer"
wait "$packer" 2>/dev/null || true
for _ in $(seq 600); do
  [ -z "$(ls -A "$work/killed")" ] && break
  sleep 0.1
done
[ -z "$(ls -A "$work/killed")" ] || fail "a killed run left $(ls -A "$work/killed")"
cmake --install "$win_tree" --prefix "$work/prefix" >/dev/null
installed=$(cd "$work/prefix" && find . ! -type d | sed 's#^\./##' | LC_ALL=C sort)
[ "$installed" = "bin/tarnic-pack.exe
lib/cmake/Tarnic/TarnicConfig.cmake
lib/cmake/Tarnic/TarnicConfigVersion.cmake
lib/cmake/Tarnic/TarnicTargets-release.cmake
lib/cmake/Tarnic/TarnicTargets.cmake
lib/cmake/Tarnic/launchers.cmake
share/doc/tarnic/packaging.md" ] || fail "the installed Windows packer comes with $installed"
echo "the Windows packer writes what the Linux packer writes"
