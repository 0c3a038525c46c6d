#!/bin/sh
# Stands in for chmod in the run command's tests, which the run calls on its copy of the game
# before it moves the copy in place: when ZB_TEST_COPY_GATE names a fifo, it says that it holds
# the run there and goes on only once a line comes from it (or the test's end closes the fifo),
# so that a test can stop the run while the copy stands. Then it does chmod's work.
if [ -n "${ZB_TEST_COPY_GATE:-}" ]; then
    echo "stand-in chmod holds the run" >&2
    read -r _ <"$ZB_TEST_COPY_GATE" || true
fi
command -p chmod "$@"
