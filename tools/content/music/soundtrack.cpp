#include "music/soundtrack.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "music/dsp.h"
#include "music/mixdown.h"
#include "music/instruments.h"

namespace content {
namespace {

struct Chord {
    int root;              // bass note
    std::vector<int> pad;  // voicing around the middle of the keyboard
};

const Chord kDm{38, {53, 57, 62, 64}};
const Chord kDm9{38, {53, 57, 60, 64}};
const Chord kBb{34, {53, 57, 62, 65}};
const Chord kF{41, {55, 57, 60, 65}};
const Chord kC{36, {55, 60, 62, 64}};
const Chord kGm{43, {55, 58, 62, 65}};
const Chord kA{33, {52, 57, 61, 64}};
const Chord kD{38, {54, 57, 62, 66}};

struct Note {
    double beat, length;
    int pitch;
};

// The main theme, eight bars over Dm Bb F C Dm Bb F C.
const std::vector<std::vector<Note>> kTheme = {
    {{0, 1.5, 69}, {1.5, 0.5, 67}, {2, 1, 65}, {3, 1, 64}}, {{0, 1, 65}, {1, 2, 62}, {3, 0.5, 64}, {3.5, 0.5, 65}},
    {{0, 1.5, 72}, {1.5, 0.5, 69}, {2, 1, 67}, {3, 1, 65}}, {{0, 3, 64}, {3, 1, 67}},
    {{0, 1.5, 69}, {1.5, 0.5, 74}, {2, 1, 72}, {3, 1, 69}}, {{0, 2, 70}, {2, 1, 69}, {3, 1, 65}},
    {{0, 1.5, 67}, {1.5, 0.5, 69}, {2, 1, 72}, {3, 1, 69}}, {{0, 2, 67}, {2, 1, 65}, {3, 1, 64}},
};

// The intro's answer phrase over Dm9 Bb Gm A.
const std::vector<std::vector<Note>> kIntroLine = {
    {{0, 2, 69}, {2, 1, 76}, {3, 1, 74}},
    {{0, 3, 74}, {3, 1, 72}},
    {{0, 2, 70}, {2, 1, 69}, {3, 1, 67}},
    {{0, 2, 69}, {2, 2, 73}},
};

// A section's clock: its start in seconds and the length of one beat.
struct Grid {
    double start, beat;
    double At(double beats) const { return start + beats * beat; }
    double Bar(int bar, double beats = 0.0) const { return At(bar * 4.0 + beats); }
};

class Arranger {
public:
    explicit Arranger(Mix& m) : m_(m) {}

