@ One row of 8 x 8 blocks of the tunnel (draw2d.cpp, tunnel_fill_row) for
@ ARM cores, block by block and column by column.
@
@ The grid's u and v are multiples of 256 (8.8 values with a whole part
@ only), so every u the blocks reach is a multiple of 4 and every v a
@ multiple of 32, and only bits 15..8 of each pick the texel. u and v then
@ fit one register and step with one add:
@   bits 31..18  u bits 15..2
@   bits 17..15  zero at the top of a column; v's carries out of bit 15 land
@                here (at most seven a column) and never reach u
@   bits 14..0   v bits 15..1
@ The texel is ((reg >> 7 & 0xFF) << 8) | reg >> 24. Down a column the step
@ is (du << 16) | (dv_left >> 1 & 0x7FFF); the columns' tops and steps follow
@ from the first column's by constant steps, the guard bits cleared at the
@ top of each column. Six instructions a pixel.
@
@ void korvax_tunnel_row(uint16_t* out, const uint16_t* texture,
@                        const TunnelPoint* top)
@ top: point[row][0] of the grid (41 points a row, 8 bytes each); out: the
@ block row's top-left pixel.

    .syntax unified
    .text
    .arm
    .align 2

@ One pixel down the column: texel of r4 stored, r4 stepped by r5.
.macro TUNNEL_PIXEL
    and r10, r3, r4, lsl #1
    orr r10, r10, r4, lsr #24
    add r10, r1, r10, lsl #1
    ldrh r10, [r10]
    add r4, r4, r5
    strh r10, [r0], r9
.endm

@ One column: seven pixels stepping down, the eighth, then the next column's
@ start (r4 from the top r6, r6 and the step r5 stepped) and back to the top.
.macro TUNNEL_COLUMN
    .rept 7
    TUNNEL_PIXEL
    .endr
    and r10, r3, r4, lsl #1
    orr r10, r10, r4, lsr #24
    add r10, r1, r10, lsl #1
    ldrh r10, [r10]
    add r5, r5, r8
    bic r4, r6, #0x38000
    strh r10, [r0], -lr             @ back up seven rows, one column right
    add r6, r6, r7
.endm

    .global korvax_tunnel_row
    .type korvax_tunnel_row, %function
korvax_tunnel_row:
    stmfd sp!, {r4-r11, lr}
    mov r3, #0xFF00
    mov r9, #640
    mov lr, #4480
    sub lr, lr, #2                  @ 7 rows less 1 pixel
    mov r11, #40                    @ blocks
1:  ldmia r2, {r4, r5, r6, r7}      @ u00 v00 u01 v01
    add r12, r2, #328
    ldmia r12, {r8, r10, r12}       @ u10 v10 u11
    sub r12, r12, r8                @ u11 - u10
    sub r8, r8, r4                  @ u10 - u00
    sub r6, r6, r4                  @ u01 - u00
    sub r12, r12, r6                @ 64 x the change of du from column to column
    sub r7, r7, r5                  @ v01 - v00
    sub r10, r10, r5                @ v10 - v00
    mov r6, r6, lsl #13
    mov r7, r7, lsl #13
    orr r7, r6, r7, lsr #17         @ from column to column along the top
    mov r6, r4, lsl #16
    mov r5, r5, lsl #16
    orr r6, r6, r5, lsr #17         @ top of the first column
    mov r8, r8, lsl #13
    mov r10, r10, lsl #13
    orr r5, r8, r10, lsr #17        @ down the first column
    mov r8, r12, lsl #10            @ change of the step down a column
    mov r4, r6
    add r6, r6, r7
    .rept 8
    TUNNEL_COLUMN
    .endr
    add r2, r2, #8
    subs r11, r11, #1
    bne 1b
    ldmfd sp!, {r4-r11, lr}
    bx lr
    .size korvax_tunnel_row, . - korvax_tunnel_row

@ uint32_t korvax_sqrt(uint32_t x): floor(sqrt(x)), for the tunnel grid's
@ distances from the axis. One root bit a step in three instructions: r2
@ holds the root found so far next to the trial bit, rotated so that the
@ compare and subtract line it up with the remainder, and the carry of the
@ compare shifts the new bit in. A step that finds a 0 while the root is
@ still 0 leaves r2 as it was, so a small x starts further down.
.macro ROOT_STEP n
    cmp r0, r2, ror #(2 * \n)
    subhs r0, r0, r2, ror #(2 * \n)
    adc r2, r1, r2, lsl #1
.endm
    .global korvax_sqrt
    .type korvax_sqrt, %function
korvax_sqrt:
    mov r1, #3 << 30
    mov r2, #1 << 30
    cmp r0, #1 << 24
    blo 4f                          @ root below 2^12
    cmp r0, #1 << 28
    blo 2f                          @ root below 2^14
    ROOT_STEP 0
    ROOT_STEP 1
2:  ROOT_STEP 2
    ROOT_STEP 3
4:  .irp n, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15
    ROOT_STEP \n
    .endr
    bic r0, r2, #3 << 30
    bx lr
    .size korvax_sqrt, . - korvax_sqrt

    .section .note.GNU-stack,"",%progbits
