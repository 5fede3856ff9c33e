# The layer check runs before any library compiles and again whenever a
# source changes: an include that runs against the layers, or number text
# that follows the user's locale, fails the build.
file(GLOB_RECURSE TONEGARDEN_LAYERED_SOURCES CONFIGURE_DEPENDS
     RELATIVE ${PROJECT_SOURCE_DIR}
     ${PROJECT_SOURCE_DIR}/base/*.h
     ${PROJECT_SOURCE_DIR}/dsp/*.h ${PROJECT_SOURCE_DIR}/dsp/*.cpp
     ${PROJECT_SOURCE_DIR}/graph/*.h ${PROJECT_SOURCE_DIR}/graph/*.cpp
     ${PROJECT_SOURCE_DIR}/properties/*.h ${PROJECT_SOURCE_DIR}/properties/*.cpp
     ${PROJECT_SOURCE_DIR}/host/*.h ${PROJECT_SOURCE_DIR}/host/*.cpp
     ${PROJECT_SOURCE_DIR}/files/*.h ${PROJECT_SOURCE_DIR}/files/*.cpp
     ${PROJECT_SOURCE_DIR}/engine/*.h ${PROJECT_SOURCE_DIR}/engine/*.cpp
     ${PROJECT_SOURCE_DIR}/framework/*.h ${PROJECT_SOURCE_DIR}/framework/*.cpp
     ${PROJECT_SOURCE_DIR}/contraptions/*.h ${PROJECT_SOURCE_DIR}/contraptions/*.cpp
     ${PROJECT_SOURCE_DIR}/shell/*.h ${PROJECT_SOURCE_DIR}/shell/*.cpp
     ${PROJECT_SOURCE_DIR}/controls/*.h ${PROJECT_SOURCE_DIR}/controls/*.cpp
     ${PROJECT_SOURCE_DIR}/forms/*.h ${PROJECT_SOURCE_DIR}/forms/*.cpp
     ${PROJECT_SOURCE_DIR}/app/*.h ${PROJECT_SOURCE_DIR}/app/*.cpp
     ${PROJECT_SOURCE_DIR}/tools/*.h ${PROJECT_SOURCE_DIR}/tools/*.cpp
     ${PROJECT_SOURCE_DIR}/bench/*.h ${PROJECT_SOURCE_DIR}/bench/*.cpp)
set(stamp ${CMAKE_BINARY_DIR}/layers-checked.stamp)
set(list_file ${CMAKE_BINARY_DIR}/layered-sources.txt)
file(WRITE ${list_file} "${TONEGARDEN_LAYERED_SOURCES}")
list(TRANSFORM TONEGARDEN_LAYERED_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/ OUTPUT_VARIABLE absolute)
add_custom_command(
  OUTPUT ${stamp}
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DLIST_FILE=${list_file}
          -P ${PROJECT_SOURCE_DIR}/cmake/check-layers.cmake
  COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
  DEPENDS ${absolute} ${list_file} ${PROJECT_SOURCE_DIR}/cmake/check-layers.cmake
  COMMENT "Checking that includes follow the layers"
  VERBATIM)
add_custom_target(tonegarden_layer_check DEPENDS ${stamp})
