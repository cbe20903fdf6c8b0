# What `cmake --install` puts where, and the packages CPack makes of it:
# on Linux a .deb and a .tar.gz of the tool, for Windows a .zip of the
# viewer, the uninstaller and the tool (scripts/package.sh makes all three).
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME kelvora)
set(CPACK_PACKAGE_VENDOR "Kelvora viewer project")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "read, test, extract and build Kelvora encrypted CDs")
set(CPACK_PACKAGE_DESCRIPTION
    "kelvora reads Kelvora encrypted CDs on any system: it shows the viewer file's settings, lists the folders and files, checks every file and writes the decrypted files. It reads ISO images of CDs in place. It also builds CDs from a directory tree, and burnable ISO images of them with xorriso.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # The zip: the 32-bit (or 64-bit) programs, the README and the licence.
  foreach(program viewer uninstaller kelvora)
    if(TARGET ${program})
      install(TARGETS ${program} RUNTIME DESTINATION . COMPONENT windows)
    endif()
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .
          COMPONENT windows)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_SYSTEM_NAME win32)
  else()
    set(CPACK_SYSTEM_NAME win64)
  endif()
  set(CPACK_GENERATOR ZIP)
else()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR}
          COMPONENT tool)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR}
          RENAME copyright COMPONENT tool)
  set(CPACK_SYSTEM_NAME linux-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_GENERATOR "DEB;TGZ")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Kelvora viewer project <kelvora@localhost>")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The libraries the tool links, found by dpkg-shlibdeps (libfuse3 among
  # them); xorriso for writing ISO images (build --iso; images are read
  # without it), fuse3 (fusermount3) for kelvora mount.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xorriso, fuse3")
endif()
# Only the installed files of the tool (and on Windows the programs).
set(CPACK_COMPONENTS_ALL tool windows)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
include(CPack)
