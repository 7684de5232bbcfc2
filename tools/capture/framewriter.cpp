#include "framewriter.h"

#include <cstdio>
#include <utility>

#include "pngwriter.h"

FrameWriter::FrameWriter(std::string dir) : dir_(std::move(dir)), worker_([this] { Run(); }) {}

FrameWriter::~FrameWriter() { Finish(); }

int FrameWriter::Submit(std::vector<uint32_t> pixels, int width, int height) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return jobs_.size() < MAX_WAITING; });
    jobs_.push_back(Job{submitted_, width, height, std::move(pixels)});
    changed_.notify_all();
    return submitted_++;
}

int FrameWriter::Finish() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable()) worker_.join();
    return failed_;
}

// Nothing may leave the worker thread, where it would abort the process: a
// frame that throws (out of memory, above all) is a frame not written, and
// the capture reports it as such.
bool FrameWriter::Write(const Job& job) const noexcept {
    try {
        char name[32];
        std::snprintf(name, sizeof name, "/frame_%06d.png", job.index);
        return WritePng(dir_ + name, job.pixels.data(), job.width, job.height);
    } catch (...) {
        return false;
    }
}

void FrameWriter::Run() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        changed_.notify_all();
        if (!Write(job)) {
            std::lock_guard lock(mutex_);
            ++failed_;
        }
    }
}
