#include "gui/windowservices.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

#include "gui/filedialog.h"

namespace vexilo::gui {

namespace {

// The system writes a line break as a lone carriage return; a box wants a line feed.
QString boxText(QString text) {
    return text.replace(QChar(13), QChar(10));
}

// While the busy pointer shows, a box that waits for an answer shows the ordinary one over it.
class AnswerPointer {
  public:
    explicit AnswerPointer(bool busy) : m_busy(busy) {
        if (m_busy) {
            QApplication::setOverrideCursor(Qt::ArrowCursor);
        }
    }
    ~AnswerPointer() {
        if (m_busy) {
            QApplication::restoreOverrideCursor();
        }
    }
    AnswerPointer(const AnswerPointer&) = delete;
    AnswerPointer& operator=(const AnswerPointer&) = delete;

  private:
    bool m_busy;
};

}  // namespace

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

QWidget* WindowServices::dialogParent() const {
    if (QWidget* modal = QApplication::activeModalWidget()) {
        return modal;
    }
    return m_window ? m_window.data() : QApplication::activeWindow();
}

desktop::OpenFileResult WindowServices::showOpen(const desktop::OpenFileRequest& request) {
    const auto dialog = openFileDialog(dialogParent(), request);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
        return {};
    }
    const QString path = dialog->selectedFiles().constFirst();
    return {QDir::toNativeSeparators(path), QFileInfo(path).fileName()};
}

void WindowServices::messageBox(const QString& text, core::Icon icon, const QString& detail) {
    QMessageBox box(icon == core::Icon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon,
                    QStringLiteral("Vexilo"), boxText(text), QMessageBox::Ok, dialogParent());
    if (!detail.isEmpty()) {
        box.setDetailedText(boxText(detail));
    }
    const AnswerPointer pointer(m_busy);
    box.exec();
}

bool WindowServices::question(const QString& text, desktop::Answer byDefault) {
    const AnswerPointer pointer(m_busy);
    return QMessageBox::question(
               dialogParent(), QStringLiteral("Vexilo"), boxText(text), QMessageBox::Yes | QMessageBox::No,
               byDefault == desktop::Answer::Yes ? QMessageBox::Yes : QMessageBox::No) == QMessageBox::Yes;
}

void WindowServices::setMousePointer(core::MousePointer pointer) {
    const bool busy = pointer == core::MousePointer::Busy;
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
