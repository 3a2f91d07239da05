# Warnings are set per target, never through global flags, so that a project
# that includes this one keeps its own settings.
function(pier_set_warnings target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE
      -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
      -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual
      -Wdouble-promotion -Wimplicit-fallthrough)
    if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
      target_compile_options(${target} PRIVATE -Wno-return-type-c-linkage)
    else()
      # GCC 12 at -O3 reports overlapping copies inside std::string that
      # cannot happen (a known false positive of -Wrestrict).
      target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
    if(PIER_WARNINGS_AS_ERRORS)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
  if(PIER_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()

# One shared library per deliverable: the host loads the plug-in modules at
# run time, and all of them must see the one host layer.
function(pier_add_library target)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${target} SHARED ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC "${PROJECT_SOURCE_DIR}")
  target_link_libraries(${target} PUBLIC ${ARG_PUBLIC_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  set_target_properties(${target} PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/lib"
    CXX_VISIBILITY_PRESET default)
  pier_set_warnings(${target})
endfunction()
