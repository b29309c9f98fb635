# Common settings for the project's own targets: warnings are errors here, never in
# third-party code.
function(korvel_target_defaults target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE
      -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow
      -Wnon-virtual-dtor -Wold-style-cast -Wcast-qual -Wformat=2 -Werror)
  elseif(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX /permissive-)
  endif()
endfunction()
