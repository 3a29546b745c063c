# Warnings for our own targets; call wren_warnings(<target>).
function(wren_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual -Wformat=2)
  if(WREN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
