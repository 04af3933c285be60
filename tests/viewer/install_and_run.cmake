# Installs the project into a scratch prefix and runs the installed viewer
# from a folder of its own, with no display: on an installed model it must
# find its installed ramp (no "ERROR Opening Shader File") and write the
# still; with no model at all it shows the installed animals, the same
# picture as the program built here draws in data/.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/elsewhere)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/prefix
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed (${rc}):\n${out}")
endif()
foreach(file bin/celshade share/celshade/Shader.txt share/celshade/cow.obj share/celshade/cow.mtl
             share/celshade/penguin.obj share/celshade/rabbit.obj)
  if(NOT EXISTS ${WORK_DIR}/prefix/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
execute_process(COMMAND env -u DISPLAY ASAN_OPTIONS=detect_leaks=0 ${WORK_DIR}/prefix/bin/celshade
    --snapshot still.png ${WORK_DIR}/prefix/share/celshade/cow.obj
  WORKING_DIRECTORY ${WORK_DIR}/elsewhere
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR out MATCHES "ERROR Opening Shader File" OR NOT EXISTS ${WORK_DIR}/elsewhere/still.png)
  message(FATAL_ERROR "installed viewer failed (${rc}):\n${out}\n${err}")
endif()

execute_process(COMMAND env -u DISPLAY ASAN_OPTIONS=detect_leaks=0 ${WORK_DIR}/prefix/bin/celshade
    --snapshot ${WORK_DIR}/installed.png --keys 2
  WORKING_DIRECTORY ${WORK_DIR}/elsewhere
  RESULT_VARIABLE rc OUTPUT_VARIABLE installed_out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR installed_out MATCHES "ERROR Opening Shader File")
  message(FATAL_ERROR "installed viewer without models failed (${rc}):\n${installed_out}\n${err}")
endif()
execute_process(COMMAND env -u DISPLAY ASAN_OPTIONS=detect_leaks=0 ${BUILD_DIR}/viewer/celshade
    --snapshot ${WORK_DIR}/in-data.png --keys 2
  WORKING_DIRECTORY ${SOURCE_DIR}/data
  RESULT_VARIABLE rc OUTPUT_VARIABLE data_out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "viewer in data/ failed (${rc}):\n${data_out}\n${err}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/installed.png
  ${WORK_DIR}/in-data.png RESULT_VARIABLE differ)
if(NOT differ EQUAL 0 OR NOT installed_out STREQUAL data_out)
  message(FATAL_ERROR "the installed run differs from the run in data/:\n${installed_out}\n${data_out}")
endif()
