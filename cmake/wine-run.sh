#!/bin/sh
# Runs a Windows test program under wine64 in the build's own throw-away
# prefix. The prefix is made by the test run itself (the wine_prefix test).
: "${SFX_WINEPREFIX:?}"
export WINEPREFIX="$SFX_WINEPREFIX"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# No display: message boxes return at once instead of waiting.
unset DISPLAY
exec "${SFX_WINE64:-wine64}" "$@"
