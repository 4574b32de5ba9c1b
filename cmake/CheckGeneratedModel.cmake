# Fails when regenerating src/model/ from models/basic_model.san would
# change a byte of it, or when src/model/ holds C++ sources the model no
# longer makes. Run as: cmake -DSANC=<sanc> -DSOURCE_DIR=<repository>
# -DWORK_DIR=<scratch directory> -P CheckGeneratedModel.cmake
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${SANC} models/basic_model.san -o ${WORK_DIR}
  WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "sanc refused models/basic_model.san")
endif()
file(GLOB generated RELATIVE ${WORK_DIR} ${WORK_DIR}/*)
file(GLOB checked_in RELATIVE ${SOURCE_DIR}/src/model ${SOURCE_DIR}/src/model/*.h ${SOURCE_DIR}/src/model/*.cpp)
set(drifted "")
foreach(file IN LISTS generated checked_in)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/${file} ${SOURCE_DIR}/src/model/${file}
    RESULT_VARIABLE differs OUTPUT_QUIET ERROR_QUIET)
  if(NOT differs EQUAL 0)
    list(APPEND drifted ${file})
  endif()
endforeach()
if(drifted)
  list(REMOVE_DUPLICATES drifted)
  message(FATAL_ERROR "src/model/ differs from what sanc makes of models/basic_model.san: ${drifted}\n"
    "Regenerate it: build/bin/sanc models/basic_model.san -o src/model")
endif()
