#include "math/fixed_math.h"

#include "runtime/tables.h"
#include "runtime/runtime.h"

namespace korvax {

void cos_sin(uint32_t angle, int32_t& cosine, int32_t& sine) {
    // Bits 8..9 pick the quadrant, bits 0..7 the step inside it; only the
    // entries 0..256 of the table are read.
    uint32_t quadrant = (angle >> 8) & 3;
    uint32_t f = angle & 0xFF;
    int32_t near = COS_TABLE[f];
    int32_t far = COS_TABLE[256 - f];
    switch (quadrant) {
        case 0:
            cosine = near;
            sine = far;
            break;
        case 1:
            cosine = wrap_neg(far);
            sine = near;
            break;
        case 2:
            cosine = wrap_neg(near);
            sine = wrap_neg(far);
            break;
        default:
            cosine = far;
            sine = wrap_neg(near);
            break;
    }
}

void vec3_add(Vec3& out, const Vec3& a, const Vec3& b) {
    out.x = wrap_add(a.x, b.x);
    out.y = wrap_add(a.y, b.y);
    out.z = wrap_add(a.z, b.z);
}

void vec3_sub(Vec3& out, const Vec3& a, const Vec3& b) {
    out.x = wrap_sub(a.x, b.x);
    out.y = wrap_sub(a.y, b.y);
    out.z = wrap_sub(a.z, b.z);
}

void vec3_scale(Vec3& out, const Vec3& v, int32_t s) {
    out.x = fix8_mul(s, v.x);
    out.y = fix8_mul(s, v.y);
    out.z = fix8_mul(s, v.z);
}

int32_t vec3_dot(const Vec3& a, const Vec3& b) {
    int32_t sum = fix8_mul(a.x, b.x);
    sum = wrap_add(sum, fix8_mul(a.y, b.y));
    return wrap_add(sum, fix8_mul(a.z, b.z));
}

int32_t vec3_length(const Vec3& v) {
    int32_t sum = wrap_add(wrap_add(wrap_mul(v.x, v.x), wrap_mul(v.y, v.y)), wrap_mul(v.z, v.z));
    return isqrt(sum);
}

namespace {

// Direction components never leave the signed-byte range.
int32_t clamp_direction(int32_t c) {
    if (c > 127) return 127;
    if (c < -128) return -128;
    return c;
}

int32_t shift_up_8(int32_t c) { return static_cast<int32_t>(static_cast<uint32_t>(c) << FIX8_SHIFT); }

// floor(sqrt(x)) of a 64-bit value, bit by bit.
uint64_t isqrt_wide(uint64_t x) {
    uint64_t root = 0;
    for (uint64_t bit = uint64_t(1) << 31; bit != 0; bit >>= 1) {
        uint64_t trial = root | bit;
        if (trial * trial <= x) root = trial;
    }
    return root;
}

// Quotient truncated toward zero; the divisor is positive.
int64_t divide_wide(int64_t a, int64_t b) {
    uint64_t magnitude = a < 0 ? 0u - static_cast<uint64_t>(a) : static_cast<uint64_t>(a);
    uint64_t q = magnitude / static_cast<uint64_t>(b);
    return a < 0 ? -static_cast<int64_t>(q) : static_cast<int64_t>(q);
}

int32_t clamp_direction_wide(int64_t c) {
    if (c > 127) return 127;
    if (c < -128) return -128;
    return static_cast<int32_t>(c);
}

}  // namespace

void vec3_normalise(Vec3& v) {
    int32_t len = vec3_length(v);
    if (len == 0) {
        v = {0, 0, 0};
        return;
    }
    v.x = clamp_direction(divide(shift_up_8(v.x), len));
    v.y = clamp_direction(divide(shift_up_8(v.y), len));
    v.z = clamp_direction(divide(shift_up_8(v.z), len));
}

void vec3_normalise_wide(Vec3& v) {
    int64_t x = v.x, y = v.y, z = v.z;
    uint64_t sum = static_cast<uint64_t>(x * x) + static_cast<uint64_t>(y * y) + static_cast<uint64_t>(z * z);
    int64_t len = static_cast<int64_t>(isqrt_wide(sum));
    if (len == 0) {
        v = {0, 0, 0};
        return;
    }
    v.x = clamp_direction_wide(divide_wide(x * FIX8_ONE, len));
    v.y = clamp_direction_wide(divide_wide(y * FIX8_ONE, len));
    v.z = clamp_direction_wide(divide_wide(z * FIX8_ONE, len));
}

void quat_add(Quat& out, const Quat& a, const Quat& b) {
    out.w = wrap_add(a.w, b.w);
    out.x = wrap_add(a.x, b.x);
    out.y = wrap_add(a.y, b.y);
    out.z = wrap_add(a.z, b.z);
}

void quat_sub(Quat& out, const Quat& a, const Quat& b) {
    out.w = wrap_sub(a.w, b.w);
    out.x = wrap_sub(a.x, b.x);
    out.y = wrap_sub(a.y, b.y);
    out.z = wrap_sub(a.z, b.z);
}

void quat_scale(Quat& out, const Quat& q, int32_t s) {
    out.w = fix8_mul(s, q.w);
    out.x = fix8_mul(s, q.x);
    out.y = fix8_mul(s, q.y);
    out.z = fix8_mul(s, q.z);
}

void quat_normalise(Quat& q) {
    int32_t sum = wrap_add(wrap_add(wrap_mul(q.w, q.w), wrap_mul(q.x, q.x)),
                           wrap_add(wrap_mul(q.y, q.y), wrap_mul(q.z, q.z)));
    int32_t n = isqrt(sum);
    if (n == 0) return;
    q.w = divide(shift_up_8(q.w), n);
    q.x = divide(shift_up_8(q.x), n);
    q.y = divide(shift_up_8(q.y), n);
    q.z = divide(shift_up_8(q.z), n);
}

void quat_multiply(Quat& out, const Quat& a, const Quat& b) {
    // Each line is summed in full, then shifted.
    int32_t w = wrap_sub(wrap_sub(wrap_sub(wrap_mul(a.w, b.w), wrap_mul(a.x, b.x)), wrap_mul(a.y, b.y)),
                         wrap_mul(a.z, b.z));
    int32_t x = wrap_sub(wrap_add(wrap_add(wrap_mul(a.w, b.x), wrap_mul(a.x, b.w)), wrap_mul(a.y, b.z)),
                         wrap_mul(a.z, b.y));
    int32_t y = wrap_add(wrap_add(wrap_sub(wrap_mul(a.w, b.y), wrap_mul(a.x, b.z)), wrap_mul(a.y, b.w)),
                         wrap_mul(a.z, b.x));
    int32_t z = wrap_add(wrap_sub(wrap_add(wrap_mul(a.w, b.z), wrap_mul(a.x, b.y)), wrap_mul(a.y, b.x)),
                         wrap_mul(a.z, b.w));
    out = {w >> FIX8_SHIFT, x >> FIX8_SHIFT, y >> FIX8_SHIFT, z >> FIX8_SHIFT};
    quat_normalise(out);
}

void quat_to_matrix(Matrix4& out, const Quat& q) {
    const int32_t w = q.w, x = q.x, y = q.y, z = q.z;
    const int32_t xx = wrap_mul(x, x), yy = wrap_mul(y, y), zz = wrap_mul(z, z);
    const int32_t xy = wrap_mul(x, y), xz = wrap_mul(x, z), yz = wrap_mul(y, z);
    const int32_t wx = wrap_mul(w, x), wy = wrap_mul(w, y), wz = wrap_mul(w, z);
    int32_t* m = out.m;
    m[0] = wrap_sub(FIX8_ONE, wrap_add(yy, zz) >> 7);
    m[1] = wrap_sub(xy, wz) >> 7;
    m[2] = wrap_add(xz, wy) >> 7;
    m[3] = 0;
    m[4] = wrap_add(xy, wz) >> 7;
    m[5] = wrap_sub(FIX8_ONE, wrap_add(xx, zz) >> 7);
    m[6] = wrap_sub(yz, wx) >> 7;
    m[7] = 0;
    m[8] = wrap_sub(xz, wy) >> 7;
    m[9] = wrap_add(yz, wx) >> 7;
    m[10] = wrap_sub(FIX8_ONE, wrap_add(xx, yy) >> 7);
    m[11] = 0;
    m[12] = 0;
    m[13] = 0;
    m[14] = 0;
    m[15] = FIX8_ONE;
}

void matrix_identity(Matrix4& m) {
    for (int i = 0; i < 16; ++i) m.m[i] = (i % 5 == 0) ? FIX8_ONE : 0;
}

void matrix_multiply(Matrix4& d, const Matrix4& a, const Matrix4& b) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            int32_t sum = 0;
            for (int i = 0; i < 4; ++i) sum = wrap_add(sum, wrap_mul(a.m[4 * r + i], b.m[4 * i + c]));
            d.m[4 * r + c] = sum >> FIX8_SHIFT;
        }
    }
}

