#include <benchmark/benchmark.h>
#include <cmath>
#include <random>
#include <vector>
#include "engine/prscontroller.h"

namespace {

constexpr int kControllers = 10000;
constexpr int kKeys = 50;
constexpr int kTicksPerKey = 160;

Quaternion RandomRotation(std::mt19937& rng) {
    std::normal_distribution<float> n;
    Quaternion q(n(rng), n(rng), n(rng), n(rng));
    return q * (1.0f / std::sqrt(q.Dot(q)));
}

Vector3 RandomVector(std::mt19937& rng, float scale) {
    std::uniform_real_distribution<float> u(-scale, scale);
    return {u(rng), u(rng), u(rng)};
}

// Three curve tracks of 50 keys each, cycling.
PRSController MakeController(std::mt19937& rng) {
    PRSController c;
    const int32_t end = (kKeys - 1) * kTicksPerKey;
    const uint32_t ort = MakeOrt(ORT_CYCLE, ORT_CYCLE);
    c.SetPositionTrack(1, 0, end, ort, kKeys);
    c.SetRotationTrack(1, 0, end, ort, kKeys);
    c.SetScaleTrack(1, 0, end, ort, kKeys);
    for (int32_t k = 0; k < kKeys; ++k) {
        const int32_t t = k * kTicksPerKey;
        c.SetPositionKey(k, t, RandomVector(rng, 100), RandomVector(rng, 10), RandomVector(rng, 10), 0.1f, 0.2f);
        c.SetRotationKey(k, t, RandomRotation(rng), RandomRotation(rng), RandomRotation(rng), 0.0f, 0.3f);
        const Vector3 s = Vector3(1, 1, 1) + RandomVector(rng, 0.5f);
        c.SetScaleKey(k, t, s, RandomRotation(rng), RandomVector(rng, 0.1f), RandomVector(rng, 0.1f),
                      RandomRotation(rng), RandomRotation(rng), 0.0f, 0.0f);
    }
    return c;
}

// One evaluation = position + rotation + scale matrix of one controller at a
// random time, as a scene does for each animated node every frame.
void BM_ControllerEvaluation(benchmark::State& state) {
    std::mt19937 rng(1234);
    std::vector<PRSController> controllers;
    controllers.reserve(kControllers);
    for (int i = 0; i < kControllers; ++i) controllers.push_back(MakeController(rng));
    std::uniform_real_distribution<float> time(0.0f, 3.0f * (kKeys - 1) * kTicksPerKey);
    std::vector<float> times(kControllers);
    for (float& t : times) t = time(rng);

    for (auto _ : state) {
        for (int i = 0; i < kControllers; ++i) {
            const float t = times[static_cast<size_t>(i)];
            const PRSController& c = controllers[static_cast<size_t>(i)];
            benchmark::DoNotOptimize(c.GetPosition(t));
            benchmark::DoNotOptimize(c.GetRotation(t));
            benchmark::DoNotOptimize(c.GetScaleMatrix(t));
        }
    }
    state.SetItemsProcessed(state.iterations() * kControllers);
    state.counters["per_controller"] = benchmark::Counter(static_cast<double>(state.iterations()) * kControllers,
                                                          benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ControllerEvaluation)->Unit(benchmark::kMillisecond);

}  // namespace
