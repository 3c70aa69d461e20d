#!/bin/sh
# Makes examples/demo.evt: 36 seconds with the rhythm unit at 112 beats per minute, an alignment
# marker after the first beat, upper (channel 1), lower (2), pedal (3) and percussion (15)
# playing, and the expression pedal moving. Run from the top of the source tree after a build:
#   examples/make-demo.sh [path/to/koralux-gen]
set -eu
generator="${1:-build/bin/koralux-gen}"
"$generator" examples/demo.evt --seed 2024 --seconds 36 --tempo 112
