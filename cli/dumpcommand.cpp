// vexilo-cli volcar: every element of a drawing file, for checking a file by eye or by script.
#include <QFileInfo>
#include <QMap>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/usage.h"
#include "core/jsontext.h"
#include "drawing/binfile.h"
#include "drawing/codepage.h"

namespace vexilo::cli {
namespace {

// Raw bytes as the file's characters, cut at the first NUL, as the job reads codes and texts.
QString upToNul(const char* p, std::size_t n) {
    std::size_t end = 0;
    while (end < n && p[end] != '\0') {
        ++end;
    }
    return drawing::codepage::decode(reinterpret_cast<const std::uint8_t*>(p), end);
}

QString textOf(const drawing::Element& e) {
    std::vector<char> bytes;
    for (const auto& t : e.chunks) {
        bytes.insert(bytes.end(), t.begin(), t.end());
    }
    return upToNul(bytes.data(), bytes.size());
}

QString classOf(char c) {
    if (c >= 0x21 && c < 0x7f) {
        return QString(QChar(c));
    }
    return QStringLiteral("\\x%1").arg(static_cast<unsigned char>(c), 2, 16, QChar('0'));
}

QString json(const QString& s) {
    QByteArray quoted;
    core::appendJsonString(quoted, s);
    return QString::fromUtf8(quoted);
}

struct Row {
    std::int64_t offset = 0;
    std::int64_t size = 0;
    const drawing::Element* e = nullptr;
    bool carried = false;
};

struct Totals {
    QMap<QString, std::int64_t> carried;  // by class
    QMap<QString, std::int64_t> dropped;
    std::int64_t bytes = 0;
};

class Writer {
  public:
    virtual ~Writer() = default;
    virtual void element(const Row& f) = 0;
    virtual void end(const Totals& t, std::int64_t length, const drawing::CorruptFile* damage) = 0;
};

class TextWriter : public Writer {
  public:
    void element(const Row& f) override {
        const auto& h = f.e->header;
        QString line = QStringLiteral("%1  %2  %3  codigo \"%4\"  registros %5  enlaces %6  %7 bytes")
                           .arg(f.offset, 10)
                           .arg(classOf(h.tipo[0]))
                           .arg(f.carried ? QStringLiteral("lleva     ") : QStringLiteral("descartado"))
                           .arg(upToNul(h.codigo.data(), h.codigo.size()))
                           .arg(h.numRegistros)
                           .arg(h.numEnlaces)
                           .arg(f.size);
        if (f.carried && h.elementClass() == drawing::layout::kClassT) {
            line += QStringLiteral("  texto \"%1\"").arg(textOf(*f.e));
        }
        if (f.carried && !f.e->links.empty()) {
            QStringList links;
            for (const auto& l : f.e->links) {
                links << QStringLiteral("%1:%2").arg(l.entitynum).arg(l.mslink);
            }
            line += QStringLiteral("  atr ") + links.join(QChar(' '));
        }
        output() << line << '\n';
    }
    void end(const Totals& t, std::int64_t length, const drawing::CorruptFile* damage) override {
        output() << "Totales:\n";
        for (auto it = t.carried.begin(); it != t.carried.end(); ++it) {
            output() << "  " << it.key() << " llevados : " << it.value() << '\n';
        }
        for (auto it = t.dropped.begin(); it != t.dropped.end(); ++it) {
            output() << "  " << it.key() << " descartados : " << it.value() << '\n';
        }
        output() << "  bytes leídos : " << t.bytes << " de " << length << '\n';
        output().flush();
        if (damage) {
            writeError(QStringLiteral("Fichero Corrupto en el desplazamiento %1: %2")
                           .arg(damage->offset())
                           .arg(damage->reason()));
        }
    }
};

class JsonWriter : public Writer {
  public:
    JsonWriter() { output() << "{\"elementos\": ["; }
    void element(const Row& f) override {
        const auto& h = f.e->header;
        output() << (m_first ? "\n" : ",\n") << "  {\"desplazamiento\": " << f.offset
                 << ", \"clase\": " << json(classOf(h.tipo[0]))
                 << ", \"llevado\": " << (f.carried ? "true" : "false")
                 << ", \"codigo\": " << json(upToNul(h.codigo.data(), h.codigo.size()))
                 << ", \"numRegistros\": " << h.numRegistros << ", \"numEnlaces\": " << h.numEnlaces
                 << ", \"tamano\": " << f.size;
        if (f.carried && h.elementClass() == drawing::layout::kClassT) {
            output() << ", \"texto\": " << json(textOf(*f.e));
        }
        if (f.carried) {
            output() << ", \"enlaces\": [";
            for (std::size_t i = 0; i < f.e->links.size(); ++i) {
                output() << (i ? ", " : "") << "{\"entitynum\": " << f.e->links[i].entitynum
                         << ", \"mslink\": " << f.e->links[i].mslink << "}";
            }
            output() << "]";
        }
        output() << "}";
        m_first = false;
    }
    void end(const Totals& t, std::int64_t length, const drawing::CorruptFile* damage) override {
        output() << "\n],\n\"totales\": {\"llevados\": {";
        map(t.carried);
        output() << "}, \"descartados\": {";
        map(t.dropped);
        output() << "}, \"bytes\": " << t.bytes << ", \"longitud\": " << length << "}";
        if (damage) {
            output() << ",\n\"error\": {\"desplazamiento\": " << damage->offset()
                     << ", \"motivo\": " << json(damage->reason()) << "}";
        }
        output() << "\n}\n";
        output().flush();
    }

