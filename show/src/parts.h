#pragma once

class ShowApp;

// The frame end every part runs after its drawing: 2D state, present,
// clear, music clock and events, the part's 1 ms steps and clamps, the end
// and Escape tests. False when the part's end event has fired.
bool FrameEnd(ShowApp& app, int part, float time, unsigned clearColour);

// The part's fade levels stepped in 1 ms steps from lastStep up to time,
// then clamped; lastStep becomes time.
void AdvanceLevels(int part, float time);

// The six parts' frames, and the settings applied before each part starts.
bool Part1(ShowApp& app, float t);
bool Part2(ShowApp& app, float t);
bool Part3(ShowApp& app, float t);
bool Part4(ShowApp& app, float t);
bool Part5(ShowApp& app, float t);
bool Part6(ShowApp& app, float t);
void ApplyPartStart(ShowApp& app, int part);  // part 1..6

constexpr int PART_COUNT = 6;
using PartCallbackFn = bool (*)(ShowApp&, float);
extern const PartCallbackFn PART_FRAMES[PART_COUNT];
