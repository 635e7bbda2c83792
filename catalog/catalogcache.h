#pragma once
// In-memory copies of MsCatalog and Feature, loaded once per run by the schema check, and the three
// lookups the passes make per text element. The arrays in the run state keep the load order from
// entry 1; the lookups answer through indexes built at load time (catalog/catalogindex.h) with the
// same result as a scan from entry 1.

#include <QString>
#include <cstdint>

#include "core/runstate.h"

namespace vexilo::catalog {

// Loads MsCatalog into TablasMsCatalog / NumTablasMsCatalog and shows "Tables en MsCatalog : " and the
// count. A row whose tablename is Null or whose entitynum is not a 32-bit whole number stops the job
// (platform::Stop naming the table, the row and the field) with nothing loaded.
void cargaMsCatalog(core::RunState& f);

// Loads Feature into ElementosFeature / NumElementosFeature, every no_asignar flag false, and shows
// "Elementos en Table Feature : " and the count. A Null tablename, or an mslink / ftype that is not a
// whole number within 32 / 16 bits, stops the job with nothing loaded.
void cargaFeature(core::RunState& f);

// Cleans codigo in place (limpia_texto). While NombreTabla is "", gives it the table of the first
// Feature entry, in load order, that is neither a centroid (ftype 4) nor excluded and whose mslink
// equals the code read as a decimal number. Returns why NombreTabla stays "" (None when it is given one
// or was not empty): NonNumericCode for a code that is not a whole decimal number within 32 bits (only
// when some entry is a candidate, since the code is read only then), Centroid or Excluded when the
// code's feature is passed over for that, NoFeature otherwise.
core::PassedOver busca_Feature(core::RunState& f, QString& codigo, QString& NombreTabla);

// While entitynum is 0, gives it the entity number of the MsCatalog entry whose name equals NombreTabla
// exactly (case-sensitive, nothing trimmed on the caller's side).
void busca_entitynum(core::RunState& f, const QString& NombreTabla, std::int32_t& entitynum);

// While NombreTabla is "", gives it the name of the first MsCatalog entry with this entity number.
void busca_NombreTabla(core::RunState& f, std::int32_t entitynum, QString& NombreTabla);

}  // namespace vexilo::catalog
