# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the template generator and fails when its output differs from the committed resource.
execute_process(COMMAND ${TOOL} ${OUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "generator failed: ${rc}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${EXPECTED} RESULT_VARIABLE diff)
if(NOT diff EQUAL 0)
  message(FATAL_ERROR "${EXPECTED} is not the generator's output; regenerate it with rivela-cep-contour")
endif()
