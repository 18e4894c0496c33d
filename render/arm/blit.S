@ The palette blits of draw2d.cpp for ARM cores. Each index is turned into
@ the byte offset of its palette entry with one AND of the shifted index word
@ (mask 0x1FE), two pixels are joined into one word and stored together.

    .text
    .arm
    .align 2

@ void korvax_blit_indexed(uint16_t* out, const uint8_t* image,
@                          const uint16_t* palette, uint32_t pixels)
@ out[i] = palette[image[i]]; image and out word aligned, pixels a multiple
@ of 8: eight indices a load multiple, eight pixels a store multiple.
    .global korvax_blit_indexed
    .type korvax_blit_indexed, %function
korvax_blit_indexed:
    stmfd sp!, {r4-r11, lr}
    mov ip, #0xFF
    mov ip, ip, lsl #1
1:  ldmia r1!, {r4, r5}             @ eight indices, the first in the low byte
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
    subs r3, r3, #8
    bne 1b
    ldmfd sp!, {r4-r11, lr}
    bx lr
    .size korvax_blit_indexed, . - korvax_blit_indexed

@ void korvax_blit_indexed_or(uint16_t* out, const uint8_t* image,
@                             const uint16_t* palette, uint32_t pixels)
@ out[i] |= palette[image[i]]; image and out word aligned, pixels a multiple of 4.
    .global korvax_blit_indexed_or
    .type korvax_blit_indexed_or, %function
korvax_blit_indexed_or:
    stmfd sp!, {r4-r10}
    mov ip, #0xFF
    mov ip, ip, lsl #1
1:  ldr r4, [r1], #4
    and r5, ip, r4, lsl #1
    and r6, ip, r4, lsr #7
    ldrh r5, [r2, r5]
    ldrh r6, [r2, r6]
    and r7, ip, r4, lsr #15
    and r8, ip, r4, lsr #23
    ldrh r7, [r2, r7]
    ldrh r8, [r2, r8]
    ldmia r0, {r9, r10}
    orr r5, r5, r6, lsl #16
    orr r7, r7, r8, lsl #16
    orr r9, r9, r5
    orr r10, r10, r7
    stmia r0!, {r9, r10}
    subs r3, r3, #4
    bne 1b
    ldmfd sp!, {r4-r10}
    bx lr
    .size korvax_blit_indexed_or, . - korvax_blit_indexed_or

@ void korvax_blit_indexed_or_bytes(uint16_t* out, const uint8_t* image,
@                                   const uint16_t* palette, uint32_t pixels)
@ As korvax_blit_indexed_or for an image at any address; out word aligned,
@ pixels a multiple of 2.
    .global korvax_blit_indexed_or_bytes
    .type korvax_blit_indexed_or_bytes, %function
korvax_blit_indexed_or_bytes:
    stmfd sp!, {r4-r6}
1:  ldrb r4, [r1], #1
    ldrb r5, [r1], #1
    add r4, r2, r4, lsl #1
    add r5, r2, r5, lsl #1
    ldrh r4, [r4]
    ldrh r5, [r5]
    ldr r6, [r0]
    orr r4, r4, r5, lsl #16
    orr r6, r6, r4
    str r6, [r0], #4
    subs r3, r3, #2
    bne 1b
    ldmfd sp!, {r4-r6}
    bx lr
    .size korvax_blit_indexed_or_bytes, . - korvax_blit_indexed_or_bytes

@ void korvax_stretch_row(uint16_t* out, const uint16_t* entries)
@ Pixels 4 .. 315 of a stretched row (blit_stretched): pixel n shows entry
@ (n + 1) / 4, so each aligned word pair holds entry k twice, then entry k
@ and entry k + 1; entries 1 .. 79 are read, out is the row's pixel 4 and
@ word aligned.
    .global korvax_stretch_row
    .type korvax_stretch_row, %function
korvax_stretch_row:
    stmfd sp!, {r4-r7, lr}
    mov r2, #39                     @ two entries a turn, entries 1 .. 78
    ldrh r3, [r1, #2]!              @ entry k = 1
1:  ldrh ip, [r1, #2]!              @ entry k + 1
    ldrh lr, [r1, #2]!              @ entry k + 2
    orr r4, r3, r3, lsl #16
    orr r5, r3, ip, lsl #16
    orr r6, ip, ip, lsl #16
    orr r7, ip, lr, lsl #16
    stmia r0!, {r4-r7}
    mov r3, lr
    subs r2, r2, #1
    bne 1b
    ldmfd sp!, {r4-r7, lr}
    bx lr
    .size korvax_stretch_row, . - korvax_stretch_row

    .section .note.GNU-stack,"",%progbits
