#pragma once
// The soundtrack's instruments. Each call renders one note or hit straight
// into the mix buses: drums stay dry of the side-chain, the music bus is
// ducked by the kicks, and two send buses feed the reverb and the delay.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace content {

struct Bus {
    explicit Bus(std::size_t n) : l(n, 0.0f), r(n, 0.0f) {}
    void Add(std::size_t i, double a, double b) {
        if (i < l.size()) {
            l[i] += static_cast<float>(a);
            r[i] += static_cast<float>(b);
        }
    }
    std::vector<float> l, r;
};

struct Mix {
    explicit Mix(std::size_t n) : drums(n), music(n), reverb(n), delay(n), duck(n, 1.0f) {}
    std::size_t Frames() const { return duck.size(); }
    Bus drums, music, reverb, delay;
    std::vector<float> duck;  // gain of the music bus, lowered after each kick
};

struct PadSound {
    double cutoff = 1400.0;  // Hz, swept slowly around this
    double attack = 0.9, release = 1.6;
    double level = 0.05;
    double detune = 0.11;  // semitones between the outer saws
    double reverb = 0.5;
};

// Drums and effects.
void Kick(Mix& m, double t, double vel, double duckDepth = 0.55);
void Snare(Mix& m, double t, double vel);
void Clap(Mix& m, double t, double vel);
void Hat(Mix& m, double t, double vel, bool open);
void Crash(Mix& m, double t, double vel);
void Tom(Mix& m, double t, double note, double vel);
void Impact(Mix& m, double t, double vel);
void Riser(Mix& m, double from, double to, double vel);
void Rim(Mix& m, double t, double vel);
// Tonal.
void Pad(Mix& m, double t, double length, const std::vector<int>& notes, const PadSound& s);
void Bass(Mix& m, double t, double length, int note, double vel, double cutoff);
void Lead(Mix& m, double t, double length, int note, double vel, double brightness);
void Pluck(Mix& m, double t, double length, int note, double vel, double pan);
void Bell(Mix& m, double t, int note, double vel, double pan);

}  // namespace content
