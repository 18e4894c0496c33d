@ The rows of one part of a textured triangle (rasterizer.cpp, walk_rows with
@ DrawThenStep<TextureFill>) for ARM cores: per row the span between the two
@ edges, kept within columns 0..319 (a left end moved right starts the walk
@ as if the hidden columns had been drawn), then both edges and the walk
@ along the left edge step. The walk's u and v are held 8 bits higher, so a
@ texel's row and column are their top bytes; two pixels a loop turn.
@ The row state lives in the record between rows (one ldm/stm each way), so
@ that the span loop has the registers.
@
@ struct TextureRows {                       byte offset
@     uint16_t* line;  int32_t rows;         0, 4    (rows >= 1)
@     uint32_t xa, xb;                       8, 12   edges, 8.8
@     uint32_t u, v;                         16, 20  walk at the left edge
@     uint32_t sa, sb, step_u, step_v;       24..36  per row
@     uint32_t span_u, span_v;               40, 44  per pixel
@     const uint16_t* texels;                48
@ };   line, rows, xa, xb, u and v are left as after the last row.

    .text
    .arm
    .align 2

@ One pixel: texel at (v >> 16 & 0xFF00) | (u >> 24) into r10, u and v stepped.
@ r5 u, r6 v, r2 span_u, r3 span_v, r7 texels, r9 0xFF00.
.macro TEXEL
    and r10, r9, r6, lsr #16
    orr r10, r10, r5, lsr #24
    add r10, r7, r10, lsl #1
    ldrh r10, [r10]
    add r5, r5, r2
    add r6, r6, r3
.endm

@ The blend: r10 |= (pixel >> 2) & 0x79E7 (r4 holds 0x79E7), pixel at [r1].
.macro BLEND
    ldrh r11, [r1]
    and r11, r4, r11, lsr #2
    orr r10, r10, r11
.endm

.macro TEXTURE_ROWS name, blend
    .global \name
    .type \name, %function
\name:
    stmfd sp!, {r4-r11, lr}
    mov lr, #0x100
    orr lr, lr, #0x3F               @ 319, the last column
1:  ldmia r0, {r1-r6}               @ line, rows, xa, xb, u, v
    mov r7, r3, asr #8              @ left column
    mov r8, r4, asr #8              @ right column
    cmp r8, lr
    movgt r8, lr
    movs r9, r7
    movpl r9, #0                    @ raised: 0, or -left with left moved to 0
    rsbmi r9, r7, #0
    movmi r7, #0
    subs r8, r8, r7
    blt 4f                          @ right < left: nothing on this row
    add r8, r8, #1                  @ pixels
    add r1, r1, r7, lsl #1
    add r7, r0, #40
    ldmia r7, {r2, r3, r7}          @ span_u, span_v, texels
    mla r5, r9, r2, r5
    mla r6, r9, r3, r6
    mov r9, #0xFF00
.if \blend
    mov r4, #0x7900
    orr r4, r4, #0xE7
.endif
    tst r8, #1
    beq 2f
    TEXEL
.if \blend
    BLEND
.endif
    strh r10, [r1], #2
2:  movs r8, r8, lsr #1
    beq 4f
3:  TEXEL
.if \blend
    BLEND
.endif
    strh r10, [r1], #2
    TEXEL
.if \blend
    BLEND
.endif
    strh r10, [r1], #2
    subs r8, r8, #1
    bne 3b
4:  ldmia r0, {r1-r6}
    add r7, r0, #24
    ldmia r7, {r7-r10}              @ sa, sb, step_u, step_v
    add r1, r1, #640
    add r3, r3, r7
    add r4, r4, r8
    add r5, r5, r9
    add r6, r6, r10
    subs r2, r2, #1
    stmia r0, {r1-r6}
    bne 1b
    ldmfd sp!, {r4-r11, lr}
    bx lr
    .size \name, . - \name
.endm

@ void korvax_texture_rows(TextureRows* t): texel replaces pixel.
    TEXTURE_ROWS korvax_texture_rows, 0
@ void korvax_texture_rows_blend(TextureRows* t): texel | (pixel darkened).
    TEXTURE_ROWS korvax_texture_rows_blend, 1

    .section .note.GNU-stack,"",%progbits
