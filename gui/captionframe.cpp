#include "gui/captionframe.h"

#include <QPainter>
#include <QStyle>

namespace vexilo::gui {

namespace {

// The border is two lines, shadow then light, so it reads as etched into the window.
constexpr int kBorderWidth = 2;
// Blank room on each side of the caption, where the top edge is interrupted.
constexpr int kCaptionPadding = 2;

}  // namespace

CaptionFrame::CaptionFrame(const QString& title, int indent, QWidget* parent)
    : QGroupBox(title, parent), m_indent(indent) {}

QRect CaptionFrame::borderRect() const {
    const int top = fontMetrics().height() / 2;
    return QRect(0, top, width(), height() - top);
}

QRect CaptionFrame::innerRect() const {
    QRect inner = borderRect().adjusted(kBorderWidth, kBorderWidth, -kBorderWidth, -kBorderWidth);
    inner.setTop(std::max(inner.top(), captionRect().bottom() + 1));
    return inner;
}

QRect CaptionFrame::captionRect() const {
    const QFontMetrics metrics = fontMetrics();
    return QRect(m_indent, 0, metrics.horizontalAdvance(title()), metrics.height());
}

int CaptionFrame::widthForCaption() const {
    // After the caption the top edge goes on for half the indent at least, so that it reads as an edge.
    return m_indent + captionRect().width() + m_indent / 2 + kCaptionPadding + kBorderWidth;
}

void CaptionFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect border = borderRect();
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(border.adjusted(0, 0, -2, -2));
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(border.adjusted(1, 1, -1, -1));

    const QRect caption = captionRect();
    painter.fillRect(caption.adjusted(-kCaptionPadding, 0, kCaptionPadding, 0),
                     palette().brush(backgroundRole()));
    style()->drawItemText(&painter, caption, int(Qt::AlignLeft | Qt::AlignTop), palette(), isEnabled(),
                          title(), foregroundRole());
}

}  // namespace vexilo::gui
