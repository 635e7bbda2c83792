#include "app/jobreport.h"

#include <unistd.h>

#include <cerrno>

#include <QDir>
#include <QFile>
#include <charconv>

#include "app/version.h"
#include "core/errors.h"
#include "core/jsontext.h"
#include "core/systemerror.h"
#include "engines/databasename.h"
#include "engines/publish.h"

namespace vexilo::app {

namespace {

// The buffer goes to the device once it holds this much.
constexpr qsizetype kFlushAt = 64 * 1024;

void appendNumber(QByteArray& out, std::int64_t n) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    out.append(digits, end - digits);
}

// Appends `, "key": ` (or `"key": ` first in its object).
void appendKey(QByteArray& out, const char* key, bool first = false) {
    if (!first) {
        out.append(", ");
    }
    out.append('"');
    out.append(key);
    out.append("\": ");
}

void appendString(QByteArray& out, const char* key, QStringView value) {
    appendKey(out, key);
    core::appendJsonString(out, value);
}

void appendNumber(QByteArray& out, const char* key, std::int64_t value) {
    appendKey(out, key);
    appendNumber(out, value);
}

void appendBool(QByteArray& out, const char* key, bool value) {
    appendKey(out, key);
    out.append(value ? "true" : "false");
}

// The job's messages break lines with a lone carriage return; the report with a line feed.
QString asLines(QString texto) {
    return texto.replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

// `, "key": {"name": count, ...}` for every value of an enumeration but its first (None), zeros
// included, so that a script finds every name in every report.
template <typename Enum, std::size_t N>
void appendCounts(QByteArray& out, const char* key, const std::array<std::int64_t, N>& counts,
                  QString (*nameOf)(Enum)) {
    appendKey(out, key);
    out.append('{');
    for (std::size_t i = 1; i < N; ++i) {
        if (i > 1) {
            out.append(", ");
        }
        core::appendJsonString(out, nameOf(static_cast<Enum>(i)));
        out.append(": ");
        appendNumber(out, counts[i]);
    }
    out.append('}');
}

const char* modeName(Mode mode) {
    switch (mode) {
        case Mode::Si:
            return "si";
        case Mode::RewriteText:
            return "texto";
        case Mode::No:
            break;
    }
    return "no";
}

core::RunError writeFailure(const QString& path, const QString& why) {
    return core::RunError(
        core::errnum::kFileAccess,
        QStringLiteral("No se puede escribir el informe %1: %2").arg(QDir::toNativeSeparators(path), why));
}

}  // namespace

JobReport::JobReport(const QString& path, const JobReportHead& head)
    : m_path(path), m_assignment(head.mode != Mode::RewriteText) {
    if (path == QLatin1String("-")) {
        auto out = std::make_unique<QFile>();
        if (!out->open(1, QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
            throw writeFailure(path, core::fileReason(*out, errno));
        }
        m_device = std::move(out);
    } else {
        // Under this process's partial name. What a killed job left under its own is removed by the next
        // job (app::Job) once it has opened the database, which may name it in a committed publication.
        m_partial = engines::partialName(path);
        auto file = std::make_unique<QFile>(m_partial);
        if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            const int error = errno;
            m_partial.clear();
            throw writeFailure(path, core::fileReason(*file, error));
        }
        m_device = std::move(file);
    }
    m_buffer.reserve(kFlushAt + 4096);
    // The head one key a line, the entries one a line, so that the report also reads well as text.
    m_buffer.append("{\n  \"programa\": ");
    core::appendJsonString(m_buffer, QStringLiteral("vexilo-cli ") + app::versionNumber());
    m_buffer.append(",\n  \"bdd\": ");
    core::appendJsonString(m_buffer, engines::shownDatabaseName(head.database));
    m_buffer.append(",\n  \"entrada\": ");
    core::appendJsonString(m_buffer, head.input);
    m_buffer.append(",\n  \"salida\": ");
    core::appendJsonString(m_buffer, head.output);
    m_buffer.append(",\n  \"modo\": \"").append(modeName(head.mode));
    m_buffer.append("\",\n  \"simulado\": ").append(head.simulated ? "true" : "false");
    m_buffer.append(",\n  \"elementos\": [");
}

JobReport::~JobReport() {
    discard();
}

void JobReport::discard() noexcept {
    if (!m_partial.isEmpty()) {
        m_device->close();
        QFile::remove(m_partial);
        m_partial.clear();
    }
}

void JobReport::text(const core::TextEntry& e) {
    m_buffer.append(m_firstEntry ? "\n    {" : ",\n    {");
    m_firstEntry = false;
    appendKey(m_buffer, "desplazamiento", true);
    appendNumber(m_buffer, e.offset);
    appendString(m_buffer, "codigo", e.codigo != nullptr ? QStringView(*e.codigo) : QStringView());
    appendString(m_buffer, "texto", e.texto != nullptr ? QStringView(*e.texto) : QStringView());
    if (e.tabla != nullptr) {
        appendString(m_buffer, "tabla", *e.tabla);
        appendNumber(m_buffer, "entitynum", e.entitynum);
        appendNumber(m_buffer, "registro", e.registro);
    }
    if (e.decision != core::Decision::None) {
        appendString(m_buffer, "decision", core::decisionName(e.decision));
    } else {
        appendString(m_buffer, "omitido", core::passedOverText(e.passedOver));
    }
    if (e.tabla != nullptr && m_assignment) {
        appendBool(m_buffer, "registro_nuevo", e.newRecord);
        appendBool(m_buffer, "registro_reclamado", e.claimed);
    }
    if (e.textoNuevo != nullptr) {
        appendString(m_buffer, "texto_nuevo", *e.textoNuevo);
    }
    m_buffer.append('}');

    ++m_decisions[static_cast<std::size_t>(e.decision)];
    ++m_passedOver[static_cast<std::size_t>(e.passedOver)];
    m_newRecords += e.newRecord ? 1 : 0;
    m_claimed += e.claimed ? 1 : 0;
    flushIfFull();
}

void JobReport::stoppedAt(std::int64_t offset) {
    m_stopOffset = offset;
}

void JobReport::writeTotals(std::int32_t textosProcesados) {
    m_buffer.append(m_firstEntry ? "],\n  \"totales\": {" : "\n  ],\n  \"totales\": {");
    appendKey(m_buffer, "textos_procesados", true);
    appendNumber(m_buffer, textosProcesados);
    appendCounts(m_buffer, "decisiones", m_decisions, core::decisionName);
    appendCounts(m_buffer, "omitidos", m_passedOver, core::passedOverText);
    appendNumber(m_buffer, "registros_nuevos", m_newRecords);
    appendNumber(m_buffer, "registros_reclamados", m_claimed);
    m_buffer.append("},\n");
}

void JobReport::writeEnd(const core::RunOutcome& outcome) {
    m_buffer.append("  ");
    appendKey(m_buffer, "final", true);
    switch (outcome.kind) {
        case core::RunOutcome::Kind::Finished:
            m_buffer.append("\"terminado\"");
            break;
        case core::RunOutcome::Kind::Stopped:
            m_buffer.append("\"detenido\",\n  \"parada\": {");
            appendKey(m_buffer, "mensaje", true);
            core::appendJsonString(m_buffer, asLines(outcome.message));
            appendString(m_buffer, "detalle", asLines(outcome.detail));
            appendKey(m_buffer, "desplazamiento");
            if (m_stopOffset >= 0) {
                appendNumber(m_buffer, m_stopOffset);
            } else {
                m_buffer.append("null");
            }
            m_buffer.append('}');
            break;
        case core::RunOutcome::Kind::Failed:
        case core::RunOutcome::Kind::Ignored:
            m_buffer.append("\"fallido\"");
            appendString(m_buffer, "error", asLines(core::present(outcome).message));
            break;
    }
    m_buffer.append("\n}\n");
}

void JobReport::finish(const core::RunOutcome& outcome, std::int32_t textosProcesados) {
    const bool failed =
        outcome.kind == core::RunOutcome::Kind::Failed || outcome.kind == core::RunOutcome::Kind::Ignored;
    if (failed && !m_partial.isEmpty()) {
        discard();
        return;
    }
    const QString written = complete(outcome, textosProcesados);
    if (!written.isEmpty()) {
        engines::publishFile(written, m_path);  // an old report of that name is replaced at once
        published();
    }
}

QString JobReport::complete(const core::RunOutcome& outcome, std::int32_t textosProcesados) {
    writeTotals(textosProcesados);
    writeEnd(outcome);
    flush();
    if (!m_device->flush()) {
        throw writeFailure(m_path, core::fileReason(*m_device, errno));
    }
    if (m_partial.isEmpty()) {
        return {};
    }
    auto* file = static_cast<QFile*>(m_device.get());
    if (::fsync(file->handle()) != 0 && errno != EINVAL) {
        throw writeFailure(m_path, core::systemReason(errno));
    }
    m_device->close();
    if (m_device->error() != QFileDevice::NoError) {
        throw writeFailure(m_path, core::fileReason(*m_device, errno));
    }
    return m_partial;
}

void JobReport::flushIfFull() {
    if (m_buffer.size() >= kFlushAt) {
        flush();
    }
}

void JobReport::flush() {
    if (m_device->write(m_buffer) != m_buffer.size()) {
        throw writeFailure(m_path, core::fileReason(*m_device, errno));
    }
    m_buffer.resize(0);
}

}  // namespace vexilo::app
