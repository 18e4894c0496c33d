@ The whole-frame block moves of runtime.cpp for ARM cores: eight registers
@ loaded and stored a turn with ldm/stm, four 32-byte groups a loop turn
@ (GCC turns the portable loops into one ldr/str a word, or a memset call).

    .text
    .arm
    .align 2

@ void korvax_copy_groups(uint32_t* dst, const uint32_t* src, uint32_t turns)
@ Copies turns x 128 bytes; both addresses word aligned, turns >= 1.
    .global korvax_copy_groups
    .type korvax_copy_groups, %function
korvax_copy_groups:
    stmfd sp!, {r4-r10}
1:  ldmia r1!, {r3-r10}
    stmia r0!, {r3-r10}
    ldmia r1!, {r3-r10}
    stmia r0!, {r3-r10}
    ldmia r1!, {r3-r10}
    stmia r0!, {r3-r10}
    ldmia r1!, {r3-r10}
    stmia r0!, {r3-r10}
    subs r2, r2, #1
    bne 1b
    ldmfd sp!, {r4-r10}
    bx lr
    .size korvax_copy_groups, . - korvax_copy_groups

@ void korvax_clear_groups(uint32_t* dst, uint32_t turns)
@ Zeroes turns x 128 bytes; dst word aligned, turns >= 1.
    .global korvax_clear_groups
    .type korvax_clear_groups, %function
korvax_clear_groups:
    stmfd sp!, {r4-r9}
    mov r2, #0
    mov r3, #0
    mov r4, #0
    mov r5, #0
    mov r6, #0
    mov r7, #0
    mov r8, #0
    mov r9, #0
1:  stmia r0!, {r2-r9}
    stmia r0!, {r2-r9}
    stmia r0!, {r2-r9}
    stmia r0!, {r2-r9}
    subs r1, r1, #1
    bne 1b
    ldmfd sp!, {r4-r9}
    bx lr
    .size korvax_clear_groups, . - korvax_clear_groups

    .section .note.GNU-stack,"",%progbits
