# SPDX-License-Identifier: MIT
# `cpack` in a build tree makes a .deb of what `cmake --install` puts in place.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qel-stashlet)
set(CPACK_PACKAGE_VENDOR "QEL Stashlet developers")
set(CPACK_PACKAGE_CONTACT "QEL Stashlet developers <stashlet@qel.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "shelf in the system tray for up to five files")
set(CPACK_PACKAGE_DESCRIPTION
    "Drop files or folders on the tray panel; each is copied into a private\n\
staging folder and shown as a card that can be dragged out again to any\n\
application or sent to a phone through KDE Connect or GSConnect. The shelf\n\
is cleared when the program quits.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${STASHLET_HOMEPAGE}")
# dpkg-shlibdeps derives the dependencies on Debian's Qt 6 libraries from
# what the program links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's Wayland plugin: without it Wayland sessions run the program through
# XWayland, and cards dragged out to native Wayland applications arrive nowhere.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "kdeconnect | gnome-shell-extension-gsconnect, qt6-wayland")
include(CPack)
