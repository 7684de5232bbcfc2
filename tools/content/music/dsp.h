#pragma once
// Small signal-processing pieces for the soundtrack: a seeded noise source,
// band-limited oscillators, envelopes and filters. All state lives in the
// objects, so a voice is a handful of these and renders deterministically.
#include <cmath>
#include <cstdint>

namespace content {

constexpr double SAMPLE_RATE = 44100.0;
constexpr double PI = 3.14159265358979323846;

inline double MidiHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

class Noise {
public:
    explicit Noise(std::uint32_t seed) : s_(seed ? seed : 0x9E3779B9u) {}
    // Uniform in -1..1.
    float Next() {
        s_ ^= s_ << 13;
        s_ ^= s_ >> 17;
        s_ ^= s_ << 5;
        return static_cast<float>(s_) * (2.0f / 4294967295.0f) - 1.0f;
    }

private:
    std::uint32_t s_;
};

// Saw and pulse with polyBLEP corrections, so high notes do not alias into
// the audible band.
class Oscillator {
public:
    void SetPhase(double p) { phase_ = p; }
    double Saw(double hz) {
        double dt = hz / SAMPLE_RATE;
        double v = 2.0 * phase_ - 1.0 - Blep(phase_, dt);
        Advance(dt);
        return v;
    }
    double Pulse(double hz, double width) {
        double dt = hz / SAMPLE_RATE;
        double v = phase_ < width ? 1.0 : -1.0;
        v += Blep(phase_, dt);
        double p2 = phase_ - width + (phase_ < width ? 1.0 : 0.0);
        v -= Blep(p2, dt);
        Advance(dt);
        return v;
    }
    double Sine(double hz) {
        double v = std::sin(2.0 * PI * phase_);
        Advance(hz / SAMPLE_RATE);
        return v;
    }
    double Phase() const { return phase_; }

private:
    static double Blep(double t, double dt) {
        if (t < dt) {
            t /= dt;
            return t + t - t * t - 1.0;
        }
        if (t > 1.0 - dt) {
            t = (t - 1.0) / dt;
            return t * t + t + t + 1.0;
        }
        return 0.0;
    }
    void Advance(double dt) {
        phase_ += dt;
        phase_ -= std::floor(phase_);
    }
    double phase_ = 0.0;
};

// Attack, decay, sustain, release in seconds; the release starts at the
// note's end, the level ramps are exponential-ish for a natural decay.
struct Adsr {
    double attack = 0.01, decay = 0.1, sustain = 0.7, release = 0.2;
    double At(double t, double length) const {
        auto held = [&](double x) {
            if (x < attack) return x / attack;
            double d = (x - attack) / decay;
            return sustain + (1.0 - sustain) * std::exp(-3.0 * d);
        };
        if (t < 0.0) return 0.0;
        if (t < length) return held(t);
        double r = (t - length) / release;
        return held(length) * std::exp(-5.0 * r) * (r < 1.5 ? 1.0 : 0.0);
    }
    double Tail() const { return release * 1.5; }
};

// Topology-preserving state-variable filter: stable under fast cutoff sweeps.
class Svf {
public:
    void Set(double hz, double q) {
        hz = std::fmin(std::fmax(hz, 20.0), SAMPLE_RATE * 0.45);
        g_ = std::tan(PI * hz / SAMPLE_RATE);
        k_ = 1.0 / q;
        a1_ = 1.0 / (1.0 + g_ * (g_ + k_));
    }
    void Process(double x) {
        double v3 = x - ic2_;
        double v1 = a1_ * ic1_ + g_ * a1_ * v3;
        double v2 = ic2_ + g_ * v1;
        ic1_ = 2.0 * v1 - ic1_;
        ic2_ = 2.0 * v2 - ic2_;
        low = v2;
        band = v1;
        high = x - k_ * v1 - v2;
    }
    double low = 0.0, band = 0.0, high = 0.0;

private:
    double g_ = 0.1, k_ = 1.0, a1_ = 1.0, ic1_ = 0.0, ic2_ = 0.0;
};

class OnePole {
public:
    void Set(double hz) { a_ = 1.0 - std::exp(-2.0 * PI * hz / SAMPLE_RATE); }
    double Low(double x) { return y_ += a_ * (x - y_); }

private:
    double a_ = 1.0, y_ = 0.0;
};

}  // namespace content
