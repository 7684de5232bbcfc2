#pragma once

// The handful of values the schedule's handler and the six parts share.
struct ShowState {
    float flash = 0;         // signed overlay level; flash events add to it
    float sceneFade = 0;     // black overlay 0..255 (part 1 fade out, part 6 fade in)
    float endFade = 0;       // black overlay 0..255 at the end of part 6
    float logoLevel = 0;     // part 1 draws the logo while above 0
    float creditsStart = 0;  // music second the credits start at; 0: not started
    float lastStep = 0;      // part time up to which the 1 ms steps have run
    bool partDone = false;   // the running part ends on its next frame end
    bool grabRequest = false;
    bool wobblersOn = true;  // part 3 turns its wobblers off for good
    float carryTime = 0;     // scene 3's pose time, handed from part 4 to part 5
    int part = 0;            // the part running (1..6), 0 before the first; read by tools
};

extern ShowState showState;

// The schedule's handler: nudges the levels and flags above.
void OnShowEvent(int type, int value);

// How a part moves the levels between frames: one 1 ms step, and the clamps
// applied after the steps of a frame; either may be null.
struct PartLevels {
    void (*step)();
    void (*clamp)();
};

// The part's 1 ms steps from lastStep up to time, then its clamps; lastStep
// becomes time.
void AdvanceLevels(const PartLevels& levels, float time);
