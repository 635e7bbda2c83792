#include "gui/pathelision.h"

#include <QFontMetrics>
#include <algorithm>

namespace vexilo::gui {

QString elidePath(const QString& path, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(path) <= width) {
        return path;
    }
    const qsizetype cut =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\'))) + 1;
    const QString folder = path.left(cut);
    const QString name = path.mid(cut);
    // Kerning across the join can add a pixel or two: give the folder less room until the whole fits.
    for (int room = width - metrics.horizontalAdvance(name); !folder.isEmpty() && room > 0; room -= 2) {
        const QString shortFolder = metrics.elidedText(folder, Qt::ElideMiddle, room);
        if (shortFolder.isEmpty()) {
            break;  // not even "…" beside the name: the name itself has to be cut
        }
        const QString shown = shortFolder + name;
        if (metrics.horizontalAdvance(shown) <= width) {
            return shown;
        }
    }
    return metrics.elidedText(path, Qt::ElideMiddle, width);
}

}  // namespace vexilo::gui
