@ The back-face test of the mesh pipeline (mesh_pipeline.cpp, front_faces)
@ for ARM cores: the number of every face whose corners, projected, wind the
@ way that faces the viewer, (c.y - a.y)(a.x - b.x) - (a.x - c.x)(b.y - a.y)
@ negative in 32-bit arithmetic, in face order.
@
@ struct MeshFace { int32_t vertex_a, vertex_b, vertex_c; ... };   52 bytes
@ struct Vec3 { int32_t x, y, z; };                                  12 bytes

    .syntax unified
    .text
    .arm
    .align 2

@ int32_t korvax_front_faces(uint16_t* numbers, const MeshFace* faces,
@                            int32_t count, const Vec3* projected)
@ faces[1..count] are tested (slot 0 holds no face); returns how many
@ numbers were written.
    .global korvax_front_faces
    .type korvax_front_faces, %function
korvax_front_faces:
    stmfd sp!, {r4-r10, lr}
    mov   r12, r0
    mov   lr, #1                    @ the face number
    add   r1, r1, #52
    cmp   r2, #0
    ble   9f
1:  ldmia r1, {r4-r6}               @ the corners' vertex slots
    add   r4, r4, r4, lsl #1
    add   r4, r3, r4, lsl #2
    ldmia r4, {r7, r8}              @ a.x, a.y
    add   r5, r5, r5, lsl #1
    add   r5, r3, r5, lsl #2
    ldmia r5, {r9, r10}             @ b.x, b.y
    add   r6, r6, r6, lsl #1
    add   r6, r3, r6, lsl #2
    ldmia r6, {r4, r5}              @ c.x, c.y
    sub   r5, r5, r8                @ c.y - a.y
    sub   r9, r7, r9                @ a.x - b.x
    mul   r6, r5, r9
    sub   r4, r7, r4                @ a.x - c.x
    sub   r10, r10, r8              @ b.y - a.y
    mul   r5, r4, r10
    cmp   r6, r5                    @ N: the difference is negative
    strhmi lr, [r0], #2
    add   lr, lr, #1
    add   r1, r1, #52
    subs  r2, r2, #1
    bne   1b
9:  sub   r0, r0, r12
    mov   r0, r0, asr #1
    ldmfd sp!, {r4-r10, lr}
    bx    lr
    .size korvax_front_faces, . - korvax_front_faces
