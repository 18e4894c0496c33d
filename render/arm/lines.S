@ The anti-aliased wire frame (draw2d.cpp: draw_mesh_edges and draw_line_aa)
@ for ARM cores, and the halfword fill of the level runs of draw_line_aa.
@
@ struct EdgeWork {                          byte offset
@     const int16_t* edges;  int32_t left;   0, 4    the next pair, pairs left
@     const uint32_t* pairs;                 8       entry k: level k | level 63 - k << 16
@     const Vec3* vertices;                  12      projected_vertices, 12 bytes each
@     uint16_t* frame;                       16
@     const uint8_t* codes;                  20      0, or the outcode of every slot below coded
@     const uint32_t* reciprocal;            24      entry d = floor((2^32 - 1) / d)
@     int32_t coded;                         28
@     const void* resume;                    32      written here: where a drawn line goes on
@ };
@
@ An outcode has 1 for a vertex above row 0, 2 below row 239, 4 left of
@ column 0, 8 right of column 319 (korvax_vertex_codes).
@
@ Used only while the clip rectangle is the whole screen, and with slot
@ offsets that leave 16-bit slot numbers as they are. A line whose ends both
@ lie on the screen is drawn here; a pair wholly beyond one edge of the
@ screen is skipped; any other pair stops the walk and is left to the
@ portable code, which clips it.

    .syntax unified
    .text
    .arm
    .align 2

    .equ ROW_BYTES, 640
    .equ SLOT_LIMIT, 10385              @ MESH_SLOTS
    .equ POSITION_START, 0x800FFFFF     @ 2,048 << 20, low bits all ones

