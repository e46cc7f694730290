#!/usr/bin/env bash
# Races the download engine against curl, aria2c and axel on one large file served by nginx on
# 127.0.0.1, unthrottled and with a per-connection limit_rate. Prints wall time and peak
# resident memory, the median of N runs each, and checks every downloaded file byte for byte.
#
#   bash bench/download/run.sh [path/to/download_driver] [size-MiB] [runs]
#
# Defaults: build/bin/download_driver, 256 MiB, 5 runs. nginx runs in the foreground with all
# its paths under a temporary folder and is stopped at the end.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
driver="${1:-$root/build/bin/download_driver}"
size_mib="${2:-256}"
runs="${3:-5}"
rate="${VOREL_BENCH_RATE:-20m}"

[ -x "$driver" ] || { echo "no driver at $driver (build the download_driver target)" >&2; exit 1; }
for tool in nginx curl python3; do
  command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || { echo "missing $tool" >&2; exit 1; }
done
nginx_bin="$(command -v nginx || echo /usr/sbin/nginx)"

work="$(mktemp -d /tmp/vorel-dl-bench-XXXXXX)"
nginx_pid=""
cleanup() {
  if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
mkdir -p "$work/www" "$work/out" "$work/tmp"
head -c "$((size_mib * 1024 * 1024))" /dev/urandom > "$work/www/file.bin"
chmod 644 "$work/www/file.bin"

read -r port_a port_b < <(python3 - <<'PY'
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*(x.getsockname()[1] for x in s))
PY
)

cat > "$work/nginx.conf" <<CONF
daemon off;
worker_processes 2;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 256; }
http {
  access_log off;
  sendfile on;
  client_body_temp_path $work/tmp/body;
  proxy_temp_path $work/tmp/proxy;
  fastcgi_temp_path $work/tmp/fastcgi;
  uwsgi_temp_path $work/tmp/uwsgi;
  scgi_temp_path $work/tmp/scgi;
  server { listen 127.0.0.1:$port_a; root $work/www; }
  server { listen 127.0.0.1:$port_b; root $work/www; limit_rate $rate; }
}
CONF
"$nginx_bin" -p "$work" -c "$work/nginx.conf" &
nginx_pid=$!
for _ in $(seq 1 100); do
  curl -s -o /dev/null "http://127.0.0.1:$port_a/file.bin" -r 0-0 && break
  sleep 0.05
done

# Runs one command; prints "seconds max-rss-KiB exit-code" of that child alone.
measure() {
  python3 - "$@" <<'PY'
import os, sys, time
start = time.monotonic()
pid = os.fork()
if pid == 0:
    devnull = os.open(os.devnull, os.O_WRONLY)
    os.dup2(devnull, 1)
    try:
        os.execvp(sys.argv[1], sys.argv[1:])
    finally:
        os._exit(127)
_, status, usage = os.wait4(pid, 0)
print(f"{time.monotonic() - start:.3f} {usage.ru_maxrss} {os.waitstatus_to_exitcode(status)}")
PY
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

tools=("engine-5x10240" "engine-5x20480" "curl")
command -v aria2c >/dev/null && tools+=("aria2c-x5-s5")
command -v axel >/dev/null && tools+=("axel-n5")

run_tool() {  # tool url output
  case "$1" in
    engine-5x10240) measure "$driver" "$2" "$3" 5 10240 ;;
    engine-5x20480) measure "$driver" "$2" "$3" 5 20480 ;;
    curl) measure curl -s -o "$3" "$2" ;;
    aria2c-x5-s5) measure aria2c -q -x5 -s5 --allow-overwrite=true -d "$(dirname "$3")" -o "$(basename "$3")" "$2" ;;
    axel-n5) measure axel -q -n 5 -o "$3" "$2" ;;
  esac
}

printf "%s MiB file, median of %s runs; peak RSS of the downloading process\n" "$size_mib" "$runs"
printf "%-16s %-14s %10s %12s\n" "server" "tool" "wall s" "peak RSS MB"
for server in "unthrottled:$port_a" "limit_rate-$rate:$port_b"; do
  name="${server%%:*}"; port="${server##*:}"
  url="http://127.0.0.1:$port/file.bin"
  for tool in "${tools[@]}"; do
    times=(); rss=()
    for _ in $(seq 1 "$runs"); do
      out="$work/out/$tool.bin"
      rm -f "$out" "$out.st" "$out.aria2"
      read -r seconds maxrss code < <(run_tool "$tool" "$url" "$out")
      if [ "$code" != 0 ] || ! cmp -s "$out" "$work/www/file.bin"; then
        echo "$tool on $name: exit $code or the file differs" >&2
        exit 1
      fi
      rm -f "$out"
      times+=("$seconds"); rss+=("$maxrss")
    done
    t="$(printf '%s\n' "${times[@]}" | median)"
    m="$(printf '%s\n' "${rss[@]}" | median)"
    awk -v n="$name" -v tool="$tool" -v t="$t" -v m="$m" \
      'BEGIN { printf "%-16s %-14s %10s %12.1f\n", n, tool, t, m / 1024 }'
  done
done
