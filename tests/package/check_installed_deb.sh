#!/usr/bin/env bash
# Installs a build tree's .deb with dpkg as a user would, on this machine (as
# root), looks at what the package installed, runs the installed program end
# to end under Xvfb, and removes the package again, also on failure.
#   check_installed_deb.sh <build dir>
set -euo pipefail
build=$1
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
package=$build/packages/vantrel_${version}_amd64.deb

echo "+ dpkg -i $package"
dpkg -i "$package"
trap 'echo "+ dpkg -r vantrel"; dpkg -r vantrel' EXIT
trap 'exit 1' INT TERM HUP

# man finds the installed page and formats it without a warning.
test "$(man -w vantrel)" = /usr/share/man/man1/vantrel.1.gz
warnings=$(MANPAGER=cat man --warnings vantrel 2>&1 >/dev/null)
if [ -n "$warnings" ]; then
    echo "man vantrel warns:"; echo "$warnings"
    exit 1
fi
page=$(MANPAGER=cat man vantrel)
grep -q "vantrel - show what a console command prints, in a window" <<<"$page"
echo "ok: man vantrel"

"$source_dir/tests/e2e/vantrel_e2e_linux.sh" /usr/bin/vantrel "$build/tests/x_close_window" \
    "$build/tests/x_flood_root_properties"
