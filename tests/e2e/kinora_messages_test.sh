#!/usr/bin/env bash
# kinora in a real X server refuses what it cannot play: each refusal shows its box (found by
# its caption and dismissed with Return), says the same on standard error, opens no display
# window and ends with exit code 1.
#   kinora_messages_test.sh KINORA MAKE_PROJECT
source "$(dirname "$0")/harness.sh"
kinora=$1
make_project=$2

e2e_init kinora_messages
e2e_start_xvfb

caption="Error  ;-("

# refused NAME TEXT ARGS...: runs kinora with ARGS and expects the box with TEXT on stderr.
refused() {
  local name=$1 text=$2
  shift 2
  e2e_start "$name" "$kinora" "$@"
  local box
  box=$(e2e_wait_window "$caption" 60 "$E2E_PID")
  e2e_no_window "Rezud"
  e2e_dismiss "$box"
  e2e_wait_exit "$E2E_PID" 60
  e2e_expect "$E2E_STATUS" 1 "exit code of $name"
  e2e_expect_file_contains "$name.err" "$caption: $text" "$name"
  [ -z "$(ls OUT*.TGA 2>/dev/null)" ] || e2e_fail "$name saved frames"
}

"$make_project" one.kzm pictures=1
"$make_project" two.kzm pictures=2
head -c 1000 two.kzm >truncated.kzm
mkdir folder.kzm

refused no_argument "USE LIKE THIS:"
refused missing "Cannot find file!" missing.kzm
# The whole argument is the path, quotes and all.
refused quoted "Cannot find file!" '"two.kzm"'
refused one_picture "Cannot morph with less than two pictures!" one.kzm
# Paths that exist but hold no project that can be played.
refused directory "Cannot read this project file!" folder.kzm
refused truncated "Cannot read this project file!" truncated.kzm
if [ "$(id -u)" -ne 0 ]; then  # root reads any file whatever its permissions
  cp two.kzm locked.kzm
  chmod 000 locked.kzm
  refused locked "Cannot read this project file!" locked.kzm
fi
echo "kinora messages test passed"
