#!/usr/bin/env bash
# Runs a Windows test program in a Wine prefix of its own, whose local application data folder
# lies below a user folder named "Zoë😀". The prefix shares drive C: with the project's prefix
# but has copies of its registry, so that the setting never reaches the project's registry.
#
# Usage: in_private_prefix.sh <scratch parent folder> <test program>
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/env.sh"
scratch_parent=$1
program=$2

shared_prefix=$WINEPREFIX
scratch=$(mktemp -d "$scratch_parent/private-prefix.XXXXXX")
export WINEPREFIX=$scratch/prefix

# Ends the private prefix's own server (WINEPREFIX names it) and removes the prefix.
clean_up() {
  "$wine_server" -k 2>/dev/null || true
  "$wine_server" -w 2>/dev/null || true
  rm -rf "$scratch"
}
trap clean_up EXIT

mkdir -p "$WINEPREFIX/dosdevices"
ln -s "$shared_prefix/drive_c" "$WINEPREFIX/dosdevices/c:"
ln -s / "$WINEPREFIX/dosdevices/z:"
# With the update stamp the prefix counts as up to date, so Wine does not rebuild it.
cp "$shared_prefix/system.reg" "$shared_prefix/user.reg" "$shared_prefix/userdef.reg" \
  "$shared_prefix/.update-timestamp" "$WINEPREFIX/"

local_folder=$scratch/users/Zoë😀/AppData/Local
mkdir -p "$local_folder"
windows_local_folder="Z:${local_folder//\//\\}"

# A persistent server of the prefix's own; its services start on the null device.
"$wine_server" -p
"$wine_loader" cmd /c exit </dev/null >/dev/null 2>&1
"$wine_loader" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders' \
  /v 'Local AppData' /t REG_EXPAND_SZ /d "$windows_local_folder" /f >/dev/null
"$wine_loader" "$program"
