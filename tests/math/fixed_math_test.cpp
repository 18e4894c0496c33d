#include <cmath>

#include <gtest/gtest.h>

#include "math/fixed_math.h"
#include "runtime/tables.h"
#include "runtime/runtime.h"

namespace korvax {
namespace {

class FixedMath : public ::testing::Test {
protected:
    static void SetUpTestSuite() { build_cosine_table(COS_TABLE); }
};

void expect_rows(const Matrix4& m, const int32_t (&rows)[3][3]) {
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) EXPECT_EQ(m.m[4 * r + c], rows[r][c]) << "element [" << r << "][" << c << "]";
        EXPECT_EQ(m.m[4 * r + 3], 0);
        EXPECT_EQ(m.m[12 + r], 0);
    }
    EXPECT_EQ(m.m[15], 256);
}

TEST_F(FixedMath, CosSinFoldsTheQuadrants) {
    int32_t c, s;
    cos_sin(0, c, s);
    EXPECT_EQ(c, 16777216);
    EXPECT_EQ(s, -19937);
    cos_sin(256, c, s);
    EXPECT_EQ(c, 19937);
    EXPECT_EQ(s, 16777216);

    // The four quarter turns in 8.8.
    const int32_t quarter[4][2] = {{256, -1}, {0, 256}, {-256, 0}, {-1, -256}};
    for (uint32_t q = 0; q < 4; ++q) {
        cos_sin(q * 256, c, s);
        EXPECT_EQ(c >> 16, quarter[q][0]) << "quarter " << q;
        EXPECT_EQ(s >> 16, quarter[q][1]) << "quarter " << q;
    }

    // Only the low 10 bits count.
    for (uint32_t angle : {0u, 256u, 300u, 700u, 1000u}) {
        int32_t c0, s0, c1, s1;
        cos_sin(angle, c0, s0);
        cos_sin(angle + 1024, c1, s1);
        EXPECT_EQ(c0, c1);
        EXPECT_EQ(s0, s1);
        cos_sin(angle + 0xFFFFFC00u, c1, s1);
        EXPECT_EQ(c0, c1);
        EXPECT_EQ(s0, s1);
    }

    // Every angle approximates the true cosine and sine.
    for (uint32_t angle = 0; angle < 1024; ++angle) {
        cos_sin(angle, c, s);
        double a = 2.0 * M_PI * angle / 1024.0;
        EXPECT_NEAR(c / 16777216.0, std::cos(a), 2e-3) << angle;
        EXPECT_NEAR(s / 16777216.0, std::sin(a), 2e-3) << angle;
    }
}

TEST_F(FixedMath, MatrixFromAnglesKeepsTheInnerShifts) {
    Matrix4 m;
    matrix_from_angles(m, 0, 0, 0);
    expect_rows(m, {{256, 1, -1}, {-1, 256, 1}, {1, -1, 256}});
    matrix_from_angles(m, 256, 128, 128);
    expect_rows(m, {{126, 126, 180}, {126, 126, -180}, {-180, 180, 0}});
}

TEST_F(FixedMath, MatrixFromAnglesIsRyRxRz) {
    // Compare with the rotation composed in floating point: z first, then x, then y.
    for (uint32_t a = 0; a < 1024; a += 109) {
        for (uint32_t b = 0; b < 1024; b += 131) {
            for (uint32_t c = 0; c < 1024; c += 157) {
                Matrix4 m;
                matrix_from_angles(m, a, b, c);
                double ta = 2 * M_PI * a / 1024, tb = 2 * M_PI * b / 1024, tc = 2 * M_PI * c / 1024;
                double ry[3][3] = {{cos(ta), 0, sin(ta)}, {0, 1, 0}, {-sin(ta), 0, cos(ta)}};
                double rx[3][3] = {{1, 0, 0}, {0, cos(tb), -sin(tb)}, {0, sin(tb), cos(tb)}};
                double rz[3][3] = {{cos(tc), -sin(tc), 0}, {sin(tc), cos(tc), 0}, {0, 0, 1}};
                double t[3][3] = {}, r[3][3] = {};
                for (int i = 0; i < 3; ++i)
                    for (int j = 0; j < 3; ++j)
                        for (int k = 0; k < 3; ++k) t[i][j] += rx[i][k] * rz[k][j];
                for (int i = 0; i < 3; ++i)
                    for (int j = 0; j < 3; ++j)
                        for (int k = 0; k < 3; ++k) r[i][j] += ry[i][k] * t[k][j];
                for (int i = 0; i < 3; ++i)
                    for (int j = 0; j < 3; ++j) EXPECT_NEAR(m.m[4 * i + j], 256 * r[i][j], 4.0);
            }
        }
    }
}

