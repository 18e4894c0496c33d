# Suites of the GP2X build. GoogleTest is built from its sources with the
# GP2X toolchain; every case runs in a process of its own, as in the host
# build, under qemu-arm's strict ARMv4T model (CMAKE_CROSSCOMPILING_EMULATOR).
include(GoogleTest)
# newlib declares the POSIX functions GoogleTest uses only outside strict ISO mode.
set(CMAKE_CXX_EXTENSIONS ON)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
target_compile_definitions(gtest PRIVATE PATH_MAX=4096)

# korvax_gp2x_test(name SOURCES ... LIBS ... [DEVICE_ROOT dir])
# With DEVICE_ROOT the cases share that folder of stand-in devices and so run
# one at a time.
function(korvax_gp2x_test name)
  cmake_parse_arguments(T "" "DEVICE_ROOT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  korvax_warnings(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gtest gtest_main korvax_gp2x_runtime)
  set(properties LABELS gp2x TIMEOUT 300)
  if(T_DEVICE_ROOT)
    list(APPEND properties ENVIRONMENT KORVAX_GP2X_DEVICE_ROOT=${T_DEVICE_ROOT} RESOURCE_LOCK ${T_DEVICE_ROOT})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 TEST_PREFIX "gp2x."
    PROPERTIES ${properties})
endfunction()

# The board over stand-ins of its devices, the run-time under it, and the
# music host's output thread on it.
set(device_root ${CMAKE_CURRENT_BINARY_DIR}/device-root)
file(GLOB board_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/board/gp2x/*.cpp)
korvax_gp2x_test(test_board_gp2x SOURCES ${board_sources} LIBS korvax_board_gp2x_stand_in korvax_music
  DEVICE_ROOT ${device_root})

# The process ends while its sound thread is blocked in a write.
add_executable(gp2x_exit_probe ${CMAKE_CURRENT_SOURCE_DIR}/board/gp2x_exit_probe.cpp)
korvax_warnings(gp2x_exit_probe)
target_link_libraries(gp2x_exit_probe PRIVATE korvax_board_gp2x_stand_in korvax_gp2x_runtime)
add_test(NAME gp2x_exit_while_blocked COMMAND gp2x_exit_probe)
set_tests_properties(gp2x_exit_while_blocked PROPERTIES LABELS gp2x TIMEOUT 30
  ENVIRONMENT KORVAX_GP2X_DEVICE_ROOT=${CMAKE_CURRENT_BINARY_DIR}/exit-probe-root)

# The whole program from start-up to the menu, over the stand-in board.
add_executable(korvax_stand_in ${CMAKE_SOURCE_DIR}/board/gp2x/main.cpp)
target_link_libraries(korvax_stand_in PRIVATE korvax_platform korvax_board_gp2x_stand_in korvax_gp2x_runtime)
korvax_system_flags(korvax_stand_in)
add_test(NAME gp2x_program_to_menu
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/board/gp2x_program.sh ${KORVAX_QEMU_ARM} $<TARGET_FILE:korvax_stand_in>
          ${CMAKE_CURRENT_BINARY_DIR}/program-root ${KORVAX_HOST_COPROCESSOR_IMAGE}
          ${KORVAX_HOST_BUILD}/tools/track/music.ogg)
set_tests_properties(gp2x_program_to_menu PROPERTIES LABELS gp2x TIMEOUT 120)

# korvax.elf (korvax.gpe before stripping): ARMv4T objects and instructions
# only, and no floating-point helper.
add_test(NAME gp2x_armv4t_purity
  COMMAND ${CMAKE_COMMAND} -DELF=$<TARGET_FILE:korvax> -DMAP=${CMAKE_BINARY_DIR}/korvax.map
          -DREADELF=${KORVAX_ARM_READELF} -DOBJDUMP=${CMAKE_OBJDUMP} -DNM=${KORVAX_ARM_NM}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/board/gp2x_purity.cmake)
set_tests_properties(gp2x_armv4t_purity PROPERTIES LABELS gp2x TIMEOUT 120)

# The system's own suites, built for ARMv4T, over the stand-in board (which
# opens nothing without a device root). The music and platform suites drive
# the host console and stay in the host build.
foreach(suite runtime math render models sequence)
  file(GLOB suite_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${suite}/*.cpp)
  korvax_gp2x_test(test_${suite} SOURCES ${suite_sources} LIBS korvax_platform korvax_board_gp2x_stand_in)
endforeach()
