# vrdDocs.cmake - the `docs` target: reference documentation generated from the public headers.
# Only when Doxygen is found; the HTML lands in docs/html under the build directory.
find_package(Doxygen QUIET)
if(DOXYGEN_FOUND)
  configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${PROJECT_BINARY_DIR}/Doxyfile @ONLY)
  add_custom_target(docs
    COMMAND Doxygen::doxygen ${PROJECT_BINARY_DIR}/Doxyfile
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    COMMENT "Reference documentation in ${PROJECT_BINARY_DIR}/docs/html"
    VERBATIM)
endif()
