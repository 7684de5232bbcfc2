#include "d3d8/gl/glfragmentcounter.h"

namespace d3d8 {

GLFragmentCounter::~GLFragmentCounter() {
    if (active_) glEndQuery(GL_SAMPLES_PASSED);
    for (GLuint query : pending_)
        if (query) glDeleteQueries(1, &query);
    if (active_) glDeleteQueries(1, &active_);
    if (!free_.empty()) glDeleteQueries(GLsizei(free_.size()), free_.data());
}

void GLFragmentCounter::Drawing() {
    if (!enabled_ || active_) return;
    if (free_.empty()) {
        active_ = 0;
        glGenQueries(1, &active_);
    } else {
        active_ = free_.back();
        free_.pop_back();
    }
    glBeginQuery(GL_SAMPLES_PASSED, active_);
}

void GLFragmentCounter::EndFrame() {
    // Not counting and nothing outstanding: the frame shaded no counted
    // fragments, and costs no GL call.
    if (!active_ && pending_.empty()) {
        ++frames_;
        return;
    }
    if (active_) glEndQuery(GL_SAMPLES_PASSED);
    pending_.push_back(active_);
    active_ = 0;
    Collect();
}

void GLFragmentCounter::Abandon() {
    if (!active_) return;
    glEndQuery(GL_SAMPLES_PASSED);
    free_.push_back(active_);
    active_ = 0;
}

void GLFragmentCounter::Collect() {
    // In order: a frame's figure is final only once those before it are.
    while (!pending_.empty()) {
        const GLuint query = pending_.front();
        if (query) {
            GLuint available = GL_FALSE;
            glGetQueryObjectuiv(query, GL_QUERY_RESULT_AVAILABLE, &available);
            if (!available) return;
            GLuint64 samples = 0;
            glGetQueryObjectui64v(query, GL_QUERY_RESULT, &samples);
            fragments_ += samples;
            free_.push_back(query);
        }
        pending_.pop_front();
        ++frames_;
    }
}

}  // namespace d3d8
