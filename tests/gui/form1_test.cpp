#include "gui/form1.h"

#include "core/exitstatus.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <functional>

#include "app/modulo_config.h"
#include "support/catalogfixture.h"
#include "support/elementbuilder.h"
#include "support/testservices.h"

namespace vexilo::gui {
namespace {

using testing::ElementBuilder;
using testing::TestServices;

// Test services that can act while the window is busy: the busy pointer is the first thing a job shows.
class BusyHookServices : public TestServices {
  public:
    void setMousePointer(core::MousePointer pointer) override {
        TestServices::setMousePointer(pointer);
        if (pointer == core::MousePointer::Busy && whileBusy) {
            whileBusy();
        }
    }
    std::function<void()> whileBusy;
};

class Form1Test : public ::testing::Test {
  protected:
    Form1Test() {
        testing::createCatalogDatabase(path("particular.sqlite"));
        testing::writeFile(path("mapa.bin"), testing::concat({ElementBuilder::c().records(1),
                                                              ElementBuilder::t().texto("PLAZA").seed(5)}));
    }

    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
    template <typename W>
    static W* control(Form1& form, const char* name) {
        auto* w = form.findChild<W*>(QString::fromUtf8(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static void click(Form1& form, const char* name) { control<QPushButton>(form, name)->click(); }
    static QString text(Form1& form, const char* name) {
        if (auto* edit = form.findChild<QLineEdit*>(QString::fromUtf8(name))) {
            return edit->text();
        }
        return control<QLabel>(form, name)->text();
    }
    void chooseAll(Form1& form) {
        services.nextFile(path("particular.sqlite"));
        click(form, "Command2");
        services.nextFile(path("mapa.bin"));
        click(form, "Command3");
    }
    static QString stored(const char* clave) {
        QString valor;
        app::LeeConfiguracion(QString::fromUtf8(clave), valor);
        return valor;
    }
    static QString folderOf(const QString& file) { return file.left(file.lastIndexOf(QLatin1Char('/')) + 1); }

    QTemporaryDir dir;
    BusyHookServices services;
    desktop::ScopedServices installed{services};
};

TEST_F(Form1Test, ControlsStartWithTheirCaptionsAndContents) {
    Form1 form;
    EXPECT_EQ(form.windowTitle(),
              QStringLiteral("Asigna y Rellena las tablas correspondientes en BdD Access. "));
    const std::pair<const char*, const char*> captions[] = {
        {"Label7", "Nombre de la BdD Particular :"},
        {"Label6", "Nombre del fichero BIN a tratar :"},
        {"Label9", "Nombre del fichero BIN de salida :"},
        {"Label3", "Asigna"},
        {"Label4", "No Asigna"},
        {"Label2", "Textos Procesados :"},
        {"Label1", "Proceso Finalizado."},
        {"Text1", "0"},
        {"Text2", ""},
        {"Text3", ""},
        {"Label8", ""},
        {"Label5", ""},
        {"Text4", ""},
        {"Text5", ""},
    };
    for (auto [name, caption] : captions) {
        EXPECT_EQ(text(form, name), QString::fromUtf8(caption)) << name;
    }
    EXPECT_EQ(control<QPushButton>(form, "Command1")->text(), QStringLiteral("Procesar"));
    EXPECT_EQ(control<QPushButton>(form, "Command2")->text(), QStringLiteral("..."));
    EXPECT_EQ(control<QPushButton>(form, "Command3")->text(), QStringLiteral("..."));

    auto* frame = control<QGroupBox>(form, "Frame1");
    EXPECT_EQ(frame->title(), QStringLiteral("Mantener Asignaciones gráficas"));
    const std::pair<const char*, const char*> options[] = {
        {"Option1", "Sí"}, {"Option2", "No"}, {"Option3", "Modificar Texto en Bin"}};
    for (auto [name, caption] : options) {
        auto* option = control<QRadioButton>(form, name);
        EXPECT_EQ(option->text(), QString::fromUtf8(caption));
        EXPECT_EQ(option->parentWidget(), frame);
        EXPECT_EQ(option->isChecked(), std::string_view(name) == "Option2");
    }
    for (const char* name : {"Line1", "Line2", "Line3", "Shape2"}) {
        control<QWidget>(form, name);
    }
    EXPECT_EQ(control<QWidget>(form, "Line1")->parentWidget(), frame);

    form.show();
    EXPECT_FALSE(control<QLabel>(form, "Label1")->isVisible());
    auto* bar = control<QProgressBar>(form, "ProgressBarCarga");
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
}

TEST_F(Form1Test, LayoutFollowsTheTwipsTableAtTheScreenResolution) {
    Form1 form;
    const double px = form.logicalDpiX() / 1440.0;
    auto expected = [px](int l, int t, int w, int h) {
        auto r = [px](int v) { return static_cast<int>(v * px + 0.5); };
        return QRect(r(l), r(t), r(w), r(h));
    };
    EXPECT_EQ(form.size(), expected(0, 0, 14055, 6960).size());
    EXPECT_EQ(control<QWidget>(form, "Command1")->geometry(), expected(480, 5640, 1455, 855));
    EXPECT_EQ(control<QWidget>(form, "Text2")->geometry(), expected(480, 720, 7815, 375));
    EXPECT_EQ(control<QWidget>(form, "ProgressBarCarga")->geometry(), expected(6840, 6240, 6015, 255));
    EXPECT_EQ(control<QWidget>(form, "Option3")->geometry(), expected(120, 1200, 2415, 255));
}

TEST_F(Form1Test, ProcesarWithoutAllNamesDoesNothing) {
    Form1 form;
    services.nextFile(path("particular.sqlite"));
    click(form, "Command2");
    control<QRadioButton>(form, "Option1")->setChecked(true);
    click(form, "Command1");
    EXPECT_TRUE(form.state().MantenerAsignaciones);
    EXPECT_TRUE(services.messages.empty());
    EXPECT_TRUE(services.pointers.empty());
    EXPECT_FALSE(services.exitCode);
    EXPECT_FALSE(QFile::exists(path("mapa_s.bin")));
    EXPECT_EQ(text(form, "Label5"), QString());
}

TEST_F(Form1Test, RunWritesTheOutputAndShowsTheCompletion) {
    Form1 form;
    form.show();
    chooseAll(form);
    EXPECT_EQ(text(form, "Text2"), path("particular.sqlite"));
    EXPECT_EQ(text(form, "Text3"), path("mapa.bin"));
    EXPECT_EQ(text(form, "Label8"), path("mapa_s.bin"));

    click(form, "Command1");
    EXPECT_EQ(testing::parseFile(path("mapa_s.bin")).size(), 2u);
    EXPECT_EQ(text(form, "Label5"), QStringLiteral("Creado el fichero : ") + QChar(13) + path("mapa_s.bin"));
    EXPECT_TRUE(control<QLabel>(form, "Label1")->isVisible());
    EXPECT_EQ(control<QProgressBar>(form, "ProgressBarCarga")->value(), 100);
    EXPECT_EQ(text(form, "Text5"), QStringLiteral("   100 %"));
    EXPECT_EQ(services.pointers,
              (std::vector<core::MousePointer>{core::MousePointer::Busy, core::MousePointer::Default}));
    EXPECT_TRUE(services.messages.empty());
    EXPECT_FALSE(services.exitCode);
    EXPECT_FALSE(form.busy());

    // Choosing another database clears the status area for the next job.
    services.nextCancel();
    click(form, "Command2");
    EXPECT_FALSE(control<QLabel>(form, "Label1")->isVisible());
    EXPECT_EQ(text(form, "Label5"), QString());
    EXPECT_EQ(text(form, "Text1"), QStringLiteral("0"));
    EXPECT_EQ(control<QProgressBar>(form, "ProgressBarCarga")->value(), 0);
}

TEST_F(Form1Test, InputDuringARunIsThrownAwayNotHandledAfterwards) {
    Form1 form;
    form.show();
    chooseAll(form);
    auto postClick = [&form](const char* name) {
        auto* button = form.findChild<QAbstractButton*>(QString::fromUtf8(name));
        const QPointF at(button->width() / 2.0, button->height() / 2.0);
        const QPointF global = button->mapToGlobal(at);
        for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QCoreApplication::postEvent(
                button, new QMouseEvent(type, at, global, Qt::LeftButton,
                                        type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                        Qt::NoModifier));
        }
    };

    // The same clicks, while idle, do open the dialog: the check below can fail.
    postClick("Command2");
    QCoreApplication::processEvents();
    ASSERT_EQ(services.dialogs.size(), 3u);

    services.whileBusy = [&] {
        postClick("Command2");
        postClick("Command1");
        postClick("Option3");
        form.close();  // asks whether to end the job; the answer is No
    };
    click(form, "Command1");
    services.whileBusy = nullptr;
    QCoreApplication::processEvents();
    EXPECT_EQ(services.dialogs.size(), 3u);
    EXPECT_EQ(services.pointers.size(), 2u);  // one job only
    EXPECT_EQ(services.questions.size(), 1u);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(QFile::exists(path("mapa_s.bin")));
    EXPECT_TRUE(control<QRadioButton>(form, "Option2")->isChecked());
    EXPECT_EQ(stored("UltimoDirectorioBin"), QString());
}

TEST_F(Form1Test, FoldersRoundTripBetweenTwoWindows) {
    {
        Form1 first;
        first.show();
        chooseAll(first);
        first.close();
    }
    EXPECT_EQ(stored("UltimoDirectorio"), folderOf(path("particular.sqlite")));
    EXPECT_EQ(stored("UltimoDirectorioBin"), folderOf(path("mapa.bin")));

    Form1 second;
    second.show();
    services.nextCancel();
    click(second, "Command2");
    services.nextCancel();
    click(second, "Command3");
    ASSERT_EQ(services.dialogs.size(), 4u);
    EXPECT_EQ(services.dialogs[2].initDir, folderOf(path("particular.sqlite")));
    EXPECT_EQ(services.dialogs[3].initDir, folderOf(path("mapa.bin")));

    // Nothing chosen in this window: closing it stores the empty text for both.
    second.close();
    EXPECT_EQ(stored("UltimoDirectorio"), QString());
    EXPECT_EQ(stored("UltimoDirectorioBin"), QString());
}

TEST_F(Form1Test, DamagedDrawingEndsWithTheCriticalMessageAndSavesNoFolders) {
    app::GuardaConfiguracion(QStringLiteral("UltimoDirectorioBin"), QStringLiteral("/antes/"));
    testing::Bytes cut =
        testing::concat({ElementBuilder::c().records(1), ElementBuilder::t().texto("PLAZA")});
    cut.resize(cut.size() - 3);
    testing::writeFile(path("mapa.bin"), cut);

    Form1 form;
    form.show();
    chooseAll(form);
    click(form, "Command1");
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0].text, QStringLiteral("Fichero Corrupto"));
    EXPECT_EQ(services.messages[0].icon, core::Icon::Critical);
    // Where and why, as the command line prints it, offered beside the message.
    const auto damaged = testing::concat({ElementBuilder::c().records(1)}).size();
    EXPECT_TRUE(
        services.messages[0].detail.startsWith(QStringLiteral("Elemento en el byte %1: ").arg(damaged)))
        << services.messages[0].detail.toStdString();
    EXPECT_EQ(services.exitCode, core::exitstatus::kEnded);
    EXPECT_EQ(stored("UltimoDirectorioBin"), QStringLiteral("/antes/"));
}

TEST_F(Form1Test, StopAfterItsOwnMessagesEndsWithoutAnEmptyBox) {
    QFile::remove(path("particular.sqlite"));
    testing::CatalogTables tables;
    tables.msCatalog = {{QStringLiteral("CALLES"), 7}};
    testing::createCatalogDatabase(path("particular.sqlite"), tables);
    {
        auto db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(path("particular.sqlite"));
        testing::makeTable(*db, QStringLiteral("CALLES"),
                           {engines::FieldDef{QStringLiteral("MsLink"), engines::dbLong, 0},
                            engines::FieldDef{QStringLiteral("tcomplet"), engines::dbText, 0}});
        db->Close();
    }
    Form1 form;
    form.show();
    chooseAll(form);
    click(form, "Command1");
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_TRUE(services.messages[0].text.startsWith(QStringLiteral("No existe el campo TMAPA")));
    EXPECT_EQ(services.exitCode, core::exitstatus::kEnded);
    EXPECT_EQ(services.pointers.back(), core::MousePointer::Default);
}

TEST_F(Form1Test, FailuresShowNumberAndDescriptionThenEnd) {
    Form1 form;
    testing::writeFile(path("mapa_s.bin"), {1, 2, 3});
    services.failNextDelete(70, QStringLiteral("Permiso denegado"));
    services.nextFile(path("mapa.bin"));
    click(form, "Command3");
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0].text,
              QStringLiteral("Error 70") + QChar(13) + QStringLiteral("Permiso denegado"));
    EXPECT_EQ(services.exitCode, core::exitstatus::kEnded);

    services.exitCode.reset();
    services.nextFile(path("no-existe.sqlite"));
    click(form, "Command2");
    click(form, "Command1");
    ASSERT_EQ(services.messages.size(), 2u);
    EXPECT_TRUE(services.messages[1].text.startsWith(QStringLiteral("Error ")));
    EXPECT_EQ(services.exitCode, core::exitstatus::kEnded);
    EXPECT_FALSE(QFile::exists(path("no-existe.sqlite")));
}

}  // namespace
}  // namespace vexilo::gui
