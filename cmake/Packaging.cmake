# Installing and packaging: `cmake --install` puts the program in a prefix the
# way Config looks for its parts, and `cpack` makes a Debian package of it.
#
#   <prefix>/bin/quorvel
#   <prefix>/libexec/quorvel/   whisper-server and llama-server, when given
#                               (QUORVEL_HELPER_SERVERS_DIR), and the stand-ins
#                               in a developer install (QUORVEL_INSTALL_STANDINS)
#   <prefix>/share/quorvel/     every resource (cleanup prompt, word list, fonts
#                               with their licences)
#   <prefix>/share/applications/quorvel.desktop and the scalable icon
#   <prefix>/share/doc/quorvel/copyright   what ships and under which licence

set(QUORVEL_HELPER_SERVERS_DIR "" CACHE PATH
    "Folder holding whisper-server and llama-server to install beside the program")
option(QUORVEL_INSTALL_STANDINS "Install the stand-in model servers (developer installs)" OFF)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/ DESTINATION share/quorvel)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/quorvel.desktop DESTINATION share/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/quorvel.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION share/doc/quorvel)

if(QUORVEL_HELPER_SERVERS_DIR)
  foreach(server whisper-server llama-server)
    if(NOT EXISTS ${QUORVEL_HELPER_SERVERS_DIR}/${server})
      message(FATAL_ERROR "QUORVEL_HELPER_SERVERS_DIR has no ${server}: ${QUORVEL_HELPER_SERVERS_DIR}")
    endif()
    install(PROGRAMS ${QUORVEL_HELPER_SERVERS_DIR}/${server} DESTINATION libexec/quorvel)
  endforeach()
endif()
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
    "Quorvel turns speech into clean, finished text and types it where the cursor is.\n"
    "Speech is transcribed by a local whisper.cpp server and cleaned by a small local\n"
    "llama.cpp model; nothing leaves the machine.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "hunspell-en-us, libcanberra0, pulseaudio | pipewire-pulse, at-spi2-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-desktop-portal")
set(CPACK_STRIP_FILES ON)
include(CPack)
