#pragma once
// Three-channel float colour (and the two-float offset) of the pixel shading. Every operation is written
// out channel by channel, in float, so results do not depend on vectorisation.

#include <cstdint>

struct Float3 {
    float x = 0, y = 0, z = 0;

    friend constexpr Float3 operator+(Float3 a, Float3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
    friend constexpr Float3 operator-(Float3 a, Float3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
    friend constexpr Float3 operator*(Float3 a, Float3 b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }
    friend constexpr Float3 operator*(Float3 a, float k) { return {a.x * k, a.y * k, a.z * k}; }
    friend constexpr Float3 operator*(float k, Float3 a) { return {k * a.x, k * a.y, k * a.z}; }
    friend constexpr Float3 operator/(Float3 a, float k) { return {a.x / k, a.y / k, a.z / k}; }
    friend constexpr bool operator==(Float3, Float3) = default;
};

struct Float2 {
    float x = 0, y = 0;
    friend constexpr bool operator==(Float2, Float2) = default;
};

// 0xRRGGBB to channels in 0…1, each byte divided by 255 in float.
constexpr Float3 rgb(uint32_t c) {
    return {static_cast<float>((c >> 16) & 0xFF) / 255.0f, static_cast<float>((c >> 8) & 0xFF) / 255.0f,
            static_cast<float>(c & 0xFF) / 255.0f};
}

// p + (q − p)·f, channel by channel.
constexpr Float3 mix(Float3 p, Float3 q, float f) { return p + (q - p) * f; }
constexpr float mix(float p, float q, float f) { return p + (q - p) * f; }
