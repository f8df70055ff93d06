# What the shell tests share; sourced after `set -u`, with the tools a test needs as arguments:
# `fail`, a work folder `$work` removed (with every job left) at the end, `until_true` (polls a
# command line for up to 20 seconds) and `free_port` (a loopback port nobody answers on).
fail() { echo "FAIL: $*"; exit 1; }
for tool in "$@"; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/test.sh installs it)"
done
work=$(mktemp -d)
cleanup() { kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
until_true() { for _ in $(seq 200); do eval "$1" && return 0; sleep 0.1; done; return 1; }
free_port() {
  local p=$((20000 + RANDOM % 20000))
  while (: <"/dev/tcp/127.0.0.1/$p") 2>/dev/null; do p=$((20000 + RANDOM % 20000)); done
  echo "$p"
}
