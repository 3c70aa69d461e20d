#!/bin/sh
# Runs each fuzz target for SECONDS seconds (default 60) over the seed corpus, the regression
# inputs and the corpus that earlier runs grew (build-fuzz/corpus/TARGET). Builds the "fuzz"
# preset first if needed. Exits non-zero on any finding; the input that broke a target is kept
# in build-fuzz/findings/TARGET/ (move it to fuzz/regressions/TARGET/ under a name that says
# what it does once the fault is mended) and its report in build-fuzz/fuzz-TARGET.log.
#   scripts/fuzz.sh [SECONDS]
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
case $seconds in
  '' | *[!0-9]* | 0)
    echo "usage: scripts/fuzz.sh [SECONDS]   (a whole number of seconds per target, at least 1)" >&2
    exit 2
    ;;
esac

scripts/deps.sh fuzz
[ -f build-fuzz/CMakeCache.txt ] || cmake --preset fuzz
cmake --build --preset fuzz
fuzz/make-seeds.sh build-fuzz/bin/koralux-gen build-fuzz/seeds
# The disk reader's seeds: small floppy disks (32 and 64 sectors) made by mformat holding two of
# those performances, one more under a long name in a subfolder, and a 720 KB image cut short.
disk_seeds=build-fuzz/seeds-disk
rm -rf "$disk_seeds" && mkdir -p "$disk_seeds"
songs=$(ls build-fuzz/seeds/*.evt | head -n 3)
for tracks in 2 4; do
  image=$disk_seeds/tracks$tracks.img
  mformat -C -i "$image" -t "$tracks" -h 2 -s 8 -v SEED ::
  mmd -i "$image" ::SUB
  slot=0
  for song in $songs; do
    if [ $slot -lt 2 ]; then
      mcopy -i "$image" "$song" "::MDR_0$slot.EVT"
    else
      mcopy -i "$image" "$song" "::SUB/A long name.evt"
    fi
    slot=$((slot + 1))
  done
done
mformat -C -i build-fuzz/disk720.img -f 720 ::
head -c 16384 build-fuzz/disk720.img >"$disk_seeds/cut720.img"

status=0
for target in reader conversion disk; do
  if [ "$target" = disk ]; then
    seeds=$disk_seeds max_len=65536 dict=
  else
    seeds=build-fuzz/seeds max_len=8192 dict=-dict=fuzz/performance.dict
  fi
  corpus=build-fuzz/corpus/$target
  findings=build-fuzz/findings/$target
  log=build-fuzz/fuzz-$target.log
  mkdir -p "$corpus" "$findings"
  echo "fuzz_$target: $seconds seconds ..."
  found=0
  mkdir -p "fuzz/regressions/$target"
  # shellcheck disable=SC2086 # $dict is one word or none
  if build-fuzz/bin/fuzz_$target -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
    -rss_limit_mb=2048 $dict -artifact_prefix="$findings/" \
    -print_final_stats=1 "$corpus" "$seeds" "fuzz/regressions/$target" >"$log" 2>&1; then
    :
  else
    found=1
  fi
  if grep -q 'Test unit written to' "$log"; then
    found=1
  fi
  # The figures: executions, time, edges covered, corpus size.
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log")
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]* corp: [0-9]*' "$log" | tail -n 1)
  if [ "$found" -eq 0 ]; then
    echo "fuzz_$target: ${runs:-?} executions in ${took:-?} s; ${cov:-?}"
  else
    status=1
    echo "fuzz_$target: FINDING after ${runs:-?} executions; the input is in $findings/," \
      "the report in $log:" >&2
    grep -E 'ERROR|property broken|SUMMARY|Test unit written' "$log" >&2 || tail -n 30 "$log" >&2
  fi
done
exit $status
