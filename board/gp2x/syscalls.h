// System calls of the GP2X's Linux 2.4 kernel, old ABI: the call number is the
// immediate of "swi 0x900000 + n", arguments in r0..r5, the result in r0, an
// error as -errno (-4095..-1). Only calls a 2.4 kernel has are named here, and
// every structure the kernel reads or writes is declared in the kernel's own
// layout: newlib's time_t is 64-bit and its open flags differ from Linux's.
#pragma once

#include <stdint.h>

namespace korvax::gp2x {

// ---- call numbers (arch/arm/kernel/calls.S of 2.4) ----------------------------------
enum : uint32_t {
    NR_EXIT = 1,
    NR_READ = 3,
    NR_WRITE = 4,
    NR_OPEN = 5,
    NR_CLOSE = 6,
    NR_EXECVE = 11,
    NR_UNLINK = 10,
    NR_CHDIR = 12,
    NR_MKNOD = 14,
    NR_LSEEK = 19,
    NR_GETPID = 20,
    NR_KILL = 37,
    NR_MKDIR = 39,
    NR_PIPE = 42,
    NR_BRK = 45,
    NR_IOCTL = 54,
    NR_GETTIMEOFDAY = 78,
    NR_MUNMAP = 91,
    NR_STAT = 106,   // newstat: struct KernelStat below
    NR_FSTAT = 108,  // newfstat
    NR_CLONE = 120,
    NR_LLSEEK = 140,  // 64-bit file offsets
    NR_SCHED_YIELD = 158,
    NR_NANOSLEEP = 162,
    NR_RT_SIGACTION = 174,
    NR_RT_SIGPROCMASK = 175,
    NR_GETCWD = 183,
    NR_MMAP2 = 192,  // offset in 4,096-byte pages
};

// ---- constants in the kernel's values ----------------------------------------------
enum : int32_t {
    K_O_RDONLY = 0,
    K_O_WRONLY = 1,
    K_O_RDWR = 2,
    K_O_ACCMODE = 3,
    K_O_CREAT = 0100,
    K_O_EXCL = 0200,
    K_O_NOCTTY = 0400,
    K_O_TRUNC = 01000,
    K_O_APPEND = 02000,
    K_O_NONBLOCK = 04000,
    K_O_SYNC = 010000,
};

enum : int32_t {
    K_EINTR = 4,
    K_EAGAIN = 11,
    K_ENOMEM = 12,
    K_EINVAL = 22,
    K_ENOTTY = 25,
};

enum : uint32_t {
    K_PROT_READ = 1,
    K_PROT_WRITE = 2,
    K_MAP_SHARED = 1,
    K_MAP_PRIVATE = 2,
    K_PAGE_SHIFT = 12,
};

// clone(2): the flags a 2.4 kernel knows. CLONE_THREAD came with 2.4.0.
enum : uint32_t {
    K_CLONE_VM = 0x100,
    K_CLONE_FS = 0x200,
    K_CLONE_FILES = 0x400,
    K_CLONE_SIGHAND = 0x800,
    K_CLONE_THREAD = 0x10000,
    // Not a 2.4 flag (2.5.10): a 2.4 kernel is never asked for it, but
    // qemu-user only makes a thread when the whole modern set is given.
    K_CLONE_SYSVSEM = 0x40000,
};

enum : int32_t {
    K_SIGKILL = 9,
    K_SIGUSR1 = 10,
    K_SIG_BLOCK = 0,
    K_SIG_UNBLOCK = 1,
    K_SIG_SETMASK = 2,
};

enum : uint32_t {
    K_S_IFIFO = 0010000,
    K_TCGETS = 0x5401,
    // OSS, <linux/soundcard.h>: _IOWR('P', n, int).
    K_SNDCTL_DSP_SPEED = 0xC0045002,
    K_SNDCTL_DSP_STEREO = 0xC0045003,
    K_SNDCTL_DSP_SETFMT = 0xC0045005,
    K_SNDCTL_DSP_SETFRAGMENT = 0xC004500A,
};

// ---- structures in the kernel's layout (all fields 32-bit or smaller) -------------
struct KernelTimespec {
    int32_t tv_sec;
    int32_t tv_nsec;
};

struct KernelTimeval {
    int32_t tv_sec;
    int32_t tv_usec;
};

// asm-arm/stat.h of 2.4, as filled by newfstat.
struct KernelStat {
    uint16_t st_dev;
    uint16_t pad1;
    uint32_t st_ino;
    uint16_t st_mode;
    uint16_t st_nlink;
    uint16_t st_uid;
    uint16_t st_gid;
    uint16_t st_rdev;
    uint16_t pad2;
    uint32_t st_size;
    uint32_t st_blksize;
    uint32_t st_blocks;
    uint32_t st_atime_;
    uint32_t unused1;
    uint32_t st_mtime_;
    uint32_t unused2;
    uint32_t st_ctime_;
    uint32_t unused3;
    uint32_t unused4;
    uint32_t unused5;
};
static_assert(sizeof(KernelStat) == 64, "struct stat of the ARM kernel");

// rt_sigaction's structure on ARM: handler, flags, restorer, then the mask.
struct KernelSigaction {
    void (*handler)(int);
    uint32_t flags;
    void (*restorer)();
    uint32_t mask[2];
};
static_assert(sizeof(KernelSigaction) == 20, "struct sigaction of the ARM kernel");
constexpr uint32_t K_SIGSET_BYTES = 8;

// ---- the raw call ---------------------------------------------------------------------
template <uint32_t N>
inline int32_t syscall(int32_t a0 = 0, int32_t a1 = 0, int32_t a2 = 0, int32_t a3 = 0, int32_t a4 = 0,
                       int32_t a5 = 0) {
    register int32_t r0 asm("r0") = a0;
    register int32_t r1 asm("r1") = a1;
    register int32_t r2 asm("r2") = a2;
    register int32_t r3 asm("r3") = a3;
    register int32_t r4 asm("r4") = a4;
    register int32_t r5 asm("r5") = a5;
    asm volatile("swi %[nr]"
                 : "+r"(r0)
                 : [nr] "i"(0x900000 + N), "r"(r1), "r"(r2), "r"(r3), "r"(r4), "r"(r5)
                 : "memory");
    return r0;
}

// A result in -4095..-1 is -errno.
inline bool failed(int32_t result) { return static_cast<uint32_t>(result) >= 0xFFFFF001u; }

inline int32_t as_arg(const void* p) { return static_cast<int32_t>(reinterpret_cast<uintptr_t>(p)); }

// ---- typed wrappers -----------------------------------------------------------------------
inline int32_t sys_read(int fd, void* buf, uint32_t n) { return syscall<NR_READ>(fd, as_arg(buf), static_cast<int32_t>(n)); }
inline int32_t sys_write(int fd, const void* buf, uint32_t n) {
    return syscall<NR_WRITE>(fd, as_arg(buf), static_cast<int32_t>(n));
}
// flags in the kernel's values (K_O_*).
inline int32_t sys_open(const char* path, int32_t flags, int32_t mode) {
    return syscall<NR_OPEN>(as_arg(path), flags, mode);
}
inline int32_t sys_close(int fd) { return syscall<NR_CLOSE>(fd); }
inline int32_t sys_lseek(int fd, int32_t offset, int whence) { return syscall<NR_LSEEK>(fd, offset, whence); }
// Seeks to a 64-bit offset; the new offset in *result.
inline int32_t sys_llseek(int fd, uint64_t offset, int64_t* result, int whence) {
    return syscall<NR_LLSEEK>(fd, static_cast<int32_t>(offset >> 32), static_cast<int32_t>(offset), as_arg(result),
                              whence);
}
inline int32_t sys_unlink(const char* path) { return syscall<NR_UNLINK>(as_arg(path)); }
inline int32_t sys_stat(const char* path, KernelStat* st) { return syscall<NR_STAT>(as_arg(path), as_arg(st)); }
inline int32_t sys_mkdir(const char* path, uint32_t mode) {
    return syscall<NR_MKDIR>(as_arg(path), static_cast<int32_t>(mode));
}
// The length of the path including its terminating zero.
inline int32_t sys_getcwd(char* buf, uint32_t size) {
    return syscall<NR_GETCWD>(as_arg(buf), static_cast<int32_t>(size));
}
inline int32_t sys_fstat(int fd, KernelStat* st) { return syscall<NR_FSTAT>(fd, as_arg(st)); }
inline int32_t sys_ioctl(int fd, uint32_t request, void* arg) {
    return syscall<NR_IOCTL>(fd, static_cast<int32_t>(request), as_arg(arg));
}
inline int32_t sys_mknod(const char* path, uint32_t mode, uint32_t dev) {
    return syscall<NR_MKNOD>(as_arg(path), static_cast<int32_t>(mode), static_cast<int32_t>(dev));
}
inline int32_t sys_pipe(int fds[2]) { return syscall<NR_PIPE>(as_arg(fds)); }
// The new break, or the old one when the kernel refused.
inline uint32_t sys_brk(uint32_t end) { return static_cast<uint32_t>(syscall<NR_BRK>(static_cast<int32_t>(end))); }
inline int32_t sys_mmap2(void* addr, uint32_t length, uint32_t prot, uint32_t flags, int fd, uint32_t page_offset) {
    return syscall<NR_MMAP2>(as_arg(addr), static_cast<int32_t>(length), static_cast<int32_t>(prot),
                             static_cast<int32_t>(flags), fd, static_cast<int32_t>(page_offset));
}
inline int32_t sys_munmap(void* addr, uint32_t length) {
    return syscall<NR_MUNMAP>(as_arg(addr), static_cast<int32_t>(length));
}
inline int32_t sys_nanosleep(const KernelTimespec* request, KernelTimespec* remaining) {
    return syscall<NR_NANOSLEEP>(as_arg(request), as_arg(remaining));
}
inline int32_t sys_gettimeofday(KernelTimeval* tv) { return syscall<NR_GETTIMEOFDAY>(as_arg(tv), 0); }
inline int32_t sys_getpid() { return syscall<NR_GETPID>(); }
inline int32_t sys_kill(int32_t pid, int32_t signal) { return syscall<NR_KILL>(pid, signal); }
inline int32_t sys_sched_yield() { return syscall<NR_SCHED_YIELD>(); }
inline int32_t sys_chdir(const char* path) { return syscall<NR_CHDIR>(as_arg(path)); }
inline int32_t sys_execve(const char* path, char* const argv[], char* const envp[]) {
    return syscall<NR_EXECVE>(as_arg(path), as_arg(argv), as_arg(envp));
}
inline int32_t sys_rt_sigaction(int32_t signal, const KernelSigaction* action, KernelSigaction* old) {
    return syscall<NR_RT_SIGACTION>(signal, as_arg(action), as_arg(old), K_SIGSET_BYTES);
}
inline int32_t sys_rt_sigprocmask(int32_t how, const uint32_t* set, uint32_t* old) {
    return syscall<NR_RT_SIGPROCMASK>(how, as_arg(set), as_arg(old), K_SIGSET_BYTES);
}
// Ends the calling task only: a 2.4 kernel has no exit_group.
[[noreturn]] inline void sys_exit(int status) {
    syscall<NR_EXIT>(status);
    __builtin_unreachable();
}

}  // namespace korvax::gp2x
