@ setjmp and longjmp for the decoder heap's escape: the callee-saved
@ registers, the stack pointer and the return address. ARMv4T, ARM state.
    .text
    .arm
    .align 2

    .global setjmp
    .type setjmp, %function
setjmp:
    stmia r0, {r4-r11, sp, lr}
    mov r0, #0
    bx lr
    .size setjmp, . - setjmp

    .global longjmp
    .type longjmp, %function
longjmp:
    ldmia r0, {r4-r11, sp, lr}
    movs r0, r1
    moveq r0, #1
    bx lr
    .size longjmp, . - longjmp