  private:
    void map(const QMap<QString, std::int64_t>& m) {
        bool first = true;
        for (auto it = m.begin(); it != m.end(); ++it) {
            output() << (first ? "" : ", ") << json(it.key()) << ": " << it.value();
            first = false;
        }
    }
    bool m_first = true;
};

}  // namespace

int dumpCommand(const QStringList& args) {
    const Command& command = commandNamed(QStringLiteral("volcar"));
    Arguments a;
    try {
        a = parse(args, command);
        if (!a.help && a.positionals.size() != 1) {
            throw UsageError(QStringLiteral("hace falta exactamente un fichero"));
        }
    } catch (const UsageError& e) {
        return usageError(e.message(), commandUsage(command));
    }
    if (a.help) {
        output() << commandUsage(command);
        return core::exitstatus::kDone;
    }
    const QString path = a.positionals.front();
    std::unique_ptr<drawing::BinReader> in;
    try {
        in = std::make_unique<drawing::BinReader>(path);
    } catch (const core::RunError& e) {
        writeError(QStringLiteral("No se puede abrir %1: %2").arg(path, e.description()));
        return core::exitstatus::kEnded;
    }
    std::unique_ptr<Writer> w;
    if (a.flags.contains(QStringLiteral("--json"))) {
        w = std::make_unique<JsonWriter>();
    } else {
        w = std::make_unique<TextWriter>();
    }
    Totals t;
    drawing::Element e;
    try {
        while (in->more()) {
            const bool carried = in->readElement(e);
            Row f{e.offset, in->position() - e.offset, &e, carried};
            (carried ? t.carried : t.dropped)[classOf(e.header.tipo[0])] += 1;
            t.bytes = in->position();
            w->element(f);
        }
    } catch (const drawing::CorruptFile& damage) {
        w->end(t, in->length(), &damage);
        return core::exitstatus::kEnded;
    } catch (const core::RunError& err) {
        output().flush();
        writeError(QStringLiteral("Error %1: %2").arg(err.number()).arg(err.description()));
        return core::exitstatus::kEnded;
    }
    w->end(t, in->length(), nullptr);
    return core::exitstatus::kDone;
}

}  // namespace vexilo::cli
