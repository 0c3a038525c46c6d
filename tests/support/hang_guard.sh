# The one limit, in seconds, on how long a test script waits for something that must happen (a
# program's end, a window, a line of its trace). Only a hang reaches it: a busy machine never
# does. The C++ tests pass their own guard (tests/support/HangGuard.h) as ZB_HANG_GUARD, scaled
# for the sanitizer trees; run by hand, a script takes the plain tree's.
# shellcheck shell=sh
hang_guard=${ZB_HANG_GUARD:-300}
case $hang_guard in
  '' | *[!0-9]*) hang_guard=300 ;;
esac
