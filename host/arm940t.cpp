#include "host/arm940t.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "host/console.h"

namespace korvax::host {

namespace {

// Never reached: the core runs until its budget is spent or it idles.
constexpr uint64_t NEVER = 0xFFFFFFF0u;
// Blocks between two anchors of the idle-cycle detection: cycles up to this
// long are found (a failing open and read of a stream takes about 700).
constexpr uint64_t ANCHOR_BLOCKS = 4096;
// Returns to an anchor's block that are compared before it is given up (a
// block can come round several times a cycle with different registers).
constexpr int ANCHOR_VISITS = 8;
// An idle core whose watched memory stays the same is still run now and then
// (every 100 ms of its clock), in case it waits on memory outside the watch.
constexpr uint64_t IDLE_RECHECK_INSTRUCTIONS = Arm940t::CLOCK_HZ / 10;
constexpr uint32_t CPSR_THUMB = 1u << 5;
// Reset state of an ARM core: supervisor mode, interrupts masked, ARM state.
constexpr uint32_t CPSR_RESET = 0xD3;

const int SNAPSHOT_REGS[16] = {
    UC_ARM_REG_R0, UC_ARM_REG_R1, UC_ARM_REG_R2,  UC_ARM_REG_R3,  UC_ARM_REG_R4,  UC_ARM_REG_R5,
    UC_ARM_REG_R6, UC_ARM_REG_R7, UC_ARM_REG_R8,  UC_ARM_REG_R9,  UC_ARM_REG_R10, UC_ARM_REG_R11,
    UC_ARM_REG_R12, UC_ARM_REG_SP, UC_ARM_REG_LR, UC_ARM_REG_CPSR,
};

uint32_t read_reg(uc_engine* uc, int reg) {
    uint32_t v = 0;
    uc_reg_read(uc, reg, &v);
    return v;
}

}  // namespace

Arm940t::Arm940t(uint8_t* memory, uint32_t bytes) : memory_(memory), bytes_(bytes) {}

Arm940t::~Arm940t() {
    stop_pacing();
    std::lock_guard<std::mutex> lock(mutex_);
    destroy_engine();
}

// ---- control lines ---------------------------------------------------------------

void Arm940t::set_reset(bool held) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (held == held_) return;
        held_ = held;
        destroy_engine();
        if (!held) {
            create_engine();
            boots_.fetch_add(1);
        }
    }
    pace_wake_.notify_all();
}

void Arm940t::set_clock(bool running) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        clocked_ = running;
    }
    pace_wake_.notify_all();
}

bool Arm940t::running() {
    std::lock_guard<std::mutex> lock(mutex_);
    return uc_ && !held_ && clocked_ && !faulted_;
}

bool Arm940t::faulted() {
    std::lock_guard<std::mutex> lock(mutex_);
    return faulted_;
}

int Arm940t::fault_error() {
    std::lock_guard<std::mutex> lock(mutex_);
    return fault_error_;
}

uint32_t Arm940t::fault_pc() {
    std::lock_guard<std::mutex> lock(mutex_);
    return fault_pc_;
}

uint32_t Arm940t::pc() {
    std::lock_guard<std::mutex> lock(mutex_);
    return uc_ ? resume_pc_ : 0;
}

bool Arm940t::idle() {
    std::lock_guard<std::mutex> lock(mutex_);
    return idle_;
}

void Arm940t::set_idle_watch(uint32_t offset, uint32_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    watch_offset_ = offset & ~3u;
    watch_length_ = std::min((length + 3u) & ~3u, bytes_ - watch_offset_);
    watch_snapshot_.assign(watch_length_ / 4, 0);
    idle_ = false;
}

// ---- the engine --------------------------------------------------------------------

void Arm940t::create_engine() {
    faulted_ = false;
    fault_error_ = 0;
    fault_pc_ = 0;
    resume_pc_ = 0;
    carry_ = 0;
    idle_ = false;
    anchor_set_ = false;
    blocks_since_anchor_ = 0;

    uc_engine* uc = nullptr;
    if (uc_open(UC_ARCH_ARM, UC_MODE_ARM, &uc) != UC_ERR_OK) {
        faulted_ = true;
        fault_error_ = UC_ERR_ARCH;
        return;
    }
    // The ARM946 is Unicorn's protection-unit core of the ARMv5 family closest
    // to the ARM940T: it takes the start-up's region, cacheability and
    // permission writes (caches are not modelled; nor is a protection fault).
    uc_ctl_set_cpu_model(uc, UC_CPU_ARM_946);
    uc_err err = uc_mem_map_ptr(uc, 0, bytes_, UC_PROT_ALL, memory_);
    uc_hook hook;
    if (err == UC_ERR_OK) {
        err = uc_hook_add(uc, &hook, UC_HOOK_BLOCK, reinterpret_cast<void*>(&Arm940t::block_hook), this, 1, 0);
    }
    if (err != UC_ERR_OK) {
        uc_close(uc);
        faulted_ = true;
        fault_error_ = err;
        return;
    }
    uint32_t cpsr = CPSR_RESET;
    uc_reg_write(uc, UC_ARM_REG_CPSR, &cpsr);
    uc_ = uc;
}

void Arm940t::destroy_engine() {
    if (uc_) uc_close(uc_);
    uc_ = nullptr;
    idle_ = false;
}

void Arm940t::block_hook(uc_struct* uc, uint64_t address, uint32_t size, void* self) {
    (void)uc;
    static_cast<Arm940t*>(self)->on_block(address, size);
}

