#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include "cvcore/exception.h"
#include "engine/prscontroller.h"

namespace {

// Position track with linear keys at the given times holding x = value.
PRSController LinearX(int32_t start, int32_t end, uint32_t ort, std::initializer_list<std::pair<int32_t, float>> keys) {
    PRSController c;
    c.SetPositionTrack(0, start, end, ort, static_cast<int32_t>(keys.size()));
    int32_t i = 0;
    for (auto [time, x] : keys) c.SetPositionKey(i++, time, Vector3(x, 0, 0));
    return c;
}

struct Adjusted {
    bool ok;
    float t;
    int32_t key0;
    int32_t key1;
};

Adjusted Adjust(const PRSTrack& track, float time) {
    Adjusted a{false, time, -7, -7};
    a.ok = PRSController::TimeAdjust(a.t, track, a.key0, a.key1);
    return a;
}

TEST(PRSController, NewControllerEvaluatesToIdentityValues) {
    const PRSController c;
    EXPECT_EQ(c.GetPosition(10.0f), Vector3(0, 0, 0));
    EXPECT_EQ(c.GetRotation(10.0f), Quaternion(0, 0, 0, 1));
    EXPECT_EQ(c.GetScaleMatrix(10.0f), Matrix4(1.0f));
    // Also a track sized to zero keys after having some.
    PRSController d = LinearX(0, 10, MakeOrt(1, 1), {{0, 1.0f}});
    d.SetPositionTrack(0, 0, 10, MakeOrt(1, 1), 0);
    EXPECT_EQ(d.GetPosition(5.0f), Vector3(0, 0, 0));
}

TEST(PRSController, OneKeyHoldsEverywhereWithoutRangeChecks) {
    // Out-of-range type 0 would throw, but a single key never asks.
    const PRSController c = LinearX(0, 10, 0, {{5, 3.0f}});
    for (float t : {-1e9f, 0.0f, 5.0f, 1e9f}) EXPECT_EQ(c.GetPosition(t).x, 3.0f);
}

TEST(PRSController, CycleWrapsByWholeSpans) {
    const PRSController c = LinearX(0, 100, MakeOrt(ORT_CYCLE, ORT_CYCLE), {{0, 0.0f}, {100, 10.0f}});
    const Adjusted a = Adjust(c.position, 250.0f);
    EXPECT_TRUE(a.ok);
    EXPECT_EQ(a.key0, 0);
    EXPECT_EQ(a.key1, 1);
    EXPECT_FLOAT_EQ(a.t, 0.5f);
    EXPECT_FLOAT_EQ(c.GetPosition(-150.0f).x, 5.0f);
    // A tick exactly on the last key gives that key, not a key past the end.
    EXPECT_FLOAT_EQ(c.GetPosition(100.0f).x, 10.0f);
    EXPECT_FLOAT_EQ(c.GetPosition(200.0f).x, 10.0f);
}

TEST(PRSController, PingPongReflectsAtTheEnds) {
    const PRSController c = LinearX(0, 100, MakeOrt(ORT_PINGPONG, ORT_PINGPONG), {{0, 0.0f}, {100, 10.0f}});
    EXPECT_FLOAT_EQ(Adjust(c.position, 150.0f).t, 0.5f);
    EXPECT_FLOAT_EQ(c.GetPosition(150.0f).x, 5.0f);
    EXPECT_FLOAT_EQ(c.GetPosition(250.0f).x, 5.0f);
    EXPECT_FLOAT_EQ(c.GetPosition(370.0f).x, 3.0f);
    EXPECT_FLOAT_EQ(c.GetPosition(-30.0f).x, 3.0f);
    EXPECT_FLOAT_EQ(c.GetPosition(-230.0f).x, 3.0f);
}

TEST(PRSController, LoopRunsFromTheLastKeyBackToTheFirst) {
    const PRSController c = LinearX(0, 100, MakeOrt(ORT_LOOP, ORT_LOOP), {{0, 0.0f}, {50, 10.0f}});
    const Adjusted a = Adjust(c.position, 75.0f);
    EXPECT_TRUE(a.ok);
    EXPECT_EQ(a.key0, 1);
    EXPECT_EQ(a.key1, 0);
    EXPECT_FLOAT_EQ(a.t, 0.5f);
    EXPECT_FLOAT_EQ(c.GetPosition(75.0f).x, 5.0f);
    EXPECT_FLOAT_EQ(c.GetPosition(175.0f).x, 5.0f);
}

TEST(PRSController, LoopWithTheLastKeyOnTheEndHoldsIt) {
    const PRSController c = LinearX(0, 100, MakeOrt(ORT_LOOP, ORT_LOOP), {{0, 0.0f}, {100, 10.0f}});
    EXPECT_FALSE(Adjust(c.position, 100.0f).ok);
    const Vector3 p = c.GetPosition(100.0f);
    EXPECT_EQ(p.x, 10.0f);
    EXPECT_TRUE(std::isfinite(p.y));
}

TEST(PRSController, LinearExtrapolatesFromTheOutermostKeys) {
    const PRSController c = LinearX(0, 100, MakeOrt(ORT_LINEAR, ORT_LINEAR), {{0, 0.0f}, {100, 10.0f}});
    EXPECT_FLOAT_EQ(c.GetPosition(150.0f).x, 15.0f);
    EXPECT_FLOAT_EQ(c.GetPosition(-50.0f).x, -5.0f);
    const PRSController three = LinearX(0, 100, MakeOrt(ORT_LINEAR, ORT_LINEAR), {{0, 0.0f}, {50, 0.0f}, {100, 10.0f}});
    EXPECT_FLOAT_EQ(three.GetPosition(110.0f).x, 12.0f);
}

TEST(PRSController, ConstantHoldsTheOuterKeys) {
    const PRSController c = LinearX(0, 100, MakeOrt(ORT_CONSTANT, ORT_CONSTANT), {{0, 2.0f}, {80, 10.0f}});
    EXPECT_FLOAT_EQ(c.GetPosition(-50.0f).x, 2.0f);
    EXPECT_FLOAT_EQ(c.GetPosition(150.0f).x, 10.0f);
    EXPECT_FLOAT_EQ(c.GetPosition(90.0f).x, 10.0f);  // between the last key and end
    EXPECT_FLOAT_EQ(c.GetPosition(40.0f).x, 6.0f);
}

TEST(PRSController, BetweenLastKeyAndEndGivesTheLastKey) {
    for (uint32_t type : {ORT_CONSTANT, ORT_CYCLE, ORT_PINGPONG, ORT_RELATIVE_REPEAT}) {
        const PRSController c = LinearX(0, 100, MakeOrt(type, type), {{0, 0.0f}, {60, 6.0f}});
        EXPECT_FLOAT_EQ(c.GetPosition(80.0f).x, 6.0f) << "type " << type;
    }
}

TEST(PRSController, TimeBeforeTheFirstKeyUsesIt) {
    // The first key lies after start and nothing moves the time onto it.
    for (uint32_t type : {ORT_CONSTANT, ORT_CYCLE, ORT_PINGPONG, ORT_RELATIVE_REPEAT, ORT_LINEAR}) {
        const PRSController c = LinearX(0, 100, MakeOrt(type, type), {{20, 4.0f}, {60, 8.0f}});
        EXPECT_FLOAT_EQ(c.GetPosition(10.0f).x, 4.0f) << "type " << type;
        // Before start, cycling lands after the last key instead.
        const bool repeats = type == ORT_CYCLE || type == ORT_RELATIVE_REPEAT;
        EXPECT_FLOAT_EQ(c.GetPosition(-5.0f).x, repeats ? 8.0f : 4.0f) << "type " << type;
    }
}

TEST(PRSController, UnknownTypesThrowOnlyOnTheirSide) {
    const PRSController c = LinearX(0, 100, MakeOrt(ORT_CONSTANT, 0), {{0, 0.0f}, {100, 10.0f}});
    EXPECT_FLOAT_EQ(c.GetPosition(50.0f).x, 5.0f);
    EXPECT_FLOAT_EQ(c.GetPosition(-10.0f).x, 0.0f);
    try {
        c.GetPosition(150.0f);
        FAIL() << "no exception";
    } catch (const cvcore::Exception& e) {
        EXPECT_STREQ(e.Method().Text(), "PRSController::TimeAdjust()");
        EXPECT_STREQ(e.Message().Text(), "Incompatible After ort!");
        EXPECT_STREQ(e.File().Text(), "prscontroller");
    }
    const PRSController d = LinearX(0, 100, MakeOrt(7, ORT_CONSTANT), {{0, 0.0f}, {100, 10.0f}});
    EXPECT_FLOAT_EQ(d.GetPosition(150.0f).x, 10.0f);
    try {
        d.GetPosition(-1.0f);
        FAIL() << "no exception";
    } catch (const cvcore::Exception& e) {
        EXPECT_STREQ(e.Message().Text(), "Incompatible Before ort!");
    }
}

TEST(PRSController, EmptyRangeEvaluatesAtStart) {
    for (uint32_t type : {ORT_CYCLE, ORT_LOOP, ORT_PINGPONG, ORT_RELATIVE_REPEAT}) {
        const PRSController c = LinearX(50, 50, MakeOrt(type, type), {{40, 0.0f}, {60, 10.0f}});
        EXPECT_FLOAT_EQ(c.GetPosition(1000.0f).x, 5.0f) << "type " << type;
        EXPECT_FLOAT_EQ(c.GetPosition(-1000.0f).x, 5.0f) << "type " << type;
        // An inverted range is no better and must not hang either.
        const PRSController inverted = LinearX(60, 40, MakeOrt(type, type), {{40, 0.0f}, {60, 10.0f}});
        EXPECT_TRUE(std::isfinite(inverted.GetPosition(1e6f).x));
        EXPECT_TRUE(std::isfinite(inverted.GetPosition(-1e6f).x));
    }
}

// The mapping as a loop, one span at a time, in double precision.
double LoopedTime(double t, int64_t start, int64_t end, bool pingPong) {
    const int64_t span = end - start;
    auto b = [&] { return static_cast<int64_t>(t); };
    if (pingPong) {
        while (b() > 2 * end - start) t -= 2.0 * span;
        while (b() < 2 * start - end) t += 2.0 * span;
        if (b() > end) t = 2.0 * end - t;
        if (b() < start) t = 2.0 * start - t;
    } else {
        while (b() > end) t -= span;
        while (b() < start) t += span;
    }
    return t;
}

TEST(PRSController, FarTimesMapLikeTheStepwiseLoop) {
    for (uint32_t type : {ORT_CYCLE, ORT_PINGPONG, ORT_RELATIVE_REPEAT}) {
        const PRSController c = LinearX(10, 110, MakeOrt(type, type), {{10, 0.0f}, {110, 100.0f}});
        for (float t : {1234.5f, -987.25f, 350000.0f, -350000.0f, 110.0f, 10.0f, 210.0f}) {
            const double mapped = LoopedTime(t, 10, 110, type == ORT_PINGPONG);
            EXPECT_NEAR(c.GetPosition(t).x, mapped - 10.0, 1e-3) << "type " << type << " t " << t;
        }
        // Times a loop would take ages over, or could not represent, still
        // land in the range.
        for (float t : {3e9f, -3e9f, 1e30f, -1e30f, INFINITY, -INFINITY, NAN}) {
            const float x = c.GetPosition(t).x;
            EXPECT_TRUE(x >= 0.0f && x <= 100.0f) << "type " << type << " t " << t << " x " << x;
        }
    }
}

TEST(PRSController, DuplicateKeyTimesDoNotDivideByZero) {
    const PRSController c = LinearX(0, 100, MakeOrt(ORT_LINEAR, ORT_LINEAR), {{0, 0.0f}, {50, 1.0f}, {50, 2.0f}});
    EXPECT_TRUE(std::isfinite(c.GetPosition(50.0f).x));
    EXPECT_TRUE(std::isfinite(c.GetPosition(90.0f).x));
}

TEST(PRSController, Ease) {
    EXPECT_FLOAT_EQ(PRSController::Ease(0.3f, 0.0f, 0.0f), 0.3f);
    // a = b = 1 are halved to 0.5 each: r = 1, t < 0.5 gives 2t^2.
    EXPECT_FLOAT_EQ(PRSController::Ease(0.25f, 1.0f, 1.0f), 0.125f);
    EXPECT_FLOAT_EQ(PRSController::Ease(0.75f, 1.0f, 1.0f), 0.875f);
    EXPECT_FLOAT_EQ(PRSController::Ease(0.5f, 1.0f, 1.0f), 0.5f);
    // a = 0.2, b = 0.3: r = 1 / 1.5.
    EXPECT_FLOAT_EQ(PRSController::Ease(0.1f, 0.2f, 0.3f), 0.01f / 1.5f / 0.2f);
    EXPECT_FLOAT_EQ(PRSController::Ease(0.5f, 0.2f, 0.3f), (1.0f - 0.2f) / 1.5f);
    EXPECT_FLOAT_EQ(PRSController::Ease(0.9f, 0.2f, 0.3f), 1.0f - 0.01f / 1.5f / 0.3f);
    EXPECT_FLOAT_EQ(PRSController::Ease(0.0f, 0.2f, 0.3f), 0.0f);
    EXPECT_FLOAT_EQ(PRSController::Ease(1.0f, 0.2f, 0.3f), 1.0f);
    // Extrapolated fractions with a zero ease at that end stay finite.
    EXPECT_FLOAT_EQ(PRSController::Ease(-0.5f, 0.0f, 0.5f), -1.0f / 1.5f);
    EXPECT_FLOAT_EQ(PRSController::Ease(1.5f, 0.5f, 0.0f), (3.0f - 0.5f) / 1.5f);
}

TEST(PRSController, CurvePositionIsHermite) {
    PRSController c;
    c.SetPositionTrack(1, 0, 100, MakeOrt(ORT_CONSTANT, ORT_CONSTANT), 2);
    c.SetPositionKey(0, 0, {0, 0, 0}, {0, 0, 0}, {3, 0, 6}, 0.0f, 0.0f);
    c.SetPositionKey(1, 100, {10, 0, 0}, {-3, 9, 0}, {0, 0, 0}, 0.0f, 0.0f);
    const double t = 0.3;
    const double h00 = 2 * t * t * t - 3 * t * t + 1, h10 = t * t * t - 2 * t * t + t, h01 = t * t * t - t * t,
                 h11 = 3 * t * t - 2 * t * t * t;
    const Vector3 p = c.GetPosition(30.0f);
    EXPECT_NEAR(p.x, h10 * 3 + h01 * -3 + h11 * 10, 1e-5);
    EXPECT_NEAR(p.y, h01 * 9, 1e-5);
    EXPECT_NEAR(p.z, h10 * 6, 1e-5);
    (void)h00;
    EXPECT_EQ(c.GetPosition(0.0f), Vector3(0, 0, 0));
    EXPECT_EQ(c.GetPosition(100.0f), Vector3(10, 0, 0));
}

Quaternion AxisAngle(Vector3 axis, float angle) {
    axis.Normalize();
    const float s = std::sin(angle / 2);
    return {axis.x * s, axis.y * s, axis.z * s, std::cos(angle / 2)};
}

TEST(PRSController, RotationSlerpsAndCurvesThroughControls) {
    PRSController c;
    c.SetRotationTrack(0, 0, 100, MakeOrt(ORT_CONSTANT, ORT_CONSTANT), 2);
    c.SetRotationKey(0, 0, AxisAngle({0, 0, 1}, 0.0f));
    c.SetRotationKey(1, 100, AxisAngle({0, 0, 1}, 1.0f));
    const Quaternion q = c.GetRotation(25.0f);
    EXPECT_NEAR(q.z, std::sin(0.125), 1e-6);
    EXPECT_NEAR(q.w, std::cos(0.125), 1e-6);

    // Controls on the same great circle at a third and two thirds: the
    // Bezier arc then runs evenly from one key to the other.
    PRSController d;
    d.SetRotationTrack(1, 0, 100, MakeOrt(ORT_CONSTANT, ORT_CONSTANT), 2);
    d.SetRotationKey(0, 0, AxisAngle({0, 0, 1}, 0.0f), {}, AxisAngle({0, 0, 1}, 0.3f), 0.0f, 0.0f);
    d.SetRotationKey(1, 100, AxisAngle({0, 0, 1}, 0.9f), AxisAngle({0, 0, 1}, 0.6f), {}, 0.0f, 0.0f);
    const Quaternion r = d.GetRotation(50.0f);
    EXPECT_NEAR(r.z, std::sin(0.225), 1e-5);
    EXPECT_NEAR(r.w, std::cos(0.225), 1e-5);
    const Quaternion end = d.GetRotation(100.0f);
    EXPECT_NEAR(end.z, std::sin(0.45), 1e-6);
}

TEST(PRSController, ScaleMatrixScalesAlongTheRotatedAxes) {
    PRSController c;
    c.SetScaleTrack(0, 0, 100, MakeOrt(ORT_CONSTANT, ORT_CONSTANT), 2);
    const Quaternion axis = AxisAngle({0, 0, 1}, 3.14159265f / 2);  // x axis turned onto y
    c.SetScaleKey(0, 0, {1, 1, 1}, axis);
    c.SetScaleKey(1, 100, {3, 1, 1}, axis);
    const Matrix4 m = c.GetScaleMatrix(50.0f);  // scale 2 along the axis' x, which is world y
    const Vector3 y = m.TransformVector({0, 1, 0});
    const Vector3 x = m.TransformVector({1, 0, 0});
    EXPECT_NEAR(y.y, 2.0f, 1e-5f);
    EXPECT_NEAR(y.x, 0.0f, 1e-5f);
    EXPECT_NEAR(x.x, 1.0f, 1e-5f);
    EXPECT_NEAR(x.y, 0.0f, 1e-5f);
    // Any axis: the transpose of R, then S, then R.
    const Quaternion tilted = AxisAngle({1, 2, -1}, 0.8f);
    PRSController e;
    e.SetScaleTrack(0, 0, 0, 0, 1);
    e.SetScaleKey(0, 0, {2, 0.5f, 3}, tilted);
    const Matrix4 want = Matrix4(tilted).Transposed() * Matrix4(2, 0.5f, 3) * Matrix4(tilted);
    const Matrix4 got = e.GetScaleMatrix(0.0f);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(got.m[i], want.m[i], 1e-6f) << i;
    // With the identity axis it is the plain scale matrix.
    PRSController d;
    d.SetScaleTrack(0, 0, 0, 0, 1);
    d.SetScaleKey(0, 0, {2, 3, 4}, {});
    EXPECT_EQ(d.GetScaleMatrix(7.0f), Matrix4(2, 3, 4));
}

TEST(PRSController, KeyIndexOutsideTheTrackIsIgnored) {
    PRSController c;
    c.SetPositionTrack(0, 0, 10, MakeOrt(1, 1), 1);
    c.SetPositionKey(-1, 0, {1, 1, 1});
    c.SetPositionKey(1, 0, {1, 1, 1});
    c.SetRotationKey(0, 0, {});
    EXPECT_EQ(c.GetPosition(0.0f), Vector3(0, 0, 0));
    // Counts out of step with the arrays are not read past.
    c.position.count = 1000;
    EXPECT_EQ(c.GetPosition(5.0f), Vector3(0, 0, 0));
}

}  // namespace
