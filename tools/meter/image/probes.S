@ Probes of the emulated core, for the meter's own tests.
    .text
    .arm
    .align 2

@ r0 = n >= 1 turns of a two-instruction loop: 2n + 2 instructions in all.
    .global meter_count_loop
    .type meter_count_loop, %function
meter_count_loop:
    mov r1, #0
1:  subs r0, r0, #1
    bne 1b
    bx lr
    .size meter_count_loop, . - meter_count_loop

@ clz r0, r0: an ARMv5 instruction, which an ARMv4T core must refuse as
@ undefined. Written as its encoding: the assembler rejects it for ARMv4T.
    .global meter_armv5_probe
    .type meter_armv5_probe, %function
meter_armv5_probe:
    .inst 0xe16f0f10
    bx lr
    .size meter_armv5_probe, . - meter_armv5_probe
