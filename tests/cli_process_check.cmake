# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the built doroziri-cli as a process, as a user would: the text export
# of a bundled example, and (when the PNG module is built) the plot, which
# the tool loads at run time next to itself.
#   cmake -DCLI=... -DSURFACE=... -DOUT=... [-DPNG=ON] -P cli_process_check.cmake
execute_process(COMMAND "${CLI}" --txt "${OUT}.txt" "${SURFACE}" RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "--txt failed (${rc}): ${err}")
endif()
file(STRINGS "${OUT}.txt" lines)
list(LENGTH lines count)
if(count LESS 10)
  message(FATAL_ERROR "--txt wrote ${count} lines")
endif()
if(PNG)
  execute_process(COMMAND "${CLI}" --png "${OUT}.png" --leaves 6 "${SURFACE}" RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "--png failed (${rc}): ${err}")
  endif()
  file(READ "${OUT}.png" signature LIMIT 8 HEX)
  if(NOT signature STREQUAL "89504e470d0a1a0a")
    message(FATAL_ERROR "--png wrote no PNG: ${signature}")
  endif()
  # the chart of the predicted removal, through the same module, with its
  # table; a chart onto the surface file itself is refused
  execute_process(COMMAND "${CLI}" --check-png "${OUT}_check.png" --check "${OUT}_check.txt" --lap spindle
                          "${SURFACE}" RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "--check-png failed (${rc}): ${err}")
  endif()
  file(READ "${OUT}_check.png" header LIMIT 24 HEX)
  if(NOT header MATCHES "^89504e470d0a1a0a0000000d49484452000002d0000001b8$")
    message(FATAL_ERROR "--check-png wrote no PNG of 720 x 440 pixels: ${header}")
  endif()
  execute_process(COMMAND "${CLI}" --check-png "${SURFACE}" "${SURFACE}" RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(rc EQUAL 0)
    message(FATAL_ERROR "--check-png onto the surface file was not refused")
  endif()
endif()
