#pragma once
// Captions that do not fit their layout box. The layout was drawn for a smaller type than today's
// desktops use; rather than shrink the type, a control whose caption does not fit takes the free room
// around it, never the room of another control.

#include <QRect>
#include <QSize>
#include <vector>

class QWidget;

namespace vexilo::gui {

// `box` grown to `needed` as far as the free room allows: wider about its centre (the side that is
// blocked leaves the rest to the other), then taller downwards first. The free room lies inside
// `bounds` and keeps `gap` pixels from every obstacle the box does not already touch. The box never
// shrinks; when the room runs out it stays as large as the room lets it be.
QRect growIntoFreeRoom(const QRect& box, const QSize& needed, const QRect& bounds,
                       const std::vector<QRect>& obstacles, int gap);

// The size `widget` needs to show its caption whole in its own font: the box itself for a control
// without a caption. A path display needs the height of its lines only, since it cuts its paths.
QSize neededSize(const QWidget& widget);

// Grows `widget` (a control of a window laid out by hand) until its caption fits, into the free room
// among its siblings: inside the sibling that frames it, if one does, else inside its parent.
void growToFitCaption(QWidget& widget, int gap);

}  // namespace vexilo::gui
