#!/usr/bin/env bash
# check-install.sh BUILD_DIR PROGRAM...
# Installs the build into a scratch DESTDIR under /usr and checks that a desktop would find each program:
# the executable, a valid .desktop entry that runs it, and the icon that entry names.
set -euo pipefail
build=$1; shift
command -v desktop-file-validate >/dev/null || { echo "SKIP: desktop-file-validate is not installed"; exit 77; }

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install "$build" --prefix /usr >"$root/install.log" 2>&1 || { cat "$root/install.log"; exit 1; }
usr=$root/usr failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for program in "$@"; do
  [[ -x $usr/bin/$program ]] || fail "bin/$program missing or not executable"
  entry=$(grep -lx "Exec=$program\( .*\)\?" "$usr"/share/applications/*.desktop 2>/dev/null | head -n 1) \
    || { fail "no desktop entry runs $program"; continue; }
  out=$(desktop-file-validate "$entry" 2>&1) && [[ -z $out ]] || fail "$(basename "$entry") is not valid: $out"
  icon=$(sed -n 's/^Icon=//p' "$entry" | head -n 1)
  grep -qs '<svg' "$usr/share/icons/hicolor/scalable/apps/$icon.svg" || fail "icon $icon of $(basename "$entry") is not an installed SVG"
  echo "ok: $program, $(basename "$entry"), $icon.svg"
done

# korvo-web is a service, not a desktop program: its unit runs the installed program.
[[ -x $usr/bin/korvo-web ]] || fail "bin/korvo-web missing or not executable"
grep -qx 'ExecStart=/usr/bin/korvo-web .*' "$usr/lib/systemd/system/korvo-web.service" 2>/dev/null \
  || fail "korvo-web.service missing or not running /usr/bin/korvo-web"

# Only what a desktop user needs goes into /usr: no headers, libraries or test programs.
stray=$(cd "$usr" && find . -type f ! -path './bin/*' ! -path './share/applications/*' ! -path './share/icons/*' \
        ! -path './lib/systemd/system/korvo-web.service' | sort)
[[ -z $stray ]] || fail "unexpected files installed: $stray"
(( failures == 0 )) || { echo "$failures problem(s)"; exit 1; }
