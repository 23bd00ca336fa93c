// The operator's speed table.
#include "app/speed.h"

#include <cstddef>

DWORD changeSpeed(DWORD uSpeed, int delta) {
    for (std::size_t i = 0; i < uaSpeed.size(); ++i) {
        if (uaSpeed[i] != uSpeed) {
            continue;
        }
        if (delta == UP) {
            return i + 1 < uaSpeed.size() ? uaSpeed[i + 1] : uSpeed;
        }
        if (delta == DOWN) {
            return i > 0 ? uaSpeed[i - 1] : uSpeed;
        }
        return uSpeed;
    }
    return NOT_A_SPEED;
}
