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

// A stall of more than a second between frames loses the events that fell
// inside it: firing a fade or a flash that late would be worse than missing it.
void EventTrack::Update(float now) {
    auto it = events_.begin();
    while (it != events_.end() && it->time <= now) {
        if (std::fabs(it->time - now) < 1.0f && handler_) handler_(it->type, it->value);
        ++it;
    }
    events_.erase(events_.begin(), it);
}
