#pragma once
#include <list>

// What an event does when it fires: the `type` handed to the handler.
enum ShowEventType : int {
    EVENT_FLASH = 1,       // flash += value
    EVENT_SCENE_FADE = 2,  // starts sceneFade moving
    EVENT_END_FADE = 3,    // starts endFade moving
    EVENT_CREDITS = 4,     // the credits start at value milliseconds of music
    EVENT_LOGO = 5,        // the logo starts showing
    EVENT_PART_END = 6,    // ends the running part
    EVENT_GRAB = 666,      // asks for a frame grab
};

// One entry of the show's schedule: at `time` seconds of music, hand `type`
// and `value` to the track's handler.
struct ShowEvent {
    float time;
    int type;
    int value;
};

// A time-sorted list of events fired against the music clock. Fired events
// and events found more than a second late are removed; none fires twice.
// A part's end is never lost, however late, and closes the walk, so every
// part sees its own end even after a stall that spanned several of them.
class EventTrack {
public:
    using Handler = void (*)(int type, int value);

    explicit EventTrack(Handler handler) : handler_(handler) {}

    // Inserts before the first later event, so equal times keep their order.
    void Add(float time, int type, int value);
    // count events at start, start + interval, ... (accumulated in float).
    void AddRepeated(float start, float interval, int count, int type, int value);
    void Update(float now);

    int Count() const { return static_cast<int>(events_.size()); }
    const std::list<ShowEvent>& Events() const { return events_; }

private:
    std::list<ShowEvent> events_;
    Handler handler_;
};
