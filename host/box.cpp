#include "host/box.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace korvax::host {

namespace {

// Registers whose writes have effects, in the order the console applies them.
constexpr uint32_t WATCHED[] = {REG_COPRO_CONTROL, REG_COPRO_CLOCK, REG_DISPLAY_ADDR2_HIGH};

constexpr uint64_t PUMP_PERIOD_NS = 1000000;  // 1 ms
// The program's niceness above the console's.
constexpr int PROGRAM_NICENESS_ABOVE_CONSOLE = 5;
constexpr uint32_t PIPE_BYTES = 4096;          // the two fragments of the device
constexpr const char* PROGRAM_FOLDER = "/mnt/sd/";
constexpr const char* MENU_REPORT = "var/box/menu";

uint64_t steady_ns() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

std::string error_text(const std::string& what) { return what + ": " + std::strerror(errno); }

std::string find_in_path(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path) return {};
    std::stringstream dirs(path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty()) continue;
        std::string candidate = dir + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

bool copy_file(const std::string& from, const std::string& to, mode_t mode, std::string& why) {
    std::error_code ec;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
        why = "cannot copy " + from + " into the box: " + ec.message();
        return false;
    }
    chmod(to.c_str(), mode);
    return true;
}

// An ARM (EM_ARM) 32-bit little-endian ELF executable.
bool is_arm_program(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char h[20] = {};
    if (!in.read(reinterpret_cast<char*>(h), sizeof h)) return false;
    return h[0] == 0x7F && h[1] == 'E' && h[2] == 'L' && h[3] == 'F' && h[4] == 1 && h[5] == 1 && h[16] == 2 &&
           h[18] == 40 && h[19] == 0;
}