TEST_F(FixedMath, NormaliseClampsAndHandlesZero) {
    Vec3 v{3, 4, 0};
    vec3_normalise(v);
    EXPECT_EQ(v.x, 127);
    EXPECT_EQ(v.y, 127);
    EXPECT_EQ(v.z, 0);
    v = {0, 0, 5};
    vec3_normalise(v);
    EXPECT_EQ(v.z, 127);
    v = {-7, 0, 0};
    vec3_normalise(v);
    EXPECT_EQ(v.x, -128);  // -256 clamped
    v = {0, 0, 0};
    vec3_normalise(v);
    EXPECT_EQ(v.x, 0);
    EXPECT_EQ(v.y, 0);
    EXPECT_EQ(v.z, 0);
    v = {30, -40, 0};  // 256 * 30 / 50 = 153.6 -> 153 -> 127; -204 -> -128
    vec3_normalise(v);
    EXPECT_EQ(v.x, 127);
    EXPECT_EQ(v.y, -128);
    v = {10, 10, 10};  // length isqrt(300) = 17: 2560 / 17 = 150 -> 127
    vec3_normalise(v);
    EXPECT_EQ(v.x, 127);

    Quat q{0, 0, 0, 0};
    quat_normalise(q);
    EXPECT_EQ(q.w, 0);
    EXPECT_EQ(q.x, 0);
    EXPECT_EQ(q.y, 0);
    EXPECT_EQ(q.z, 0);
    q = {0, 3, 0, 4};  // length 5: 768 / 5 = 153, 1024 / 5 = 204 (no clamp for quaternions)
    quat_normalise(q);
    EXPECT_EQ(q.x, 153);
    EXPECT_EQ(q.z, 204);
    q = {-10, 0, 0, 0};
    quat_normalise(q);
    EXPECT_EQ(q.w, -256);
}

TEST_F(FixedMath, WideNormaliseFindsTheTrueDirection) {
    // Small vectors: identical to the 32-bit normalisation.
    for (int32_t x = -60; x <= 60; x += 7) {
        for (int32_t y = -60; y <= 60; y += 11) {
            Vec3 a{x, y, 13}, b{x, y, 13};
            vec3_normalise(a);
            vec3_normalise_wide(b);
            EXPECT_EQ(a.x, b.x);
            EXPECT_EQ(a.y, b.y);
            EXPECT_EQ(a.z, b.z);
        }
    }
    // Squared length beyond 2^31: the 32-bit sum wraps, the wide one does not.
    Vec3 v{40000, 0, -40000};
    vec3_normalise_wide(v);
    EXPECT_EQ(v.x, 127);  // 181 clamped
    EXPECT_EQ(v.y, 0);
    EXPECT_EQ(v.z, -128);
    v = {0, 300000, 0};
    vec3_normalise_wide(v);
    EXPECT_EQ(v.y, 127);
    v = {2000000, 2000000, 2000000};
    Vec3 w{-2000000, 0, 0};
    vec3_normalise_wide(v);
    vec3_normalise_wide(w);
    EXPECT_EQ(v.x, 127);  // 147 clamped
    EXPECT_EQ(w.x, -128);
    v = {0, 0, 0};
    vec3_normalise_wide(v);
    EXPECT_EQ(v.z, 0);
}

