function(tonegarden_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Wold-style-cast -Woverloaded-virtual)
  if(TONEGARDEN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
