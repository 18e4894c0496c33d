@ The rows of one part of a flat-filled triangle (rasterizer.cpp, walk_rows
@ with DrawThenStep<FlatFill>) for ARM cores: per row the span between the
@ two edges, kept within columns 0..319, then both edges step.
@
@ void korvax_flat_rows(uint16_t* line, int32_t rows, uint32_t* a,
@                       uint32_t* b, uint32_t pair)
@ line: the first row (rows >= 1); a and b: the left and right edges, each
@ its 8.8 position then its step per row, the positions left as after the
@ last row; pair: the colour in both halves. The edges are read in place:
@ most parts of a mesh's small faces are a row or two, so the call costs as
@ much as its rows.

    .syntax unified
    .text
    .arm
    .align 2

@ void korvax_flat_rows(FlatRows* t)
@ Most spans of a mesh's small faces are a few pixels: up to eight are stored
@ by entering a run of eight halfword stores part way through; longer ones go
@ by words.
    .global korvax_flat_rows
    .type korvax_flat_rows, %function
korvax_flat_rows:
    stmfd sp!, {r2-r11, lr}         @ a and b kept for the end
    ldr r7, [sp, #44]               @ pair
    ldmia r3, {r4, r5}              @ xb, sb
    ldmia r2, {r2, r3}              @ xa, sa
    mov lr, #0x100
    orr lr, lr, #0x3F               @ 319, the last column
1:  mov r11, r2, asr #8             @ left column
    mov ip, r4, asr #8              @ right column
    cmp ip, lr
    movgt ip, lr
    cmp r11, #0
    movlt r11, #0
    subs ip, ip, r11                @ pixels - 1
    blt 4f                          @ right < left: nothing on this row
    add r11, r0, r11, lsl #1
    cmp ip, #7
    bgt 5f
    rsb ip, ip, #7                  @ stores skipped
    add pc, pc, ip, lsl #2
    nop
    .rept 8
    strh r7, [r11], #2
    .endr
4:  add r0, r0, #640
    add r2, r2, r3
    add r4, r4, r5
    subs r1, r1, #1
    bne 1b
    ldmia sp, {r6, ip}
    str r2, [r6]
    str r4, [ip]
    ldmfd sp!, {r2-r11, lr}
    bx lr

    @ Nine pixels or more: a halfword to reach a word boundary, then eight
    @ pixels a store multiple, then what is left.
5:  mov r8, r7
    mov r9, r7
    mov r10, r7
    add ip, ip, #1                  @ pixels
    tst r11, #2
    strhne r7, [r11], #2
    subne ip, ip, #1
    sub ip, ip, #8
2:  stmia r11!, {r7-r10}
    subs ip, ip, #8
    bge 2b
    tst ip, #4
    stmne r11!, {r7, r8}
    tst ip, #2
    strne r7, [r11], #4
    tst ip, #1
    strhne r7, [r11]
    b 4b
    .size korvax_flat_rows, . - korvax_flat_rows

    .section .note.GNU-stack,"",%progbits