TEST_F(FixedMath, VectorAndQuaternionArithmetic) {
    Vec3 a{100, -200, 300}, b{-50, 60, 70}, out;
    vec3_add(out, a, b);
    EXPECT_EQ(out.x, 50);
    EXPECT_EQ(out.y, -140);
    EXPECT_EQ(out.z, 370);
    vec3_sub(out, a, b);
    EXPECT_EQ(out.x, 150);
    EXPECT_EQ(out.y, -260);
    EXPECT_EQ(out.z, 230);
    vec3_scale(out, Vec3{-3, 3, 512}, 128);  // arithmetic shift rounds toward minus infinity
    EXPECT_EQ(out.x, -2);
    EXPECT_EQ(out.y, 1);
    EXPECT_EQ(out.z, 256);
    // Each product is shifted on its own: (-1 * 1) >> 8 = -1 three times.
    EXPECT_EQ(vec3_dot(Vec3{-1, -1, -1}, Vec3{1, 1, 1}), -3);
    EXPECT_EQ(vec3_dot(Vec3{0, 127, 0}, Vec3{0, 127, 0}), 63);
    EXPECT_EQ(vec3_length(Vec3{3, 4, 12}), 13);

    Quat qa{1, 2, 3, 4}, qb{10, 20, 30, -40}, q;
    quat_add(q, qa, qb);
    EXPECT_EQ(q.w, 11);
    EXPECT_EQ(q.z, -36);
    quat_sub(q, qa, qb);
    EXPECT_EQ(q.x, -18);
    quat_scale(q, Quat{-3, 256, 512, 1}, 128);
    EXPECT_EQ(q.w, -2);
    EXPECT_EQ(q.x, 128);
    EXPECT_EQ(q.y, 256);
    EXPECT_EQ(q.z, 0);
}

TEST_F(FixedMath, QuaternionProductAndMatrix) {
    // i * j = k for the unit quaternions (x and y axes).
    Quat i{0, 256, 0, 0}, j{0, 0, 256, 0}, out;
    quat_multiply(out, i, j);
    EXPECT_EQ(out.w, 0);
    EXPECT_EQ(out.x, 0);
    EXPECT_EQ(out.y, 0);
    EXPECT_EQ(out.z, 256);
    quat_multiply(out, j, i);
    EXPECT_EQ(out.z, -256);
    // The output may be an input.
    Quat a{0, 0, 0, 256};
    quat_multiply(a, a, Quat{3, 4, 5, 6});
    // Before normalisation (-6, -5, 4, 3), length isqrt(86) = 9.
    EXPECT_EQ(a.w, -170);
    EXPECT_EQ(a.x, -142);
    EXPECT_EQ(a.y, 113);
    EXPECT_EQ(a.z, 85);

    Matrix4 m;
    quat_to_matrix(m, Quat{256, 0, 0, 0});
    expect_rows(m, {{256, 0, 0}, {0, 256, 0}, {0, 0, 256}});
    // Half turn about z: (w, x, y, z) = (0, 0, 0, 256).
    quat_to_matrix(m, Quat{0, 0, 0, 256});
    expect_rows(m, {{-256, 0, 0}, {0, -256, 0}, {0, 0, 256}});
    // Quarter turn about x: w = x = 181, x * x = 32,761 (>> 7 = 255, -32,761 >> 7 = -256).
    quat_to_matrix(m, Quat{181, 181, 0, 0});
    expect_rows(m, {{256, 0, 0}, {0, 1, -256}, {0, 255, 1}});
}

TEST_F(FixedMath, MatrixProductTransformAndIdentity) {
    Matrix4 id, m, d;
    matrix_identity(id);
    expect_rows(id, {{256, 0, 0}, {0, 256, 0}, {0, 0, 256}});
    matrix_from_angles(m, 100, 200, 300);
    matrix_multiply(d, id, m);
    for (int e = 0; e < 16; ++e) EXPECT_EQ(d.m[e], m.m[e]);
    matrix_multiply(d, m, id);
    for (int e = 0; e < 16; ++e) EXPECT_EQ(d.m[e], m.m[e]);

    // Row-major D[r][c] = sum A[r][i] * B[i][c] >> 8, the whole sum shifted once.
    Matrix4 a{}, b{};
    for (int e = 0; e < 16; ++e) {
        a.m[e] = e + 1;
        b.m[e] = 16 - e;
    }
    matrix_multiply(d, a, b);
    EXPECT_EQ(d.m[0], (1 * 16 + 2 * 12 + 3 * 8 + 4 * 4) >> 8);
    a.m[0] = 256;
    a.m[1] = 128;
    b.m[1] = 300;
    b.m[5] = -3;
    matrix_multiply(d, a, b);
    EXPECT_EQ(d.m[1], (256 * 300 + 128 * -3 + 3 * 7 + 4 * 3) >> 8);

    Matrix4 rot;
    matrix_from_angles(rot, 256, 0, 0);  // a quarter turn about y
    Vec3 v{1000, 20, 300}, separate;
    matrix_transform(separate, v, rot);
    matrix_transform(v, v, rot);  // in place gives the same result
    EXPECT_EQ(v.x, separate.x);
    EXPECT_EQ(v.y, separate.y);
    EXPECT_EQ(v.z, separate.z);
    EXPECT_NEAR(v.x, 300, 5);
    EXPECT_NEAR(v.y, 20, 5);
    EXPECT_NEAR(v.z, -1000, 5);
    // The fourth column is not used.
    rot.m[3] = 5000;
    rot.m[7] = 5000;
    Vec3 u{0, 0, 0};
    matrix_transform(u, u, rot);
    EXPECT_EQ(u.x, 0);
    EXPECT_EQ(u.y, 0);
}

