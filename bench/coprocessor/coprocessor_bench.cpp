// The coprocessor image decoding a 60 s stream (libvorbisenc, quality 4,
// 44.1 kHz stereo) on the emulated ARM940T, the host taking buffers at the
// sound device's pace. Counters:
//   arm_insns_per_audio_s  instructions the program executes per second of
//                          sound (idle spinning excluded)
//   load_percent           that share of the 200 MHz core
//   emulated_mips          instructions the emulator executes per second of
//                          host CPU time
//   realtime_factor        seconds of sound per second of host CPU time
//   heap_top_bytes, heap_peak_bytes, stack_bytes: memory the program used
#include <benchmark/benchmark.h>

#include <ctime>

#include "tests/coprocessor/support/coprocessor_rig.h"

namespace korvax::test {
namespace {

double thread_cpu_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

const std::vector<uint8_t>& sixty_seconds() {
    static const std::vector<uint8_t> stream = make_stream(60.0, 0.4);
    return stream;
}

void BM_EmulatedDecodeSixtySeconds(benchmark::State& state) {
    const std::vector<uint8_t>& stream = sixty_seconds();
    if (stream.empty()) {
        state.SkipWithError("no stream");
        return;
    }
    const size_t samples = 60 * 44100 * 2;
    for (auto _ : state) {
        CoprocessorRig rig;
        rig.init_block();
        rig.paint_stack();
        rig.boot();
        rig.place(stream);
        rig.set(rig.block().play, 1);
        std::vector<int16_t> out;
        out.reserve(samples + 8192);
        uint32_t heap_top = 0;
        uint32_t heap_peak = 0;
        double cpu = thread_cpu_seconds();
        while (out.size() < samples) {
            if (!rig.play_until(out, out.size() + PCM_BUFFER_SAMPLES)) {
                state.SkipWithError("the core stopped delivering");
                return;
            }
            ArmHeap heap = rig.heap();
            heap_top = std::max(heap_top, heap.top - heap.start);
            heap_peak = std::max(heap_peak, heap.peak);
        }
        cpu = thread_cpu_seconds() - cpu;
        double audio_seconds = static_cast<double>(out.size()) / (44100.0 * 2);
        double busy = static_cast<double>(rig.core().busy_instructions());
        state.counters["arm_insns_per_audio_s"] = busy / audio_seconds;
        state.counters["load_percent"] = 100.0 * busy / audio_seconds / host::Arm940t::CLOCK_HZ;
        state.counters["emulated_mips"] = static_cast<double>(rig.core().executed_instructions()) / cpu / 1e6;
        state.counters["realtime_factor"] = audio_seconds / cpu;
        state.counters["heap_top_bytes"] = heap_top;
        state.counters["heap_peak_bytes"] = heap_peak;
        state.counters["stack_bytes"] = 0x100000 - rig.stack_low_water();
    }
}
BENCHMARK(BM_EmulatedDecodeSixtySeconds)->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(3);

}  // namespace
}  // namespace korvax::test

BENCHMARK_MAIN();
