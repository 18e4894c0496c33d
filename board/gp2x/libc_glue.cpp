// The system calls newlib's C library is built on, over the kernel's own
// calls: open flags translated to the kernel's values, stat and time
// structures converted from the kernel's 32-bit layouts.
#include <errno.h>
#include <fcntl.h>
#include <stddef.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include "board/gp2x/syscalls.h"
#include "board/gp2x/thread.h"

using namespace korvax::gp2x;

namespace {

int32_t result(int32_t r) {
    if (failed(r)) {
        errno = -r;
        return -1;
    }
    return r;
}

int32_t kernel_open_flags(int flags) {
    int32_t k = 0;
    switch (flags & O_ACCMODE) {
        case O_WRONLY: k = K_O_WRONLY; break;
        case O_RDWR: k = K_O_RDWR; break;
        default: k = K_O_RDONLY; break;
    }
    if (flags & O_CREAT) k |= K_O_CREAT;
    if (flags & O_EXCL) k |= K_O_EXCL;
    if (flags & O_NOCTTY) k |= K_O_NOCTTY;
    if (flags & O_TRUNC) k |= K_O_TRUNC;
    if (flags & O_APPEND) k |= K_O_APPEND;
    if (flags & O_NONBLOCK) k |= K_O_NONBLOCK;
    if (flags & O_SYNC) k |= K_O_SYNC;
    return k;
}

uint32_t current_break = 0;

}  // namespace

extern "C" {

int _open(const char* path, int flags, int mode) { return result(sys_open(path, kernel_open_flags(flags), mode)); }
int _close(int fd) { return result(sys_close(fd)); }
int _read(int fd, char* buf, int n) { return result(sys_read(fd, buf, static_cast<uint32_t>(n))); }
int _write(int fd, const char* buf, int n) { return result(sys_write(fd, buf, static_cast<uint32_t>(n))); }
off_t _lseek(int fd, off_t offset, int whence) {
    return result(sys_lseek(fd, static_cast<int32_t>(offset), whence));
}

namespace {
void convert_stat(const KernelStat& k, struct stat* st) {
    *st = {};
    st->st_dev = k.st_dev;
    st->st_ino = k.st_ino;
    st->st_mode = k.st_mode;  // the S_IF* and permission bits are the same octal values
    st->st_nlink = k.st_nlink;
    st->st_uid = k.st_uid;
    st->st_gid = k.st_gid;
    st->st_rdev = k.st_rdev;
    st->st_size = k.st_size;
    st->st_blksize = static_cast<blksize_t>(k.st_blksize);
    st->st_blocks = static_cast<blkcnt_t>(k.st_blocks);
    st->st_atime = k.st_atime_;
    st->st_mtime = k.st_mtime_;
    st->st_ctime = k.st_ctime_;
}
}  // namespace

int _fstat(int fd, struct stat* st) {
    KernelStat k;
    if (result(sys_fstat(fd, &k)) < 0) return -1;
    convert_stat(k, st);
    return 0;
}

int _stat(const char* path, struct stat* st) {
    KernelStat k;
    if (result(sys_stat(path, &k)) < 0) return -1;
    convert_stat(k, st);
    return 0;
}

int _unlink(const char* path) { return result(sys_unlink(path)); }
int mkdir(const char* path, mode_t mode) { return result(sys_mkdir(path, mode)); }

char* getcwd(char* buf, size_t size) {
    if (result(sys_getcwd(buf, size)) < 0) return nullptr;
    return buf;
}

int _isatty(int fd) {
    uint8_t termios[64];  // the kernel's struct termios is 36 bytes on ARM
    int32_t r = sys_ioctl(fd, K_TCGETS, termios);
    if (failed(r)) {
        errno = -r;
        return 0;
    }
    return 1;
}

// The heap grows by moving the break; newlib's stdio takes its buffers here.
void* _sbrk(ptrdiff_t increment) {
    if (current_break == 0) current_break = sys_brk(0);
    const uint32_t wanted = current_break + static_cast<uint32_t>(increment);
    if (sys_brk(wanted) < wanted) {
        errno = ENOMEM;
        return reinterpret_cast<void*>(-1);
    }
    const uint32_t old = current_break;
    current_break = wanted;
    return reinterpret_cast<void*>(old);
}

int _gettimeofday(struct timeval* tv, void*) {
    KernelTimeval k;
    if (result(sys_gettimeofday(&k)) < 0) return -1;
    if (tv != nullptr) {
        tv->tv_sec = k.tv_sec;
        tv->tv_usec = k.tv_usec;
    }
    return 0;
}

int _getpid() { return sys_getpid(); }
int _kill(int pid, int signal) { return result(sys_kill(pid, signal)); }

// The end of the process: the other threads first, then this task.
[[noreturn]] void _exit(int status) {
    threads_end_all();
    sys_exit(status);
}

}  // extern "C"