CameraPath make_path() {
    CameraPath path{};
    path.count = 3;
    path.keys[0] = {{256, 0, 0, 0}, {10, 20, 30}};
    path.keys[1] = {{0, 0, 256, 0}, {266, -236, 30 + 512}};
    path.keys[2] = {{181, 0, 0, 181}, {-7, 9, -11}};
    return path;
}

TEST_F(FixedMath, CameraPathEndsAndInterpolation) {
    CameraPath path = make_path();
    Vec3 pos;
    Matrix4 view;
    Matrix4 untouched;
    for (int e = 0; e < 16; ++e) untouched.m[e] = 1000 + e;

    // t = 400: view not written, position zero.
    view = untouched;
    pos = {5, 5, 5};
    Vec3& result = sample_camera_path(pos, view, 400, 0, path);
    EXPECT_EQ(&result, &pos);
    EXPECT_EQ(pos.x, 0);
    EXPECT_EQ(pos.y, 0);
    EXPECT_EQ(pos.z, 0);
    for (int e = 0; e < 16; ++e) EXPECT_EQ(view.m[e], untouched.m[e]);
    sample_camera_path(pos, view, 0xFFFFFFFFu, 0, path);  // unsigned comparison
    for (int e = 0; e < 16; ++e) EXPECT_EQ(view.m[e], untouched.m[e]);

    // t = 0: s = 0, key 0 exactly.
    sample_camera_path(pos, view, 0, 0, path);
    EXPECT_EQ(pos.x, 10 + 160);
    EXPECT_EQ(pos.y, 20 + 800);
    EXPECT_EQ(pos.z, 92 * 30 + 100000);
    expect_rows(view, {{256, 0, 0}, {0, 256, 0}, {0, 0, 256}});

    // t = 399: s = 250.
    sample_camera_path(pos, view, 399, 0, path);
    EXPECT_EQ(pos.x, 10 + ((250 * 256) >> 8) + 160);
    EXPECT_EQ(pos.y, 20 + ((250 * -256) >> 8) + 800);
    EXPECT_EQ(pos.z, 92 * (30 + ((250 * 512) >> 8)) + 100000);
    // q = (256 + (250 * -256 >> 8), 0, 250, 0) = (6, 0, 250, 0) has length
    // isqrt(62,536) = 250 and normalises to (6, 0, 256, 0):
    // R[0][2] = (w * y) >> 7 = 12, R[2][0] = -12; the view is the transpose.
    EXPECT_EQ(view.m[2], -12);
    EXPECT_EQ(view.m[8], 12);
    EXPECT_EQ(view.m[0], 256 - ((256 * 256) >> 7));

    // s follows (40 * (t + 1)) >> 6.
    sample_camera_path(pos, view, 99, 0, path);  // s = 62
    EXPECT_EQ(pos.x, 10 + ((62 * 256) >> 8) + 160);

    // k = N - 1 holds the last key for every t.
    Matrix4 first;
    sample_camera_path(pos, first, 0, 2, path);
    for (uint32_t t : {1u, 200u, 399u}) {
        sample_camera_path(pos, view, t, 2, path);
        EXPECT_EQ(pos.x, -7 + 160);
        EXPECT_EQ(pos.y, 9 + 800);
        EXPECT_EQ(pos.z, 92 * -11 + 100000);
        for (int e = 0; e < 16; ++e) EXPECT_EQ(view.m[e], first.m[e]);
    }
    // Key 2 is a quarter turn about z: R[1][0] = 32,761 >> 7, R[0][1] = -32,761 >> 7;
    // the view is the transpose.
    EXPECT_EQ(first.m[4 * 0 + 1], 255);
    EXPECT_EQ(first.m[4 * 1 + 0], -256);
}

}  // namespace
}  // namespace korvax
