/* The menu program inside the box (/usr/gp2x/gp2xmenu): a GP2X program leaves
 * by replacing itself with the menu. This stand-in records how it was started
 * for the console, in /var/box/menu: the path given to exec, the working
 * directory, the count of environment strings and the arguments, each ended
 * by a NUL, and exits 0. A static PC program: the box holds no libraries. */
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/auxv.h>
#include <unistd.h>

static int put(int fd, const char* text) {
    size_t n = strlen(text) + 1;
    return write(fd, text, n) == (ssize_t)n;
}

int main(int argc, char** argv, char** envp) {
    char directory[4096];
    if (!getcwd(directory, sizeof directory)) strcpy(directory, "?");
    const char* path = (const char*)getauxval(AT_EXECFN);
    int envc = 0;
    while (envp && envp[envc]) ++envc;
    char count[16];
    snprintf(count, sizeof count, "%d", envc);
    int fd = open("/var/box/menu.part", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return 1;
    int ok = put(fd, path ? path : "?") && put(fd, directory) && put(fd, count);
    for (int i = 0; ok && i < argc; ++i) ok = put(fd, argv[i]);
    ok = close(fd) == 0 && ok;
    /* Complete or absent: the console never reads half a report. */
    return ok && rename("/var/box/menu.part", "/var/box/menu") == 0 ? 0 : 1;
}
