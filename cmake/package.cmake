# `make deb`: a Debian package of what `cmake --install` puts in place, built
# by CPack: quillon_VERSION_ARCH.deb, its dependencies found by dpkg-shlibdeps
# from the shared libraries the programs link.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quillon developers")
set(CPACK_PACKAGE_CONTACT "The Quillon developers <support@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "speech recorder with a skinned window")
set(CPACK_PACKAGE_DESCRIPTION "Quillon records speech from the microphone into WAV files (GSM 6.10 or PCM) \
and plays them back, with voice activation, scanning, seeking and four play modes. quillon-wav inspects, \
converts, plays and records WAV files on the command line.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.example.org/quillon")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Not linked, but needed all the same: the skin's "Arial" is Liberation Sans;
# on a Wayland session without XWayland Qt needs its Wayland plugin.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, pipewire-pulse | pulseaudio")
include(CPack)
