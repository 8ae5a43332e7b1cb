#!/usr/bin/env bash
# Runs of the real PurgeKit64.exe whose product script removes a tree that the Unix side makes
# hostile while, or before, the walk goes through it. Only a Unix program can make a symbolic
# link that Wine follows, so the trees and the swap are made here.
#
# swap: C:\t\tree\d holds many files; C:\t\victim holds files of the same names with other
#   content. Once a quarter of d's files are gone, a watcher renames d away and puts a link to
#   the victim in its place. The victim must keep every file and its content, the canaries
#   beside the tree stay, the run ends normally and goes on to the next product.
# deep: trees of half Wine's depth and of Wine's full depth (Unix paths end at 4,096 bytes),
#   each removed by a run of its own: true, exit code 0, nothing left, the canaries beside
#   them kept, and the deeper tree takes at most three times as long as the other.
#
# Fenced by Fence.sh (a prefix of its own, only FENCE_DIR writable): a walk led through the
# link deletes nothing outside the fence.
#
# Usage: FileWalkRuns.sh FENCE_DIR PURGEKIT64_EXE FIXTURE_DIR swap|deep
set -u
. "$(dirname "$0")/Fence.sh" "$@"
exe=$2
fixtures=$3
case=$4

C="$WINEPREFIX/drive_c"
work="$C/walk"
t="$C/t"
log="$C/ProgramData/Korvane/Log/PurgeKit/PurgeKit.log"
rm -rf "$work" "$t"
mkdir -p "$work" "$t"
cp "$exe" "$work/PurgeKit64.exe" || fence_fail "no program"
cd "$work" || exit 1  # C:\walk for Wine: the caller's folder has no drive here
status=0
fail() {
  echo "FAIL: $*"
  status=1
}

# One silent run with the product scripts of a fixture folder: its exit code in `code`, its
# time in milliseconds in `took`, its log in $work/run.log.
run() { # fixture
  rm -rf "$work/scripts" "$C/ProgramData/Korvane/Log"
  cp -r "$fixtures/$1" "$work/scripts" || fence_fail "no fixture $1"
  local start
  start=$(date +%s%N)
  wine_run 'C:\walk\PurgeKit64.exe' --silent --language en --scripts 'C:\walk\scripts' \
    </dev/null >"$work/run.out" 2>&1
  code=$?
  took=$((($(date +%s%N) - start) / 1000000))
  tr -d '\r' <"$log" >"$work/run.log" 2>/dev/null || : >"$work/run.log"
}

# The run ended by itself with one of the given exit codes, and the log says so.
ended_normally() { # codes...
  local fatal
  fatal=$(grep -hE 'Unhandled|\*F: .*0xC0000' "$work/run.log" "$work/run.out")
  [ -z "$fatal" ] || fail "the run crashed: $fatal"
  case " $* " in *" $code "*) ;; *) fail "exit code $code, not one of $*" ;; esac
  grep -q "wWinMain: Exiting with code: $code\$" "$work/run.log" ||
    fail "no 'Exiting with code: $code' line"
}
logged() { # text
  grep -qF "$1" "$work/run.log" || fail "no '$1' line"
}
errors() { grep -E '\*[EF]: ' "$work/run.log" | head -20; }

# Everything below a folder, with every file's content.
state() { # folder
  (cd "$1" && find . -printf '%p %y\n' | LC_ALL=C sort && find . -type f -print0 |
    LC_ALL=C sort -z | xargs -0 -r md5sum)
}
canaries() {
  mkdir -p "$t/beside/sub"
  echo b >"$t/beside/sub/b.txt"
  echo t >"$t/tree.txt"
}
canaries_kept() {
  [ "$(cat "$t/beside/sub/b.txt" "$t/tree.txt" 2>&1)" = "$(printf 'b\nt')" ] ||
    fail "a canary beside the tree changed"
}

