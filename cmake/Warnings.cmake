function(tonegarden_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Wold-style-cast -Woverloaded-virtual
                                           # Designated initializers leave members to their
                                           # defaults on purpose (g++ 12 warns all the same).
                                           -Wno-missing-field-initializers)
  if(TONEGARDEN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
