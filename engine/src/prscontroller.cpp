#include "engine/prscontroller.h"
#include <algorithm>
#include <cmath>
#include "cvcore/exception.h"

namespace {

constexpr const char* kMethod = "PRSController::TimeAdjust()";
constexpr const char* kModule = "prscontroller";

// Times far outside any tick range are held here so the tick arithmetic below
// stays exact in 64 bits.
constexpr double kTickLimit = 1099511627776.0;  // 2^40

// Smallest n with n * d >= a, for a > 0 and d > 0.
int64_t CeilDiv(int64_t a, int64_t d) { return (a + d - 1) / d; }

// Keys usable by an evaluation: the public fields may disagree, never read
// past the shortest array.
template <class Key>
int32_t UsableKeys(const PRSKeyTrack<Key>& track) {
    const size_t n = std::min({static_cast<size_t>(std::max(track.count, 0)), track.times.size(), track.keys.size()});
    return static_cast<int32_t>(n);
}

// A time before the range, mapped by the before type. The repeating types are
// solved arithmetically rather than stepped one span at a time, so a time a
// million ranges away costs the same as one just outside.
void MapBefore(uint32_t type, int64_t start, int64_t end, int64_t& b, double& t) {
    const int64_t span = end - start;
    switch (type) {
    case ORT_CONSTANT:
        b = start;
        t = static_cast<double>(start);
        return;
    case ORT_CYCLE:
    case ORT_LOOP:
    case ORT_RELATIVE_REPEAT:
    case ORT_PINGPONG:
        if (span <= 0) {  // an empty range can never be reached by repeating it
            b = start;
            t = static_cast<double>(start);
            return;
        }
        if (type == ORT_PINGPONG) {
            const int64_t lower = start - span;
            if (b < lower) {
                const int64_t shift = CeilDiv(lower - b, 2 * span) * 2 * span;
                b += shift;
                t += static_cast<double>(shift);
            }
            if (b < start) {
                b = 2 * start - b;
                t = 2.0 * static_cast<double>(start) - t;
            }
        } else {
            const int64_t shift = CeilDiv(start - b, span) * span;
            b += shift;
            t += static_cast<double>(shift);
        }
        return;
    case ORT_LINEAR: b = start; return;
    default: throw cvcore::Exception(kMethod, "Incompatible Before ort!", kModule);
    }
}

void MapAfter(uint32_t type, int64_t start, int64_t end, int64_t& b, double& t) {
    const int64_t span = end - start;
    switch (type) {
    case ORT_CONSTANT: t = static_cast<double>(end); return;
    case ORT_CYCLE:
    case ORT_LOOP:
    case ORT_RELATIVE_REPEAT:
    case ORT_PINGPONG:
        if (span <= 0) {
            b = start;
            t = static_cast<double>(start);
            return;
        }
        if (type == ORT_PINGPONG) {
            const int64_t upper = end + span;
            if (b > upper) {
                const int64_t shift = CeilDiv(b - upper, 2 * span) * 2 * span;
                b -= shift;
                t -= static_cast<double>(shift);
            }
            if (b > end) {
                b = 2 * end - b;
                t = 2.0 * static_cast<double>(end) - t;
            }
        } else {
            const int64_t shift = CeilDiv(b - end, span) * span;
            b -= shift;
            t -= static_cast<double>(shift);
        }
        return;
    case ORT_LINEAR: b = end; return;
    default: throw cvcore::Exception(kMethod, "Incompatible After ort!", kModule);
    }
}

bool AdjustWithKeys(float& time, const PRSTrack& track, int32_t count, int32_t& key0, int32_t& key1) {
    if (count <= 0) return false;
    const int32_t* times = track.times.data();
    const int64_t start = track.start;
    const int64_t end = track.end;
    double t =
        std::isnan(time) ? static_cast<double>(start) : std::clamp(static_cast<double>(time), -kTickLimit, kTickLimit);
    int64_t b = static_cast<int64_t>(t);  // truncation toward zero

    if (b < start) MapBefore(track.OrtBefore(), start, end, b, t);
    const uint32_t after = track.OrtAfter();
    if (b > end) MapAfter(after, start, end, b, t);
    const bool loop = after == ORT_LOOP;
    const bool linear = after == ORT_LINEAR;
    if (!loop && !linear && b > times[count - 1]) return false;

    int32_t i = 0;
    while (i < count && times[i] <= b) ++i;

    if (i == 0) {
        // Before the first key: hold it.
        key0 = key1 = 0;
        time = 0.0f;
        return true;
    }
    int32_t k0 = i - 1;
    if (i == count) {
        if (linear) {
            if (count < 2) return false;
            k0 = count - 2;
        } else if (loop) {
            // From the last key back round to the first, arriving at end;
            // with the last key at (or past) end there is nothing to run.
            const double gap = static_cast<double>(end) - times[k0];
            if (gap <= 0.0) return false;
            key0 = k0;
            key1 = 0;
            time = static_cast<float>((t - times[k0]) / gap);
            return true;
        } else {
            return false;  // exactly on the last key: its own value
        }
    }
    key0 = k0;
    key1 = k0 + 1;
    const double gap = static_cast<double>(times[key1]) - times[key0];
    time = gap != 0.0 ? static_cast<float>((t - times[key0]) / gap) : 0.0f;
    return true;
}

template <class Key>
void ResizeTrack(PRSKeyTrack<Key>& track, int32_t curve, int32_t start, int32_t end, uint32_t ort, int32_t count) {
    track.kind = curve != 0 ? PRS_CURVE : PRS_LINEAR;
    track.start = start;
    track.end = end;
    track.ort = ort;
    track.count = std::max(count, 0);
    track.times.assign(static_cast<size_t>(track.count), 0);
    track.keys.assign(static_cast<size_t>(track.count), Key{});
}

template <class Key>
Key* KeyAt(PRSKeyTrack<Key>& track, int32_t index, int32_t time) {
    if (index < 0 || index >= UsableKeys(track)) return nullptr;
    track.times[static_cast<size_t>(index)] = time;
    return &track.keys[static_cast<size_t>(index)];
}

Vector3 Hermite(float t, const Vector3& p0, const Vector3& out0, const Vector3& in1, const Vector3& p1) {
    const float t2 = t * t;
    const float t3 = t2 * t;
    return p0 * (2.0f * t3 - 3.0f * t2 + 1.0f) + out0 * (t3 - 2.0f * t2 + t) + in1 * (t3 - t2) +
           p1 * (3.0f * t2 - 2.0f * t3);
}

// A cubic Bezier arc on the quaternion sphere, by repeated slerp.
Quaternion BezierSlerp(float t, const Quaternion& q0, const Quaternion& c0, const Quaternion& c1,
                       const Quaternion& q1) {
    Quaternion a, b, c, d, e, r;
    Slerp(a, q0, c0, t);
    Slerp(b, c0, c1, t);
    Slerp(c, c1, q1, t);
    Slerp(d, a, b, t);
    Slerp(e, b, c, t);
    return Slerp(r, d, e, t);
}

// R^T * S * R with R the axis rotation, S = diag(s): element (i, j) is the
// sum over k of R(k, i) * s_k * R(k, j). Written out, it skips the two full
// products.
Matrix4 ScaleAbout(const Vector3& s, const Quaternion& axis) {
    const Matrix4 r(axis);
    const float scale[3] = {s.x, s.y, s.z};
    Matrix4 out(1.0f);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 3; ++k) sum += r.m[4 * k + i] * scale[k] * r.m[4 * k + j];
            out.m[4 * i + j] = sum;
        }
    }
    return out;
}

}  // namespace

