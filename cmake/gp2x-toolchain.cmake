# Toolchain of the GP2X program: an ARM920T (ARMv4T, ARM state, no
# floating-point unit) under Linux 2.4. arm-none-eabi with newlib is ARMv4T
# throughout; the start-up code, the system-call layer and the atomics are
# our own (board/gp2x/), so the program needs nothing from a Linux C library
# (Debian's is ARMv5TE and wants a 3.2 kernel). Programs are static.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CMAKE_C_COMPILER arm-none-eabi-gcc)
set(CMAKE_CXX_COMPILER arm-none-eabi-g++)
set(CMAKE_ASM_COMPILER arm-none-eabi-gcc)
find_program(CMAKE_OBJCOPY arm-none-eabi-objcopy REQUIRED)
find_program(CMAKE_OBJDUMP arm-none-eabi-objdump REQUIRED)
find_program(CMAKE_STRIP arm-none-eabi-strip REQUIRED)
find_program(KORVAX_ARM_READELF arm-none-eabi-readelf REQUIRED)
find_program(KORVAX_ARM_NM arm-none-eabi-nm REQUIRED)

# Test programs of this build run under qemu's ARM user mode with the TI925T
# model, a strict ARMv4T core: an ARMv5 instruction stops the program.
find_program(KORVAX_QEMU_ARM qemu-arm REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${KORVAX_QEMU_ARM} -cpu ti925t)

# No start files to link a trial program against.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(KORVAX_GP2X_FLAGS "-march=armv4t -mcpu=arm920t -marm -mfloat-abi=soft -fsigned-char -ffunction-sections -fdata-sections")
set(CMAKE_C_FLAGS_INIT "${KORVAX_GP2X_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${KORVAX_GP2X_FLAGS} -fno-exceptions -fno-rtti")
set(CMAKE_ASM_FLAGS_INIT "-march=armv4t -mcpu=arm920t -marm")
set(CMAKE_C_FLAGS_RELEASE_INIT "-O2")
set(CMAKE_CXX_FLAGS_RELEASE_INIT "-O2")
# Our own _start (board/gp2x/start.S) replaces the C library's start files.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -nostartfiles -Wl,--gc-sections -Wl,--no-warn-execstack")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(KORVAX_BOARD gp2x CACHE STRING "host or gp2x" FORCE)
