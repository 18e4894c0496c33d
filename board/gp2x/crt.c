/* The C start-up of the GP2X program: argc, argv and envp from the initial
 * stack, the static constructors, main, and exit with main's result. In C: a
 * C++ program may not call main. */
#include <stdint.h>
#include <stdlib.h>

extern char** environ;
int main(int argc, char** argv, char** envp);

/* The linker's default script collects these arrays. */
typedef void (*init_function)(int, char**, char**);
typedef void (*fini_function)(void);
extern init_function __preinit_array_start[] __attribute__((weak));
extern init_function __preinit_array_end[] __attribute__((weak));
extern init_function __init_array_start[] __attribute__((weak));
extern init_function __init_array_end[] __attribute__((weak));
extern fini_function __fini_array_start[] __attribute__((weak));
extern fini_function __fini_array_end[] __attribute__((weak));

/* Handle of the program for __cxa_atexit; there are no shared objects. */
void* __dso_handle = 0;

/* The C library's own array walkers call these; the arrays hold everything. */
void _init(void) {}
void _fini(void) {}

static void run_fini_array(void) {
    for (fini_function* f = __fini_array_end; f != __fini_array_start;) (*--f)();
}

void korvax_gp2x_start(uintptr_t* initial_sp) __attribute__((noreturn, used));

void korvax_gp2x_start(uintptr_t* initial_sp) {
    int argc = (int)initial_sp[0];
    char** argv = (char**)(initial_sp + 1);
    char** envp = argv + argc + 1;
    environ = envp;
    for (init_function* f = __preinit_array_start; f != __preinit_array_end; ++f) (*f)(argc, argv, envp);
    for (init_function* f = __init_array_start; f != __init_array_end; ++f) (*f)(argc, argv, envp);
    atexit(run_fini_array);
    exit(main(argc, argv, envp));
}
