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
#   share/man/man1/zuvelo-pgp.1, share/man/ja/man1/zuvelo-pgp.1   the manual page, in English and Japanese
#
# `make install` / `make uninstall` run the steps below; `make package` builds the Debian package with
# debhelper (debian/), which runs the same install rules.

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
install(FILES ${ZV_DATA_SOURCE_DIR}/man/zuvelo-pgp.1 DESTINATION share/man/man1)
install(FILES ${ZV_DATA_SOURCE_DIR}/man/ja/zuvelo-pgp.1 DESTINATION share/man/ja/man1)
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
