#!/bin/sh
# Runs a command in a network namespace of its own, with only the loopback interface, up. Tests that
# bind the program's fixed ports run this way, so two test runs on one machine never meet.
# Root needs only the new network namespace; any other user gets it inside a user namespace of
# their own (unshare -r). Fails, without running the command, where the machine allows neither.
set -e
if [ "$(id -u)" -eq 0 ]; then
  flags=-n
else
  flags=-rn
fi
exec unshare "$flags" -- sh -c 'ip link set lo up && exec "$@"' in-netns "$@"
