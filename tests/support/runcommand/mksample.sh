#!/bin/sh
# Stands in for the sample game's builder: says what it was asked to build from what, makes that
# game folder and, when ZB_TEST_SAMPLE names a game folder built before, copies its files into a
# folder that has no data yet. Data already there stays untouched, as the real builder leaves
# files that hold their bytes, since a game may be running on them.
echo "stand-in sample build of $1 from $2" >&2
mkdir -p "$1"
if [ -n "${ZB_TEST_SAMPLE:-}" ] && [ ! -e "$1/ZB.pak" ]; then
    cp -R "$ZB_TEST_SAMPLE/." "$1/"
fi
