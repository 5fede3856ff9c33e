# What keeps a build from scratch short on a two-core machine.

# Sources compiled in batches: the heavy headers (the standard library, Qt,
# GoogleTest) are read once a batch instead of once a file. Each batch is a
# file that includes its sources by their path from the source root, so it
# reads the same in every clone and the compiler cache knows it again. A
# developer working on one file may turn batches off in a build tree of
# their own.
option(TONEGARDEN_UNITY "Compile each target's sources in batches" ON)
set(TONEGARDEN_BATCH_SIZE 16 CACHE STRING "Sources in one batch")

# The compiler cache, where installed. CI clones into a new folder every run:
# ccache rewrites the clone's absolute paths in include options (the scripts
# set CCACHE_BASEDIR), and the prefix map keeps them out of __FILE__ and the
# debug information, so a new clone finds the objects of the last.
option(TONEGARDEN_CCACHE "Compile through ccache when it is installed" ON)
if(TONEGARDEN_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  find_program(TONEGARDEN_CCACHE_PROGRAM ccache)
  if(TONEGARDEN_CCACHE_PROGRAM)
    set(CMAKE_CXX_COMPILER_LAUNCHER ${TONEGARDEN_CCACHE_PROGRAM})
  endif()
endif()
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=)

# Every target defined in dir and below it.
function(tonegarden_targets_below dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    tonegarden_targets_below(${sub} below)
    list(APPEND targets ${below})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# Puts the C++ sources of target that lie in the source tree, and have no
# compile settings of their own, into batches.
function(tonegarden_batch_sources target)
  get_target_property(type ${target} TYPE)
  if(NOT type MATCHES "^(STATIC_LIBRARY|EXECUTABLE)$")
    return()
  endif()
  get_target_property(sources ${target} SOURCES)
  get_target_property(dir ${target} SOURCE_DIR)
  set(batched "")
  foreach(source IN LISTS sources)
    if(NOT source MATCHES "\\.cpp$")
      continue()
    endif()
    get_filename_component(path "${source}" ABSOLUTE BASE_DIR "${dir}")
    file(RELATIVE_PATH relative "${PROJECT_SOURCE_DIR}" "${path}")
    if(relative MATCHES "^\\.\\./" OR relative MATCHES "^build/")
      continue()  # made by the build
    endif()
    set(own "")
    foreach(property COMPILE_DEFINITIONS COMPILE_OPTIONS COMPILE_FLAGS INCLUDE_DIRECTORIES)
      get_source_file_property(value "${path}" TARGET_DIRECTORY ${target} ${property})
      if(value)
        set(own TRUE)
      endif()
    endforeach()
    if(NOT own)
      list(APPEND batched "${relative}")
    endif()
  endforeach()
  list(LENGTH batched count)
  if(count LESS 2)
    return()
  endif()
  set(index 0)
  set(content "")
  set(files "")
  foreach(relative IN LISTS batched)
    string(APPEND content "#include \"${relative}\"\n")
    list(APPEND files "${PROJECT_SOURCE_DIR}/${relative}")
    math(EXPR index "${index} + 1")
    math(EXPR full "${index} % ${TONEGARDEN_BATCH_SIZE}")
    if(full EQUAL 0 OR index EQUAL count)
      math(EXPR number "(${index} - 1) / ${TONEGARDEN_BATCH_SIZE}")
      set(batch "${CMAKE_BINARY_DIR}/batches/${target}_${number}.cpp")
      file(CONFIGURE OUTPUT "${batch}" CONTENT "${content}")
      target_sources(${target} PRIVATE "${batch}")
      set(content "")
    endif()
  endforeach()
  set_source_files_properties(${files} TARGET_DIRECTORY ${target} PROPERTIES HEADER_FILE_ONLY ON)
endfunction()

# Called once every target is defined.
function(tonegarden_batch_all_sources)
  if(NOT TONEGARDEN_UNITY)
    return()
  endif()
  tonegarden_targets_below(${PROJECT_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    tonegarden_batch_sources(${target})
  endforeach()
endfunction()