    void Pads(const Grid& g, const std::vector<const Chord*>& bars, int firstBar, const PadSound& s,
              int barsPerChord = 1) {
        for (std::size_t i = 0; i < bars.size(); ++i) {
            double t = g.Bar(firstBar + static_cast<int>(i) * barsPerChord);
            Pad(m_, t, g.beat * 4.0 * barsPerChord, bars[i]->pad, s);
        }
    }
    void Melody(const Grid& g, const std::vector<std::vector<Note>>& line, int firstBar, int transpose, double vel,
                double brightness, std::size_t from = 0, std::size_t count = 99) {
        for (std::size_t b = from; b < line.size() && b < from + count; ++b)
            for (const Note& n : line[b])
                Lead(m_, g.Bar(firstBar + static_cast<int>(b - from), n.beat), n.length * g.beat * 0.92,
                     n.pitch + transpose, vel, brightness);
    }
    void BellLine(const Grid& g, const std::vector<std::vector<Note>>& line, int firstBar, int transpose, double vel,
                  std::size_t count) {
        for (std::size_t b = 0; b < line.size() && b < count; ++b)
            for (const Note& n : line[b])
                Bell(m_, g.Bar(firstBar + static_cast<int>(b), n.beat), n.pitch + transpose, vel,
                     n.pitch % 2 ? 0.3 : -0.3);
    }
    // Eighth-note bass with an octave pop on every other off-beat.
    void BassEighths(const Grid& g, const Chord& c, int bar, double vel, double cutoff, int eighths = 8) {
        for (int e = 0; e < eighths; ++e) {
            int note = c.root + ((e % 4) == 3 ? 12 : 0);
            Bass(m_, g.Bar(bar, e * 0.5), g.beat * 0.42, note, vel * (e % 2 ? 0.8 : 1.0), cutoff);
        }
    }
    void BassLong(const Grid& g, const Chord& c, int bar, double vel, double cutoff) {
        Bass(m_, g.Bar(bar), g.beat * 2.3, c.root, vel, cutoff);
        Bass(m_, g.Bar(bar, 2.5), g.beat * 1.3, c.root, vel * 0.85, cutoff);
    }
    void Arp(const Grid& g, const Chord& c, int bar, double vel, int octaveUp = 12, int sixteenths = 16) {
        static const std::array<int, 8> order = {0, 2, 1, 3, 2, 0, 3, 1};
        for (int s = 0; s < sixteenths; ++s) {
            int note =
                c.pad[static_cast<std::size_t>(order[static_cast<std::size_t>(s % 8)]) % c.pad.size()] + octaveUp;
            double accent = s % 4 == 0 ? 1.0 : 0.7;
            Pluck(m_, g.Bar(bar, s * 0.25), g.beat * 0.2, note, vel * accent, (s % 2 ? 0.45 : -0.45));
        }
    }
    // Hats with a touch of swing on the off sixteenths and a drummer's
    // uneven hand (a fixed pattern of small velocity changes).
    void Hats(const Grid& g, int bar, double vel, int perBeat, bool openOffbeats) {
        static const double hand[8] = {1.0, 0.86, 0.94, 0.8, 0.97, 0.84, 0.91, 0.78};
        for (int s = 0; s < 4 * perBeat; ++s) {
            double beat = static_cast<double>(s) / perBeat;
            bool off = std::fmod(beat, 1.0) == 0.5;
            double swing = perBeat == 4 && s % 2 == 1 ? 0.04 : 0.0;
            double h = hand[static_cast<std::size_t>((s + bar * 3) % 8)];
            if (openOffbeats && off)
                Hat(m_, g.At(bar * 4.0 + beat), vel * 0.9 * h, true);
            else
                Hat(m_, g.At(bar * 4.0 + beat + swing), vel * h * (s % perBeat == 0 ? 1.0 : 0.6), false);
        }
    }
    void SnareRoll(const Grid& g, int bar, double fromBeat, double vel) {
        for (double b = fromBeat; b < 4.0; b += 0.25)
            Snare(m_, g.At(bar * 4.0 + b), vel * (0.35 + 0.65 * (b - fromBeat) / (4.0 - fromBeat)));
    }
    // A section change: the music stops for a breath, then everything hits.
    void Drop(double t, double vel, bool impact) {
        const std::size_t n = static_cast<std::size_t>(0.06 * SAMPLE_RATE),
                          ramp = static_cast<std::size_t>(0.006 * SAMPLE_RATE);
        for (std::size_t i = 0; i < n; ++i) {
            std::size_t k = static_cast<std::size_t>((t - 0.06) * SAMPLE_RATE) + i;
            // Short ramps at both ends keep the breath free of clicks.
            float edge = static_cast<float>(std::min({i, n - 1 - i, ramp})) / static_cast<float>(ramp);
            if (k < m_.Frames()) m_.duck[k] = std::min(m_.duck[k], 1.0f - 0.95f * edge);
        }
        Kick(m_, t, vel);
        Crash(m_, t, vel);
        if (impact) Impact(m_, t, vel * 0.8);
    }

private:
    Mix& m_;
};

// 0 - 22 s: the machine. Half-time kicks on the flash pulses, a syncopated
// accent after each, pads over Dm9 Bb Gm A, the answer phrase from the logo on.
void Intro(Mix& m, Arranger& a) {
    Grid g{0.387, 0.63};
    PadSound soft{1100.0, 2.0, 2.4, 0.045, 0.12, 0.6};
    const std::vector<const Chord*> prog = {&kDm9, &kBb, &kGm, &kA, &kDm9, &kBb, &kGm, &kA};
    Pad(m, 0.0, g.start + 4 * g.beat, kDm9.pad, soft);
    a.Pads(g, {prog.begin() + 1, prog.end()}, 1, soft);
    for (int k = 0; k < 14; ++k) {
        Kick(m, 0.387 + 1.26 * k, 1.0);
        // The accent: a clap over a low tom, a "boom-tak" answer to the kick.
        Clap(m, 0.862 + 1.26 * k, 0.8);
        Tom(m, 0.862 + 1.26 * k, 45.0, 0.75);
        Hat(m, 0.862 + 1.26 * k, 0.5, true);
    }
    for (int k = 0; k < 3; ++k) Bell(m, 3.815 + 5.0 * k, k == 1 ? 81 : 76, 0.9, k % 2 ? 0.5 : -0.5);
    for (int bar = 1; bar < 7; ++bar) a.BassLong(g, *prog[static_cast<std::size_t>(bar)], bar, 0.8, 260.0);
    for (int bar = 2; bar < 6; ++bar) a.Hats(g, bar, 0.45, 2, false);
    for (int bar = 3; bar < 7; ++bar) a.Arp(g, *prog[static_cast<std::size_t>(bar)], bar, 0.45);
    a.Melody(g, kIntroLine, 4, 0, 0.8, 1800.0);
    Riser(m, 19.9, 21.94, 0.8);
}

// 22 - 40 s: the credits. The full groove and the theme's first half.
void Credits(Mix& m, Arranger& a) {
    Grid g{22.0, 18.0 / 28.0};
    PadSound pad{1600.0, 0.5, 1.2, 0.04, 0.12, 0.5};
    const std::vector<const Chord*> prog = {&kDm, &kBb, &kF, &kC, &kDm, &kBb, &kA};
    a.Drop(22.0, 1.0, false);
    a.Pads(g, prog, 0, pad);
    for (int bar = 0; bar < 7; ++bar) {
        const Chord& c = *prog[static_cast<std::size_t>(bar)];
        a.BassEighths(g, c, bar, 0.85, 320.0);
        for (double b : {0.0, 2.0, 2.5})
            if (bar > 0 || b > 0.0) Kick(m, g.At(bar * 4 + b), 0.95);
        if (bar < 6) {
            Snare(m, g.At(bar * 4 + 1), 0.8);
            Snare(m, g.At(bar * 4 + 3), 0.85);
            a.Hats(g, bar, 0.55, 4, false);
            a.Arp(g, c, bar, 0.55);
        }
    }
    a.Melody(g, kTheme, 0, 0, 0.85, 2400.0, 0, 6);
    a.SnareRoll(g, 6, 0.0, 0.85);
    Lead(m, g.Bar(6), g.beat * 3.6, 73, 0.8, 2600.0);
    Riser(m, g.Bar(6), 39.93, 1.0);
}

// 40 - 60 s: the light floor. Beatless but pulsing; a deep accent every five
// seconds with a swell into it; darkness from 57 s.
void LightFloorSection(Mix& m, Arranger& a) {
    Grid g{40.0, 0.625};
    PadSound wide{900.0, 1.4, 2.5, 0.05, 0.16, 0.7};
    const std::vector<const Chord*> prog = {&kDm9, &kBb, &kGm, &kA};
    a.Pads(g, prog, 0, wide, 2);
    for (int k = 0; k < 4; ++k) {
        double t = 40.0 + 5.0 * k;
        a.Drop(t, 1.0, true);
        if (k > 0) Riser(m, t - 0.9, t - 0.03, 0.5);
        Bell(m, t + 2.5, 74 + (k % 2) * 3, 0.7, k % 2 ? 0.6 : -0.6);
    }
    for (int bar = 0; bar < 7; ++bar) {
        const Chord& c = *prog[static_cast<std::size_t>(bar / 2)];
        for (int e = 0; e < 8; ++e) Bass(m, g.Bar(bar, e * 0.5), g.beat * 0.3, c.root + 12 * (e == 7), 0.7, 220.0);
        for (double b : {1.0, 2.0, 3.0}) Kick(m, g.At(bar * 4 + b), 0.45, 0.35);
        Rim(m, g.At(bar * 4 + 1.75), 0.6);
        Rim(m, g.At(bar * 4 + 3.5), 0.45);
        a.Hats(g, bar, 0.3, 4, false);
        a.Arp(g, c, bar, 0.35, 24, 16);
    }
    Riser(m, 57.3, 59.93, 0.9);
}

// 60 - 85.8 s: the fish and the greetings. Four on the floor and the whole
// theme; then the break: hits at 82.84 and 83, a five-stroke tom run, silence
// rising into the crash at 85.391.
void Greetings(Mix& m, Arranger& a) {
    Grid g{60.0, 0.625};
    PadSound pad{2000.0, 0.3, 1.0, 0.035, 0.13, 0.5};
    const std::vector<const Chord*> prog = {&kDm, &kBb, &kF, &kC, &kDm, &kBb, &kF, &kC, &kGm};
    a.Drop(60.0, 1.0, true);
    a.Pads(g, prog, 0, pad);
    for (int bar = 0; bar < 9; ++bar) {
        const Chord& c = *prog[static_cast<std::size_t>(bar)];
        for (int e = 0; e < 16; ++e) {
            int note = c.root + (e % 2 ? 12 : 0);
            Bass(m, g.Bar(bar, e * 0.25), g.beat * 0.2, note, e % 4 == 0 ? 0.9 : 0.65, 380.0);
        }
        for (int b = 0; b < 4; ++b)
            if (bar > 0 || b > 0) Kick(m, g.At(bar * 4 + b), 0.95);
        Clap(m, g.At(bar * 4 + 1), 0.85);
        Clap(m, g.At(bar * 4 + 3), 0.85);
        a.Hats(g, bar, 0.5, 4, true);
        a.Arp(g, c, bar, 0.5);
    }
    a.Melody(g, kTheme, 0, 0, 0.9, 2800.0);
    Lead(m, g.Bar(8), g.beat * 3.0, 74, 0.85, 3000.0);
    // The break.
    Snare(m, 82.5, 0.6);
    Snare(m, 82.656, 0.7);
    for (double t : {82.84, 83.0}) {
        Kick(m, t, 1.0);
        Crash(m, t, 0.7);
    }
    for (int k = 0; k < 5; ++k) {
        double t = 83.086 + 0.181 * k;
        Tom(m, t, 50 - 3 * k, 1.0);
        Kick(m, t, 0.7, 0.2);
    }
    Pad(m, 83.0, 2.3, kA.pad, PadSound{700.0, 1.5, 0.3, 0.05, 0.2, 0.6});
    Riser(m, 83.9, 85.36, 1.1);
    Kick(m, 85.391, 1.0);
    Crash(m, 85.391, 1.0);
    Clap(m, 85.391, 0.9);
    Rim(m, 85.6, 0.8);
    Rim(m, 85.665, 0.6);
}

// 85.8 - 114.3 s: the crispbread. Fog first, then half-time drums under the
// theme an octave up, broad pads.
void Crispbread(Mix& m, Arranger& a) {
    Grid g{85.779, (114.299 - 85.779) / 44.0};
    PadSound big{1500.0, 1.0, 1.8, 0.05, 0.14, 0.7};
    const std::vector<const Chord*> prog = {&kBb, &kC, &kDm, &kBb, &kF, &kC, &kDm, &kBb, &kF, &kC, &kA};
    a.Drop(85.779, 1.0, true);
    a.Pads(g, prog, 0, big);
    Bell(m, g.Bar(0, 2), 81, 0.8, -0.4);
    Bell(m, g.Bar(1, 0), 79, 0.8, 0.4);
    Bell(m, g.Bar(1, 2), 77, 0.7, -0.2);
    for (int bar = 2; bar < 10; ++bar) {
        const Chord& c = *prog[static_cast<std::size_t>(bar)];
        a.BassLong(g, c, bar, 0.9, 300.0);
        Kick(m, g.At(bar * 4), 1.0);
        Kick(m, g.At(bar * 4 + 2.5), 0.8);
        Snare(m, g.At(bar * 4 + 2), 0.9);
        a.Hats(g, bar, 0.45, 2, bar >= 6);
        if (bar >= 4) a.Arp(g, c, bar, 0.4);
    }
    a.Melody(g, kTheme, 2, 12, 0.75, 2600.0);
    Bass(m, g.Bar(10), g.beat * 3.8, kA.root, 0.9, 300.0);
    a.SnareRoll(g, 10, 1.0, 0.9);
    Riser(m, g.Bar(10), 114.23, 1.0);
}

// 114.3 - 131.3 s: the flower. Lighter, plucked, the theme on bells; four
// falling hits from 128.488 and a held breath before the last part.
void Flower(Mix& m, Arranger& a) {
    Grid g{114.299, (128.488 - 114.299) / 24.0};
    PadSound airy{2600.0, 0.6, 1.5, 0.035, 0.1, 0.6};
    const std::vector<const Chord*> prog = {&kDm, &kBb, &kF, &kC, &kGm, &kA};
    a.Drop(114.299, 1.0, true);
    a.Pads(g, prog, 0, airy);
    for (int bar = 0; bar < 6; ++bar) {
        const Chord& c = *prog[static_cast<std::size_t>(bar)];
        a.BassEighths(g, c, bar, 0.75, 420.0);
        for (double b : {0.0, 2.0})
            if (bar > 0 || b > 0.0) Kick(m, g.At(bar * 4 + b), 0.85);
        Rim(m, g.At(bar * 4 + 1), 0.7);
        Rim(m, g.At(bar * 4 + 3), 0.7);
        a.Hats(g, bar, 0.4, 4, false);
        a.Arp(g, c, bar, 0.6, 12);
        a.Arp(g, c, bar, 0.3, 24);
    }
    a.BellLine(g, kTheme, 0, 12, 0.9, 4);
    a.Melody(g, kTheme, 4, 0, 0.7, 2200.0, 4, 2);
    for (int k = 0; k < 4; ++k) {
        double t = 128.488 + 0.44 * k;
        Kick(m, t, 1.0);
        Tom(m, t, 48 - 4 * k, 0.9);
        if (k == 3) Crash(m, t, 0.8);
    }
    Pad(m, 129.9, 1.3, kA.pad, PadSound{900.0, 0.8, 0.4, 0.05, 0.2, 0.5});
    Riser(m, 129.9, 131.24, 0.9);
}

// 131.3 - 163.5 s: the landscape at dawn. The theme once more, softly, then a
// D major chord that rings out under the closing fade.
void Outro(Mix& m, Arranger& a) {
    Grid g{131.299, 0.63};
    PadSound dawn{1300.0, 1.2, 3.0, 0.05, 0.12, 0.8};
    const std::vector<const Chord*> prog = {&kDm, &kBb, &kF, &kC, &kDm, &kBb, &kF, &kC};
    a.Drop(131.299, 1.0, true);
    a.Pads(g, prog, 0, dawn);
    for (int bar = 0; bar < 8; ++bar) {
        const Chord& c = *prog[static_cast<std::size_t>(bar)];
        a.BassLong(g, c, bar, 0.8, 260.0);
        if (bar >= 2) {
            Kick(m, g.At(bar * 4), 0.85);
            Kick(m, g.At(bar * 4 + 2.5), 0.6);
            Snare(m, g.At(bar * 4 + 2), 0.6);
            a.Hats(g, bar, 0.35, 2, false);
        }
        if (bar >= 4) a.Arp(g, c, bar, 0.35, 12);
    }
    a.Melody(g, kTheme, 0, 0, 0.75, 2000.0);
    double end = g.Bar(8);
    Kick(m, end, 0.9);
    Crash(m, end, 0.8);
    Impact(m, end, 0.5);
    Pad(m, end, 10.0, kD.pad, PadSound{1200.0, 0.4, 2.0, 0.06, 0.12, 0.9});
    Bass(m, end, 6.0, 26, 0.8, 200.0);
    Lead(m, end, 4.0, 74, 0.7, 1800.0);
    Bell(m, end, 78, 0.8, 0.3);
    Bell(m, end + 0.63, 81, 0.6, -0.3);
    Bell(m, end + 1.26, 86, 0.5, 0.2);
}

}  // namespace

Soundtrack ComposeSoundtrack() {
    auto frames = static_cast<std::size_t>(SOUNDTRACK_SECONDS * SAMPLE_RATE);
    Mix m(frames);
    Arranger a(m);
    Intro(m, a);
    Credits(m, a);
    LightFloorSection(m, a);
    Greetings(m, a);
    Crispbread(m, a);
    Flower(m, a);
    Outro(m, a);

    Bus reverb(frames), delay(frames);
    ApplyReverb(m.reverb, reverb, 0.86, 0.35, 1.0);
    ApplyDelay(m.delay, delay, 0.63 * 0.75, 0.42, 0.6);
    Soundtrack s;
    Master(m, reverb, delay, 152.8, 163.0, s.left, s.right);
    return s;
}

}  // namespace content
