#include "music/mixdown.h"

#include <algorithm>
#include <cmath>

#include "music/dsp.h"

namespace content {
namespace {

class Comb {
public:
    explicit Comb(std::size_t n) : buf_(n, 0.0f) {}
    float Process(float x, float feedback, float damp) {
        float y = buf_[pos_];
        store_ = y * (1.0f - damp) + store_ * damp;
        buf_[pos_] = x + store_ * feedback;
        if (++pos_ == buf_.size()) pos_ = 0;
        return y;
    }

private:
    std::vector<float> buf_;
    std::size_t pos_ = 0;
    float store_ = 0.0f;
};

class Allpass {
public:
    explicit Allpass(std::size_t n) : buf_(n, 0.0f) {}
    float Process(float x) {
        float b = buf_[pos_];
        float y = b - x;
        buf_[pos_] = x + b * 0.5f;
        if (++pos_ == buf_.size()) pos_ = 0;
        return y;
    }

private:
    std::vector<float> buf_;
    std::size_t pos_ = 0;
};

void ReverbSide(const std::vector<float>& inL, const std::vector<float>& inR, std::vector<float>& out,
                std::size_t spread, double room, double damp, double wet) {
    const std::size_t combs[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    const std::size_t passes[4] = {556, 441, 341, 225};
    std::vector<Comb> c;
    std::vector<Allpass> a;
    for (std::size_t n : combs) c.emplace_back(n + spread);
    for (std::size_t n : passes) a.emplace_back(n + spread);
    auto fb = static_cast<float>(room);
    auto dp = static_cast<float>(damp);
    for (std::size_t i = 0; i < inL.size(); ++i) {
        float x = (inL[i] + inR[i]) * 0.015f;
        float y = 0.0f;
        for (auto& comb : c) y += comb.Process(x, fb, dp);
        for (auto& ap : a) y = ap.Process(y);
        out[i] += static_cast<float>(y * wet);
    }
}

}  // namespace

void ApplyReverb(const Bus& in, Bus& out, double room, double damp, double wet) {
    ReverbSide(in.l, in.r, out.l, 0, room, damp, wet);
    ReverbSide(in.l, in.r, out.r, 23, room, damp, wet);
}

void ApplyDelay(const Bus& in, Bus& out, double seconds, double feedback, double wet) {
    auto d = static_cast<std::size_t>(seconds * SAMPLE_RATE);
    std::vector<float> bl(d, 0.0f), br(d, 0.0f);
    OnePole tone;
    tone.Set(3500.0);
    std::size_t pos = 0;
    for (std::size_t i = 0; i < in.l.size(); ++i) {
        float ol = bl[pos], orr = br[pos];
        float x = (in.l[i] + in.r[i]) * 0.5f;
        // The echo bounces left, right, left..., losing treble each time.
        bl[pos] = static_cast<float>(tone.Low(x + orr * feedback));
        br[pos] = static_cast<float>(ol * feedback);
        if (++pos == d) pos = 0;
        out.l[i] += static_cast<float>(ol * wet);
        out.r[i] += static_cast<float>(orr * wet);
    }
}

void Master(const Mix& m, const Bus& reverb, const Bus& delay, double fadeFrom, double fadeTo, std::vector<float>& left,
            std::vector<float>& right) {
    std::size_t n = m.Frames();
    left.assign(n, 0.0f);
    right.assign(n, 0.0f);
    const double threshold = 0.72;
    const double release = std::exp(-1.0 / (0.12 * SAMPLE_RATE));
    double env = 0.0;
    // Asymmetric waveshaping in the drums leaves a little DC; a 15 Hz
    // high-pass takes it out before the limiter sees it.
    const double dcPole = std::exp(-2.0 * PI * 15.0 / SAMPLE_RATE);
    double dcInL = 0.0, dcInR = 0.0, dcOutL = 0.0, dcOutR = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        double duck = m.duck[i];
        // The drum bus sits a little under the music so chords and melody
        // carry the tune; the kicks still lead through the side-chain.
        double l = m.drums.l[i] * 0.78 + m.music.l[i] * duck * 1.15 + reverb.l[i] + delay.l[i];
        double r = m.drums.r[i] * 0.78 + m.music.r[i] * duck * 1.15 + reverb.r[i] + delay.r[i];
        dcOutL = l - dcInL + dcPole * dcOutL;
        dcOutR = r - dcInR + dcPole * dcOutR;
        dcInL = l;
        dcInR = r;
        l = dcOutL;
        r = dcOutR;
        double peak = std::max(std::fabs(l), std::fabs(r));
        env = std::max(peak, env * release);
        double g = env > threshold ? threshold / env : 1.0;
        // What the envelope lets through is rounded off softly, never clipped.
        l = std::tanh(l * g * 1.25) * 0.88;
        r = std::tanh(r * g * 1.25) * 0.88;
        double t = static_cast<double>(i) / SAMPLE_RATE;
        double fade = 1.0;
        if (t >= fadeTo)
            fade = 0.0;
        else if (t > fadeFrom)
            fade = 0.5 + 0.5 * std::cos(PI * (t - fadeFrom) / (fadeTo - fadeFrom));
        left[i] = static_cast<float>(l * fade);
        right[i] = static_cast<float>(r * fade);
    }
}

}  // namespace content
