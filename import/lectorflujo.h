#pragma once
// The importer's side of the stream of flujoaccess.h. What arrives is untrusted (it comes from libmdb
// reading a file that may be damaged, in another process): every frame is checked before it is used,
// and any fault in the stream or any damage it reports ends the import with ErrorImportacion.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>
#include <vector>

#include "import/accessimport.h"
#include "import/flujoaccess.h"

namespace vexilo::importacion {

struct ColumnaFlujo {
    QString nombre;
    flujo::TipoColumna tipo = flujo::TipoColumna::Texto;
    int tamano = 0;  // texts: the declared size in characters, 1 to 255
};

struct TablaFlujo {
    QString nombre;
    std::int64_t filasDeclaradas = 0;
    std::vector<ColumnaFlujo> columnas;
};

// Where the checked tables and rows go. Values are those of the column kinds: whole numbers as
// qint64, reals as double, dates as "yyyy-MM-dd HH:mm:ss" text, texts as QString, bytes as QByteArray,
// Null as an invalid QVariant.
class Receptor {
  public:
    virtual ~Receptor() = default;
    virtual void empiezaTabla(const TablaFlujo& t) = 0;
    virtual void fila(const std::vector<QVariant>& valores) = 0;
    virtual void terminaTabla() = 0;
};

// A receptor that stores what it receives and is then asked how many rows each table holds, so that
// an import is checked before it is published.
class Destino : public Receptor {
  public:
    // The rows that `tabla` holds now, counted by the destination itself.
    virtual std::int64_t filasGuardadas(const QString& tabla) = 0;
    // Makes everything written lasting; ErrorImportacion when it cannot.
    virtual void termina() = 0;
};

// Throws the error of a damaged Access file: "El fichero de Access está dañado: " and `detalle`.
// Every fault found in the file or in its stream goes through here.
[[noreturn]] void ficheroDanado(const QString& detalle);

class LectorFlujo {
  public:
    explicit LectorFlujo(Receptor& receptor) : m_receptor(receptor) {}

    // Takes the next bytes of the stream, in pieces of any size, and hands every whole frame on.
    // Throws ErrorImportacion for a damaged file, a fault in the stream, or an 'X' frame's failure.
    void alimenta(const char* datos, std::size_t n);
    // The stream has ended: throws unless it ended with 'Z' after every table of the catalog.
    void termina() const;
    bool completo() const { return m_estado == Estado::Fin; }

    // The tables read whole so far, in the catalog's order.
    const std::vector<TablaImportada>& tablas() const { return m_tablas; }

  private:
    enum class Estado { Catalogo, Tablas, EnTabla, Fin };
    void trama(std::uint8_t tipo, const char* carga, std::size_t n);
    void catalogo(const char* carga, std::size_t n);
    void tabla(const char* carga, std::size_t n);
    void fila(const char* carga, std::size_t n);
    void finTabla();

    Receptor& m_receptor;
    Estado m_estado = Estado::Catalogo;
    QByteArray m_pendiente;
    QStringList m_catalogo;
    TablaFlujo m_tabla;
    std::int64_t m_filas = 0;
    std::vector<QVariant> m_valores;
    std::vector<TablaImportada> m_tablas;
};

}  // namespace vexilo::importacion
