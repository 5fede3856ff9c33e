# What keeps a build from scratch short on a two-core machine.

# Sources compiled in batches: the heavy headers (the standard library, Qt,
# GoogleTest) are read once a batch instead of once a file. A developer
# working on one file may turn it off in a build tree of their own.
option(TONEGARDEN_UNITY "Compile each target's sources in batches" ON)
if(TONEGARDEN_UNITY)
  set(CMAKE_UNITY_BUILD ON)
  set(CMAKE_UNITY_BUILD_BATCH_SIZE 16)
endif()

# The compiler cache, where installed. CI clones into a new folder every run:
# ccache rewrites the clone's absolute paths in include options (the test
# script sets CCACHE_BASEDIR), and the prefix map keeps them out of __FILE__
# and the debug information, so a new clone finds the objects of the last.
option(TONEGARDEN_CCACHE "Compile through ccache when it is installed" ON)
if(TONEGARDEN_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  find_program(TONEGARDEN_CCACHE_PROGRAM ccache)
  if(TONEGARDEN_CCACHE_PROGRAM)
    set(CMAKE_CXX_COMPILER_LAUNCHER ${TONEGARDEN_CCACHE_PROGRAM})
  endif()
endif()
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=)
