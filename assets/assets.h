// The files compiled into the executable: the two TrueType fonts and the window icon. Their
// bytes live in sources that the build generates from the files beside this header.
#pragma once

#include <cstddef>

namespace Corvane::Assets
{
    struct Embedded_File
    {
        const unsigned char* data; // read-only, lives for the whole process
        std::size_t size;          // bytes
    };

    extern const Embedded_File open_sans_regular; // application font, Open Sans Regular (217,360 bytes)
    extern const Embedded_File comfortaa_regular; // status overlay font, Comfortaa Regular
    extern const Embedded_File icon;              // 32 x 32 window icon, 32-bit BMP with alpha
}
