#pragma once
// What this machine's OpenGL does with nothing of ours in between: the time
// per fragment of a blended, textured full-screen quad and the time per
// triangle of a batched mesh of small triangles, at one frame size. A frame
// that shades F fragments of T triangles cannot take less than
// F x nsPerFragment + T x nsPerTriangle. Fragments are counted as the
// profile counts a frame's: shader invocations where the driver counts
// them (a block-wise rasteriser shades whole blocks along a triangle's
// edges), else samples that pass.
#include <SDL.h>

#include <memory>
#include <string>

struct Calibration {
    double nsPerFragment = 0.0;
    double nsPerTriangle = 0.0;
    bool shaded = false;  // fragments counted as shader invocations
};

// A GL 3.3 core context of its own on a hidden window, with a target of the
// frame size and the few objects the measurements draw with.
class Calibrator {
public:
    // Null with a message when no such context can be made.
    static std::unique_ptr<Calibrator> Create(int width, int height, std::string& error);
    ~Calibrator();
    Calibrator(const Calibrator&) = delete;
    Calibrator& operator=(const Calibrator&) = delete;

    // Best of runs, each of full-screen quads blended over each other until
    // about fragments have been shaded (the same work at every size). The
    // machine is shared: the best run is the one least disturbed.
    double NsPerFragment(double fragments = 2.0e7, int runs = 7);
    // Best of runs: draws of the mesh, less what its fragments cost.
    double NsPerTriangle(double nsPerFragment, int draws = 6, int runs = 5);
    Calibration Measure();
    // Triangles in one draw of the mesh.
    int MeshTriangles() const { return meshIndices_ / 3; }
    // Whether fragments are counted as shader invocations.
    bool CountsShaded() const { return countsShaded_; }

private:
    Calibrator(int width, int height) : width_(width), height_(height) {}
    bool Setup(std::string& error);
    void MakeMesh();
    template <typename Fn>
    double Shaded(Fn fn);

    int width_, height_;
    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
    bool videoInit_ = false, countsShaded_ = false;
    unsigned program_ = 0, texture_ = 0, framebuffer_ = 0, colorBuffer_ = 0, query_ = 0;
    unsigned quadArray_ = 0, quadBuffer_ = 0;
    unsigned meshArray_ = 0, meshBuffers_[2] = {};
    int meshIndices_ = 0;
};

// The faster figure of each.
Calibration Better(const Calibration& a, const Calibration& b);

// Calibrator::Create(...)->Measure(), or false with a message. Whatever the
// current context has queued runs to its end first, so that nothing shares
// the machine with the measurement; that context is current again after.
bool Calibrate(int width, int height, Calibration& result, std::string& error);
