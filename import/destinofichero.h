#pragma once
// The rules for a SQLite file that an import writes, whatever its source: what must hold before
// anything is read, and how the finished file takes the destination's name. The new database is
// written beside the destination under a temporary name and only renamed at the end, so a failed
// import never leaves a half-written file nor loses the file it was to replace.

#include <QString>
#include <functional>

namespace vexilo::importacion {

// The temporary name the new database is written under.
QString rutaTemporal(const QString& destino);

// `origen` is the source file (empty for a source that is no file).
// Throws ErrorImportacion for a destination that is the source file itself (by any name or link, even
// with `forzar`; `origenEs` says what the source is, for the message: "la base de datos Access"), a
// destination whose folder does not exist, and an existing destination without `forzar`.
void compruebaDestinoFichero(const QString& origen, const QString& destino, bool forzar,
                             const QString& origenEs);

// Runs `escribe` on the temporary file, then gives it the destination's name, replacing an existing
// file. Whatever fails (`escribe` included), the temporary file is removed and the destination stays
// as it was.
void escribeYPublica(const QString& destino, const std::function<void(const QString& temporal)>& escribe);

// True when both names lead to one file: through symbolic links or as hard links of one file.
bool mismoFichero(const QString& a, const QString& b);

}  // namespace vexilo::importacion
