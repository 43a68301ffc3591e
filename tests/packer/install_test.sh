#!/usr/bin/env bash
# The installed packer. `cmake --install` of the host tree gives the program, its CMake package
# and its documentation, and nothing else. A project of its own, outside this repository, packs
# a launcher through find_package(Tarnic) and tarnic_add_launcher(), with the icon and the
# exclude patterns given to the function, into a folder that the build does not make, with make
# and with ninja: again when a file of its application changes, is added or is removed, or when
# its configuration or icon changes, and not when nothing did or an excluded file changed.
#
# Usage: install_test.sh <host tree> <a 64-bit Windows program> <an icon file>
#                        <scratch parent folder>
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/test_lib.sh"
host_tree=$1
program=$2
icon=$3
work=$(mktemp -d "$4/installed.XXXXXX")
trap 'rm -rf "$work"' EXIT

prefix=$work/prefix
cmake --install "$host_tree" --prefix "$prefix" >/dev/null
installed=$(cd "$prefix" && find . ! -type d | sed 's#^\./##' | LC_ALL=C sort)
expected="bin/tarnic-pack
lib/cmake/Tarnic/TarnicConfig.cmake
lib/cmake/Tarnic/TarnicConfigVersion.cmake
lib/cmake/Tarnic/TarnicTargets-release.cmake
lib/cmake/Tarnic/TarnicTargets.cmake
lib/cmake/Tarnic/launchers.cmake
share/doc/tarnic/packaging.md"
[ "$installed" = "$expected" ] || fail "the prefix holds:
$installed"

# The project: an application folder, a configuration with an icon, and the launcher. An old
# minimum version, whose policies the package must not depend on.
project=$work/quillmark
mkdir -p "$project/dist/data" "$project/dist/help pages" "$project/packaging"
cp "$program" "$project/dist/Quillmark.exe"
echo "notes" >"$project/dist/data/notes.txt"
echo "symbols" >"$project/dist/Quillmark.pdb"
echo "<html></html>" >"$project/dist/help pages/index.html"
echo "old" >"$project/dist/help pages/index.bak"
cp "$icon" "$project/packaging/quillmark.ico"
cat >"$project/packaging/quillmark.toml" <<'EOF'
target_spec = '{CACHE_DIR}\Inkwell Labs\Quillmark\{VERSION}'
[version]
company = "Inkwell Labs"
product = "Quillmark Notes"
version = "3.1.0.0"
file_version = "3.1.0.7"
product_version = "3.1.0.0"
copyright = ""
[application]
main = "Quillmark.exe"
EOF
cat >"$project/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.16)
project(Quillmark NONE)
find_package(Tarnic 1.0 REQUIRED)
tarnic_add_launcher(quillmark OUTPUT release/Quillmark.exe CONFIG packaging/quillmark.toml APP dist
  ICON packaging/quillmark.ico EXCLUDE *.pdb "help pages/*.bak" LEVEL 1 THREADS 1)
EOF

# Builds, and tells whether the launcher was packed: the packer writes a new file each time.
build=
packed() {
  local before
  before=$(stat -c %i "$build/release/Quillmark.exe")
  cmake --build "$build" >"$work/build.log" 2>&1 || fail "the build failed: $(cat "$work/build.log")"
  [ "$(stat -c %i "$build/release/Quillmark.exe")" != "$before" ]
}

# Changes to files land after the launcher's time stamp even where the clock is coarse.
later() {
  sleep 0.1
  "$@"
}

for generator in "Unix Makefiles" Ninja; do
  build=$work/build-${generator// /-}
  cmake -S "$project" -B "$build" -G "$generator" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null ||
    fail "$generator: the project does not configure"
  cmake --build "$build" >"$work/build.log" 2>&1 || fail "$generator: $(cat "$work/build.log")"
  listing=$("$prefix/bin/tarnic-pack" list "$build/release/Quillmark.exe" | cut -c21-)
  [ "$listing" = "$(printf '%s\n' Quillmark.exe 'data\notes.txt' 'help pages\index.html')" ] ||
    fail "$generator: the launcher holds $listing"

  ! packed || fail "$generator: packed again with nothing changed"
  later touch "$project/dist/help pages/index.html"
  packed || fail "$generator: not packed again for a changed file"
  later touch "$project/dist/data/added.txt"
  packed || fail "$generator: not packed again for an added file"
  later rm "$project/dist/data/added.txt"
  packed || fail "$generator: not packed again for a removed file"
  later touch "$project/packaging/quillmark.toml"
  packed || fail "$generator: not packed again for a changed configuration"
  later touch "$project/packaging/quillmark.ico"
  packed || fail "$generator: not packed again for a changed icon"
  later touch "$project/dist/Quillmark.pdb"
  ! packed || fail "$generator: packed again for an excluded file"
done
echo "the installed packer packs a project's launcher, again only when its inputs change"
