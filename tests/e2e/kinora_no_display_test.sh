#!/usr/bin/env bash
# kinora without any display: it says "No 3dfx hardware found." on standard error and ends
# with exit code 1 before it looks at its command line; --help and --version still answer.
#   kinora_no_display_test.sh KINORA MAKE_PROJECT
source "$(dirname "$0")/harness.sh"
kinora=$1
make_project=$2

e2e_init kinora_no_display
unset DISPLAY WAYLAND_DISPLAY
"$make_project" two.kzm pictures=2

# run NAME ARGS...: runs kinora to its end; exit code in $E2E_STATUS.
run() {
  local name=$1
  shift
  e2e_start "$name" "$kinora" "$@"
  e2e_wait_exit "$E2E_PID" 60
}

for args in "two.kzm" "" "missing.kzm"; do
  run play $args
  e2e_expect "$E2E_STATUS" 1 "exit code for '$args'"
  e2e_expect_file_contains play.err "Error   ;-(: No 3dfx hardware found." "'$args'"
  if grep -q "Error  ;-(" play.err; then e2e_fail "'$args' got past the hardware check"; fi
done

run help --help
e2e_expect "$E2E_STATUS" 0 "exit code of --help"
e2e_expect_file_contains help.out "USE LIKE THIS:" "--help"
e2e_expect_file_contains help.out " kinora file.kzm" "--help"
[ ! -s help.err ] || e2e_fail "--help wrote to standard error: $(cat help.err)"

run version --version
e2e_expect "$E2E_STATUS" 0 "exit code of --version"
grep -qE '^kinora [0-9]+\.[0-9]+\.[0-9]+$' version.out || e2e_fail "version: $(cat version.out)"

# A project file that happens to be called --help is played, not answered.
cp two.kzm ./--help
run named_help --help
e2e_expect "$E2E_STATUS" 1 "exit code for a file named --help"
e2e_expect_file_contains named_help.err "No 3dfx hardware found." "file named --help"
[ ! -s named_help.out ] || e2e_fail "a file named --help printed the usage"
echo "kinora no-display test passed"
