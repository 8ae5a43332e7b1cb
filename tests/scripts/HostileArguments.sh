#!/usr/bin/env bash
# The real PurgeKit64.exe runs a product script that calls every destructive module function
# with every kind of argument that must be refused (fixtures/hostile/arguments/hostile.lua),
# beside the legitimate calls that must still work. Canaries lie beside every target: a file
# tree on C: and on D:, keys in both registry views and below HKU, values at the roots, a
# service, an atom (the script's own) and a pending file operation. The machine state is
# compared before and after the run, and again after a restart of the Wine server (which
# carries out the pending file operations): nothing may change but the legitimate targets,
# nothing may be scheduled, and the run must end normally with exit code 0.
#
# Fenced by Fence.sh: a mount namespace in which only FENCE_DIR is writable, a Wine prefix
# of its own whose server runs inside it, no z: drive, D: on a scratch folder of the fence.
# More hostile cases: add rows to the fixture script, and their canaries to make_canaries.
#
# Usage: HostileArguments.sh FENCE_DIR PURGEKIT64_EXE FIXTURE_DIR
set -u
. "$(dirname "$0")/Fence.sh" "$@"
exe=$2
fixture=$3

C="$WINEPREFIX/drive_c"
work="$C/hostile"
rm -rf "$work" "$C/canary" "$C/ProgramData/Korvane/Log"
mkdir -p "$work/scripts"
cp "$exe" "$work/PurgeKit64.exe" && cp "$fixture"/*.lua "$work/scripts/" || fence_fail "no program"
cd "$work" || exit 1  # C:\hostile for Wine: the caller's folder has no drive here

# Runs Windows commands (one cmd line, or a batch file) in the prefix; their output on stdout.
wcmd() { wine cmd /c "$1" </dev/null 2>/dev/null | tr -d '\r'; }
# Commands on stdin as a batch file that does not echo them.
batch_file() { { echo '@echo off'; cat; } | sed 's/$/\r/'; }
long_name=$(printf 'a%.0s' {1..40})
pending_key='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager'

make_canaries() {
  rm -rf "${FENCE_D:?}"/*
  for root in "$FENCE_D" "$C"; do
    mkdir -p "$root/canary/sub/deep" "$root/canary/empty"
    echo a >"$root/canary/a.txt"
    echo b >"$root/canary/b.txt"
    echo f >"$root/canary/sub/deep/f.txt"
  done
  echo r >"$FENCE_D/rootfile.txt"
  # A long name for the masks of many stars to try.
  echo l >"$FENCE_D/canary/$long_name"
  # The legitimate targets: every name at D:'s root that starts with "product".
  mkdir -p "$FENCE_D/product/tree/x" "$FENCE_D/product/lonely" "$FENCE_D/product/solo/inner" \
    "$FENCE_D/product/masked" "$FENCE_D/product/emptydir" "$FENCE_D/product/emptydir2" \
    "$FENCE_D/producttop" "$FENCE_D/product/crowded"
  for f in tree/x/y.txt file.txt lonely/only.txt solo/inner/z.txt masked/a.log masked/b.log \
    masked/keep.txt crowded/gone.txt crowded/stay.txt; do
    echo p >"$FENCE_D/product/$f"
  done
  echo p >"$FENCE_D/productroot.txt"
  echo p >"$FENCE_D/producttop/t.txt"

  # Keys in both views (reg is told the view: a plain `wine reg` may be the 32-bit one).
  local batch="$work/canaries.cmd"
  {
    for view in 64 32; do
      for key in Canary CanaryLeaf CanaryEmpty CanaryProduct CanaryProductMask CanaryProductValues \
        CanaryProductEmpty; do
        echo "reg delete HKLM\\SOFTWARE\\$key /f /reg:$view"
      done
    done
    echo 'reg delete HKU\.DEFAULT\Software\Canary /f'
    for view in 64 32; do
      for add in 'Canary /ve /d default' 'Canary /v v1 /d one' 'Canary /v v2 /t REG_DWORD /d 2' \
        'Canary\Sub1\Deep /v d /d deep' 'Canary\Sub2' 'CanaryLeaf /v leaf /d leaf' 'CanaryEmpty' \
        'CanaryProduct\x /v p /d p' "Canary\\$long_name"; do
        echo "reg add HKLM\\SOFTWARE\\$add /f /reg:$view"
      done
    done
    for add in 'CanaryProductMask\Del1' 'CanaryProductMask\Keep' 'CanaryProductValues /v v /d p' \
      'CanaryProductEmpty\x'; do
      echo "reg add HKLM\\SOFTWARE\\$add /f /reg:64"
    done
    # A key made by reg itself has a default value; one left by its only subkey has none.
    echo 'reg delete HKLM\SOFTWARE\CanaryProductEmpty\x /f /reg:64'
    echo 'reg add HKU\.DEFAULT\Software\Canary /v v /d user /f'
    echo 'reg add HKLM\SOFTWARE\Korvane\TZK\Logging /v LogLevel /t REG_DWORD /d 5 /f /reg:32'
    echo 'reg add HKLM\SOFTWARE\Korvane\TZK\Logging /v LogMaxSizeKB /t REG_DWORD /d 65536 /f /reg:32'
    # A pending rename of a file that is not there: kept by every refused call, and carried
    # out harmlessly at the restart. (reg writes no empty string, so no delete operation.)
    echo "reg add \"$pending_key\" /v PendingFileRenameOperations /t REG_MULTI_SZ /d \\??\\D:\\canary\\ghost.txt\\0\\??\\D:\\canary\\ghost2.txt /f /reg:64"
  } | batch_file >"$batch"
  wine cmd /c 'C:\hostile\canaries.cmd' </dev/null >"$work/canaries.out" 2>&1
  wcmd 'sc create CanarySvc binpath= C:\windows\system32\cmd.exe' >/dev/null
}

# The state of everything the hostile calls name or neighbour, legitimate targets left out.
files_state() {
  (cd "$FENCE_D" && find . -path './product*' -prune -o -printf '%p %y %m\n' | sort)
  (cd "$C" && find canary -printf '%p %y %m\n' | sort)
  (cd "$FENCE_D" && find . -path './product*' -prune -o -type f -print0 | sort -z | xargs -0 md5sum)
}
registry_state() {
  local batch="$work/state.cmd"
  {
    for view in 64 32; do
      for key in Canary CanaryLeaf CanaryEmpty; do
        echo "reg query HKLM\\SOFTWARE\\$key /s /reg:$view"
      done
      echo "reg query HKLM\\SOFTWARE /reg:$view"
    done
    echo 'reg query HKU\.DEFAULT\Software\Canary /s'
    echo 'reg query HKLM'
    echo 'reg query HKU'
    echo 'reg query HKLM\SYSTEM\CurrentControlSet\Services\CanarySvc /s'
    echo 'reg query HKLM\SYSTEM\CurrentControlSet\Services'
    echo 'sc qc CanarySvc'
  } | batch_file >"$batch"
  # The legitimate targets left out.
  wcmd 'C:\hostile\state.cmd' | grep -v '\\CanaryProduct'
}
pending_state() {
  echo "reg query \"$pending_key\" /v PendingFileRenameOperations /reg:64" | batch_file \
    >"$work/pending.cmd"
  wcmd 'C:\hostile\pending.cmd'
}
snapshot() { # name
  files_state >"$work/$1.files"
  registry_state >"$work/$1.registry"
  pending_state >"$work/$1.pending"
}
same() { # what, first, second
  if ! diff -u "$work/$2.$1" "$work/$3.$1" >"$work/diff.txt"; then
    echo "FAIL: the $1 changed ($2 -> $3):"
    cat "$work/diff.txt"
    status=1
  fi
}
status=0

make_canaries
snapshot before
grep -q 'canary/sub/deep/f.txt' "$work/before.files" || fence_fail "no canary tree"
grep -q 'CanaryLeaf' "$work/before.registry" || fence_fail "no canary keys"
grep -q 'ghost.txt\\0' "$work/before.pending" || fence_fail "no canary pending operation"
grep -q 'CanarySvc' "$work/before.registry" || fence_fail "no canary service"

timeout 600 "$PURGEKIT_WINE" 'C:\hostile\PurgeKit64.exe' --silent --language en \
  --scripts 'C:\hostile\scripts' </dev/null >"$work/run.out" 2>&1
code=$?
log="$C/ProgramData/Korvane/Log/PurgeKit/PurgeKit.log"
[ -f "$log" ] || { echo "FAIL: no log (exit code $code)"; cat "$work/run.out"; exit 1; }
tr -d '\r' <"$log" >"$work/run.log"

snapshot after
for what in files registry pending; do same "$what" before after; done

[ "$code" = 0 ] || { echo "FAIL: exit code $code, not 0"; status=1; }
grep -q 'wWinMain: Exiting with code: 0' "$work/run.log" ||
  { echo "FAIL: no 'Exiting with code: 0' line"; status=1; }
grep -q 'rows: [0-9]*, failed: 0$' "$work/run.log" || { echo "FAIL: rows failed"; status=1; }
grep 'row FAIL' "$work/run.log"
if grep -E 'Delay delete|Reboot is needed|Took ownership|WipeBranch.*ownership' "$work/run.log"; then
  echo "FAIL: something was escalated or scheduled"
  status=1
fi
# The legitimate targets are gone, their neighbours kept.
for gone in product/tree product/file.txt product/lonely productroot.txt product/solo \
  producttop product/masked/a.log product/emptydir product/emptydir2 product/crowded/gone.txt; do
  [ -e "$FENCE_D/$gone" ] && { echo "FAIL: D:\\$gone is still there"; status=1; }
done
for kept in product/masked/keep.txt product/made/deep product/copy.txt rootfile.txt \
  product/crowded/stay.txt; do
  [ -e "$FENCE_D/$kept" ] || { echo "FAIL: D:\\$kept is missing"; status=1; }
done

# What the run scheduled, the restart carries out.
fence_restart_server
snapshot restarted
for what in files registry; do same "$what" before restarted; done

grep -o 'rows: [0-9]*, failed: [0-9]*' "$work/run.log"
[ $status = 0 ] && echo "hostile arguments: refused, nothing changed, the run ended normally"
[ $status = 0 ] || { echo "--- log:";  grep -E '\*[EF]: ' "$work/run.log" | head -50; }
exit $status
