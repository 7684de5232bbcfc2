#include <gtest/gtest.h>
#include <array>
#include <cmath>
#include <random>
#include "engine/math.h"

namespace {

using Reference = std::array<double, 16>;

Reference ToDouble(const Matrix4& m) {
    Reference r;
    for (int i = 0; i < 16; ++i) r[i] = m.m[i];
    return r;
}

Reference Multiply(const Reference& a, const Reference& b) {
    Reference r{};
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col)
            for (int k = 0; k < 4; ++k) r[4 * row + col] += a[4 * row + k] * b[4 * k + col];
    return r;
}

// Full 4x4 inverse by Gauss-Jordan elimination, for affine inputs equal to
// the affine inverse.
Reference Inverse(Reference a) {
    Reference inv{};
    for (int i = 0; i < 4; ++i) inv[5 * i] = 1.0;
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(a[4 * r + col]) > std::fabs(a[4 * pivot + col])) pivot = r;
        for (int c = 0; c < 4; ++c) {
            std::swap(a[4 * col + c], a[4 * pivot + c]);
            std::swap(inv[4 * col + c], inv[4 * pivot + c]);
        }
        const double p = a[4 * col + col];
        for (int c = 0; c < 4; ++c) {
            a[4 * col + c] /= p;
            inv[4 * col + c] /= p;
        }
        for (int r = 0; r < 4; ++r) {
            if (r == col) continue;
            const double f = a[4 * r + col];
            for (int c = 0; c < 4; ++c) {
                a[4 * r + c] -= f * a[4 * col + c];
                inv[4 * r + c] -= f * inv[4 * col + c];
            }
        }
    }
    return inv;
}

void ExpectNear(const Matrix4& got, const Reference& want, double tolerance) {
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(got.m[i], want[i], tolerance * (1.0 + std::fabs(want[i]))) << "element " << i;
}

void ExpectMatrix(const Matrix4& got, std::array<float, 16> want) {
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(got.m[i], want[i]) << "element " << i;
}

Matrix4 RandomAffine(std::mt19937& rng) {
    std::uniform_real_distribution<float> d(-3.0f, 3.0f);
    Quaternion q(d(rng), d(rng), d(rng), d(rng));
    const float len = std::sqrt(q.Dot(q));
    q = q * (1.0f / len);
    Matrix4 shear(1.0f);
    shear.m[1] = d(rng) * 0.3f;
    shear.m[8] = d(rng) * 0.3f;
    Matrix4 m = Matrix4(0.5f + std::fabs(d(rng)), 0.5f + std::fabs(d(rng)), 0.5f + std::fabs(d(rng))) * shear *
                Matrix4(q) * Matrix4::Translation(d(rng) * 10, d(rng) * 10, d(rng) * 10);
    return m;
}

TEST(Matrix4, MemoryLayoutMatchesTheDeviceTransform) {
    static_assert(sizeof(Vector2) == 8 && sizeof(Vector3) == 12 && sizeof(Quaternion) == 16);
    static_assert(sizeof(Matrix4) == 64 && sizeof(Color4) == 16);
    static_assert(offsetof(Quaternion, w) == 12 && offsetof(Color4, a) == 12);
    const Matrix4 t = Matrix4::Translation(1, 2, 3);
    EXPECT_EQ(t.m[12], 1.0f);
    EXPECT_EQ(t.m[13], 2.0f);
    EXPECT_EQ(t.m[14], 3.0f);
}

