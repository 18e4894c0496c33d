# Shared compile settings of the project.

# Warnings for every target of ours.
function(korvax_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# The system's own code: no exceptions, no run-time type information.
function(korvax_system_flags target)
  korvax_warnings(${target})
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
endfunction()

# A GoogleTest suite: every *.cpp of a folder under tests/ becomes one executable.
function(korvax_test_suite name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  korvax_warnings(${name})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${name})
endfunction()

# Registers a file produced at build time as the embedded asset NAME (one of
# the names of assets/assets.h). DEPENDS names the targets that produce it.
# Call before assets/ is processed.
function(korvax_embed name file)
  cmake_parse_arguments(E "" "" "DEPENDS" ${ARGN})
  set_property(GLOBAL APPEND PROPERTY KORVAX_EMBEDDED_NAMES ${name})
  set_property(GLOBAL PROPERTY KORVAX_EMBED_FILE_${name} ${file})
  set_property(GLOBAL PROPERTY KORVAX_EMBED_DEPENDS_${name} ${E_DEPENDS})
endfunction()

# The names of the embedded assets, read from the one list the system itself
# compiles (KORVAX_ASSET_LIST in assets/assets.h).
function(korvax_asset_names out)
  file(READ ${CMAKE_SOURCE_DIR}/assets/assets.h header)
  string(REGEX MATCH "#define KORVAX_ASSET_LIST\\(X\\)[^\n]*(\\\n[^\n]*)*" list_text "${header}")
  string(REGEX MATCHALL "X\\([A-Z0-9_]+\\)" entries "${list_text}")
  set(names "")
  foreach(e IN LISTS entries)
    string(REGEX REPLACE "X\\(([A-Z0-9_]+)\\)" "\\1" n "${e}")
    list(APPEND names ${n})
  endforeach()
  if(NOT names)
    message(FATAL_ERROR "no asset names found in assets/assets.h")
  endif()
  set(${out} ${names} PARENT_SCOPE)
endfunction()
