# Shared settings of the project's scripts; sourced, never run.
repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out_dir=$repo_root/out
# Other trees (a helper's own, say) replace the main ones through these two variables.
host_tree=${TARNIC_HOST_TREE:-$out_dir/host}
win_tree=${TARNIC_WIN_TREE:-$out_dir/win}
third_party=$out_dir/third_party

# One private Wine prefix for every Windows program the project runs: no prompts for Mono or
# Gecko, no diagnostics of Wine's own on the programs' output.
export WINEPREFIX=${TARNIC_WINEPREFIX:-$out_dir/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine_loader=/usr/lib/wine/wine64
wine_server=/usr/lib/wine/wineserver

# Starts a persistent Wine server for this prefix, which makes each Windows program start in a
# fraction of a second, and ends it on exit when this script started it (wineserver -p exits
# with 2 when a server of the prefix already runs; that one belongs to someone else). Wine's
# services start with the first program and would inherit its output: start them here, on the
# null device, so that they never hold a caller's pipe open.
start_wine_server() {
  local status=0
  "$wine_server" -p || status=$?
  case $status in
    0) trap '"$wine_server" -k || true' EXIT ;;
    2) ;;
    *) echo "wineserver -p failed with status $status" >&2; return 1 ;;
  esac
  "$wine_loader" cmd /c exit </dev/null >/dev/null 2>&1
}