double process_cpu_s(pid_t pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    std::ifstream in(path);
    std::string line;
    if (!std::getline(in, line)) return -1;
    // Fields after the command name in parentheses (which may hold spaces).
    size_t close = line.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream rest(line.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::strtoull(field.c_str(), nullptr, 10);
        if (i == 15) stime = std::strtoull(field.c_str(), nullptr, 10);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double seconds(const timeval& tv) { return static_cast<double>(tv.tv_sec) + tv.tv_usec / 1e6; }

// The child's side of start(), between fork and exec: only system calls.
// Reports the failing step and errno through `report` and ends.
[[noreturn]] void fail_in_child(int report, int step) {
    int words[2] = {step, errno};
    ssize_t ignored = write(report, words, sizeof words);
    (void)ignored;
    _exit(127);
}

const char* const CHILD_STEPS[] = {
    "", "/dev/null", "user namespace", "uid map", "chroot", "chdir", "groups", "gid", "uid", "no new privileges",
    "parent-death signal", "exec qemu",
};

}  // namespace

std::unique_ptr<Box> Box::create(const BoxConfig& config, std::string& why_not) {
    std::unique_ptr<Box> box(new Box());
    if (!box->make_root(config, why_not)) return nullptr;
    return box;
}

bool Box::make_root(const BoxConfig& config, std::string& why_not) {
    config_ = config;
    qemu_path_ = config.qemu.empty() ? find_in_path("qemu-arm-static") : config.qemu;
    if (qemu_path_.empty() || access(qemu_path_.c_str(), X_OK) != 0) {
        why_not = "qemu-arm-static not found (" + (qemu_path_.empty() ? std::string("not in PATH") : qemu_path_) +
                  "): install qemu-user-static";
        return false;
    }
    if (access(config.program.c_str(), R_OK) != 0) {
        why_not = error_text("cannot read the GP2X program " + config.program);
        return false;
    }
    if (!is_arm_program(config.program)) {
        why_not = config.program + " is not an ARM Linux program";
        return false;
    }
    if (access(config.menu.c_str(), X_OK) != 0) {
        why_not = error_text("cannot run the stand-in menu program " + config.menu);
        return false;
    }

    if (geteuid() == 0) {
        if (passwd* nobody = getpwnam("nobody")) {
            box_uid_ = nobody->pw_uid;
            box_gid_ = nobody->pw_gid;
        }
    } else {
        box_uid_ = geteuid();
        box_gid_ = getegid();
    }

    char templ[] = "/dev/shm/korvax-box-XXXXXX";
    char templ_tmp[] = "/tmp/korvax-box-XXXXXX";
    char* dir = mkdtemp(templ);
    if (!dir) dir = mkdtemp(templ_tmp);
    if (!dir) {
        why_not = error_text("cannot make the box's root");
        return false;
    }
    root_ = dir;
    chmod(root_.c_str(), 0755);
    for (const char* d : {"dev", "usr", "usr/gp2x", "mnt", "mnt/sd", "var", "var/box", "tmp"}) {
        std::string p = root_ + "/" + d;
        if (mkdir(p.c_str(), 0755) != 0) {
            why_not = error_text("cannot make " + p);
            return false;
        }
    }
    chmod((root_ + "/tmp").c_str(), 01777);
    if (chown((root_ + "/var/box").c_str(), box_uid_, box_gid_) != 0) {
        why_not = error_text("cannot hand the box's report folder to its user");
        return false;
    }

    // The physical memory: sparse, only the pages either side touches exist.
    std::string mem = root_ + "/dev/mem";
    memory_fd_ = open(mem.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (memory_fd_ < 0 || ftruncate(memory_fd_, static_cast<off_t>(BOX_MEMORY_BYTES)) != 0 ||
        fchown(memory_fd_, box_uid_, box_gid_) != 0) {
        why_not = error_text("cannot make the box's memory " + mem);
        return false;
    }
    auto map = [&](uint64_t phys, uint32_t bytes) -> uint8_t* {
        void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, memory_fd_, static_cast<off_t>(phys));
        return p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p);
    };
    registers_ = map(REGISTER_WINDOW_PHYS, REGISTER_WINDOW_BYTES);
    video_ = map(VIDEO_WINDOW_PHYS, VIDEO_WINDOW_BYTES);
    shared_ = map(SHARED_WINDOW_PHYS, SHARED_WINDOW_BYTES);
    if (!registers_ || !video_ || !shared_) {
        why_not = error_text("cannot map the box's memory");
        return false;
    }

    // The sound device: the console holds the reading end before the program
    // starts, so the program's open never waits.
    std::string dsp = root_ + "/dev/dsp";
    if (mkfifo(dsp.c_str(), 0600) != 0 || chown(dsp.c_str(), box_uid_, box_gid_) != 0) {
        why_not = error_text("cannot make the box's sound device " + dsp);
        return false;
    }
    dsp_fd_ = open(dsp.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (dsp_fd_ < 0) {
        why_not = error_text("cannot open the box's sound device");
        return false;
    }
    fcntl(dsp_fd_, F_SETPIPE_SZ, PIPE_BYTES);

    // The program keeps its file name, as on the SD card.
    program_in_box_ = PROGRAM_FOLDER + std::filesystem::path(config.program).filename().string();
    if (!copy_file(config.program, root_ + program_in_box_, 0755, why_not)) return false;
    if (!copy_file(config.menu, root_ + "/usr/gp2x/gp2xmenu", 0755, why_not)) return false;
    return true;
}

Box::~Box() {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        reap(true);
    }
    stop_ = true;
    if (pump_thread_.joinable()) pump_thread_.join();
    if (sound_thread_.joinable()) sound_thread_.join();
    if (proc_mem_fd_ >= 0) close(proc_mem_fd_);
    if (registers_) munmap(registers_, REGISTER_WINDOW_BYTES);
    if (video_) munmap(video_, VIDEO_WINDOW_BYTES);
    if (shared_) munmap(shared_, SHARED_WINDOW_BYTES);
    if (memory_fd_ >= 0) close(memory_fd_);
    if (dsp_fd_ >= 0) close(dsp_fd_);
    if (!root_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
}

ConsoleWindows Box::windows() const { return {registers_, video_, shared_}; }

bool Box::start(Console& console, std::string& why_not) {
    console_ = &console;

    // Everything the child needs is made before the fork: after it, in a
    // process with other threads, the child makes only system calls.
    int qemu_fd = open(qemu_path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (qemu_fd < 0) {
        why_not = error_text("cannot open " + qemu_path_);
        return false;
    }
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        close(qemu_fd);
        why_not = error_text("pipe");
        return false;
    }
    std::vector<std::string> args = {"qemu-arm-static", "-cpu", "ti925t"};
    if (config_.watch_address != 0) {
        char base[32];
        std::snprintf(base, sizeof base, "0x%llx", static_cast<unsigned long long>(BOX_GUEST_BASE));
        args.insert(args.end(), {"-B", base});
    }
    args.push_back(program_in_box_);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    char* envp[] = {nullptr};
    const bool as_root = geteuid() == 0;
    char uid_map[64], gid_map[64];
    std::snprintf(uid_map, sizeof uid_map, "0 %u 1\n", static_cast<unsigned>(geteuid()));
    std::snprintf(gid_map, sizeof gid_map, "0 %u 1\n", static_cast<unsigned>(getegid()));
    const std::string root = root_;
    const uid_t uid = box_uid_;
    const gid_t gid = box_gid_;
    errno = 0;
    int console_niceness = getpriority(PRIO_PROCESS, 0);
    if (errno != 0) console_niceness = 0;
    const int program_niceness = console_niceness < 0 ? 0 : console_niceness + PROGRAM_NICENESS_ABOVE_CONSOLE;

    stop_ = false;
    start_ns_ = steady_ns();
    pump_thread_ = std::thread([this] { pump(); });
    sound_thread_ = std::thread([this] { drain_sound(); });

    pid_t pid = fork();
    if (pid == 0) {
        const int out = report[1];
        int null_fd = open("/dev/null", O_RDONLY);
        if (null_fd < 0 || dup2(null_fd, 0) < 0) fail_in_child(out, 1);
        if (!as_root) {
            // Not root: a user namespace of our own gives the right to chroot,
            // and nothing on the PC beyond what this user may already do.
            if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) fail_in_child(out, 2);
            auto put = [](const char* path, const char* text) {
                int fd = open(path, O_WRONLY);
                bool ok = fd >= 0 && write(fd, text, std::strlen(text)) == static_cast<ssize_t>(std::strlen(text));
                if (fd >= 0) close(fd);
                return ok;
            };
            if (!put("/proc/self/setgroups", "deny") || !put("/proc/self/uid_map", uid_map) ||
                !put("/proc/self/gid_map", gid_map)) {
                fail_in_child(out, 3);
            }
        }
        if (chroot(root.c_str()) != 0) fail_in_child(out, 4);
        if (chdir("/mnt/sd") != 0) fail_in_child(out, 5);
        if (as_root) {
            // Giving up root clears every capability.
            if (setgroups(0, nullptr) != 0) fail_in_child(out, 6);
            if (setgid(gid) != 0) fail_in_child(out, 7);
            if (setuid(uid) != 0) fail_in_child(out, 8);
        }
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) fail_in_child(out, 9);
        // The console stands in for hardware, which never waits for the CPU:
        // when the PC is short of time, the program gives way to the console's
        // threads (vertical sync, the ARM940T, the sound device), not they to
        // it. A console run as root has raised its own, and the program keeps
        // the PC's ordinary niceness; otherwise the program is lowered.
        if (program_niceness > console_niceness) setpriority(PRIO_PROCESS, 0, program_niceness);
        // The console's end ends the program too (set after the change of user,
        // which clears it).
        if (prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0) != 0) fail_in_child(out, 10);
        // Only the standard streams reach the program; qemu's own file and
        // the report pipe close at exec.
        const unsigned low = static_cast<unsigned>(std::min(qemu_fd, out));
        const unsigned high = static_cast<unsigned>(std::max(qemu_fd, out));
        if (low > 3) syscall(SYS_close_range, 3u, low - 1, 0u);
        if (high > low + 1) syscall(SYS_close_range, low + 1, high - 1, 0u);
        syscall(SYS_close_range, high + 1, ~0u, 0u);
        fexecve(qemu_fd, argv.data(), envp);
        fail_in_child(out, 11);
    }
    close(report[1]);
    close(qemu_fd);
    if (pid < 0) {
        close(report[0]);
        why_not = error_text("fork");
        stop_ = true;
        pump_thread_.join();
        sound_thread_.join();
        return false;
    }
    pid_ = pid;
    int words[2] = {0, 0};
    ssize_t n = read(report[0], words, sizeof words);
    close(report[0]);
    if (n == static_cast<ssize_t>(sizeof words)) {
        reap(true);
        int step = words[0] >= 0 && words[0] < static_cast<int>(std::size(CHILD_STEPS)) ? words[0] : 0;
        why_not = std::string("cannot close the box (") + CHILD_STEPS[step] + "): " + std::strerror(words[1]);
        if (step == 2 || step == 3) why_not += " (run as root, or allow user namespaces)";
        stop_ = true;
        pump_thread_.join();
        sound_thread_.join();
        return false;
    }
    if (config_.watch_address != 0) {
        char path[64];
        std::snprintf(path, sizeof path, "/proc/%d/mem", static_cast<int>(pid_));
        proc_mem_fd_ = open(path, O_RDONLY | O_CLOEXEC);
    }
    return true;
}

