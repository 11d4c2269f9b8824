// Small value types of the engine: integer and float pairs, RGBA colours and column-major
// 4 x 4 matrices with the few operations drawing needs.
#pragma once

#include <array>
#include <cstdint>

namespace Kestrane
{
    struct Int2
    {
        int32_t x = 0;
        int32_t y = 0;
        friend bool operator==(const Int2&, const Int2&) = default;
    };

    struct Float2
    {
        float x = 0.0f;
        float y = 0.0f;
        friend bool operator==(const Float2&, const Float2&) = default;
    };

    struct Color
    {
        float r = 0.0f; // each channel 0..1
        float g = 0.0f;
        float b = 0.0f;
        float a = 0.0f;
        friend bool operator==(const Color&, const Color&) = default;
    };

    // Column-major: element [column][row] lives at elements[column * 4 + row].
    struct Matrix
    {
        std::array<float, 16> elements{};

        float& at(int column, int row) { return elements[column * 4 + row]; }
        float at(int column, int row) const { return elements[column * 4 + row]; }
        const float* data() const { return elements.data(); }

        static Matrix identity();
        // Orthographic projection of a width x height pixel area, y growing downwards.
        static Matrix projection(float width, float height);
        static Matrix translation(float x, float y, float z);
        static Matrix scale(float x, float y, float z);
    };

    Matrix operator*(const Matrix& a, const Matrix& b);
}
