#pragma once
// Fitting a long path into a control without losing what the technician looks for: the file's own name.

#include <QString>

class QFontMetrics;

namespace vexilo::gui {

// The path as it fits `width` pixels in `metrics`: unchanged when it fits; otherwise the folder is cut
// in its middle with "…" and the file name (after the last '/' or '\') is kept whole; a file name that
// does not fit on its own is cut in its middle too. The result never exceeds `width`, and is empty only
// when not even "…" fits.
QString elidePath(const QString& path, const QFontMetrics& metrics, int width);

}  // namespace vexilo::gui