// ---- the register page -------------------------------------------------------

void Box::pump() {
    Console& console = *console_;
    Clock& clock = console.clock();
    // The button lines at rest, as the console left them at power-on.
    const uint16_t rest_low = console.peek_register(REG_BUTTONS_LOW);
    const uint16_t rest_high = console.peek_register(REG_BUTTONS_HIGH);
    uint16_t last[std::size(WATCHED)];
    for (size_t i = 0; i < std::size(WATCHED); ++i) last[i] = console.peek_register(WATCHED[i]);

    bool final_pass = false;
    for (;;) {
        uint64_t now = clock.now_ns();
        console.poke_register(REG_VSYNC_STATUS,
                              console.bus_value(REG_VSYNC_STATUS, console.peek_register(REG_VSYNC_STATUS)));
        console.poke_register(REG_BUTTONS_LOW, console.bus_value(REG_BUTTONS_LOW, rest_low));
        console.poke_register(REG_BUTTONS_HIGH, console.bus_value(REG_BUTTONS_HIGH, rest_high));
        for (size_t i = 0; i < std::size(WATCHED); ++i) {
            uint16_t v = console.peek_register(WATCHED[i]);
            if (v == last[i]) continue;
            last[i] = v;
            console.register_written(WATCHED[i], v);
            if (WATCHED[i] == REG_DISPLAY_ADDR2_HIGH) on_flip(now);
        }
        if (final_pass) return;
        // One more pass after the end: the last writes of a program that
        // left within the period.
        if (stop_.load()) {
            final_pass = true;
            continue;
        }
        uint64_t next = std::min(now + PUMP_PERIOD_NS, clock.next_vsync_change(now));
        clock.sleep_until_ns(next);
    }
}

