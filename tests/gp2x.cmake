# Suites of the GP2X build. GoogleTest is built from its sources with the
# GP2X toolchain; every suite is one test run under qemu-arm's strict ARMv4T
# model (CMAKE_CROSSCOMPILING_EMULATOR), one process per suite.
# newlib declares the POSIX functions GoogleTest uses only outside strict ISO mode.
set(CMAKE_CXX_EXTENSIONS ON)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
target_compile_definitions(gtest PRIVATE PATH_MAX=4096)

# korvax_gp2x_test(name SOURCES ... LIBS ... [ENVIRONMENT ...])
function(korvax_gp2x_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  korvax_warnings(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gtest gtest_main korvax_gp2x_runtime)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS "gp2x;${name}" TIMEOUT 300)
  if(T_ENVIRONMENT)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
endfunction()

# The board over stand-ins of its devices, and the run-time under it.
set(device_root ${CMAKE_CURRENT_BINARY_DIR}/device-root)
file(GLOB board_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/board/gp2x/*.cpp)
korvax_gp2x_test(test_board_gp2x SOURCES ${board_sources} LIBS korvax_board_gp2x_stand_in
  ENVIRONMENT KORVAX_GP2X_DEVICE_ROOT=${device_root})
