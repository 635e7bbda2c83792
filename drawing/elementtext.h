#pragma once
// The texts of an element as the passes see them: Unicode in memory, Windows-1252 bytes in the file.
// Storing a text into a fixed-width field cuts it or pads it on the right with spaces; a caller that
// wants NUL padding (the written code, the last chunk of a text) pads the text itself first.

#include <QString>

#include "drawing/element.h"

namespace vexilo::drawing {

// The element's chunks joined in file order and decoded, NULs included (limpia_texto cuts there).
QString chunksText(const Element& e);
// The same into `texto`, whose buffer is used again when nothing else shares it: a pass decodes
// element after element into one text of its own.
void chunksText(const Element& e, QString& texto);

// The 7-character code field as text, padding included.
QString codeText(const CabeceraElemento& h);

// Stores a text into the code field: encoded, then cut to 7 or padded with spaces.
void storeCode(CabeceraElemento& h, const QString& codigo);

// A 12-byte chunk holding a text: encoded, then cut to 12 or padded with spaces.
Record12 textChunk(const QString& texto);

}  // namespace vexilo::drawing
