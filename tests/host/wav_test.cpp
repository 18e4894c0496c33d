// The WAV recorder of the sound device, and the options that drive it.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/app.h"
#include "host/wav.h"
#include "tests/support/step_clock.h"

namespace korvax::host {
namespace {

uint32_t u32(const std::vector<uint8_t>& f, size_t at) {
    return f[at] | f[at + 1] << 8 | f[at + 2] << 16 | static_cast<uint32_t>(f[at + 3]) << 24;
}
uint16_t u16(const std::vector<uint8_t>& f, size_t at) { return static_cast<uint16_t>(f[at] | f[at + 1] << 8); }
std::string tag(const std::vector<uint8_t>& f, size_t at) { return std::string(f.begin() + at, f.begin() + at + 4); }

std::vector<uint8_t> read_all(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

class WavTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("korvax_wav_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // A PCM WAV, 44,100 Hz, 16-bit stereo, whose header sizes agree with the file.
    static void expect_header(const std::vector<uint8_t>& f, uint32_t data_bytes) {
        ASSERT_GE(f.size(), 44u);
        EXPECT_EQ(tag(f, 0), "RIFF");
        EXPECT_EQ(u32(f, 4), f.size() - 8);
        EXPECT_EQ(tag(f, 8), "WAVE");
        EXPECT_EQ(tag(f, 12), "fmt ");
        EXPECT_EQ(u32(f, 16), 16u);
        EXPECT_EQ(u16(f, 20), 1);       // PCM
        EXPECT_EQ(u16(f, 22), 2);       // stereo
        EXPECT_EQ(u32(f, 24), 44100u);  // frames a second
        EXPECT_EQ(u32(f, 28), 176400u);
        EXPECT_EQ(u16(f, 32), 4);
        EXPECT_EQ(u16(f, 34), 16);
        EXPECT_EQ(tag(f, 36), "data");
        EXPECT_EQ(u32(f, 40), data_bytes);
        EXPECT_EQ(f.size(), 44u + data_bytes + (data_bytes & 1));
    }

    std::filesystem::path dir_;
};

TEST_F(WavTest, RecordsExactlyWhatWasWrittenToTheDevice) {
    std::string why;
    auto wav = WavWriter::create((dir_ / "a.wav").string(), why);
    ASSERT_TRUE(wav) << why;
    test::StepClock clock(0);
    SoundDevice device(clock);
    device.add_sink(wav);
    int fd = device.open();
    std::vector<uint8_t> written;
    for (int k = 0; k < 3; ++k) {
        std::vector<uint8_t> buffer(8192);
        for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<uint8_t>(i * 13 + k);
        device.write(fd, buffer.data(), 8192);
        written.insert(written.end(), buffer.begin(), buffer.end());
    }
    device.write(fd + 1, written.data(), 100);  // refused: not recorded
    device.close(fd);
    ASSERT_TRUE(wav->finish());
    EXPECT_TRUE(wav->finish());

    std::vector<uint8_t> f = read_all(dir_ / "a.wav");
    expect_header(f, 3 * 8192);
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + 44, f.end()), written);
}

TEST_F(WavTest, NothingWrittenIsAnEmptyButValidFile) {
    std::string why;
    {
        auto wav = WavWriter::create((dir_ / "empty.wav").string(), why);
        ASSERT_TRUE(wav);
    }  // finished by its destructor
    expect_header(read_all(dir_ / "empty.wav"), 0);
}

TEST_F(WavTest, AnOddLengthGetsItsPadByte) {
    std::string why;
    auto wav = WavWriter::create((dir_ / "odd.wav").string(), why);
    ASSERT_TRUE(wav);
    const uint8_t bytes[3] = {1, 2, 3};
    wav->take(bytes, 3);
    ASSERT_TRUE(wav->finish());
    std::vector<uint8_t> f = read_all(dir_ / "odd.wav");
    expect_header(f, 3);
    EXPECT_EQ(f[47], 0);
}

TEST_F(WavTest, AFileThatCannotBeCreatedIsReported) {
    std::string why;
    EXPECT_FALSE(WavWriter::create((dir_ / "no_such_dir" / "x.wav").string(), why));
    EXPECT_FALSE(why.empty());
}

TEST(Options, WavAndNoSound) {
    Options options;
    bool help = false;
    std::string error;
    ASSERT_TRUE(parse_options({"--wav", "out.wav", "--no-sound"}, options, help, error)) << error;
    EXPECT_EQ(options.wav, "out.wav");
    EXPECT_TRUE(options.no_sound);

    Options defaults;
    EXPECT_TRUE(defaults.wav.empty());
    EXPECT_FALSE(defaults.no_sound);

    Options bad;
    EXPECT_FALSE(parse_options({"--wav"}, bad, help, error));
    EXPECT_NE(error.find("--wav"), std::string::npos);
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_FALSE(parse_options({"--wav", ""}, bad, help, error));
    EXPECT_NE(error.find("--wav"), std::string::npos);
    EXPECT_NE(usage().find("--wav"), std::string::npos);
    EXPECT_NE(usage().find("--no-sound"), std::string::npos);
}

// The whole program for a few frames, silent, recording: the system opens
// the device, and the recording holds whole PCM buffers with a valid header.
TEST_F(WavTest, ProgramRunRecordsToTheWavFile) {
    Options options;
    options.headless = true;
    options.frames = 3;
    options.no_sound = true;
    options.wav = (dir_ / "run.wav").string();
    App app(options);
    EXPECT_EQ(app.run("korvax"), 0);
    EXPECT_EQ(app.console().sound().opens(), 1);
    EXPECT_FALSE(app.console().sound().is_open());
    std::vector<uint8_t> f = read_all(dir_ / "run.wav");
    ASSERT_GE(f.size(), 44u);
    uint32_t data = u32(f, 40);
    expect_header(f, data);
    EXPECT_EQ(data % 8192, 0u);
    EXPECT_EQ(data, app.console().sound().bytes_written());
}

TEST_F(WavTest, ProgramRefusesToStartWhenTheWavCannotBeWritten) {
    Options options;
    options.headless = true;
    options.frames = 1;
    options.no_sound = true;
    options.wav = (dir_ / "missing" / "run.wav").string();
    App app(options);
    EXPECT_EQ(app.run("korvax"), 1);
    EXPECT_EQ(app.console().sound().opens(), 0);
}

// The capture's sound track is cut or padded to the video's length.
TEST_F(WavTest, FinishingWithALengthCutsOrPadsWithSilence) {
    std::string why;
    auto longer = WavWriter::create((dir_ / "long.wav").string(), why);
    auto shorter = WavWriter::create((dir_ / "short.wav").string(), why);
    ASSERT_TRUE(longer && shorter) << why;
    std::vector<uint8_t> sound(1000);
    for (size_t i = 0; i < sound.size(); ++i) sound[i] = static_cast<uint8_t>(i * 7 + 1);
    longer->take(sound.data(), 1000);
    shorter->take(sound.data(), 1000);
    ASSERT_TRUE(longer->finish_with_length(600));
    ASSERT_TRUE(shorter->finish_with_length(1600));

    std::vector<uint8_t> cut = read_all(dir_ / "long.wav");
    expect_header(cut, 600);
    EXPECT_EQ(std::vector<uint8_t>(cut.begin() + 44, cut.end()), std::vector<uint8_t>(sound.begin(), sound.begin() + 600));
    std::vector<uint8_t> padded = read_all(dir_ / "short.wav");
    expect_header(padded, 1600);
    EXPECT_EQ(std::vector<uint8_t>(padded.begin() + 44, padded.begin() + 1044), sound);
    EXPECT_EQ(std::vector<uint8_t>(padded.begin() + 1044, padded.end()), std::vector<uint8_t>(600, 0));
}

// A device that refuses the bytes: the failure is seen while recording, not only at the end.
TEST_F(WavTest, AWriteThatFailsIsSeenAtOnce) {
    std::string why;
    auto wav = WavWriter::create("/dev/full", why);
    ASSERT_TRUE(wav) << why;
    std::vector<uint8_t> sound(8192, 3);
    for (int i = 0; i < 4 && !wav->failed(); ++i) wav->take(sound.data(), 8192);
    EXPECT_TRUE(wav->failed());
    EXPECT_EQ(wav->error_number(), ENOSPC);
    EXPECT_FALSE(wav->finish());
}

}  // namespace
}  // namespace korvax::host
