#pragma once
// The stream in which vexilo-leeaccess hands an Access file's tables to the importer, over a pipe.
// The reader (libmdb) runs in that separate process so that a damaged file that makes it loop or
// grow cannot take the program with it; the importer treats every byte of the stream as untrusted.
// This header is the one statement of the layout, included by the writer and the reader. It uses no
// Qt: the helper links only libmdb.
//
// The stream is a run of frames. A frame is kind (1 byte), payload length (4 bytes), payload. All
// integers are little-endian; a string is its length (4 bytes) and that many UTF-8 bytes.
//   'C' catalog:   count (4), then count strings: the user tables the file's catalog lists, in order.
//   'T' table:     name (string), declared rows (8, signed), column count (2), then per column:
//                  name (string), kind (1, TipoColumna), size in characters (4; texts only, else 0).
//   'F' row:       one value per column of the current table: tag (1, Valor) and its bytes.
//   'E' table end: no payload. Every table of the catalog comes as 'T', its rows, 'E', in order.
//   'D' damaged:   string: what is damaged in the file. Ends the stream.
//   'X' error:     string: a failure that is not damage (a memo too long to import). Ends the stream.
//   'Z' end:       no payload: every table was read whole. Ends the stream.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vexilo::importacion::flujo {

constexpr std::size_t kCabeceraTrama = 5;                // kind (1) + payload length (4)
constexpr std::uint32_t kMaxCarga = 64u << 20;           // the largest payload a reader accepts
constexpr std::uint32_t kMaxNombre = 256;                // bytes of a table or column name
constexpr std::uint32_t kMaxMensaje = 4096;              // bytes of a 'D' or 'X' message
constexpr std::uint16_t kMaxColumnas = 255;              // Access allows 255 columns per table
constexpr std::int64_t kMaxFilasDeclaradas = 1LL << 40;  // beyond any Access file (2 GB)

enum Trama : std::uint8_t {
    kCatalogo = 'C',
    kTabla = 'T',
    kFila = 'F',
    kFinTabla = 'E',
    kDanado = 'D',
    kError = 'X',
    kFin = 'Z',
};

// A column's kind, as Access declares it.
enum class TipoColumna : std::uint8_t {
    Byte = 1,
    Entero = 2,  // 16-bit
    EnteroLargo = 3,
    Moneda = 4,
    Simple = 5,
    Doble = 6,
    Fecha = 7,
    Logico = 8,
    Texto = 9,
    Memo = 10,
    Numerico = 11,
    Guid = 12,
    Ole = 13,
    Binario = 14,
};
constexpr std::uint8_t kMaxTipoColumna = 14;

// The tag of one value in a row, and the bytes that follow it.
enum class Valor : std::uint8_t {
    Nulo = 0,    // nothing
    Entero = 1,  // 8 bytes, signed
    Real = 2,    // 8 bytes, IEEE double
    Fecha = 3,   // 8 bytes, IEEE double: days since 30 December 1899, the fraction the time of day
    Texto = 4,   // string
    Bytes = 5,   // string (any bytes)
};

// Builds frames and hands each finished one to `envia`.
class Escritor {
  public:
    explicit Escritor(std::function<void(std::string_view)> envia) : m_envia(std::move(envia)) {}

    void empieza(Trama tipo) {
        m_trama.assign(1, static_cast<char>(tipo));
        m_trama.append(4, '\0');
    }
    void u8(std::uint8_t v) { m_trama.push_back(static_cast<char>(v)); }
    void u16(std::uint16_t v) { entero(v, 2); }
    void u32(std::uint32_t v) { entero(v, 4); }
    void i64(std::int64_t v) { entero(static_cast<std::uint64_t>(v), 8); }
    void cadena(std::string_view s) {
        u32(static_cast<std::uint32_t>(s.size()));
        m_trama.append(s);
    }
    // Fills in the payload length and sends the frame.
    void termina() {
        const auto n = static_cast<std::uint32_t>(m_trama.size() - kCabeceraTrama);
        for (int i = 0; i < 4; ++i) {
            m_trama[static_cast<std::size_t>(1 + i)] = static_cast<char>((n >> (8 * i)) & 0xff);
        }
        m_envia(m_trama);
    }
    // A frame with one string, or none.
    void trama(Trama tipo, std::string_view texto) {
        empieza(tipo);
        cadena(texto);
        termina();
    }
    void trama(Trama tipo) {
        empieza(tipo);
        termina();
    }
    std::size_t tamano() const { return m_trama.size(); }

  private:
    void entero(std::uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            m_trama.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
        }
    }
    std::function<void(std::string_view)> m_envia;
    std::string m_trama;
};

}  // namespace vexilo::importacion::flujo