void PRSController::SetPositionTrack(int32_t curve, int32_t start, int32_t end, uint32_t ort, int32_t count) {
    ResizeTrack(position, curve, start, end, ort, count);
}

void PRSController::SetRotationTrack(int32_t curve, int32_t start, int32_t end, uint32_t ort, int32_t count) {
    ResizeTrack(rotation, curve, start, end, ort, count);
}

void PRSController::SetScaleTrack(int32_t curve, int32_t start, int32_t end, uint32_t ort, int32_t count) {
    ResizeTrack(scale, curve, start, end, ort, count);
}

void PRSController::SetPositionKey(int32_t index, int32_t time, const Vector3& value) {
    if (PositionKey* k = KeyAt(position, index, time)) k->value = value;
}

void PRSController::SetPositionKey(int32_t index, int32_t time, const Vector3& value, const Vector3& inTangent,
                                   const Vector3& outTangent, float easeIn, float easeOut) {
    if (PositionKey* k = KeyAt(position, index, time)) *k = PositionKey{value, inTangent, outTangent, easeIn, easeOut};
}

void PRSController::SetRotationKey(int32_t index, int32_t time, const Quaternion& value) {
    if (RotationKey* k = KeyAt(rotation, index, time)) k->value = value;
}

void PRSController::SetRotationKey(int32_t index, int32_t time, const Quaternion& value, const Quaternion& inControl,
                                   const Quaternion& outControl, float easeIn, float easeOut) {
    if (RotationKey* k = KeyAt(rotation, index, time)) *k = RotationKey{value, inControl, outControl, easeIn, easeOut};
}

