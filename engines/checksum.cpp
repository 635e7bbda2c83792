#include "engines/checksum.h"

#include <QFile>
#include <vector>

#include "core/crc32c.h"

namespace vexilo::engines {

std::optional<FileSum> fileSum(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    FileSum sum;
    std::vector<unsigned char> buffer(1 << 20);
    for (;;) {
        const qint64 n =
            file.read(reinterpret_cast<char*>(buffer.data()), static_cast<qint64>(buffer.size()));
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0) {
            return sum;
        }
        sum.crc = core::crc32c(sum.crc, buffer.data(), static_cast<std::size_t>(n));
        sum.size += n;
    }
}

}  // namespace vexilo::engines
