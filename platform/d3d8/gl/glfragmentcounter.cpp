#include "d3d8/gl/glfragmentcounter.h"

#include "d3d8/gl/glcontext.h"

namespace d3d8 {

GLFragmentCounter::~GLFragmentCounter() {
    End(active_);
    auto release = [](GLuint query) {
        if (query) glDeleteQueries(1, &query);
    };
    release(active_.samples);
    release(active_.invocations);
    for (const Queries& q : pending_) release(q.samples), release(q.invocations);
    if (!free_.empty()) glDeleteQueries(GLsizei(free_.size()), free_.data());
}

void GLFragmentCounter::Enable(bool enable) {
    if (enable && !enabled_) countsInvocations_ = GLHasExtension("GL_ARB_pipeline_statistics_query");
    enabled_ = enable;
}

GLFragmentCounter::Queries GLFragmentCounter::Take() {
    auto one = [this] {
        GLuint query = 0;
        if (free_.empty()) {
            glGenQueries(1, &query);
        } else {
            query = free_.back();
            free_.pop_back();
        }
        return query;
    };
    Queries q;
    q.samples = one();
    if (countsInvocations_) q.invocations = one();
    return q;
}

void GLFragmentCounter::Begin(const Queries& q) {
    glBeginQuery(GL_SAMPLES_PASSED, q.samples);
    if (q.invocations) glBeginQuery(GL_FRAGMENT_SHADER_INVOCATIONS, q.invocations);
}

void GLFragmentCounter::End(const Queries& q) {
    if (q.samples) glEndQuery(GL_SAMPLES_PASSED);
    if (q.invocations) glEndQuery(GL_FRAGMENT_SHADER_INVOCATIONS);
}

void GLFragmentCounter::Drawing() {
    if (!enabled_ || active_.samples) return;
    active_ = Take();
    Begin(active_);
}

void GLFragmentCounter::EndFrame() {
    // Not counting and nothing outstanding: the frame shaded no counted
    // fragments, and costs no GL call.
    if (!active_.samples && pending_.empty()) {
        ++frames_;
        return;
    }
    End(active_);
    pending_.push_back(active_);
    active_ = {};
    Collect();
}

void GLFragmentCounter::Abandon() {
    if (!active_.samples) return;
    End(active_);
    free_.push_back(active_.samples);
    if (active_.invocations) free_.push_back(active_.invocations);
    active_ = {};
}

void GLFragmentCounter::Collect() {
    // In order: a frame's figure is final only once those before it are.
    auto available = [](GLuint query) {
        GLuint ready = GL_TRUE;
        if (query) glGetQueryObjectuiv(query, GL_QUERY_RESULT_AVAILABLE, &ready);
        return ready == GL_TRUE;
    };
    while (!pending_.empty()) {
        const Queries q = pending_.front();
        if (q.samples) {
            if (!available(q.samples) || !available(q.invocations)) return;
            GLuint64 count = 0;
            glGetQueryObjectui64v(q.samples, GL_QUERY_RESULT, &count);
            fragments_ += count;
            free_.push_back(q.samples);
            if (q.invocations) {
                glGetQueryObjectui64v(q.invocations, GL_QUERY_RESULT, &count);
                invocations_ += count;
                free_.push_back(q.invocations);
            }
        }
        pending_.pop_front();
        ++frames_;
    }
}

}  // namespace d3d8