TEST(Matrix4, ConstructingFromAFloatScalesOnlyTheUpperBlock) {
    ExpectMatrix(Matrix4(1.0f), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    ExpectMatrix(Matrix4(2.0f), {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1});
    ExpectMatrix(Matrix4(2.0f, 3.0f, 4.0f), {2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1});
    Matrix4 m(5.0f);
    EXPECT_EQ(m.SetIdentity(), Matrix4(1.0f));
}

TEST(Matrix4, QuaternionIsTakenWithoutNormalising) {
    EXPECT_EQ(Matrix4(Quaternion(0, 0, 0, 1)), Matrix4(1.0f));
    // Only x, y and z enter the diagonal, so a scaled identity stays the identity.
    EXPECT_EQ(Matrix4(Quaternion(0, 0, 0, 2)), Matrix4(1.0f));
    // A quarter turn about z maps +x to +y for row vectors.
    const float h = std::sqrt(0.5f);
    const Vector3 p = Matrix4(Quaternion(0, 0, h, h)).TransformPoint({1, 0, 0});
    EXPECT_NEAR(p.x, 0.0f, 1e-6f);
    EXPECT_NEAR(p.y, 1.0f, 1e-6f);
}

TEST(Matrix4, ProductsApplyTheLeftTransformFirst) {
    const Matrix4 scale(2.0f);
    const Matrix4 move = Matrix4::Translation(1, 0, 0);
    EXPECT_EQ((scale * move).TransformPoint({1, 1, 1}), Vector3(3, 2, 2));
    EXPECT_EQ((move * scale).TransformPoint({1, 1, 1}), Vector3(4, 2, 2));

    std::mt19937 rng(7);
    for (int i = 0; i < 50; ++i) {
        Matrix4 a = RandomAffine(rng);
        const Matrix4 b = RandomAffine(rng);
        a.m[3] = 0.25f;  // products are full 4x4, not only affine
        const Reference want = Multiply(ToDouble(a), ToDouble(b));
        ExpectNear(a * b, want, 1e-5);
        Matrix4 c = a;
        c *= b;
        ExpectNear(c, want, 1e-5);
    }
    // Multiply-assign with itself reads the old elements.
    Matrix4 a = RandomAffine(rng);
    const Reference square = Multiply(ToDouble(a), ToDouble(a));
    a *= a;
    ExpectNear(a, square, 1e-5);
}

TEST(Matrix4, AffineInverseMatchesADoubleReference) {
    std::mt19937 rng(11);
    for (int i = 0; i < 50; ++i) {
        const Matrix4 m = RandomAffine(rng);
        const Reference want = Inverse(ToDouble(m));
        Matrix4 set;
        set.SetInverse(m);
        ExpectNear(set, want, 1e-4);
        Matrix4 inv = m;
        inv.Invert();
        ExpectNear(inv, want, 1e-4);
        ExpectNear(m * inv, ToDouble(Matrix4(1.0f)), 1e-4);
        const Reference d = ToDouble(m);
        const double det = d[0] * (d[5] * d[10] - d[6] * d[9]) - d[1] * (d[4] * d[10] - d[6] * d[8]) +
                           d[2] * (d[4] * d[9] - d[5] * d[8]);
        EXPECT_NEAR(m.Determinant3(), det, 1e-5 * std::fabs(det));
    }
}

TEST(Matrix4, InverseWorkedExample) {
    Matrix4 m(2.0f, 4.0f, 8.0f);
    m.m[12] = 1;
    m.m[13] = 2;
    m.m[14] = 3;
    m.Invert();
    ExpectMatrix(m, {0.5f, 0, 0, 0, 0, 0.25f, 0, 0, 0, 0, 0.125f, 0, -0.5f, -0.5f, -0.375f, 1});
}

TEST(Matrix4, InverseKeepsColumnThree) {
    Matrix4 m(2.0f);
    m.m[3] = 0.5f;
    m.m[7] = -1.0f;
    m.m[11] = 3.0f;
    m.m[15] = 7.0f;
    Matrix4 inv;
    inv.SetInverse(m);
    EXPECT_EQ(inv.m[3], 0.5f);
    EXPECT_EQ(inv.m[7], -1.0f);
    EXPECT_EQ(inv.m[11], 3.0f);
    EXPECT_EQ(inv.m[15], 7.0f);
    EXPECT_EQ(inv.m[0], 0.5f);
}

TEST(Matrix4, SingularMatrixGivesNonFiniteElements) {
    Matrix4 m(0.0f);
    m.Invert();
    EXPECT_FALSE(std::isfinite(m.m[0]));
}

TEST(Matrix4, LookAtPutsTheEyeAtTheOriginAndTheTargetOnPlusZ) {
    Matrix4 view;
    const Vector3 eye(1, 2, -5);
    const Vector3 target(4, -2, 7);
    view.LookAt(target, eye, {0, 1, 0});
    const Vector3 e = view.TransformPoint(eye);
    EXPECT_NEAR(e.Length(), 0.0f, 1e-5f);
    const Vector3 t = view.TransformPoint(target);
    EXPECT_NEAR(t.x, 0.0f, 1e-5f);
    EXPECT_NEAR(t.y, 0.0f, 1e-5f);
    EXPECT_NEAR(t.z, (target - eye).Length(), 1e-4f);
    // Up stays up (left-handed: +x is to the right looking down +z).
    Matrix4 straight;
    straight.LookAt({0, 0, 1}, {0, 0, 0}, {0, 1, 0});
    EXPECT_EQ(straight, Matrix4(1.0f));
}

TEST(Matrix4, LookAtWithTargetOnTheEyeCollapsesToTheTranslationFreeZero) {
    Matrix4 view;
    view.LookAt({3, 3, 3}, {3, 3, 3}, {0, 1, 0});
    ExpectMatrix(view, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1});
}

