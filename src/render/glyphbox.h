#pragma once

namespace qm {

// Bytes per packed row of `width` pixels at `bpp` bits, rows padded to whole bytes.
inline int rowBytesFor(int width, int bpp)
{
    return (width * bpp + 7) / 8;
}

// Where the ink of a captured image lies after the vertical crop.
struct CropInfo {
    int boxH = 0;        // inked rows, first to last
    int rowsBelow = 0;   // blank rows between the last inked row and the bottom
};

} // namespace qm
