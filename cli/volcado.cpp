// vexilo-cli volcar: every element of a drawing file, for checking a file by eye or by script.
#include <QFileInfo>
#include <QMap>
#include <vector>

#include "cli/argumentos.h"
#include "cli/consola.h"
#include "cli/ordenes.h"
#include "drawing/binfile.h"
#include "drawing/codepage.h"

namespace vexilo::cli {
namespace {

const QString kUso = QStringLiteral(
    "Uso: vexilo-cli volcar FICHERO [--json]\n"
    "Lista cada elemento del fichero de dibujo (.bin): desplazamiento, clase, si se lleva a la salida o\n"
    "se descarta, código, texto, enlaces (entitynum:mslink) y tamaños; al final, los totales por clase.\n"
    "Un fichero dañado se lista hasta el daño, seguido del desplazamiento y el motivo (estado de salida 1).\n"
    "  --json   la misma información como un documento JSON\n");

// Raw bytes as the file's characters, cut at the first NUL, as the job reads codes and texts.
QString hastaNul(const char* p, std::size_t n) {
    std::size_t fin = 0;
    while (fin < n && p[fin] != '\0') {
        ++fin;
    }
    return drawing::codepage::decode(reinterpret_cast<const std::uint8_t*>(p), fin);
}

QString textoDe(const drawing::Elemento& e) {
    std::vector<char> bytes;
    for (const auto& t : e.trozos) {
        bytes.insert(bytes.end(), t.begin(), t.end());
    }
    return hastaNul(bytes.data(), bytes.size());
}

QString claseDe(char c) {
    if (c >= 0x21 && c < 0x7f) {
        return QString(QChar(c));
    }
    return QStringLiteral("\\x%1").arg(static_cast<unsigned char>(c), 2, 16, QChar('0'));
}

QString json(const QString& s) {
    QString r = QStringLiteral("\"");
    for (QChar c : s) {
        if (c == QChar('"') || c == QChar('\\')) {
            r += QChar('\\');
            r += c;
        } else if (c.unicode() < 0x20) {
            r += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QChar('0'));
        } else {
            r += c;
        }
    }
    return r + QChar('"');
}

struct Fila {
    std::int64_t offset = 0;
    std::int64_t tamano = 0;
    const drawing::Elemento* e = nullptr;
    bool llevado = false;
};

struct Totales {
    QMap<QString, std::int64_t> llevados;  // by class
    QMap<QString, std::int64_t> descartados;
    std::int64_t bytes = 0;
};

class Escritor {
  public:
    virtual ~Escritor() = default;
    virtual void elemento(const Fila& f) = 0;
    virtual void fin(const Totales& t, std::int64_t longitud, const drawing::CorruptFile* dano) = 0;
};

class EscritorTexto : public Escritor {
  public:
    void elemento(const Fila& f) override {
        const auto& h = f.e->cabecera;
        QString linea = QStringLiteral("%1  %2  %3  codigo \"%4\"  registros %5  enlaces %6  %7 bytes")
                            .arg(f.offset, 10)
                            .arg(claseDe(h.tipo[0]))
                            .arg(f.llevado ? QStringLiteral("lleva     ") : QStringLiteral("descartado"))
                            .arg(hastaNul(h.codigo.data(), h.codigo.size()))
                            .arg(h.numRegistros)
                            .arg(h.numEnlaces)
                            .arg(f.tamano);
        if (f.llevado && h.elementClass() == drawing::layout::kClassT) {
            linea += QStringLiteral("  texto \"%1\"").arg(textoDe(*f.e));
        }
        if (f.llevado && !f.e->enlaces.empty()) {
            QStringList enlaces;
            for (const auto& l : f.e->enlaces) {
                enlaces << QStringLiteral("%1:%2").arg(l.entitynum).arg(l.mslink);
            }
            linea += QStringLiteral("  atr ") + enlaces.join(QChar(' '));
        }
        salida() << linea << '\n';
    }
    void fin(const Totales& t, std::int64_t longitud, const drawing::CorruptFile* dano) override {
        salida() << "Totales:\n";
        for (auto it = t.llevados.begin(); it != t.llevados.end(); ++it) {
            salida() << "  " << it.key() << " llevados : " << it.value() << '\n';
        }
        for (auto it = t.descartados.begin(); it != t.descartados.end(); ++it) {
            salida() << "  " << it.key() << " descartados : " << it.value() << '\n';
        }
        salida() << "  bytes leídos : " << t.bytes << " de " << longitud << '\n';
        salida().flush();
        if (dano) {
            escribeError(QStringLiteral("Fichero Corrupto en el desplazamiento %1: %2")
                             .arg(dano->offset())
                             .arg(dano->reason()));
        }
    }
};

class EscritorJson : public Escritor {
  public:
    EscritorJson() { salida() << "{\"elementos\": ["; }
    void elemento(const Fila& f) override {
        const auto& h = f.e->cabecera;
        salida() << (m_primero ? "\n" : ",\n") << "  {\"desplazamiento\": " << f.offset
                 << ", \"clase\": " << json(claseDe(h.tipo[0]))
                 << ", \"llevado\": " << (f.llevado ? "true" : "false")
                 << ", \"codigo\": " << json(hastaNul(h.codigo.data(), h.codigo.size()))
                 << ", \"numRegistros\": " << h.numRegistros << ", \"numEnlaces\": " << h.numEnlaces
                 << ", \"tamano\": " << f.tamano;
        if (f.llevado && h.elementClass() == drawing::layout::kClassT) {
            salida() << ", \"texto\": " << json(textoDe(*f.e));
        }
        if (f.llevado) {
            salida() << ", \"enlaces\": [";
            for (std::size_t i = 0; i < f.e->enlaces.size(); ++i) {
                salida() << (i ? ", " : "") << "{\"entitynum\": " << f.e->enlaces[i].entitynum
                         << ", \"mslink\": " << f.e->enlaces[i].mslink << "}";
            }
            salida() << "]";
        }
        salida() << "}";
        m_primero = false;
    }
    void fin(const Totales& t, std::int64_t longitud, const drawing::CorruptFile* dano) override {
        salida() << "\n],\n\"totales\": {\"llevados\": {";
        mapa(t.llevados);
        salida() << "}, \"descartados\": {";
        mapa(t.descartados);
        salida() << "}, \"bytes\": " << t.bytes << ", \"longitud\": " << longitud << "}";
        if (dano) {
            salida() << ",\n\"error\": {\"desplazamiento\": " << dano->offset()
                     << ", \"motivo\": " << json(dano->reason()) << "}";
        }
        salida() << "\n}\n";
        salida().flush();
    }

