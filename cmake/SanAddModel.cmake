# san_add_model(NAME FILE): the simulator NAME_sim of the model file FILE.
# At build time sanc compiles FILE into NAME_sim's generated classes (again
# whenever FILE changes) and the simulator is linked with the framework.
# Works in this source tree and from an installed tree
# (find_package(SANFramework), which also defines this function).
#
# The generated sources go to <binary dir>/NAME_generated/NAME_model/; one
# source that includes them all is what the build knows in advance, since
# the names of the other files come from the model.
function(san_add_model name file)
  get_filename_component(model "${file}" ABSOLUTE)
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/${name}_generated)
  set(unity ${generated}/${name}_model.cpp)
  if(TARGET sanc)
    set(compiler $<TARGET_FILE:sanc>)
    set(compiler_target sanc)
  else()
    set(compiler san::sanc)
    set(compiler_target san::sanc)
  endif()
  add_custom_command(OUTPUT ${unity}
    COMMAND ${compiler} ${model} -o ${generated}/${name}_model --include-dir ${name}_model --unity ${unity}
    DEPENDS ${model} ${compiler_target}
    COMMENT "sanc: ${file} -> ${name}_sim's classes"
    VERBATIM)
  add_executable(${name}_sim ${unity})
  target_include_directories(${name}_sim PRIVATE ${generated})
  if(TARGET san_main)
    target_link_libraries(${name}_sim PRIVATE san_main)
  else()
    target_link_libraries(${name}_sim PRIVATE san::san_main)
  endif()
endfunction()
