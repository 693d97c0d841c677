# Sourced by the scripts that run Windows programs: one wine prefix per build tree and architecture,
# quiet wine, code page 1251 for the wine processes, and a prefix prepared once (windows unmanaged,
# so that a destroyed window does not wait for a window manager).
#
#   . scripts/wine-env.sh
#   vle_wine_setup <build dir> <i686|x86_64>   exports WINEPREFIX, WINEARCH, WINESERVER, VLE_WINE
#                                              Call it with DISPLAY already set to the display the
#                                              windows will use: the wine helpers it starts keep
#                                              the display they were started with.
#   vle_wine_teardown                          stops the wineserver that vle_wine_setup chose
#   vle_kernel_runs_i386                       true when this kernel executes 32-bit x86 programs
#   vle_can_run_i386                           true when it does and 32-bit wine is installed;
#                                              otherwise VLE_I386_REASON says why not
#
# The i686 tree uses the 32-bit loader and the 32-bit wineserver directly, never the `wine` and
# `wineserver` launchers: those pick the 64-bit server when wine64 is installed too, and the 32-bit
# server refuses a prefix that the other one made. CMakeLists.txt's test emulator names the same
# programs (VLE_WINE_DIR there, VLE_WINE_DIR here).

VLE_WINE_DIR=${VLE_WINE_DIR:-/usr/lib/wine}

# The wine programs of one architecture: sets VLE_WINE and WINESERVER.
vle_wine_programs() {
  if [ "$1" = x86_64 ]; then
    VLE_WINE=$VLE_WINE_DIR/wine64 WINESERVER=$VLE_WINE_DIR/wineserver64
  else
    VLE_WINE=$VLE_WINE_DIR/wine WINESERVER=$VLE_WINE_DIR/wineserver32
  fi
}

# A 93-byte 32-bit x86 ELF program that exits with status 42 (xor ebx,ebx; mov bl,42; xor eax,eax;
# inc eax; int 0x80). A kernel without 32-bit support answers "Exec format error" (status 126).
vle_kernel_runs_i386() {
  local dir status
  dir=$(mktemp -d "${TMPDIR:-/tmp}/vle-i386.XXXXXX") || return 1
  base64 -d >"$dir/probe" <<<'f0VMRgEBAQAAAAAAAAAAAAIAAwABAAAAVIAECDQAAAAAAAAAAAAAADQAIAABAAAAAAAAAAEAAAAAAAAAAIAECACABAhdAAAAXQAAAAUAAAAAEAAAMduzKjHAQM2A'
  chmod +x "$dir/probe"
  "$dir/probe" 2>/dev/null
  status=$?
  rm -rf "$dir"
  [ "$status" -eq 42 ]
}

vle_can_run_i386() {
  VLE_I386_REASON=""
  if ! vle_kernel_runs_i386; then
    VLE_I386_REASON="this kernel cannot execute 32-bit programs"
    return 1
  fi
  local VLE_WINE WINESERVER
  vle_wine_programs i686
  if [ ! -x "$VLE_WINE" ] || [ ! -x "$WINESERVER" ]; then
    VLE_I386_REASON="32-bit wine (wine32:i386) is not installed"
    return 1
  fi
  # The 32-bit server starts only when its i386 libraries are there too.
  if ! "$WINESERVER" --version >/dev/null 2>&1; then
    VLE_I386_REASON="32-bit wine is installed but $WINESERVER does not start"
    return 1
  fi
}

vle_wine_setup() {
  local build_dir=$1 arch=${2:-i686}
  export WINEPREFIX="$build_dir/wineprefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export LC_ALL=ru_RU.UTF-8
  vle_wine_programs "$arch"
  export VLE_WINE WINESERVER
  if [ "$arch" = x86_64 ]; then export WINEARCH=win64; else export WINEARCH=win32; fi
  # A server left over from an earlier run may serve a prefix that was since deleted.
  "$WINESERVER" -k >/dev/null 2>&1 || true
  # A prefix of the other architecture (made by an earlier version of this script, or by hand with
  # the `wine` launcher) cannot be used: start it anew.
  if [ -f "$WINEPREFIX/.vle-ready" ] && [ "$(cat "$WINEPREFIX/.vle-ready")" != "$WINEARCH" ]; then
    rm -f "$WINEPREFIX/.vle-ready"
  fi
  if [ ! -f "$WINEPREFIX/.vle-ready" ]; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    timeout 300 "$VLE_WINE" wineboot -i >/dev/null 2>&1 || true
    "$VLE_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
    timeout 120 "$WINESERVER" -w || true
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "wine-env: $VLE_WINE could not make the $WINEARCH prefix $WINEPREFIX" >&2
      return 1
    fi
    echo "$WINEARCH" >"$WINEPREFIX/.vle-ready"
  fi
  # ctest would otherwise wait on the pipes that wineserver's helpers inherit.
  "$WINESERVER" -p >/dev/null 2>&1 </dev/null || true
  # Start wine's own helper processes now, with no pipes of ours to inherit.
  timeout 120 "$VLE_WINE" cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
}

vle_wine_teardown() {
  [ -n "${WINESERVER:-}" ] && "$WINESERVER" -k >/dev/null 2>&1
  return 0
}
