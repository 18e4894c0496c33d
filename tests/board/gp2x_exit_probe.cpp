// A program whose sound thread is blocked in a write when main returns: the
// FIFO standing in for /dev/dsp is never read. The process must end with
// main's status 0 by itself (the test's timeout catches a hang, the status a
// kill), and it does only if exit ends the blocked thread. Exits 2 when the
// situation could not be set up.
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "board/gp2x/syscalls.h"
#include "board/gp2x/thread.h"
#include "board/board.h"

using namespace korvax;
using namespace korvax::gp2x;

namespace {

volatile uint32_t blocks_written = 0;

void write_forever(void*) {
    const int fd = board_sound_open();
    if (fd < 0) return;
    static uint8_t block[8192];
    for (;;) {
        if (board_sound_write(fd, block, sizeof block) < 0) return;
        blocks_written = blocks_written + 1;
    }
}

}  // namespace

int main() {
    const char* root = getenv("KORVAX_GP2X_DEVICE_ROOT");
    if (root == nullptr) return 2;
    const std::string dev = std::string(root) + "/dev";
    sys_mkdir(root, 0755);
    sys_mkdir(dev.c_str(), 0755);
    const std::string dsp = dev + "/dsp";
    sys_unlink(dsp.c_str());
    if (sys_mknod(dsp.c_str(), K_S_IFIFO | 0644, 0) != 0) return 2;
    // The read end stays open and unread: writes fill the FIFO, then block.
    const int reader = sys_open(dsp.c_str(), K_O_RDONLY | K_O_NONBLOCK, 0);
    if (reader < 0) return 2;
    if (board_create_thread(write_forever, nullptr) != 0) return 2;

    uint32_t seen = 0;
    int still = 0;
    for (int i = 0; i < 500 && still < 20; ++i) {
        board_sleep_us(10000);
        const uint32_t now = blocks_written;
        still = now == seen && now > 0 ? still + 1 : 0;
        seen = now;
    }
    if (still < 20 || threads_alive() != 1) return 2;
    printf("writer blocked after %lu blocks; main returns\n", static_cast<unsigned long>(seen));
    fflush(stdout);
    return 0;
}
