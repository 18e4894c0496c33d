#include "tests/coprocessor/support/coprocessor_rig.h"

#include <tremor/ivorbisfile.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include <unistd.h>

#include "assets/assets.h"

namespace korvax::test {

namespace {

constexpr uint32_t STACK_PAINT = 0xDEADBEEF;
constexpr uint32_t STACK_TOP = 0x100000;

struct MemoryStream {
    const std::vector<uint8_t>* bytes;
    size_t position;
};

size_t memory_read(void* buffer, size_t size, size_t count, void* source) {
    auto* s = static_cast<MemoryStream*>(source);
    size_t n = std::min(size * count, s->bytes->size() - s->position);
    std::memcpy(buffer, s->bytes->data() + s->position, n);
    s->position += n;
    return n;
}

int memory_seek(void* source, ogg_int64_t offset, int whence) {
    auto* s = static_cast<MemoryStream*>(source);
    ogg_int64_t p = whence == SEEK_SET ? offset
                    : whence == SEEK_CUR ? static_cast<ogg_int64_t>(s->position) + offset
                                         : static_cast<ogg_int64_t>(s->bytes->size()) + offset;
    if (p < 0 || p > static_cast<ogg_int64_t>(s->bytes->size())) return -1;
    s->position = static_cast<size_t>(p);
    return 0;
}

long memory_tell(void* source) { return static_cast<long>(static_cast<MemoryStream*>(source)->position); }

}  // namespace

std::vector<uint8_t> make_stream(double seconds, double quality, int channels, long rate, unsigned seed) {
    char path[] = "/tmp/korvax_stream_XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) return {};
    close(fd);
    std::ostringstream command;
    command << KORVAX_MAKE_TEST_STREAM << ' ' << path << ' ' << seconds << ' ' << quality << ' ' << channels << ' '
            << rate << ' ' << seed << " 2>/dev/null";
    std::vector<uint8_t> bytes;
    if (std::system(command.str().c_str()) == 0) {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::remove(path);
    return bytes;
}

std::vector<int16_t> reference_decode(const std::vector<uint8_t>& stream) {
    std::vector<int16_t> samples;
    MemoryStream source{&stream, 0};
    OggVorbis_File file;
    ov_callbacks callbacks = {memory_read, memory_seek, nullptr, memory_tell};
    if (ov_open_callbacks(&source, &file, nullptr, 0, callbacks) != 0) return samples;
    char buffer[4096];
    int bitstream = 0;
    for (;;) {
        long got = ov_read(&file, buffer, sizeof(buffer), &bitstream);
        if (got <= 0) break;
        size_t at = samples.size();
        samples.resize(at + static_cast<size_t>(got) / 2);
        std::memcpy(samples.data() + at, buffer, static_cast<size_t>(got));
    }
    ov_clear(&file);
    return samples;
}

std::vector<uint8_t> coprocessor_image() {
    Blob blob = embedded_asset(AssetId::COPROCESSOR_IMAGE);
    return std::vector<uint8_t>(blob.data, blob.data + blob.size);
}

std::string coprocessor_elf_path() { return KORVAX_COPROCESSOR_ELF; }

// ---- symbols ---------------------------------------------------------------------------

ImageSymbols::ImageSymbols() {
    std::ifstream in(KORVAX_COPROCESSOR_SYMBOLS);
    std::string line;
    while (std::getline(in, line)) {
        // "0001a2b4 B korvax::coprocessor"
        std::istringstream fields(line);
        std::string address, kind, name;
        if (!(fields >> address >> kind)) continue;
        std::getline(fields, name);
        if (!name.empty() && name[0] == ' ') name.erase(0, 1);
        addresses_[name] = static_cast<uint32_t>(std::stoul(address, nullptr, 16));
    }
}

uint32_t ImageSymbols::operator[](const std::string& name) const {
    auto it = addresses_.find(name);
    if (it == addresses_.end()) {
        ADD_FAILURE() << "the image has no symbol " << name;
        return 0;
    }
    return it->second;
}

// ---- the rig --------------------------------------------------------------------------------

CoprocessorRig::CoprocessorRig() {
    memory_ = static_cast<uint8_t*>(std::aligned_alloc(4096, SHARED_WINDOW_BYTES));
    std::memset(memory_, 0, SHARED_WINDOW_BYTES);
    block_ = reinterpret_cast<volatile AudioControlBlock*>(memory_ + CONTROL_BLOCK_OFFSET);
    core_ = std::make_unique<host::Arm940t>(memory_, SHARED_WINDOW_BYTES);
    core_->set_idle_watch(CONTROL_BLOCK_OFFSET, sizeof(AudioControlBlock));
}

CoprocessorRig::~CoprocessorRig() {
    core_.reset();
    std::free(memory_);
}

void CoprocessorRig::set(volatile uint32_t& field, uint32_t value) {
    std::atomic_ref<uint32_t>(const_cast<uint32_t&>(field)).store(value, std::memory_order_release);
}

uint32_t CoprocessorRig::get(const volatile uint32_t& field) {
    return std::atomic_ref<uint32_t>(const_cast<uint32_t&>(field)).load(std::memory_order_acquire);
}

void CoprocessorRig::init_block(int16_t pcm_fill) {
    volatile AudioControlBlock& b = *block_;
    set(b.data_offset, MUSIC_DATA_OFFSET);
    set(b.fill_b, 0);
    set(b.volume, 180);
    set(b.quit, 0);
    set(b.play, 0);
    set(b.restart, 0);
    set(b.data_ready, 0);
    set(b.data_length, 0);
    set(b.fill_a, 0);
    for (uint32_t i = 0; i < PCM_BUFFER_SAMPLES; ++i) b.pcm_a[i] = pcm_fill;
    for (uint32_t i = 0; i < PCM_BUFFER_SAMPLES; ++i) b.pcm_b[i] = pcm_fill;
    current_b_ = false;
}

void CoprocessorRig::boot() {
    core_->set_reset(true);
    core_->set_clock(false);
    std::vector<uint8_t> image = coprocessor_image();
    std::memcpy(memory_, image.data(), image.size());
    core_->set_reset(false);
    core_->set_clock(true);
}

void CoprocessorRig::place(const std::vector<uint8_t>& stream) {
    volatile AudioControlBlock& b = *block_;
    set(b.data_ready, 0);
    if (!stream.empty()) std::memcpy(memory_ + get(b.data_offset), stream.data(), stream.size());
    set(b.data_ready, 1);
    set(b.data_length, static_cast<uint32_t>(stream.size()));
    set(b.restart, 1);
}

bool CoprocessorRig::drain(std::vector<int16_t>& out) {
    volatile AudioControlBlock& b = *block_;
    volatile uint32_t& fill = current_b_ ? b.fill_b : b.fill_a;
    if (get(fill) == 0) return false;
    volatile int16_t* pcm = current_b_ ? b.pcm_b : b.pcm_a;
    for (uint32_t i = 0; i < PCM_BUFFER_SAMPLES; ++i) out.push_back(static_cast<int16_t>(pcm[i]));
    set(fill, 0);
    current_b_ = !current_b_;
    return true;
}

bool CoprocessorRig::play_until(std::vector<int16_t>& out, size_t count, int patience) {
    int idle_periods = 0;
    while (out.size() < count) {
        run(INSTRUCTIONS_PER_BUFFER);
        if (drain(out)) {
            idle_periods = 0;
        } else if (++idle_periods > patience) {
            return false;
        }
    }
    return true;
}

ArmProgram CoprocessorRig::program() {
    ArmProgram p;
    std::memcpy(&p, memory_ + symbols_["korvax::coprocessor"], sizeof(p));
    return p;
}

ArmHeap CoprocessorRig::heap() {
    ArmHeap h;
    std::memcpy(&h, memory_ + symbols_["korvax::decoder_heap"], sizeof(h));
    return h;
}

uint32_t CoprocessorRig::ring_count() {
    ArmProgram p = program();
    return p.ring_write >= p.ring_read ? p.ring_write - p.ring_read : p.ring_write + 50000 - p.ring_read;
}

void CoprocessorRig::paint_stack() {
    for (uint32_t a = symbols_["__bss_end"]; a < STACK_TOP; a += 4) std::memcpy(memory_ + a, &STACK_PAINT, 4);
}

uint32_t CoprocessorRig::stack_low_water() {
    for (uint32_t a = symbols_["__bss_end"]; a < STACK_TOP; a += 4) {
        uint32_t w;
        std::memcpy(&w, memory_ + a, 4);
        if (w != STACK_PAINT) return a;
    }
    return STACK_TOP;
}

}  // namespace korvax::test
