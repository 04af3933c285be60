# Runs modelgen into an empty folder and compares what it writes with the
# committed files in data/, byte for byte.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
execute_process(COMMAND ${MODELGEN} ${WORK_DIR}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "modelgen failed with ${status}:\n${out}${err}")
endif()
set(expected cow.mtl cow.obj penguin.mtl penguin.obj rabbit.mtl rabbit.obj)
file(GLOB made RELATIVE ${WORK_DIR} ${WORK_DIR}/*)
list(SORT made)
if(NOT made STREQUAL expected)
  message(FATAL_ERROR "modelgen wrote [${made}], expected [${expected}]")
endif()
foreach(name ${expected})
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/${name} ${DATA_DIR}/${name}
    RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    list(APPEND different ${name})
  endif()
endforeach()
if(different)
  message(FATAL_ERROR "regenerated files differ from data/: ${different} "
    "(run modelgen data and commit the result if the change is intended)")
endif()
message(STATUS "${out}")
