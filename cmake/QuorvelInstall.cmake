# Installation and the Debian package of the Linux programs (native build only).
#
#   cmake --install BUILD            quorvel-serve and quorvel-fetch in bin/, their man pages
#                                    in share/man/man1/, README.md, docs/*.md and COPYING in
#                                    share/doc/quorvel/
#   cpack -G DEB --config BUILD/CPackConfig.cmake
#                                    the same files under /usr as the package quorvel, with
#                                    the Debian copyright file and changelog.Debian.gz in
#                                    place of COPYING (Debian keeps the GPL in common-licenses)
#
# The man pages are made from each program's --help and --version by help2man, gzipped. A
# tree configured without help2man builds and installs everything but the man pages.
include(GNUInstallDirs)

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(QUORVEL_PACKAGE_MAINTAINER "Quorvel developers <quorvel-devel@example.org>"
    CACHE STRING "The Maintainer field of the Debian package and its changelog")

install(TARGETS quorvel-serve quorvel-fetch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

file(GLOB quorvel_docs ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${quorvel_docs} DESTINATION ${CMAKE_INSTALL_DOCDIR})
# In a plain install only: the package has /usr/share/doc/quorvel/copyright instead.
install(FILES ${PROJECT_SOURCE_DIR}/COPYING DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT license)

find_program(QUORVEL_HELP2MAN help2man)
if(QUORVEL_HELP2MAN)
  set(quorvel_man_pages)
  foreach(program quorvel-serve quorvel-fetch)
    set(page ${CMAKE_CURRENT_BINARY_DIR}/man/${program}.1)
    set(extra ${PROJECT_SOURCE_DIR}/packaging/man/${program}.h2m)
    file(STRINGS ${extra} summary LIMIT_COUNT 1 REGEX "^# name: ")
    string(REGEX REPLACE "^# name: " "" summary "${summary}")
    add_custom_command(
      OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
      COMMAND ${QUORVEL_HELP2MAN} --no-info --section=1 --name=${summary} --include=${extra}
              --output=${page} $<TARGET_FILE:${program}>
      COMMAND gzip -9nf ${page}
      DEPENDS ${program} ${extra}
      COMMENT "Making the man page of ${program}"
      VERBATIM)
    list(APPEND quorvel_man_pages ${page}.gz)
  endforeach()
  add_custom_target(quorvel_man_pages ALL DEPENDS ${quorvel_man_pages})
  install(FILES ${quorvel_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man not found: no man pages for quorvel-serve and quorvel-fetch")
endif()

# The Debian package's own documentation files, in a component that only the package takes.
string(TIMESTAMP quorvel_changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(quorvel_deb_version ${PROJECT_VERSION}-1)
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in
               ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/copyright.in
               ${CMAKE_CURRENT_BINARY_DIR}/debian/copyright @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian.gz
  COMMAND gzip -9nkf ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian
  VERBATIM)
add_custom_target(quorvel_debian_changelog ALL
                  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian/copyright
              ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)

set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${QUORVEL_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "frame server client and stand-in host for TCPDeliver")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvel turns a video editor on Windows into a frame server for AviSynth's\n"
    "TCPSource. This package holds its two Linux programs:\n"
    " - quorvel-fetch, a client that receives frames and audio from the\n"
    "   server and writes them as Y4M and WAV for ffmpeg or x264,\n"
    " - quorvel-serve, a stand-in host that serves a test pattern, or a Y4M\n"
    "   video and a WAV file, with the plug-in's own serving code.\n"
    "The plug-in, quorvel.auo, comes as a zip of its own.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
# Everything a plain install has but COPYING, and the Debian files.
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${CMAKE_BINARY_DIR};quorvel;Unspecified;/;${CMAKE_BINARY_DIR};quorvel;debian;/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QUORVEL_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