  private:
    void mapa(const QMap<QString, std::int64_t>& m) {
        bool primero = true;
        for (auto it = m.begin(); it != m.end(); ++it) {
            salida() << (primero ? "" : ", ") << json(it.key()) << ": " << it.value();
            primero = false;
        }
    }
    bool m_primero = true;
};

}  // namespace

int ordenVolcar(const QStringList& args) {
    Argumentos a;
    try {
        a = analiza(args, {}, {QStringLiteral("--json")});
        if (!a.ayuda && a.posicionales.size() != 1) {
            throw ErrorUso(QStringLiteral("hace falta exactamente un fichero"));
        }
    } catch (const ErrorUso& e) {
        return errorDeUso(e.mensaje(), kUso);
    }
    if (a.ayuda) {
        salida() << kUso;
        return core::exitstatus::kDone;
    }
    const QString ruta = a.posicionales.front();
    std::unique_ptr<drawing::BinReader> in;
    try {
        in = std::make_unique<drawing::BinReader>(ruta);
    } catch (const platform::RunError& e) {
        escribeError(QStringLiteral("No se puede abrir %1: %2").arg(ruta, e.description()));
        return core::exitstatus::kEnded;
    }
    std::unique_ptr<Escritor> w;
    if (a.banderas.contains(QStringLiteral("--json"))) {
        w = std::make_unique<EscritorJson>();
    } else {
        w = std::make_unique<EscritorTexto>();
    }
    Totales t;
    drawing::Elemento e;
    try {
        while (in->more()) {
            const bool llevado = in->readElement(e);
            Fila f{e.offset, in->position() - e.offset, &e, llevado};
            (llevado ? t.llevados : t.descartados)[claseDe(e.cabecera.tipo[0])] += 1;
            t.bytes = in->position();
            w->elemento(f);
        }
    } catch (const drawing::CorruptFile& dano) {
        w->fin(t, in->length(), &dano);
        return core::exitstatus::kEnded;
    } catch (const platform::RunError& err) {
        salida().flush();
        escribeError(QStringLiteral("Error %1: %2").arg(err.number()).arg(err.description()));
        return core::exitstatus::kEnded;
    }
    w->fin(t, in->length(), nullptr);
    return core::exitstatus::kDone;
}

}  // namespace vexilo::cli
