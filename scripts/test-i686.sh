#!/usr/bin/env bash
# make test-i686 and the CI smoke lane: the end-to-end scenarios run on the
# shipped i686 installer (build/win32) under 32-bit Wine, driven by the
# win64 test programs and UI driver, in a WoW64 prefix of its own
# (build/win32/wine).
#
#   test-i686.sh [--smoke | --only PROGRAM FILTER]
#
# --smoke runs only the scenarios marked smoke below (CI runs those after
# make test); --only runs one scenario of your own, a win64 test program
# and its GoogleTest filter; without either every scenario below runs.
#
# Where the kernel runs 32-bit programs itself, 32-bit Wine runs natively.
# Where it cannot, QEMU's user-mode emulator runs it: the qemu-i386 handler
# is enabled for this run only and disabled again when the run ends, fails
# or is interrupted. Q7_I686_EMULATOR=qemu takes the QEMU way even where the
# kernel could do without.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
lane=full
case "${1:-}" in
"") ;;
--smoke) lane=smoke ;;
--only)
  [ $# -eq 3 ] || {
    echo "usage: test-i686.sh --only PROGRAM FILTER" >&2
    exit 2
  }
  lane=only
  only="$2 $3"
  ;;
*)
  echo "usage: test-i686.sh [--smoke | --only PROGRAM FILTER]" >&2
  exit 2
  ;;
esac

# The scenarios: the lanes that run it, the win64 test program (in
# build/win64/tests/e2e), its GoogleTest filter and the locale Wine runs it
# in (Slovak when none is given). A new scenario is one
# line here; what it expects differently of the i686 build belongs in
# TInstallerBuild (tests/e2e/uE2e.h).
scenarios=(
  "smoke,full e2e_test        Startup.ReadsItsOwnAppendedArchiveBehindTheSectionsOrFindsNone"
  "smoke,full sample_e2e_test SampleWizard.InstallsOverAnOlderReadOnlyFileAndRemembersTheFolder"
  "full       e2e_test        Startup.*-Startup.ReadsItsOwnAppendedArchiveBehindTheSectionsOrFindsNone"
  "full       sample_e2e_test CancelOrCloseOnAnyPage/SampleWizardLeft.InstallsNothing/3:SampleProgress.*"
  "full       host_e2e_test   Nesting.*:Events.*:COLORDLG.*:ScriptErrors.InACommandBranchLeaveThePageUsable:DialogBoxes.RunawayNestingUnwindsInsteadOfCrashing"
  "full       library_e2e_test Library.RegistryRoundTripsInTheInstallersViewAndExecuteWithWait"
  "full       brand_e2e_test  HelloWizard.*"
  "full       languages_e2e_test WorldWizard.*:Cp1252Package.* ru_RU.UTF-8"
  "full       languages_e2e_test WorldWizard.* de_DE.UTF-8"
  "full       languages_e2e_test WorldWizard.* fr_FR.UTF-8"
  "full       languages_e2e_test WorldWizard.* ja_JP.UTF-8"
  "full       host_e2e_test   Faults.*"
  "full       e2e_test        Unattended.SilentInstallAndRemovalShowNoWindowAndLogEveryChange"
  "full       e2e_test        Unattended.CommandLinesWithAndWithoutTheOptionsKey"
  "full       e2e_test        Unattended.SilentRunsShowNoWindowAndLogWhyTheyFailed:Unattended.RunElevatedWaitsForTheCopyAndTakesItsStatus"
  "full       library_e2e_test Library.KeysGoToTheViewTheScriptChose:Library.PathRecipeKeepsExpandableEntries"
)
[ "$lane" != only ] || scenarios=("only $only")

installer=$root/build/win32/startup/q7patcher.exe
tests=$root/build/win64/tests/e2e
state=$root/build/win32/wine
binfmt="bash $root/scripts/binfmt-i386.sh"
lock=/run/lock/q7patcher-i686.lock

say() { echo "test-i686: $*"; }
fail() {
  echo "test-i686: $*" >&2
  exit 1
}

