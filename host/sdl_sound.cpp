// The sound card through SDL2 audio: the device's bytes go through a queue of
// two fragments that the card's callback drains, so a write returns only once
// the card has taken all but that much, as with OSS.
#include <SDL.h>

#include "host/quiet_stderr.h"
#include "host/sound.h"

namespace korvax::host {

namespace {

// The card asks for one fragment at a time: with the two queued fragments
// about 35 ms of sound lie between a write and the loudspeaker.
constexpr Uint16 CARD_FRAMES = SOUND_FRAGMENT_BYTES / SOUND_BYTES_PER_FRAME;
constexpr std::chrono::milliseconds CARD_STALL{500};

class SdlOutput : public SoundOutput {
public:
    SdlOutput() : fifo_(SOUND_BUFFER_BYTES, CARD_STALL) {}
    ~SdlOutput() override {
        if (device_ != 0) SDL_CloseAudioDevice(device_);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

    bool open(std::string& why_not) {
        SDL_AudioSpec want{};
        SDL_AudioSpec have{};
        want.freq = SOUND_RATE;
        want.format = AUDIO_S16LSB;
        want.channels = 2;
        want.samples = CARD_FRAMES;
        want.callback = &SdlOutput::callback;
        want.userdata = this;
        // No changes allowed: SDL converts if the card wants another format.
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device_ == 0) {
            why_not = SDL_GetError();
            return false;
        }
        return true;
    }

    void start() override {
        fifo_.clear();
        start_pulled_ = fifo_.pulled();
        wrote_since_start_ = false;
        SDL_PauseAudioDevice(device_, 0);
    }
    void play(const uint8_t* data, uint32_t length) override {
        // Silence handed to the card since the last write, after sound had
        // been written: the queue ran dry in between.
        uint64_t silence = fifo_.silence_bytes();
        if (wrote_since_start_ && silence != silence_at_write_) ++underruns_;
        fifo_.push(data, length);
        silence_at_write_ = fifo_.silence_bytes();
        wrote_since_start_ = true;
    }
    uint64_t underruns() override { return underruns_.load(); }
    void stop() override {
        SDL_PauseAudioDevice(device_, 1);
        fifo_.clear();
    }
    uint64_t consumed_bytes() override { return fifo_.pulled() - start_pulled_; }

private:
    static void callback(void* self, Uint8* stream, int length) {
        static_cast<SdlOutput*>(self)->fifo_.pull(stream, static_cast<uint32_t>(length));
    }

    PcmFifo fifo_;
    SDL_AudioDeviceID device_ = 0;
    uint64_t start_pulled_ = 0;
    // Touched by the writing thread only.
    bool wrote_since_start_ = false;
    uint64_t silence_at_write_ = 0;
    std::atomic<uint64_t> underruns_{0};
};

}  // namespace

std::unique_ptr<SoundOutput> open_sdl_sound(std::string& why_not) {
    QuietStderr quiet;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        why_not = SDL_GetError();
        return nullptr;
    }
    // A driver that lists no output device has no card: asking it to open
    // the default one anyway only makes the sound library complain on stderr.
    if (SDL_GetNumAudioDevices(0) == 0) {
        why_not = std::string("no output device for the ") + SDL_GetCurrentAudioDriver() + " driver";
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    auto output = std::make_unique<SdlOutput>();
    if (!output->open(why_not)) return nullptr;  // its destructor quits the subsystem
    return output;
}

}  // namespace korvax::host
