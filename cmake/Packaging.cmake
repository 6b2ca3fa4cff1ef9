# The Debian package of both programs: `scripts/package` builds it for /usr.
# It holds what `cmake --install` installs (programs, the administrator helper
# and its policy, desktop entries, marker sounds, systemd user units, README).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nightwarden)
set(CPACK_PACKAGE_VENDOR "Nightwarden developers")
set(CPACK_PACKAGE_CONTACT "Nightwarden developers <nightwarden@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "On-duty sound recorder with a watchdog")
set(CPACK_PACKAGE_DESCRIPTION
    "Nightwarden keeps the last 80 seconds of one audio input in memory and records always, "
    "while the sound is over a threshold, or by daily schedules, with a plain-text log book. "
    "ZuGhoulizer relaunches registered applications whenever they end.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# bzip2 is the keeper's default compression command; polkit asks for the
# administrator password at the administrator check.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "bzip2")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pkexec")
# The programs find their data under the prefix they were configured with, so
# the package installs to that same prefix.
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_STRIP_FILES ON)
include(CPack)