for f in "$installer" "$tests/e2e_test.exe" "$root/build/win64/tools/q7uidriver/q7uidriver.exe"; do
  [ -f "$f" ] || fail "$f is missing; run 'make test-i686', which builds the win32 and win64 presets"
done

# One lane at a time on a machine: the QEMU handler is a machine-wide switch.
exec 9>"$lock"
flock -w 1800 9 || fail "another i686 lane holds $lock"

# Each long step runs as a child that the shell waits for, so that an
# interruption is handled at once rather than when the step ends.
child=
run() {
  "$@" &
  child=$!
  local status=0
  wait "$child" || status=$?
  child=
  return "$status"
}

# The processes that hold the lock other than this shell: every process
# this run started inherited it. Run as $(lock_holders), whose own
# processes let go of it first.
lock_holders() {
  exec 9>&-
  find /proc/[0-9]*/fd -maxdepth 1 -lname "$lock" 2>/dev/null | cut -d/ -f3 | sort -u | grep -vx "$$" || true
}

finish() {
  local status=$?
  trap - EXIT INT TERM
  if [ -n "$child" ]; then kill "$child" 2>/dev/null || true; fi
  Q7_WINE_STATE=$state bash "$root/cmake/wine-fixture.sh" cleanup "$state" || true
  # A Wine program that was still starting when the run stopped is no
  # longer a child of anything here, and no wineserver ended it.
  local leftover
  leftover=$(lock_holders)
  if [ -n "$leftover" ]; then
    say "ending what this run left running: $(echo $leftover)"
    kill $leftover 2>/dev/null || true
  fi
  if [ "${emulator:-}" = qemu ]; then
    $binfmt disable && say "qemu-i386 handler $($binfmt status)"
  fi
  exit "$status"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Nothing else enables the handler while we hold the lock: one left enabled
# is the leftover of a run that was killed, so start from disabled.
[ "$($binfmt status)" != enabled ] || $binfmt disable
emulator=${Q7_I686_EMULATOR:-$($binfmt probe)}
why="the kernel runs no 32-bit programs itself"
[ -z "${Q7_I686_EMULATOR:-}" ] || why="Q7_I686_EMULATOR=$Q7_I686_EMULATOR"
case "$emulator" in
native) say "32-bit Wine runs natively (the kernel runs 32-bit programs itself)" ;;
qemu)
  $binfmt enable
  say "QEMU runs 32-bit Wine, as $why (qemu-i386 handler enabled for this run)"
  # Every process start takes about a hundred times longer under QEMU.
  export Q7_E2E_SLOW=20
  ;;
*) fail "Q7_I686_EMULATOR must be native or qemu, not '$emulator'" ;;
esac

started=$(date +%s)
run bash "$root/cmake/wine-fixture.sh" setup "$state"
export Q7_WINE_STATE=$state Q7_E2E_INSTALLER=$installer
say "prefix ready in $(($(date +%s) - started)) s (load $(cut -d' ' -f1 /proc/loadavg))"

passed=0
failed=0
failures=()
for scenario in "${scenarios[@]}"; do
  read -r lanes program filter locale <<<"$scenario"
  [[ ",$lanes," == *",$lane,"* ]] || continue
  begin=$(date +%s)
  if Q7_WINE_LANG=${locale:-sk_SK.UTF-8} run "$root/cmake/wine-run.sh" "$tests/$program.exe" --gtest_filter="$filter" --gtest_brief=1 \
    >"$state/$program.log" 2>&1 && ! grep -q '^\[==========\] 0 tests' "$state/$program.log"; then
    passed=$((passed + 1))
    say "ok   $program $filter ($(($(date +%s) - begin)) s)"
  else
    failed=$((failed + 1))
    failures+=("$program $filter")
    say "FAIL $program $filter ($(($(date +%s) - begin)) s):"
    cat "$state/$program.log"
  fi
done

say "$lane lane on the i686 installer ($emulator) took $(($(date +%s) - started)) s"
for f in "${failures[@]}"; do say "failed: $f"; done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
