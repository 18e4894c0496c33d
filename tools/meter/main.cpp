// korvax-meter: the instructions the ARM920T spends on each frame of the whole
// sequence. Runs the ARM build of the system (tools/meter/image) on Unicorn's
// ARMv4T core: the start-up, then every frame as the frame loop plays it at
// music position 1,470 x frame until the sequence ends, and prints per scene
// the mean and worst instructions a frame and their share of a 60 Hz frame of
// a 200 MHz core, the start-up total and the functions that take the most.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/meter/emulator.h"
#include "tools/meter/image/frame_work.h"

namespace {

using korvax::meter::ArmCore;

constexpr double FRAME_BUDGET = 3333333.0;  // 200 MHz / 60 Hz, one instruction a cycle at best
constexpr int SCENES = 10;
constexpr uint32_t FRAME_PIXELS = 320 * 240;

struct SceneFigures {
    uint64_t frames = 0;
    uint64_t total = 0;
    uint64_t worst = 0;
    uint64_t worst_frame = 0;
    std::vector<uint64_t> profile;  // per code address
};

std::string grouped(uint64_t v) {
    const std::string digits = std::to_string(v);
    std::string s;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0) s.push_back(',');
        s.push_back(digits[i]);
    }
    return s;
}

std::string percent(double part, double whole) {
    char b[32];
    std::snprintf(b, sizeof b, "%.1f%%", 100.0 * part / whole);
    return b;
}

void print_top(const ArmCore& core, const std::vector<uint64_t>& profile, uint64_t total, size_t count,
               const char* indent) {
    const auto top = core.by_function(profile);
    for (size_t i = 0; i < top.size() && i < count; ++i) {
        std::printf("%s%-44s %15s  %6s\n", indent, top[i].name.c_str(), grouped(top[i].instructions).c_str(),
                    percent(static_cast<double>(top[i].instructions), static_cast<double>(total)).c_str());
    }
}