void Arm940t::on_block(uint64_t address, uint32_t size) {
    // The image is ARM code throughout: four bytes an instruction.
    uint64_t n = size / 4;
    if (slice_executed_ + n > slice_budget_) {
        // Stops before this block: the next slice resumes here.
        stopped_for_budget_ = true;
        uc_emu_stop(uc_);
        return;
    }

    uint32_t a = static_cast<uint32_t>(address);
    if (anchor_set_ && a == anchor_pc_ && anchor_visits_ < ANCHOR_VISITS) {
        ++anchor_visits_;
        uint32_t regs[16];
        for (int i = 0; i < 16; ++i) regs[i] = read_reg(uc_, SNAPSHOT_REGS[i]);
        if (std::memcmp(regs, anchor_regs_, sizeof(regs)) == 0 && ++anchor_matches_ == 2) {
            // Round the same cycle twice: stop before this block.
            stopped_idle_ = true;
            anchor_set_ = false;
            blocks_since_anchor_ = 0;
            spin_.fetch_add(slice_executed_ - anchor_executed_);
            uc_emu_stop(uc_);
            return;
        }
    }
    if (++blocks_since_anchor_ >= ANCHOR_BLOCKS) {
        blocks_since_anchor_ = 0;
        anchor_set_ = true;
        anchor_pc_ = a;
        for (int i = 0; i < 16; ++i) anchor_regs_[i] = read_reg(uc_, SNAPSHOT_REGS[i]);
        anchor_executed_ = slice_executed_;
        anchor_visits_ = 0;
        anchor_matches_ = 0;
    }
    slice_executed_ += n;
}

uint64_t Arm940t::run_instructions(uint64_t n) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!uc_ || held_ || !clocked_ || faulted_) return 0;
    accounted_.fetch_add(n);

    if (idle_ && watch_length_ > 0 && idle_skipped_ + n <= IDLE_RECHECK_INSTRUCTIONS && watch_unchanged()) {
        idle_skipped_ += n;
        carry_ = 0;
        return n;  // still spinning on unchanged memory
    }
    idle_ = false;

    uint32_t share = share_percent_.load(std::memory_order_relaxed);
    slice_budget_ = (share >= 100 ? n : n * share / 100) + carry_;
    slice_executed_ = 0;
    stopped_for_budget_ = false;
    stopped_idle_ = false;
    // An anchor noted in an earlier slice counts from the start of this one.
    anchor_executed_ = 0;

    uint64_t begin = resume_pc_;
    if (read_reg(uc_, UC_ARM_REG_CPSR) & CPSR_THUMB) begin |= 1;
    uc_err err = uc_emu_start(uc_, begin, NEVER, 0, 0);
    resume_pc_ = read_reg(uc_, UC_ARM_REG_PC);
    executed_.fetch_add(slice_executed_);

    if (err != UC_ERR_OK) {
        faulted_ = true;
        fault_error_ = err;
        fault_pc_ = resume_pc_;
        carry_ = 0;
        pace_wake_.notify_all();
        return n;
    }
    if (stopped_idle_) {
        idle_ = true;
        idle_skipped_ = 0;
        carry_ = 0;
        take_watch_snapshot();
    } else {
        carry_ = slice_budget_ - slice_executed_;
    }
    return n;
}

// The watched words are read with atomic loads: host threads write them
// (with release order) while the core's thread compares.
void Arm940t::take_watch_snapshot() {
    const uint32_t* words = reinterpret_cast<const uint32_t*>(memory_ + watch_offset_);
    for (size_t i = 0; i < watch_snapshot_.size(); ++i) {
        watch_snapshot_[i] = std::atomic_ref<uint32_t>(const_cast<uint32_t&>(words[i])).load(std::memory_order_acquire);
    }
}

bool Arm940t::watch_unchanged() {
    const uint32_t* words = reinterpret_cast<const uint32_t*>(memory_ + watch_offset_);
    for (size_t i = 0; i < watch_snapshot_.size(); ++i) {
        if (std::atomic_ref<uint32_t>(const_cast<uint32_t&>(words[i])).load(std::memory_order_acquire) !=
            watch_snapshot_[i]) {
            return false;
        }
    }
    return true;
}

// ---- real-time pacing ------------------------------------------------------------------

void Arm940t::start_pacing(Clock& clock) {
    std::lock_guard<std::mutex> lock(pace_mutex_);
    if (pacer_.joinable()) return;
    pace_stop_ = false;
    pacer_ = std::thread(&Arm940t::pace, this, &clock);
}

void Arm940t::stop_pacing() {
    {
        std::lock_guard<std::mutex> lock(pace_mutex_);
        pace_stop_ = true;
    }
    pace_wake_.notify_all();
    if (pacer_.joinable()) pacer_.join();
}

void Arm940t::pace(Clock* clock) {
    uint64_t next = clock->now_ns();
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(pace_mutex_);
            if (pace_stop_) return;
        }
        if (!running()) {
            // Nothing to run: wait for a release or a clock, looking again
            // now and then (a condition variable that counts on the register
            // writes alone could miss one between the test and the wait).
            std::unique_lock<std::mutex> lock(pace_mutex_);
            pace_wake_.wait_for(lock, std::chrono::milliseconds(5));
            next = clock->now_ns();
            continue;
        }
        run_instructions(SLICE_INSTRUCTIONS);
        next += SLICE_NS;
        // A core that fell far behind (the host was busy) does not race to
        // catch up: it resumes its pace from now.
        uint64_t now = clock->now_ns();
        if (now > next + 4 * SLICE_NS) {
            lost_ns_.fetch_add(now - next);
            next = now;
        }
        std::unique_lock<std::mutex> lock(pace_mutex_);
        for (;;) {
            if (pace_stop_) return;
            uint64_t now = clock->now_ns();
            if (now >= next) break;
            pace_wake_.wait_for(lock, std::chrono::nanoseconds(next - now));
        }
    }
}

}  // namespace korvax::host
