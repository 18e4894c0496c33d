// The program's own start-up and the C library's system calls over the
// kernel's: open flags, the 32-bit stat and time structures, the heap break.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "board/gp2x/syscalls.h"

extern "C" char** environ;

namespace korvax::gp2x {
namespace {

// Recorded by a static constructor, before main.
struct StartUpWitness {
    int constructed = 0;
    bool environment_ready = false;
    StartUpWitness() {
        constructed = 1;
        environment_ready = getenv("KORVAX_GP2X_DEVICE_ROOT") != nullptr;
    }
};
StartUpWitness witness;

std::string scratch(const char* name) {
    const char* root = getenv("KORVAX_GP2X_DEVICE_ROOT");
    std::string dir = root ? root : "";
    sys_mkdir(dir.c_str(), 0755);
    return dir + "/" + name;
}

TEST(Gp2xStartUp, StaticConstructorsRunWithTheEnvironmentInPlace) {
    EXPECT_EQ(witness.constructed, 1);
    EXPECT_TRUE(witness.environment_ready) << "environ was set after the constructors ran";
    ASSERT_NE(environ, nullptr);
    bool found = false;
    for (char** e = environ; *e != nullptr; ++e) found |= strncmp(*e, "KORVAX_GP2X_DEVICE_ROOT=/", 25) == 0;
    EXPECT_TRUE(found);
}

TEST(Gp2xLibcGlue, OpenFlagsReachTheKernelAsItsOwn) {
    const std::string path = scratch("glue.txt");
    FILE* f = fopen(path.c_str(), "w");  // O_WRONLY | O_CREAT | O_TRUNC
    ASSERT_NE(f, nullptr);
    fputs("first line that is long\n", f);
    fclose(f);
    f = fopen(path.c_str(), "w");  // truncates
    ASSERT_NE(f, nullptr);
    fputs("short\n", f);
    fclose(f);
    f = fopen(path.c_str(), "a");  // O_APPEND
    ASSERT_NE(f, nullptr);
    fputs("more\n", f);
    fclose(f);
    char text[64] = {};
    f = fopen(path.c_str(), "r");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(fread(text, 1, sizeof text - 1, f), 11u);
    fclose(f);
    EXPECT_STREQ(text, "short\nmore\n");
    EXPECT_EQ(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644), -1) << "O_EXCL on an existing file";
    EXPECT_EQ(errno, 17);  // EEXIST
    EXPECT_EQ(unlink(path.c_str()), 0);
    EXPECT_EQ(open(path.c_str(), O_RDONLY), -1);
    EXPECT_EQ(errno, 2);  // ENOENT
}

TEST(Gp2xLibcGlue, StatTranslatesTheKernelsLayout) {
    const std::string path = scratch("sized.bin");
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0640);
    ASSERT_GE(fd, 0);
    static char block[5000];
    ASSERT_EQ(write(fd, block, sizeof block), 5000);
    struct stat by_fd = {};
    ASSERT_EQ(fstat(fd, &by_fd), 0);
    close(fd);
    struct stat by_path = {};
    ASSERT_EQ(stat(path.c_str(), &by_path), 0);
    for (const struct stat* st : {&by_fd, &by_path}) {
        EXPECT_EQ(st->st_size, 5000);
        EXPECT_TRUE(S_ISREG(st->st_mode));
        EXPECT_EQ(st->st_mode & 0137, 0u) << "mode 0640, less the umask";
        EXPECT_NE(st->st_mode & 0400, 0u);
        EXPECT_GT(st->st_blksize, 0);
        EXPECT_GT(st->st_mtime, 1000000000);  // after 2001
    }
    EXPECT_EQ(by_fd.st_ino, by_path.st_ino);
    struct stat dir = {};
    ASSERT_EQ(stat(scratch("").c_str(), &dir), 0);
    EXPECT_TRUE(S_ISDIR(dir.st_mode));
    unlink(path.c_str());
}

TEST(Gp2xLibcGlue, TimeOfDayFromTheKernels32BitFields) {
    KernelTimeval kernel = {};
    ASSERT_EQ(sys_gettimeofday(&kernel), 0);
    struct timeval tv = {};
    ASSERT_EQ(gettimeofday(&tv, nullptr), 0);
    EXPECT_GE(tv.tv_sec, kernel.tv_sec);
    EXPECT_LE(tv.tv_sec, kernel.tv_sec + 1);
    EXPECT_GE(tv.tv_usec, 0);
    EXPECT_LT(tv.tv_usec, 1000000);
}

TEST(Gp2xLibcGlue, TheHeapGrowsByTheBreakAndItsBlocksAreDistinct) {
    const uint32_t before = sys_brk(0);
    char* a = static_cast<char*>(malloc(3 << 20));
    char* b = static_cast<char*>(malloc(1 << 20));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    memset(a, 0xA5, 3 << 20);
    memset(b, 0x5A, 1 << 20);
    EXPECT_EQ(static_cast<unsigned char>(a[(3 << 20) - 1]), 0xA5);
    EXPECT_EQ(static_cast<unsigned char>(b[0]), 0x5A);
    EXPECT_GE(sys_brk(0), before + (4u << 20));
    free(b);
    free(a);
}

TEST(Gp2xLibcGlue, TheWorkingDirectoryComesFromTheKernel) {
    char cwd[512];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(cwd[0], '/');
    EXPECT_EQ(getcwd(cwd, 1), nullptr) << "a buffer too small";
}

}  // namespace
}  // namespace korvax::gp2x