void Box::on_flip(uint64_t) {
    Console& console = *console_;
    uint32_t address = console.display_address();
    bool black = true;
    if (address >= VIDEO_WINDOW_PHYS && address + WIDTH * HEIGHT * 2 <= VIDEO_WINDOW_PHYS + VIDEO_WINDOW_BYTES) {
        const uint8_t* p = video_ + (address - VIDEO_WINDOW_PHYS);
        for (uint32_t i = 0; i < WIDTH * HEIGHT * 2 && black; ++i) black = p[i] == 0;
    }
    double t = static_cast<double>(steady_ns() - start_ns_) / 1e9;
    double program_cpu = process_cpu_s(pid_);
    double console_cpu = console_cpu_s();
    uint32_t watched = 0;
    bool have_watch = config_.watch_address != 0 && read_guest(config_.watch_address, &watched, sizeof watched);

    std::lock_guard<std::mutex> lock(mutex_);
    BoxFrames& f = frames_;
    ++f.flips;
    f.trailing_black = black ? f.trailing_black + 1 : 0;
    if (!black) ++f.pictures;
    if (!black && f.first_picture_flip == 0) {
        f.first_picture_flip = f.flips;
        f.first_picture_s = t;
    }
    if (f.flips == 1) {
        f.first_flip_s = t;
        f.program_cpu_first = program_cpu;
        f.console_cpu_first = console_cpu;
    }
    f.last_flip_s = t;
    if (program_cpu >= 0) f.program_cpu_last = program_cpu;
    f.console_cpu_last = console_cpu;
    if (have_watch && (watched_.empty() || watched_.back().value != watched)) watched_.push_back({f.flips, watched});
}

