#include "catalog/textreader.h"

#include <limits>

#include "drawing/normalisation.h"

namespace vexilo::catalog {

namespace {

const QString kMslink = QStringLiteral("mslink");
const QString kTmapa = QStringLiteral("tmapa");
const QString kTcomplet = QStringLiteral("tcomplet");

// The record number a stored mslink value answers to, if a query "mslink=N" with a 32-bit N can match it.
bool numeroDeRegistro(const QVariant& v, std::int32_t& numero) {
    if (v.isNull()) {
        return false;
    }
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    if (!ok || n < std::numeric_limits<std::int32_t>::min() || n > std::numeric_limits<std::int32_t>::max()) {
        return false;
    }
    numero = static_cast<std::int32_t>(n);
    return true;
}

// The engine reads an absent column as Null; a table without the three columns must not pass for one
// whose records hold no text, so the columns are checked as a query by name would.
void exigeColumnas(platform::Database& bd, const QString& NombreTabla) {
    const std::vector<QString> campos = bd.FieldNames(NombreTabla);
    for (const QString& buscado : {kMslink, kTmapa, kTcomplet}) {
        bool hay = false;
        for (const QString& campo : campos) {
            hay = hay || campo.compare(buscado, Qt::CaseInsensitive) == 0;
        }
        if (!hay) {
            throw platform::EngineError(
                3265, QStringLiteral("No existe el campo %1 en la tabla %2.").arg(buscado, NombreTabla));
        }
    }
}

}  // namespace

const TextosBdD::Tabla& TextosBdD::tabla(platform::Database& bd, const QString& NombreTabla) {
    if (m_ultima != nullptr && NombreTabla == m_ultimoNombre) {
        return *m_ultima;
    }
    const QString clave = NombreTabla.toUpper();  // the engine matches table names without regard to case
    auto it = m_tablas.find(clave);
    if (it == m_tablas.end()) {
        it = m_tablas.emplace(clave, lee(bd, NombreTabla)).first;
    }
    m_ultimoNombre = NombreTabla;
    m_ultima = &it->second;
    return it->second;
}

TextosBdD::Tabla TextosBdD::lee(platform::Database& bd, const QString& NombreTabla) {
    exigeColumnas(bd, NombreTabla);
    Tabla textos;
    for (const platform::Database::Row& fila : bd.ReadRows(NombreTabla, {kMslink, kTmapa, kTcomplet})) {
        std::int32_t numero = 0;
        if (!numeroDeRegistro(fila.values[0], numero) || textos.count(numero) != 0) {
            continue;  // a shared number reads as its first record in stored order
        }
        const QVariant& tmapa = fila.values[1];
        const QVariant& valor = tmapa.isNull() ? fila.values[2] : tmapa;
        Texto t;
        t.nulo = valor.isNull();
        if (!t.nulo) {
            t.texto = drawing::recortaEspacios(valor.toString());
        }
        textos.emplace(numero, std::move(t));
    }
    return textos;
}

ResultadoTexto ObtengoTextoBdD(app::RunState& f, std::int32_t registro, const QString& NombreTabla,
                               QString& TextoEnBdD) {
    if (!f.textosBdD || f.textosBdD->database() != f.Bd.get()) {
        f.textosBdD = std::make_unique<TextosBdD>(f.Bd.get());
    }
    const TextosBdD::Tabla& textos = f.textosBdD->tabla(*f.Bd, NombreTabla);
    auto it = textos.find(registro);
    if (it == textos.end()) {
        return ResultadoTexto::RegistroInexistente;
    }
    if (it->second.nulo) {
        return ResultadoTexto::SinTexto;
    }
    TextoEnBdD = it->second.texto;
    return ResultadoTexto::Encontrado;
}

void olvidaTextosBdD(app::RunState& f) {
    f.textosBdD.reset();
}

}  // namespace vexilo::catalog
