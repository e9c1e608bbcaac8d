#!/usr/bin/env bash
# Builds the Debian package (scripts/package.sh) and checks it: lintian finds no error, the
# desktop entry is valid, the package holds every file it should and depends on the libraries
# of its binaries, and the programs unpacked from it run (version, the main job of km71ctl on
# the simulated detector, the window program's and the simulator's usage).
# Ends with "package: N passed, M failed"; exits non-zero when a check failed.
set -uo pipefail
cd "$(dirname "$0")/../.."

passed=0
failed=0
pass() {
    echo "PASS $1"
    passed=$((passed + 1))
}
fail() {
    echo "FAIL $1"
    failed=$((failed + 1))
}
finish() {
    echo "package: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

if ! deb=$(scripts/package.sh | tail -n 1) || [ ! -f "$deb" ]; then
    fail "the package builds"
    finish
fi
version=$(dpkg-deb -f "$deb" Version)
echo "package $deb ($(du -k "$deb" | cut -f1) KiB, version $version)"

# lintian: any error fails; warnings are shown.
if lintian --allow-root --fail-on error "$deb" >"$scratch/lintian.txt" 2>&1; then
    pass "lintian: no error ($(grep -c '^W:' "$scratch/lintian.txt") warnings)"
else
    fail "lintian"
fi
sed 's/^/  /' "$scratch/lintian.txt"

root="$scratch/root"
dpkg-deb -x "$deb" "$root"

if desktop-file-validate "$root/usr/share/applications/km71setup.desktop"; then
    pass "desktop-file-validate"
else
    fail "desktop-file-validate"
fi

missing=()
for f in usr/bin/km71setup usr/bin/km71ctl usr/bin/km71sim \
    usr/share/applications/km71setup.desktop \
    usr/share/icons/hicolor/scalable/apps/km71setup.svg \
    usr/lib/udev/rules.d/70-km71-ir-module.rules \
    usr/share/man/man1/km71setup.1.gz usr/share/man/man1/km71ctl.1.gz \
    usr/share/man/man1/km71sim.1.gz usr/share/bash-completion/completions/km71ctl \
    usr/share/doc/km71/copyright usr/share/doc/km71/changelog.gz; do
    [ -f "$root/$f" ] || missing+=("$f")
done
if [ ${#missing[@]} -eq 0 ] && grep -q 'TAG+="uaccess"' "$root/usr/lib/udev/rules.d/70-km71-ir-module.rules"; then
    pass "contents"
else
    fail "contents: missing ${missing[*]:-the uaccess tag}"
fi

depends=$(dpkg-deb -f "$deb" Depends)
if [[ $depends == *libc6* && $depends == *libqt6core6* && $depends == *libqt6widgets6* ]]; then
    pass "dependencies from the binaries: $depends"
else
    fail "dependencies from the binaries: \"$depends\""
fi

# The programs as unpacked, in a folder of their own (the link log goes there).
work="$scratch/work"
mkdir -p "$work"
run() { (cd "$work" && timeout 60 "$@") >"$scratch/out.txt" 2>&1; }

if run "$root/usr/bin/km71ctl" --version && grep -qF "$version" "$scratch/out.txt"; then
    pass "km71ctl --version: $(head -n 1 "$scratch/out.txt")"
else
    fail "km71ctl --version"
    sed 's/^/  /' "$scratch/out.txt"
fi

if run "$root/usr/bin/km71ctl" --sim KM info && grep -qE '^Model: +KM$' "$scratch/out.txt" &&
    [ -s "$work/SerialLog.log" ]; then
    pass "km71ctl --sim KM info ($(wc -l <"$scratch/out.txt") lines)"
else
    fail "km71ctl --sim KM info"
    sed 's/^/  /' "$scratch/out.txt"
fi

# The bash completion offers every command and option that km71ctl's usage names.
completion="$root/usr/share/bash-completion/completions/km71ctl"
if run "$root/usr/bin/km71ctl" --help; then
    words=$(sed -n '/^Commands:/,/^Exit/p' "$scratch/out.txt" | grep -oE '^  [a-z][a-z-]*')
    words+=" $(grep -oE -- '--[a-z][a-z-]*|-DEBUG|-SEIZO' "$scratch/out.txt" | sort -u)"
    absent=()
    for w in $words; do
        grep -qE -- "(^|[ \"])$w([ \"]|$)" "$completion" || absent+=("$w")
    done
    if bash -n "$completion" && [ ${#absent[@]} -eq 0 ]; then
        pass "bash completion covers $(echo $words | wc -w) commands and options"
    else
        fail "bash completion: not offered: ${absent[*]:-(syntax error)}"
    fi
else
    fail "km71ctl --help"
fi

if QT_QPA_PLATFORM=offscreen run "$root/usr/bin/km71setup" --help &&
    grep -q -- "--sim" "$scratch/out.txt"; then
    pass "km71setup --help"
else
    fail "km71setup --help"
    sed 's/^/  /' "$scratch/out.txt"
fi

if run "$root/usr/bin/km71sim" --help && grep -q -- "--pty" "$scratch/out.txt"; then
    pass "km71sim --help"
else
    fail "km71sim --help"
    sed 's/^/  /' "$scratch/out.txt"
fi

finish
