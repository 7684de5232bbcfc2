#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Encodes numbered PNG frames on a thread of its own, so the show renders
// the next frame while the last one is compressed. A few frames may wait;
// beyond that Submit blocks, which keeps memory flat however slow the disk.
class FrameWriter {
public:
    explicit FrameWriter(std::string dir);
    ~FrameWriter();
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;

    // Queues top-down A8R8G8B8 pixels; returns the frame's file number.
    int Submit(std::vector<uint32_t> pixels, int width, int height);
    // Waits until every queued frame is written; returns how many failed.
    int Finish();
    int Submitted() const { return submitted_; }

private:
    struct Job {
        int index = 0;
        int width = 0, height = 0;
        std::vector<uint32_t> pixels;
    };
    void Run();
    bool Write(const Job& job) const noexcept;

    static constexpr size_t MAX_WAITING = 3;
    const std::string dir_;
    int submitted_ = 0;
    int failed_ = 0;  // guarded by mutex_
    bool stopping_ = false;
    std::deque<Job> jobs_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread worker_;
};
