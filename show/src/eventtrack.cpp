#include "eventtrack.h"

#include <cmath>

void EventTrack::Add(float time, int type, int value) {
    auto at = events_.begin();
    while (at != events_.end() && at->time <= time) ++at;
    events_.insert(at, ShowEvent{time, type, value});
}

void EventTrack::AddRepeated(float start, float interval, int count, int type, int value) {
    float time = start;
    for (int i = 0; i < count; ++i) {
        Add(time, type, value);
        time += interval;
    }
}

// A stall of more than a second between frames loses the fades and flashes
// that fell inside it: firing them that late would be worse than missing
// them. A part's end is different: losing it would leave the part running
// for good, long after the music has stopped. The events after a part's end
// belong to the next part and wait for its first frame.
void EventTrack::Update(float now) {
    auto it = events_.begin();
    while (it != events_.end() && it->time <= now) {
        const ShowEvent event = *it++;
        const bool partEnd = event.type == EVENT_PART_END;
        if ((partEnd || std::fabs(event.time - now) < 1.0f) && handler_) handler_(event.type, event.value);
        if (partEnd) break;
    }
    events_.erase(events_.begin(), it);
}
