# Shared part of the verification scripts (sourced, not run on its own):
#   bash <script>.sh <path to quellfax> <source dir>
# Sets QF (the program), SRC (the source tree), WORK (a scratch directory,
# removed at exit) and PYTHONPATH (for resultfile.py); gives fail, note and
# run_model.
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: bash $0 <path to quellfax> <source dir>" >&2
  exit 2
fi
QF=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
SRC=$(cd "$2" && pwd)
if [ ! -x "$QF" ]; then
  echo "FAIL: no program at $QF" >&2
  exit 1
fi
command -v python3 >/dev/null || { echo "FAIL: python3 is needed" >&2; exit 1; }
WORK=$(mktemp -d "${TMPDIR:-/tmp}/qf-verify.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export PYTHONPATH="$SRC/tests/driver${PYTHONPATH:+:$PYTHONPATH}"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

note() {
  echo "  $*"
}

# run_model DIR COMMANDFILE [ARGS...]: runs the program quietly in DIR; the
# screen output goes to DIR/screen.txt. Fails unless the exit status is 0 and
# the run ended with the termination line.
run_model() {
  local dir=$1 cmd=$2
  shift 2
  local rc=0
  (cd "$dir" && "$QF" -q "$cmd" "$@" </dev/null >screen.txt 2>&1) || rc=$?
  if [ "$rc" -ne 0 ]; then
    tail -20 "$dir/screen.txt" >&2 || true
    [ -f "$dir/out" ] && tail -20 "$dir/out" >&2
    fail "$cmd: exit status $rc"
  fi
  grep -q "^ >hvx terminated" "$dir/screen.txt" || fail "$cmd: no termination line on the screen"
}
