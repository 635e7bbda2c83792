#include "tests/support/elementbuilder.h"

#include <gtest/gtest.h>

#include <QFile>
#include <algorithm>
#include <stdexcept>

#include "drawing/codepage.h"

namespace vexilo::testing {

namespace {

void putI16(Bytes& out, std::int16_t v) {
    const auto u = static_cast<std::uint16_t>(v);
    out.push_back(static_cast<std::uint8_t>(u & 0xFF));
    out.push_back(static_cast<std::uint8_t>(u >> 8));
}

void putI32(Bytes& out, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>((u >> shift) & 0xFF));
    }
}

std::int16_t getI16(const Bytes& in, std::size_t at) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(in[at] | (in[at + 1] << 8)));
}

std::int32_t getI32(const Bytes& in, std::size_t at) {
    std::uint32_t u = 0;
    for (int i = 3; i >= 0; --i) {
        u = (u << 8) | in[at + static_cast<std::size_t>(i)];
    }
    return static_cast<std::int32_t>(u);
}

template <std::size_t N>
void putRaw(Bytes& out, const std::array<std::uint8_t, N>& raw) {
    out.insert(out.end(), raw.begin(), raw.end());
}

template <std::size_t N>
std::array<std::uint8_t, N> counterPattern(std::uint8_t start) {
    std::array<std::uint8_t, N> raw{};
    for (std::size_t i = 0; i < N; ++i) {
        raw[i] = static_cast<std::uint8_t>(start + i);
    }
    return raw;
}

std::string fitted(std::string_view text, std::size_t width, char pad) {
    std::string out(text.substr(0, width));
    out.resize(width, pad);
    return out;
}

std::vector<Rec12> chunksOf(std::string_view bytes, Pad pad) {
    std::vector<Rec12> chunks;
    for (std::size_t at = 0; at < bytes.size(); at += 12) {
        chunks.push_back(rec12(bytes.substr(at, 12), pad));
    }
    return chunks;
}

}  // namespace

Rec12 rec12(std::string_view bytes, Pad pad) {
    const std::string s = fitted(bytes, 12, pad == Pad::Nul ? '\0' : ' ');
    Rec12 r{};
    std::copy(s.begin(), s.end(), r.begin());
    return r;
}

ElementBuilder::ElementBuilder(char elementClass, char flag) : m_class(elementClass), m_flag(flag) {}

ElementBuilder ElementBuilder::c() {
    return ElementBuilder('C', '=');
}
ElementBuilder ElementBuilder::t() {
    return ElementBuilder('T', '=');
}
ElementBuilder ElementBuilder::tipo(char elementClass, char flag) {
    return ElementBuilder(elementClass, flag);
}

ElementBuilder& ElementBuilder::codigo(std::string_view raw7) {
    if (raw7.size() != 7) {
        throw std::invalid_argument("codigo takes exactly 7 raw bytes");
    }
    m_code = std::string(raw7);
    return *this;
}

ElementBuilder& ElementBuilder::codigoNul(std::string_view text) {
    m_code = fitted(text, 7, '\0');
    return *this;
}

ElementBuilder& ElementBuilder::codigoSpaces(std::string_view text) {
    m_code = fitted(text, 7, ' ');
    return *this;
}

ElementBuilder& ElementBuilder::seed(std::uint8_t seed) {
    m_seed = seed;
    return *this;
}

ElementBuilder& ElementBuilder::block(const std::array<std::uint8_t, 36>& raw) {
    m_block = raw;
    return *this;
}

ElementBuilder& ElementBuilder::firstRecord(const Rec12& raw) {
    m_first = raw;
    return *this;
}

ElementBuilder& ElementBuilder::texto(std::string_view bytes, Pad pad) {
    m_chunks = chunksOf(bytes, pad);
    return *this;
}

ElementBuilder& ElementBuilder::unicodeText(const QString& text, Pad pad) {
    const QByteArray bytes = drawing::codepage::encode(text);
    return texto(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), pad);
}

ElementBuilder& ElementBuilder::textAsSystem(std::string_view bytes) {
    const std::size_t full = bytes.size() / 12;
    m_chunks = chunksOf(bytes.substr(0, full * 12), Pad::Nul);
    m_chunks.push_back(rec12(bytes.substr(full * 12), Pad::Nul));
    return *this;
}

ElementBuilder& ElementBuilder::chunks(const std::vector<Rec12>& raw) {
    m_chunks = raw;
    return *this;
}

ElementBuilder& ElementBuilder::records(int n) {
    m_records.clear();
    for (int i = 0; i < n; ++i) {
        m_records.push_back(defaultRecord(i));
    }
    return *this;
}

ElementBuilder& ElementBuilder::records(const std::vector<Rec12>& raw) {
    m_records = raw;
    return *this;
}

ElementBuilder& ElementBuilder::link(std::int16_t entitynum, std::int32_t mslink) {
    LinkParts parts;
    parts.entitynum = entitynum;
    parts.mslink = mslink;
    return link(parts);
}

ElementBuilder& ElementBuilder::link(const LinkParts& link) {
    m_links.push_back(link);
    return *this;
}

