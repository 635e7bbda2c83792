#pragma once
// CRC-32C (Castagnoli): the checksum a recorded publication keeps of the file it names, computed by
// whoever writes or reads the file.

#include <cstddef>
#include <cstdint>

namespace vexilo::core {

// CRC-32C of `size` bytes, continuing from `crc` (0 to start).
std::uint32_t crc32c(std::uint32_t crc, const unsigned char* data, std::size_t size);

}  // namespace vexilo::core
