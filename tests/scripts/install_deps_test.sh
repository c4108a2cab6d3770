#!/usr/bin/env bash
# scripts/install-deps against a mirror of its own, without the network: a file: mirror of two
# suites, the main one and its security suite, whose i386 package list is in the middle of a sync
# (not the file its Release names). A fresh machine has read the amd64 lists before it took i386
# on, so apt keeps those and lacks the i386 one, and a library that both architectures need
# resolves to two versions. apt only simulates the installs.
#   tests/scripts/install_deps_test.sh STATE     STATE: a folder of its own
set -uo pipefail
install_deps=$(cd "$(dirname "$0")/../.." && pwd)/scripts/install-deps
state=$(realpath -m "$1")
main=$(. /etc/os-release && echo "$VERSION_CODENAME")
failures=0
checks=0

expect() { # WHAT WANT GOT
    checks=$((checks + 1))
    if [ "$2" != "$3" ]; then
        printf 'FAILED %s\n  want: %q\n  got:  %q\n' "$1" "$2" "$3"
        failures=$((failures + 1))
    fi
}

package() { # NAME VERSION ARCHITECTURE [DEPENDS]
    printf 'Package: %s\nVersion: %s\nArchitecture: %s\nMulti-Arch: same\nMaintainer: t <t@example.org>\n' "$1" "$2" "$3"
    [ -z "${4:-}" ] || printf 'Depends: %s\n' "$4"
    printf 'Filename: pool/%s_%s_%s.deb\nSize: 1\nDescription: t\n\n' "$1" "$2" "$3"
}

# MAIN_LISTS SECURITY_LISTS: the architectures whose list each suite serves as its Release says
mirror() {
    rm -rf "$state/mirror"
    local suite arch
    for suite in "$main" "$main-security"; do
        for arch in amd64 i386; do
            mkdir -p "$state/mirror/dists/$suite/main/binary-$arch"
            if [ "$suite" = "$main" ]; then
                { package gdivideo-test-lib 1.0 $arch; package gdivideo-test-app 1.0 $arch gdivideo-test-lib; }
            else
                package gdivideo-test-lib 1.0+u1 $arch
            fi >"$state/mirror/dists/$suite/main/binary-$arch/Packages"
        done
        (cd "$state/mirror/dists/$suite" &&
            { printf 'Suite: %s\nCodename: %s\nDate: %s\nArchitectures: amd64 i386\nComponents: main\nSHA256:\n' \
                  "$suite" "$suite" "$(date -u -R)"
              for list in main/binary-*/Packages; do
                  echo " $(sha256sum "$list" | cut -d' ' -f1) $(stat -c %s "$list") $list"
              done; } >Release)
    done
}

# The list of SUITE for ARCH changes after its Release was written.
syncing() { package gdivideo-test-lib 1.0+u2 "$2" >>"$state/mirror/dists/$1/main/binary-$2/Packages"; }

machine() { # ARCHITECTURES...: a fresh machine's apt for amd64 and i386, which has read the lists of those
    rm -rf "$state/apt"
    mkdir -p "$state/apt"/{lists/partial,cache/archives/partial,parts,preferences.d}
    : >"$state/apt/status"
    printf 'deb [trusted=yes] file:%s %s main\n' "$state/mirror" "$main" "$state/mirror" "$main-security" \
        >"$state/apt/sources.list"
    cat >"$state/apt/apt.conf" <<CONF
Dir::Etc::SourceList "$state/apt/sources.list";
Dir::Etc::SourceParts "$state/apt/parts";
Dir::Etc::PreferencesParts "$state/apt/preferences.d";
Dir::State "$state/apt";
Dir::State::Lists "$state/apt/lists";
Dir::State::status "$state/apt/status";
Dir::Cache "$state/apt/cache";
APT::Sandbox::User "$(id -un)";
Debug::NoLocking "true";
APT::Get::Simulate "true";
CONF
    local arch list=""
    for arch in "$@"; do list="$list \"$arch\";"; done
    echo "APT::Architectures {$list };" >"$state/apt/read.conf"
    cat "$state/apt/apt.conf" "$state/apt/read.conf" >"$state/apt/first.conf"
    APT_CONFIG=$state/apt/first.conf apt-get update -qq >/dev/null 2>&1
    echo 'APT::Architectures { "amd64"; "i386"; };' >>"$state/apt/apt.conf"
}

install() { # what scripts/install-deps says, and its status last
    APT_CONFIG=$state/apt/apt.conf INSTALL_DEPS_TRIES=2 INSTALL_DEPS_PAUSE=0 \
        "$install_deps" gdivideo-test-app gdivideo-test-app:i386 2>&1
    echo "status $?"
}

mirror
machine amd64 i386
output=$(install)
expect "a mirror in sync: installed as it is" $'Installing: gdivideo-test-app gdivideo-test-app:i386\nstatus 0' "$output"

mirror
machine amd64
syncing "$main-security" i386
output=$(install)
expect "a list in a sync: apt-get update tried again" 1 "$(grep -c 'apt-get update failed; trying again in 0 s (1 of 2)' <<<"$output")"
expect "what is installed from where, and why" \
    "install-deps: apt-get update could not read the package lists for $main-security i386 (Hash Sum mismatch), so amd64 and i386 versions disagree: installing from $main alone" \
    "$(grep 'could not read' <<<"$output")"
expect "and it installs" "status 0" "$(tail -n 1 <<<"$output")"

syncing "$main" i386
machine amd64
output=$(install)
expect "no version to be had: install-deps names apt's reason" 1 \
    "$(grep -c -x 'install-deps: apt-get could not install gdivideo-test-app gdivideo-test-app:i386; apt says:' <<<"$output")"
expect "which is apt's own" 1 "$(grep -c -E '^E: (Unable to correct problems|Unable to locate)' <<<"$output")"
expect "and fails" "status 1" "$(tail -n 1 <<<"$output")"

echo "$((checks - failures)) of $checks checks passed"
[ "$failures" -eq 0 ]
