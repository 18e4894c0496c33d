@ Process entry of the GP2X program. Linux 2.4 starts it with sp at the initial
@ stack: argc, argv[0..argc-1], 0, envp[...], 0, then the auxiliary vector.
@ r0..r12 hold nothing defined; there is no dynamic linker to clean up after.
    .text
    .arm
    .global _start
    .type _start, %function
_start:
    mov fp, #0
    mov lr, #0
    mov r0, sp
    bic sp, sp, #7          @ the procedure call standard wants 8-byte alignment
    bl korvax_gp2x_start    @ never returns
1:  b 1b
    .size _start, . - _start

@ int korvax_gp2x_clone(uint32_t flags, void* stack_top, void (*entry)(void*), void* arg)
@ The raw clone call: the parent gets the new task's id (or -errno); the child
@ starts on stack_top with the parent's registers and r0 = 0, and calls
@ entry(arg), which must never return: the child has no frame to return to.
    .global korvax_gp2x_clone
    .type korvax_gp2x_clone, %function
korvax_gp2x_clone:
    stmfd sp!, {r4, r5, lr}
    mov r4, r2
    mov r5, r3
    swi 0x900078            @ clone(flags, stack)
    cmp r0, #0
    ldmnefd sp!, {r4, r5, lr}
    bxne lr
    mov fp, #0
    mov r0, r5
    mov lr, pc
    bx r4
1:  b 1b
    .size korvax_gp2x_clone, . - korvax_gp2x_clone

@ void korvax_gp2x_thread_end(volatile uint32_t* alive)
@ Clears the thread's alive word and ends the task. Nothing touches the stack
@ after the store: the slot, stack included, may be reused from then on.
    .global korvax_gp2x_thread_end
    .type korvax_gp2x_thread_end, %function
korvax_gp2x_thread_end:
    mov r1, #0
    str r1, [r0]
    mov r0, #0
    swi 0x900001            @ exit(0): this task only
1:  b 1b
    .size korvax_gp2x_thread_end, . - korvax_gp2x_thread_end

    .section .note.GNU-stack,"",%progbits
