#!/usr/bin/env bash
# Builds the release package of one build tree with CPack and checks what is
# in it, as a packager and a user would look at it.
#   .deb: named for the build's version, xz-compressed, clean under lintian
#         at every level; the license as a machine-
#         readable copyright file, the changelog, a user's README, the manual
#         page (lint-clean), the desktop entry (valid) and its icons. Also
#         the source package, which leaves build trees and git out.
#   .zip: the exe, README.txt and LICENSE.txt with CRLF line ends, and the
#         exe's version record naming the license.
#   check_package.sh <build dir> <deb|win32|win64> <version>
set -u
build=$1 kind=$2 version=$3
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
source "$source_dir/tests/lib.sh"
# silent COMMAND...: succeeds when the command succeeds and prints nothing;
# what it printed is shown.
silent() {
    local said
    said=$("$@" 2>&1) && [ -z "$said" ] && return 0
    printf '%s\n' "$said" >&2
    return 1
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The license's terms: LICENSE after its copyright line and the empty line.
license_terms() { sed '1,/^Copyright /d' "$source_dir/LICENSE" | sed '1{/^$/d}'; }
# has_crlf_lines FILE: every line ends in CR LF, the last one included.
has_crlf_lines() {
    python3 -c 'import sys; t = open(sys.argv[1], "rb").read()
sys.exit(not t.endswith(b"\r\n") or t.count(b"\n") != t.count(b"\r\n") or t.count(b"\r") != t.count(b"\r\n"))' "$1"
}

(cd "$build" && cpack -C Release --config CPackConfig.cmake) || { echo "FAIL: cpack"; exit 1; }
case $kind in
    deb)
        package=$build/packages/vantrel_${version}_amd64.deb
        check_that "the .deb is named for version $version" test -f "$package"
        fields=$(dpkg-deb -f "$package" Package Version Depends Recommends)
        echo "$fields"
        check_that "package vantrel, version $version" grep -qx "Version: $version" <<<"$fields"
        check_that "depends on Qt's widgets" grep -q "libqt6widgets6" <<<"$fields"
        check_that "recommends Qt's Wayland plugin" grep -qx "Recommends: qt6-wayland" <<<"$fields"
        check_that "compressed with xz" grep -qx "data.tar.xz" <<<"$(ar t "$package")"

        root=$work/root
        dpkg-deb -x "$package" "$root"
        doc=$root/usr/share/doc/vantrel
        check_that "the program in /usr/bin" test -x "$root/usr/bin/vantrel"
        check_that "the window's program in /usr/libexec/vantrel" test -x "$root/usr/libexec/vantrel/vantrel-window"
        check_that "the program links no Qt library" sh -c '! readelf -d "$1" | grep -q "NEEDED.*libQt"' sh "$root/usr/bin/vantrel"
        check_that "a README for users, of this version" grep -qx "This is version $version." "$doc/README"
        check_that "a machine-readable copyright file" \
            grep -qx "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" "$doc/copyright"
        check_that "the copyright file carries LICENSE's terms" \
            diff <(tac "$doc/copyright" | sed '/^License: Expat$/q' | tac | tail -n +2 | sed 's/^ //; s/^\.$//') \
                 <(license_terms)
        check_that "changelog.gz, its latest entry for version $version" \
            grep -q "^vantrel ($version) " <(zcat "$doc/changelog.gz")

        man_page=$root/usr/share/man/man1/vantrel.1.gz
        check_that "the manual page, compressed" gzip -t "$man_page"
        zcat "$man_page" >"$work/vantrel.1"
        check_that "the manual page is clean under mandoc -T lint" silent mandoc -T lint "$work/vantrel.1"
        check_that "the manual page is clean under groff -ww" silent groff -man -ww -z -Tutf8 "$work/vantrel.1"
        rendered=$(man --warnings -E UTF-8 -l "$man_page" 2>&1 | tr -s ' \n' '  ')
        check_that "the manual page says what --help does" grep -qF 'vantrel --help opens a window showing Error: "2" -> --help' <<<"$rendered"

        desktop=$root/usr/share/applications/vantrel.desktop
        check_that "the desktop entry is valid" silent desktop-file-validate "$desktop"
        check_that "the desktop entry is kept out of menus" grep -qx "NoDisplay=true" "$desktop"
        check_that "the desktop entry names the icon" grep -qx "Icon=vantrel" "$desktop"
        for size in 32 64 128; do
            icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/vantrel.png
            check_that "icon ${size}x${size}, a PNG of that size" python3 -c '
import struct, sys
head = open(sys.argv[1], "rb").read(24)
sys.exit(head[:8] != b"\x89PNG\r\n\x1a\n" or struct.unpack(">II", head[16:24]) != (int(sys.argv[2]),) * 2)' \
                "$icon" "$size"
        done

        # Every tag counts, pedantic and experimental ones too: what remains
        # must be overridden in the package, with the reason.
        lintian --pedantic -E -I --fail-on error,warning,info,pedantic,experimental "$package" \
            >"$work/lintian" 2>&1
        status=$?
        grep -v "running with root privileges" "$work/lintian"
        check_that "lintian finds nothing" test "$status" -eq 0

        (cd "$build" && cpack --config CPackSourceConfig.cmake) >/dev/null || fail "cpack of the sources"
        sources=$(tar -tf "$build/packages/vantrel-$version.tar.xz")
        check_that "the source package holds the sources" grep -qx "vantrel-$version/CMakeLists.txt" <<<"$sources"
        check_that "the source package holds LICENSE" grep -qx "vantrel-$version/LICENSE" <<<"$sources"
        check_that "the source package leaves build/ out" test -z "$(grep "^vantrel-$version/build/" <<<"$sources")"
        check_that "the source package leaves git out" test -z "$(grep -E "^vantrel-$version/\.git(/|$)" <<<"$sources")"
        ;;
    win32 | win64)
        package=$build/packages/vantrel-$version-$kind.zip
        check_that "the .zip is named for version $version and $kind" test -f "$package"
        contents=$(python3 -m zipfile -l "$package")
        echo "$contents"
        python3 -m zipfile -e "$package" "$work"
        check_that "vantrel.exe, README.txt and LICENSE.txt, nothing else" \
            test "$(ls "$work" | tr '\n' ' ')" = "LICENSE.txt README.txt vantrel.exe "
        check_that "README.txt for users, of this version" grep -q "^This is version $version\.$(printf '\r')$" "$work/README.txt"
        check_that "README.txt has CRLF line ends" has_crlf_lines "$work/README.txt"
        check_that "LICENSE.txt has CRLF line ends" has_crlf_lines "$work/LICENSE.txt"
        check_that "LICENSE.txt is LICENSE" diff <(tr -d '\r' <"$work/LICENSE.txt") "$source_dir/LICENSE"
        # The exe's strings are UTF-16; the license is named in its version
        # record only.
        check_that "the exe's version record names the license" python3 -c '
import sys
sys.exit("MIT License".encode("utf-16-le") not in open(sys.argv[1], "rb").read())' \
            "$work/vantrel.exe"
        ;;
esac
checks_done "the package is as it should be"
