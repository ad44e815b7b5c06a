#!/usr/bin/env bash
# The quick verification cases (about half a minute on 2 cores): EA
# benchmark tests 1, 3 and 6A (at both dry depths), Ritter's dam break at
# 200 and 2000 cells, Thacker's bowl in first order, the plane aligned
# with the grid and the bump with a standing jump (which must settle).
# Fails only on the checks that gate (cases.py); prints the table of every
# check.
#   bash verification_quick.sh <path to quellfax> <source dir>
set -uo pipefail
[ $# -ge 2 ] || { echo "usage: bash $0 <path to quellfax> <source dir>" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/qf-verification.XXXXXX")
trap 'rm -rf "$work"' EXIT
rc=0
bash "$(dirname "$0")/run_all.sh" "$1" "$2" "$work" ea1 ea3 ea6a ea6a_dry ritter200 ritter2000 \
  thacker1 plane0 bump || rc=$?
[ -f "$work/results.md" ] && cat "$work/results.md"
exit $rc
