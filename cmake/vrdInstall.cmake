# vrdInstall.cmake - install rules: headers, the three libraries, the CMake package and the pkg-config files.

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/vrd DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# Windows builds have no vrd_full (hosts there link vrd_static for the whole interface).
set(vrd_libraries vrd vrd_static)
set(vrd_pkgconfig vrd vrd-static)
if(TARGET vrd_full)
  list(APPEND vrd_libraries vrd_full)
  list(APPEND vrd_pkgconfig vrd-full)
endif()
install(TARGETS ${vrd_libraries} EXPORT vrdTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# find_package(vrd CONFIG) gives vrd::vrd, vrd::vrd_full and vrd::vrd_static.
install(EXPORT vrdTargets NAMESPACE vrd:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vrd)
include(CMakePackageConfigHelpers)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/vrdConfig.cmake.in
  ${PROJECT_BINARY_DIR}/vrdConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vrd)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vrdConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/vrdConfig.cmake ${PROJECT_BINARY_DIR}/vrdConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vrd)

# One pkg-config file per library: vrd (the 43 routines, shared), vrd-full
# (every interface routine, shared) and vrd-static (every interface routine,
# static, with the system libraries it needs in Libs).  Each names its prefix
# relative to its own directory, so the install can move.
file(RELATIVE_PATH VRD_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
foreach(pc ${vrd_pkgconfig})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${pc}.pc.in ${PROJECT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
