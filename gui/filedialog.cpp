#include "gui/filedialog.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QLocale>

#include "gui/windowservices.h"

namespace vexilo::gui {

namespace {

// The columns of Qt's file list.
constexpr int kSizeColumn = 1;
constexpr int kTypeColumn = 2;
constexpr int kDateColumn = 3;

}  // namespace

void useSpanishLocale() {
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
}

QVariant SpanishFileColumns::data(const QModelIndex& index, int role) const {
    auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
    if (!files || role != Qt::DisplayRole) {
        return QIdentityProxyModel::data(index, role);
    }
    const QModelIndex source = mapToSource(index);
    switch (index.column()) {
        case kDateColumn:
            return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
        case kSizeColumn:
            if (!files->isDir(source)) {
                return QLocale().formattedDataSize(files->size(source));
            }
            break;  // a folder shows no size
        case kTypeColumn:
            if (files->isDir(source)) {
                return QStringLiteral("Carpeta");  // Qt's catalogue lacks it; a file's type is Spanish
            }
            break;
        default:
            break;
    }
    return QIdentityProxyModel::data(index, role);
}

std::unique_ptr<QFileDialog> openFileDialog(QWidget* parent, const desktop::OpenFileRequest& request) {
    QString selected;
    const QString filters = qtFilter(request.filter, request.filterIndex, &selected);
    auto dialog = std::make_unique<QFileDialog>(parent, request.title, request.initDir, filters);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    if (!selected.isEmpty()) {
        dialog->selectNameFilter(selected);
    }
    dialog->setProxyModel(new SpanishFileColumns(dialog.get()));
    return dialog;
}

}  // namespace vexilo::gui
