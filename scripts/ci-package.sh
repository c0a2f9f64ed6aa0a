#!/usr/bin/env bash
# Installs into a staging folder, checks the layout, validates the desktop entry
# and the AppStream metadata, builds the Debian package and runs lintian on it,
# builds the RPM from the same configuration and checks its requirements and
# file list, then runs the end-to-end tests of the installed window under a
# headless Wayland compositor and under a real X server (where a screen reader's
# view of the window is checked too).
#
# Reuses the build folder of the test command (ORVANDEL_BUILD_DIR, default build/),
# configured for the prefix /usr (the program looks for its skin under the prefix
# it was built for, and the package installs there; no installed file names the
# source or build folder, whatever the flags). .ci/run configures it so from the
# start, so nothing is rebuilt here.
# Then builds the same sources a second time in another folder and checks that the
# two Debian packages are the same bytes (SOURCE_DATE_EPOCH: the commit's time).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVANDEL_BUILD_DIR:-$root/build}
cd "$root"
start=$(date +%s)
step() { printf -- '-- %s (%ds)\n' "$*" $(($(date +%s) - start)); }
fail() {
  echo "PACKAGE CHECK FAILED: $*" >&2
  exit 1
}

"$root/scripts/install-deps.sh" --test

if [[ -z ${SOURCE_DATE_EPOCH:-} ]] && git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct)
  export SOURCE_DATE_EPOCH
fi

step "Configure for /usr and the packages, and build"
generator=()
[[ -f $build/CMakeCache.txt ]] || generator=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo)
package_args=(-DCMAKE_INSTALL_PREFIX=/usr)
# shellcheck disable=SC2086  # ORVANDEL_CMAKE_ARGS is a list of arguments
cmake -S "$root" -B "$build" "${generator[@]}" "${package_args[@]}" ${ORVANDEL_CMAKE_ARGS:-} >/dev/null
cmake --build "$build"

step "Install into a staging folder"
stage=$build/stage
rm -rf "$stage"
DESTDIR=$stage cmake --install "$build" >/dev/null
app_id=com.kestrilon.orvandel
required=(
  usr/bin/orvandel-cli
  usr/bin/orvandel-launch
  usr/share/man/man1/orvandel-launch.1.gz
  usr/share/doc/orvandel/TROUBLESHOOTING.md
  usr/share/orvandel/img/finder_win_icon_ok@2x.png
  usr/share/applications/$app_id.desktop
  usr/share/metainfo/$app_id.metainfo.xml
  usr/share/icons/hicolor/48x48/apps/orvandel.png
  usr/share/icons/hicolor/128x128/apps/orvandel.png
  usr/share/icons/hicolor/256x256/apps/orvandel.png
  usr/share/icons/hicolor/scalable/apps/orvandel.svg
  usr/share/man/man1/orvandel.1.gz
  usr/share/man/man1/orvandel-cli.1.gz
  usr/share/doc/orvandel/copyright
  usr/share/doc/orvandel/README.md.gz
  usr/share/orvandel/orvandel-cli.schema.json
  usr/share/orvandel/orvandel-cli-events.schema.json
  usr/share/orvandel/orvandel-site.schema.json
  usr/share/orvandel/orvandel-ansible-inventory
  usr/lib/systemd/user/orvandel-export.service
  usr/lib/systemd/user/orvandel-export.timer
  usr/share/doc/orvandel/examples/orvandel-export-system.service
  usr/share/orvandel/img/finder_win_icon_ok.png
  usr/share/orvandel/img/finder_win_btn_commbutton_normal.png
)
window_built=0
if [[ -x $build/app/orvandel ]]; then
  window_built=1
  required+=(usr/bin/orvandel)
fi
for f in "${required[@]}"; do
  [[ -e $stage/$f ]] || fail "the installation lacks /$f"
done
# No installed file may name the folders it was built in.
for folder in "$root" "$build"; do
  if named=$(grep -rlaF -- "$folder" "$stage"); then
    fail "installed files hold the build's folder $folder: $(tr '\n' ' ' <<<"$named")"
  fi
done
for size in 48 128 256; do
  got=$(file -b "$stage/usr/share/icons/hicolor/${size}x$size/apps/orvandel.png")
  [[ $got == *"$size x $size"* ]] || fail "the ${size}px icon is $got"
done
[[ $(find "$stage/usr/share/orvandel/img" -name '*.png' | wc -l) -ge 40 ]] ||
  fail "the skin is incomplete"

