#pragma once
// The checksum a recorded publication keeps of the file it names (CRC-32C), so that whoever finishes the
// publication after a crash can tell a whole file from a torn one.

#include <QString>
#include <cstdint>
#include <optional>

namespace vexilo::engines {

// The size and checksum of a file as it is on the disk now; nothing when it cannot be read.
struct FileSum {
    qint64 size = 0;
    std::uint32_t crc = 0;
    bool operator==(const FileSum&) const = default;
};
std::optional<FileSum> fileSum(const QString& path);

}  // namespace vexilo::engines
