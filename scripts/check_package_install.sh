#!/usr/bin/env bash
# Installs the Debian package into a fresh Debian 12 root and uses it as a person would:
#   bash scripts/check_package_install.sh [DEB]   (as root; needs Debian's package mirror)
# A minimal root made by debootstrap gets the package with `apt install ./vorel_*.deb`, which
# must bring every library the program needs; a user there starts /usr/bin/vorel under Xvfb with
# a tone on its command line, and the sound written (to a file: the root has no sound device) must
# be that tone, the list must be kept in ~/.local/share/vorel, and `apt remove vorel` must leave
# no file of the package behind. Not part of the test suite: it downloads Debian's packages.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(realpath "${1:-$(ls build/vorel_*.deb)}")
root=$(mktemp -d /var/tmp/vorel-root.XXXXXX)
chmod 755 "$root"  # the new root's "/": every user there must pass through it
cleanup() {
  for m in dev/pts dev proc; do umount "$root/$m" 2>/dev/null || true; done
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT

debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian >/dev/null
cp /etc/resolv.conf "$root/etc/"
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
cp "$deb" "$root/root/"
ffmpeg -loglevel error -y -f lavfi -i "sine=frequency=440:duration=8" -b:a 128k "$root/tmp/tone.mp3"

chroot "$root" bash -euc '
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q >/dev/null
  apt-get install -y -q /root/'"$(basename "$deb")"' >/dev/null
  apt-get install -y -q --no-install-recommends xvfb xauth python3 >/dev/null
  /usr/bin/vorel --version
  dpkg -L vorel > /tmp/vorel-files.txt
  useradd -m listener
  su - listener -c "
    Xvfb :7 -screen 0 1024x768x24 >/dev/null 2>&1 & x=\$!
    sleep 1
    DISPLAY=:7 VOREL_AUDIO=wav:/tmp/out.wav vorel /tmp/tone.mp3 2>/dev/null & v=\$!
    sleep 6
    kill -TERM \$v; wait \$v
    kill \$x
    test -s ~/.local/share/vorel/播放列表.txt
    grep -qa /tmp/tone.mp3 ~/.local/share/vorel/播放列表.txt
  "
  # The file output is cut off at exit without its header sizes: read the samples after the header.
  python3 -c "
import struct
d = open(\"/tmp/out.wav\", \"rb\").read()[44:]
left = struct.unpack(\"<%dh\" % (len(d) // 2), d[: len(d) // 2 * 2])[0::2][44100:44100 * 4]
crossings = sum(1 for a, b in zip(left, left[1:]) if (a < 0) != (b < 0))
hz = crossings / 2 / 3
print(\"heard %.0f Hz\" % hz)
assert 430 < hz < 450, hz
"
  apt-get remove -y -q vorel >/dev/null
  while read -r f; do
    if [ -f "$f" ] || [ -L "$f" ]; then echo "left behind: $f" >&2; exit 1; fi
  done < /tmp/vorel-files.txt
'
echo "check_package_install: installed, played the tone, kept the list in ~/.local/share/vorel, removed cleanly"
