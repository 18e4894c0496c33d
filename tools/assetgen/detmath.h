// Elementary functions built only from IEEE-754 additions, multiplications,
// divisions and square roots, which every conforming machine rounds the same
// way. The generators use these instead of the C library's sin, cos, exp and
// atan2, whose last bit may differ between library versions, so that the same
// source always yields the same asset bytes.
#pragma once

#include <cmath>
#include <cstdint>

namespace korvax::assetgen {

inline constexpr double PI = 3.14159265358979323846;
inline constexpr double TAU = 2.0 * PI;

// Sine on [-pi/2, pi/2] by its Taylor series (error below 1e-15 there).
inline double sin_core(double x) {
    const double x2 = x * x;
    double term = x, sum = x;
    for (int n = 1; n <= 11; ++n) {
        term = -term * x2 / ((2.0 * n) * (2.0 * n + 1.0));
        sum += term;
    }
    return sum;
}

inline double dsin(double x) {
    // Reduce to [-pi, pi], then fold onto [-pi/2, pi/2].
    x -= TAU * std::nearbyint(x / TAU);
    if (x > PI / 2) x = PI - x;
    else if (x < -PI / 2) x = -PI - x;
    return sin_core(x);
}

inline double dcos(double x) { return dsin(x + PI / 2); }

// exp by halving the argument until it is small, a short series, then squaring.
inline double dexp(double x) {
    if (x < -700.0) return 0.0;
    int halvings = 0;
    while (std::fabs(x) > 0.03125) {
        x *= 0.5;
        ++halvings;
    }
    double term = 1.0, sum = 1.0;
    for (int n = 1; n <= 12; ++n) {
        term = term * x / n;
        sum += term;
    }
    for (int i = 0; i < halvings; ++i) sum *= sum;
    return sum;
}

// atan on any argument: two half-angle reductions bring |x| below 0.42, then
// the alternating series.
inline double datan(double x) {
    bool invert = false;
    double sign = 1.0;
    if (x < 0) {
        x = -x;
        sign = -1.0;
    }
    if (x > 1.0) {
        x = 1.0 / x;
        invert = true;
    }
    double scale = 1.0;
    for (int i = 0; i < 2; ++i) {
        x = x / (1.0 + std::sqrt(1.0 + x * x));
        scale *= 2.0;
    }
    const double x2 = x * x;
    double term = x, sum = x;
    for (int n = 1; n <= 20; ++n) {
        term = -term * x2;
        sum += term / (2.0 * n + 1.0);
    }
    double r = sum * scale;
    if (invert) r = PI / 2 - r;
    return sign * r;
}

inline double datan2(double y, double x) {
    if (x > 0) return datan(y / x);
    if (x < 0) return y >= 0 ? datan(y / x) + PI : datan(y / x) - PI;
    if (y > 0) return PI / 2;
    if (y < 0) return -PI / 2;
    return 0.0;
}

inline double clampd(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }
inline double lerp(double a, double b, double t) { return a + (b - a) * t; }
inline double smoothstep(double e0, double e1, double x) {
    double t = clampd((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// Rounds half away from zero; the result depends only on the double value.
inline long round_int(double v) { return std::lround(v); }

}  // namespace korvax::assetgen
