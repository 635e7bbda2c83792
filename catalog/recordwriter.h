#pragma once
// Finding, claiming, adding and renumbering the attribute records that the assignment pass ties to
// text elements. All three work through the job's in-memory index of the table (attributeindex.h),
// loaded on first use, and write each change to the index's database at once (inside the job's
// transaction).

#include <QString>
#include <cstdint>

#include "catalog/attributeindex.h"

namespace vexilo::catalog {

// Whether every column type gives the code back exactly as written once it is stored: a plain decimal
// number within 32 bits, without a plus sign, leading zeros or blanks ("-" is allowed, "-0" is not).
// Text, integer and real columns all read such a code back in this form; any other code is stored in
// the column's own way and has to be read back.
bool readsBackAsWritten(QStringView codigo);

// Normalises codigoKora and texto (limpia_texto). Gives back the mslink of the first record, in
// the table's natural order, that holds the text and whose Tfeature is Null or is the code (sameCode:
// the same text, or the same whole number, so a numeric column's 301 is the code "000301"); a record
// with a Null Tfeature is claimed first (Tfeature = the code). 0 when none qualifies. A claim that reads
// back as another code is kept and the search goes on. When `claimed` is given, it is set to true if
// any record was claimed. Engine failures are EngineError.
std::int32_t busca_en_su_tabla(AttributeIndexes& records, QString& codigoKora, const QString& NombreTabla,
                               QString& texto, bool* claimed = nullptr);

// Normalises codigo (limpia_texto) and adds a record: mslink N, tmapa = texto, Tfeature = the code as a
// number. N is RegistroGrafico when it is not 0 (the pass gives it only when MantenerAsignaciones is on);
// otherwise one more than the highest number below 60000 (1 when there is none). Gives back N.
// Throws core::Stop naming the table when that rule would give 60000 (no number left below it), a
// core::RunError when the code is not a 32-bit whole number, and an EngineError naming the table and
// the text when the engine refuses the record (a text longer than tmapa accepts).
std::int32_t AnadeNuevoRegistro(AttributeIndexes& records, QString& codigo, const QString& NombreTabla,
                                const QString& texto, std::int32_t RegistroGrafico);

// The first record (natural order) numbered registro is renumbered registro_grafico_igual_tabla, and
// registro takes that number. Throws core::Stop naming the table and the number when no record
// carries registro any longer.
void ModificaRegistro(AttributeIndexes& records, const QString& NombreTabla, std::int32_t& registro,
                      std::int32_t registro_grafico_igual_tabla);

}  // namespace vexilo::catalog
