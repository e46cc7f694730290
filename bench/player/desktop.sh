# Sourced by the desktop benchmarks: a private desktop for the players they measure. Defines
#   desktop_start DISPLAY SECONDS   a fresh folder $work (Vorel's program and libbass.so copied
#                                   to $work/app, HOME and the XDG folders inside it), a song
#                                   $work/song.mp3 of SECONDS (440 Hz and pink noise, 48 kHz,
#                                   128 kbit/s), an Xvfb on DISPLAY ($xvfb) and a PulseAudio on a
#                                   null sink ($server) that PULSE_SERVER names
# and an EXIT trap that ends $player, $server and $xvfb and removes $work.
work= xvfb= server= player=
trap 'kill $player $server $xvfb 2>/dev/null; wait 2>/dev/null; [ -z "$work" ] || rm -rf "$work"' EXIT

desktop_start() {
  work=$(mktemp -d)
  mkdir -p "$work/app" "$work/runtime"
  chmod 700 "$work/runtime"
  cp build/bin/vorel build/bin/libbass.so "$work/app/"
  # Pages of a file written moments ago and not yet on disk count as private dirty memory of
  # every process that maps them: the copies are written out first, or Vorel's figures would
  # carry its own program file (about 1 MiB) until the kernel flushes it half a minute later.
  sync "$work/app/vorel" "$work/app/libbass.so"
  export HOME=$work XDG_CONFIG_HOME=$work/.config XDG_DATA_HOME=$work/.local/share
  export XDG_RUNTIME_DIR=$work/runtime
  unset VOREL_AUDIO DBUS_SESSION_BUS_ADDRESS
  ffmpeg -nostdin -v error -y -f lavfi -i "sine=frequency=440:duration=$2" \
    -f lavfi -i "anoisesrc=color=pink:amplitude=0.2:duration=$2" \
    -filter_complex amix=inputs=2 -ac 2 -ar 48000 -c:a libmp3lame -b:a 128k "$work/song.mp3"

  Xvfb ":$1" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY=:$1
  cat > "$work/server.pa" <<PA
load-module module-null-sink sink_name=bench rate=44100
load-module module-native-protocol-unix auth-anonymous=1 socket=$work/native
set-default-sink bench
PA
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
    -F "$work/server.pa" >/dev/null 2>&1 &
  server=$!
  export PULSE_SERVER=unix:$work/native
  for i in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  sleep 1
}