void matrix_from_angles(Matrix4& m, uint32_t a, uint32_t b, uint32_t c) {
    int32_t ca, sa, cb, sb, cc, sc;
    cos_sin(a, ca, sa);
    cos_sin(b, cb, sb);
    cos_sin(c, cc, sc);
    // 8.24 to 8.8.
    const int down = FIX24_SHIFT - FIX8_SHIFT;
    ca >>= down;
    sa >>= down;
    cb >>= down;
    sb >>= down;
    cc >>= down;
    sc >>= down;
    // The inner shifts are part of the result.
    m.m[0] = wrap_add(wrap_mul(fix8_mul(sc, sa), sb), wrap_mul(cc, ca)) >> FIX8_SHIFT;
    m.m[1] = wrap_sub(wrap_mul(cc, fix8_mul(sa, sb)), wrap_mul(sc, ca)) >> FIX8_SHIFT;
    m.m[2] = fix8_mul(sa, cb);
    m.m[3] = 0;
    m.m[4] = fix8_mul(sc, cb);
    m.m[5] = fix8_mul(cc, cb);
    m.m[6] = wrap_neg(sb);
    m.m[7] = 0;
    m.m[8] = wrap_sub(wrap_mul(sc, fix8_mul(sb, ca)), wrap_mul(sa, cc)) >> FIX8_SHIFT;
    m.m[9] = wrap_add(wrap_mul(sb, fix8_mul(cc, ca)), wrap_mul(sc, sa)) >> FIX8_SHIFT;
    m.m[10] = fix8_mul(ca, cb);
    m.m[11] = 0;
    m.m[12] = 0;
    m.m[13] = 0;
    m.m[14] = 0;
    m.m[15] = FIX8_ONE;
}

