# Sourced by the Wine scripts: the environment every Wine process of a test
# run shares. $Q7_WINE_STATE is the folder the fixture keeps its state in.
: "${Q7_WINE_STATE:?Q7_WINE_STATE must name the Wine state folder of the build tree}"
export WINEPREFIX="$Q7_WINE_STATE/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
# sk_SK gives Wine the ANSI code page 1250 that the installer's texts use;
# the language scenarios choose another locale with Q7_WINE_LANG.
export LANG=${Q7_WINE_LANG:-sk_SK.UTF-8} LC_ALL=${Q7_WINE_LANG:-sk_SK.UTF-8}
if command -v wine64 >/dev/null 2>&1; then
  Q7_WINE=wine64
elif [ -x /usr/lib/wine/wine64 ]; then
  Q7_WINE=/usr/lib/wine/wine64
else
  Q7_WINE=wine
fi
Q7_WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)
if [ -s "$Q7_WINE_STATE/display" ]; then
  export DISPLAY=":$(cat "$Q7_WINE_STATE/display")"
fi
