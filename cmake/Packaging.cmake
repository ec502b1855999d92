# Installing and packaging: `cmake --install` puts the program in a prefix the
# way Config looks for its parts, and `cpack` makes a Debian package of it.
#
#   <prefix>/bin/quorvel                 (src/main)
#   <prefix>/libexec/quorvel/            whisper-server and llama-server when
#                                        scripts/build-servers put them in this
#                                        build tree; the stand-ins only in a
#                                        developer install (QUORVEL_INSTALL_STANDINS)
#   <prefix>/share/quorvel/              every resource (cleanup prompt, word
#                                        list, fonts with their licences)
#   <prefix>/share/applications/quorvel.desktop and the scalable icon
#   <prefix>/share/doc/quorvel/copyright what ships and under which licence

option(QUORVEL_INSTALL_STANDINS "Install the stand-in model servers (developer installs)" OFF)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/ DESTINATION share/quorvel)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/quorvel.desktop DESTINATION share/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/quorvel.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION share/doc/quorvel)

# The real servers are built outside CMake (they take minutes), so whether
# they are there is known only when installing.
install(DIRECTORY ${CMAKE_BINARY_DIR}/libexec/quorvel/ DESTINATION libexec/quorvel OPTIONAL
        USE_SOURCE_PERMISSIONS FILES_MATCHING PATTERN whisper-server PATTERN llama-server)
if(QUORVEL_INSTALL_STANDINS)
  install(TARGETS quorvel-standin-whisper quorvel-standin-llama RUNTIME DESTINATION libexec/quorvel)
endif()

# The Debian package. Library dependencies are read from the binaries
# (dpkg-shlibdeps); the rest are what the program runs or reads at run time.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR "Quorvel")
set(CPACK_PACKAGE_CONTACT "Quorvel developers <quorvel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Local dictation: hold right Alt, talk, and the text is typed")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvel turns speech into clean, finished text and types it where the cursor is. \
Speech is transcribed by a local whisper.cpp server and cleaned by a small local \
llama.cpp model; nothing leaves the machine.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The libraries come from dpkg-shlibdeps; these are what the program needs
# beside them: the US-English dictionary, the accessibility bus, a sound server.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "hunspell-en-us, at-spi2-core, pulseaudio | pipewire-pulse")
# Sounds through the sound server, the sound theme's events, the desktop's
# light or dark preference and opening links.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libcanberra-pulse, sound-theme-freedesktop, xdg-desktop-portal, xdg-utils")
set(CPACK_STRIP_FILES ON)
include(CPack)
