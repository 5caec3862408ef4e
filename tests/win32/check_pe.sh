#!/usr/bin/env bash
# Static checks of a built vantrel.exe, for the builds whose code these
# machines cannot run (the 32-bit exe) and as a second look at the 64-bit one:
# the PE format, the GUI subsystem, the oldest system it loads on (Windows XP
# SP3: header versions, and every imported function on the list of what XP
# SP3 has, xp-sp3-functions.txt beside this script), imports from system DLLs
# only, and the resources: version record, icon, button bitmap and manifest.
#   check_pe.sh <vantrel.exe> <PE32|PE32+> <objdump> <windres> <version>
set -u
exe=$1 format=$2 objdump=$3 windres=$4 version=$5
here=$(dirname "$0")
source "$here/../lib.sh"

headers=$("$objdump" -p "$exe")
resources=$("$windres" -i "$exe" -O rc)
has() { grep -qF -- "$2" <<<"$1"; }

case $format in
    PE32) magic="010b	(PE32)" ;;
    PE32+) magic="020b	(PE32+)" ;;
esac
check_that "format $format" has "$headers" "Magic			$magic"
check_that "GUI subsystem: no console window" has "$headers" "(Windows GUI)"
check_that "aware of terminal servers: the system's own folders there too" has "$headers" "TERMINAL_SERVICE_AWARE"

# Windows XP SP3 loads it: header versions no newer than XP's (5.1; 5.2 for
# the x86_64 XP), and every imported function one that XP SP3 has.
field() { sed -n "s/^$1\t*//p" <<<"$headers"; }
newest=$([ "$format" = PE32 ] && echo 501 || echo 502)
for kind in OSystem Subsystem; do
    v=$(( $(field "Major${kind}Version") * 100 + $(field "Minor${kind}Version") ))
    check_that "$kind version $(field "Major${kind}Version").$(field "Minor${kind}Version") is at most XP's" test "$v" -le "$newest"
done
imported=$(awk '/DLL Name:/ { dll = toupper($3); next } dll && /^\t[0-9a-f]+\t/ { print dll, $3 }' <<<"$headers" | sort -u)
on_xp=$(awk -v format="$format" '
    /^\[/ { gsub(/[][]/, ""); dll = $1; wanted = ($2 != "64-bit" || format == "PE32+"); next }
    /^[^#]/ && NF && wanted { print dll, $1 }' "$here/xp-sp3-functions.txt" | sort -u)
echo "imports $(wc -l <<<"$imported") functions"
newer=$(comm -23 <(echo "$imported") <(echo "$on_xp") | tr '\n' ' ')
check_that "every imported function is one Windows XP SP3 has${newer:+ (not: $newer)}" test -z "$newer"

# Imports from the system's own DLLs only, and only from those the system
# always loads from its own directory: no compiler runtime beside the exe,
# and no DLL that one of the same name beside the exe could stand in for
# (the rest are loaded at run time from the system directory).
imports=$(sed -n 's/^\tDLL Name: //p' <<<"$headers" | tr 'a-z' 'A-Z' | sort -u)
echo "imports: $(tr '\n' ' ' <<<"$imports")"
unexpected=$(grep -vxE 'KERNEL32\.DLL|USER32\.DLL|GDI32\.DLL|MSVCRT\.DLL' <<<"$imports")
check_that "imports only DLLs the system loads from its own directory${unexpected:+ (not: $unexpected)}" test -z "$unexpected"

commas=$(tr . , <<<"$version" | sed 's/,/, /g')
check_that "file version $version" has "$resources" "FILEVERSION $commas"
check_that "product version $version" has "$resources" "PRODUCTVERSION $commas"
check_that "string table for U.S. English, code page 1252" has "$resources" 'BLOCK "040904E4"'
for value in '"FileDescription", "Vantrel Tool"' "\"FileVersion\", \"$version\"" '"ProductVersion", "1.0.0.0"' \
             '"InternalName", ""' '"LegalTrademarks", ""' '"OriginalFilename", ""' '"ProductName", ""' \
             '"Comments", ""'; do
    check_that "version value $value" has "$resources" "VALUE $value"
done
check_that "translation 0x409, 1252" has "$resources" 'VALUE "Translation", 0x409, 1252'
check_that "icon: one 32 by 32 image of 256 colours" has "$resources" '"\040\040\000\000", 1, 8,'
check_that "button bitmap: 32 by 16, 16 colours" has "$resources" "0x28L      , 0x20L      , 0x10L      , 0x40001L"
check_that "manifest: common controls version 6" has "$resources" 'name=""Microsoft.Windows.Common-Controls"" version=""6.0.0.0""'
check_that "manifest: the program's own version $version" has "$resources" "name=\"\"Vantrel\"\" version=\"\"$version\"\""
check_that "manifest: aware of the screen density, system-wide" has "$resources" '>true</dpiAware>'
check_that "manifest: aware of each monitor's density" has "$resources" '>PerMonitorV2, System</dpiAwareness>'
for os in e2011457-1546-43c5-a5fe-008deee3d3f0 35138b9a-5d96-4fbd-8e2d-a2440225f93a 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 \
          1f676c76-80e1-4239-95bb-83d0f6d0da78 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
    check_that "manifest: supported system {$os}" has "$resources" "supportedOS Id=\"\"{$os}\"\""
done

checks_done
