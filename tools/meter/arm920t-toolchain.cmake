# Bare-metal toolchain for the GP2X's main core, the ARM920T: ARMv4T, ARM
# state, no floating-point unit. Used by the instruction meter's image.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CMAKE_C_COMPILER arm-none-eabi-gcc)
set(CMAKE_CXX_COMPILER arm-none-eabi-g++)
set(CMAKE_ASM_COMPILER arm-none-eabi-gcc)

set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(KORVAX_ARM920T_FLAGS "-mcpu=arm920t -marm -mfloat-abi=soft -ffunction-sections -fdata-sections")
set(CMAKE_C_FLAGS_INIT "${KORVAX_ARM920T_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${KORVAX_ARM920T_FLAGS}")
set(CMAKE_ASM_FLAGS_INIT "-mcpu=arm920t -marm")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-nostdlib -nostartfiles -Wl,--gc-sections")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