TEST(Vector3, CrossAndNormalise) {
    EXPECT_EQ(Vector3(1, 0, 0).Cross({0, 1, 0}), Vector3(0, 0, 1));
    EXPECT_EQ(Vector3(0, 0, 0).Normalized(), Vector3(0, 0, 0));
    EXPECT_FLOAT_EQ(Vector3(3, 0, 4).Normalized().Length(), 1.0f);
}

TEST(Color4, FromPackedArgb) {
    const Color4 c = Color4::FromARGB(0x80FF0001u);
    EXPECT_EQ(c.a, 128 * 0.003921569f);
    EXPECT_EQ(c.r, 255 * 0.003921569f);
    EXPECT_EQ(c.g, 0.0f);
    EXPECT_EQ(c.b, 0.003921569f);
    EXPECT_EQ(c.ToARGB(), 0x80FF0001u);
    EXPECT_EQ(Color4(2.0f, -1.0f, 0.5f, 1.0f).ToARGB(), 0xFFFF0080u);
}

Quaternion AxisAngle(Vector3 axis, float angle) {
    axis.Normalize();
    const float s = std::sin(angle / 2);
    return {axis.x * s, axis.y * s, axis.z * s, std::cos(angle / 2)};
}

void ExpectQuat(const Quaternion& got, const Quaternion& want, float tolerance = 1e-6f) {
    EXPECT_NEAR(got.x, want.x, tolerance);
    EXPECT_NEAR(got.y, want.y, tolerance);
    EXPECT_NEAR(got.z, want.z, tolerance);
    EXPECT_NEAR(got.w, want.w, tolerance);
}

TEST(Slerp, EqualAndOppositeQuaternionsBlendLinearly) {
    const Quaternion a = AxisAngle({1, 2, 3}, 0.7f);
    Quaternion out;
    for (float t : {0.0f, 0.3f, 1.0f, 2.5f}) {
        ExpectQuat(Slerp(out, a, a, t), a);
        // b = -a: the same rotation; the shorter arc goes nowhere.
        ExpectQuat(Slerp(out, a, -a, t), a);
    }
}

TEST(Slerp, EndpointsAndMidpoint) {
    const Quaternion a = AxisAngle({0, 0, 1}, 0.0f);
    const Quaternion b = AxisAngle({0, 0, 1}, 1.0f);
    Quaternion out;
    EXPECT_EQ(&Slerp(out, a, b, 0.5f), &out);
    ExpectQuat(out, AxisAngle({0, 0, 1}, 0.5f));
    ExpectQuat(Slerp(out, a, b, 0.0f), a);
    ExpectQuat(Slerp(out, a, b, 1.0f), b);
    // The shorter arc: -b is the same rotation, reached the same way.
    ExpectQuat(Slerp(out, a, -b, 0.5f), AxisAngle({0, 0, 1}, 0.5f));
    ExpectQuat(Slerp(out, a, -b, 1.0f), b);
}

TEST(Slerp, ExtrapolatesOutsideZeroToOne) {
    const Quaternion a = AxisAngle({0, 1, 0}, 0.2f);
    const Quaternion b = AxisAngle({0, 1, 0}, 0.6f);
    Quaternion out;
    ExpectQuat(Slerp(out, a, b, 2.0f), AxisAngle({0, 1, 0}, 1.0f), 1e-5f);
    ExpectQuat(Slerp(out, a, b, -1.0f), AxisAngle({0, 1, 0}, -0.2f), 1e-5f);
}

TEST(Slerp, SpinAddsHalfTurns) {
    // Angle between a and b on the sphere is theta = 0.25; one spin makes
    // the arc theta + pi long, so halfway lies a quarter turn further.
    const Quaternion a = AxisAngle({0, 0, 1}, 0.0f);
    const Quaternion b = AxisAngle({0, 0, 1}, 0.5f);
    Quaternion out;
    const double theta = 0.25;
    const double phi = theta + 3.1415927;
    const double s0 = std::sin(theta - 0.5 * phi) / std::sin(theta);
    const double s1 = std::sin(0.5 * phi) / std::sin(theta);
    Slerp(out, a, b, 0.5f, 1);
    EXPECT_NEAR(out.w, s0 * a.w + s1 * b.w, 1e-5);
    EXPECT_NEAR(out.z, s0 * a.z + s1 * b.z, 1e-5);
    // Unit length is kept along the arc.
    EXPECT_NEAR(out.Dot(out), 1.0f, 1e-5f);
    // The full arc with one spin ends half a turn past b: on -b, the same
    // rotation.
    ExpectQuat(Slerp(out, a, b, 1.0f, 1), -b, 1e-5f);
}

}  // namespace
