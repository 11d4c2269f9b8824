// Matrix constructors and product for the engine's column-major 4 x 4 matrices.
#include "engine/math.h"

namespace Kestrane
{
    Matrix Matrix::identity()
    {
        Matrix m;
        for (int i = 0; i < 4; ++i)
            m.at(i, i) = 1.0f;
        return m;
    }

    Matrix Matrix::projection(float width, float height)
    {
        Matrix m;
        m.at(0, 0) = 2.0f / width;
        m.at(1, 1) = -2.0f / height;
        m.at(2, 2) = -1.0f;
        m.at(3, 0) = -1.0f;
        m.at(3, 1) = 1.0f;
        m.at(3, 2) = 0.0f;
        m.at(3, 3) = 1.0f;
        return m;
    }

    Matrix Matrix::translation(float x, float y, float z)
    {
        Matrix m = identity();
        m.at(3, 0) = x;
        m.at(3, 1) = y;
        m.at(3, 2) = z;
        return m;
    }

    Matrix Matrix::scale(float x, float y, float z)
    {
        Matrix m;
        m.at(0, 0) = x;
        m.at(1, 1) = y;
        m.at(2, 2) = z;
        m.at(3, 3) = 1.0f;
        return m;
    }

    Matrix operator*(const Matrix& a, const Matrix& b)
    {
        Matrix m;
        for (int column = 0; column < 4; ++column)
            for (int row = 0; row < 4; ++row)
            {
                float sum = 0.0f;
                for (int k = 0; k < 4; ++k)
                    sum += a.at(k, row) * b.at(column, k);
                m.at(column, row) = sum;
            }
        return m;
    }
}
