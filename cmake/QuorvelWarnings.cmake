# quorvel_target_defaults(target): the warning set and language options every project target gets.
# The product libraries (codecs, server, plugin) also build without exceptions: failures are values.
function(quorvel_target_defaults target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wshadow -Wconversion -Woverloaded-virtual -Wold-style-cast -Wundef
    -Wimplicit-fallthrough -Wnon-virtual-dtor)
  if(QUORVEL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

function(quorvel_product_library target)
  quorvel_target_defaults(${target})
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions>)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()
