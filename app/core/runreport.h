#pragma once
// Elements a run passes over, counted by reason, for the message after "Proceso Finalizado." and for
// the command line. A run without any shows nothing new.

#include <QString>
#include <cstdint>

namespace vexilo::app {

struct RunReport {
    std::int64_t codigoNoNumerico = 0;       // text element whose code is empty or not a 32-bit whole number
    std::int64_t enlacesLlenos = 0;          // element already holding 255 links: no link appended
    std::int64_t entitynumFueraDeRango = 0;  // entity number outside 16 bits: no link appended
    std::int64_t registroInexistente = 0;    // rewrite: link to a record that no longer exists
    std::int64_t registroSinTexto = 0;       // rewrite: record whose tmapa and tcomplet are both Null

    bool empty() const {
        return codigoNoNumerico == 0 && enlacesLlenos == 0 && entitynumFueraDeRango == 0 &&
               registroInexistente == 0 && registroSinTexto == 0;
    }
    // Short Spanish summary, one line per non-zero count; empty text when there is nothing to report.
    QString texto() const;
};

}  // namespace vexilo::app