bool Box::read_guest(uint32_t address, void* out, size_t length) {
    if (proc_mem_fd_ < 0) return false;
    return pread(proc_mem_fd_, out, length, static_cast<off_t>(BOX_GUEST_BASE + address)) ==
           static_cast<ssize_t>(length);
}

// ---- the sound device ----------------------------------------------------------

void Box::drain_sound() {
    Console& console = *console_;
    uint8_t fragment[SOUND_FRAGMENT_BYTES];
    int fd = -1;
    while (!stop_.load()) {
        pollfd p{dsp_fd_, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        ssize_t n = read(dsp_fd_, fragment, sizeof fragment);
        if (n > 0) {
            // Through the console's own entry: it counts what the device gets
            // against the coprocessor's position as for a program of its own.
            if (fd < 0) fd = console.sound_open();
            if (fd >= 0) console.sound_write(fd, fragment, static_cast<uint32_t>(n));
            sound_bytes_ += static_cast<uint64_t>(n);
        } else if (n == 0) {
            // The program closed its device. A fresh reading end waits for
            // the next open without reporting the hang-up over and over.
            if (fd >= 0) console.sound_close(fd);
            fd = -1;
            int again = open((root_ + "/dev/dsp").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            if (again >= 0) {
                fcntl(again, F_SETPIPE_SZ, PIPE_BYTES);
                dup2(again, dsp_fd_);
                fcntl(dsp_fd_, F_SETFD, FD_CLOEXEC);
                close(again);
            }
        }
    }
    if (fd >= 0) console.sound_close(fd);
}

// ---- the end -----------------------------------------------------------------------

void Box::reap(bool wait) {
    if (pid_ <= 0 || reaped_) return;
    int status = 0;
    rusage usage{};
    pid_t r = wait4(pid_, &status, wait ? 0 : WNOHANG, &usage);
    if (r != pid_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    reaped_ = true;
    wait_status_ = status;
    program_cpu_final_ = seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

bool Box::finished() {
    reap(false);
    if (!reaped_) return false;
    stop_ = true;
    if (pump_thread_.joinable()) pump_thread_.join();
    if (sound_thread_.joinable()) sound_thread_.join();
    return true;
}

void Box::kill_program() {
    if (pid_ > 0 && !reaped_) kill(pid_, SIGKILL);
}

BoxEnd Box::end() {
    BoxEnd e;
    if (!finished()) return e;
    e.ended = true;
    if (WIFEXITED(wait_status_)) e.exit_status = WEXITSTATUS(wait_status_);
    if (WIFSIGNALED(wait_status_)) e.signal = WTERMSIG(wait_status_);
    // The stand-in menu: NUL-separated path, directory, count of environment
    // strings, then the arguments.
    std::ifstream in(root_ + "/" + MENU_REPORT, std::ios::binary);
    std::vector<std::string> fields;
    std::string field;
    while (std::getline(in, field, '\0')) fields.push_back(field);
    if (fields.size() >= 3) {
        e.menu_started = true;
        e.menu_path = fields[0];
        e.menu_directory = fields[1];
        e.menu_envc = std::atoi(fields[2].c_str());
        e.menu_argv.assign(fields.begin() + 3, fields.end());
    }
    return e;
}

BoxFrames Box::frames() {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
}

std::vector<BoxWatch> Box::watched() {
    std::lock_guard<std::mutex> lock(mutex_);
    return watched_;
}

double Box::elapsed_s() { return static_cast<double>(steady_ns() - start_ns_) / 1e9; }

double Box::program_cpu_s() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (reaped_) return program_cpu_final_;
    }
    return process_cpu_s(pid_);
}

double Box::console_cpu_s() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace korvax::host
