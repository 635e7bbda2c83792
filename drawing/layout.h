#pragma once
// Byte layout of the drawing file (.bin). The file is a flat run of elements with no file header,
// index or trailer; little-endian, two's complement, records packed, every record a multiple of 12 bytes.
//
// Element = header (12) + block (36) + numRegistros body records (12 each) + numEnlaces links (12 each).
// Header is tipo (2 chars), codigo (7 chars), numEnlaces (u8), numRegistros (i16).
// Link is entitynum (i16), mslink (i32), reservado (6 opaque bytes; six spaces in links we create).
// In a T element the first body record is opaque and the others are 12-character text chunks.

#include <cstddef>

namespace vexilo::drawing::layout {

constexpr std::size_t kRecordSize = 12;

// CabeceraElemento
constexpr std::size_t kHeaderSize = 12;
constexpr std::size_t kTipoOffset = 0;
constexpr std::size_t kTipoSize = 2;
constexpr std::size_t kCodigoOffset = 2;
constexpr std::size_t kCodigoSize = 7;
constexpr std::size_t kNumEnlacesOffset = 9;
constexpr std::size_t kNumRegistrosOffset = 10;

// BloqueElemento: opaque, copied unchanged.
constexpr std::size_t kBlockSize = 36;

// RegistroElemento / TrozoTexto
constexpr std::size_t kChunkSize = 12;

// EnlaceAtributo
constexpr std::size_t kLinkSize = 12;
constexpr std::size_t kEntitynumOffset = 0;
constexpr std::size_t kMslinkOffset = 2;
constexpr std::size_t kReservadoOffset = 6;
constexpr std::size_t kReservadoSize = 6;

constexpr std::size_t kFixedPartSize = kHeaderSize + kBlockSize;  // 48
constexpr int kMaxLinks = 255;                                    // numEnlaces is 8 bits wide

// tipo characters
constexpr char kClassC = 'C';
constexpr char kClassT = 'T';
constexpr char kCarried = '=';

static_assert(kHeaderSize == kTipoSize + kCodigoSize + 1 + 2, "header fields fill 12 bytes");
static_assert(kLinkSize == 2 + 4 + kReservadoSize, "link fields fill 12 bytes");
static_assert(kBlockSize % kRecordSize == 0 && kHeaderSize == kRecordSize, "records are multiples of 12");
static_assert(kFixedPartSize == 48, "an element without body records or links is 48 bytes");

}  // namespace vexilo::drawing::layout
