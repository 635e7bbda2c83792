#pragma once
// The run log CONTROLPROCESO: which attribute record received which text from which drawing file,
// and when. Rows are only ever added.

#include <QString>
#include <cstdint>

#include "core/runstate.h"

namespace vexilo::schema {

// Creates CONTROLPROCESO with its seven fields in order (NombreTabla text 255, mslink 32-bit,
// RegistroATR 32-bit, NombreFichero text 255, TMapa text 100, Fecha date, Hora date) and refreshes
// NumeroTablas. An engine error propagates.
void creaTablaControlProceso(core::RunState& f);

// Adds a row unless one with the same table, mslink and file is there already (table and file compared
// without regard to case, mslink numerically; a stored Null never matches). The first row keeps its
// text, RegistroATR, date and time. Fecha holds today's date at midnight, Hora the time of day on
// 30 December 1899 (the engine stores both as 'YYYY-MM-DD HH:MM:SS' text), from the services' clock. The
// duplicate test runs against a key set read once per job (one of the job's caches). An engine error (a value
// too long for its field) propagates and adds no row.
void AnadeAControlProceso(core::RunState& f, const QString& NombreTabla, std::int32_t registro,
                          const QString& fich_entrada, const QString& texto_en_mapa,
                          std::int32_t registro_grafico_igual_tabla);

}  // namespace vexilo::schema
