@ Start-up of the coprocessor program. The host copies the image to its
@ address 0 and releases the ARM940T from reset, which starts it there.
    .section .vectors, "ax"
    .arm
    .align 2

    .global _start
_start:
    @ The eight exception vectors: every one of them (re)starts the program.
    b reset
    b reset
    b reset
    b reset
    b reset
    b reset
    b reset
    b reset

reset:                                  @ 0x20
    @ 1. Stack just below 1 MB, growing down over free memory above the image.
    mov sp, #0x100000
    sub sp, sp, #4

    @ 2. Protection unit: region 0 is the whole 4 GB, region 1 the first 2 MB
    @ (image, stack, heap). Only region 1 is cached and write-buffered, so the
    @ control block, the stream and the PCM ring stay coherent with the host.
    mov r0, #0x3F                       @ base 0, 4 GB, enabled
    mcr p15, 0, r0, c6, c0, 0           @ data region 0
    mcr p15, 0, r0, c6, c0, 1           @ instruction region 0
    mov r0, #0x29                       @ base 0, 2 MB, enabled
    mcr p15, 0, r0, c6, c1, 0           @ data region 1
    mcr p15, 0, r0, c6, c1, 1           @ instruction region 1
    mov r0, #0x02                       @ region 1 only
    mcr p15, 0, r0, c2, c0, 0           @ data cacheable
    mcr p15, 0, r0, c2, c0, 1           @ instruction cacheable
    mcr p15, 0, r0, c3, c0, 0           @ write buffer
    mov r0, #0x0F                       @ full access in regions 0 and 1
    mcr p15, 0, r0, c5, c0, 0           @ data access permissions
    mcr p15, 0, r0, c5, c0, 1           @ instruction access permissions

    @ 3. Control register: protection unit (bit 0), data cache (bit 2),
    @ instruction cache (bit 12), asynchronous clocking (bits 30 and 31).
    mrc p15, 0, r0, c1, c0, 0
    orr r0, r0, #0x1
    orr r0, r0, #0x4
    orr r0, r0, #0x1000
    orr r0, r0, #0xC0000000
    mcr p15, 0, r0, c1, c0, 0

    @ The variables: a reset does not clear memory and the host copies only
    @ the image, so the zero-initialised ones are cleared here.
    ldr r0, =__bss_start
    ldr r1, =__bss_end
    mov r2, #0
1:  cmp r0, r1
    strlo r2, [r0], #4
    blo 1b

    @ 4. The program.
    bl coprocessor_main

    @ coprocessor_main returns only when the host raised quit: stay here.
idle:
    b idle
    .ltorg