int usage() {
    std::fprintf(stderr,
                 "usage: korvax-meter [--image FILE.elf] [--frames N | --sample N] [--top N] [--per-scene N]\n"
                 "  --frames N     stop after N frames (default: the whole sequence)\n"
                 "  --sample N     only N frames of each scene, entered directly a second into it\n"
                 "  --top N        functions listed for all frames (default 15)\n"
                 "  --per-scene N  also list the top N functions of each scene\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string image = KORVAX_METER_IMAGE;
    uint64_t frame_limit = UINT64_MAX;
    uint64_t sample = 0;
    size_t top = 15, per_scene = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc) return usage();
        if (a == "--image") {
            image = argv[++i];
        } else if (a == "--frames") {
            frame_limit = std::strtoull(argv[++i], nullptr, 10);
        } else if (a == "--sample") {
            sample = std::strtoull(argv[++i], nullptr, 10);
        } else if (a == "--top") {
            top = std::strtoul(argv[++i], nullptr, 10);
        } else if (a == "--per-scene") {
            per_scene = std::strtoul(argv[++i], nullptr, 10);
        } else {
            return usage();
        }
    }

    ArmCore core(image);
    if (!core.ok()) {
        std::fprintf(stderr, "korvax-meter: %s\n", core.error().c_str());
        return 1;
    }
    const auto start = core.call("meter_init");
    const auto start_up = start.ok ? core.call("meter_start_up") : start;
    if (!start_up.ok) {
        std::fprintf(stderr, "korvax-meter: start-up failed: %s\n", start_up.error.c_str());
        return 1;
    }
    const std::vector<uint64_t> start_up_profile = core.per_address();

    const uint32_t frame_fn = core.address_of("meter_frame");
    const uint32_t back_buffer = core.call("meter_back_buffer").r0;
    const uint32_t scene_state = core.address_of("_ZN6korvax10SceneStateE");
    SceneFigures scenes[SCENES + 1];
    std::vector<uint64_t> mark = core.per_address();
    int current = 0;
    auto close_scene = [&] {
        if (current < 1 || current > SCENES) return;
        std::vector<uint64_t>& p = scenes[current].profile;
        const std::vector<uint64_t>& now = core.per_address();
        if (p.empty()) p.assign(now.size(), 0);
        for (size_t i = 0; i < now.size(); ++i) p[i] += now[i] - mark[i];
        mark = now;
    };

    // FNV-1a over the pixels of every frame drawn: equal digests, equal frames.
    uint32_t digest = 2166136261u;
    std::vector<uint16_t> pixels(FRAME_PIXELS);
    uint64_t frame = 0;
    bool finished = false;
    // Positions a second into each scene, for --sample.
    const uint32_t scene_start[SCENES + 1] = {0,       88200,   2068200, 3188200, 4301200, 5473200,
                                              6580200, 8813200, 9968200, 11088200, 12208200};
    for (; frame < frame_limit && !finished; ++frame) {
        uint32_t position = static_cast<uint32_t>(frame * METER_SAMPLES_PER_FRAME);
        if (sample != 0) {
            const int k = static_cast<int>(frame / sample) + 1;
            if (k > SCENES) break;
            if (frame % sample == 0) core.call("meter_enter_scene", {static_cast<uint32_t>(k)});
            position = scene_start[k] + static_cast<uint32_t>(frame % sample) * METER_SAMPLES_PER_FRAME;
        }
        // The scene about to be drawn: its profile starts here.
        uint32_t about_to_draw = 0;
        core.read(scene_state, &about_to_draw, 4);
        if (static_cast<int>(about_to_draw) != current) {
            close_scene();
            current = static_cast<int>(about_to_draw);
        }
        const auto r = core.call(frame_fn, {position});
        if (!r.ok) {
            std::fprintf(stderr, "korvax-meter: frame %" PRIu64 " failed: %s\n", frame, r.error.c_str());
            return 1;
        }
        const int scene = static_cast<int>(r.r0 & 0xFF);
        finished = (r.r0 & 256) != 0;
        if (scene >= 1 && scene <= SCENES) {
            SceneFigures& s = scenes[scene];
            ++s.frames;
            s.total += r.instructions;
            if (r.instructions > s.worst) {
                s.worst = r.instructions;
                s.worst_frame = frame;
            }
        }
        core.read(back_buffer, pixels.data(), pixels.size() * 2);
        for (uint16_t p : pixels) digest = (digest ^ p) * 16777619u;
    }
    close_scene();

    std::printf("ARM920T instructions (Unicorn TI925T, ARMv4T; -mcpu=arm920t -marm -mfloat-abi=soft -O2)\n");
    std::printf("start-up: %s instructions\n", grouped(start_up.instructions).c_str());
    std::printf("frames: %s%s, digest %08x\n\n", grouped(frame).c_str(), finished ? " (whole sequence)" : "",
                digest);
    std::printf("| scene | frames | mean instr/frame | worst frame | mean share | worst share |\n");
    std::printf("|---:|---:|---:|---:|---:|---:|\n");
    uint64_t all_total = 0, all_frames = 0;
    std::vector<uint64_t> all_profile(core.per_address().size(), 0);
    for (int k = 1; k <= SCENES; ++k) {
        const SceneFigures& s = scenes[k];
        if (s.frames == 0) continue;
        all_total += s.total;
        all_frames += s.frames;
        for (size_t i = 0; i < s.profile.size(); ++i) all_profile[i] += s.profile[i];
        const uint64_t mean = s.total / s.frames;
        std::printf("| %d | %s | %s | %s | %s | %s |\n", k, grouped(s.frames).c_str(), grouped(mean).c_str(),
                    grouped(s.worst).c_str(), percent(static_cast<double>(mean), FRAME_BUDGET).c_str(),
                    percent(static_cast<double>(s.worst), FRAME_BUDGET).c_str());
    }
    if (all_frames != 0) {
        std::printf("\nall frames: mean %s instructions (%s of 3,333,333)\n",
                    grouped(all_total / all_frames).c_str(),
                    percent(static_cast<double>(all_total / all_frames), FRAME_BUDGET).c_str());
        std::printf("top functions, all frames:\n");
        print_top(core, all_profile, all_total, top, "  ");
    }
    std::printf("top functions, start-up:\n");
    print_top(core, start_up_profile, start_up.instructions, 5, "  ");
    if (const char* fn = std::getenv("METER_DUMP")) {
        for (int k = 1; k <= SCENES; ++k) {
            const SceneFigures& s = scenes[k];
            if (s.frames == 0) continue;
            for (const auto& f : core.functions()) {
                if (f.name != fn) continue;
                std::printf("dump scene %d %s\n", k, fn);
                for (uint32_t a = f.address; a < f.address + f.size; a += 4) {
                    const size_t i = (a - core.code_base()) / 4;
                    if (i < s.profile.size() && s.profile[i]) std::printf("  %08x %12llu\n", a, (unsigned long long)(s.profile[i] / s.frames));
                }
            }
        }
    }
    if (per_scene != 0) {
        for (int k = 1; k <= SCENES; ++k) {
            const SceneFigures& s = scenes[k];
            if (s.frames == 0) continue;
            std::printf("scene %d (worst frame %s):\n", k, grouped(s.worst_frame).c_str());
            print_top(core, s.profile, s.total, per_scene, "  ");
        }
    }
    return 0;
}
