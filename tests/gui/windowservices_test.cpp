// The desktop's services: message boxes and questions belong to the program's window, and the file
// dialog is Qt's own, in Spanish whatever the machine's locale, with the filters the program asks for.
#include "gui/windowservices.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "app/fileselection.h"
#include "gui/filedialog.h"
#include "support/recordingdisplay.h"
#include "support/testservices.h"

namespace vexilo::gui {
namespace {

TEST(WindowServicesTest, DialogFiltersBecomeQtFiltersWithTheChosenOneSelected) {
    QString selected;
    EXPECT_EQ(qtFilter(QStringLiteral("BdD Access (*.mdb)|*.mdb|BdD SQLite (*.sqlite *.db)|*.sqlite;*.db"), 1,
                       &selected),
              QStringLiteral("BdD Access (*.mdb);;BdD SQLite (*.sqlite *.db)"));
    EXPECT_EQ(selected, QStringLiteral("BdD Access (*.mdb)"));

    // A description without its patterns gets them, ';' turned into the blank Qt separates them with.
    EXPECT_EQ(qtFilter(QStringLiteral("Dibujos|*.bin;*.dgn"), 1, &selected),
              QStringLiteral("Dibujos (*.bin *.dgn)"));
    EXPECT_EQ(selected, QStringLiteral("Dibujos (*.bin *.dgn)"));

    // An index outside the list selects nothing.
    selected.clear();
    qtFilter(QStringLiteral("Bin Kora (*.bin)|*.bin"), 2, &selected);
    EXPECT_TRUE(selected.isEmpty());
}

// The request the database's "..." makes, as the window's dialog is built from it.
std::unique_ptr<QFileDialog> databaseDialog() {
    testing::TestServices recorder;
    desktop::ScopedServices installed(recorder);
    testing::RecordingDisplay display;
    app::Session session;
    app::Command2_Click(session, display);
    EXPECT_EQ(recorder.dialogs.size(), 1u);
    return openFileDialog(nullptr, recorder.dialogs.at(0));
}

TEST(WindowServicesTest, TheDatabaseDialogShowsEveryDatabaseItTakesFirstAndEveryFileLast) {
    const auto dialog = databaseDialog();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Seleccinar BdD Access a tratar"));
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
    const QStringList filters = dialog->nameFilters();
    ASSERT_EQ(filters.size(), 4);
    EXPECT_EQ(dialog->selectedNameFilter(), filters[0]);
    EXPECT_EQ(filters[3], QStringLiteral("Todos los ficheros (*)"));

    // Which names each filter lets through, as the dialog reads its patterns.
    const QStringList names = {QStringLiteral("a.mdb"), QStringLiteral("b.accdb"), QStringLiteral("c.sqlite"),
                               QStringLiteral("d.db"), QStringLiteral("e.txt")};
    auto shown = [&](const QString& filter) {
        const qsizetype open = filter.lastIndexOf(QLatin1Char('('));
        const QStringList patterns =
            filter.mid(open + 1, filter.size() - open - 2).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QStringList through;
        for (const QString& name : names) {
            if (QDir::match(patterns, name)) {
                through << name;
            }
        }
        return through;
    };
    EXPECT_EQ(shown(filters[0]), names.mid(0, 4));
    EXPECT_EQ(shown(filters[1]), names.mid(0, 2));
    EXPECT_EQ(shown(filters[2]), names.mid(2, 2));
    EXPECT_EQ(shown(filters[3]), names);
}

TEST(WindowServicesTest, TheFileListWritesSizesAndDatesTheSpanishWay) {
    const QLocale before;
    useSpanishLocale();
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("hoja.bin")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(1500, 'x'));
    file.close();
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("hojas")));

    QFileSystemModel files;
    QEventLoop loaded;
    QObject::connect(&files, &QFileSystemModel::directoryLoaded, &loaded, &QEventLoop::quit);
    QTimer::singleShot(10000, &loaded, &QEventLoop::quit);
    const QModelIndex root = files.setRootPath(dir.path());
    loaded.exec();
    SpanishFileColumns columns;
    columns.setSourceModel(&files);
    const QModelIndex entry = files.index(dir.filePath(QStringLiteral("hoja.bin")));
    ASSERT_TRUE(entry.isValid());
    const QModelIndex row = columns.mapFromSource(entry);
    const QLocale spanish(QLocale::Spanish, QLocale::Spain);
    EXPECT_EQ(columns.index(row.row(), 1, columns.mapFromSource(root)).data().toString(),
              spanish.formattedDataSize(1500));
    EXPECT_EQ(columns.index(row.row(), 3, columns.mapFromSource(root)).data().toString(),
              spanish.toString(files.lastModified(entry), QLocale::ShortFormat));
    EXPECT_EQ(columns.index(row.row(), 0, columns.mapFromSource(root)).data().toString(),
              QStringLiteral("hoja.bin"));
    const QModelIndex folder = columns.mapFromSource(files.index(dir.filePath(QStringLiteral("hojas"))));
    ASSERT_TRUE(folder.isValid());
    EXPECT_EQ(columns.index(folder.row(), 2, columns.mapFromSource(root)).data().toString(),
              QStringLiteral("Carpeta"));
    QLocale::setDefault(before);
}

// Runs `look` on the box the services open, once it is shown, then lets it go with `button`.
void answerTheBox(QMessageBox::StandardButton button, const std::function<void(QMessageBox&)>& look) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, button, look] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            look(*box);
            box->button(button)->click();
        }
    });
    timer->start(5);
}

TEST(WindowServicesTest, MessageBoxesAreCentredOnTheWindowWhereverItWasMovedAndOfferTheDetails) {
    WindowServices services;
    QWidget window;
    window.setGeometry(300, 200, 400, 300);
    window.show();
    QWidget elsewhere;  // another window of the desktop, the active one
    elsewhere.setGeometry(20, 20, 150, 100);
    elsewhere.show();
    QApplication::setActiveWindow(&elsewhere);
    services.setWindow(&window);
    window.move(330, 240);  // moved after it was shown, as the user moves it

    QRect box;
    QString detail;
    answerTheBox(QMessageBox::Ok, [&](QMessageBox& b) {
        box = b.frameGeometry();
        detail = b.detailedText();
        EXPECT_EQ(b.text(), QStringLiteral("Fichero Corrupto"));
        EXPECT_EQ(b.icon(), QMessageBox::Critical);
    });
    services.messageBox(QStringLiteral("Fichero Corrupto"), core::Icon::Critical,
                        QStringLiteral("Elemento en el byte 120: registro cortado"));
    ASSERT_TRUE(box.isValid());
    const QPoint off = box.center() - window.frameGeometry().center();
    EXPECT_LE(off.manhattanLength(), 4) << box.center().x() << "," << box.center().y();
    EXPECT_EQ(detail, QStringLiteral("Elemento en el byte 120: registro cortado"));

    // A question too, with the button that Return presses as asked.
    QPushButton* byDefault = nullptr;
    answerTheBox(QMessageBox::Yes, [&](QMessageBox& b) {
        box = b.frameGeometry();
        byDefault = b.defaultButton();
        EXPECT_EQ(byDefault, b.button(QMessageBox::No));
    });
    EXPECT_TRUE(services.question(QStringLiteral("¿Interrumpir el proceso en curso?"), desktop::Answer::No));
    EXPECT_NE(byDefault, nullptr);
    EXPECT_LE((box.center() - window.frameGeometry().center()).manhattanLength(), 4);
}

}  // namespace
}  // namespace vexilo::gui
