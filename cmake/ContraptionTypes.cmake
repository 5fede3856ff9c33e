# Adding a contraption type (or a family of sizes) takes one call here, in
# contraptions/CMakeLists.txt:
#
#   tonegarden_contraption_type(NAMES TestGen
#     CORE TGTestSignalGenerator.cpp TestGenType.cpp
#     GUI TTestGenForm.cpp
#     HELP testgen.html)
#
# CORE sources (processor, maker, the descriptor <Name>Type()) go into the
# contraptions' library; ENGINE ones (the engine's own SoundIn and SoundOut)
# into the engine's, GUI ones (the editor window, which defines
# Register<Name>Windows(host, type)) into the forms', each taken up there by
# the calls below; the HELP page is shipped as qrc:/help/<page> and installed
# with the other pages.
function(tonegarden_contraption_type)
  cmake_parse_arguments(ARG "" "" "NAMES;CORE;ENGINE;GUI;HELP" ${ARGN})
  list(TRANSFORM ARG_CORE PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
  target_sources(tg_contraptions PRIVATE ${ARG_CORE})
  list(TRANSFORM ARG_ENGINE PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
  set_property(GLOBAL APPEND PROPERTY TONEGARDEN_ENGINE_TYPE_SOURCES ${ARG_ENGINE})
  if(ARG_GUI)
    list(TRANSFORM ARG_GUI PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
    set_property(GLOBAL APPEND PROPERTY TONEGARDEN_WINDOW_SOURCES ${ARG_GUI})
    set_property(GLOBAL APPEND PROPERTY TONEGARDEN_WINDOW_TYPES ${ARG_NAMES})
  endif()
  list(TRANSFORM ARG_HELP PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
  set_property(GLOBAL APPEND PROPERTY TONEGARDEN_HELP_PAGES ${ARG_HELP})
endfunction()

function(tonegarden_add_engine_type_sources target)
  get_property(sources GLOBAL PROPERTY TONEGARDEN_ENGINE_TYPE_SOURCES)
  target_sources(${target} PRIVATE ${sources})
endfunction()

# Every type's window, and the list that registers them all.
function(tonegarden_add_contraption_windows target)
  get_property(sources GLOBAL PROPERTY TONEGARDEN_WINDOW_SOURCES)
  get_property(types GLOBAL PROPERTY TONEGARDEN_WINDOW_TYPES)
  set(TONEGARDEN_WINDOW_DECLARATIONS "")
  set(TONEGARDEN_WINDOW_CALLS "")
  foreach(type IN LISTS types)
    string(APPEND TONEGARDEN_WINDOW_DECLARATIONS
           "const ContraptionDescriptor& ${type}Type();\n"
           "void Register${type}Windows(ContraptionWindowHost& host, const ContraptionDescriptor& type);\n")
    string(APPEND TONEGARDEN_WINDOW_CALLS "  Register${type}Windows(host, ${type}Type());\n")
  endforeach()
  set(generated ${CMAKE_BINARY_DIR}/generated/ContraptionWindows.cpp)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/ContraptionWindows.cpp.in ${generated} @ONLY)
  target_sources(${target} PRIVATE ${sources} ${generated})
endfunction()

# Every type's help page, inside the program and installed.
function(tonegarden_add_contraption_help target)
  get_property(pages GLOBAL PROPERTY TONEGARDEN_HELP_PAGES)
  list(REMOVE_DUPLICATES pages)
  foreach(page IN LISTS pages)
    get_filename_component(name ${page} NAME)
    set_source_files_properties(${page} PROPERTIES QT_RESOURCE_ALIAS ${name})
  endforeach()
  qt_add_resources(${target} "contraption_help" PREFIX "/help" FILES ${pages})
  install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_DATADIR}/tonegarden/help)
endfunction()
