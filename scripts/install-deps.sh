#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need.
# Only what is missing is installed; apt-get runs as root, or through sudo.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config clang-format-14 python3
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-qpa-plugins qt6-wayland
  libgtest-dev libgmock-dev
  fonts-wqy-microhei fonts-noto-cjk fonts-dejavu-core fonts-dejavu-extra
  iproute2 xdg-utils
)
if [[ "${1:-}" == "--test" || "${1:-}" == "--ci" ]]; then
  # nlohmann-json3-dev: the independent JSON reader the fuzz targets compare with;
  # python3-jsonschema: the CLI's JSON checked against its schema;
  # rpm and weston: the RPM package and the Wayland end-to-end test; ccache: the
  # compiler cache the CI's build trees share; nftables: the firewall rules the
  # diagnosis tests make in their namespaces; prometheus, prometheus-node-exporter
  # and ansible-core: the CLI's exports and inventory read by the real tools.
  packages+=(ccache nlohmann-json3-dev xvfb xauth xdotool x11-utils imagemagick desktop-file-utils appstream lintian dpkg-dev fakeroot file procps
    dbus-daemon at-spi2-core python3-pyatspi python3-jsonschema rpm weston nftables
    prometheus prometheus-node-exporter ansible-core curl)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -eq 0 ]]; then sudo=(); else sudo=(sudo); fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
