// Fixed-point mathematics: vectors, quaternions, rotation matrices and the
// camera path, all in integer arithmetic.
//
// Formats (runtime/fixed.h): 8.8 for matrix elements, quaternion components,
// unit directions and scale factors; 8.24 for cos_sin; plain integer units for
// coordinates. Angles run 1,024 steps a turn, only the low 10 bits counting.
#pragma once

#include <stdint.h>

#include "runtime/fixed.h"

namespace korvax {

struct Vec3 {
    int32_t x, y, z;
};

// w first in memory; a rotation has length 256.
struct Quat {
    int32_t w, x, y, z;
};

// Row-major, element [r][c] at index 4 * r + c, 8.8. v' = M * v for column vectors.
struct Matrix4 {
    int32_t m[16];
};

struct CameraKey {
    Quat orientation;
    Vec3 position;
};

constexpr int CAMERA_PATH_KEYS = 32;

// A key count followed by room for 32 keys.
struct CameraPath {
    int32_t count;
    CameraKey keys[CAMERA_PATH_KEYS];
};

// Cosine and sine of the angle in 8.24, folded from the first quadrant of COS_TABLE.
void cos_sin(uint32_t angle, int32_t& cosine, int32_t& sine);

void vec3_add(Vec3& out, const Vec3& a, const Vec3& b);
void vec3_sub(Vec3& out, const Vec3& a, const Vec3& b);
// out = (s * v) >> 8 per component, s in 8.8.
void vec3_scale(Vec3& out, const Vec3& v, int32_t s);
// (a.x*b.x >> 8) + (a.y*b.y >> 8) + (a.z*b.z >> 8).
int32_t vec3_dot(const Vec3& a, const Vec3& b);
// isqrt of the 32-bit sum of squares.
int32_t vec3_length(const Vec3& v);
// Scales to length 256 and clamps each component into -128..127; zero stays zero.
void vec3_normalise(Vec3& v);
// As vec3_normalise, with the sum of squares, the root and the divisions in
// 64 bits: the true direction for vectors whose squared length leaves 32 bits.
// Agrees with vec3_normalise whenever that sum stays below 2^30.
void vec3_normalise_wide(Vec3& v);

void quat_add(Quat& out, const Quat& a, const Quat& b);
void quat_sub(Quat& out, const Quat& a, const Quat& b);
void quat_scale(Quat& out, const Quat& q, int32_t s);
// Scales to length 256; a zero quaternion is left unchanged.
void quat_normalise(Quat& q);
// Normalised Hamilton product a (x) b; out may be a or b.
void quat_multiply(Quat& out, const Quat& a, const Quat& b);
void quat_to_matrix(Matrix4& out, const Quat& q);

void matrix_identity(Matrix4& m);
// D = A * B; D must be a different record from A and B.
void matrix_multiply(Matrix4& d, const Matrix4& a, const Matrix4& b);
// M = Ry(a) * Rx(b) * Rz(c).
void matrix_from_angles(Matrix4& m, uint32_t a, uint32_t b, uint32_t c);
// out = M * v with the rotation part only; out may be v.
void matrix_transform(Vec3& out, const Vec3& v, const Matrix4& m);

// The camera at step t (0..399) between key k and key k + 1 (key k again for
// the last key). Writes the position (always; (0, 0, 0) for t >= 400) and,
// for t < 400, the view matrix; returns the position record.
Vec3& sample_camera_path(Vec3& position, Matrix4& view, uint32_t t, int32_t k, const CameraPath& path);

}  // namespace korvax
