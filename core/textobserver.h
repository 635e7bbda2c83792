#pragma once
// Who wants to know, element by element, what a pass did: the job's report of the command line. The
// passes tell the job's observer, when there is one, about every carried text element in file
// order, right after treating it; without one they pay a test of a null pointer per text element.

#include <QString>
#include <cstdint>

#include "core/textoutcome.h"

namespace vexilo::core {

// One carried text element as its pass left it. The texts are the pass's own, valid only during the
// call; a pointer left null means the element has none (no table, no new text).
struct TextEntry {
    std::int64_t offset = 0;          // the element's first byte in the input
    const QString* codigo = nullptr;  // the feature code, normalised (limpia_texto)
    const QString* texto = nullptr;   // the element's text, normalised (limpia_texto, quitablancos)
    const QString* tabla = nullptr;   // the attribute table the element was tied to, or read from
    std::int32_t entitynum = 0;       // that table's entity number
    std::int32_t registro = 0;        // the record the element ends tied to, or whose text it was given
    Decision decision = Decision::None;
    PassedOver passedOver = PassedOver::None;  // set exactly when decision is None
    bool newRecord = false;                    // the record was added for this element
    bool claimed = false;                      // a record with a Null Tfeature was claimed for this element
    const QString* textoNuevo = nullptr;       // rewrite: the text that replaced the element's
};

class TextObserver {
  public:
    virtual ~TextObserver() = default;
    // After the treatment of every carried text element, in file order.
    virtual void text(const TextEntry& entry) = 0;
    // A stop ended the pass at the element that starts at `offset` (a damaged element, or a text element
    // whose treatment stopped); no entry was given for it.
    virtual void stoppedAt(std::int64_t offset) = 0;
};

}  // namespace vexilo::core
