# The Debian package, made from the install rule: `cpack -G DEB` in the build folder writes
# vorel_<version>_<arch>.deb (scripts/make_package.sh does it and checks the result).
set(CPACK_PACKAGE_NAME vorel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Vorel developers")
set(CPACK_PACKAGE_CONTACT "The Vorel developers <vorel@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://vorel.example.org/")
# The first line is the short description; the rest, indented by cpack, the long one.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "small music player with a play list and a web music search
Vorel plays MP3 files from your folders and songs streamed over http and
https, with a spectrum display, lyrics from .lrc files, five play modes and
a tray icon. Its play list survives restarts.
.
With the hosts of a search engine and a sound service set in its settings
file, it also searches the web for songs, plays a song from the address of a
sound-sharing page and downloads it as an MP3 file over five parallel
connections.
.
Media keys and the desktop's sound menu control it (MPRIS).")
# Chinese captions need a CJK font; the others are used when present.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, qt6-wayland, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)  # computed with the libraries opened by name, below
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/depends.cmake)
set(CPACK_VOREL_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_VOREL_PACKAGED_BINARIES ${CMAKE_BINARY_DIR}/bin/vorel ${CMAKE_BINARY_DIR}/bin/libbass.so)
# Files are installed 0644 and folders 0755 whatever the builder's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
