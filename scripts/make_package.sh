#!/usr/bin/env bash
# Makes the Debian package from the install rule and checks it:
#   bash scripts/make_package.sh [BUILD-FOLDER]   (default: build) -> BUILD-FOLDER/vorel_<version>_<arch>.deb
# It sets up the machine, builds what the package holds, runs cpack, then lintian (an error or a
# warning fails) and a look inside: the files a desktop needs are there and Depends names every
# library the program opens by name. Install it with `apt install ./build/vorel_*.deb`.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
dir=${1:-build}

cmake -S . -B "$dir" -G Ninja >/dev/null
cmake --build "$dir" -j "$(nproc)" --target vorel bass vorel_icons vorel_docs
rm -f "$dir"/vorel_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls "$dir"/vorel_*.deb)

# root is how CI and the set-up run; lintian only warns about it.
lintian --fail-on error,warning "$deb" 2> >(grep -v 'running with root privileges' >&2)

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/vorel ./usr/lib/vorel/libbass.so ./usr/share/applications/vorel.desktop \
  ./usr/share/metainfo/org.vorel.vorel.metainfo.xml ./usr/share/icons/hicolor/scalable/apps/vorel.svg \
  ./usr/share/icons/hicolor/48x48/apps/vorel.png ./usr/share/man/man1/vorel.1.gz \
  ./usr/share/doc/vorel/copyright ./usr/share/doc/vorel/changelog.gz; do
  grep -qxF "$f" <<<"$contents" || { echo "make_package: $deb lacks $f" >&2; exit 1; }
done

depends=$(dpkg-deb -f "$deb" Depends)
named=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//')
for p in $(bash packaging/opened_library_packages.sh "$dir/bin/vorel" "$dir/bin/libbass.so"); do
  grep -qxF "$p" <<<"$named" || { echo "make_package: Depends lacks $p" >&2; exit 1; }
done
echo "make_package: $deb passes lintian; Depends: $depends"
