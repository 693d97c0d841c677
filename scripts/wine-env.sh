# Sourced by the scripts that run Windows programs: one wine prefix per build tree, quiet wine,
# code page 1251 for the wine processes, and a prefix prepared once (windows unmanaged, so that a
# destroyed window does not wait for a window manager).
#
#   . scripts/wine-env.sh
#   vle_wine_setup <build dir> <i686|x86_64>   exports WINEPREFIX, WINESERVER, VLE_WINE
#                                              Call it with DISPLAY already set to the display the
#                                              windows will use: the wine helpers it starts keep
#                                              the display they were started with.
#   vle_can_run_i386                           true when this kernel executes 32-bit programs

vle_can_run_i386() {
  [ -x /usr/lib/wine/wineserver32 ] && /usr/lib/wine/wineserver32 --version >/dev/null 2>&1
}

vle_wine_setup() {
  local build_dir=$1 arch=${2:-i686}
  export WINEPREFIX="$build_dir/wineprefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export LC_ALL=ru_RU.UTF-8
  if [ "$arch" = x86_64 ]; then
    export VLE_WINE=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
  else
    export VLE_WINE=wine WINESERVER=/usr/lib/wine/wineserver32
  fi
  # A server left over from an earlier run may serve a prefix that was since deleted.
  "$WINESERVER" -k >/dev/null 2>&1 || true
  if [ ! -f "$WINEPREFIX/.vle-ready" ]; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    timeout 300 "$VLE_WINE" wineboot -i >/dev/null 2>&1 || true
    "$VLE_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
    timeout 120 "$WINESERVER" -w || true
    touch "$WINEPREFIX/.vle-ready"
  fi
  # ctest would otherwise wait on the pipes that wineserver's helpers inherit.
  "$WINESERVER" -p >/dev/null 2>&1 </dev/null || true
  # Start wine's own helper processes now, with no pipes of ours to inherit.
  timeout 120 "$VLE_WINE" cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
}

vle_wine_teardown() { "${WINESERVER:-wineserver}" -k >/dev/null 2>&1 || true; }
