#pragma once
// A TextObserver for tests: keeps a copy of every entry a pass gave, and where it stopped.

#include <QString>
#include <optional>
#include <vector>

#include "core/textobserver.h"

namespace vexilo::testing {

struct RecordedText {
    std::int64_t offset = 0;
    QString codigo;
    QString texto;
    std::optional<QString> tabla;
    std::int32_t entitynum = 0;
    std::int32_t registro = 0;
    core::Decision decision = core::Decision::None;
    core::PassedOver passedOver = core::PassedOver::None;
    bool newRecord = false;
    bool claimed = false;
    std::optional<QString> textoNuevo;
};

class RecordingObserver : public core::TextObserver {
  public:
    void text(const core::TextEntry& e) override {
        RecordedText r;
        r.offset = e.offset;
        r.codigo = e.codigo != nullptr ? *e.codigo : QStringLiteral("<null>");
        r.texto = e.texto != nullptr ? *e.texto : QStringLiteral("<null>");
        if (e.tabla != nullptr) {
            r.tabla = *e.tabla;
        }
        r.entitynum = e.entitynum;
        r.registro = e.registro;
        r.decision = e.decision;
        r.passedOver = e.passedOver;
        r.newRecord = e.newRecord;
        r.claimed = e.claimed;
        if (e.textoNuevo != nullptr) {
            r.textoNuevo = *e.textoNuevo;
        }
        texts.push_back(r);
    }
    void stoppedAt(std::int64_t offset) override { stop = offset; }

    std::vector<RecordedText> texts;
    std::optional<std::int64_t> stop;
};

}  // namespace vexilo::testing
