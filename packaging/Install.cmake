# cmake --install: the three programs, their private libraries (one per layer),
# the desktop entry, the AppStream metadata, the icon in the hicolor theme, the
# manual pages, bash completion for tavoxctl, the udev rule for USB serial
# adapters and the Wireshark dissector for recordings of the link. The
# copyright file and the changelog are the Debian package's (debian/).
include(GNUInstallDirs)

# Installing and packaging take what the build made; they build nothing
# themselves, so that they are quick and the test that packages stays fast.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

# The private libraries' folder, TAVOX_PRIVATE_LIBDIR, is set in cmake/Layers.cmake.
file(RELATIVE_PATH TAVOX_BIN_TO_LIBDIR /${CMAKE_INSTALL_BINDIR} /${TAVOX_PRIVATE_LIBDIR})
set_target_properties(tavox tavoxctl tavox-sim PROPERTIES INSTALL_RPATH "$ORIGIN/${TAVOX_BIN_TO_LIBDIR}")
set(TAVOX_PRIVATE_LIBRARIES
  tavox_protocol tavox_link tavox_device tavox_config tavox_log tavox_record tavox_bridge tavox_service tavox_window tavox_app)
# Their ABI is the programs' own, so one number will do; a versioned name is
# what tells dpkg-shlibdeps that a library comes with the program it serves.
set_target_properties(${TAVOX_PRIVATE_LIBRARIES} PROPERTIES INSTALL_RPATH "$ORIGIN" SOVERSION 0)

install(TARGETS tavox tavoxctl tavox-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ${TAVOX_PRIVATE_LIBRARIES} LIBRARY DESTINATION ${TAVOX_PRIVATE_LIBDIR} NAMELINK_SKIP)

install(FILES ${CMAKE_CURRENT_LIST_DIR}/tavox.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/org.example.tavox.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/icon/hicolor/${size}x${size}/tavox.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
# The drawing the PNG sizes are rendered from (icon/src/render.sh).
install(FILES ${PROJECT_SOURCE_DIR}/icon/src/tavox-icon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME tavox.svg)

install(FILES ${CMAKE_CURRENT_LIST_DIR}/bash-completion/tavoxctl
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
# Debian 12's udev and its packages keep rules in /lib/udev/rules.d, where
# lintian checks them too: a program installed under /usr (as the package is)
# puts its rule there; under any other prefix the rule stays inside it.
install(CODE "set(tavox_udev_rule \"${CMAKE_CURRENT_LIST_DIR}/70-tavox.rules\")")
install(CODE [[
  if(CMAKE_INSTALL_PREFIX MATCHES "(^|/)usr/?$")
    get_filename_component(tavox_udev_rules_dir "${CMAKE_INSTALL_PREFIX}/../lib/udev/rules.d" ABSOLUTE)
  else()
    set(tavox_udev_rules_dir "${CMAKE_INSTALL_PREFIX}/lib/udev/rules.d")
  endif()
  file(INSTALL DESTINATION "${tavox_udev_rules_dir}" TYPE FILE FILES "${tavox_udev_rule}")
]])

# Wireshark looks for Lua plugins in lib/<multiarch>/wireshark/plugins of its
# own prefix (tshark -G folders); under /usr that is Debian's global folder,
# under any other prefix the dissector stays inside it.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(TAVOX_WIRESHARK_PLUGINDIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/wireshark/plugins)
else()
  set(TAVOX_WIRESHARK_PLUGINDIR lib/wireshark/plugins)
endif()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/wireshark/tavox.lua DESTINATION ${TAVOX_WIRESHARK_PLUGINDIR})

# Manual pages are compressed as Debian ships them: gzip -9n keeps neither name
# nor time stamp, so the same text gives the same bytes.
set(TAVOX_PACKAGE_FILES_DIR ${CMAKE_BINARY_DIR}/packaging)
function(tavox_compress source output)
  add_custom_command(OUTPUT ${output}
                     COMMAND gzip -9n -c ${source} > ${output}
                     DEPENDS ${source}
                     VERBATIM)
endfunction()
set(tavox_compressed "")
foreach(page tavox tavoxctl tavox-sim)
  # the page's footer names the version
  configure_file(${CMAKE_CURRENT_LIST_DIR}/man/${page}.1 ${TAVOX_PACKAGE_FILES_DIR}/man/${page}.1 @ONLY)
  tavox_compress(${TAVOX_PACKAGE_FILES_DIR}/man/${page}.1 ${TAVOX_PACKAGE_FILES_DIR}/man/${page}.1.gz)
  list(APPEND tavox_compressed ${TAVOX_PACKAGE_FILES_DIR}/man/${page}.1.gz)
endforeach()
add_custom_target(tavox_package_files ALL DEPENDS ${tavox_compressed})

foreach(page tavox tavoxctl tavox-sim)
  install(FILES ${TAVOX_PACKAGE_FILES_DIR}/man/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
