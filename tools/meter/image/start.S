@ Where every call of the meter returns to: the meter puts meter_halt in the
@ link register and stops the core when it gets there. meter_init runs the
@ static constructors, if any.
    .text
    .arm
    .align 2

    .global meter_halt
    .type meter_halt, %function
meter_halt:
    b meter_halt
    .size meter_halt, . - meter_halt

    .global meter_init
    .type meter_init, %function
meter_init:
    stmfd sp!, {r4, r5, lr}
    ldr r4, =__init_array_start
    ldr r5, =__init_array_end
1:  cmp r4, r5
    beq 2f
    ldr r0, [r4], #4
    mov lr, pc
    bx r0
    b 1b
2:  ldmfd sp!, {r4, r5, lr}
    bx lr
    .size meter_init, . - meter_init
    .ltorg
