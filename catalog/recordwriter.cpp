#include "catalog/recordwriter.h"

#include <QStringList>
#include <limits>

#include "catalog/attributeindex.h"
#include "catalog/conversion.h"
#include "core/errors.h"
#include "core/normalisation.h"
#include "engines/errors.h"

namespace vexilo::catalog {

namespace {

using core::EngineError;

// Runs a write and, when the engine refuses it, says which table (and which text) it was about. The
// detail is only made for a refusal: a job writes hundreds of thousands of rows.
template <typename Detail, typename Write>
auto write(const QString& table, Detail&& detailOf, Write&& w) {
    try {
        return w();
    } catch (const engines::DeferredWriteError&) {
        throw;  // an earlier write's failure, which names its own table
    } catch (const EngineError& e) {
        // The engine's own message usually names the table already ("… (tabla 'RIOS')"): only what it
        // lacks is added.
        QStringList parts;
        if (!e.description().contains(QLatin1Char('\'') + table + QLatin1Char('\''), Qt::CaseInsensitive)) {
            parts << QStringLiteral("tabla %1").arg(table);
        }
        if (const QString detail = detailOf(); !detail.isEmpty()) {
            parts << detail;
        }
        if (parts.isEmpty()) {
            throw;
        }
        throw EngineError(e.number(), e.description() + QStringLiteral(" (") +
                                          parts.join(QStringLiteral(", ")) + QLatin1Char(')'));
    }
}

// What the Tfeature of the record `id` (numbered `mslink`) reads as after `codigo` was written into it.
QString readBack(AttributeIndexes& idx, const QString& table, const QString& codigo, engines::RowId id,
                 std::int32_t mslink) {
    if (readsBackAsWritten(codigo)) {
        return codigo;
    }
    if (auto known = idx.knownReadBack(table, codigo)) {
        return *known;
    }
    auto rs = idx.db().OpenRecordset(engines::Query::mslinkEquals(table, mslink), engines::dbOpenSnapshot);
    std::optional<QString> stored;
    if (rs->RecordCount() > 0) {
        rs->MoveFirst();
        while (!rs->Eof() && !stored) {
            if (rs->CurrentRowId() == id) {
                stored = rs->Value(QStringLiteral("Tfeature")).toString();
            }
            rs->MoveNext();
        }
    }
    rs->Close();
    if (!stored) {
        throw core::RunError(
            core::errnum::kFileAccess,
            QStringLiteral("No se pudo releer el registro %1 de la tabla %2").arg(mslink).arg(table));
    }
    idx.rememberReadBack(table, codigo, *stored);
    return *stored;
}

std::int32_t codeAsNumber(const QString& codigo) {
    const std::optional<std::int64_t> n = parseWhole(codigo, std::numeric_limits<std::int32_t>::min(),
                                                     std::numeric_limits<std::int32_t>::max());
    if (!n) {
        throw core::RunError(core::errnum::kConversion,
                             QStringLiteral("El código \"%1\" no es un número entero").arg(codigo));
    }
    return static_cast<std::int32_t>(*n);
}

std::int32_t nextNumber(AttributeIndex& idx, const QString& NombreTabla, const QString& texto) {
    const std::optional<std::int64_t> highest = idx.highestBelowLimit();
    const std::int64_t n = highest ? *highest + 1 : 1;
    if (n >= kNumberingLimit) {
        // Numbers from 60000 up are never counted by the rule, so handing one out would repeat it for
        // every later record: stop rather than create duplicates.
        throw core::Stop(QStringLiteral("La tabla %1 no tiene números de registro libres por debajo de "
                                        "60000: no se puede añadir el texto \"%2\".")
                             .arg(NombreTabla, texto));
    }
    if (n < std::numeric_limits<std::int32_t>::min()) {
        throw core::RunError(
            core::errnum::kConversion,
            QStringLiteral("Número de registro fuera de rango en la tabla %1").arg(NombreTabla));
    }
    return static_cast<std::int32_t>(n);
}

}  // namespace

// Checked without a pattern: a claim asks it every time, and a pattern match cost more than the claim's
// own bookkeeping. The number itself is read as every whole number is (parseWhole); what it also
// accepts is ruled out first: a plus sign, and a leading zero anywhere but in "0" itself ("-0" reads
// back as "0").
bool readsBackAsWritten(QStringView codigo) {
    const bool negative = codigo.startsWith(QLatin1Char('-'));
    const QStringView digits = negative ? codigo.mid(1) : codigo;
    if (digits.startsWith(QLatin1Char('+')) ||
        (digits.startsWith(QLatin1Char('0')) && (digits.size() > 1 || negative))) {
        return false;
    }
    return parseWhole(codigo, std::numeric_limits<std::int32_t>::min(),
                      std::numeric_limits<std::int32_t>::max())
        .has_value();
}

std::int32_t busca_en_su_tabla(AttributeIndexes& records, QString& codigoKora, const QString& NombreTabla,
                               QString& texto, bool* claimed) {
    core::limpia_texto(codigoKora);
    core::limpia_texto(texto);
    AttributeIndex& idx = records.table(NombreTabla);
    const QString clave = textKey(texto);
    // Each round either takes a record or claims one that then belongs to another code (its Tfeature
    // reads back as neither the code's text nor its number), so the loop ends when the records holding
    // the text run out.
    while (const std::optional<AttributeIndex::Found> found = idx.first(clave, codigoKora)) {
        if (!found->unclaimed) {
            return found->mslink;
        }
        write(
            NombreTabla, [] { return QString(); },
            [&] {
                records.writes(idx, NombreTabla)
                    .claim->UpdatePlain(found->id, {engines::PlainValue::borrowedText(codigoKora)});
            });
        if (claimed != nullptr) {
            *claimed = true;
        }
        const QString stored = readBack(records, NombreTabla, codigoKora, found->id, found->mslink);
        idx.claimed(clave, found->pos, stored);
        if (sameCode(codeValue(stored), codeValue(codigoKora))) {
            return found->mslink;
        }
    }
    return 0;
}

std::int32_t AnadeNuevoRegistro(AttributeIndexes& records, QString& codigo, const QString& NombreTabla,
                                const QString& texto, std::int32_t RegistroGrafico) {
    core::limpia_texto(codigo);
    AttributeIndex& idx = records.table(NombreTabla);
    const std::int32_t n = RegistroGrafico != 0 ? RegistroGrafico : nextNumber(idx, NombreTabla, texto);
    const std::int32_t code = codeAsNumber(codigo);
    const engines::RowId id = write(
        NombreTabla, [&] { return QStringLiteral("texto \"%1\"").arg(texto); },
        [&] {
            using engines::PlainValue;
            return records.writes(idx, NombreTabla)
                .add->InsertPlain(
                    {PlainValue::whole(n), PlainValue::borrowedText(texto), PlainValue::whole(code)});
        });
    // tcomplet is left Null, so a record with an empty tmapa holds no text.
    std::optional<QString> clave;
    if (!texto.isEmpty()) {
        clave = textKey(texto);
    }
    if (!idx.added(id, n, clave, QString::number(code))) {
        records.reload(NombreTabla);
    }
    return n;
}

void ModificaRegistro(AttributeIndexes& records, const QString& NombreTabla, std::int32_t& registro,
                      std::int32_t registro_grafico_igual_tabla) {
    AttributeIndex& idx = records.table(NombreTabla);
    const std::optional<engines::RowId> id = idx.firstWithMslink(registro);
    if (!id) {
        throw core::Stop(QStringLiteral("No se puede renumerar el registro %1 de la tabla %2: ya no "
                                        "existe ningún registro con ese número.")
                             .arg(registro)
                             .arg(NombreTabla));
    }
    write(
        NombreTabla, [&] { return QStringLiteral("registro %1").arg(registro); },
        [&] {
            records.writes(idx, NombreTabla)
                .renumber->UpdatePlain(*id, {engines::PlainValue::whole(registro_grafico_igual_tabla)});
        });
    idx.renumbered(registro, registro_grafico_igual_tabla);
    registro = registro_grafico_igual_tabla;
}

}  // namespace vexilo::catalog
