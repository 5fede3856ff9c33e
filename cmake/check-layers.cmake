# cmake -DSOURCE_DIR=… -DLIST_FILE=… -P check-layers.cmake (the list file
# holds the sources to check, relative to SOURCE_DIR, separated by ";").
cmake_minimum_required(VERSION 3.25)
file(READ "${LIST_FILE}" FILES)
# Fails when a file includes one of a layer it may not use. The layers, low to
# high, and what each may include (besides itself):
set(allowed_base "")
set(allowed_dsp base)
set(allowed_graph base dsp)
set(allowed_properties base)
set(allowed_host base)
set(allowed_files base dsp properties host)
set(allowed_framework base dsp graph properties host)
set(allowed_contraptions base dsp graph properties host files framework)
set(allowed_engine base dsp graph properties host files framework contraptions)
set(allowed_shell base dsp graph properties host files framework contraptions engine)
set(allowed_tools base dsp graph properties host files framework contraptions engine shell)
set(allowed_gui base dsp graph properties host files framework contraptions engine shell tools gui)

# A path's layer: the first rule whose pattern matches it.
set(rules
  "^base/=base"
  "^dsp/=dsp"
  "^graph/=graph"
  "^properties/=properties"
  "^host/=host"
  "^files/=files"
  "^framework/=framework"
  "^contraptions/.*/T[A-Za-z0-9]*Forms?\\.=gui"
  "^contraptions/io/sound(in|out)/Sound(In|Out)Type\\.=engine"
  "^contraptions/=contraptions"
  "^engine/=engine"
  "^shell/=shell"
  "^tools/=tools"
  "^app/=gui"
  "^controls/=gui"
  "^forms/=gui")

function(layer_of path out)
  foreach(rule IN LISTS rules)
    string(REGEX REPLACE "=[a-z]+$" "" pattern "${rule}")
    string(REGEX REPLACE "^.*=" "" layer "${rule}")
    if(path MATCHES "${pattern}")
      set(${out} ${layer} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} "" PARENT_SCOPE)
endfunction()

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
  layer_of("${file}" own)
  if(own STREQUAL "")
    continue()
  endif()
  file(STRINGS "${SOURCE_DIR}/${file}" lines REGEX "^#include [\"<]")
  foreach(line IN LISTS lines)
    if(line MATCHES "^#include <(Q[A-Za-z]*)>" AND NOT own STREQUAL "gui")
      list(APPEND faults "${file}: the ${own} layer includes Qt (<${CMAKE_MATCH_1}>)")
    elseif(line MATCHES "^#include \"([^\"]+)\"")
      set(included "${CMAKE_MATCH_1}")
      layer_of("${included}" theirs)
      if(NOT theirs STREQUAL "" AND NOT theirs STREQUAL own AND NOT theirs IN_LIST allowed_${own})
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
