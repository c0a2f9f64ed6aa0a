# The Debian package: `cpack -G DEB` in a build folder configured with
# CMAKE_INSTALL_PREFIX=/usr (the program looks for its skin under the prefix
# it was built for, so the package must install where the build points).
set(CPACK_GENERATOR DEB)
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
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.kestrilon.com/")
# Qt and C++ runtime libraries come from dpkg-shlibdeps; the skin font is named
# "Microsoft JhengHei", which is mapped to a CJK-capable face at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
include(CPack)
