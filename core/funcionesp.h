#pragma once
// FuncionesP: fitting a text of any length into the drawing file's 12-character text chunks. The fill
// character is NUL (code 0), never the blank; a blank is the space character (code 32) only.

#include <QString>
#include <cstdint>
#include <vector>

namespace vexilo::core {

constexpr qsizetype kChunkLength = 12;

// Removes the trailing blanks of `texto`; a result shorter than 12 characters is then filled up to 12
// with NUL characters. A result of 12 or more characters is returned as it is, never cut.
void completa_trozo(QString& texto);

// Cuts `texto` into consecutive 12-character pieces. trozos[0] exists and stays empty; the pieces are
// trozos[1..numtrozos], numtrozos = length / 12 + 1. The full pieces are kept exactly, blanks included;
// the last piece holds the remaining 0 to 11 characters after completa_trozo (12 NULs when the length
// is a multiple of 12, including the empty text).
void parte_en_trozos(const QString& texto, std::vector<QString>& trozos, std::int32_t& numtrozos);

}  // namespace vexilo::core
