@ The corners of a face's triangle record (mesh_pipeline.cpp, draw_pass):
@ corner k is the projected vertex of face slot k followed by its texture
@ coordinates, from the face or, for the environment-mapped faces, from
@ environment_coords (low byte u, high byte v).
@
@ struct MeshFace { int32_t vertex_a, vertex_b, vertex_c, material;
@                   int32_t uv[6]; ... };     uv from byte 16
@ struct TriangleVertex { int32_t x, y, z, u, v; };   20 bytes

    .syntax unified
    .text
    .arm
    .align 2

@ void korvax_face_corners(TriangleVertex* corners, const MeshFace* face,
@                          const Vec3* projected)
    .global korvax_face_corners
    .type korvax_face_corners, %function
korvax_face_corners:
    stmfd sp!, {r4-r7, lr}
    add   lr, r1, #16               @ the texture coordinates
    .rept 3
    ldr   ip, [r1], #4              @ the corner's vertex slot
    add   ip, ip, ip, lsl #1
    add   ip, r2, ip, lsl #2
    ldmia ip, {r3-r5}               @ x, y, z
    ldmia lr!, {r6, r7}             @ u, v
    stmia r0!, {r3-r7}
    .endr
    ldmfd sp!, {r4-r7, lr}
    bx    lr
    .size korvax_face_corners, . - korvax_face_corners

@ void korvax_face_corners_environment(TriangleVertex* corners, const MeshFace* face,
@                                      const Vec3* projected, const uint16_t* environment)
    .global korvax_face_corners_environment
    .type korvax_face_corners_environment, %function
korvax_face_corners_environment:
    stmfd sp!, {r4-r7, lr}
    .rept 3
    ldr   lr, [r1], #4              @ the corner's vertex slot
    add   ip, lr, lr, lsl #1
    add   ip, r2, ip, lsl #2
    ldmia ip, {r4-r6}               @ x, y, z
    add   lr, r3, lr, lsl #1
    ldrh  lr, [lr]                  @ its environment coordinates
    and   r7, lr, #255              @ u
    mov   lr, lr, lsr #8            @ v
    stmia r0!, {r4-r7, lr}
    .endr
    ldmfd sp!, {r4-r7, lr}
    bx    lr
    .size korvax_face_corners_environment, . - korvax_face_corners_environment
