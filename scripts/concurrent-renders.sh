#!/bin/sh
# Runs that share one program folder must not disturb each other. Renders a
# photo with four seeds at once, ROUNDS times, each with a project and a
# PostScript file, and compares every file with the same render run alone.
# A second part keeps a long render going while ten short runs start and end
# beside it, and checks its project.
#
# usage: scripts/concurrent-renders.sh BUILD PHOTO [ROUNDS] [STEPS]
set -eu
cli="$1/src/cli/brellin-cli"
photo=$(realpath "$2")
rounds="${3:-25}"
steps="${4:-20000}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export BRELLIN_HOME="$work/home"
mkdir -p "$BRELLIN_HOME"
cp "$(dirname "$0")"/../data/*.srd "$(dirname "$0")"/../data/*.bst "$BRELLIN_HOME"/

vectors() { "$cli" info "$1" --json | sed 's/.*"vectors": \([0-9]*\).*/\1/'; }

mkdir "$work/alone"
for s in 1 2 3 4; do
  "$cli" render "$photo" --seed $s --steps "$steps" -o "$work/alone/r$s.jpg" \
    --project "$work/alone/r$s.bpj" --ps "$work/alone/r$s.ps" --quiet
done
echo "alone: vectors $(for s in 1 2 3 4; do vectors "$work/alone/r$s.bpj"; done | tr '\n' ' ')"

bad=0
round=1
while [ "$round" -le "$rounds" ]; do
  d="$work/round"
  rm -rf "$d" && mkdir "$d"
  for s in 1 2 3 4; do
    "$cli" render "$photo" --seed $s --steps "$steps" -o "$d/r$s.jpg" \
      --project "$d/r$s.bpj" --ps "$d/r$s.ps" --quiet &
  done
  wait
  for s in 1 2 3 4; do
    for ext in bpj ps jpg; do
      if ! cmp -s "$d/r$s.$ext" "$work/alone/r$s.$ext"; then
        echo "round $round: r$s.$ext differs (vectors $(vectors "$d/r$s.bpj"))"
        bad=$((bad + 1))
      fi
    done
  done
  round=$((round + 1))
done
echo "concurrent: $rounds rounds, $bad files differing from the render alone"

# A long render beside ten short runs, against the same render alone.
d="$work/long"
mkdir "$d"
"$cli" render "$photo" --seed 1 --steps $((steps * 4)) -o "$work/alone/long.jpg" \
  --project "$work/alone/long.bpj" --ps "$work/alone/long.ps" --quiet
"$cli" render "$photo" --seed 1 --steps $((steps * 4)) -o "$d/long.jpg" \
  --project "$d/long.bpj" --ps "$d/long.ps" --quiet &
long=$!
sleep 1
for i in 1 2 3 4 5 6 7 8 9 10; do
  "$cli" render "$photo" --seed $i --steps 200 -o "$d/s$i.jpg" --project "$d/s$i.bpj" --quiet
done
wait $long
for ext in bpj ps jpg; do
  if ! cmp -s "$d/long.$ext" "$work/alone/long.$ext"; then
    echo "long render: long.$ext differs"
    bad=$((bad + 1))
  fi
done
echo "long render beside ten short ones: $(vectors "$d/long.bpj") vectors"
[ "$bad" -eq 0 ]
