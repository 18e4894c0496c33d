// The console's ARM940T: the coprocessor of the MMSP2, emulated by Unicorn.
//
// It runs the coprocessor image from its address 0, which is offset 0 of the
// memory shared with the main core: the engine works on that very host buffer,
// so what the core writes the host threads see, and the other way round. The
// core runs while it is out of reset (register 0x3B48 bit 7 clear) and clocked
// (register 0x0904 bit 0 set); every release from reset starts a fresh core at
// address 0, because the host copies the image anew at every boot.
//
// Time is counted in instructions at a modelled 200 MHz, one instruction per
// clock. run_instructions(n) advances the core by n instructions of its clock;
// a real-time pacer thread calls it in slices against the console clock, and a
// deterministic clock may call it directly.
//
// The program's control loop spins polling the control block whenever it has
// nothing to do (or, with a stream that cannot be decoded, opens and fails to
// read it over and over). The core recognises such a cycle (it comes back to
// the same block with every register unchanged, so it will only ever repeat
// itself until memory changes) and stops executing it: the rest of the slice
// is counted as spent, and, while the watched memory (the control block) holds
// the same bytes, later slices are counted without being executed at all (but
// for one short run every 100 ms of the core's clock, in case the spin waits on
// memory outside the watch).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

struct uc_struct;

namespace korvax::host {

class Clock;

class Arm940t {
public:
    static constexpr uint64_t CLOCK_HZ = 200000000;
    // Instructions per pacer slice: one sixtieth of a second.
    static constexpr uint64_t SLICE_INSTRUCTIONS = CLOCK_HZ / 60;  // 3,333,333
    static constexpr uint64_t SLICE_NS = 1000000000ull / 60;

    // memory: the host buffer that is the coprocessor's address 0 onwards;
    // bytes: its size, a multiple of 4 KiB.
    Arm940t(uint8_t* memory, uint32_t bytes);
    ~Arm940t();
    Arm940t(const Arm940t&) = delete;
    Arm940t& operator=(const Arm940t&) = delete;

    // Register 0x3B48 bit 7: held in reset. A release starts a new core at 0.
    void set_reset(bool held);
    // Register 0x0904 bit 0: the core's clock runs.
    void set_clock(bool running);
    // Released, clocked and not stopped by a fault.
    bool running();

    // Advances the core by n instructions of its clock, if it is running:
    // executes whole blocks of instructions up to that budget (what a block
    // boundary leaves over is carried into the next call) and counts the time
    // it would spin idle as spent. Returns the instructions accounted: n when
    // running, 0 otherwise.
    uint64_t run_instructions(uint64_t n);

    // For a virtual clock's advance hook: runs the instructions of the core's
    // clock between two console times (one every NS_PER_INSTRUCTION), counted
    // from time 0 so that consecutive intervals add up without drift.
    static constexpr uint64_t NS_PER_INSTRUCTION = 1000000000ull / CLOCK_HZ;  // 5
    uint64_t run_between_ns(uint64_t from, uint64_t to) {
        return run_instructions(to / NS_PER_INSTRUCTION - from / NS_PER_INSTRUCTION);
    }

    // Percent of the instructions it is given that the core executes (tests
    // starve it with less than 100, as a machine too busy to run it would).
    void set_share_percent(uint32_t percent) { share_percent_ = percent > 100 ? 100 : percent; }

    // Memory whose change ends an idle spin: the control block. Without a
    // watch, an idle spin is stopped again in every slice but never skipped.
    void set_idle_watch(uint32_t offset, uint32_t length);

    // Runs the core in real time on `clock` from a thread of its own: slices of
    // SLICE_INSTRUCTIONS every SLICE_NS while the core is running.
    void start_pacing(Clock& clock);
    void stop_pacing();

    // Counters since construction. instructions(): clock cycles accounted, idle
    // ones included; executed_instructions(): those actually emulated;
    // busy_instructions(): executed ones outside detected idle spins, the
    // program's load.
    uint64_t instructions() const { return accounted_.load(); }
    uint64_t executed_instructions() const { return executed_.load(); }
    uint64_t busy_instructions() const { return executed_.load() - spin_.load(); }
    // Console time the real-time pacer gave up on because the host could not
    // run the core fast enough (each time it fell more than four slices behind).
    uint64_t lost_ns() const { return lost_ns_.load(); }
    // Releases from reset since construction.
    uint64_t boots() const { return boots_.load(); }

    // The core stopped on an error (an unmapped access, an undefined
    // instruction, an exception): it stays stopped until the next release.
    bool faulted();
    int fault_error();  // the Unicorn error code
    uint32_t fault_pc();  // where it stopped (the start of the faulting block)
    // The program counter (0 while no core exists).
    uint32_t pc();
    // True while the core is known to spin idle.
    bool idle();

private:
    struct Cycle;
    static void block_hook(uc_struct* uc, uint64_t address, uint32_t size, void* self);
    void on_block(uint64_t address, uint32_t size);
    void create_engine();
    void destroy_engine();
    bool watch_unchanged();
    void take_watch_snapshot();
    void pace(Clock* clock);

    uint8_t* memory_;
    uint32_t bytes_;

    std::mutex mutex_;  // the engine and the state below
    uc_struct* uc_ = nullptr;
    bool held_ = true;
    bool clocked_ = false;
    bool faulted_ = false;
    int fault_error_ = 0;
    uint32_t fault_pc_ = 0;
    uint32_t resume_pc_ = 0;
    uint64_t carry_ = 0;

    // The slice being executed (touched by the block hook).
    uint64_t slice_budget_ = 0;
    uint64_t slice_executed_ = 0;
    bool stopped_for_budget_ = false;
    bool stopped_idle_ = false;

    // Idle-spin detection. Every ANCHOR_BLOCKS blocks the block about to run
    // and every register are noted; when the same block comes round again
    // with every register the same, twice in a row, the core is in a cycle
    // that only repeats itself until memory changes under it.
    uint64_t blocks_since_anchor_ = 0;
    bool anchor_set_ = false;
    uint32_t anchor_pc_ = 0;
    uint32_t anchor_regs_[16] = {};
    uint64_t anchor_executed_ = 0;  // slice_executed_ when the anchor was noted (0: an earlier slice)
    int anchor_visits_ = 0;         // returns to the anchor's block compared so far
    int anchor_matches_ = 0;        // of them, with every register the same
    bool idle_ = false;
    uint64_t idle_skipped_ = 0;  // accounted without running since the spin was found

    uint32_t watch_offset_ = 0;
    uint32_t watch_length_ = 0;
    std::vector<uint32_t> watch_snapshot_;

    std::atomic<uint64_t> accounted_{0};
    std::atomic<uint64_t> executed_{0};
    std::atomic<uint64_t> spin_{0};
    std::atomic<uint64_t> boots_{0};
    std::atomic<uint64_t> lost_ns_{0};
    std::atomic<uint32_t> share_percent_{100};

    std::mutex pace_mutex_;
    std::condition_variable pace_wake_;
    bool pace_stop_ = false;
    std::thread pacer_;
};

}  // namespace korvax::host
