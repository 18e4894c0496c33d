/* A small GP2X program for testing the box: ARMv4T, Linux 2.4 old-ABI system
 * calls, no C library. It does what a GP2X demo does to the hardware: maps
 * /dev/mem, runs a program on the ARM940T, waits for vertical sync, draws and
 * flips frames, writes sound to /dev/dsp, reads the buttons and leaves for the
 * menu after two black frames.
 *
 * What it does follows its file name (the box runs a program under its own
 * name) or its first argument:
 *   probe            frames until the exit button (at most 3,600), then the menu
 *   probe-crash      faults (a store to address 0) after ten frames
 *   probe-sound      writes two seconds of sound as fast as the device takes
 *                    it, reports how long that took, then leaves for the menu
 *   probe-rights     reports its user and whether it may make a device node
 *   probe pattern N  writes the sound of N frames to standard output and ends
 *
 * Sound: 2,940 bytes (735 stereo frames) per video frame, sample k of the
 * stream being (k * 7919) & 0xFFFF; every probe writes the same stream. */

typedef unsigned int u32;
typedef unsigned short u16;
typedef unsigned char u8;

#define SYS_EXIT 1
#define SYS_WRITE 4
#define SYS_OPEN 5
#define SYS_CLOSE 6
#define SYS_EXECVE 11
#define SYS_CHDIR 12
#define SYS_MKNOD 14
#define SYS_IOCTL 54
#define SYS_MUNMAP 91
#define SYS_NANOSLEEP 162
#define SYS_MMAP2 192
#define SYS_GETUID32 199
#define SYS_CLOCK_GETTIME 263

#define SWI(n) "swi %[num]" : "+r"(r0) : [num] "i"(0x900000 + (n)), "r"(r1), "r"(r2), "r"(r3), "r"(r4), "r"(r5) : "memory"

#define DEFINE_CALL(name, n)                                                                 \
    static int name(int a, int b, int c, int d, int e, int f) {                              \
        register int r0 __asm__("r0") = a;                                                   \
        register int r1 __asm__("r1") = b;                                                   \
        register int r2 __asm__("r2") = c;                                                   \
        register int r3 __asm__("r3") = d;                                                   \
        register int r4 __asm__("r4") = e;                                                   \
        register int r5 __asm__("r5") = f;                                                   \
        __asm__ volatile(SWI(n));                                                            \
        return r0;                                                                           \
    }

DEFINE_CALL(sys_exit, SYS_EXIT)
DEFINE_CALL(sys_write, SYS_WRITE)
DEFINE_CALL(sys_open, SYS_OPEN)
DEFINE_CALL(sys_close, SYS_CLOSE)
DEFINE_CALL(sys_execve, SYS_EXECVE)
DEFINE_CALL(sys_chdir, SYS_CHDIR)
DEFINE_CALL(sys_mknod, SYS_MKNOD)
DEFINE_CALL(sys_ioctl, SYS_IOCTL)
DEFINE_CALL(sys_munmap, SYS_MUNMAP)
DEFINE_CALL(sys_nanosleep, SYS_NANOSLEEP)
DEFINE_CALL(sys_mmap2, SYS_MMAP2)
DEFINE_CALL(sys_getuid32, SYS_GETUID32)
DEFINE_CALL(sys_clock_gettime, SYS_CLOCK_GETTIME)

#define O_RDONLY 0
#define O_WRONLY 1
#define O_RDWR 2
#define O_SYNC 010000

/* Registers (16-bit, byte offsets of the window at 0xC0000000). */
#define REG_COPRO_CLOCK 0x0904
#define REG_VSYNC_STATUS 0x1182
#define REG_BUTTONS_LOW 0x1184
#define REG_BUTTONS_HIGH 0x1186
#define REG_VSYNC_MODE 0x2804
#define REG_ADDR1_LOW 0x290E
#define REG_ADDR1_HIGH 0x2910
#define REG_ADDR2_LOW 0x2912
#define REG_ADDR2_HIGH 0x2914
#define REG_COPRO_CONTROL 0x3B48

#define VIDEO_PHYS 0x2800000u
#define VIDEO_BYTES 0x700000u
#define SHARED_PHYS 0x3000000u
#define SHARED_BYTES 0xF80000u
#define BUFFER_A 0x100000u /* 0x2900000 */
#define BUFFER_B 0x180000u /* 0x2980000 */
#define COUNTER_OFFSET 0x100000u

#define SOUND_BYTES_PER_FRAME 2940
#define MAX_FRAMES 3600

static volatile u16* regs;
static u8* video;
static volatile u32* shared;
static int front_is_a;
static u32 sound_sample;

static u32 length(const char* s) {
    u32 n = 0;
    while (s[n]) ++n;
    return n;
}

static void say(const char* s) { sys_write(2, (int)s, (int)length(s), 0, 0, 0); }

