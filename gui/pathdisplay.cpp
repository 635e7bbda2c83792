#include "gui/pathdisplay.h"

#include <QPainter>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionFrame>

#include "gui/pathelision.h"

namespace vexilo::gui {

namespace {

// QLineEdit's own inner margins around its text, in pixels.
constexpr int kFieldHorizontalMargin = 2;
constexpr int kFieldVerticalMargin = 1;

}  // namespace

QStringList PathLabel::lines() const {
    static const QRegularExpression kLineBreak(QStringLiteral("\r\n|\r|\n"));
    return text().split(kLineBreak);
}

QStringList PathLabel::shownLines() const {
    const QFontMetrics metrics = fontMetrics();
    const QRect box = contentsRect();
    QStringList shown = lines();
    const qsizetype count = shown.size();
    if (count > 1 && (count - 1) * metrics.lineSpacing() + metrics.height() > box.height()) {
        shown = QStringList{shown.join(QLatin1Char(' '))};
    }
    for (QString& line : shown) {
        line = elidePath(line, metrics, box.width());
    }
    return shown;
}

void PathLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    const QRect box = contentsRect();
    const Qt::Alignment horizontal = alignment() & Qt::AlignHorizontal_Mask;
    int top = box.top();
    for (const QString& line : shownLines()) {
        const QRect lineBox(box.left(), top, box.width(), metrics.height());
        style()->drawItemText(&painter, lineBox, int(horizontal | Qt::AlignTop), palette(), isEnabled(), line,
                              foregroundRole());
        top += metrics.lineSpacing();
    }
}

QRect PathField::textRect() const {
    QStyleOptionFrame option;
    initStyleOption(&option);
    QRect r = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    r = r.marginsRemoved(textMargins());
    return r.adjusted(kFieldHorizontalMargin, kFieldVerticalMargin, -kFieldHorizontalMargin,
                      -kFieldVerticalMargin);
}

QString PathField::shownText() const {
    return elidePath(text(), fontMetrics(), textRect().width());
}

void PathField::paintEvent(QPaintEvent* event) {
    const QString shown = shownText();
    if (hasFocus() || shown == text()) {
        QLineEdit::paintEvent(event);
        return;
    }
    QPainter painter(this);
    QStyleOptionFrame option;
    initStyleOption(&option);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter, this);
    style()->drawItemText(&painter, textRect(), int(Qt::AlignLeft | Qt::AlignVCenter), palette(), isEnabled(),
                          shown, QPalette::Text);
}

}  // namespace vexilo::gui
