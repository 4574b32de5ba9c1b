# What `cmake --install` adds for models of one's own: sanc, the framework's
# libraries and headers, the CMake package SANFramework (with
# san_add_model) and bin/san-build, which turns a model file into a
# simulator with the C++ compiler alone.
set(SAN_FRAMEWORK_LIBRARIES san_main san_simulator san_expr san_io san_trace san_study san_override_text
  san_rewards san_Composer san_BaseClasses san_random)
install(TARGETS sanc san_framework ${SAN_FRAMEWORK_LIBRARIES} EXPORT SANFrameworkTargets
  RUNTIME DESTINATION bin ARCHIVE DESTINATION lib)
install(DIRECTORY ${SAN_SRC_ROOT}/ DESTINATION include/san
  FILES_MATCHING PATTERN "*.h" PATTERN "model" EXCLUDE)
install(EXPORT SANFrameworkTargets NAMESPACE san:: DESTINATION lib/cmake/SANFramework)

# Simulators of installed models link the framework the way it was built:
# with link-time optimisation when its libraries hold only LTO objects.
if(CMAKE_INTERPROCEDURAL_OPTIMIZATION)
  set(SAN_FRAMEWORK_LTO ON)
  set(SAN_LTO_FLAG "-flto=auto")
else()
  set(SAN_FRAMEWORK_LTO OFF)
  set(SAN_LTO_FLAG "")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/SANFrameworkConfig.cmake.in
  ${CMAKE_BINARY_DIR}/cmake/SANFrameworkConfig.cmake @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/cmake/SANFrameworkConfig.cmake ${CMAKE_CURRENT_LIST_DIR}/SanAddModel.cmake
  DESTINATION lib/cmake/SANFramework)

list(JOIN SAN_FRAMEWORK_LIBRARIES " -l" SAN_LINK_LIBRARIES)
set(SAN_LINK_LIBRARIES "-l${SAN_LINK_LIBRARIES}")
configure_file(${CMAKE_SOURCE_DIR}/tools/sanc/san-build.in ${CMAKE_BINARY_DIR}/bin/san-build @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(PROGRAMS ${CMAKE_BINARY_DIR}/bin/san-build DESTINATION bin)
