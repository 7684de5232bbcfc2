#include "music/instruments.h"

#include <algorithm>
#include <cmath>

#include "music/dsp.h"

namespace content {
namespace {

std::size_t Frame(double t) { return static_cast<std::size_t>(std::llround(std::max(0.0, t) * SAMPLE_RATE)); }

std::uint32_t Seed(double t, double salt) {
    return static_cast<std::uint32_t>(std::llround(t * 1000003.0 + salt * 7919.0)) * 2654435761u + 12345u;
}

// Lower the music bus for a moment after a hit, the way a side-chained
// compressor pumps in dance music; the hit itself stays in front.
void Duck(Mix& m, double t, double depth, double time) {
    std::size_t s = Frame(t);
    std::size_t n = static_cast<std::size_t>(time * 5.0 * SAMPLE_RATE);
    for (std::size_t i = 0; i < n && s + i < m.Frames(); ++i) {
        double x = static_cast<double>(i) / SAMPLE_RATE;
        double attack = std::min(1.0, x / 0.004);
        double g = 1.0 - depth * attack * std::exp(-x / time);
        m.duck[s + i] = std::min(m.duck[s + i], static_cast<float>(g));
    }
}

void Pan(double pan, double& l, double& r) {
    double a = (pan + 1.0) * 0.25 * PI;
    l = std::cos(a) * 1.4142;
    r = std::sin(a) * 1.4142;
}

}  // namespace

void Kick(Mix& m, double t, double vel, double duckDepth) {
    Oscillator o;
    Noise nz(Seed(t, 1));
    OnePole click;
    click.Set(3000.0);
    std::size_t s = Frame(t);
    std::size_t n = static_cast<std::size_t>(0.55 * SAMPLE_RATE);
    for (std::size_t i = 0; i < n; ++i) {
        double x = static_cast<double>(i) / SAMPLE_RATE;
        double hz = 46.0 + 110.0 * std::exp(-x / 0.035);
        double body = o.Sine(hz) * std::exp(-x / 0.22);
        double c = click.Low(nz.Next()) * std::exp(-x / 0.004) * 0.9;
        double v = std::tanh(1.6 * (body + c)) * vel * 0.85;
        m.drums.Add(s + i, v, v);
    }
    Duck(m, t, duckDepth, 0.14);
}

void Snare(Mix& m, double t, double vel) {
    Oscillator o;
    Noise nz(Seed(t, 2));
    Svf f;
    f.Set(3200.0, 0.7);
    std::size_t s = Frame(t);
    std::size_t n = static_cast<std::size_t>(0.4 * SAMPLE_RATE);
    for (std::size_t i = 0; i < n; ++i) {
        double x = static_cast<double>(i) / SAMPLE_RATE;
        double tone = o.Sine(185.0 + 60.0 * std::exp(-x / 0.02)) * std::exp(-x / 0.06) * 0.5;
        f.Process(nz.Next());
        double noise = (f.band * 1.2 + f.high * 0.4) * std::exp(-x / 0.11);
        double v = (tone + noise) * vel * 0.55;
        m.drums.Add(s + i, v * 0.95, v);
        m.reverb.Add(s + i, v * 0.35, v * 0.35);
    }
}

void Clap(Mix& m, double t, double vel) {
    Noise nz(Seed(t, 3));
    Svf f;
    f.Set(1400.0, 1.2);
    std::size_t s = Frame(t);
    std::size_t n = static_cast<std::size_t>(0.35 * SAMPLE_RATE);
    for (std::size_t i = 0; i < n; ++i) {
        double x = static_cast<double>(i) / SAMPLE_RATE;
        // Three quick slaps, then the body of the clap.
        double env = std::exp(-x / 0.09);
        for (double d : {0.0, 0.011, 0.022})
            if (x >= d && x < d + 0.008) env = std::max(env, 1.2 * std::exp(-(x - d) / 0.003));
        f.Process(nz.Next());
        double v = f.band * env * vel * 0.9;
        m.drums.Add(s + i, v, v * 0.9);
        m.reverb.Add(s + i, v * 0.45, v * 0.45);
    }
}

void Rim(Mix& m, double t, double vel) {
    Oscillator a, b;
    Noise nz(Seed(t, 9));
    std::size_t s = Frame(t);
    std::size_t n = static_cast<std::size_t>(0.12 * SAMPLE_RATE);
    for (std::size_t i = 0; i < n; ++i) {
        double x = static_cast<double>(i) / SAMPLE_RATE;
        double v = (a.Sine(1650.0) * 0.5 + b.Pulse(485.0, 0.5) * 0.4 + nz.Next() * 0.5 * std::exp(-x / 0.004)) *
                   std::exp(-x / 0.025) * vel * 0.6;
        m.drums.Add(s + i, v * 0.7, v);
        m.delay.Add(s + i, v * 0.3, v * 0.3);
        m.reverb.Add(s + i, v * 0.3, v * 0.3);
    }
}

void Hat(Mix& m, double t, double vel, bool open) {
    Noise nz(Seed(t, open ? 5 : 4));
    Svf f;
    f.Set(8500.0, 0.8);
    Oscillator metal[3];
    const double ratios[3] = {1.0, 1.342, 1.2312};
    std::size_t s = Frame(t);
    double decay = open ? 0.16 : 0.035;
    std::size_t n = static_cast<std::size_t>(decay * 6.0 * SAMPLE_RATE);
    for (std::size_t i = 0; i < n; ++i) {
        double x = static_cast<double>(i) / SAMPLE_RATE;
        double ring = 0.0;
        for (int k = 0; k < 3; ++k) ring += metal[k].Pulse(3140.0 * ratios[k], 0.5);
        f.Process(nz.Next() + ring * 0.15);
        double v = f.high * std::exp(-x / decay) * vel * 0.22;
        m.drums.Add(s + i, v * 0.8, v);
    }
}

void Crash(Mix& m, double t, double vel) {
    Noise nz(Seed(t, 6));
    Svf f;
    f.Set(5200.0, 0.6);
    Oscillator metal[4];
    const double hz[4] = {523.0, 811.0, 1277.0, 1931.0};
    std::size_t s = Frame(t);
    std::size_t n = static_cast<std::size_t>(3.2 * SAMPLE_RATE);
    for (std::size_t i = 0; i < n; ++i) {
        double x = static_cast<double>(i) / SAMPLE_RATE;
        double ring = 0.0;
        for (int k = 0; k < 4; ++k) ring += metal[k].Pulse(hz[k], 0.5);
        f.Process(nz.Next() * 0.8 + ring * 0.08);
        double env = std::exp(-x / 0.7) * (0.6 + 0.4 * std::exp(-x / 0.05));
        double v = f.high * env * vel * 0.4;
        m.drums.Add(s + i, v, v * 0.92);
        m.reverb.Add(s + i, v * 0.4, v * 0.4);
    }
}

void Tom(Mix& m, double t, double note, double vel) {
    Oscillator o;
    Noise nz(Seed(t, 7));
    std::size_t s = Frame(t);
    std::size_t n = static_cast<std::size_t>(0.5 * SAMPLE_RATE);
    double base = MidiHz(note);
    for (std::size_t i = 0; i < n; ++i) {
        double x = static_cast<double>(i) / SAMPLE_RATE;
        double hz = base * (1.0 + 0.6 * std::exp(-x / 0.03));
        double v = (o.Sine(hz) + nz.Next() * 0.3 * std::exp(-x / 0.01)) * std::exp(-x / 0.16) * vel * 0.7;
        v = std::tanh(v * 1.3);
        m.drums.Add(s + i, v, v);
        m.reverb.Add(s + i, v * 0.3, v * 0.3);
    }
    Duck(m, t, 0.3, 0.1);
}

void Impact(Mix& m, double t, double vel) {
    Oscillator o;
    Noise nz(Seed(t, 8));
    Svf f;
    f.Set(900.0, 0.7);
    std::size_t s = Frame(t);
    std::size_t n = static_cast<std::size_t>(2.5 * SAMPLE_RATE);
    for (std::size_t i = 0; i < n; ++i) {
        double x = static_cast<double>(i) / SAMPLE_RATE;
        double boom = o.Sine(34.0 + 70.0 * std::exp(-x / 0.08)) * std::exp(-x / 0.7);
        f.Process(nz.Next());
        double air = f.low * std::exp(-x / 0.25) * 0.7;
        double v = std::tanh(1.4 * (boom + air)) * vel * 0.8;
        m.drums.Add(s + i, v, v);
        m.reverb.Add(s + i, air * vel * 0.5, air * vel * 0.5);
    }
    Duck(m, t, 0.7, 0.35);
}

void Riser(Mix& m, double from, double to, double vel) {
    Noise nz(Seed(from, 10));
    Svf f;
    std::size_t s = Frame(from);
    std::size_t e = Frame(to);
    for (std::size_t i = s; i < e && i < m.Frames(); ++i) {
        double p = static_cast<double>(i - s) / static_cast<double>(e - s);
        f.Set(250.0 * std::pow(40.0, p), 2.5);
        f.Process(nz.Next());
        double tail = std::min(1.0, static_cast<double>(e - i) / (0.008 * SAMPLE_RATE));
        double v = f.band * p * p * vel * 0.5 * tail;
        double w = std::sin(p * 40.0 * p) * 0.3;
        m.music.Add(i, v * (1.0 + w), v * (1.0 - w));
        m.reverb.Add(i, v * 0.5, v * 0.5);
    }
}

void Pad(Mix& m, double t, double length, const std::vector<int>& notes, const PadSound& ps) {
    Adsr env{ps.attack, 1.0, 0.85, ps.release};
    std::size_t s = Frame(t);
    std::size_t n = static_cast<std::size_t>((length + env.Tail()) * SAMPLE_RATE);
    int voice = 0;
    for (int note : notes) {
        Oscillator osc[3];
        Svf fl, fr;
        for (int k = 0; k < 3; ++k) osc[k].SetPhase(0.13 * (voice * 3 + k) + 0.07 * k * k);
        double hz[3] = {MidiHz(note - ps.detune), MidiHz(note), MidiHz(note + ps.detune)};
        for (std::size_t i = 0; i < n; ++i) {
            double x = static_cast<double>(i) / SAMPLE_RATE;
            double a = env.At(x, length) * ps.level;
            double lfo = std::sin(2.0 * PI * (0.13 * (t + x)) + voice);
            if ((i & 15) == 0) {
                fl.Set(ps.cutoff * (1.0 + 0.35 * lfo) * (0.6 + 0.4 * env.At(x, length)), 0.9);
                fr.Set(ps.cutoff * (1.0 - 0.3 * lfo) * (0.6 + 0.4 * env.At(x, length)), 0.9);
            }
            double s0 = osc[0].Saw(hz[0]), s1 = osc[1].Saw(hz[1]), s2 = osc[2].Saw(hz[2]);
            fl.Process(s0 + 0.6 * s1);
            fr.Process(s2 + 0.6 * s1);
            double l = fl.low * a, r = fr.low * a;
            m.music.Add(s + i, l, r);
            m.reverb.Add(s + i, l * ps.reverb, r * ps.reverb);
        }
        ++voice;
    }
}

void Bass(Mix& m, double t, double length, int note, double vel, double cutoff) {
    Adsr env{0.004, 0.2, 0.75, 0.06};
    Oscillator saw, sub;
    Svf f;
    std::size_t s = Frame(t);
    std::size_t n = static_cast<std::size_t>((length + env.Tail()) * SAMPLE_RATE);
    double hz = MidiHz(note);
    for (std::size_t i = 0; i < n; ++i) {
        double x = static_cast<double>(i) / SAMPLE_RATE;
        if ((i & 7) == 0) f.Set(cutoff * (1.0 + 3.0 * std::exp(-x / 0.07)), 1.6);
        f.Process(saw.Saw(hz));
        double v = (f.low * 0.7 + sub.Sine(hz) * 0.6) * env.At(x, length) * vel * 0.5;
        v = std::tanh(v * 1.5) / 1.5;
        m.music.Add(s + i, v, v);
    }
}

void Lead(Mix& m, double t, double length, int note, double vel, double brightness) {
    Adsr env{0.02, 0.4, 0.7, 0.25};
    Oscillator a, b, c;
    b.SetPhase(0.31);
    c.SetPhase(0.67);
    Svf f;
    std::size_t s = Frame(t);
    std::size_t n = static_cast<std::size_t>((length + env.Tail()) * SAMPLE_RATE);
    double hz = MidiHz(note);
    for (std::size_t i = 0; i < n; ++i) {
        double x = static_cast<double>(i) / SAMPLE_RATE;
        // Vibrato fades in once the note has settled.
        double vib = 1.0 + 0.004 * std::min(1.0, std::max(0.0, (x - 0.25) / 0.4)) * std::sin(2.0 * PI * 5.2 * x);
        if ((i & 7) == 0) f.Set(brightness * (0.5 + 2.2 * std::exp(-x / 0.18)), 2.2);
        double osc = a.Saw(hz * vib * 1.003) + b.Saw(hz * vib * 0.997) + 0.7 * c.Pulse(hz * vib * 0.5, 0.3);
        f.Process(osc * 0.4);
        double v = f.low * env.At(x, length) * vel * 0.33;
        m.music.Add(s + i, v * 0.92, v);
        m.delay.Add(s + i, v * 0.35, v * 0.35);
        m.reverb.Add(s + i, v * 0.4, v * 0.4);
    }
}

void Pluck(Mix& m, double t, double length, int note, double vel, double pan) {
    Adsr env{0.002, 0.25, 0.0, 0.15};
    Oscillator a, b;
    Svf f;
    std::size_t s = Frame(t);
    std::size_t n = static_cast<std::size_t>((length + 0.4) * SAMPLE_RATE);
    double hz = MidiHz(note);
    double pl, pr;
    Pan(pan, pl, pr);
    for (std::size_t i = 0; i < n; ++i) {
        double x = static_cast<double>(i) / SAMPLE_RATE;
        if ((i & 7) == 0) f.Set(500.0 + 5000.0 * std::exp(-x / 0.06), 1.4);
        f.Process(a.Pulse(hz, 0.35) + 0.5 * b.Saw(hz * 2.002));
        double v = f.low * env.At(x, length) * vel * 0.16;
        m.music.Add(s + i, v * pl, v * pr);
        m.delay.Add(s + i, v * 0.5, v * 0.5);
        m.reverb.Add(s + i, v * 0.3, v * 0.3);
    }
}

void Bell(Mix& m, double t, int note, double vel, double pan) {
    Oscillator car, mod, car2;
    std::size_t s = Frame(t);
    std::size_t n = static_cast<std::size_t>(3.0 * SAMPLE_RATE);
    double hz = MidiHz(note);
    double pl, pr;
    Pan(pan, pl, pr);
    for (std::size_t i = 0; i < n; ++i) {
        double x = static_cast<double>(i) / SAMPLE_RATE;
        double idx = 2.2 * std::exp(-x / 0.4);
        // Phase modulation with an inharmonic ratio gives the bell its shimmer.
        double mv = mod.Sine(hz * 3.51) * idx;
        car.SetPhase(car.Phase());
        double v = std::sin(2.0 * PI * car.Phase() + mv);
        car.Sine(hz);
        v += 0.3 * car2.Sine(hz * 2.0);
        v *= std::exp(-x / 0.9) * std::min(1.0, x / 0.002) * vel * 0.12;
        m.music.Add(s + i, v * pl, v * pr);
        m.delay.Add(s + i, v * 0.4, v * 0.4);
        m.reverb.Add(s + i, v * 0.6, v * 0.6);
    }
}

}  // namespace content
