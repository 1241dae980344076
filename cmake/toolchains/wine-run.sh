#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest: headless, quiet, in the given prefix, which is made
# on first use (wineboot -i, once, however many tests start at the same time).
#   wine-run.sh PREFIX PROGRAM.exe [ARGUMENTS...]
set -euo pipefail
prefix=$1
shift

wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
[[ -x $wine ]] || { echo "wine-run.sh: no Wine (Debian: apt-get install wine64)" >&2; exit 127; }

export WINEPREFIX=$prefix
# No display: Wine then opens no window, and the tests need none. No Mono or Gecko to install.
unset DISPLAY WAYLAND_DISPLAY
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# The mark is written once wineboot is done (Wine writes its registry files only when it stops).
ready=$prefix/.quorvane-ready
if [[ ! -f $ready ]]; then
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [[ ! -f $ready ]]; then
            "$wine" wineboot -i >/dev/null 2>&1 || true
            if [[ ! -f $prefix/drive_c/windows/system32/kernel32.dll ]]; then
                echo "wine-run.sh: wineboot made no prefix in $prefix" >&2
                exit 1
            fi
            touch "$ready"
        fi
    ) 9>"$prefix.lock"
fi
exec "$wine" "$@"