void PRSController::SetScaleKey(int32_t index, int32_t time, const Vector3& s, const Quaternion& axis) {
    if (ScaleKey* k = KeyAt(scale, index, time)) {
        k->scale = s;
        k->axis = axis;
    }
}

void PRSController::SetScaleKey(int32_t index, int32_t time, const Vector3& s, const Quaternion& axis,
                                const Vector3& inTangent, const Vector3& outTangent, const Quaternion& axisInControl,
                                const Quaternion& axisOutControl, float easeIn, float easeOut) {
    if (ScaleKey* k = KeyAt(scale, index, time)) {
        *k = ScaleKey{s, inTangent, outTangent, axis, axisInControl, axisOutControl, easeIn, easeOut};
    }
}

bool PRSController::TimeAdjust(float& time, const PRSTrack& track, int32_t& key0, int32_t& key1) {
    const int32_t count =
        static_cast<int32_t>(std::min(static_cast<size_t>(std::max(track.count, 0)), track.times.size()));
    return AdjustWithKeys(time, track, count, key0, key1);
}

float PRSController::Ease(float t, float a, float b) {
    const float s = a + b;
    if (s == 0.0f) return t;
    if (s > 1.0f) {
        a /= s;
        b /= s;
    }
    const float r = 1.0f / (2.0f - a - b);
    // A fraction outside 0..1 (extrapolation) continues the straight middle
    // part when the ease at that end is zero, instead of dividing by it.
    if (a > 0.0f && t < a) return t * t * r / a;
    if (b <= 0.0f || t < 1.0f - b) return r * (2.0f * t - a);
    return 1.0f - (1.0f - t) * (1.0f - t) * r / b;
}

Vector3 PRSController::GetPosition(float time) const {
    const int32_t n = UsableKeys(position);
    if (n == 0) return {};
    if (n == 1) return position.keys[0].value;
    int32_t i0 = 0, i1 = 0;
    if (!AdjustWithKeys(time, position, n, i0, i1)) return position.keys[static_cast<size_t>(n - 1)].value;
    const PositionKey& k0 = position.keys[static_cast<size_t>(i0)];
    const PositionKey& k1 = position.keys[static_cast<size_t>(i1)];
    if (position.kind != PRS_CURVE) return k0.value + (k1.value - k0.value) * time;
    return Hermite(Ease(time, k0.easeOut, k1.easeIn), k0.value, k0.outTangent, k1.inTangent, k1.value);
}

Quaternion PRSController::GetRotation(float time) const {
    const int32_t n = UsableKeys(rotation);
    if (n == 0) return {};
    if (n == 1) return rotation.keys[0].value;
    int32_t i0 = 0, i1 = 0;
    if (!AdjustWithKeys(time, rotation, n, i0, i1)) return rotation.keys[static_cast<size_t>(n - 1)].value;
    const RotationKey& k0 = rotation.keys[static_cast<size_t>(i0)];
    const RotationKey& k1 = rotation.keys[static_cast<size_t>(i1)];
    Quaternion q;
    if (rotation.kind != PRS_CURVE) return Slerp(q, k0.value, k1.value, time);
    return BezierSlerp(Ease(time, k0.easeOut, k1.easeIn), k0.value, k0.outControl, k1.inControl, k1.value);
}

Matrix4 PRSController::GetScaleMatrix(float time) const {
    const int32_t n = UsableKeys(scale);
    if (n == 0) return Matrix4(1.0f);
    if (n == 1) return ScaleAbout(scale.keys[0].scale, scale.keys[0].axis);
    int32_t i0 = 0, i1 = 0;
    if (!AdjustWithKeys(time, scale, n, i0, i1)) {
        const ScaleKey& last = scale.keys[static_cast<size_t>(n - 1)];
        return ScaleAbout(last.scale, last.axis);
    }
    const ScaleKey& k0 = scale.keys[static_cast<size_t>(i0)];
    const ScaleKey& k1 = scale.keys[static_cast<size_t>(i1)];
    if (scale.kind != PRS_CURVE) {
        Quaternion axis;
        return ScaleAbout(k0.scale + (k1.scale - k0.scale) * time, Slerp(axis, k0.axis, k1.axis, time));
    }
    const float t = Ease(time, k0.easeOut, k1.easeIn);
    return ScaleAbout(Hermite(t, k0.scale, k0.outTangent, k1.inTangent, k1.scale),
                      BezierSlerp(t, k0.axis, k0.axisOutControl, k1.axisInControl, k1.axis));
}
