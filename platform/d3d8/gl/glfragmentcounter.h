#pragma once
// Counts the fragments each frame shades, for profiles: from the frame's
// first draw to its Present, one GL_SAMPLES_PASSED query and, where the
// driver has pipeline statistics, one GL_FRAGMENT_SHADER_INVOCATIONS query.
// The two differ: a software rasteriser shades whole blocks of pixels, so
// a triangle's edge costs shading for pixels it does not cover. Results are
// taken only when GL has them, so counting never waits for the frame.
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

    // With the context current: it is asked whether it counts invocations.
    void Enable(bool enable);
    // Before a frame's draws reach GL: starts the frame's queries.
    void Drawing();
    // At Present: ends the frame's queries and takes every result GL has.
    void EndFrame();
    // A new back buffer: the frame's queries end uncounted.
    void Abandon();

    uint64_t Fragments() const { return fragments_; }
    uint64_t Invocations() const { return invocations_; }
    bool CountsInvocations() const { return countsInvocations_; }
    uint64_t Frames() const { return frames_; }

private:
    // One frame's queries; both 0 for a frame that drew nothing.
    struct Queries {
        GLuint samples = 0, invocations = 0;
    };
    Queries Take();
    void Begin(const Queries& q);
    void End(const Queries& q);
    void Release(const Queries& q);
    void Collect();

    bool enabled_ = false, countsInvocations_ = false;
    Queries active_;
    // Queries of presented frames whose results are not yet taken, oldest
    // first.
    std::deque<Queries> pending_;
    // Spent queries for reuse, one list per target.
    std::vector<GLuint> freeSamples_, freeInvocations_;
    uint64_t fragments_ = 0, invocations_ = 0, frames_ = 0;
};

}  // namespace d3d8
