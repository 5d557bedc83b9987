# Sourced by the scripts that run Windows programs under Wine: a prefix of
# their own under build-win64/, headless, Wine's debug output off, made on
# first use.
export WINEPREFIX=${HANHUA_WINEPREFIX:-$PWD/build-win64/wineprefix}
export WINEDEBUG=-all
# No Mono or Gecko: the programs are console programs, and their installers
# would ask through a dialog.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== Wine: creating the prefix $WINEPREFIX"
  wine_t=$SECONDS
  mkdir -p "$(dirname "$WINEPREFIX")"
  timeout 600 wine wineboot --init >/dev/null 2>&1
  timeout 120 wineserver -w
  echo "   (wineboot: $((SECONDS - wine_t)) s)"
fi
