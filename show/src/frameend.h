#pragma once

class ShowApp;
struct PartLevels;

// The frame end every part runs after its drawing: 2D state, present,
// clear, music clock and events, the part's 1 ms steps and clamps, the end
// and Escape tests. False when the part's end event has fired.
bool FrameEnd(ShowApp& app, const PartLevels& levels, float time, unsigned clearColour);
