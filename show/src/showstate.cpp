#include "showstate.h"

#include "eventtrack.h"

ShowState showState;

namespace {

// Levels sit still at exactly 0 (and are clamped at 255); lifting them just
// off those values lets the parts' step loops start moving them.
void Nudge(float& level) {
    if (level == 0.0f) level += 0.0001f;
    if (level == 255.0f) level -= 0.0001f;
}

}  // namespace

void OnShowEvent(int type, int value) {
    switch (type) {
    case EVENT_FLASH: showState.flash += static_cast<float>(value); break;
    case EVENT_SCENE_FADE: Nudge(showState.sceneFade); break;
    case EVENT_END_FADE: Nudge(showState.endFade); break;
    case EVENT_CREDITS: showState.creditsStart = static_cast<float>(value) * 0.001f; break;
    case EVENT_LOGO:
        if (showState.logoLevel == 0.0f) showState.logoLevel = 0.0001f;
        break;
    case EVENT_PART_END: showState.partDone = true; break;
    case EVENT_GRAB: showState.grabRequest = true; break;
    default: break;
    }
}

// Levels move in fixed 1 ms steps, so fades run at the same speed whatever
// the frame rate.
void AdvanceLevels(const PartLevels& levels, float time) {
    while (showState.lastStep < time) {
        if (levels.step) levels.step();
        const float next = showState.lastStep + 0.001f;
        // Past about nine hours a float can no longer hold a 1 ms step, and
        // the loop would never reach the frame's time.
        if (next == showState.lastStep) break;
        showState.lastStep = next;
    }
    showState.lastStep = time;
    if (levels.clamp) levels.clamp();
}
