# Bare-metal toolchain for the ARM940T coprocessor of the MMSP2: ARMv4T, ARM
# state, no floating-point unit, no operating system.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CMAKE_C_COMPILER arm-none-eabi-gcc)
set(CMAKE_CXX_COMPILER arm-none-eabi-g++)
set(CMAKE_ASM_COMPILER arm-none-eabi-gcc)
find_program(CMAKE_OBJCOPY arm-none-eabi-objcopy REQUIRED)
find_program(CMAKE_OBJDUMP arm-none-eabi-objdump REQUIRED)
find_program(KORVAX_ARM_READELF arm-none-eabi-readelf REQUIRED)
find_program(KORVAX_ARM_NM arm-none-eabi-nm REQUIRED)

# No C library start files to link a test program against.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(KORVAX_ARM940T_FLAGS "-march=armv4t -marm -mfloat-abi=soft -fsigned-char -ffunction-sections -fdata-sections")
set(CMAKE_C_FLAGS_INIT "${KORVAX_ARM940T_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${KORVAX_ARM940T_FLAGS}")
set(CMAKE_ASM_FLAGS_INIT "-march=armv4t -marm")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-nostdlib -nostartfiles -Wl,--gc-sections")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
