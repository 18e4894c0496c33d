@ The palette blits of draw2d.cpp for ARM cores. Each index is turned into
@ the byte offset of its palette entry with one AND of the shifted index word
@ (mask 0x1FE), two pixels are joined into one word and stored together.

    .text
    .arm
    .align 2

@ void korvax_blit_indexed(uint16_t* out, const uint8_t* image,
@                          const uint16_t* palette, uint32_t pixels)
@ out[i] = palette[image[i]]; image and out word aligned, pixels a multiple
@ of 32: eight indices a load multiple, eight pixels a store multiple, four of
@ each a loop turn.
    .global korvax_blit_indexed
    .type korvax_blit_indexed, %function
korvax_blit_indexed:
    stmfd sp!, {r4-r11, lr}
    mov ip, #0xFF
    mov ip, ip, lsl #1
1:
    .rept 4
    ldmia r1!, {r4, r5}             @ eight indices, the first in the low byte
    and r10, ip, r4, lsl #1
    and r11, ip, r4, lsr #7
    ldrh r10, [r2, r10]
    ldrh r11, [r2, r11]
    and lr, ip, r4, lsr #15
    orr r6, r10, r11, lsl #16
    and r10, ip, r4, lsr #23
    ldrh lr, [r2, lr]
    ldrh r10, [r2, r10]
    and r11, ip, r5, lsl #1
    orr r7, lr, r10, lsl #16
    and lr, ip, r5, lsr #7
    ldrh r11, [r2, r11]
    ldrh lr, [r2, lr]
    and r10, ip, r5, lsr #15
    orr r8, r11, lr, lsl #16
    and r11, ip, r5, lsr #23
    ldrh r10, [r2, r10]
    ldrh r11, [r2, r11]
    orr r9, r10, r11, lsl #16
    stmia r0!, {r6-r9}
    .endr
    subs r3, r3, #32
    bne 1b
    ldmfd sp!, {r4-r11, lr}
    bx lr
    .size korvax_blit_indexed, . - korvax_blit_indexed

@ Palette entries of the four indices in word \w (r4 or r5) as two output
@ words: \a = entries 0, 1 and \b = entries 2, 3 (r6..r9, lr and r11 free).
.macro OR_PAIRS w, a, b
    and \a, ip, \w, lsl #1
    and r11, ip, \w, lsr #7
    ldrh \a, [r2, \a]
    ldrh r11, [r2, r11]
    and \b, ip, \w, lsr #15
    and lr, ip, \w, lsr #23
    ldrh \b, [r2, \b]
    ldrh lr, [r2, lr]
    orr \a, \a, r11, lsl #16
    orr \b, \b, lr, lsl #16
.endm

@ void korvax_blit_indexed_or(uint16_t* out, const uint8_t* image,
@                             const uint16_t* palette, uint32_t pixels)
@ out[i] |= palette[image[i]]; image and out word aligned, pixels a multiple
@ of 4: eight pixels at a time (two index words, four output words read, ored
@ and written with load and store multiples), sixteen a loop turn, then eight
@ and four.
.macro OR_EIGHT
    ldmia r1!, {r4, r5}
    OR_PAIRS r4, r6, r7
    OR_PAIRS r5, r8, r9
    ldmia r0, {r4, r5, r10, r11}
    orr r4, r4, r6
    orr r5, r5, r7
    orr r10, r10, r8
    orr r11, r11, r9
    stmia r0!, {r4, r5, r10, r11}
.endm
    .global korvax_blit_indexed_or
    .type korvax_blit_indexed_or, %function
korvax_blit_indexed_or:
    stmfd sp!, {r4-r11, lr}
    mov ip, #0xFF
    mov ip, ip, lsl #1
    subs r3, r3, #16
    blt 5f
1:  OR_EIGHT
    OR_EIGHT
    subs r3, r3, #16
    bge 1b
5:  tst r3, #8
    beq 2f
    OR_EIGHT
2:  tst r3, #4
    beq 3f
    ldr r4, [r1]
    OR_PAIRS r4, r6, r7
    ldmia r0, {r4, r5}
    orr r4, r4, r6
    orr r5, r5, r7
    stmia r0, {r4, r5}
3:  ldmfd sp!, {r4-r11, lr}
    bx lr
    .size korvax_blit_indexed_or, . - korvax_blit_indexed_or

@ void korvax_blit_indexed_or_odd(uint16_t* out, const uint8_t* image,
@                                 const uint16_t* palette, uint32_t pixels)
@ As korvax_blit_indexed_or for out two bytes past a word boundary (image
@ word aligned, pixels a multiple of 4). The output words then pair the last
@ entry of one index word with the first of the next; the words at either
@ end take a 0 for the pixel outside the span, which leaves that pixel as
@ it is.
.macro ODD_EIGHT
    ldmia r1!, {r4, r5}
    and r6, ip, r4, lsl #1
    and r7, ip, r4, lsr #7
    ldrh r6, [r2, r6]
    ldrh r7, [r2, r7]
    and r11, ip, r4, lsr #15
    and r8, ip, r4, lsr #23
    ldrh r11, [r2, r11]
    ldrh r8, [r2, r8]
    orr r6, r10, r6, lsl #16
    orr r7, r7, r11, lsl #16
    and r9, ip, r5, lsl #1
    and r11, ip, r5, lsr #7
    ldrh r9, [r2, r9]
    ldrh r11, [r2, r11]
    and lr, ip, r5, lsr #15
    and r10, ip, r5, lsr #23
    ldrh lr, [r2, lr]
    ldrh r10, [r2, r10]
    orr r8, r8, r9, lsl #16
    orr r9, r11, lr, lsl #16
    ldmia r0, {r4, r5, r11, lr}
    orr r4, r4, r6
    orr r5, r5, r7
    orr r11, r11, r8
    orr lr, lr, r9
    stmia r0!, {r4, r5, r11, lr}
