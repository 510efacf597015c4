# Sourced by the scripts: a throw-away Wine prefix and, when needed, an Xvfb
# display, both stopped again by velmora_session_stop.
#   velmora_session_start STATE_DIR [headless|display]

WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
# The loader that makes the prefix and runs the tests' Wine commands: the
# 32-bit lane sets /usr/lib/wine/wine for its 32-bit prefixes (WINEARCH=win32).
export VELMORA_WINE=${VELMORA_WINE:-$WINE64}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe,mscoree,mshtml=d"

velmora_session_start() {
  local state_dir=$1 mode=${2:-headless}
  mkdir -p "$state_dir"
  state_dir=$(cd "$state_dir" && pwd)
  export WINEPREFIX="$state_dir/prefix"
  # Wine links the prefix's Desktop and Documents to $HOME: keep them in here.
  export HOME="$state_dir/home"
  export XDG_CONFIG_HOME="$HOME/.config"
  rm -rf "$WINEPREFIX" "$HOME"
  mkdir -p "$HOME/Desktop"

  VELMORA_XVFB_PID=
  if [ "$mode" = headless ] || [ -z "${DISPLAY:-}" ]; then
    local fd_file="$state_dir/xvfb.display"
    rm -f "$fd_file"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fd_file" </dev/null >/dev/null 2>&1 &
    VELMORA_XVFB_PID=$!
    local tries=0
    until [ -s "$fd_file" ]; do
      sleep 0.1
      tries=$((tries + 1))
      if [ $tries -gt 100 ]; then echo "Xvfb did not start" >&2; return 1; fi
    done
    export DISPLAY=":$(tr -d '\n' <"$fd_file")"
  fi

  # Long-lived Wine services inherit the first Wine process's output: start the
  # session detached so that nothing waits on them.
  "$WINESERVER" -p </dev/null >/dev/null 2>&1 &
  "$VELMORA_WINE" wineboot -i </dev/null >/dev/null 2>&1
  # Making a prefix leaves two service managers running, each with its own
  # view of the services, and clients reach one or the other in turn. The
  # prefix restarted once has one, as on Windows.
  "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
  "$WINESERVER" -w </dev/null >/dev/null 2>&1 || true
  "$WINESERVER" -p </dev/null >/dev/null 2>&1 &
  "$VELMORA_WINE" wineboot </dev/null >/dev/null 2>&1
  # Wine's own fonts (Tahoma, the dialog font; Symbol) are not where this
  # Wine looks for them: the prefix gets copies, as a Windows system has them.
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  # A crashing program ends at once instead of waiting in the debugger.
  "$VELMORA_WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Debugger /d '' /f </dev/null >/dev/null 2>&1
  "$VELMORA_WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Auto /d 0 /f </dev/null >/dev/null 2>&1
  # Wine's own crash dialog waits on the hidden display whatever the debugger
  # settings say: without it a fault ends the process with its code.
  "$VELMORA_WINE" reg add 'HKCU\Software\Wine\WineDbg' \
    /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
}

velmora_session_stop() {
  "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
  if [ -n "${VELMORA_XVFB_PID:-}" ]; then
    kill "$VELMORA_XVFB_PID" 2>/dev/null || true
    wait "$VELMORA_XVFB_PID" 2>/dev/null || true
  fi
}
