#include "image/LxFile.h"

bool LxFile::PutByte(std::uint8_t byte) {
    return Write(&byte, 1, 1) == 1;
}
