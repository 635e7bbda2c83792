#pragma once
// The open-file dialog in Spanish whatever the machine's locale: Qt's own dialog (a desktop's native
// one would follow the desktop's language), its texts from Qt's Spanish catalogue, and its sizes, dates
// and file types written the Spanish way.

#include <QIdentityProxyModel>
#include <memory>

#include "desktop/services.h"

class QFileDialog;
class QWidget;

namespace vexilo::gui {

// The program's locale becomes Spanish (Spain), whatever the machine's: the file types the dialog
// names, and every number or date Qt writes for the user.
void useSpanishLocale();

// The dialog's file list with its sizes and dates in the program's locale (Qt writes them in the
// machine's own), and a folder's type in Spanish.
class SpanishFileColumns : public QIdentityProxyModel {
    Q_OBJECT

  public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override;
};

// The dialog as the request sets it up (folder, filters with the chosen one selected, title), for one
// existing file; show it with exec().
std::unique_ptr<QFileDialog> openFileDialog(QWidget* parent, const desktop::OpenFileRequest& request);

}  // namespace vexilo::gui
