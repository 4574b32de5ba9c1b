# san_add_model(NAME FILE [RARE BIAS]): the simulator NAME_sim of the model
# file FILE. At build time sanc compiles FILE into NAME_sim's generated
# classes (again whenever FILE changes) and the simulator is linked with the
# framework. Works in this source tree and from an installed tree
# (find_package(SANFramework), which also defines this function).
#
# The generated sources go to <binary dir>/NAME_generated/NAME_model/; one
# source that includes them all is what the build knows in advance, since
# the names of the other files come from the model.
#
# RARE BIAS ships the change of measure BIAS with the simulator: it is
# copied (again whenever it changes) to where the manager's --rare looks
# for it, <dir of NAME_sim>/../share/NAME_sim/<model>_rare.bias, <model>
# being the SAN or join that the study's reward measures.
function(san_add_model name file)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "RARE" "")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "san_add_model(${name}): unexpected arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
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
  if(arg_RARE)
    san_ship_rare_measure(${name}_sim ${model} ${arg_RARE})
  endif()
endfunction()

# san_measured_model(FILE OUT): the SAN or join that the study of the model
# file FILE measures (`study S of R`, `reward R of MODEL`). The file is
# watched, so that renaming the model configures the build again.
function(san_measured_model file out)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
  set(word "[A-Za-z_][A-Za-z0-9_]*")
  file(STRINGS ${file} studies REGEX "^[ \t]*study[ \t]+${word}[ \t]+of[ \t]+${word}")
  list(LENGTH studies count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "${file}: a change of measure is shipped for the model of the one study; found ${count} studies")
  endif()
  string(REGEX REPLACE "^[ \t]*study[ \t]+${word}[ \t]+of[ \t]+(${word}).*" "\\1" reward "${studies}")
  file(STRINGS ${file} rewards REGEX "^[ \t]*reward[ \t]+${reward}[ \t]+of[ \t]+${word}")
  if(NOT rewards)
    message(FATAL_ERROR "${file}: no reward ${reward}, which the study measures")
  endif()
  list(GET rewards 0 reward_line)
  string(REGEX REPLACE "^[ \t]*reward[ \t]+${word}[ \t]+of[ \t]+(${word}).*" "\\1" measured "${reward_line}")
  set(${out} ${measured} PARENT_SCOPE)
endfunction()

# san_ship_rare_measure(SIMULATOR MODEL_FILE BIAS): BIAS copied at build
# time to <dir of SIMULATOR>/../share/SIMULATOR/<model>_rare.bias.
function(san_ship_rare_measure simulator model_file bias)
  get_filename_component(bias "${bias}" ABSOLUTE)
  san_measured_model(${model_file} measured)
  get_target_property(bin ${simulator} RUNTIME_OUTPUT_DIRECTORY)
  if(NOT bin)
    set(bin ${CMAKE_CURRENT_BINARY_DIR})
  endif()
  cmake_path(SET shipped NORMALIZE "${bin}/../share/${simulator}/${measured}_rare.bias")
  add_custom_command(OUTPUT ${shipped}
    COMMAND ${CMAKE_COMMAND} -E copy ${bias} ${shipped}
    DEPENDS ${bias}
    COMMENT "${simulator} ships ${measured}_rare.bias"
    VERBATIM)
  target_sources(${simulator} PRIVATE ${shipped})
endfunction()
