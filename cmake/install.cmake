# Installing the program as a desktop program, and its Debian package.
#
# Layout under the prefix (/usr/local for `make install`, /usr in the package):
#   bin/zuvelo-pgp                                 the program; it finds the next two from where it is
#   lib/zuvelo-pgp/libgoma.so.2                    our PGP library (private: no headers, no link name)
#   share/zuvelo-pgp/help/manual.html              the help manual
#   share/applications/<id>.desktop                the menu entry and the file types it opens
#   share/metainfo/<id>.metainfo.xml               the software centre's description
#   share/icons/hicolor/<n>x<n>/apps/<id>.png      the program icon, drawn by the program's own painter
#   share/icons/hicolor/scalable/apps/<id>.svg
#
# `make install` / `make uninstall` / `make package` run the steps below; the package is built by CPack from
# the same install rules.

# Fuzzing trees are never installed or packaged.
if(ZV_FUZZ)
  return()
endif()

set(ZV_APP_ID jp.velmorin.ZuveloPGP)
set(ZV_ICON_SIZES 16 24 32 48 64 128 256)
set(ZV_PRIVATE_LIBDIR lib/zuvelo-pgp)
set(ZV_DATA_SOURCE_DIR ${CMAKE_SOURCE_DIR}/data)

# --- The icon theme's PNGs, drawn at build time ---------------------------------------------------------------
add_executable(zv_render_icons ${ZV_DATA_SOURCE_DIR}/icons/render_icons.cpp
                               ${CMAKE_SOURCE_DIR}/src/app/toolicons.cpp ${CMAKE_SOURCE_DIR}/src/app/toolicons.h)
target_include_directories(zv_render_icons PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(zv_render_icons PRIVATE Qt6::Gui)
set_target_properties(zv_render_icons PROPERTIES AUTOMOC OFF)

set(ZV_ICON_DIR ${CMAKE_BINARY_DIR}/icons/hicolor)
set(ZV_ICON_PNGS)
foreach(size IN LISTS ZV_ICON_SIZES)
  list(APPEND ZV_ICON_PNGS ${ZV_ICON_DIR}/${size}x${size}/apps/${ZV_APP_ID}.png)
endforeach()
add_custom_command(
  OUTPUT ${ZV_ICON_PNGS}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
          $<TARGET_FILE:zv_render_icons> ${ZV_ICON_DIR} ${ZV_APP_ID} ${ZV_ICON_SIZES}
  DEPENDS zv_render_icons
  COMMENT "Drawing the program icon for the icon theme"
  VERBATIM)
add_custom_target(zv_icons ALL DEPENDS ${ZV_ICON_PNGS})

# --- What is installed ---------------------------------------------------------------------------------------
install(TARGETS zuvelo-pgp RUNTIME DESTINATION bin)
# The program's RPATH is $ORIGIN/../lib/zuvelo-pgp; the library itself needs none.
install(TARGETS goma LIBRARY DESTINATION ${ZV_PRIVATE_LIBDIR} NAMELINK_SKIP)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/help/ DESTINATION share/zuvelo-pgp/help)
install(FILES ${ZV_DATA_SOURCE_DIR}/${ZV_APP_ID}.desktop DESTINATION share/applications)
install(FILES ${ZV_DATA_SOURCE_DIR}/${ZV_APP_ID}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${ZV_DATA_SOURCE_DIR}/icons/${ZV_APP_ID}.svg DESTINATION share/icons/hicolor/scalable/apps)
foreach(size IN LISTS ZV_ICON_SIZES)
  install(FILES ${ZV_ICON_DIR}/${size}x${size}/apps/${ZV_APP_ID}.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps)
endforeach()

# `cmake --build <tree> --target uninstall` removes what the last install of this tree put in place.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${CMAKE_BINARY_DIR}/install_manifest.txt
          -P ${CMAKE_CURRENT_LIST_DIR}/uninstall.cmake
  COMMENT "Removing the installed files"
  VERBATIM)

# --- The Debian package ----------------------------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zuvelo-pgp)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Velmorin)
set(CPACK_PACKAGE_CONTACT "Velmorin <zuvelo@velmorin.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL https://velmorin.example/zuvelo/)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Package only what is installed: no source package, and the packages land in the build tree.
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
# CPack installs the tree's one component by name: its list of files then goes to
# install_manifest_Unspecified.txt and install_manifest.txt keeps naming what `make install` put in place.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};Unspecified;/")
# Installing and packaging take the tree as it is built and never build it themselves: the Makefile's install
# and package build first, and the install test packages the tree while other tests of it are running.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_NAME zuvelo-pgp)
set(CPACK_DEBIAN_PACKAGE_SECTION editors)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Velmorin <zuvelo@velmorin.example>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://velmorin.example/zuvelo/)
# The synopsis, then the long description: CPack indents it and turns empty lines into " .".
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Japanese Shift-JIS text editor with OpenPGP encryption and signatures")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Zuvelo PGP edits plain Japanese text files in Shift-JIS (CP932), byte for
byte, and encrypts, signs, decrypts and verifies the whole text with OpenPGP
through the user's own GnuPG keyring, gpg-agent and pinentry.

Zuvelo PGP は日本語のテキストファイル (Shift-JIS / CP932) をそのまま
編集し、その全文を OpenPGP で暗号化・署名・復号化・検証するテキスト
エディタです。鍵はお使いの GnuPG の鍵束を、パスフレーズの入力は
gpg-agent と pinentry を使います。")

# What the program needs at run time besides the libraries it links: the platform plug-ins of Qt, Qt's
# Japanese translations, GnuPG with its agent and a pinentry, and a Japanese font.
set(ZV_DEB_RUNTIME_DEPENDS
  "qt6-qpa-plugins"
  "qt6-translations-l10n"
  "gnupg"
  "gpg-agent"
  "pinentry-qt | pinentry-gnome3 | pinentry-curses"
  "fonts-noto-cjk | fonts-ipafont-gothic")
# The libraries the program links. dpkg-shlibdeps (with file(1)), where they are there, finds them with their lowest
# versions; the names below are the fallback and are what it finds on Debian 12.
set(ZV_DEB_LIBRARY_DEPENDS
  "libqt6core6" "libqt6gui6" "libqt6widgets6" "libqt6printsupport6" "libqt6dbus6" "libgpgme11" "libc6" "libstdc++6")
find_program(ZV_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(ZV_FILE_COMMAND file)
mark_as_advanced(ZV_DPKG_SHLIBDEPS ZV_FILE_COMMAND)
if(ZV_DPKG_SHLIBDEPS AND ZV_FILE_COMMAND)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # dpkg-shlibdeps runs in the package's root: our private library is found there.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS usr/${ZV_PRIVATE_LIBDIR})
  list(JOIN ZV_DEB_RUNTIME_DEPENDS ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
else()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  list(JOIN ZV_DEB_LIBRARY_DEPENDS ", " _zv_libs)
  list(JOIN ZV_DEB_RUNTIME_DEPENDS ", " _zv_run)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${_zv_libs}, ${_zv_run}")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme")

include(CPack)
