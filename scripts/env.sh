# Shared settings of the project's scripts; sourced, never run.
repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out_dir=$repo_root/out
host_tree=$out_dir/host
win_tree=$out_dir/win
third_party=$out_dir/third_party

# One private Wine prefix for every Windows program the project runs: no prompts for Mono or
# Gecko, no diagnostics of Wine's own on the programs' output.
export WINEPREFIX=${TARNIC_WINEPREFIX:-$out_dir/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine_loader=/usr/lib/wine/wine64
wine_server=/usr/lib/wine/wineserver