static void say_number(const char* label, int v) {
    char b[16];
    int i = 15;
    u32 u = v < 0 ? (u32)-v : (u32)v;
    b[i] = 0;
    do {
        b[--i] = (char)('0' + u % 10);
        u /= 10;
    } while (u);
    if (v < 0) b[--i] = '-';
    say(label);
    say(b + i);
    say("\n");
}

static int same(const char* a, const char* b) {
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

static int ends_with(const char* s, const char* tail) {
    u32 n = length(s), m = length(tail);
    return n >= m && same(s + n - m, tail);
}

static int now_ms(void) {
    int ts[2] = {0, 0};
    sys_clock_gettime(1 /* CLOCK_MONOTONIC */, (int)ts, 0, 0, 0, 0);
    return ts[0] * 1000 + ts[1] / 1000000;
}

static int number(const char* s) {
    int v = 0;
    while (*s >= '0' && *s <= '9') v = v * 10 + (*s++ - '0');
    return v;
}

static void sleep_ms(int ms) {
    int ts[2] = {ms / 1000, (ms % 1000) * 1000000};
    sys_nanosleep((int)ts, 0, 0, 0, 0, 0);
}

static void* map(int fd, u32 phys, u32 bytes) {
    int p = sys_mmap2(0, (int)bytes, 3 /* read, write */, 1 /* shared */, fd, (int)(phys >> 12));
    return (u32)p >= 0xFFFFF000u ? 0 : (void*)p;
}

/* The next 1/60 s of the sound stream. */
static void next_sound(u16* out) {
    for (int i = 0; i < SOUND_BYTES_PER_FRAME / 2; ++i) out[i] = (u16)(sound_sample++ * 7919u);
}

static u16 sound[SOUND_BYTES_PER_FRAME / 2];

static void wait_vsync(void) {
    if (regs[REG_VSYNC_MODE / 2] & 1) {
        while (regs[REG_VSYNC_STATUS / 2] & 0x10) {
        }
        while (!(regs[REG_VSYNC_STATUS / 2] & 0x10)) {
        }
    } else {
        while (!(regs[REG_VSYNC_STATUS / 2] & 0x10)) {
        }
    }
}

static void draw(u16 colour) {
    u32* p = (u32*)(video + (front_is_a ? BUFFER_B : BUFFER_A));
    u32 both = (u32)colour | (u32)colour << 16;
    for (int i = 0; i < 320 * 240 / 2; ++i) p[i] = both;
}

static void flip(void) {
    u16 high;
    if (!front_is_a) {
        front_is_a = 1;
        high = 0x0290;
    } else {
        front_is_a = 0;
        high = 0x0298;
    }
    regs[REG_ADDR1_LOW / 2] = 0;
    regs[REG_ADDR2_LOW / 2] = 0;
    regs[REG_ADDR1_HIGH / 2] = high;
    regs[REG_ADDR2_HIGH / 2] = high;
}

/* The ARM940T's program: counts in a loop at its address 0x100000. */
static const u32 counter_program[] = {
    0xE3A00601, /* mov r0, #0x100000 */
    0xE5901000, /* loop: ldr r1, [r0] */
    0xE2811001, /* add r1, r1, #1 */
    0xE5801000, /* str r1, [r0] */
    0xEAFFFFFB, /* b loop */
};

/* The console serves the register writes and runs the core from threads of
 * its own: on a busy PC they may take a while to get there, so the probe waits
 * up to two seconds for the count to start and, after the halt, to settle. */
static int run_coprocessor(void) {
    regs[REG_COPRO_CONTROL / 2] = 0x83; /* held in reset, bank 3 */
    regs[REG_COPRO_CLOCK / 2] = (u16)(regs[REG_COPRO_CLOCK / 2] & ~1u);
    sleep_ms(20);
    shared[COUNTER_OFFSET / 4] = 0;
    for (u32 i = 0; i < sizeof counter_program / 4; ++i) shared[i] = counter_program[i];
    regs[REG_COPRO_CONTROL / 2] = 0x03;
    regs[REG_COPRO_CLOCK / 2] = (u16)(regs[REG_COPRO_CLOCK / 2] | 1u);
    u32 counted = 0;
    for (int waited = 0; waited < 2000 && counted == 0; waited += 10) {
        sleep_ms(10);
        counted = shared[COUNTER_OFFSET / 4];
    }
    regs[REG_COPRO_CONTROL / 2] = 0x83;
    regs[REG_COPRO_CLOCK / 2] = (u16)(regs[REG_COPRO_CLOCK / 2] & ~1u);
    /* The console's core stops at the end of the slice it is running: the
     * count settles, then must not move again. */
    u32 held = shared[COUNTER_OFFSET / 4];
    for (int waited = 0; waited < 2000; waited += 60) {
        sleep_ms(60);
        u32 now = shared[COUNTER_OFFSET / 4];
        if (now == held) break;
        held = now;
    }
    sleep_ms(60);
    u32 later = shared[COUNTER_OFFSET / 4];
    say_number("probe: coprocessor counted ", (int)(counted > 1000000 ? 1000000 : counted));
    say_number("probe: coprocessor moved after the halt by ", (int)(later - held));
    return counted > 0 && later == held;
}

static void leave(int status) { sys_exit(status, 0, 0, 0, 0, 0); }

static int pattern(int frames) {
    for (int f = 0; f < frames; ++f) {
        next_sound(sound);
        sys_write(1, (int)sound, SOUND_BYTES_PER_FRAME, 0, 0, 0);
    }
    return 0;
}

static int rights(void) {
    say_number("probe: uid ", sys_getuid32(0, 0, 0, 0, 0, 0));
    /* The PC's memory device, character 1:1. */
    say_number("probe: mknod ", sys_mknod((int)"/tmp/mem", 020600, (1 << 8) | 1, 0, 0, 0));
    return 0;
}

enum { PLAY, CRASH, SOUND };

static int play(int mode) {
    int fd = sys_open((int)"/dev/mem", O_RDWR | O_SYNC, 0, 0, 0, 0);
    if (fd < 0) {
        say_number("probe: cannot open /dev/mem: ", fd);
        return 3;
    }
    regs = map(fd, 0xC0000000u, 0x10000);
    video = map(fd, VIDEO_PHYS, VIDEO_BYTES);
    shared = map(fd, SHARED_PHYS, SHARED_BYTES);
    if (!regs || !video || !shared) {
        say("probe: cannot map the windows\n");
        return 3;
    }
    if (!run_coprocessor()) say("probe: the coprocessor did not run and halt\n");

    int dsp = sys_open((int)"/dev/dsp", O_WRONLY, 0, 0, 0, 0);
    if (dsp < 0) say_number("probe: cannot open /dev/dsp: ", dsp);
    int speed = 44100;
    sys_ioctl(dsp, (int)0xC0045002u /* SNDCTL_DSP_SPEED */, (int)&speed, 0, 0, 0);

    int frames = 0;
    int volume_up = 0, volume_down = 0;
    if (mode == SOUND) {
        int start = now_ms();
        for (int f = 0; f < 120; ++f) {
            next_sound(sound);
            sys_write(dsp, (int)sound, SOUND_BYTES_PER_FRAME, 0, 0, 0);
        }
        say_number("probe: two seconds of sound took ms ", now_ms() - start);
    } else {
        for (; frames < MAX_FRAMES; ++frames) {
            draw((u16)(0x0841 * (1 + frames % 30)));
            wait_vsync();
            flip();
            if (dsp >= 0) {
                next_sound(sound);
                sys_write(dsp, (int)sound, SOUND_BYTES_PER_FRAME, 0, 0, 0);
            }
            if (mode == CRASH && frames == 10) *(volatile u32*)0 = 1;
            u16 high = regs[REG_BUTTONS_HIGH / 2];
            volume_up += (high & 0x80) == 0;
            volume_down += (high & 0x40) == 0;
            if ((regs[REG_BUTTONS_LOW / 2] & 0x100) == 0) break;
        }
        say_number("probe: frames ", frames + 1);
        say_number("probe: frames with volume up held ", volume_up);
        say_number("probe: frames with volume down held ", volume_down);
    }
    for (int i = 0; i < 2; ++i) {
        draw(0);
        wait_vsync();
        flip();
    }
    if (dsp >= 0) sys_close(dsp, 0, 0, 0, 0, 0);
    sys_munmap((int)shared, SHARED_BYTES, 0, 0, 0, 0);
    sys_munmap((int)video, VIDEO_BYTES, 0, 0, 0, 0);
    sys_munmap((int)regs, 0x10000, 0, 0, 0, 0);
    sys_close(fd, 0, 0, 0, 0, 0);
    if (frames == MAX_FRAMES) return 4;  /* nobody pressed exit */

    sys_chdir((int)"/usr/gp2x", 0, 0, 0, 0, 0);
    char* argv[] = {"probe", "left", 0};
    char* envp[] = {0};
    int r = sys_execve((int)"/usr/gp2x/gp2xmenu", (int)argv, (int)envp, 0, 0, 0);
    say_number("probe: cannot start the menu: ", r);
    return 5;
}

int probe_main(int argc, char** argv) {
    if (argc >= 3 && same(argv[1], "pattern")) return pattern(number(argv[2]));
    if (ends_with(argv[0], "-rights")) return rights();
    if (ends_with(argv[0], "-crash")) return play(CRASH);
    if (ends_with(argv[0], "-sound")) return play(SOUND);
    return play(PLAY);
}

/* The kernel starts the program with argc at sp, then argv. */
__attribute__((naked, noreturn)) void _start(void) {
    __asm__ volatile(
        "ldr r0, [sp]\n"
        "add r1, sp, #4\n"
        "bl probe_main\n"
        "b probe_exit\n");
}

__attribute__((noreturn, used)) void probe_exit(int status) {
    leave(status);
    for (;;) {
    }
}
