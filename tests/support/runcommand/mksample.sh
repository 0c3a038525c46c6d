#!/bin/sh
# Stands in for the sample game's builder where a test needs only its folder: makes the game
# folder named by the first argument.
mkdir -p "$1"
