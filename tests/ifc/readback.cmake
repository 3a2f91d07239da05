# Runs `pierhost cage` into a fresh folder and reads its cage.ifc back with
# readback.mjs. Called by CTest as
#   cmake -DPIERHOST=<program> -DMODEL=<model file> -DPICKS=<id>[,<id>...] -DOUT=<folder>
# PICKS of BUILDING runs `pierhost building` on the whole model instead.
#         [-DSOURCE=ON] -P readback.cmake
# With SOURCE the model is an IFC file the cage must be laid over; when it is
# not there the test is skipped (it prints "skipped:").
foreach(var PIERHOST MODEL PICKS OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "readback.cmake needs -D${var}=...")
  endif()
endforeach()
find_program(NODE_PROGRAM NAMES node nodejs)
if(NOT NODE_PROGRAM)
  message(FATAL_ERROR "node was not found: the IFC read-back test runs web-ifc under Node.js")
endif()
if(NOT EXISTS "${CMAKE_CURRENT_LIST_DIR}/node_modules/web-ifc/package.json")
  message(FATAL_ERROR "web-ifc is not installed: run npm ci in tests/ifc")
endif()

if(SOURCE AND NOT EXISTS "${MODEL}")
  message("skipped: ${MODEL} is not there (set PIER_IFC_SAMPLES to the folder of the samples)")
  return()
endif()
file(REMOVE_RECURSE "${OUT}")
string(REPLACE "," ";" picks "${PICKS}")
set(pick_args)
foreach(id IN LISTS picks)
  list(APPEND pick_args --pick "${id}")
endforeach()
set(command cage "${MODEL}" ${pick_args})
if(PICKS STREQUAL "BUILDING")
  set(command building "${MODEL}")
endif()
execute_process(COMMAND "${PIERHOST}" ${command} --out "${OUT}"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "pierhost ${command} failed (${status})")
endif()
set(source_args)
if(SOURCE)
  set(source_args --source "${MODEL}")
endif()
execute_process(COMMAND "${NODE_PROGRAM}" "${CMAKE_CURRENT_LIST_DIR}/readback.mjs" "${OUT}"
                        ${source_args}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cage.ifc in ${OUT} does not read back (see above)")
endif()
