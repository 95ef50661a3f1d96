# cmake --install: the three programs, their private libraries (one per layer), the
# desktop entry and the icon in the hicolor theme sizes.
include(GNUInstallDirs)

# Installing and packaging take what the build made; they build nothing
# themselves, so that they are quick and the test that packages stays fast.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

# The private libraries' folder, TAVOX_PRIVATE_LIBDIR, is set in cmake/Layers.cmake.
set_target_properties(tavox tavoxctl tavox-sim PROPERTIES INSTALL_RPATH "$ORIGIN/../${TAVOX_PRIVATE_LIBDIR}")
set(TAVOX_PRIVATE_LIBRARIES
  tavox_protocol tavox_link tavox_device tavox_config tavox_log tavox_bridge tavox_service tavox_window tavox_app)
set_target_properties(${TAVOX_PRIVATE_LIBRARIES} PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS tavox tavoxctl tavox-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ${TAVOX_PRIVATE_LIBRARIES} LIBRARY DESTINATION ${TAVOX_PRIVATE_LIBDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/tavox.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/icon/hicolor/${size}x${size}/tavox.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
