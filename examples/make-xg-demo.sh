#!/bin/sh
# Makes examples/xg-demo.evt: 40 seconds "with XG support" at 104 beats per minute: the organ's
# upper (channel 1), lower (2), pedal (3) and percussion (15) parts, a backing for the organ's XG
# tone generator on channels 5 (chords), 6 (bass), 7 (pad) and 10 (drums) with its set-up
# messages, voice changes and pitch bends, and registration changes on channel 16. Run from the
# top of the source tree after a build:
#   examples/make-xg-demo.sh [path/to/koralux-gen]
set -eu
generator="${1:-build/bin/koralux-gen}"
"$generator" examples/xg-demo.evt --xg --seed 2025 --seconds 40 --tempo 104
