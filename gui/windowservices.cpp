#include "gui/windowservices.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

namespace vexilo::gui {

QString qtFilter(const QString& filter, int filterIndex, QString* selected) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        // Qt takes the patterns from the parentheses that end the description; add them when missing.
        if (parts[i].trimmed().endsWith(QLatin1Char(')'))) {
            filters << parts[i];
        } else {
            QString patterns = parts[i + 1];
            patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
            filters << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
        }
    }
    if (selected && filterIndex >= 1 && filterIndex <= filters.size()) {
        *selected = filters[filterIndex - 1];
    }
    return filters.join(QStringLiteral(";;"));
}

platform::OpenFileResult WindowServices::showOpen(const platform::OpenFileRequest& request) {
    QString selected;
    const QString filters = qtFilter(request.filter, request.filterIndex, &selected);
    const QString path = QFileDialog::getOpenFileName(QApplication::activeWindow(), request.title,
                                                      request.initDir, filters, &selected);
    if (path.isEmpty()) {
        return {};
    }
    return {QDir::toNativeSeparators(path), QFileInfo(path).fileName()};
}

void WindowServices::messageBox(const QString& text, platform::Icon icon) {
    // The system writes a line break as a lone carriage return; the box wants a line feed.
    QString shown = text;
    shown.replace(QChar(13), QChar(10));
    QMessageBox box(icon == platform::Icon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon,
                    QStringLiteral("Vexilo"), shown, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

bool WindowServices::question(const QString& text) {
    QString shown = text;
    shown.replace(QChar(13), QChar(10));
    return QMessageBox::question(QApplication::activeWindow(), QStringLiteral("Vexilo"), shown,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
}

void WindowServices::setMousePointer(platform::MousePointer pointer) {
    const bool busy = pointer == platform::MousePointer::Busy;
    if (busy && !m_busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (!busy && m_busy) {
        QApplication::restoreOverrideCursor();
    }
    m_busy = busy;
}

void WindowServices::end(int code) {
    // At once: no close handler, no destructor of the window. The job has closed its files already.
    std::fflush(nullptr);
    std::_Exit(code);
}

}  // namespace vexilo::gui
