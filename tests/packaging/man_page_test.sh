#!/usr/bin/env bash
# The manual page keeps up with the program: every option and every environment variable that
# `vorel --help` names is in the page, and man renders the page without a warning.
#   man_page_test.sh PROGRAM PAGE
set -euo pipefail
program=$1
page=$2

help=$("$program" --help)
# In roff, "\-" is a minus sign; the page as a reader sees it has plain hyphens.
text=$(sed 's/\\-/-/g' "$page")

# Option lines are indented and begin with a dash; the names end where two spaces begin.
options=$(sed -nE 's/^ +(-[^ ]*(, -[^ ]*)*|--)( {2,}.*)?$/\1/p' <<<"$help" | tr ',' '\n' | tr -d ' ')
variables=$(grep -oE '\bVOREL_[A-Z_]+' <<<"$help" | sort -u)
[ -n "$options" ] || { echo "no option found in the help text" >&2; exit 1; }

missing=0
for word in $options $variables; do
  if ! grep -qE -- "(^|[^-A-Za-z_])${word}([^-A-Za-z_]|$)" <<<"$text"; then
    echo "the manual page does not mention $word" >&2
    missing=1
  fi
done

warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null || true)
if [ -n "$warnings" ]; then
  echo "man warns about the page:" >&2
  echo "$warnings" >&2
  missing=1
fi
[ "$missing" -eq 0 ] && echo "the manual page covers: $(echo $options $variables)"