ElementBuilder& ElementBuilder::numEnlaces(std::uint8_t n) {
    m_numEnlaces = n;
    return *this;
}

ElementBuilder& ElementBuilder::numRegistros(std::int16_t n) {
    m_numRegistros = n;
    return *this;
}

std::array<std::uint8_t, 36> ElementBuilder::blockDefault() const {
    return counterPattern<36>(m_seed);
}
Rec12 ElementBuilder::defaultFirstRecord() const {
    return counterPattern<12>(static_cast<std::uint8_t>(m_seed + 0x40));
}
Rec12 ElementBuilder::defaultRecord(int index) const {
    return counterPattern<12>(static_cast<std::uint8_t>(m_seed + 0x60 + 12 * index));
}

Bytes ElementBuilder::bytes() const {
    // A T element's body is its opaque first record and its chunks; a C element's is its records.
    // Any other class gets the C layout: it only matters that the counts describe what is there.
    std::vector<Rec12> body;
    if (m_class == 'T') {
        body.push_back(m_first.value_or(defaultFirstRecord()));
        body.insert(body.end(), m_chunks.begin(), m_chunks.end());
    } else {
        body = m_records;
    }
    Bytes out;
    out.reserve(48 + 12 * (body.size() + m_links.size()));
    out.push_back(static_cast<std::uint8_t>(m_class));
    out.push_back(static_cast<std::uint8_t>(m_flag));
    for (char ch : m_code) {
        out.push_back(static_cast<std::uint8_t>(ch));
    }
    out.push_back(m_numEnlaces.value_or(static_cast<std::uint8_t>(m_links.size())));
    putI16(out, m_numRegistros.value_or(static_cast<std::int16_t>(body.size())));
    putRaw(out, m_block.value_or(blockDefault()));
    for (const Rec12& r : body) {
        putRaw(out, r);
    }
    for (const LinkParts& link : m_links) {
        putI16(out, link.entitynum);
        putI32(out, link.mslink);
        putRaw(out, link.reservado);
    }
    return out;
}

Bytes concat(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

Bytes concat(const std::vector<ElementBuilder>& elements) {
    Bytes out;
    for (const ElementBuilder& e : elements) {
        const Bytes b = e.bytes();
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

void writeFile(const QString& path, const Bytes& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        throw std::runtime_error("cannot create test file " + path.toStdString());
    }
    const auto n = static_cast<qint64>(bytes.size());
    if (file.write(reinterpret_cast<const char*>(bytes.data()), n) != n) {
        throw std::runtime_error("cannot write test file " + path.toStdString());
    }
}

Bytes readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("cannot open test file " + path.toStdString());
    }
    const QByteArray all = file.readAll();
    return Bytes(all.begin(), all.end());
}

std::vector<Rec12> ParsedElement::chunks() const {
    if (body.size() <= 1) {
        return {};
    }
    return std::vector<Rec12>(body.begin() + 1, body.end());
}

std::string ParsedElement::rawChunks() const {
    std::string out;
    for (const Rec12& r : chunks()) {
        out.append(r.begin(), r.end());
    }
    return out;
}

std::string ParsedElement::texto() const {
    const std::string raw = rawChunks();
    return raw.substr(0, raw.find('\0'));
}

std::vector<ParsedElement> parseElements(const Bytes& file) {
    std::vector<ParsedElement> out;
    std::size_t at = 0;
    while (at < file.size()) {
        if (file.size() - at < 48) {
            ADD_FAILURE() << "file image ends inside an element header at offset " << at;
            break;
        }
        ParsedElement e;
        e.offset = at;
        e.tipo.assign(file.begin() + static_cast<std::ptrdiff_t>(at),
                      file.begin() + static_cast<std::ptrdiff_t>(at + 2));
        e.codigo.assign(file.begin() + static_cast<std::ptrdiff_t>(at + 2),
                        file.begin() + static_cast<std::ptrdiff_t>(at + 9));
        e.numEnlaces = file[at + 9];
        e.numRegistros = getI16(file, at + 10);
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(at + 12), 36, e.block.begin());
        if (e.numRegistros < 0) {
            ADD_FAILURE() << "negative numRegistros at offset " << at;
            break;
        }
        e.size = 48 + 12 * (static_cast<std::size_t>(e.numRegistros) + e.numEnlaces);
        if (file.size() - at < e.size) {
            ADD_FAILURE() << "element at offset " << at << " runs past the end of the file image";
            break;
        }
        std::size_t p = at + 48;
        for (int i = 0; i < e.numRegistros; ++i, p += 12) {
            Rec12 r{};
            std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(p), 12, r.begin());
            e.body.push_back(r);
        }
        for (int i = 0; i < e.numEnlaces; ++i, p += 12) {
            LinkParts link;
            link.entitynum = getI16(file, p);
            link.mslink = getI32(file, p + 2);
            std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(p + 6), 6, link.reservado.begin());
            e.links.push_back(link);
        }
        at += e.size;
        out.push_back(std::move(e));
    }
    return out;
}

std::vector<ParsedElement> parseFile(const QString& path) {
    return parseElements(readFile(path));
}

}  // namespace vexilo::testing