step "The units and the inventory script name the program of their prefix"
for f in usr/lib/systemd/user/orvandel-export.service usr/share/orvandel/orvandel-ansible-inventory \
  usr/share/doc/orvandel/examples/orvandel-export-system.service; do
  grep -q '/usr/bin/orvandel-cli ' "$stage/$f" || fail "/$f does not start /usr/bin/orvandel-cli"
done
other=$build/prefix-check
rm -rf "$other"
cmake -S "$root" -B "$other" -DCMAKE_INSTALL_PREFIX=/opt/orvandel -DORVANDEL_TESTS=OFF >/dev/null
for f in orvandel-export.service orvandel-export-system.service orvandel-ansible-inventory; do
  named=$(grep -o '/[^ =]*bin/orvandel-cli' "$other/tools/cli/$f" | sort -u)
  [[ $named == /opt/orvandel/bin/orvandel-cli ]] || fail "for /opt/orvandel, $f starts $named"
done
rm -rf "$other"

step "Launcher: starts in \$XDG_CONFIG_HOME/orvandel"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# A stand-in program next to a copy of the launcher reports where it was started.
mkdir -p "$tmp/usr/bin"
cp "$stage/usr/bin/orvandel-launch" "$tmp/usr/bin/"
printf '#!/bin/sh\npwd\n' >"$tmp/usr/bin/orvandel"
chmod 755 "$tmp/usr/bin/orvandel"
got=$(HOME=$tmp/home XDG_CONFIG_HOME=$tmp/config "$tmp/usr/bin/orvandel-launch")
[[ $got == "$tmp/config/orvandel" ]] || fail "launcher started in '$got'"
got=$(HOME=$tmp/home XDG_CONFIG_HOME= "$tmp/usr/bin/orvandel-launch")
[[ $got == "$tmp/home/.config/orvandel" ]] || fail "launcher without XDG_CONFIG_HOME started in '$got'"

step "Monitoring: systemd units verified, a Prometheus server queried"
"$root/scripts/check-monitoring.sh" "$stage" "$build"

step "desktop-file-validate, appstreamcli validate"
desktop-file-validate "$stage/usr/share/applications/$app_id.desktop"
appstreamcli validate --no-net --explain "$stage/usr/share/metainfo/$app_id.metainfo.xml"
grep -q '^Exec=/usr/bin/orvandel-launch$' "$stage/usr/share/applications/$app_id.desktop" ||
  fail "the desktop entry does not start the launcher"

