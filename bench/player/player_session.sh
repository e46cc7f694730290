# Shared by the player benchmarks (sourced, not run): builds the player under the tree's build
# lock, copies it into a folder of its own with a play list of the songs given, and starts it
# under its own Xvfb with the silent output.
#
#   source bench/player/player_session.sh
#   BuildPlayer [--no-build]
#   PrepareWork                   -> $work (removed at exit), $work/app holds the program
#   WritePlayList FILE...         -> $work/app/播放列表.txt lists the files (full paths)
#   StartPlayer DISPLAY           -> $player (pid), $X $Y (window position)
#   ClickAt DX DY                 clicks at that offset in the main window

BuildPlayer() {
  for p in xvfb xdotool ffmpeg; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
      { apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$p"; }
  done
  [ "${1:-}" = --no-build ] && return 0
  flock /tmp/vorel-build.lock sh -c '[ -f build/build.ninja ] || cmake -S . -B build -G Ninja >/dev/null
    cmake --build build --target vorel bass >/dev/null' || { echo "build failed" >&2; exit 1; }
}

PrepareWork() {
  work=$(mktemp -d)
  xvfb= player=
  trap 'kill $xvfb $player 2>/dev/null; rm -rf "$work"' EXIT
  mkdir -p "$work/app"
  cp build/bin/vorel build/bin/libbass.so "$work/app/"
}

# One row of four records per file, in the list view's format.
WritePlayList() {
  python3 - "$work/app/播放列表.txt" "$@" <<'PY'
import os, struct, sys
out = b""
for path in sys.argv[2:]:
    for i, cell in enumerate(["本地文件", path, os.path.basename(path), ""]):
        out += (b"\x00" if i == 0 else b"\x01") + struct.pack("<iiii", -1, -1, 0, 0)
        out += cell.encode("gb18030") + b"\x00\x00"
open(sys.argv[1], "wb").write(out)
PY
}

StartPlayer() {
  Xvfb "$1" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY=$1 VOREL_AUDIO=null HOME=$work XDG_CONFIG_HOME=$work/.config
  sleep 1
  "$work/app/vorel" >/dev/null 2>&1 &
  player=$!
  local win=
  for i in $(seq 50); do
    win=$(xdotool search --onlyvisible --pid $player 2>/dev/null | head -1 || true)
    [ -n "$win" ] && break
    sleep 0.1
  done
  eval "$(xdotool getwindowgeometry --shell "$win")"
}

ClickAt() { xdotool mousemove $((X + $1)) $((Y + $2)) click 1; }
