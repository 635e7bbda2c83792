#pragma once
// One element of the drawing file as held in memory: the header fields decoded, everything opaque kept
// as raw bytes so that it is written back untouched. Only one element is held at a time.

#include <array>
#include <cstdint>
#include <vector>

#include "drawing/layout.h"

namespace vexilo::drawing {

using Record12 = std::array<std::uint8_t, layout::kRecordSize>;

// CabeceraElemento
struct CabeceraElemento {
    std::array<char, layout::kTipoSize> tipo{};
    std::array<char, layout::kCodigoSize> codigo{};  // raw single-byte characters
    std::uint8_t numEnlaces = 0;
    std::int16_t numRegistros = 0;

    bool carried() const { return tipo[1] == layout::kCarried; }
    char elementClass() const { return tipo[0]; }
};

// EnlaceAtributo
struct EnlaceAtributo {
    std::int16_t entitynum = 0;
    std::int32_t mslink = 0;
    std::array<std::uint8_t, layout::kReservadoSize> reservado{};  // opaque; six spaces when we create it
};

// A carried element. For a C element `body` holds all numRegistros body records and `chunks` is empty;
// for a T element `body` holds the first (opaque) body record and `chunks` the text chunks.
struct Element {
    CabeceraElemento header;
    std::array<std::uint8_t, layout::kBlockSize> block{};
    std::vector<Record12> body;
    std::vector<Record12> chunks;
    std::vector<EnlaceAtributo> links;
    std::int64_t offset = 0;  // offset of the element's first byte in the input file
};

}  // namespace vexilo::drawing
