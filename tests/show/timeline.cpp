#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "eventtrack.h"
#include "lightfloor.h"
#include "parts.h"
#include "plasma.h"
#include "showstate.h"

namespace {

std::vector<std::pair<int, int>> fired;
void Record(int type, int value) { fired.emplace_back(type, value); }

class EventTrackTest : public ::testing::Test {
protected:
    void SetUp() override { fired.clear(); }
    EventTrack track{Record};
};

}  // namespace

TEST_F(EventTrackTest, EqualTimesFireInInsertionOrderAndNeverTwice) {
    track.Add(2.0f, 1, 10);
    track.Add(1.5f, 1, 5);
    track.Add(2.0f, 1, 20);
    track.Add(2.0f, 6, 0);
    track.Update(0.5f);
    EXPECT_TRUE(fired.empty());
    track.Update(2.0f);
    ASSERT_EQ(fired.size(), 4u);
    EXPECT_EQ(fired[0], std::make_pair(1, 5));
    EXPECT_EQ(fired[1], std::make_pair(1, 10));
    EXPECT_EQ(fired[2], std::make_pair(1, 20));
    EXPECT_EQ(fired[3], std::make_pair(6, 0));
    EXPECT_EQ(track.Count(), 0);
    track.Update(3.0f);
    EXPECT_EQ(fired.size(), 4u);
}

TEST_F(EventTrackTest, EventsMoreThanASecondLateAreDroppedSilently) {
    track.Add(1.0f, 1, 1);
    track.Add(2.5f, 1, 2);
    track.Add(9.0f, 1, 3);
    track.Update(2.9f);  // 1.0 is 1.9 s late: lost; 2.5 fires
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_EQ(fired[0].second, 2);
    EXPECT_EQ(track.Count(), 1);
}

TEST_F(EventTrackTest, PartEndsSurviveAStallAndEachEndsOnePart) {
    track.Add(40.0f, EVENT_PART_END, 0);
    track.Add(42.5f, 666, 0);
    track.Add(60.0f, EVENT_PART_END, 0);
    track.Add(61.0f, 1, 5);
    track.Update(39.5f);
    EXPECT_TRUE(fired.empty());
    // A stall across both ends: the first end fires at once, late as it is,
    // and the walk stops so the next part gets its own end.
    track.Update(61.2f);
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_EQ(fired[0], std::make_pair(int{EVENT_PART_END}, 0));
    EXPECT_EQ(track.Count(), 3);
    // The next frame: the grab request is lost, the second end fires.
    track.Update(61.3f);
    ASSERT_EQ(fired.size(), 2u);
    EXPECT_EQ(fired[1], std::make_pair(int{EVENT_PART_END}, 0));
    EXPECT_EQ(track.Count(), 1);
    track.Update(61.4f);
    ASSERT_EQ(fired.size(), 3u);
    EXPECT_EQ(fired[2], std::make_pair(1, 5));
    EXPECT_EQ(track.Count(), 0);
}

TEST(ShowEvents, LevelsAreLiftedOffZeroAndTwoFiftyFive) {
    showState = ShowState{};
    OnShowEvent(2, 0);
    EXPECT_FLOAT_EQ(showState.sceneFade, 0.0001f);
    showState.endFade = 255;
    OnShowEvent(3, 0);
    EXPECT_LT(showState.endFade, 255.0f);
    OnShowEvent(4, 22000);
    EXPECT_FLOAT_EQ(showState.creditsStart, 22.0f);
    OnShowEvent(5, 0);
    EXPECT_GT(showState.logoLevel, 0.0f);
    showState.logoLevel = 0.5f;
    OnShowEvent(5, 0);
    EXPECT_EQ(showState.logoLevel, 0.5f);
    OnShowEvent(1, -48);
    EXPECT_EQ(showState.flash, -48.0f);
    OnShowEvent(6, 0);
    OnShowEvent(666, 0);
    OnShowEvent(7, 0);
    EXPECT_TRUE(showState.partDone);
    EXPECT_TRUE(showState.grabRequest);
}

// The field as first written: one sine look-up per term and sample, the
// phases stepped in bytes. The plasma builds its rows from precomputed runs
// and must give exactly this.
uint8_t PlainPlasma(const Plasma& p, float time, int columnStep, int rowStep, int row, int column) {
    auto phase = [time](float speed) { return static_cast<uint8_t>(static_cast<int>(time * speed * 128.0f)); };
    uint8_t I = phase(0.74f), J = phase(0.7f);
    const uint8_t C = phase(0.83f), M = phase(0.8f);
    for (int r = 0; r < row; ++r) {
        I = static_cast<uint8_t>(I - rowStep);
        J = static_cast<uint8_t>(J + 4);
    }
    const uint8_t b = p.Sine(row + J);
    const int l = p.Sine(I) + p.Sine(J) + I + column;
    return static_cast<uint8_t>(2 * p.Sine(l) + p.Sine(b + M - columnStep * column) + p.Sine(b + C + 4 * column));
}

