#pragma once
// Counts the fragments each frame shades, for profiles: one GL_SAMPLES_PASSED
// query from the frame's first draw to its Present. Results are taken only
// when GL has them, so counting never waits for the frame to be drawn.
#include <cstdint>
#include <deque>
#include <vector>

#include "d3d8/gl/gl.h"

namespace d3d8 {

class GLFragmentCounter {
public:
    GLFragmentCounter() = default;
    ~GLFragmentCounter();
    GLFragmentCounter(const GLFragmentCounter&) = delete;
    GLFragmentCounter& operator=(const GLFragmentCounter&) = delete;

    void Enable(bool enable) { enabled_ = enable; }
    // Before a frame's draws reach GL: starts the frame's query.
    void Drawing();
    // At Present: ends the frame's query and takes every result GL has.
    void EndFrame();
    // A new back buffer: the frame's query ends uncounted.
    void Abandon();

    uint64_t Fragments() const { return fragments_; }
    uint64_t Frames() const { return frames_; }

private:
    void Collect();

    bool enabled_ = false;
    GLuint active_ = 0;
    // Queries of presented frames whose results are not yet taken, oldest
    // first; 0 for a frame that drew nothing while counting.
    std::deque<GLuint> pending_;
    std::vector<GLuint> free_;
    uint64_t fragments_ = 0, frames_ = 0;
};

}  // namespace d3d8