namespace {

// Row `row` of the rotation part times (x, y, z), summed in full, then shifted.
inline int32_t transform_row(const Matrix4& m, int row, int32_t x, int32_t y, int32_t z) {
    const int32_t* e = &m.m[4 * row];
    return wrap_add(wrap_add(wrap_mul(e[0], x), wrap_mul(e[1], y)), wrap_mul(e[2], z)) >> FIX8_SHIFT;
}

}  // namespace

// The three rows written out (the compiler keeps a loop over them, with its
// results through the stack); all are formed before out is written.
void matrix_transform(Vec3& out, const Vec3& v, const Matrix4& m) {
    const int32_t x = v.x, y = v.y, z = v.z;
    const int32_t rx = transform_row(m, 0, x, y, z);
    const int32_t ry = transform_row(m, 1, x, y, z);
    const int32_t rz = transform_row(m, 2, x, y, z);
    out = {rx, ry, rz};
}

Vec3& sample_camera_path(Vec3& position, Matrix4& view, uint32_t t, int32_t k, const CameraPath& path) {
    position = {0, 0, 0};
    if (t >= 400) return position;
    // A key index outside the record reads nothing.
    if (k < 0 || k >= CAMERA_PATH_KEYS) return position;
    const CameraKey& a = path.keys[k];
    const CameraKey& b = (k < path.count - 1 && k + 1 < CAMERA_PATH_KEYS) ? path.keys[k + 1] : path.keys[k];

    // Interpolation factor in 8.8: 0..250 for t = 0..399.
    const int32_t s = static_cast<int32_t>((40 * (t + 1)) >> 6);

    Vec3 delta, p;
    vec3_sub(delta, b.position, a.position);
    vec3_scale(delta, delta, s);
    vec3_add(p, a.position, delta);
    position = {wrap_add(p.x, 160), wrap_add(p.y, 800), wrap_add(wrap_mul(92, p.z), 100000)};

    Quat dq, q;
    quat_sub(dq, b.orientation, a.orientation);
    quat_scale(dq, dq, s);
    quat_add(q, a.orientation, dq);
    quat_normalise(q);

    Matrix4 r;
    quat_to_matrix(r, q);
    for (int row = 0; row < 4; ++row) {
        for (int c = 0; c < 4; ++c) view.m[4 * row + c] = r.m[4 * c + row];
    }
    return position;
}

}  // namespace korvax
