# SPDX-License-Identifier: MIT
# What `cmake --install` puts where, and the packages CPack makes from it:
# on Linux a Debian package (talvi, the simulated remote, the two helper
# tools, a desktop entry, an icon and the documents), for Windows a zip
# with talvi.exe, the helper tools and a read-me with Windows line ends.
#
#   cmake --build build/release && (cd build/release && cpack)
#
# scripts/package_deb.sh and scripts/package_zip.sh do the whole of it.

include(GNUInstallDirs)

set(TALVI_PACKAGE_TARGETS talvi talvi-remote talvi-ports opd)

if(WIN32)
  # Everything at the top of the zip: the program finds TALVI.INI in the
  # folder it is started from, and the read-me says to put it beside.
  set(bin_dir .)
else()
  set(bin_dir ${CMAKE_INSTALL_BINDIR})
endif()
foreach(target IN LISTS TALVI_PACKAGE_TARGETS)
  if(TARGET ${target})
    install(TARGETS ${target} RUNTIME DESTINATION ${bin_dir})
  endif()
endforeach()

set(CPACK_PACKAGE_NAME talvi)
set(CPACK_PACKAGE_VENDOR "The TALVI authors")
set(CPACK_PACKAGE_CONTACT "The TALVI authors <talvi@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "receives floppy-disk images from a vintage computer over a serial line")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(arch_suffix win64)
    set(TALVI_WINDOWS_KIND "64-bit, for 64-bit Windows")
  else()
    set(arch_suffix win32)
    set(TALVI_WINDOWS_KIND "32-bit, for 32- and 64-bit Windows")
  endif()
  # The read-me is kept with Unix line ends in the tree; Notepad of older
  # Windows shows one long line unless it has CR LF.
  set(readme ${CMAKE_BINARY_DIR}/packaging/README-Windows.txt)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/README-Windows.txt.in ${readme} @ONLY
                 NEWLINE_STYLE CRLF)
  configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt @ONLY
                 NEWLINE_STYLE CRLF)
  install(FILES ${readme} ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME talvi-${PROJECT_VERSION}-${arch_suffix})
  # The files at the top of the zip, not in a folder named like the zip.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/talvi)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE
                ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${doc_dir})
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/talvi.desktop
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/talvi.svg
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION comm)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # CPack puts the summary first and indents the rest as Debian wants it.
  set(CPACK_PACKAGE_DESCRIPTION
      "TALVI receives floppy-disk images from a vintage home computer over an
RS-232 line (57600 bit/s, 8N1) and saves each disk as an .opd image file.

Beside the program: talvi-ports (which serial ports there are, and why one
does not open), opd (looks into and compares disk images) and talvi-remote
(a simulated remote computer on a pseudo-terminal).")
  # The run-time libraries the programs link (Qt, the C and C++ run-times,
  # X11) as dpkg-shlibdeps finds them in the installed files; nothing that
  # is only needed to build.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

include(CPack)
