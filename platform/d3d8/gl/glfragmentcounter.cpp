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
    for (std::vector<GLuint>* spare : {&freeSamples_, &freeInvocations_})
        if (!spare->empty()) glDeleteQueries(GLsizei(spare->size()), spare->data());
}

void GLFragmentCounter::Enable(bool enable) {
    if (enable && !enabled_) countsInvocations_ = GLHasExtension("GL_ARB_pipeline_statistics_query");
    enabled_ = enable;
}

GLFragmentCounter::Queries GLFragmentCounter::Take() {
    // A query object keeps the target it was first begun with: one begun
    // with another is an error, and its result would be the old one's.
    auto one = [](std::vector<GLuint>& spare) {
        GLuint query = 0;
        if (spare.empty()) {
            glGenQueries(1, &query);
        } else {
            query = spare.back();
            spare.pop_back();
        }
        return query;
    };
    Queries q;
    q.samples = one(freeSamples_);
    if (countsInvocations_) q.invocations = one(freeInvocations_);
    return q;
}

void GLFragmentCounter::Release(const Queries& q) {
    freeSamples_.push_back(q.samples);
    if (q.invocations) freeInvocations_.push_back(q.invocations);
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
    Release(active_);
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
            if (q.invocations) {
                glGetQueryObjectui64v(q.invocations, GL_QUERY_RESULT, &count);
                invocations_ += count;
            }
            Release(q);
        }
        pending_.pop_front();
        ++frames_;
    }
}

}  // namespace d3d8
