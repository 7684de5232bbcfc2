#pragma once
#include <cstdint>
#include <vector>
#include "engine/matrix4.h"
#include "engine/quaternion.h"
#include "engine/vector3.h"

// Out-of-range behaviour of a track, the same numbers before and after its
// range. A track stores both: the type before start in the low 16 bits of
// PRSTrack::ort, the type after end in the high 16 bits.
enum : uint32_t {
    ORT_CONSTANT = 1,         // hold the end values
    ORT_CYCLE = 2,            // repeat the range
    ORT_LOOP = 3,             // repeat, running from the last key back to the first at end
    ORT_PINGPONG = 4,         // reflect back and forth
    ORT_LINEAR = 5,           // extrapolate from the two outermost keys
    ORT_RELATIVE_REPEAT = 6,  // repeat (as cycle)
};

constexpr uint32_t MakeOrt(uint32_t before, uint32_t after) { return (before & 0xFFFFu) | (after << 16); }

// Key kinds.
enum : int32_t { PRS_LINEAR = 0, PRS_CURVE = 1 };

struct PositionKey {
    Vector3 value;
    Vector3 inTangent;
    Vector3 outTangent;
    float easeIn = 0.0f;
    float easeOut = 0.0f;
};

struct RotationKey {
    Quaternion value;
    Quaternion inControl;  // absolute control quaternions of the Bezier arc
    Quaternion outControl;
    float easeIn = 0.0f;
    float easeOut = 0.0f;
};

struct ScaleKey {
    Vector3 scale{1.0f, 1.0f, 1.0f};
    Vector3 inTangent;
    Vector3 outTangent;
    Quaternion axis;  // orientation of the scale axes
    Quaternion axisInControl;
    Quaternion axisOutControl;
    float easeIn = 0.0f;
    float easeOut = 0.0f;
};

static_assert(sizeof(PositionKey) == 11 * 4);
static_assert(sizeof(RotationKey) == 14 * 4);
static_assert(sizeof(ScaleKey) == 23 * 4);

// The part of a track that maps a time to two keys: header and key times.
struct PRSTrack {
    int32_t kind = PRS_LINEAR;   // PRS_LINEAR or PRS_CURVE
    int32_t start = 0;           // first tick of the range
    int32_t end = 0;             // last tick of the range
    uint32_t ort = 0;            // out-of-range types, see MakeOrt
    int32_t count = 0;           // number of keys
    std::vector<int32_t> times;  // key times in ticks, ascending

    uint32_t OrtBefore() const { return ort & 0xFFFFu; }
    uint32_t OrtAfter() const { return ort >> 16; }
};

template <class Key>
struct PRSKeyTrack : PRSTrack {
    std::vector<Key> keys;
};

// Keyframe animation of one node: a position, a rotation and a scale track,
// each evaluated at a time in ticks. Evaluation never allocates.
class PRSController {
public:
    PRSKeyTrack<PositionKey> position;
    PRSKeyTrack<RotationKey> rotation;
    PRSKeyTrack<ScaleKey> scale;

    // Set a track's header and size its key arrays to count (keys start out
    // as identity values at tick 0). curve: 0 linear keys, 1 curve keys.
    void SetPositionTrack(int32_t curve, int32_t start, int32_t end, uint32_t ort, int32_t count);
    void SetRotationTrack(int32_t curve, int32_t start, int32_t end, uint32_t ort, int32_t count);
    void SetScaleTrack(int32_t curve, int32_t start, int32_t end, uint32_t ort, int32_t count);

    // Key setters; an index outside the track's keys is ignored.
    void SetPositionKey(int32_t index, int32_t time, const Vector3& value);
    void SetPositionKey(int32_t index, int32_t time, const Vector3& value, const Vector3& inTangent,
                        const Vector3& outTangent, float easeIn, float easeOut);
    void SetRotationKey(int32_t index, int32_t time, const Quaternion& value);
    void SetRotationKey(int32_t index, int32_t time, const Quaternion& value, const Quaternion& inControl,
                        const Quaternion& outControl, float easeIn, float easeOut);
    void SetScaleKey(int32_t index, int32_t time, const Vector3& scale, const Quaternion& axis);
    void SetScaleKey(int32_t index, int32_t time, const Vector3& scale, const Quaternion& axis,
                     const Vector3& inTangent, const Vector3& outTangent, const Quaternion& axisInControl,
                     const Quaternion& axisOutControl, float easeIn, float easeOut);

    // Values at a time in ticks. A track without keys gives the identity
    // value (zero position, identity rotation, unit scale).
    Vector3 GetPosition(float time) const;
    Quaternion GetRotation(float time) const;
    // The scale about the scale axes: R^T * S * R with R from the axis.
    Matrix4 GetScaleMatrix(float time) const;

    // Maps time into the track's range by its out-of-range types and finds
    // the two keys around it. Returns true with key0, key1 set and time
    // replaced by the fraction between them, or false when the last key's
    // value is to be used. Throws cvcore::Exception for an out-of-range type
    // outside 1..6 on the side the time falls on. Needs at least one key.
    static bool TimeAdjust(float& time, const PRSTrack& track, int32_t& key0, int32_t& key1);
    // Eases the fraction t with key0's ease out a and key1's ease in b.
    static float Ease(float t, float a, float b);
};
