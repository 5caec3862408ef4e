#!/usr/bin/env bash
# Builds the release package of one build tree with CPack and checks what is
# in it: the program, the README and the version 1.0.0.3.
#   check_package.sh <build dir> <deb|win32|win64>
set -u
build=$1 kind=$2
failures=0
check() { # check DESCRIPTION COMMAND...
    if "${@:2}" >/dev/null 2>&1; then echo "ok: $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi
}

(cd "$build" && cpack -C Release --config CPackConfig.cmake) || { echo "FAIL: cpack"; exit 1; }
case $kind in
    deb)
        package=$build/packages/vantrel_1.0.0.3_amd64.deb
        check "the .deb is named for version 1.0.0.3" test -f "$package"
        fields=$(dpkg-deb -f "$package" Package Version Depends)
        contents=$(dpkg-deb -c "$package")
        echo "$fields"
        check "package vantrel, version 1.0.0.3" grep -qx "Version: 1.0.0.3" <<<"$fields"
        check "depends on Qt's widgets" grep -q "libqt6widgets6" <<<"$fields"
        check "the program in /usr/bin" grep -q " ./usr/bin/vantrel$" <<<"$contents"
        check "the README in /usr/share/doc/vantrel" grep -q " ./usr/share/doc/vantrel/README.md$" <<<"$contents"
        ;;
    win32 | win64)
        package=$build/packages/vantrel-1.0.0.3-$kind.zip
        check "the .zip is named for version 1.0.0.3 and $kind" test -f "$package"
        contents=$(python3 -m zipfile -l "$package")
        echo "$contents"
        check "vantrel.exe at the top" grep -q "^vantrel.exe " <<<"$contents"
        check "README.md at the top" grep -q "^README.md " <<<"$contents"
        check "nothing else" test "$(grep -c . <<<"$contents")" -eq 3
        ;;
esac
[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
