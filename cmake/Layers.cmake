# The core and the windowed program are built in layers, one library per
# top-level folder, each linking only the layers its folder names:
#
#   tonegarden_layer(<folder> [USES <layer>...] [LIBRARIES <target>...] [QT] [HEADERS] [PROGRAMS])
#
# at the top of the folder's CMakeLists.txt defines tg_<folder> (an interface
# library with HEADERS; no library with PROGRAMS). cmake/layer-map.cmake reads
# the same calls for the layer check, which runs before any library compiles
# and again whenever a source changes: an include that runs against the
# layers, or number text that follows the user's locale, fails the build.
include(${CMAKE_CURRENT_LIST_DIR}/layer-map.cmake)

function(tonegarden_layer name)
  cmake_parse_arguments(ARG "QT;HEADERS;PROGRAMS" "" "USES;LIBRARIES" ${ARGN})
  get_filename_component(folder "${CMAKE_CURRENT_SOURCE_DIR}" NAME)
  if(NOT name STREQUAL folder)
    message(FATAL_ERROR "The layer in ${folder}/ must be named ${folder}, not ${name}")
  endif()
  if(ARG_PROGRAMS)
    return()
  endif()
  set(target tg_${name})
  if(ARG_HEADERS)
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE Threads::Threads)
    return()
  endif()
  list(TRANSFORM ARG_USES PREPEND tg_)
  add_library(${target} STATIC)
  target_link_libraries(${target} PUBLIC tg_base ${ARG_USES} ${ARG_LIBRARIES})
  add_dependencies(${target} tonegarden_layer_check)
  tonegarden_warnings(${target})
  if(ARG_QT)
    set_target_properties(${target} PROPERTIES AUTOMOC ON)
  endif()
endfunction()

tonegarden_read_layers(${PROJECT_SOURCE_DIR})
set(patterns "")
foreach(layer IN LISTS TONEGARDEN_LAYERS bench)
  list(APPEND patterns ${PROJECT_SOURCE_DIR}/${layer}/*.h ${PROJECT_SOURCE_DIR}/${layer}/*.cpp)
endforeach()
file(GLOB_RECURSE TONEGARDEN_LAYERED_SOURCES CONFIGURE_DEPENDS
     RELATIVE ${PROJECT_SOURCE_DIR} ${patterns})
set(stamp ${CMAKE_BINARY_DIR}/layers-checked.stamp)
set(list_file ${CMAKE_BINARY_DIR}/layered-sources.txt)
file(WRITE ${list_file} "${TONEGARDEN_LAYERED_SOURCES}")
list(TRANSFORM TONEGARDEN_LAYERED_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/ OUTPUT_VARIABLE absolute)
file(GLOB layer_lists CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/*/CMakeLists.txt)
add_custom_command(
  OUTPUT ${stamp}
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DLIST_FILE=${list_file}
          -P ${PROJECT_SOURCE_DIR}/cmake/check-layers.cmake
  COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
  DEPENDS ${absolute} ${list_file} ${layer_lists} ${PROJECT_SOURCE_DIR}/cmake/check-layers.cmake
          ${PROJECT_SOURCE_DIR}/cmake/layer-map.cmake
  COMMENT "Checking that includes follow the layers"
  VERBATIM)
add_custom_target(tonegarden_layer_check DEPENDS ${stamp})