TEST(Plasma, MatchesThePlainFieldNeverExceeds252AndWraps) {
    Plasma plasma;
    int highest = 0;
    for (const auto& [columnStep, rowStep] : {std::pair{5, 5}, {6, 6}, {-1, 6}, {8, 3}})
        for (float t : {0.0f, 0.37f, 5.5f, 123.4f}) {
            plasma.Compute(t, columnStep, rowStep);
            int wrong = 0;
            for (int r = 0; r < 256; ++r)
                for (int c = 0; c < 256; ++c) {
                    highest = std::max<int>(highest, plasma.At(r, c));
                    wrong += plasma.At(r, c) != PlainPlasma(plasma, t, columnStep, rowStep, r, c);
                }
            EXPECT_EQ(wrong, 0) << "steps " << columnStep << "/" << rowStep << " at " << t;
        }
    EXPECT_LE(highest, 252);
    EXPECT_GT(highest, 200);
    EXPECT_EQ(plasma.At(256 + 3, -1), plasma.At(3, 255));
}

// One period over the 256 indices in six bits, so the field's four samples
// stay within a byte's 252.
TEST(Plasma, SineIsOnePeriodFromZeroToSixtyThree) {
    Plasma plasma;
    int lowest = 255, highest = 0;
    for (int j = 0; j < 256; ++j) {
        lowest = std::min<int>(lowest, plasma.Sine(j));
        highest = std::max<int>(highest, plasma.Sine(j));
        // Half a period on, the wave mirrors about its middle (1 off from truncation).
        const int mirrored = plasma.Sine(j) + plasma.Sine(j + 128);
        EXPECT_TRUE(mirrored == 62 || mirrored == 63) << j;
        if (j < 64) {
            EXPECT_LE(plasma.Sine(j), plasma.Sine(j + 1)) << j;  // rising to the crest
        }
    }
    EXPECT_EQ(lowest, 0);
    EXPECT_EQ(highest, 63);
    EXPECT_EQ(plasma.Sine(64), 63);
    EXPECT_EQ(plasma.Sine(192), 0);
    EXPECT_EQ(plasma.Sine(-64), plasma.Sine(192));
}

TEST(LightFloorColour, SaturatingAdditionDropsLowBitsAndSaturatesColourBytes) {
    // Below saturation the low bits are gone, so lit colours stay even.
    EXPECT_EQ(LightFloor::AddSaturated(0x00010101, 0x00030303), 0x00020202u);
    // Blue overflows: 255, and its carry moves into green.
    EXPECT_EQ(LightFloor::AddSaturated(0x000000F0, 0x00000020), 0x000001FFu);
    // Red overflows; the carry goes into the unsaturated top byte.
    EXPECT_EQ(LightFloor::AddSaturated(0x00F00000, 0x00200000), 0x01FF0000u);
    EXPECT_EQ(LightFloor::AddSaturated(0, 0xFFFFFFFF), 0xFEFEFEFEu);
}

TEST(LightFloorColour, ScaleWorksTwoChannelsAtATime) {
    EXPECT_EQ(LightFloor::Scale(0xFFFFFFFF, 256), 0xFFFFFFFFu);
    EXPECT_EQ(LightFloor::Scale(0xFF004D75, 0), 0u);
    EXPECT_EQ(LightFloor::Scale(0x80402010, 128), 0x40201008u);
}

TEST(PartLevels, StepsRunInMillisecondsAndClampPerPart) {
    showState = ShowState{};
    AdvanceLevels(SHOW_PARTS[0].levels, 1.0f);  // 1000 steps of +0.048
    EXPECT_NEAR(showState.flash, 48.0f, 0.05f);
    EXPECT_EQ(showState.sceneFade, 0.0f);  // sits still at exactly 0
    showState.sceneFade = 0.0001f;
    AdvanceLevels(SHOW_PARTS[0].levels, 6.0f);
    EXPECT_EQ(showState.sceneFade, 255.0f);
    EXPECT_EQ(showState.flash, 255.0f);

    showState = ShowState{};
    AdvanceLevels(SHOW_PARTS[2].levels, 2.0f);
    EXPECT_EQ(showState.flash, 0.0f);  // no flash, no fade
    showState.flash = -250.0f;
    AdvanceLevels(SHOW_PARTS[2].levels, 3.0f);
    EXPECT_EQ(showState.flash, -255.0f);
    EXPECT_FALSE(showState.wobblersOn);

    showState = ShowState{};
    showState.flash = 10.0f;
    AdvanceLevels(SHOW_PARTS[4].levels, 1.0f);
    EXPECT_EQ(showState.flash, 0.0f);

    showState = ShowState{};
    showState.sceneFade = 255.0f;
    showState.endFade = 254.99f;
    AdvanceLevels(SHOW_PARTS[5].levels, 1.0f);
    EXPECT_NEAR(showState.sceneFade, 225.0f, 0.05f);
    EXPECT_EQ(showState.endFade, 255.0f);
}

TEST(PartLevels, LastStepCarriedIntoALaterPartAppliesNoSteps) {
    showState = ShowState{};
    showState.lastStep = 25.7f;
    showState.flash = 100.0f;
    AdvanceLevels(SHOW_PARTS[4].levels, 0.02f);
    EXPECT_EQ(showState.flash, 100.0f);
    EXPECT_EQ(showState.lastStep, 0.02f);
}

TEST(PartLevels, AFrameHoursIntoAPartStillReturns) {
    showState = ShowState{};
    showState.sceneFade = 255.0f;
    showState.lastStep = 40000.0f;  // floats there are about 4 ms apart
    AdvanceLevels(SHOW_PARTS[5].levels, 40000.5f);
    EXPECT_EQ(showState.lastStep, 40000.5f);
    EXPECT_EQ(showState.sceneFade, 254.97f);  // the one step before the float gave out
}
