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
        case 1: showState.flash += static_cast<float>(value); break;
        case 2: Nudge(showState.sceneFade); break;
        case 3: Nudge(showState.endFade); break;
        case 4: showState.creditsStart = static_cast<float>(value) * 0.001f; break;
        case 5:
            if (showState.logoLevel == 0.0f) showState.logoLevel = 0.0001f;
            break;
        case PART_END_EVENT: showState.partDone = true; break;
        case 666: showState.grabRequest = true; break;
        default: break;
    }
}
