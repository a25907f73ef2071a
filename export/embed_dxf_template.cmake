# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the four line lists of the DXF template (export/dxf_template/*.txt,
# one DXF line per file line) into a generated source of doroziri_core.
# Each list must have its fixed number of lines; a list with another count
# stops the configuration.

set(DZ_DXF_TEMPLATE_DIR ${CMAKE_CURRENT_LIST_DIR}/dxf_template)
set(DZ_DXF_TEMPLATE_OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/dxf_template.cpp)

function(dz_read_template_list name expected_lines out_var)
  set(path ${DZ_DXF_TEMPLATE_DIR}/${name}.txt)
  file(READ ${path} text)
  # A checkout with CR LF line ends reads the same.
  string(REPLACE "\r" "" text "${text}")
  string(REGEX MATCHALL "\n" newlines "${text}")
  list(LENGTH newlines count)
  if(NOT count EQUAL expected_lines)
    message(FATAL_ERROR "${path}: ${count} lines, expected ${expected_lines}")
  endif()
  string(LENGTH "${text}" length)
  math(EXPR last "${length} - 1")
  string(SUBSTRING "${text}" ${last} 1 tail)
  if(NOT tail STREQUAL "\n")
    message(FATAL_ERROR "${path}: the last line has no line end")
  endif()
  string(FIND "${text}" ")dxf\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${path}: holds the raw-string delimiter")
  endif()
  set(${out_var} "${text}" PARENT_SCOPE)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${path})
endfunction()

dz_read_template_list(Memo1 2379 DZ_DXF_MEMO1)
dz_read_template_list(Memo2 44 DZ_DXF_MEMO2)
dz_read_template_list(EACH_PT 23 DZ_DXF_EACH_PT)
dz_read_template_list(Memo3 588 DZ_DXF_MEMO3)

# Written only when the content changes, so a new configuration does not
# rebuild it.
configure_file(${DZ_DXF_TEMPLATE_DIR}/dxf_template.cpp.in ${DZ_DXF_TEMPLATE_OUTPUT} @ONLY)
