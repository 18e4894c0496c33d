@ The vertex pass of the mesh pipeline (mesh_pipeline.cpp, project_vertex)
@ for ARM cores, over a run of vertices: each one transformed by its group's
@ matrix, projected by l = 2 (2,200,000 / d) + 1 with d = p.z + 670,000, its
@ outcode written when the run has an outcode pointer, and the environment
@ coordinates formed from the x and y rows of its transformed normal.
@ A vertex with d <= 440,000 (a quotient of 5 or more, or d < 1) needs a
@ division: the routine stops in front of it and the portable code takes it.
@
@ The divisors l = 3, 5, 7, 9 come with m = ceil(2^32 / l) = (2^32 + e) / l,
@ 0 < e <= 5: the high word of |a| * m is |a| / l exactly while |a| e < 2^32,
@ and every |a| here is below 2^23 + 1 (a transformed row is a 32-bit sum
@ shifted down by 8), so no remainder is checked. l = 1 divides nothing.
@
@ struct VertexRun {                                byte offset
@     int32_t x_min, y_min, x_max, y_max;           0     clip rectangle
@     int32_t low, high;                            16    depth range
@     int32_t centre_x, centre_y;                   24
@     const MeshVertex* vertex; const MeshVertex* end;  32, 36 (16 bytes each)
@     const Vec3* normal;                           40
@     Vec3* projected;                              44
@     int32_t* code;                                48    null: no outcodes
@     uint16_t* environment;                        52
@     const Matrix4* matrices;                      56
@ };   vertex, normal, projected, code and environment are left at the first
@      vertex not done (end when every one was).

    .syntax unified
    .text
    .arm
    .align 2

@ out = -(w >> 8) / l truncated toward zero, w being 256 times the value and
@ the bits shifted out; m in r1; r2, r3, lr scratch. The sign s of w is
@ that of the value: |value| = (value ^ s) - s, and s - (q ^ s) is -q for
@ s = 0, q for s = -1.
    .macro DIVIDE_NEGATED w, out
    mov   r2, \w, asr #8
    eor   r2, r2, \w, asr #31
    sub   r2, r2, \w, asr #31       @ |value|
    umull r3, lr, r2, r1            @ lr: |value| / l
    eor   lr, lr, \w, asr #31
    rsb   \out, lr, \w, asr #31
    .endm

@ out = a / l truncated toward zero; m in r1; r2, r3, lr scratch.
    .macro DIVIDE a, out
    eor   r2, \a, \a, asr #31
    sub   r2, r2, \a, asr #31       @ |a|
    umull r3, lr, r2, r1            @ lr: |a| / l
    eor   lr, lr, \a, asr #31
    sub   \out, lr, \a, asr #31     @ the sign of a
    .endm

@ void korvax_vertex_run(VertexRun* run)
    .global korvax_vertex_run
    .type korvax_vertex_run, %function
