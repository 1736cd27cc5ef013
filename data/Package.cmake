# `cpack -G DEB` in the build directory makes quellora_<version>_<arch>.deb
# from the install rules of data/CMakeLists.txt, under /usr, for Debian 12 and
# its kin. Included from the top, where CPack's configuration belongs.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quellora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quellora developers")
set(CPACK_PACKAGE_CONTACT "The Quellora developers <player@quellora.example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL https://quellora.example.org/)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "skinned MP3 player with a playlist and system-wide hotkeys")
set(CPACK_PACKAGE_DESCRIPTION [[
Quellora plays MP3 files from a playlist: double-click a song and it plays,
and when it ends the next one, or a random one, starts by itself. The list
is saved at every change and comes back at the next start; songs, folders
and list files are added from the list's menu or dropped from the file
manager.

Keys of the user's choice drive the player while another application has
the focus. The borderless window takes its shape from a skin bitmap, with an
animated banner across its top, and hides in the notification area when
minimised. The desktop's media keys reach it through MPRIS.]])

# The install script writes the prefix into the desktop entry's Exec line:
# it must see /usr, with the staging folder apart in DESTDIR.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# The libraries the binary links come from dpkg-shlibdeps. GStreamer finds its
# elements at run time: playbin, volume, audioconvert and audioresample are in
# plugins-base; the ID3 demuxer, the MPEG audio parser, the mpg123 decoder and
# autoaudiosink with its PulseAudio (and PipeWire's pulse) sink in plugins-good.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good")
# Wayland only serves where no XWayland answers, and ALSA only where no sound
# server runs.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland, gstreamer1.0-alsa")

include(CPack)
