# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that the built programs take no trigonometric function of an
# extended real from the processor or the C library, whose last bits differ
# between processor makers: no x87 transcendental instruction in their code
# and no extended trigonometric function among their dynamic symbols.
#   cmake -DOBJDUMP=... -DFILES="a;b;..." -P no_x87_trig_check.cmake
set(instructions "fpatan|fsin|fcos|fsincos|fptan")
set(symbols "atanl|atan2l|sinl|cosl|sincosl|tanl|acosl|asinl")
foreach(file IN LISTS FILES)
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "${file} was not built")
  endif()
  execute_process(COMMAND "${OBJDUMP}" -d --no-show-raw-insn "${file}"
                  OUTPUT_VARIABLE code RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR code STREQUAL "")
    message(FATAL_ERROR "objdump -d ${file} failed (${rc})")
  endif()
  string(REGEX MATCHALL "\t(${instructions})[ \n]" found "${code}")
  if(found)
    message(FATAL_ERROR "${file} runs x87 transcendental instructions: ${found}")
  endif()
  execute_process(COMMAND "${OBJDUMP}" -T "${file}" OUTPUT_VARIABLE dynamic RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "objdump -T ${file} failed (${rc})")
  endif()
  string(REGEX MATCHALL "[ \t](${symbols})(@[^\n]*)?\n" found "${dynamic}")
  if(found)
    message(FATAL_ERROR "${file} calls extended trigonometric functions: ${found}")
  endif()
endforeach()
message(STATUS "no x87 transcendental and no extended trig call in: ${FILES}")
