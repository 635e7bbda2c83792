#include "fuzz/seeds.h"

#include <QDir>
#include <QFile>

#include "import/accessstream.h"
#include "tests/support/elementbuilder.h"
#include "tools/accessreader/accessreader.h"

namespace vexilo::fuzz {
namespace {

using testing::ElementBuilder;
namespace stream = importer::stream;

constexpr int kRowsPerTable = 3;
constexpr std::size_t kMaxSeed = 32 * 1024;  // beyond the first row, a table's seed stops growing here
constexpr qint64 kCut = 1196032;             // a cut that loses half of the sample's catalog

Seed drawing(const char* name, const std::vector<ElementBuilder>& elements, bool extraByte = false) {
    testing::Bytes b = testing::concat(elements);
    if (extraByte) {
        b.push_back(0x7f);
    }
    return {name, std::string(b.begin(), b.end())};
}

std::string streamOf(const QString& access) {
    std::string s;
    stream::Writer w([&s](std::string_view frame) { s.append(frame); });
    accessreader::readAccess(QFile::encodeName(access).constData(), w);
    return s;
}

struct Frame {
    char tipo;
    std::string bytes;  // the whole frame, header included
};

std::vector<Frame> frames(const std::string& s) {
    std::vector<Frame> v;
    std::size_t i = 0;
    while (i + stream::kFrameHeader <= s.size()) {
        std::uint32_t n = 0;
        for (int k = 3; k >= 0; --k) {
            n = (n << 8) | static_cast<unsigned char>(s[i + 1 + static_cast<std::size_t>(k)]);
        }
        v.push_back({s[i], s.substr(i, stream::kFrameHeader + n)});
        i += stream::kFrameHeader + n;
    }
    return v;
}

// The table frame with another declared row count (it follows the name: length and bytes).
std::string withRows(std::string table, std::int64_t rows) {
    std::uint32_t longOne = 0;
    for (int k = 3; k >= 0; --k) {
        longOne = (longOne << 8) |
                  static_cast<unsigned char>(table[stream::kFrameHeader + static_cast<std::size_t>(k)]);
    }
    const std::size_t in = stream::kFrameHeader + 4 + longOne;
    for (int k = 0; k < 8; ++k) {
        table[in + static_cast<std::size_t>(k)] =
            static_cast<char>((static_cast<std::uint64_t>(rows) >> (8 * k)) & 0xff);
    }
    return table;
}

std::string oneTableCatalog(const std::string& table) {
    std::string s;
    stream::Writer w([&s](std::string_view frame) { s.append(frame); });
    w.begin(stream::kCatalog);
    w.u32(1);
    std::uint32_t longOne = 0;
    for (int k = 3; k >= 0; --k) {
        longOne = (longOne << 8) |
                  static_cast<unsigned char>(table[stream::kFrameHeader + static_cast<std::size_t>(k)]);
    }
    w.putString(std::string_view(table).substr(stream::kFrameHeader + 4, longOne));
    w.finish();
    return s;
}

// Each table alone: a catalog of one, the table with its first rows (declared as that many), its end.
std::vector<Seed> perTable(const std::vector<Frame>& all) {
    std::vector<Seed> v;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i].tipo != stream::kTable) {
            continue;
        }
        std::string rows;
        int count = 0;
        for (std::size_t j = i + 1; j < all.size() && all[j].tipo == stream::kRow && count < kRowsPerTable;
             ++j) {
            if (count > 0 && rows.size() + all[j].bytes.size() > kMaxSeed) {
                break;
            }
            rows += all[j].bytes;
            ++count;
        }
        const std::string end(1, static_cast<char>(stream::kEndTable));
        v.push_back({"tabla" + std::to_string(v.size()),
                     oneTableCatalog(all[i].bytes) + withRows(all[i].bytes, count) + rows + end +
                         std::string(4, '\0') + std::string(1, static_cast<char>(stream::kEnd)) +
                         std::string(4, '\0')});
    }
    return v;
}

}  // namespace

std::vector<Seed> walkSeeds() {
    return {
        drawing("mezcla", {ElementBuilder::t().seed(1).codigoNul("123").texto("HOLA").link(5, 17),
                           ElementBuilder::c().seed(2).records(3).link(1, 1),
                           ElementBuilder::tipo('T', ' ').seed(3).texto("DESCARTADO"),
                           ElementBuilder::t()
                               .seed(4)
                               .codigoSpaces(" 7")
                               .texto("RIO GRANDE DEL NORTE")
                               .link(3, 9)
                               .link(4, 10),
                           ElementBuilder::c().seed(5), ElementBuilder::t().seed(6)}),
        drawing("textos",
                {ElementBuilder::t().unicodeText(QStringLiteral("  Río   Guadalquivir,  año 1900  "),
                                                 testing::Pad::Space),
                 ElementBuilder::t().seed(2).textAsSystem("ABCDEFGHIJKL"),
                 ElementBuilder::t().seed(3).texto(std::string("A\0B", 3)),
                 ElementBuilder::t().seed(4).codigo(std::string("  42\0 x", 7)).texto(std::string(40, ' '))},
                true),
        drawing("descartados",
                {ElementBuilder::tipo('C', 'x').records(2), ElementBuilder::tipo('T', '-').texto("NO"),
                 ElementBuilder::tipo('c', '=').records(1)}),
    };
}

std::vector<Seed> importSeeds(const QString& nwind, const QString& tempDir) {
    const std::string complete = streamOf(nwind);
    std::vector<Seed> v = perTable(frames(complete));
    v.push_back({"completo", complete});
    QFile source(nwind);
    const QString cut = QDir(tempDir).filePath(QStringLiteral("cortado.mdb"));
    QFile destination(cut);
    if (source.open(QIODevice::ReadOnly) && destination.open(QIODevice::WriteOnly)) {
        destination.write(source.read(kCut));
        destination.close();
        v.push_back({"cortado", streamOf(cut)});
    }
    return v;
}

}  // namespace vexilo::fuzz
