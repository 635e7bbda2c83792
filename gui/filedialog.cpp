#include "gui/filedialog.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QLocale>

#include "gui/windowservices.h"

namespace vexilo::gui {

namespace {

// The columns of Qt's file list.
constexpr int kSizeColumn = 1;
constexpr int kDateColumn = 3;

}  // namespace

void useSpanishLocale() {
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
}

QVariant SpanishFileColumns::data(const QModelIndex& index, int role) const {
    auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
    if (!files || role != Qt::DisplayRole ||
        (index.column() != kSizeColumn && index.column() != kDateColumn)) {
        return QIdentityProxyModel::data(index, role);
    }
    const QModelIndex source = mapToSource(index);
    if (index.column() == kDateColumn) {
        return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
    }
    if (files->isDir(source)) {
        return QIdentityProxyModel::data(index, role);  // a folder shows no size
    }
    return QLocale().formattedDataSize(files->size(source));
}

std::unique_ptr<QFileDialog> openFileDialog(QWidget* parent, const platform::OpenFileRequest& request) {
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
