#include "engine/matrix4.h"

Matrix4::Matrix4(float s) : Matrix4(s, s, s) {}

Matrix4::Matrix4(float sx, float sy, float sz) : m{sx, 0, 0, 0, 0, sy, 0, 0, 0, 0, sz, 0, 0, 0, 0, 1} {}

Matrix4::Matrix4(float m0, float m1, float m2, float m3, float m4, float m5, float m6, float m7, float m8, float m9,
                 float m10, float m11, float m12, float m13, float m14, float m15)
    : m{m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15} {}

Matrix4::Matrix4(const Quaternion& q) {
    // Row-vector form: the transpose of the usual column-vector rotation.
    const float x2 = q.x + q.x, y2 = q.y + q.y, z2 = q.z + q.z;
    const float xx = q.x * x2, yy = q.y * y2, zz = q.z * z2;
    const float xy = q.x * y2, xz = q.x * z2, yz = q.y * z2;
    const float wx = q.w * x2, wy = q.w * y2, wz = q.w * z2;
    m[0] = 1.0f - yy - zz;
    m[1] = xy + wz;
    m[2] = xz - wy;
    m[3] = 0.0f;
    m[4] = xy - wz;
    m[5] = 1.0f - xx - zz;
    m[6] = yz + wx;
    m[7] = 0.0f;
    m[8] = xz + wy;
    m[9] = yz - wx;
    m[10] = 1.0f - xx - yy;
    m[11] = 0.0f;
    m[12] = 0.0f;
    m[13] = 0.0f;
    m[14] = 0.0f;
    m[15] = 1.0f;
}

Matrix4 Matrix4::Translation(float x, float y, float z) {
    Matrix4 r(1.0f);
    r.m[12] = x;
    r.m[13] = y;
    r.m[14] = z;
    return r;
}

Matrix4& Matrix4::SetIdentity() { return *this = Matrix4(1.0f); }

Matrix4 Matrix4::operator*(const Matrix4& b) const {
    Matrix4 r;
    for (int row = 0; row < 4; ++row) {
        const float* a = &m[4 * row];
        for (int col = 0; col < 4; ++col) {
            r.m[4 * row + col] = a[0] * b.m[col] + a[1] * b.m[4 + col] + a[2] * b.m[8 + col] + a[3] * b.m[12 + col];
        }
    }
    return r;
}

// The product goes through a temporary, so a *= a reads the old elements.
Matrix4& Matrix4::operator*=(const Matrix4& b) { return *this = *this * b; }

bool Matrix4::operator==(const Matrix4& o) const {
    for (int i = 0; i < 16; ++i) {
        if (m[i] != o.m[i]) return false;
    }
    return true;
}

float Matrix4::Determinant3() const {
    return m[0] * m[5] * m[10] + m[1] * m[6] * m[8] + m[2] * m[4] * m[9] - m[2] * m[5] * m[8] - m[1] * m[4] * m[10] -
           m[0] * m[6] * m[9];
}

Matrix4& Matrix4::Invert() {
    Matrix4 r;
    r.SetInverse(*this);
    return *this = r;
}

Matrix4& Matrix4::SetInverse(const Matrix4& s) {
    const float* a = s.m;
    const float f = 1.0f / s.Determinant3();
    m[0] = f * (a[5] * a[10] - a[6] * a[9]);
    m[1] = f * (a[2] * a[9] - a[1] * a[10]);
    m[2] = f * (a[1] * a[6] - a[2] * a[5]);
    m[4] = f * (a[6] * a[8] - a[4] * a[10]);
    m[5] = f * (a[0] * a[10] - a[2] * a[8]);
    m[6] = f * (a[2] * a[4] - a[0] * a[6]);
    m[8] = f * (a[4] * a[9] - a[5] * a[8]);
    m[9] = f * (a[1] * a[8] - a[0] * a[9]);
    m[10] = f * (a[0] * a[5] - a[1] * a[4]);
    // Affine, not projective: column 3 is carried over as it is.
    m[3] = a[3];
    m[7] = a[7];
    m[11] = a[11];
    m[15] = a[15];
    for (int j = 0; j < 3; ++j) {
        m[12 + j] = -(a[12] * m[j] + a[13] * m[4 + j] + a[14] * m[8 + j]);
    }
    return *this;
}

Matrix4 Matrix4::Transposed() const {
    Matrix4 r;
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) r.m[4 * col + row] = m[4 * row + col];
    }
    return r;
}

Matrix4& Matrix4::LookAt(const Vector3& target, const Vector3& eye, const Vector3& up) {
    const Vector3 z = (target - eye).Normalized();
    const Vector3 x = up.Cross(z).Normalized();
    const Vector3 y = z.Cross(x);
    m[0] = x.x;
    m[1] = y.x;
    m[2] = z.x;
    m[3] = 0.0f;
    m[4] = x.y;
    m[5] = y.y;
    m[6] = z.y;
    m[7] = 0.0f;
    m[8] = x.z;
    m[9] = y.z;
    m[10] = z.z;
    m[11] = 0.0f;
    m[12] = -x.Dot(eye);
    m[13] = -y.Dot(eye);
    m[14] = -z.Dot(eye);
    m[15] = 1.0f;
    return *this;
}

Vector3 Matrix4::TransformPoint(const Vector3& p) const {
    return {p.x * m[0] + p.y * m[4] + p.z * m[8] + m[12], p.x * m[1] + p.y * m[5] + p.z * m[9] + m[13],
            p.x * m[2] + p.y * m[6] + p.z * m[10] + m[14]};
}

Vector3 Matrix4::TransformVector(const Vector3& v) const {
    return {v.x * m[0] + v.y * m[4] + v.z * m[8], v.x * m[1] + v.y * m[5] + v.z * m[9],
            v.x * m[2] + v.y * m[6] + v.z * m[10]};
}
