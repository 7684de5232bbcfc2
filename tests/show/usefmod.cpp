// Music playback: the error texts, every throw with its texts, and a whole
// init-open-play-close cycle on the virtual clock.
#include "usefmod.h"

#include <fmod.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <virtualclock.h>

#include <functional>
#include <string>

#include "cvcore/exception.h"
#include "scratchdir.h"

namespace {

using testsupport::Quote;

void ExpectThrow(const std::function<void()>& f, const char* method, const std::string& message) {
    try {
        f();
        ADD_FAILURE() << "no exception";
    } catch (const cvcore::Exception& e) {
        EXPECT_STREQ(e.Method().Text(), method);
        EXPECT_EQ(e.Message().Text(), message);
        EXPECT_STREQ(e.File().Text(), "usefmod");
    }
}

TEST(Usefmod, ErrorTexts) {
    EXPECT_STREQ(FmodErrorText(0), "No errors");
    EXPECT_STREQ(FmodErrorText(1), "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first.");
    EXPECT_STREQ(FmodErrorText(3), "Error initializing output device.");
    EXPECT_STREQ(FmodErrorText(6),
                 "Soundcard does not support the features needed for this soundsystem (16bit stereo output)");
    EXPECT_STREQ(FmodErrorText(12), "Not enough memory ");
    EXPECT_STREQ(FmodErrorText(15), "An invalid parameter was passed to this function");
    EXPECT_STREQ(FmodErrorText(16), "Tried to use an EAX command on a non EAX enabled channel or output.");
    EXPECT_STREQ(FmodErrorText(17), "Unknown error");
    EXPECT_STREQ(FmodErrorText(18), "Failed to allocate a new channel");
    EXPECT_STREQ(FmodErrorText(19), "Unknown error");
    EXPECT_STREQ(FmodErrorText(-1), "Unknown error");
    EXPECT_STREQ(FmodErrorText(-2147483647 - 1), "Unknown error");
}

TEST(Usefmod, NoAudioDeviceThrowsTheInitText) {
    const char* old = getenv("SDL_AUDIODRIVER");
    const std::string saved = old ? old : "";
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    ExpectThrow(MusicInit, "FMOD:()", "Error initializing output device.");
    old ? setenv("SDL_AUDIODRIVER", saved.c_str(), 1) : unsetenv("SDL_AUDIODRIVER");
}

class Music : public ::testing::Test {
protected:
    void SetUp() override {
        wav = dir / "tone.wav";
        mp3 = dir / "murikka.mp3";
        ASSERT_EQ(testsupport::Run("sox -q -n -r 44100 -c 2 -b 16 " + Quote(wav) + " synth 3 sine 220"), 0);
        ASSERT_EQ(testsupport::Run("lame --quiet -b 192 " + Quote(wav) + " " + Quote(mp3)), 0);
    }
    void TearDown() override {
        FSOUND_Close();
        VirtualClockEnable(false);
    }
    testsupport::ScratchDir dir;
    std::string wav, mp3;
};

TEST_F(Music, AMissingOrBrokenFileThrowsWithItsNameAndLeavesTheLibraryOpen) {
    MusicInit();
    const std::string missing = dir / "missing.mp3";
    ExpectThrow([&] { MusicOpen(missing.c_str()); }, "FMOD_LOAD:(), not found", missing);
    ExpectThrow([&] { MusicOpen(wav.c_str()); }, "FMOD_LOAD:(), not found", wav);
    EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_FILE_FORMAT);
    MusicOpen(mp3.c_str());  // still initialised: the library was not closed
    MusicClose();
}

TEST_F(Music, PlayWithoutAStreamClosesTheLibraryAndThrows) {
    MusicInit();
    ExpectThrow([] { MusicOpen(nullptr); }, "FMOD_LOAD:(), not found", "");
    ExpectThrow(MusicPlay, "FMOD:()", "An invalid parameter was passed to this function");
    EXPECT_TRUE(FSOUND_Init(44100, 16, 0));  // the library had been closed
}

TEST_F(Music, TheClockStartsWhenPlayStartsAndFollowsTheMusic) {
    VirtualClockEnable(true);
    MusicInit();
    MusicOpen(mp3.c_str());
    VirtualClockAdvance(2000000000);  // loading takes time; the music has not started
    EXPECT_EQ(MusicTime(), 0.0f);
    MusicPlay();
    EXPECT_EQ(MusicTime(), 0.0f);
    VirtualClockAdvance(1250000000);
    EXPECT_FLOAT_EQ(MusicTime(), 1.25f);
    MusicClose();
}

}  // namespace
