# Every system library the build uses, each from a Debian 12 package that
# scripts/install-deps installs. A missing one stops the configure with the
# package to install; nothing is left out quietly.

function(quorvel_missing what package)
  message(FATAL_ERROR "${what} was not found: install the Debian package ${package} "
                      "(scripts/install-deps installs everything the build needs)")
endfunction()

# quorvel_pkg_config(PREFIX PACKAGE module...): the modules as the imported
# target PkgConfig::PREFIX, visible to the whole tree.
macro(quorvel_pkg_config prefix package)
  pkg_check_modules(${prefix} QUIET IMPORTED_TARGET GLOBAL ${ARGN})
  if(NOT ${prefix}_FOUND)
    quorvel_missing("pkg-config module ${ARGN}" ${package})
  endif()
endmacro()

# quorvel_find(NAME PACKAGE [find_package arguments...])
macro(quorvel_find name package)
  find_package(${name} ${ARGN} QUIET)
  if(NOT ${name}_FOUND)
    quorvel_missing("${name}" ${package})
  endif()
endmacro()

quorvel_find(PkgConfig pkg-config)
find_package(Threads REQUIRED)

# The engine.
quorvel_find(CURL libcurl4-openssl-dev)
quorvel_find(OpenSSL libssl-dev)
quorvel_find(nlohmann_json nlohmann-json3-dev 3.10)
quorvel_pkg_config(ICU libicu-dev icu-uc icu-i18n)
quorvel_pkg_config(HUNSPELL libhunspell-dev hunspell)
# The stand-in servers and the test download host.
quorvel_pkg_config(HTTPLIB libcpp-httplib-dev cpp-httplib)

# The desktop: Qt Widgets, the X connection, sound, keys, accessibility.
quorvel_find(Qt6 qt6-base-dev 6.4 COMPONENTS Widgets Gui DBus)
quorvel_pkg_config(XCB libxcb1-dev xcb)
quorvel_pkg_config(XLIB libx11-dev x11)
quorvel_pkg_config(XINPUT libxi-dev xi)
quorvel_pkg_config(XTEST libxtst-dev xtst)
quorvel_pkg_config(PULSE libpulse-dev libpulse)
quorvel_pkg_config(ATSPI libatspi2.0-dev atspi-2)
quorvel_pkg_config(GIO libglib2.0-dev gio-2.0)
quorvel_pkg_config(CANBERRA libcanberra-dev libcanberra)
quorvel_pkg_config(UDEV libudev-dev libudev)
# The keyboard layout, for typing text key by key on Wayland.
quorvel_pkg_config(XKB libxkbcommon-dev xkbcommon)
quorvel_pkg_config(XKBX11 libxkbcommon-x11-dev xkbcommon-x11)

if(QUORVEL_BUILD_TESTS OR QUORVEL_BUILD_BENCH)
  quorvel_find(GTest libgtest-dev)
  if(NOT TARGET GTest::gmock)
    quorvel_missing("Google Mock" libgmock-dev)
  endif()
  # The speech the audio and engine-run tests are given is spoken at build time.
  foreach(tool espeak-ng sox)
    find_program(QUORVEL_${tool} ${tool})
    if(NOT QUORVEL_${tool})
      quorvel_missing("The program ${tool}" ${tool})
    endif()
  endforeach()
endif()
if(QUORVEL_BUILD_BENCH)
  quorvel_find(benchmark libbenchmark-dev)
endif()