korvax_vertex_run:
    stmfd sp!, {r4-r11, lr}
    mov   r11, r0
    ldr   r10, [r11, #32]           @ vertex
    ldr   r9, [r11, #40]            @ normal
    ldr   r8, [r11, #44]            @ projected
    ldr   r0, [r11, #36]
    cmp   r10, r0
    beq   9f
1:  ldmia r10!, {r0-r3}             @ x, y, z; the group in the low half
    ldr   r12, [r11, #56]
    and   r3, r3, #15
    add   r12, r12, r3, lsl #6      @ the group's matrix
    @ The rows are loaded whole (the fourth word into the register the row's
    @ product replaces), so r12 steps from row to row and ends at row 2.
    ldmia r12!, {r3-r6}
    mul   r6, r3, r0
    mla   r6, r4, r1, r6
    mla   r6, r5, r2, r6            @ 256 p.x and the bits shifted out
    ldmia r12!, {r3-r5, r7}
    mul   r7, r3, r0
    mla   r7, r4, r1, r7
    mla   r7, r5, r2, r7            @ 256 p.y
    ldmia r12, {r3-r5}
    mul   lr, r3, r0
    mla   lr, r4, r1, lr
    mla   lr, r5, r2, lr            @ 256 p.z
    mov   r5, lr, asr #8            @ p.z

    @ m from d: 2,200,000 / d is at least k where d <= 2,200,000 / k.
    ldr   r0, =670000
    add   r0, r5, r0                @ d
    ldr   r1, =550000
    cmp   r0, r1
    ble   3f
    ldr   r1, =733333
    cmp   r0, r1
    ldrle r1, =0x24924925           @ l = 7
    ble   4f
    ldr   r1, =1100000
    cmp   r0, r1
    ldrle r1, =0x33333334           @ l = 5
    ble   4f
    ldr   r1, =2200000
    cmp   r0, r1
    ldrle r1, =0x55555556           @ l = 3
    ble   4f
    mov   r6, r6, asr #8            @ l = 1: -p.x, -p.y, p.z
    rsb   r4, r6, #0
    mov   r7, r7, asr #8
    rsb   r6, r7, #0
    mov   r7, r5
    b     6f
3:  ldr   r1, =440000
    cmp   r0, r1
    ble   8f                        @ nearer: left to the portable code
    ldr   r1, =0x1C71C71D           @ l = 9

4:  DIVIDE_NEGATED r6, r4           @ -p.x / l
    DIVIDE_NEGATED r7, r6           @ -p.y / l
    DIVIDE r5, r7                   @ p.z / l
6:
    add   r0, r11, #24
    ldmia r0, {r0, r1}              @ centre
    add   r4, r4, r0
    add   r6, r6, r1
    stmia r8!, {r4, r6, r7}         @ the projected vertex

    ldr   lr, [r11, #48]
    cmp   lr, #0
    beq   5f
    ldmia r11, {r0-r3}              @ x_min, y_min, x_max, y_max
    mov   r5, #0
    cmp   r4, r0
    movlt r5, #4
    cmpge r4, r2
    movgt r5, #8
    cmp   r6, r1
    orrlt r5, r5, #1
    cmpge r6, r3
    orrgt r5, r5, #2
    ldr   r0, [r11, #16]
    ldr   r1, [r11, #20]
    cmp   r7, r0
    orrlt r5, r5, #16
    cmpge r7, r1
    orrgt r5, r5, #32
    str   r5, [lr], #4
    str   lr, [r11, #48]

5:  ldmia r9!, {r0-r2}              @ the vertex normal
    ldmdb r12!, {r3-r5, r7}         @ row 1
    mul   r7, r3, r0
    mla   r7, r4, r1, r7
    mla   r7, r5, r2, r7            @ 256 e.y
    ldmdb r12, {r3-r6}              @ row 0
    mul   r6, r3, r0
    mla   r6, r4, r1, r6
    mla   r6, r5, r2, r6            @ 256 e.x
    @ ((e >> 1) - 128) & 255 is bits 9..16 of 256 e - 2^16.
    sub   r6, r6, #0x10000
    mov   r6, r6, lsl #15
    mov   r6, r6, lsr #24
    sub   r7, r7, #0x10000
    mov   r7, r7, lsl #15
    mov   r7, r7, lsr #24
    orr   r6, r6, r7, lsl #8
    ldr   r0, [r11, #52]
    strh  r6, [r0], #2
    str   r0, [r11, #52]

    ldr   r0, [r11, #36]
    cmp   r10, r0
    bne   1b
    b     9f
8:  sub   r10, r10, #16             @ back to the vertex left undone
9:  str   r10, [r11, #32]
    str   r9, [r11, #40]
    str   r8, [r11, #44]
    ldmfd sp!, {r4-r11, lr}
    bx    lr
    .ltorg
    .size korvax_vertex_run, . - korvax_vertex_run