swap() {
  local count=20000 d="$t/tree/d"
  mkdir -p "$d" "$t/victim" "$t/after/x"
  echo a >"$t/after/x/a.txt"
  (cd "$d" && for ((i = 0; i < count; i++)); do echo "tree $i" >"f$i"; done)
  (cd "$t/victim" && for ((i = 0; i < count; i++)); do echo "victim $i" >"f$i"; done)
  canaries
  state "$t/victim" >"$work/victim.before"

  # The watcher: once fewer than three quarters of d's files are left, d goes away and a link
  # to the victim takes its place. It says how many files were left at the swap.
  (
    left=$count
    while [ -d "$d" ] && [ ! -L "$d" ] && [ "$left" -gt $((count * 3 / 4)) ]; do
      sleep 0.002
      left=$(($(ls -f "$d" | wc -l) - 2))
    done
    if mv "$d" "$d.away" 2>/dev/null && ln -s "$t/victim" "$d"; then
      echo "$left" >"$work/swapped"
    fi
  ) &
  local watcher=$!
  run swap
  kill "$watcher" 2>/dev/null
  wait "$watcher" 2>/dev/null

  local left
  left=$(cat "$work/swapped" 2>/dev/null)
  if [ -z "$left" ] || [ "$left" -lt $((count / 4)) ]; then
    fail "the walk finished before the swap (files left in d at the swap: ${left:-none}; exit code $code)"
    return
  fi
  echo "swap: d swapped for a link to the victim with $left of $count files left"
  state "$t/victim" >"$work/victim.after"
  local kept
  kept=$(find "$t/victim" -type f | wc -l)
  diff -q "$work/victim.before" "$work/victim.after" >/dev/null ||
    fail "the victim lost $((count - kept)) of its $count files, or their content"
  canaries_kept
  ended_normally 0 1 99
  logged "[after.lua] after the swap true"
  [ -e "$t/after" ] && fail "the product after the swapped tree was not removed"
  grep -E 'swapped tree removed|after the swap|wWinMain: Exiting' "$work/run.log"
  echo "swap: the run took $took ms; left of the tree: $(find "$t/tree" 2>/dev/null | wc -l) entries; the log's errors:"
  errors
}

# A chain of one-letter folders below C:\t\deep, a file in the deepest.
make_deep() { # levels
  rm -rf "$t/deep"
  mkdir "$t/deep" || fence_fail "cannot make $t/deep"
  local chunk
  chunk=$(printf 'a/%.0s' {1..100})
  (
    cd "$t/deep" || exit 1
    for ((left = $1; left > 0; left -= 100)); do
      [ "$left" -lt 100 ] && chunk=$(printf 'a/%.0s' $(seq "$left"))
      mkdir -p "$chunk" && cd "$chunk" || exit 1
    done
    echo f >f
  ) || fence_fail "cannot make a tree $1 levels deep"
}

deep() {
  # Wine reaches C: through the prefix's dosdevices link: the deepest file's Unix path, and a
  # margin, fit in 4,096 bytes.
  local base
  base=$(printf %s "$WINEPREFIX/dosdevices/c:/t/deep" | wc -c)
  local levels=$(((4095 - base - 2 - 32) / 2))  # 2: "/f"
  local half=$((levels / 2)) depth halftook
  canaries
  for depth in $half $levels; do
    make_deep "$depth"
    run deep
    echo "deep: $depth levels: exit code $code, $took ms"
    ended_normally 0
    logged "[deep.lua] deep tree removed true"
    [ -e "$t/deep" ] && fail "$depth levels: $(find "$t/deep" | wc -l) entries of the tree left"
    canaries_kept
    [ $status = 0 ] || { errors; return; }
    [ "$depth" = "$half" ] && halftook=$took
  done
  echo "deep: $levels levels took $took ms, $half levels $halftook ms"
  [ "$took" -le $((halftook * 3)) ] || fail "twice the depth took more than three times as long"
}

case $case in
  swap) swap ;;
  deep) deep ;;
  *) fence_fail "unknown case $case" ;;
esac
rm -rf "$t/deep"  # a tree this deep is a nuisance to anyone who looks into the fence
exit $status
