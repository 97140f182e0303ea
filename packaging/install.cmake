# Installation and the Debian package.
#
#   cmake --install build/release --prefix P   the game under P (bin/, share/harnvale/DATA, the menu
#                                               entry, icons, AppStream metadata, the manual page)
#   cd build/release && cpack -G DEB           harnvale_<version>_<arch>.deb for /usr
#
# The program finds DATA at ../share/harnvale from its own folder, so any prefix works. The
# executable goes to games/, where Debian keeps games (/usr/games and /usr/local/games are on every
# user's PATH there); -DCMAKE_INSTALL_BINDIR=bin puts it in bin/ instead, for a prefix like ~/.local.
set(CMAKE_INSTALL_BINDIR games CACHE PATH "Folder of the installed executable, below the prefix")
include(GNUInstallDirs)

set(HV_APP_ID org.harnvale.Harnvale)
set(HV_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)
set(HV_GENERATED ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${HV_GENERATED})

set(HV_DATA_FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
set(HV_DIR_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS harnvale RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/DATA DESTINATION ${CMAKE_INSTALL_DATADIR}/harnvale
        FILE_PERMISSIONS ${HV_DATA_FILE_PERMISSIONS} DIRECTORY_PERMISSIONS ${HV_DIR_PERMISSIONS})
# What a player's first settings.ini is made from.
install(FILES ${CMAKE_SOURCE_DIR}/scripts/default_settings.ini DESTINATION ${CMAKE_INSTALL_DATADIR}/harnvale
        PERMISSIONS ${HV_DATA_FILE_PERMISSIONS})

install(FILES ${HV_PACKAGING}/harnvale.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
        RENAME ${HV_APP_ID}.desktop PERMISSIONS ${HV_DATA_FILE_PERMISSIONS})
configure_file(${HV_PACKAGING}/${HV_APP_ID}.metainfo.xml ${HV_GENERATED}/${HV_APP_ID}.metainfo.xml @ONLY)
install(FILES ${HV_GENERATED}/${HV_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        PERMISSIONS ${HV_DATA_FILE_PERMISSIONS})
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${HV_PACKAGING}/icons/${size}x${size}/harnvale.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps PERMISSIONS ${HV_DATA_FILE_PERMISSIONS})
endforeach()

# The manual page and the changelog are installed compressed, without a time stamp, as Debian wants
# them (gzip -n: the same bytes on every build). Made while configuring (an edit of either
# configures again), so that a build of the game alone can be installed.
find_program(HV_GZIP gzip REQUIRED)
foreach(doc harnvale.6 changelog)
  configure_file(${HV_PACKAGING}/${doc} ${HV_GENERATED}/${doc} @ONLY)
  execute_process(COMMAND ${HV_GZIP} -9nkf ${HV_GENERATED}/${doc} RESULT_VARIABLE gzip_result)
  if(NOT gzip_result EQUAL 0)
    message(FATAL_ERROR "gzip could not compress ${HV_GENERATED}/${doc}")
  endif()
endforeach()
install(FILES ${HV_GENERATED}/harnvale.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6
        PERMISSIONS ${HV_DATA_FILE_PERMISSIONS})
install(FILES ${HV_PACKAGING}/copyright ${HV_GENERATED}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR}
        PERMISSIONS ${HV_DATA_FILE_PERMISSIONS})

# ---- the Debian package -------------------------------------------------------------------------
set(CPACK_PACKAGE_NAME harnvale)
set(CPACK_PACKAGE_VENDOR "The Harnvale developers")
set(CPACK_PACKAGE_CONTACT "The Harnvale developers <maintainers@users.noreply.c-seed-c0a59606.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn-based hex battles for three players sharing one computer")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Harnvale is a hot-seat battle game for three players at one table. Every battle\n"
    "is generated fresh: a hex map of random terrain with melee, archer and cannon\n"
    "units scattered over it, attacks settled by weighted chance tables, and shown\n"
    "with flying arrows, bouncing cannonballs and particle explosions. Battles are\n"
    "recorded as they are played, to be continued or watched again. It runs on a\n"
    "software renderer and needs no graphics card.")
string(JOIN "" CPACK_DEBIAN_PACKAGE_DESCRIPTION ${CPACK_DEBIAN_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The linked libraries come from dpkg-shlibdeps. Two things are found only at run time: the font,
# through fontconfig by the name interface.ini gives, and OpenGL, which SDL opens when the window
# is made (libgl1 brings a driver, Mesa's software renderer at least).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, libgl1")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_GENERATOR DEB)
include(CPack)
