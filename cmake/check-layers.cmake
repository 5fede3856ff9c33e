# cmake -DSOURCE_DIR=… -DLIST_FILE=… -P check-layers.cmake (the list file
# holds the sources to check, relative to SOURCE_DIR, separated by ";").
cmake_minimum_required(VERSION 3.25)
file(READ "${LIST_FILE}" FILES)
# Fails when a file includes one of a layer it may not use, writes an include
# relative to itself, or includes Qt outside the layers that may. The layers
# come from the folders (cmake/layer-map.cmake); LAYERS_FROM names the tree
# whose CMakeLists.txt files declare them, SOURCE_DIR by default.
include(${CMAKE_CURRENT_LIST_DIR}/layer-map.cmake)
if(NOT LAYERS_FROM)
  set(LAYERS_FROM "${SOURCE_DIR}")
endif()
tonegarden_read_layers("${LAYERS_FROM}")

# Numbers as text never follow the user's locale (the windowed program adopts
# it): the C library's conversions and printf-style floating formats are
# refused; properties/NumberText.h is the one way. A floating value
# given to std::to_string is caught where the call shows it.
set(locale_calls "(^|[^A-Za-z0-9_:.>])(std::)?(strtod|strtof|strtold|atof|stod|stof|stold|sscanf) *\\(")
set(locale_formats "\"[^\"]*%[-+ #0]*[0-9*]*(\\.[0-9*]+)?[lL]?[fFgGeE][^\"]*\"")
set(locale_to_string "std::to_string\\([^)]*([0-9]\\.[0-9]|double|float)")

set(faults "")
foreach(file IN LISTS FILES)
  file(STRINGS "${SOURCE_DIR}/${file}" numbers
       REGEX "${locale_calls}|${locale_formats}|${locale_to_string}")
  foreach(line IN LISTS numbers)
    string(STRIP "${line}" line)  # a line is cut at each ";"
    if(NOT line STREQUAL "" AND NOT line MATCHES "^//")
      list(APPEND faults "${file}: number text that follows the user's locale: ${line}")
    endif()
  endforeach()
  tonegarden_layer_of("${file}" own)
  if(own STREQUAL "")
    continue()
  endif()
  get_filename_component(beside "${file}" DIRECTORY)
  file(STRINGS "${SOURCE_DIR}/${file}" lines REGEX "^#include [\"<]")
  foreach(line IN LISTS lines)
    if(line MATCHES "^#include <(Q[A-Za-z]*|Qt[A-Za-z]*/[^>]*|q[a-z0-9_]*\\.h)>"
       AND NOT TONEGARDEN_QT_${own})
      list(APPEND faults "${file}: the ${own} layer includes Qt (<${CMAKE_MATCH_1}>)")
    elseif(line MATCHES "^#include \"([^\"]+)\"")
      set(included "${CMAKE_MATCH_1}")
      if(NOT EXISTS "${SOURCE_DIR}/${included}" AND EXISTS "${SOURCE_DIR}/${beside}/${included}")
        list(APPEND faults "${file}: includes ${included} relative to itself; name it from the source root")
        continue()
      endif()
      tonegarden_layer_of("${included}" theirs)
      if(NOT theirs STREQUAL "" AND NOT theirs STREQUAL own
         AND NOT theirs IN_LIST TONEGARDEN_MAY_USE_${own})
        list(APPEND faults "${file}: the ${own} layer includes ${included} of the ${theirs} layer")
      endif()
    endif()
  endforeach()
endforeach()
if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR
          "Includes against the layers, or locale-bound number text (see docs/ARCHITECTURE.md):"
          "\n  ${text}")
endif()
