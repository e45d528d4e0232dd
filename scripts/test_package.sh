#!/usr/bin/env bash
# Builds the Debian package and checks it: its file list and control fields,
# the desktop entry and metainfo against their validators, lintian (where it is
# installed; CI installs it) failing on errors, and the installed programs run
# from a scratch root (dpkg -x): --version, and a short operator script on the
# simulated board.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
# shellcheck source=setup.sh
source scripts/setup.sh
TAVRIN_PACKAGES+=(dpkg-dev file desktop-file-utils appstream)
if [ -n "${TAVRIN_CI:-}" ]; then TAVRIN_PACKAGES+=(lintian); fi
tavrin_install_missing

deb=$(scripts/package.sh | tail -n 1)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
fail() { echo "package: $*" >&2; failed=1; }

dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' >"$scratch/files"
for f in /usr/bin/tavrin /usr/bin/tavrin-script /usr/bin/tavrin-plot /usr/bin/tavrin-tracediff \
  /usr/share/applications/com.corvex.Tavrin.desktop /usr/share/metainfo/com.corvex.Tavrin.metainfo.xml \
  /usr/share/icons/hicolor/scalable/apps/tavrin.svg /usr/share/icons/hicolor/48x48/apps/tavrin.png \
  /usr/share/icons/hicolor/256x256/apps/tavrin.png /usr/lib/udev/rules.d/70-tavrin-ftdi.rules \
  /usr/share/man/man1/tavrin.1.gz /usr/share/man/man1/tavrin-script.1.gz /usr/share/man/man1/tavrin-simboard.1.gz \
  /usr/share/doc/tavrin/README.md /usr/share/doc/tavrin/README.source.md /usr/share/doc/tavrin/changelog.gz \
  /usr/share/doc/tavrin/copyright /usr/share/tavrin/examples/StimDemo.txt /usr/share/tavrin/examples/Endurance.txt; do
  grep -qx "$f" "$scratch/files" || fail "$f is missing"
done
grep -v -E '^/usr/(bin|share|lib/udev/rules.d)(/|$)|^/$|^/usr/$|^/usr/lib/$|^/usr/lib/udev/$' "$scratch/files" |
  sed 's/^/unexpected: /' | grep . && fail "files outside the install layout"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = tavrin ] || fail "Package is '$(field Package)'"
version=$(sed -n 's/^project(Tavrin VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
case "$(field Depends)" in *libqt6widgets6*libc6*|*libc6*libqt6widgets6*) ;;
  *) fail "Depends lacks Qt or the C library: '$(field Depends)'" ;; esac
basename "$deb" | grep -qx "tavrin_${version}_$(dpkg --print-architecture).deb" || fail "named $(basename "$deb")"

dpkg -x "$deb" "$scratch/root"
entry="$scratch/root/usr/share/applications/com.corvex.Tavrin.desktop"
desktop-file-validate "$entry" || fail "desktop entry"
# From the menu the program starts where its start-up sequence file is.
grep -qx 'Path=/usr/share/tavrin/examples' "$entry" || fail "the desktop entry does not start in the examples"
appstreamcli validate --no-net "$scratch/root/usr/share/metainfo/com.corvex.Tavrin.metainfo.xml" >/dev/null ||
  fail "metainfo"
latest=$(zcat "$scratch/root/usr/share/doc/tavrin/changelog.gz" | sed -n 1p)
[[ "$latest" == "tavrin ($version) "* ]] ||
  fail "the changelog's latest entry is not for $version"
grep -nE '\./run\.sh|build/|scripts/' "$scratch/root/usr/share/doc/tavrin/README.md" &&
  fail "the installed README.md names the source tree"

if command -v lintian >/dev/null; then
  # The project has no mail domain of its own: its maintainer address (in the
  # control file and the changelog) is the one thing lintian finds that it
  # cannot mend.
  lintian --suppress-tags bogus-mail-host,bogus-mail-host-in-debian-changelog "$deb" || fail "lintian: errors above"
else
  echo "package: lintian is not installed; not run" >&2
fi

bin="$scratch/root/usr/bin"
"$bin/tavrin" --version | grep -qE "^tavrin $version \(commit [0-9a-f]{12}(-modified)?\)$" ||
  fail "tavrin --version says '$("$bin/tavrin" --version)'"
printf '200 click cmdStartMotor\n300 click cmdStartMotor\n400 close\n' >"$scratch/short.script"
"$bin/tavrin" --board sim --drive-root "$scratch/drives" --script "$scratch/short.script" \
  --trace "$scratch/short.trace" >"$scratch/short.out" || fail "the installed tavrin ran the script with status $?"
grep -q "^# dump at 400.0" "$scratch/short.out" || fail "no final dump from the installed tavrin"
grep -q "FT_SetDtr -> 0" "$scratch/short.trace" || fail "the installed tavrin started no motor"

[ $failed = 0 ] && echo "package: $(basename "$deb") checked: $(wc -l <"$scratch/files") entries"
exit $failed
