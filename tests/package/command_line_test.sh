# The command line as a user meets it, without any X display: --help and --version print on
# standard output and end with 0, an unknown option or a bad value says why on standard error,
# points to --help and ends with 2, and output that cannot be written ends with 1 instead of
# claiming success.
#
#   command_line_test.sh GAME VERSION
set -u
game=$1
version=$2
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# A rejected command line leaves two lines on standard error: why, then where the help is (not
# the help itself, which would bury the why in a terminal).
expect_hint_only() {
  [ "$(wc -l <"$err")" -eq 2 ] || fail "$1: not two lines on standard error: $(cat "$err")"
  [ "$(sed -n 2p "$err")" = "Try 'vostrandelimerix --help' for more information." ] ||
    fail "$1: no pointer to --help: $(sed -n 2p "$err")"
}

# Runs the game without a display; sets status, and the files $out and $err.
run() {
  env -u DISPLAY "$game" "$@" >"$out" 2>"$err" </dev/null
  status=$?
}

for option in --help -h; do
  run "$option"
  [ "$status" -eq 0 ] || fail "$option: status $status"
  [ ! -s "$err" ] || fail "$option: wrote to standard error: $(cat "$err")"
  head -1 "$out" | grep -qx 'Usage: vostrandelimerix \[OPTION\]\.\.\.' ||
    fail "$option: no usage line: $(head -1 "$out")"
  for expected in 'chess deduction puzzle' 'Alt+Enter' 'Esc' '--windowed' '--version' \
    '--scale=' '--aspect=' '--window-scale=' '--seed=' '--puzzle='; do
    grep -qF -- "$expected" "$out" || fail "$option: '$expected' missing from the help"
  done
done

run --version
[ "$status" -eq 0 ] || fail "--version: status $status"
[ "$(cat "$out")" = "vostrandelimerix $version" ] || fail "--version printed '$(cat "$out")'"
[ ! -s "$err" ] || fail "--version: wrote to standard error"

# The first decisive option wins, even before a window option.
run --windowed --version
[ "$status" -eq 0 ] && [ "$(cat "$out")" = "vostrandelimerix $version" ] ||
  fail "--windowed --version: status $status, '$(cat "$out")'"

for bad in --bogus -x --windowed=yes; do
  run "$bad" --help
  [ "$status" -eq 2 ] || fail "$bad: status $status, expected 2"
  [ ! -s "$out" ] || fail "$bad: wrote to standard output"
  head -1 "$err" | grep -qxF -- "vostrandelimerix: unknown option '$bad'" ||
    fail "$bad: not named: $(head -1 "$err")"
  expect_hint_only "$bad"
done

# A bad value says which option and why, then where the help is, before any display is needed.
for bad in --seed=65536 --seed=x --puzzle=OOOOOO --scale=big --aspect=16:9 --window-scale=0; do
  run "$bad"
  [ "$status" -eq 2 ] || fail "$bad: status $status, expected 2"
  head -1 "$err" | grep -qF -- "'$bad': ${bad%%=*} takes" || fail "$bad: no reason: $(head -1 "$err")"
  expect_hint_only "$bad"
done

if [ -w /dev/full ]; then
  env -u DISPLAY "$game" --version >/dev/full 2>/dev/null </dev/null
  status=$?
  [ "$status" -eq 1 ] || fail "--version into a full device: status $status, expected 1"
elif [ "${VOST_REQUIRE_ALL_TESTS:-}" = 1 ]; then
  fail "no writable /dev/full: output that cannot be written is not checked"
fi

[ "$failures" -eq 0 ] || exit 1
echo "PASS: help, version, unknown options, bad values, unwritable output"
