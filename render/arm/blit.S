@ The palette blits of draw2d.cpp for ARM cores. Each index is turned into
@ the byte offset of its palette entry with one AND of the shifted index word
@ (mask 0x1FE), two pixels are joined into one word and stored together.

    .text
    .arm
    .align 2

@ void korvax_blit_indexed(uint16_t* out, const uint8_t* image,
@                          const uint16_t* palette, uint32_t pixels)
@ out[i] = palette[image[i]]; image and out word aligned, pixels a multiple of 4.
    .global korvax_blit_indexed
    .type korvax_blit_indexed, %function
korvax_blit_indexed:
    stmfd sp!, {r4-r8}
    mov ip, #0xFF
    mov ip, ip, lsl #1
1:  ldr r4, [r1], #4            @ four indices, the first in the low byte
    and r5, ip, r4, lsl #1
    and r6, ip, r4, lsr #7
    ldrh r5, [r2, r5]
    ldrh r6, [r2, r6]
    and r7, ip, r4, lsr #15
    and r8, ip, r4, lsr #23
    ldrh r7, [r2, r7]
    ldrh r8, [r2, r8]
    orr r5, r5, r6, lsl #16
    orr r7, r7, r8, lsl #16
    stmia r0!, {r5, r7}
    subs r3, r3, #4
    bne 1b
    ldmfd sp!, {r4-r8}
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

    .section .note.GNU-stack,"",%progbits
