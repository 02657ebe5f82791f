# Sourced by the e2e and run scripts: the Wine settings every Kelp prefix uses.
# shellcheck shell=bash

export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer prompts while a prefix is made.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# Host printers must not leak into a prefix: Wine imports CUPS printers when
# the spooler first loads. Point CUPS at a server that does not exist.
export CUPS_SERVER=/nonexistent/kelp-no-cups.sock

# make_prefix <win32|win64> <dir>: a fresh prefix by the recipe of design.md:
# wineboot -i, and the X11 driver drawing its own captions (no window
# manager under Xvfb).
make_prefix() {
  local arch=$1 dir=$2
  case "$arch" in win32|win64) ;; *) echo "unknown architecture: $arch" >&2; return 2 ;; esac
  rm -rf "$dir"
  mkdir -p "$(dirname "$dir")"
  (
    export WINEPREFIX=$dir WINEARCH=$arch
    unset DISPLAY
    wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
    # The dialogs ask for "宋体" (SimSun), which Windows always has. Here it is
    # WenQuanYi Micro Hei in every locale, so Chinese texts render (not as
    # boxes) under en_US too and the layout is the same in both languages.
    local face
    for face in 宋体 SimSun; do
      LC_ALL=C.UTF-8 wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" \
        /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
    done
    # Windows links its UI faces to CJK fonts, so a Chinese caption shows in
    # any locale; Wine sets no such link outside CJK locales.
    for face in Tahoma 'Tahoma Bold' 'MS Shell Dlg' 'Microsoft Sans Serif'; do
      wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$face" \
        /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1
    done
    # A program that crashes ends at once, its backtrace on stderr, instead
    # of waiting behind Wine's crash dialog until the run's time is up.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    mirror_windows_keys
    timeout 60 wineserver -w
  )
  # Wine's own fonts (Marlett draws the caption buttons, Tahoma is the
  # default GUI face) are not found in this Wine build's data folder; the
  # prefix's Fonts folder is always searched.
  local fonts=/usr/share/wine/fonts
  if [ -d "$fonts" ]; then
    cp -n "$fonts"/*.ttf "$fonts"/*.ttc "$dir/drive_c/windows/Fonts/" 2>/dev/null || true
  fi
  [ -f "$dir/system.reg" ] && grep -q '"Managed"="N"' "$dir/user.reg" && grep -q '"Decorated"="N"' "$dir/user.reg" &&
    grep -q '^\[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\Windows\]' "$dir/user.reg"
}

# mirror_windows_keys: registry keys that every Windows has and a fresh Wine
# prefix lacks, made in $WINEPREFIX. HKCU\...\CurrentVersion\Windows holds
# the user's default printer ("Device"); a program that writes the value
# expects the key to be there. Idempotent.
mirror_windows_keys() {
  wine reg add 'HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows' /f >/dev/null 2>&1
}

# start_xvfb: starts an Xvfb on a display it picks itself (-displayfd: no
# race between parallel runs); exports DISPLAY and sets XVFB_PID.
start_xvfb() {
  local fdfile
  fdfile=$(mktemp)
  Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp -noreset 9>"$fdfile" >/dev/null 2>&1 &
  XVFB_PID=$!
  local _ number
  for _ in $(seq 1 100); do
    if [ -s "$fdfile" ] && grep -q '^[0-9]' "$fdfile"; then
      number=$(head -n1 "$fdfile" | tr -d '[:space:]')
      export DISPLAY=":$number"
      rm -f "$fdfile"
      return 0
    fi
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$fdfile"
  echo "Xvfb did not start" >&2
  return 1
}
