#!/usr/bin/env bash
# Runs in the 32-bit lane's chroot (scripts/test-lane32 copies it there, with
# the programs in /lane/bin and the end-to-end scripts in /lane/e2e): makes a
# fresh prefix of one kind and runs the end-to-end cases where bitness matters.
#   lane32-prefix.sh wow64|winxp|win2k
set -uo pipefail
kind=$1

case $kind in
  wow64) export WINEARCH=win64 VELMORA_WINE=/usr/lib/wine/wine64 ;;
  winxp | win2k) export WINEARCH=win32 VELMORA_WINE=/usr/lib/wine/wine ;;
esac
export VELMORA_LANE=$kind

source /lane/scripts/wine-session.sh
started=$(date +%s)
velmora_session_start "/lane/$kind" headless
trap velmora_session_stop EXIT
if [ "$kind" != wow64 ]; then
  "$VELMORA_WINE" winecfg -v "$kind" </dev/null >/dev/null 2>&1
fi
echo "[$kind] prefix made in $(($(date +%s) - started))s"

status=0
run() {
  local script=$1 begun
  shift
  begun=$(date +%s)
  python3 "/lane/e2e/$script" --bin /lane/bin "$@" || status=1
  echo "[$kind] $script: $(($(date +%s) - begun))s"
}

if [ "$kind" = wow64 ]; then
  # The signed release too (scripts/test-lane32 puts it there), as a 64-bit Windows starts it.
  VELMORA_SIGNED_RELEASE=/lane/signed/VelmoraHelper.exe run test_end_to_end.py EndToEnd SignedRelease
else
  run test_end_to_end.py EndToEnd
fi
run test_faults.py Case2LockedAndUnreadableProductFiles Case3OddRegistry Case5NamesAndLongPaths \
  Case8ServicesWithOddBinaryPaths
run test_crash_reports.py FaultCases RealProgram
exit $status
