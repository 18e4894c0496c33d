@ The rows of one part of a textured triangle (rasterizer.cpp, walk_rows with
@ DrawThenStep<TextureFill>) for ARM cores: per row the span between the two
@ edges, kept within columns 0..319 (a left end moved right starts the walk
@ as if the hidden columns had been drawn), then both edges and the walk
@ along the left edge step. The walk's u and v are held 8 bits higher, so a
@ texel's row and column are their top bytes.
@
@ Most spans are a few pixels long (a mesh's faces are small), so the row
@ costs as much as its pixels: the row state stays in registers, the per-row
@ constants sit on the stack for one load multiple, a span enters an
@ eight-pixel unrolled loop part way through instead of handling its odd
@ pixels on their own, and a part whose edges stay on the screen all the way
@ takes a copy of the row loop that does not keep spans within it (and where
@ a span of up to eight pixels costs one compare and one jump).
@
@ void korvax_texture_rows(uint16_t* line, int32_t rows, uint32_t* a,
@                         uint32_t* b, uint32_t* walk)
@ line: the first row (rows >= 1); a and b: the left and right edges, each
@ its 8.8 position then its step per row; walk: u, v (at the left edge),
@ step_u, step_v (per row), span_u, span_v (per pixel), then the texels'
@ address. The edges' positions and the walk's u and v are left as after the
@ last row.
@
@ Registers in the row loop: r0 line, r1 xa, r2 xb, r3 u, r4 v (plain only),
@ r5 span_u, r6 span_v, r7 texels, r8 0xFF00, r9 the pixel, r10 pixels left,
@ r11 and r12 the span's u and v, lr the texel.

    .syntax unified
    .text
    .arm
    .align 2

@ One pixel: texel at (v >> 16 & 0xFF00) | (u >> 24), u and v stepped; the
@ blend ors in the pixel underneath darkened: (pixel >> 2) & 0x79E7 (r3 holds
@ 0x79E7, r4 is free). Seven instructions plain, ten blended.
.macro PIXEL blend
    and lr, r8, r12, lsr #16
    orr lr, lr, r11, lsr #24
    add lr, r7, lr, lsl #1
    ldrh lr, [lr]
.if \blend
    ldrh r4, [r9]
.endif
    add r11, r11, r5
    add r12, r12, r6
.if \blend
    and r4, r3, r4, lsr #2
    orr lr, lr, r4
.endif
    strh lr, [r9], #2
.endm

@ The row loop. clamp: the spans are kept within columns 0..319; without,
@ the caller has found every row's span inside them already.
.macro ROWS blend, clamp
1:
.if \clamp
    mov r10, r2, asr #8
    add r10, r10, #1                @ one past the right column
    cmp r10, #320
    movgt r10, #320
.endif
.if \blend
    ldmia sp, {r11, r12}            @ the span starts at the left edge's u, v
.else
    mov r11, r3
    mov r12, r4
.endif
.if \clamp
    movs r9, r1, asr #8             @ left column
    bmi 6f                          @ left of column 0: raise it
2:  subs r10, r10, r9               @ pixels
    ble 4f
.else
    mov r9, r1, asr #8              @ left column
    rsb r10, r9, r2, asr #8         @ pixels - 1
.endif
    add r9, r0, r9, lsl #1
.if \clamp
    and lr, r10, #7
    ldr pc, [pc, lr, lsl #2]        @ the first turn draws pixels mod 8 (8 for 0)
    nop
    .word 30f, 37f, 36f, 35f, 34f, 33f, 32f, 31f
.else
    @ Most spans have eight pixels or fewer: they jump straight to the last
    @ eight (by pixels - 1) and run on into the row's end; an empty or a
    @ longer span goes to the code after the return.
    cmp r10, #7
    ldrls pc, [pc, r10, lsl #2]
    b 49f
    .word 37f, 36f, 35f, 34f, 33f, 32f, 31f, 30f
.endif
30: PIXEL \blend
31: PIXEL \blend
32: PIXEL \blend
33: PIXEL \blend
34: PIXEL \blend
35: PIXEL \blend
36: PIXEL \blend
37: PIXEL \blend
.if \clamp
    subs r10, r10, #8
    bgt 30b
.endif
4:
.if \blend
    ldmia sp, {r4, r9, r10, r11, r12, lr}   @ u, v, step_u, step_v, sa, sb
    add r4, r4, r10
    add r9, r9, r11
    stmia sp, {r4, r9}
    add r0, r0, #640
    add r1, r1, r12
    add r2, r2, lr
    ldr r9, [sp, #24]               @ line_end
.else
    ldmia sp, {r9, r10, r11, r12, lr}   @ line_end, sa, sb, step_u, step_v
    add r0, r0, #640
    add r1, r1, r10
    add r2, r2, r11
    add r3, r3, r12
    add r4, r4, lr
.endif
    cmp r0, r9
    bne 1b
.if \clamp
    b 9f

    @ A left end off the screen: the span starts -left columns along.
6:  rsb lr, r9, #0
    mla r11, lr, r5, r11
    mla r12, lr, r6, r12
    mov r9, #0
    b 2b
.endif
.endm

@ Stack frame below the saved registers:
@ plain:   [line_end, sa, sb, step_u, step_v]
@ blended: [u, v, step_u, step_v, sa, sb, line_end] (r3 and r4 serve the blend)
.macro TEXTURE_ROWS name, blend
    .global \name
    .type \name, %function
\name:
    stmfd sp!, {r2-r11, lr}         @ a and b kept for the end; walk at [sp, #44]
    @ No row needs its span kept within columns 0..319 when both edges start
    @ and end in 0 .. 320 x 256 - 1 and cannot wrap on the way (steps below
    @ 2^17 in magnitude, fewer than 2^13 rows): then each edge runs straight
    @ between its ends. The flags are kept through the set-up.
    ldmia r2, {r4, r5}              @ xa, sa
    ldmia r3, {r6, r7}              @ xb, sb
    sub r8, r1, #1
    mla r9, r8, r5, r4              @ xa on the last row
    mla r10, r8, r7, r6             @ xb on the last row
    add r11, r5, #0x20000
    add r12, r7, #0x20000
    cmp r8, #0x2000
    cmpcc r11, #0x40000
    cmpcc r12, #0x40000
    cmpcc r4, #0x14000
    cmpcc r6, #0x14000
    cmpcc r9, #0x14000
    cmpcc r10, #0x14000
    ldr ip, [sp, #44]
.if \blend
    mov lr, #640
    mla r11, r1, lr, r0             @ the line after the last row
    stmfd sp!, {r5, r7, r11}
    ldmia ip, {r4, r5, r6, r7}      @ u, v, step_u, step_v
    stmfd sp!, {r4-r7}
.else
    add lr, ip, #8
    ldmia lr, {r8, r9}              @ step_u, step_v
    mov lr, #640
    mla r4, r1, lr, r0              @ the line after the last row
    stmfd sp!, {r4, r5, r7, r8, r9}
.endif
    ldr r1, [r2]                    @ xa
    ldr r2, [r3]                    @ xb
.if !\blend
    ldmia ip, {r3, r4}              @ u, v
.endif
    add lr, ip, #16
    ldmia lr, {r5, r6, r7}          @ span_u, span_v, texels
    mov r8, #0xFF00
.if \blend
    mov r3, #0x7900
    orr r3, r3, #0xE7
.endif
    bcc 20f
    ROWS \blend, 1
20: ROWS \blend, 0

9:
.if \blend
    ldmia sp, {r3, r4}              @ u, v
    add sp, sp, #28
.else
    add sp, sp, #20
.endif
    ldmia sp, {r5, r6}              @ a, b
    ldr r7, [sp, #44]               @ walk
    str r1, [r5]
    str r2, [r6]
    stmia r7, {r3, r4}
    ldmfd sp!, {r2-r11, lr}
    bx lr

    @ The on-screen rows' spans of no pixel (pixels - 1 in r10 negative)
    @ or of nine or more: eight pixels at a time, then a jump into the last
    @ eight of the row loop.
49: cmp r10, #0
    blt 4b
50: PIXEL \blend
    PIXEL \blend
    PIXEL \blend
    PIXEL \blend
    PIXEL \blend
    PIXEL \blend
    PIXEL \blend
    PIXEL \blend
    sub r10, r10, #8
    cmp r10, #7
    ldrls pc, [pc, r10, lsl #2]
    b 50b
    .word 37b, 36b, 35b, 34b, 33b, 32b, 31b, 30b
    .size \name, . - \name
.endm

@ korvax_texture_rows: texel replaces pixel.
    TEXTURE_ROWS korvax_texture_rows, 0
@ korvax_texture_rows_blend (same arguments): texel | (pixel darkened).
    TEXTURE_ROWS korvax_texture_rows_blend, 1

    .section .note.GNU-stack,"",%progbits
