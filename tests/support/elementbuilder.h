#pragma once
// Builds drawing-file elements byte by byte from their parts, for tests, and reads output files back
// into their parts with a small decoder of its own (deliberately not the production reader, so a fault
// there cannot hide itself).
//
//   Bytes file = concat({ElementBuilder::t().codigoNul("123").texto("HOLA").enlace(5, 17).bytes(),
//                        ElementBuilder::c().registros(3).bytes()});
//
// Everything opaque (block, first body record, C body records) is filled by default with a counter
// pattern that starts at the element's seed, so a test sees that it was copied and not made up.
// Texts are raw bytes (Windows-1252); unicodeText encodes a QString through the code page.

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexilo::testing {

using Bytes = std::vector<std::uint8_t>;
using Rec12 = std::array<std::uint8_t, 12>;

// How the last chunk of a text is filled up to 12 bytes.
enum class Pad { Nul, Space };

struct LinkParts {
    std::int16_t entitynum = 0;
    std::int32_t mslink = 0;
    std::array<std::uint8_t, 6> reservado{' ', ' ', ' ', ' ', ' ', ' '};
};

class ElementBuilder {
  public:
    // A carried C or T element ("C=" / "T="); `tipo` builds any pair of class and flag characters.
    static ElementBuilder c();
    static ElementBuilder t();
    static ElementBuilder tipo(char elementClass, char flag);

    // The 7-byte code field. codigo() takes exactly 7 raw bytes (spaces, NULs, anything); the others
    // cut or pad the text on the right. The default is "1" followed by six NULs.
    ElementBuilder& codigo(std::string_view raw7);
    ElementBuilder& codigoNul(std::string_view text);
    ElementBuilder& codigoSpaces(std::string_view text);

    // Seed of the counter pattern for the opaque parts (default 1). Give neighbours different seeds.
    ElementBuilder& seed(std::uint8_t seed);
    ElementBuilder& block(const std::array<std::uint8_t, 36>& raw);
    ElementBuilder& firstRecord(const Rec12& raw);

    // T text: cut into 12-byte chunks, the last one padded (none for an empty text); `textAsSystem`
    // chunks the way the system writes texts: floor(L/12)+1 chunks, NUL-padded, the last possibly all
    // NUL. `chunks` gives the chunks raw. Each replaces the chunks set before.
    ElementBuilder& texto(std::string_view bytes, Pad pad = Pad::Nul);
    ElementBuilder& unicodeText(const QString& text, Pad pad = Pad::Nul);
    ElementBuilder& textAsSystem(std::string_view bytes);
    ElementBuilder& chunks(const std::vector<Rec12>& raw);

    // C body records: n counter-pattern records, or the records as given.
    ElementBuilder& records(int n);
    ElementBuilder& records(const std::vector<Rec12>& raw);

    ElementBuilder& link(std::int16_t entitynum, std::int32_t mslink);
    ElementBuilder& link(const LinkParts& link);

    // Header counts written instead of the true ones, for corrupt or misleading elements.
    ElementBuilder& numEnlaces(std::uint8_t n);
    ElementBuilder& numRegistros(std::int16_t n);

    // The element's bytes: header, block, body records (for T: first record then chunks), links.
    Bytes bytes() const;
    std::size_t size() const { return bytes().size(); }

    // The counter patterns the builder uses by default, for assertions.
    std::array<std::uint8_t, 36> blockDefault() const;
    Rec12 defaultFirstRecord() const;
    Rec12 defaultRecord(int index) const;

  private:
    ElementBuilder(char elementClass, char flag);

    char m_class;
    char m_flag;
    std::string m_code{'1', '\0', '\0', '\0', '\0', '\0', '\0'};
    std::uint8_t m_seed = 1;
    std::optional<std::array<std::uint8_t, 36>> m_block;
    std::optional<Rec12> m_first;
    std::vector<Rec12> m_chunks;
    std::vector<Rec12> m_records;
    std::vector<LinkParts> m_links;
    std::optional<std::uint8_t> m_numEnlaces;
    std::optional<std::int16_t> m_numRegistros;
};

// A 12-byte record from text: cut to 12 or padded.
Rec12 rec12(std::string_view bytes, Pad pad = Pad::Nul);

// Joins elements into one file image.
Bytes concat(const std::vector<Bytes>& parts);
Bytes concat(const std::vector<ElementBuilder>& elements);

void writeFile(const QString& path, const Bytes& bytes);
Bytes readFile(const QString& path);

// One element as decoded from a file image by the test decoder.
struct ParsedElement {
    std::size_t offset = 0;  // of its first byte
    std::size_t size = 0;
    std::string tipo;    // 2 raw bytes
    std::string codigo;  // 7 raw bytes
    std::uint8_t numEnlaces = 0;
    std::int16_t numRegistros = 0;
    std::array<std::uint8_t, 36> block{};
    std::vector<Rec12> body;  // all numRegistros body records (for T: first record, then chunks)
    std::vector<LinkParts> links;

    // T chunks (body records after the first) and their joined raw bytes; the text cut at the first NUL.
    std::vector<Rec12> chunks() const;
    std::string rawChunks() const;
    std::string texto() const;
};

// Decodes a whole file image. A malformed image (an element running past the end, a negative count, a
// trailing remnant other than one byte) is reported as a test failure and decoding stops there.
std::vector<ParsedElement> parseElements(const Bytes& file);
std::vector<ParsedElement> parseFile(const QString& path);

}  // namespace vexilo::testing
