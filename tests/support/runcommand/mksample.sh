#!/bin/sh
# Stands in for the sample game's builder: says what it was asked to build from what, makes that
# game folder and, when ZB_TEST_SAMPLE names a game folder built before, copies its files in.
echo "stand-in sample build of $1 from $2" >&2
mkdir -p "$1"
if [ -n "${ZB_TEST_SAMPLE:-}" ]; then
    cp -R "$ZB_TEST_SAMPLE/." "$1/"
fi
