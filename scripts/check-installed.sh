#!/usr/bin/env bash
# Runs the programs of an unpacked Quorbit package from their installed paths (usage: check-installed.sh
# ROOT, ROOT holding usr/): their version, their manual pages and the documents beside them, and
# quorbit-cli's reading, checking and editing commands on demonstration portfolios. Prints
# "N passed, N failed" and exits with 1 when anything failed.
set -uo pipefail
installed=$(cd "$1" && pwd)
usr=$installed/usr
cli=$usr/bin/quorbit-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
version=$(sed -n 's/^project(Quorbit VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../CMakeLists.txt")
passed=0
failed=0
check() { # check NAME COMMAND...: the command must succeed
    local name=$1
    shift
    if "$@" >"$work/out" 2>&1; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $name"
        sed 's/^/    /' "$work/out"
    fi
}

check "quorbit-cli --version" grep -qx "quorbit-cli (Quorbit) $version" <("$cli" --version)
check "quorbit --version" grep -qx "quorbit (Quorbit) $version" <("$usr/bin/quorbit" --version)
for page in quorbit quorbit-cli; do
    check "manual page $page" bash -c "zcat '$usr/share/man/man1/$page.1.gz' | grep -q '^\.TH \"\\?${page^^}'"
done
for file in doc/quorbit/quorbit.html doc/quorbit/copyright doc/quorbit/changelog.gz \
    applications/org.quorbit.Quorbit.desktop metainfo/org.quorbit.Quorbit.metainfo.xml \
    icons/hicolor/32x32/apps/quorbit.png icons/hicolor/256x256/apps/quorbit.png; do
    check "installed $file" test -s "$usr/share/$file"
done

demo=$work/demo
check "demo" "$cli" demo "$demo"
check "portfolios" grep -qx "$demo/STOCKS" <("$cli" portfolios "$demo")
check "symbols" grep -q "^ACME	" <("$cli" symbols "$demo/STOCKS")
check "quotes" test "$("$cli" quotes "$demo/STOCKS" ACME | wc -l)" -eq 6000
check "split-search" grep -qx "BOLT possible 2 for 1 split on 06/20/22" <("$cli" split-search "$demo/STOCKS")
check "export" "$cli" export "$demo/funds" BNDFND "$work/bndfnd.txt"
check "export wrote 750 quotes" test "$(wc -l <"$work/bndfnd.txt")" -eq 750
check "edit" "$cli" edit "$demo/funds" EQFND 11/14/24 11.26 11.14 11.32 11.21 68675 N/A
check "check finds the edit" bash -c "'$cli' check '$demo/funds'; test \$? -eq 1"

echo "installed package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
