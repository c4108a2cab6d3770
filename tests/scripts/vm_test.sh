#!/usr/bin/env bash
# scripts/vm as the tests, the demo and the fuzzers use it: one boot for several commands, each
# command's output (as it is written) and status back, a hung command stopped at its bound, one
# whose caller has gone stopped, a machine that cannot boot in time stopped with its console
# shown, nothing left running, and why the machine is used at all.
#   tests/scripts/vm_test.sh STATE     STATE: a folder of its own
set -uo pipefail
vm=$(cd "$(dirname "$0")/../.." && pwd)/scripts/vm
state=$1
failures=0
checks=0

expect() { # WHAT WANT GOT
    checks=$((checks + 1))
    if [ "$2" != "$3" ]; then
        printf 'FAILED %s\n  want: %q\n  got:  %q\n' "$1" "$2" "$3"
        failures=$((failures + 1))
    fi
}

expect "why the emulated machine is used, when forced" \
    "VM_FORCE=1 makes this machine act as one that runs no 32-bit programs" "$(VM_FORCE=1 "$vm" needed)"
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    expect "not used where 32-bit programs run" "1 " "$(VM_FORCE= "$vm" needed; echo "$? ")"
else
    expect "why it is used here" "this machine runs no 32-bit programs" "$(VM_FORCE= "$vm" needed)"
fi

trap '"$vm" stop "$state"' EXIT
rm -rf "$state"

output=$(cd /usr && SEEN_INSIDE='two words' "$vm" run "$state" sh -c 'echo "$PWD $SEEN_INSIDE"; echo to-stderr >&2; exit 3' 2>&1)
expect "status of a command" 3 $?
expect "what it says as it boots" "scripts/vm: booting the emulated machine;scripts/vm: the emulated machine booted in" \
    "$(echo "$output" | grep '^scripts/vm: ' | sed -E 's/ \(.*//; s/ [0-9]+ s$//' | paste -sd';' -)"
expect "its output, its folder and environment" $'/usr two words\nto-stderr' "$(echo "$output" | grep -v '^scripts/vm: ')"
expect "a second command, as the same user" "$(id -u)" "$("$vm" run "$state" id -u)"
pid=$(cat "$state/qemu.pid")

output=$("$vm" run "$state" --timeout 2 sleep 600 2>&1)
expect "status of a hung command" 124 $?
expect "what is said of it" "scripts/vm: stopped after 2 s: sleep 600" "$output"
expect "the machine still answers" ok "$("$vm" run "$state" echo ok)"
expect "one boot served all" "$pid" "$(cat "$state/qemu.pid")"

# Output as it is written; a caller killed without a word leaves no command running there.
"$vm" run "$state" sh -c 'echo early; exec sleep 45' >"$state.out" &
caller=$!
for _ in $(seq 200); do
    [ "$(cat "$state.out")" != early ] || break
    sleep 0.1
done
expect "output while the command runs" early "$(cat "$state.out")"
{ kill -KILL "$caller" && wait "$caller"; } 2>/dev/null
for _ in $(seq 30); do
    "$vm" run "$state" pgrep -x -f 'sleep 45' >/dev/null || break
    sleep 1
done
expect "the command of a caller that has gone stopped" 1 "$("$vm" run "$state" pgrep -x -f 'sleep 45' >/dev/null; echo $?)"
rm -f "$state.out"

"$vm" stop "$state"
kill -0 "$pid" 2>/dev/null
expect "the machine stopped" 1 $?

output=$(VM_BOOT_TIMEOUT=1 "$vm" run "$state" true 2>&1)
expect "status when the machine does not answer" 1 $?
expect "what is said of it" "scripts/vm: the emulated machine did not answer within 1 s;" \
    "$(echo "$output" | grep -v '^scripts/vm: booting' | head -n 1 | cut -d" " -f1-10)"
[ ! -s "$state/qemu.pid" ]
expect "that machine stopped too" 0 $?

echo "$((checks - failures)) of $checks checks passed"
[ "$failures" -eq 0 ]
