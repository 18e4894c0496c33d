@ One 8 x 8 block of the tunnel (draw2d.cpp, draw_tunnel) for ARM cores,
@ column by column: u starts on the top edge and steps by an eighth of the
@ column's height in u, v steps down by the left edge's step. u is held 16
@ bits higher, so the texel's column is its top byte; a column is eight
@ unrolled pixels stored a row apart.
@
@ void korvax_tunnel_block(uint16_t* block, const uint16_t* texture,
@                          const uint32_t* edges)
@ edges: u_top, v_top, u_bottom, du_top, dv_top, du_bottom, dv_left
@ (8.8 texture coordinates at the block's top-left and bottom-left corners,
@ per-column steps along the top and bottom edges, per-row step of v).

    .syntax unified
    .text
    .arm
    .align 2

    .global korvax_tunnel_block
    .type korvax_tunnel_block, %function
korvax_tunnel_block:
    stmfd sp!, {r4-r11, lr}
    ldmia r2, {r9, r10, r11}        @ u_top, v_top, u_bottom
    ldr r6, [r2, #24]               @ dv_left
    mov r12, #8
    mov r8, #640
1:  mov r3, r9, lsl #16             @ u, shifted
    mov r4, r10                     @ v
    sub r5, r11, r9
    mov r5, r5, asr #3
    mov r5, r5, lsl #16             @ du down the column, shifted
    .rept 8
    and r7, r4, #0xFF00
    orr r7, r7, r3, lsr #24
    add r7, r1, r7, lsl #1
    ldrh r7, [r7]
    add r3, r3, r5
    add r4, r4, r6
    strh r7, [r0], r8
    .endr
    sub r0, r0, #5120               @ back to the top, one column right
    add r0, r0, #2
    add lr, r2, #12
    ldmia lr, {r3, r4, r5}          @ du_top, dv_top, du_bottom
    add r9, r9, r3
    add r10, r10, r4
    add r11, r11, r5
    subs r12, r12, #1
    bne 1b
    ldmfd sp!, {r4-r11, lr}
    bx lr
    .size korvax_tunnel_block, . - korvax_tunnel_block

    .section .note.GNU-stack,"",%progbits
