# The Debian and RPM packages: `cpack -G DEB` or `cpack -G RPM` in a build folder
# configured with CMAKE_INSTALL_PREFIX=/usr (the program looks for its skin under
# the prefix it was built for, so the package must install where the build points).
# No installed file names the build's folders, whatever the configure flags.
# With SOURCE_DATE_EPOCH set, two builds of one commit give the same .deb bytes.
set(CPACK_GENERATOR DEB RPM)
set(CPACK_PACKAGE_NAME orvandel)
set(CPACK_PACKAGE_VENDOR "Kestrilon Corporation")
set(CPACK_PACKAGE_CONTACT "Kestrilon Linux Team <linux@kestrilon.com>")
set(CPACK_PACKAGE_VERSION "${ORVANDEL_RELEASE_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find Kestrilon streaming devices on the local network")
set(CPACK_PACKAGE_DESCRIPTION "Orvandel finds Kestrilon network streaming devices (TR400, TR9100) on the
local network by a UDP multicast search from every IPv4 adapter, lists them
with model, name, IP and MAC address, and opens a device's web page in the
browser. The window speaks English, Chinese and Japanese.

The package also holds orvandel-cli, the same search from a terminal.")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/source_date.cmake")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.kestrilon.com/")
# Qt and C++ runtime libraries come from dpkg-shlibdeps; the skin font is named
# "Microsoft JhengHei", which is mapped to a CJK-capable face at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window sets its texts in DejaVu Sans Condensed first (fonts-dejavu-extra), its
# ideographs in the Noto CJK face of the language's forms, sized for WenQuanYi's cell.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk, fonts-wqy-microhei, fonts-dejavu-extra")
# The Wayland platform plugin: without it a Wayland session runs the window
# through XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, qt6-wayland")

# RPM: library requirements come from rpmbuild's automatic dependency scan; the
# fonts and the browser opener are weak dependencies, as their names differ
# between distributions (Fedora's names here; zypper and dnf skip unknown ones).
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_RELEASE 1)
set(CPACK_RPM_PACKAGE_LICENSE "LicenseRef-proprietary")
set(CPACK_RPM_PACKAGE_GROUP "Applications/Internet")
set(CPACK_RPM_PACKAGE_URL "https://www.kestrilon.com/")
set(CPACK_RPM_PACKAGE_AUTOREQ ON)
set(CPACK_RPM_PACKAGE_AUTOPROV OFF)
# CPack 3.25 drops its own weak-dependency variables with this rpmbuild (it looks
# for tag names that rpm 4.18 spells differently), so the tags go into the RPM build file's
# preamble directly. No /usr/lib/.build-id links: the package has no debuginfo.
# With SOURCE_DATE_EPOCH set, it is also the package's build time and the latest
# time of any file in it.
string(JOIN "\n" CPACK_RPM_SPEC_MORE_DEFINE
  "Recommends: google-noto-sans-cjk-fonts"
  "Recommends: dejavu-sans-fonts"
  "Recommends: xdg-utils"
  "Recommends: qt6-qtwayland"
  "Suggests: wqy-microhei-fonts"
  "%define _build_id_links none"
  "%define use_source_date_epoch_as_buildtime 1"
  "%define clamp_mtime_to_source_date_epoch 1")
# Folders every system owns already stay out of the package's file list.
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
    /usr/share/applications /usr/share/metainfo /usr/share/icons /usr/share/icons/hicolor
    /usr/share/man /usr/share/man/man1 /usr/share/doc /usr/lib/systemd /usr/lib/systemd/user)
foreach(size 48x48 128x128 256x256 scalable)
  list(APPEND CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
       /usr/share/icons/hicolor/${size} /usr/share/icons/hicolor/${size}/apps)
endforeach()
include(CPack)
