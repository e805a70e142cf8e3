# Installation (`cmake --install build --prefix /usr`) and the Debian package
# (`cpack -G DEB` in the build folder).
#
#   bin/                          Pellvane, pellvane-cli, pellvane-reg, pellvane-register-host
#   <libdir>/pellvane/            the sample host component and make-sample-cd
#   share/pellvane/help/          the help page the sample host opens
#   share/applications/, share/icons/hicolor/, share/metainfo/, share/man/
#   share/fontconfig/conf.avail/  the "ＭＳ Ｐゴシック" alias (linked from
#                                 /etc/fonts/conf.d when the prefix is /usr)
#   share/doc/pellvane/           copyright, changelog.Debian.gz
set(PELLVANE_MAINTAINER "Pellvane maintainers <maintainers@users.noreply.c-seed-561e4960.example>")
set(PELLVANE_DEB_RELEASE 1)
set(PELLVANE_DEB_VERSION ${PROJECT_VERSION}-${PELLVANE_DEB_RELEASE})
set(_pkg ${CMAKE_BINARY_DIR}/packaging)

# Icons from icon 320, in the hicolor sizes.
set(PELLVANE_ICON_SIZES 16 32 48 64 128)
set(_icons)
foreach(size ${PELLVANE_ICON_SIZES})
  list(APPEND _icons ${_pkg}/icons/${size}x${size}/pellvane.png)
endforeach()
find_program(PELLVANE_CONVERT convert REQUIRED)
add_custom_command(OUTPUT ${_icons}
  COMMAND ${CMAKE_COMMAND} -DXPM=${CMAKE_SOURCE_DIR}/res/icon/icon_320.xpm -DOUT=${_pkg}/icons
          -DCONVERT=${PELLVANE_CONVERT} -P ${CMAKE_SOURCE_DIR}/packaging/make_icons.cmake
  DEPENDS ${CMAKE_SOURCE_DIR}/res/icon/icon_320.xpm ${CMAKE_SOURCE_DIR}/packaging/make_icons.cmake
  COMMENT "Drawing the desktop icons"
  VERBATIM)

# Manual pages and the changelog, compressed as Debian ships them.
string(TIMESTAMP PELLVANE_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.Debian.in ${_pkg}/changelog.Debian @ONLY)
set(PELLVANE_MAN_PAGES Pellvane pellvane-cli pellvane-reg pellvane-register-host)
set(_gz_sources)
foreach(page ${PELLVANE_MAN_PAGES})
  list(APPEND _gz_sources man/${page}.1 man/ja/${page}.1)
endforeach()
set(_gz_files)
foreach(src ${_gz_sources} changelog.Debian)
  if(src STREQUAL "changelog.Debian")
    set(_in ${_pkg}/changelog.Debian)
  else()
    set(_in ${CMAKE_SOURCE_DIR}/packaging/${src})
  endif()
  set(_out ${_pkg}/${src}.gz)
  get_filename_component(_dir ${_out} DIRECTORY)
  add_custom_command(OUTPUT ${_out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_dir}
    COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" sh ${_in} ${_out}
    DEPENDS ${_in}
    VERBATIM)
  list(APPEND _gz_files ${_out})
endforeach()
add_custom_target(pellvane-install-data ALL DEPENDS ${_icons} ${_gz_files})

install(TARGETS Pellvane pellvane-cli pellvane-reg pellvane-register-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS tessra-sample-host LIBRARY DESTINATION ${PELLVANE_INSTALL_PRIVATE_LIBDIR})
install(TARGETS make-sample-cd RUNTIME DESTINATION ${PELLVANE_INSTALL_PRIVATE_LIBDIR})
install(FILES ${CMAKE_SOURCE_DIR}/res/help/pellvane-help.html DESTINATION ${CMAKE_INSTALL_DATADIR}/pellvane/help)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/pellvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/jp.co.veltrane.pellvane.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size ${PELLVANE_ICON_SIZES})
  install(FILES ${_pkg}/icons/${size}x${size}/pellvane.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
foreach(page ${PELLVANE_MAN_PAGES})
  install(FILES ${_pkg}/man/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${_pkg}/man/ja/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${_pkg}/changelog.Debian.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The font alias. fontconfig reads /etc/fonts/conf.d only, so the link there
# is made for the system prefix alone; its name differs from the copy that
# tools/setup puts on a developer's machine, so the package never takes that
# file over (nor away on removal).
install(FILES ${CMAKE_SOURCE_DIR}/res/fonts/60-pellvane-ms-pgothic.conf
  DESTINATION ${CMAKE_INSTALL_DATADIR}/fontconfig/conf.avail RENAME 60-pellvane.conf)
install(CODE [[
  if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    file(MAKE_DIRECTORY "$ENV{DESTDIR}/etc/fonts/conf.d")
    file(CREATE_LINK /usr/share/fontconfig/conf.avail/60-pellvane.conf
         "$ENV{DESTDIR}/etc/fonts/conf.d/60-pellvane.conf" SYMBOLIC)
    message(STATUS "Installing: $ENV{DESTDIR}/etc/fonts/conf.d/60-pellvane.conf")
  endif()
]])

# The Debian package. Its dependencies on shared libraries come from
# dpkg-shlibdeps; the fonts are named by hand, as no library names them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pellvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${PELLVANE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${PELLVANE_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xdg-utils, zenity")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "data installer of the Tessra map application")
# Debian wants the long description in lines of at most 80 characters.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Pellvane copies the search data of the Tessra map application (address"
  "data whole, guide data genre by genre) from a CD-ROM folder to the hard"
  "disk, where Tessra searches it faster, and records in the registry where"
  "both copies lie. Its window and messages are in Japanese; pellvane-cli"
  "does the same work without a window, for administrators and scripts."
  ""
  "The package also holds a sample host component, which stands in for the"
  "Tessra application's objects (data folder, help, version information),"
  "and tools to read and write the registry files.")
include(CPack)
