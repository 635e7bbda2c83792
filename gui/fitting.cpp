#include "gui/fitting.h"

#include <QAbstractButton>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <algorithm>

#include "gui/captionframe.h"
#include "gui/pathdisplay.h"

namespace vexilo::gui {

namespace {

// Half-open spans: [begin, end).
bool overlap(int begin1, int end1, int begin2, int end2) {
    return begin1 < end2 && begin2 < end1;
}

int rightOf(const QRect& r) {
    return r.x() + r.width();
}
int bottomOf(const QRect& r) {
    return r.y() + r.height();
}

// How far the box may grow to the right and to the left before it meets the bounds or an obstacle.
std::pair<int, int> horizontalRoom(const QRect& box, const QRect& bounds, const std::vector<QRect>& obstacles,
                                   int gap) {
    int rightLimit = rightOf(bounds);
    int leftLimit = bounds.x();
    for (const QRect& o : obstacles) {
        if (!overlap(box.y(), bottomOf(box), o.y(), bottomOf(o))) {
            continue;
        }
        if (o.x() >= rightOf(box)) {
            rightLimit = std::min(rightLimit, o.x() - gap);
        } else if (rightOf(o) <= box.x()) {
            leftLimit = std::max(leftLimit, rightOf(o) + gap);
        }
    }
    return {std::max(0, rightLimit - rightOf(box)), std::max(0, box.x() - leftLimit)};
}

std::pair<int, int> verticalRoom(const QRect& box, const QRect& bounds, const std::vector<QRect>& obstacles,
                                 int gap) {
    int bottomLimit = bottomOf(bounds);
    int topLimit = bounds.y();
    for (const QRect& o : obstacles) {
        if (!overlap(box.x(), rightOf(box), o.x(), rightOf(o))) {
            continue;
        }
        if (o.y() >= bottomOf(box)) {
            bottomLimit = std::min(bottomLimit, o.y() - gap);
        } else if (bottomOf(o) <= box.y()) {
            topLimit = std::max(topLimit, bottomOf(o) + gap);
        }
    }
    return {std::max(0, bottomLimit - bottomOf(box)), std::max(0, box.y() - topLimit)};
}

QSize labelNeeds(const QLabel& label) {
    const QFontMetrics metrics = label.fontMetrics();
    const auto* path = qobject_cast<const PathLabel*>(&label);
    static const QRegularExpression kLineBreak(QStringLiteral("\r\n|\r|\n"));
    const QStringList lines = path ? path->lines() : label.text().split(kLineBreak);
    int width = 0;
    if (!path) {
        for (const QString& line : lines) {
            width = std::max(width, metrics.horizontalAdvance(line));
        }
    }
    const int frame = label.height() - label.contentsRect().height();
    const int height = int(lines.size() - 1) * metrics.lineSpacing() + metrics.height();
    return {width + label.width() - label.contentsRect().width(), height + frame};
}

QSize buttonNeeds(const QAbstractButton& button) {
    const QFontMetrics metrics = button.fontMetrics();
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    const bool radio = qobject_cast<const QRadioButton*>(&button) != nullptr;
    const QRect contents = button.style()->subElementRect(
        radio ? QStyle::SE_RadioButtonContents : QStyle::SE_PushButtonContents, &option, &button);
    const int frameWidth = button.width() - contents.width();
    const int frameHeight = button.height() - contents.height();
    const int textHeight =
        radio ? std::max(metrics.height(),
                         button.style()->pixelMetric(QStyle::PM_ExclusiveIndicatorHeight, &option, &button) -
                             frameHeight)
              : metrics.height();
    return {metrics.horizontalAdvance(button.text()) + frameWidth, textHeight + frameHeight};
}

QSize fieldNeeds(const QLineEdit& field) {
    QStyleOptionFrame option;
    option.initFrom(&field);
    option.lineWidth = field.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &field);
    const QRect contents = field.style()->subElementRect(QStyle::SE_LineEditContents, &option, &field);
    const QFontMetrics metrics = field.fontMetrics();
    const bool path = qobject_cast<const PathField*>(&field) != nullptr;
    const int textWidth = path ? 0 : metrics.horizontalAdvance(field.text());
    return {textWidth + field.width() - contents.width(),
            metrics.height() + field.height() - contents.height()};
}

}  // namespace

QRect growIntoFreeRoom(const QRect& box, const QSize& needed, const QRect& bounds,
                       const std::vector<QRect>& obstacles, int gap) {
    QRect grown = box;
    if (needed.width() > grown.width()) {
        const int missing = needed.width() - grown.width();
        const auto [right, left] = horizontalRoom(grown, bounds, obstacles, gap);
        int toLeft = std::min(left, missing / 2);
        const int toRight = std::min(right, missing - toLeft);
        toLeft = std::min(left, missing - toRight);
        grown.adjust(-toLeft, 0, toRight, 0);
    }
    if (needed.height() > grown.height()) {
        const int missing = needed.height() - grown.height();
        const auto [down, up] = verticalRoom(grown, bounds, obstacles, gap);
        const int toBottom = std::min(down, missing);
        grown.adjust(0, -std::min(up, missing - toBottom), 0, toBottom);
    }
    return grown;
}

QSize neededSize(const QWidget& widget) {
    if (const auto* frame = qobject_cast<const CaptionFrame*>(&widget)) {
        return {frame->widthForCaption(), widget.height()};
    }
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        return labelNeeds(*label);
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
        return buttonNeeds(*button);
    }
    if (const auto* field = qobject_cast<const QLineEdit*>(&widget)) {
        return fieldNeeds(*field);
    }
    return widget.size();
}

void growToFitCaption(QWidget& widget, int gap) {
    QWidget* parent = widget.parentWidget();
    if (!parent) {
        return;
    }
    const QRect box = widget.geometry();
    QRect bounds = parent->rect().adjusted(gap, gap, -gap, -gap);
    if (const auto* frame = qobject_cast<const CaptionFrame*>(parent)) {
        bounds = frame->innerRect();
    }
    std::vector<QRect> obstacles;
    for (QObject* child : parent->children()) {
        auto* sibling = qobject_cast<QWidget*>(child);
        if (!sibling || sibling == &widget || sibling->isWindow()) {
            continue;
        }
        const QRect other = sibling->geometry();
        if (other.contains(box)) {
            // The sibling frames this control: the room ends inside its border.
            const auto* framing = qobject_cast<const QFrame*>(sibling);
            const int border = framing ? framing->frameWidth() : 0;
            const QRect inside = other.adjusted(border + gap, border + gap, -border - gap, -border - gap);
            bounds = bounds.intersected(inside);
        } else if (!box.intersects(other)) {
            obstacles.push_back(other);
        }
    }
    widget.setGeometry(growIntoFreeRoom(box, neededSize(widget), bounds, obstacles, gap));
}

}  // namespace vexilo::gui