step "Debian package"
pkg_dir=$build/package
rm -rf "$pkg_dir"
(cd "$build" && cpack -G DEB -B "$pkg_dir" >/dev/null)
deb=$(ls "$pkg_dir"/orvandel_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "   $(basename "$deb"): $(du -k "$deb" | cut -f1) KiB, installed $(dpkg-deb -f "$deb" Installed-Size) KiB"
echo "   Depends: $depends"
for dep in fonts-noto-cjk fonts-wqy-microhei fonts-dejavu-extra libstdc++6 libc6; do
  [[ $depends == *"$dep"* ]] || fail "the package does not depend on $dep"
done
recommends=$(dpkg-deb -f "$deb" Recommends)
echo "   Recommends: $recommends"
for dep in xdg-utils qt6-wayland; do
  [[ $recommends == *"$dep"* ]] || fail "the package does not recommend $dep"
done
if ((window_built)); then
  [[ $depends == *libqt6widgets6* && $depends == *libqt6gui6* ]] ||
    fail "the package does not depend on the Qt 6 widgets runtime"
fi
contents=$(dpkg-deb -c "$deb")
for f in usr/bin/orvandel-cli "usr/share/applications/$app_id.desktop" usr/bin/orvandel-launch \
  usr/share/doc/orvandel/TROUBLESHOOTING.md; do
  [[ $contents == *"./$f"* ]] || fail "the package lacks /$f"
done
# -I: the hardening tags are informational ones, and their absence is checked.
if ! lintian_out=$(lintian -I --fail-on error --tag-display-limit 0 "$deb" 2>&1); then
  echo "$lintian_out"
  fail "lintian reports errors"
fi
echo "$lintian_out" | grep -v 'running with root privileges' | sed 's/^/   /' || true
if grep -q 'hardening-' <<<"$lintian_out"; then
  fail "lintian: binaries built without the hardening flags"
fi

step "RPM package"
(cd "$build" && cpack -G RPM -B "$pkg_dir" >/dev/null)
rpm_file=$(ls "$pkg_dir"/orvandel-*.rpm)
echo "   $(basename "$rpm_file"): $(du -k "$rpm_file" | cut -f1) KiB"
rpm_requires=$(rpm -qp --requires "$rpm_file" 2>/dev/null)
rpm_recommends=$(rpm -qp --recommends "$rpm_file" 2>/dev/null)
rpm_suggests=$(rpm -qp --suggests "$rpm_file" 2>/dev/null)
rpm_files=$(rpm -qp -l "$rpm_file" 2>/dev/null)
echo "   Requires: $(tr '\n' ' ' <<<"$rpm_requires")"
echo "   Recommends: $(tr '\n' ' ' <<<"$rpm_recommends")"
echo "   Suggests: $(tr '\n' ' ' <<<"$rpm_suggests")"
# The library requirements come from rpmbuild's scan of the binaries.
for dep in 'libc.so.6()(64bit)' 'libstdc++.so.6()(64bit)'; do
  grep -qxF "$dep" <<<"$rpm_requires" || fail "the RPM does not require $dep"
done
if ((window_built)); then
  grep -q '^libQt6Widgets.so.6()(64bit)' <<<"$rpm_requires" ||
    fail "the RPM does not require the Qt 6 widgets library"
fi
for dep in google-noto-sans-cjk-fonts xdg-utils; do
  grep -qx "$dep" <<<"$rpm_recommends" || fail "the RPM does not recommend $dep"
done
for f in usr/bin/orvandel-cli usr/bin/orvandel-launch "usr/share/applications/$app_id.desktop" \
  usr/share/doc/orvandel/TROUBLESHOOTING.md usr/share/orvandel/img/finder_win_icon_ok@2x.png; do
  grep -qxF "/$f" <<<"$rpm_files" || fail "the RPM lacks /$f"
done
# The folders of the file system itself belong to the system's own packages.
for d in /usr /usr/bin /usr/share /usr/share/applications /usr/share/man/man1; do
  ! grep -qxF "$d" <<<"$rpm_files" || fail "the RPM claims the system folder $d"
done
deb_count=$(dpkg-deb -c "$deb" | grep -vc '/$')
rpm_count=$(while read -r f; do [[ -d $stage$f ]] || echo "$f"; done <<<"$rpm_files" | grep -c .)
((deb_count == rpm_count)) || fail "the RPM holds $rpm_count files, the Debian package $deb_count"

step "Reproducible: a second build in another folder gives the same packages"
# The same sources (the files git knows, as they are in the working tree) in a
# folder of their own, built below it as build/ is below the checkout, so that the
# compiler cache sees the same relative paths.
twin=$build/twin
rm -rf "$twin"
mkdir -p "$twin"
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
  xargs -0 sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh |
  tar --null -T - -cf -) | tar -xf - -C "$twin"
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
# shellcheck disable=SC2086
cmake -S "$twin" -B "$twin/build" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" "${package_args[@]}" \
  -DORVANDEL_TESTS=OFF ${ORVANDEL_CMAKE_ARGS:-} >/dev/null
cmake --build "$twin/build" >/dev/null
(cd "$twin/build" && cpack -G DEB -B "$twin/package" >/dev/null)
twin_deb=$twin/package/$(basename "$deb")
if ! cmp "$deb" "$twin_deb"; then
  mkdir -p "$twin/a" "$twin/b"
  dpkg-deb -R "$deb" "$twin/a"
  dpkg-deb -R "$twin_deb" "$twin/b"
  diff -r "$twin/a" "$twin/b" | head -n 20 >&2 || true
  fail "two builds of the same sources in $build and $twin/build give different .deb files"
fi
echo "   $(basename "$deb"): the same bytes from $build and $twin/build"
(cd "$twin/build" && cpack -G RPM -B "$twin/package" >/dev/null)
twin_rpm=$twin/package/$(basename "$rpm_file")
if cmp -s "$rpm_file" "$twin_rpm"; then
  echo "   $(basename "$rpm_file"): the same bytes"
else
  # rpmbuild signs each package with a header digest over its own build's
  # identity; the files inside must still match.
  diff <(rpm -qp --dump "$rpm_file") <(rpm -qp --dump "$twin_rpm") >&2 ||
    fail "the two RPM packages hold different files"
  echo "   $(basename "$rpm_file"): the same files (sizes, times, digests); the packages differ in their headers"
fi
rm -rf "$twin"

step "End-to-end test under Wayland (weston, headless)"
if ((window_built)); then
  "$root/scripts/e2e-wayland.sh" "$stage" "$build" "$build/e2e"
else
  echo "SKIPPED: window not built ($build/app/orvandel does not exist)"
fi

step "End-to-end test under X, with the screen reader's view of step 1 (AT-SPI)"
if ((window_built)); then
  "$root/scripts/e2e-x11.sh" "$stage" "$build" "$build/e2e"
else
  echo "SKIPPED: window not built ($build/app/orvandel does not exist)"
fi
step "Done"
