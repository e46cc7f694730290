#!/usr/bin/env bash
# Races the download engine against curl, aria2c and axel on one large file served by nginx on
# 127.0.0.1, over http and over https (a certificate authority and server certificate the script
# makes, trusted by every tool through its own option), unthrottled and with a per-connection
# limit_rate. Prints wall time and peak resident memory, the median of N runs each, and checks
# every downloaded file byte for byte.
#
#   bash bench/download/run.sh [path/to/download_driver] [size-MiB] [runs]
#
# VOREL_BENCH_BASELINE=path/to/another/download_driver adds that driver (an earlier build, say)
# to the http rows of the same run; VOREL_BENCH_ONLY=http or https runs only those rows.
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
[ -x /usr/bin/time ] || { echo "missing GNU time (/usr/bin/time)" >&2; exit 1; }
for tool in nginx curl python3 openssl; do
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

# The certificate authority every tool is told to trust, and the server's certificate.
key_opts=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2)
openssl req -x509 "${key_opts[@]}" -keyout "$work/ca.key" -out "$work/ca.pem" \
  -subj /CN=bench-authority -addext basicConstraints=critical,CA:TRUE \
  -addext keyUsage=critical,keyCertSign 2>/dev/null
openssl req -x509 "${key_opts[@]}" -keyout "$work/server.key" -out "$work/server.pem" \
  -CA "$work/ca.pem" -CAkey "$work/ca.key" -subj /CN=localhost \
  -addext subjectAltName=DNS:localhost,IP:127.0.0.1 2>/dev/null

read -r port_a port_b port_c port_d < <(python3 - <<'PY'
import socket
s = [socket.socket() for _ in range(4)]
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
  ssl_certificate $work/server.pem;
  ssl_certificate_key $work/server.key;
  server { listen 127.0.0.1:$port_c ssl; root $work/www; }
  server { listen 127.0.0.1:$port_d ssl; root $work/www; limit_rate $rate; }
}
CONF
"$nginx_bin" -p "$work" -c "$work/nginx.conf" &
nginx_pid=$!
for _ in $(seq 1 100); do
  curl -s -o /dev/null "http://127.0.0.1:$port_a/file.bin" -r 0-0 && break
  sleep 0.05
done

# Runs one command; prints "seconds max-rss-KiB exit-code" of that command alone. The peak
# resident size comes from GNU time, a small process that forks the command: a fork of this
# python interpreter would count the interpreter's own 10 MB into every tool's peak.
measure() {
  python3 - "$@" <<'PY'
import os, sys, tempfile, time
fd, report = tempfile.mkstemp()
os.close(fd)
start = time.monotonic()
pid = os.fork()
if pid == 0:
    devnull = os.open(os.devnull, os.O_WRONLY)
    os.dup2(devnull, 1)
    try:
        os.execv("/usr/bin/time", ["/usr/bin/time", "-f", "%M", "-o", report] + sys.argv[1:])
    finally:
        os._exit(127)
_, status, _ = os.wait4(pid, 0)
elapsed = time.monotonic() - start
with open(report) as f:
    rss = f.read().split()[-1]
os.unlink(report)
print(f"{elapsed:.3f} {rss} {os.waitstatus_to_exitcode(status)}")
PY
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

tools=("engine-5x10240" "engine-5x20480" "curl")
command -v aria2c >/dev/null && tools+=("aria2c-x5-s5")
command -v axel >/dev/null && tools+=("axel-n5")

# Each tool trusts the benchmark's authority: the engine through OpenSSL's SSL_CERT_FILE, curl
# and aria2c through their own options. axel's host name check refuses every certificate of a
# loopback server ("Hostname verification failed", whatever the name), so it runs with -k; the
# check costs one comparison per connection, nothing a timing could show.
run_tool() {  # tool url output
  case "$1" in
    baseline-5x10240) measure "$VOREL_BENCH_BASELINE" "$2" "$3" 5 10240 ;;
    engine-5x10240) SSL_CERT_FILE="$work/ca.pem" measure "$driver" "$2" "$3" 5 10240 ;;
    engine-5x20480) SSL_CERT_FILE="$work/ca.pem" measure "$driver" "$2" "$3" 5 20480 ;;
    curl) measure curl -s --cacert "$work/ca.pem" -o "$3" "$2" ;;
    aria2c-x5-s5) measure aria2c -q -x5 -s5 --ca-certificate="$work/ca.pem" --allow-overwrite=true -d "$(dirname "$3")" -o "$(basename "$3")" "$2" ;;
    axel-n5)
      if [ "${2%%:*}" = https ]; then measure axel -q -k -n 5 -o "$3" "$2"
      else measure axel -q -n 5 -o "$3" "$2"; fi ;;
  esac
}

printf "%s MiB file, median of %s runs; peak RSS of the downloading process\n" "$size_mib" "$runs"
printf "%-22s %-14s %10s %12s\n" "server" "tool" "wall s" "peak RSS MB"
servers=("http:unthrottled:$port_a" "http:limit_rate-$rate:$port_b"
         "https:unthrottled:$port_c" "https:limit_rate-$rate:$port_d")
[ -n "${VOREL_BENCH_ONLY:-}" ] && servers=($(printf '%s\n' "${servers[@]}" | grep "^$VOREL_BENCH_ONLY:"))
for server in "${servers[@]}"; do
  scheme="${server%%:*}"; rest="${server#*:}"
  name="$scheme-${rest%%:*}"; port="${rest##*:}"
  # https by name: axel checks a host name only, not an address.
  host=127.0.0.1; [ "$scheme" = https ] && host=localhost
  url="$scheme://$host:$port/file.bin"
  row_tools=("${tools[@]}")
  [ -n "${VOREL_BENCH_BASELINE:-}" ] && [ "$scheme" = http ] && row_tools=(baseline-5x10240 "${tools[@]}")
  # The tools take turns run by run, so a change in the machine's load weighs on all alike.
  declare -A times=() rss=()
  for _ in $(seq 1 "$runs"); do
    for tool in "${row_tools[@]}"; do
      out="$work/out/$tool.bin"
      rm -f "$out" "$out.st" "$out.aria2"
      read -r seconds maxrss code < <(run_tool "$tool" "$url" "$out")
      if [ "$code" != 0 ] || ! cmp -s "$out" "$work/www/file.bin"; then
        echo "$tool on $name: exit $code or the file differs" >&2
        exit 1
      fi
      rm -f "$out"
      times[$tool]+="$seconds "; rss[$tool]+="$maxrss "
    done
  done
  for tool in "${row_tools[@]}"; do
    t="$(printf '%s\n' ${times[$tool]} | median)"
    m="$(printf '%s\n' ${rss[$tool]} | median)"
    awk -v n="$name" -v tool="$tool" -v t="$t" -v m="$m" \
      'BEGIN { printf "%-22s %-14s %10s %12.1f\n", n, tool, t, m / 1024 }'
  done
done