@ The slope of draw_line_aa, 2 x floor(num x 2,048 / den) for num <= den
@ <= 319, without a division: with m = floor((2^32 - 1) / den) the high word
@ of N x m is floor(N / den) or one short for N < 2^23, which the remainder
@ settles. Result as the step of the position word (below): slope << 20, or
@ all ones for the slope 4,096 of a diagonal (a carry every step, and the
@ position's top 12 bits stay for up to 2^20 steps).
@ Uses r3, r5, r6; result in lr.
    .macro SLOPE num, den, steep
    ldr r3, [r0, #24]
    ldr r3, [r3, \den, lsl #2]
    mov r5, \num, lsl #11
    umull r6, lr, r5, r3
    mul r6, lr, \den
    sub r6, r5, r6
    cmp r6, \den
    addhs lr, lr, #1
    .if \steep
    cmp lr, #2048
    mvneq lr, #0
    movne lr, lr, lsl #21
    .else
    mov lr, lr, lsl #21             @ num < den: below 2,048
    .endif
    .endm

@ One step of a line. The position word r12 holds the line's place across
@ the pair (h of the portable code, 12 bits) in its top bits, so adding the
@ step lr carries out exactly when h reaches 4,096 and leaves h & 4,095; its
@ top six bits, eor r5, pick the entry of the pair table r6, whose halves go
@ to the pixel at the new p (r4) and to its partner.
@ Shallow: p moves a pixel right, and a row (r11) on a carry.
    .macro SHALLOW_STEP
    adds r12, r12, lr
    addcs r4, r4, r11
    eor r3, r5, r12, lsr #26
    ldr r3, [r6, r3, lsl #2]
    strh r3, [r4, #2]!
    mov r3, r3, lsr #16
    strh r3, [r4, r10]
    .endm
@ Steep: p moves a row (r11), and a pixel right on a carry.
    .macro STEEP_STEP
    adds r12, r12, lr
    addcs r4, r4, #2
    eor r3, r5, r12, lsr #26
    ldr r3, [r6, r3, lsl #2]
    strh r3, [r4, r11]!
    mov r3, r3, lsr #16
    strh r3, [r4, #2]
    .endm

@ The edge loops' start: r7 = the frame's row 239 (frame at [r0, #16]), the
@ position word started, and the start pair drawn with its partner (at r10
@ past it) only while p lies above row 239.
    .macro FIRST_PAIR_ABOVE_239
    ldr r7, [r0, #16]
    add r7, r7, #0x25000            @ 239 x 640 = 0x25580
    add r7, r7, #0x580
    ldr r12, =POSITION_START
    add r3, r12, lr
    mov r3, r3, lsr #26
    ldr r3, [r6, r3, lsl #2]
    strh r3, [r4]
    cmp r4, r7
    movlo r3, r3, lsr #16
    strhlo r3, [r4, r10]
    .endm

@ int32_t korvax_mesh_edges(EdgeWork* w): 0 when every pair is done, else 1
@ with edges and left naming the pair this code leaves.
    .global korvax_mesh_edges
    .type korvax_mesh_edges, %function
korvax_mesh_edges:
    stmfd sp!, {r4-r11, lr}
    ldmia r0, {r1, r2}              @ edges, left
    ldr r3, [r0, #20]
    cmp r3, #0
    adreq r3, .Lresume
    adrne r3, .Lresume_coded
    str r3, [r0, #32]               @ where a drawn line goes on
    mov pc, r3
.Lresume_coded:
    ldr r9, [r0, #12]               @ vertices
    ldr r11, [r0, #20]              @ outcodes
    ldr r10, [r0, #28]              @ slots with one
    b .Lnext_coded
.Lresume:
    ldr r9, [r0, #12]
    ldr r10, =SLOT_LIMIT
.Lnext:
    subs r2, r2, #1
    bmi .Ldone
    ldrsh r3, [r1], #2
    ldrsh r4, [r1], #2
    cmp r3, r10                     @ unsigned: a negative slot is past the store too
    cmplo r4, r10
    bhs .Lnext                      @ a slot past the store: no line
    add r3, r3, r3, lsl #1
    add r4, r4, r4, lsl #1
    add r3, r9, r3, lsl #2          @ &vertices[slot]
    add r4, r9, r4, lsl #2
    ldmia r3, {r5, r6}              @ x0, y0
    ldmia r4, {r7, r8}              @ x1, y1
    cmp r5, #320                    @ both ends on the screen
    cmplo r7, #320
    cmplo r6, #240
    cmplo r8, #240
    bhs .Loff

@ The line from (r5, r6) to (r7, r8), both on the screen; r9 .. r12 and lr
@ are free, and it goes on at the resume address.
.Ldraw:
    cmp r7, r5                      @ the left end first
    movlt r3, r5
    movlt r5, r7
    movlt r7, r3
    movlt r3, r6
    movlt r6, r8
    movlt r8, r3
    ldr r4, [r0, #16]
    add r3, r6, r6, lsl #2
    add r3, r5, r3, lsl #6          @ 320 y0 + x0
    add r4, r4, r3, lsl #1          @ p: the start pixel
    sub r9, r7, r5                  @ dx >= 0
    mov r11, #ROW_BYTES             @ sy, the row step towards the end
    subs r10, r8, r6                @ dy
    rsbmi r11, r11, #0
    rsbmi r10, r10, #0              @ ady
    cmp r9, #0
    beq .Lvertical
    cmp r9, r10
    ble .Lsteep

    @ Shallow, one column a step: the pair stacked vertically. A line
    @ reaching row 239 takes the loop that drops the lower pixel there.
    cmp r6, #239
    cmpne r8, #239
    beq .Lshallow_bottom
    SLOPE r10, r9, 0
    ldr r6, [r0, #8]
    cmp r11, #0                     @ the upper pixel's level flipped going down
    movgt r5, #63
    movlt r5, #0
    mov r10, #ROW_BYTES
    ldr r12, =POSITION_START
    add r3, r12, lr                 @ the start pair: level i above 63 - i
    mov r3, r3, lsr #26
    ldr r3, [r6, r3, lsl #2]
    strh r3, [r4]
    mov r3, r3, lsr #16
    strh r3, [r4, r10]
    tst r9, #1                      @ an odd step first, then two a turn
    beq 1f
    SHALLOW_STEP
    subs r9, r9, #1
    ldreq pc, [r0, #32]
1:  SHALLOW_STEP
    SHALLOW_STEP
    subs r9, r9, #2
    bne 1b
    ldr pc, [r0, #32]

    @ Steep, one row a step: the pair side by side. The right pixel is kept
    @ while the column is left of 319: a line ending in column 319, or
    @ starting on row 239 (the start pair's lower pixel), takes the loop
    @ that drops them.
.Lsteep:
    cmp r6, #239
    subne r3, r7, #256
    cmpne r3, #63
    beq .Lsteep_edge
    SLOPE r9, r10, 1
    ldr r6, [r0, #8]
    mov r9, r10                     @ ady rows
    mov r10, #ROW_BYTES
    mov r5, #63                     @ entry 63 - i: level 63 - i left, i right
    ldr r12, =POSITION_START
    add r3, r12, lr                 @ the start pair, stacked as in the shallow case
    mov r3, r3, lsr #26
    ldr r3, [r6, r3, lsl #2]
    strh r3, [r4]
    mov r3, r3, lsr #16
    strh r3, [r4, r10]
    tst r9, #1
    beq 2f
    STEEP_STEP
    subs r9, r9, #1
    ldreq pc, [r0, #32]
2:  STEEP_STEP
    STEEP_STEP
    subs r9, r9, #2
    bne 2b
    ldr pc, [r0, #32]

    @ The shallow loop with the lower pixel dropped on row 239 (from
    @ r7 = the frame's row 239 on), one column a turn.
.Lshallow_bottom:
    SLOPE r10, r9, 0
    ldr r6, [r0, #8]
    cmp r11, #0
    movgt r5, #63
    movlt r5, #0
    mov r10, #ROW_BYTES
    FIRST_PAIR_ABOVE_239
4:  adds r12, r12, lr
    addcs r4, r4, r11
    eor r3, r5, r12, lsr #26
    ldr r3, [r6, r3, lsl #2]
    strh r3, [r4, #2]!
    cmp r4, r7
    movlo r3, r3, lsr #16
    strhlo r3, [r4, r10]
    subs r9, r9, #1
    bne 4b
    ldr pc, [r0, #32]

    @ The steep loop with the start pair's lower pixel dropped on row 239,
    @ and the right pixel dropped once the column reaches 319: r8 counts the
    @ carries left before it does (dx when the line ends in column 319, else
    @ more than the line has).
.Lsteep_edge:
    sub r3, r7, #256
    cmp r3, #63
    moveq r8, r9
    mvnne r8, #0x80000000
    SLOPE r9, r10, 1
    ldr r6, [r0, #8]
    mov r9, r10
    mov r10, #ROW_BYTES
    mov r5, #63
    FIRST_PAIR_ABOVE_239
5:  adds r12, r12, lr
    addcs r4, r4, #2
    subcs r8, r8, #1
    eor r3, r5, r12, lsr #26
    ldr r3, [r6, r3, lsl #2]
    strh r3, [r4, r11]!
    cmp r8, #0
    movne r3, r3, lsr #16
    strhne r3, [r4, #2]
    subs r9, r9, #1
    bne 5b
    ldr pc, [r0, #32]

    @ One column: level 63 on the rows after the start, or the single pixel.
    @ The rows past whole fours first (bits 0 and 1 of the count shifted
    @ into the carry), then four a turn.
.Lvertical:
    ldr r3, [r0, #8]
    ldr r3, [r3, #63 * 4]
    cmp r10, #0
    strheq r3, [r4]
    ldreq pc, [r0, #32]
    movs r10, r10, lsr #1
    strhcs r3, [r4, r11]!
    movs r10, r10, lsr #1
    strhcs r3, [r4, r11]!
    strhcs r3, [r4, r11]!
    ldreq pc, [r0, #32]
3:  strh r3, [r4, r11]!
    strh r3, [r4, r11]!
    strh r3, [r4, r11]!
    strh r3, [r4, r11]!
    subs r10, r10, #1
    bne 3b
    ldr pc, [r0, #32]

@ The same walk with the outcodes of the vertices (r11) below slot r10
@ worked out once per vertex: a pair wholly beyond one edge of the screen
@ costs two loads and a test. A pair naming a slot without an outcode is
@ left to the portable code.
.Lnext_coded:
    subs r2, r2, #1
    bmi .Ldone
    ldrsh r3, [r1], #2
    ldrsh r4, [r1], #2
    cmp r3, r10
    cmplo r4, r10
    bhs .Lleave
    ldrb r5, [r11, r3]
    ldrb r6, [r11, r4]
    tst r5, r6
    bne .Lnext_coded                @ both beyond one edge: no pixel
    orrs r5, r5, r6
    bne .Lleave                     @ an end off the screen: clipped by the portable code
    add r3, r3, r3, lsl #1
    add r4, r4, r4, lsl #1
    add r3, r9, r3, lsl #2
    add r4, r9, r4, lsl #2
    ldmia r3, {r5, r6}
    ldmia r4, {r7, r8}
    b .Ldraw

    @ An end off the screen: a pair wholly beyond one edge of it has no
    @ pixel (the outcodes share a bit); any other is clipped by the
    @ portable code.
.Loff:
    ands r3, r5, r7                 @ both left of column 0
    bmi .Lnext
    ands r3, r6, r8                 @ both above row 0
    bmi .Lnext
    cmp r5, #320                    @ both right of column 319
    cmpge r7, #320
    bge .Lnext
    cmp r6, #240                    @ both below row 239
    cmpge r8, #240
    bge .Lnext
.Lleave:
    sub r1, r1, #4
    add r2, r2, #1
    stmia r0, {r1, r2}
    mov r0, #1
    ldmfd sp!, {r4-r11, lr}
    bx lr
.Ldone:
    mov r2, #0
    stmia r0, {r1, r2}
    mov r0, #0
    ldmfd sp!, {r4-r11, lr}
    bx lr
    .ltorg
    .size korvax_mesh_edges, . - korvax_mesh_edges

@ int32_t korvax_line_aa(EdgeWork* w, int32_t x0, int32_t y0, int32_t x1,
@ int32_t y1): the line of draw_line_aa by the code above, with no pairs
@ left after it: 0 when drawn, 1 for an end off the screen, left to the
@ portable code (edges and left of w are written and mean nothing).
    .global korvax_line_aa
    .type korvax_line_aa, %function
korvax_line_aa:
    ldr r12, [sp]                   @ y1
    stmfd sp!, {r4-r11, lr}
    mov r5, r1
    mov r6, r2
    mov r7, r3
    mov r8, r12
    mov r2, #0
    ldr r3, =.Lresume
    str r3, [r0, #32]
    cmp r5, #320
    cmplo r7, #320
    cmplo r6, #240
    cmplo r8, #240
    blo .Ldraw
    b .Lleave
    .ltorg
    .size korvax_line_aa, . - korvax_line_aa

@ void korvax_vertex_codes(uint8_t* codes, const Vec3* vertices, int32_t n):
@ the outcodes of n >= 1 vertices against the screen.
    .global korvax_vertex_codes
    .type korvax_vertex_codes, %function
korvax_vertex_codes:
    stmfd sp!, {r4, lr}
1:  ldmia r1!, {r3, r4, r12}        @ x, y, z
    mov lr, r4, lsr #31             @ 1: above, the sign of y
    cmp r4, #240
    orrge lr, lr, #2
    cmp r3, #0
    orrlt lr, lr, #4
    cmp r3, #320
    orrge lr, lr, #8
    strb lr, [r0], #1
    subs r2, r2, #1
    bne 1b
    ldmfd sp!, {r4, lr}
    bx lr
    .size korvax_vertex_codes, . - korvax_vertex_codes

@ void korvax_fill_halfwords(uint16_t* p, int32_t n, uint32_t colour):
@ n >= 0 pixels of the colour's low half. A halfword to reach a word
@ boundary, then 32 pixels a turn by two stores of eight registers, then
@ what is left by the bits of the count.
    .global korvax_fill_halfwords
    .type korvax_fill_halfwords, %function
korvax_fill_halfwords:
    cmp r1, #0
    bxle lr
    mov r2, r2, lsl #16
    orr r2, r2, r2, lsr #16         @ the colour in both halves
    tst r0, #2
    strhne r2, [r0], #2
    subne r1, r1, #1
    stmfd sp!, {r4-r8}
    mov r3, r2
    mov r4, r2
    mov r5, r2
    mov r6, r2
    mov r7, r2
    mov r8, r2
    mov r12, r2
    subs r1, r1, #32
    blt 2f
1:  stmia r0!, {r2-r8, r12}
    stmia r0!, {r2-r8, r12}
    subs r1, r1, #32
    bge 1b
2:  tst r1, #16
    stmiane r0!, {r2-r8, r12}
    tst r1, #8
    stmiane r0!, {r2-r5}
    tst r1, #4
    stmiane r0!, {r2, r3}
    tst r1, #2
    strne r2, [r0], #4
    tst r1, #1
    strhne r2, [r0]
    ldmfd sp!, {r4-r8}
    bx lr
    .size korvax_fill_halfwords, . - korvax_fill_halfwords

    .section .note.GNU-stack,"",%progbits
