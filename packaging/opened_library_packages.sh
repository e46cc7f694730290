#!/usr/bin/env bash
# Prints the Debian packages that hold the shared libraries the given programs name, one a line.
#
# Vorel opens libmpg123, libsoxr, FFmpeg, SDL, FFTW, libcurl, OpenSSL and the sound server's
# client library by name when it first needs them, so dpkg-shlibdeps, which reads only the
# programs' link records, never sees them. Every such name is a literal "libNAME.so.N" in the
# program's read-only data, so the packages are found from the built files themselves: a library
# opened by name in a later version cannot be left out of the package's dependencies by oversight.
#
#   opened_library_packages.sh FILE...   (exit 1, naming the library, when one has no package)
set -euo pipefail

sonames=$(strings -a "$@" | grep -oP 'lib[\w+-]+(-[\d.]+)?\.so\.\d+(?![\w.])' | sort -u || true)
machine=$(dpkg --print-architecture)
cache=$(ldconfig -p)

package_of() {
  local path=$1 candidate owner
  # The soname is a link to the real file; dpkg may have recorded either, under /lib or /usr/lib.
  for candidate in "$path" "$(readlink -f "$path")"; do
    for variant in "$candidate" "${candidate#/usr}" "/usr${candidate}"; do
      if owner=$(dpkg -S "$variant" 2>/dev/null); then
        echo "${owner%%:*}"
        return 0
      fi
    done
  done
  return 1
}

for soname in $sonames; do
  path=$(awk -v n="$soname" '$1 == n { print $NF; exit }' <<<"$cache")
  if [ -z "$path" ]; then
    echo "opened_library_packages: $soname is named by the program but not installed here" >&2
    exit 1
  fi
  if ! package_of "$path"; then
    echo "opened_library_packages: no installed package holds $path ($soname, $machine)" >&2
    exit 1
  fi
done | sort -u