.endm
    .global korvax_blit_indexed_or_odd
    .type korvax_blit_indexed_or_odd, %function
korvax_blit_indexed_or_odd:
    stmfd sp!, {r4-r11, lr}
    mov ip, #0xFF
    mov ip, ip, lsl #1
    sub r0, r0, #2
    mov r10, #0                     @ the entry carried into the next word
    subs r3, r3, #16
    blt 5f
1:  ODD_EIGHT
    ODD_EIGHT
    subs r3, r3, #16
    bge 1b
5:  tst r3, #8
    beq 2f
    ODD_EIGHT
2:  tst r3, #4
    beq 3f
    ldr r4, [r1]
    and r6, ip, r4, lsl #1
    and r7, ip, r4, lsr #7
    ldrh r6, [r2, r6]
    ldrh r7, [r2, r7]
    and r11, ip, r4, lsr #15
    and lr, ip, r4, lsr #23
    ldrh r11, [r2, r11]
    orr r6, r10, r6, lsl #16
    ldrh r10, [r2, lr]
    orr r7, r7, r11, lsl #16
    ldmia r0, {r4, r5}
    orr r4, r4, r6
    orr r5, r5, r7
    stmia r0!, {r4, r5}
3:  ldr r4, [r0]
    orr r4, r4, r10
    str r4, [r0]
    ldmfd sp!, {r4-r11, lr}
    bx lr
    .size korvax_blit_indexed_or_odd, . - korvax_blit_indexed_or_odd

@ void korvax_stretch_row(uint16_t* out, const uint16_t* entries)
@ Pixels 4 .. 315 of a stretched row (blit_stretched): pixel n shows entry
@ (n + 1) / 4, so each aligned word pair holds entry k twice, then entry k
@ and entry k + 1; entries 1 .. 79 are read, out is the row's pixel 4 and
@ word aligned.
    .global korvax_stretch_row
    .type korvax_stretch_row, %function
korvax_stretch_row:
    stmfd sp!, {r4-r9, lr}
    mov r2, #19                     @ four entries a turn, entries 1 .. 76
    ldrh r3, [r1, #2]!              @ entry k = 1
1:  ldrh ip, [r1, #2]!              @ entries k + 1 .. k + 4
    ldrh lr, [r1, #2]!
    ldrh r8, [r1, #2]!
    ldrh r9, [r1, #2]!
    orr r4, r3, r3, lsl #16
    orr r5, r3, ip, lsl #16
    orr r6, ip, ip, lsl #16
    orr r7, ip, lr, lsl #16
    stmia r0!, {r4-r7}
    orr r4, lr, lr, lsl #16
    orr r5, lr, r8, lsl #16
    orr r6, r8, r8, lsl #16
    orr r7, r8, r9, lsl #16
    stmia r0!, {r4-r7}
    mov r3, r9
    subs r2, r2, #1
    bne 1b
    ldrh ip, [r1, #2]!              @ entries 77 and 78, reading 79
    ldrh lr, [r1, #2]!
    orr r4, r3, r3, lsl #16
    orr r5, r3, ip, lsl #16
    orr r6, ip, ip, lsl #16
    orr r7, ip, lr, lsl #16
    stmia r0!, {r4-r7}
    ldmfd sp!, {r4-r9, lr}
    bx lr
    .size korvax_stretch_row, . - korvax_stretch_row

@ void korvax_downscale_row(uint16_t* out, const uint16_t* src,
@                           uint32_t step_bytes, uint32_t n)
@ out[j] = src[j * step] + 8 (mod 65,536) for j < n, n >= 1 (copy_downscaled
@ for a row whose source and destination do not overlap): the odd pixels
@ one by one, then four a turn with two loads in flight.
    .global korvax_downscale_row
    .type korvax_downscale_row, %function
korvax_downscale_row:
    stmfd sp!, {r4, lr}
    ands lr, r3, #3
    beq 2f
1:  ldrh ip, [r1], r2
    subs lr, lr, #1
    add ip, ip, #8
    strh ip, [r0], #2
    bne 1b
2:  movs r3, r3, lsr #2
    beq 4f
3:  ldrh ip, [r1], r2
    ldrh r4, [r1], r2
    add ip, ip, #8
    add r4, r4, #8
    strh ip, [r0], #2
    strh r4, [r0], #2
    ldrh ip, [r1], r2
    ldrh r4, [r1], r2
    add ip, ip, #8
    add r4, r4, #8
    strh ip, [r0], #2
    strh r4, [r0], #2
    subs r3, r3, #1
    bne 3b
4:  ldmfd sp!, {r4, lr}
    bx lr
    .size korvax_downscale_row, . - korvax_downscale_row

    .section .note.GNU-stack,"",%progbits
