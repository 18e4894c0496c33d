// The embedded camera key table in its stored byte layout: little-endian
// int32, a key count, then per key the position x, y, z and the rotation w, x, y, z.
#include "models/model_loader.h"

namespace korvax {

// One int32 as its four little-endian bytes.
#define KORVAX_LE32(v)                                                                        \
    static_cast<uint8_t>(static_cast<uint32_t>(v)), static_cast<uint8_t>(static_cast<uint32_t>(v) >> 8), \
        static_cast<uint8_t>(static_cast<uint32_t>(v) >> 16), static_cast<uint8_t>(static_cast<uint32_t>(v) >> 24)

#define KORVAX_KEY(px, py, pz, qw, qx, qy, qz)                                                  \
    KORVAX_LE32(px), KORVAX_LE32(py), KORVAX_LE32(pz), KORVAX_LE32(qw), KORVAX_LE32(qx), KORVAX_LE32(qy), \
        KORVAX_LE32(qz)

extern const uint8_t CAMERA_KEY_TABLE[4 + 5 * 28] = {
    KORVAX_LE32(5),
    //         position x, y, z         rotation w, x, y, z
    KORVAX_KEY(-115, -135, -2508, 9, 118, -1231, 16337),
    KORVAX_KEY(-115, -135, -2047, -2609, -16156, -354, 686),
    KORVAX_KEY(-136, -36, -1100, -11193, -11852, -1344, -914),
    KORVAX_KEY(-137, -102, -1100, 5657, 9109, -4266, 11629),
    KORVAX_KEY(-24, -130, -588, -3819, -12703, -1181, 9543),
};
const uint32_t CAMERA_KEY_TABLE_SIZE = sizeof(CAMERA_KEY_TABLE);

#undef KORVAX_KEY
#undef KORVAX_LE32

}  // namespace korvax
