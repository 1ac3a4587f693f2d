option(NURAK_WERROR "Treat compiler warnings as errors" OFF)

# Warnings for our own targets only; third-party headers come in as system headers.
function(nurak_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Woverloaded-virtual -Wimplicit-fallthrough)
  if(NURAK_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
