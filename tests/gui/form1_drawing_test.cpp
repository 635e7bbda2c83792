// The window as it is drawn: every caption whole in the window's font, the mode frame with its caption
// on its top edge and its options clear of its border, long paths cut in their middle. The window is
// rendered at rest, during a job and at its end, on the guide's own sample (the guide's screenshots);
// the images are kept in the build tree (screenshots/, one folder per scale factor besides the default)
// for a person to look at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>

#include "engines/dao.h"
#include "gui/captionframe.h"
#include "gui/form1.h"
#include "gui/pathdisplay.h"
#include "support/catalogfixture.h"
#include "support/elementbuilder.h"
#include "support/testservices.h"
#include "tools/sample/sample.h"

namespace vexilo::gui {
namespace {

using testing::ElementBuilder;

// Where the pictures go: screenshots/ in the build tree, screenshots/<percent>/ under a scale factor.
QString screenshotFolder() {
    QString folder = QStringLiteral(VEXILO_BINARY_DIR "/screenshots");
    const double scale = qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                             ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
                             : 1.0;
    if (scale > 0 && scale != 1.0) {
        folder += QLatin1Char('/') + QString::number(qRound(scale * 100));
    }
    QDir().mkpath(folder);
    return folder;
}

template <typename W>
W* control(QWidget& form, const char* name) {
    auto* w = form.findChild<W*>(QString::fromUtf8(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

class Form1Drawing : public ::testing::Test {
  protected:
    Form1Drawing() {
        // Long names, as a technician's project folders have them: the paths cannot fit their boxes.
        const QString deep = QStringLiteral(
            "Proyectos de cartografía municipal/Hoja 0457 Revisión de campo 2024/Entregas definitivas "
            "al ayuntamiento");
        EXPECT_TRUE(QDir(dir.path()).mkpath(deep));
        folder = dir.filePath(deep) + QLatin1Char('/');
        testing::CatalogTables tables;
        tables.msCatalog = {{QStringLiteral("CALLES"), 7}, {QStringLiteral("PARCELA"), 8}};
        tables.feature = {{123, QStringLiteral("CALLES")}, {124, QStringLiteral("PARCELA")}};
        tables.attributeTables = {QStringLiteral("CALLES"), QStringLiteral("PARCELA")};
        testing::createCatalogDatabase(folder + QStringLiteral("parcelario_municipal.sqlite"), tables);
        std::vector<ElementBuilder> elements{ElementBuilder::c().records(1)};
        for (int i = 0; i < 60; ++i) {
            elements.push_back(ElementBuilder::t()
                                   .codigoNul(i % 2 ? "123" : "124")
                                   .texto(i % 2 ? "PLAZA MAYOR" : "PARCELA 12")
                                   .seed(static_cast<std::uint8_t>(i + 2)));
        }
        testing::writeFile(folder + QStringLiteral("hoja_0457_revision_definitiva.bin"),
                           testing::concat(elements));
    }

    void chooseAll(Form1& form) {
        services.nextFile(folder + QStringLiteral("parcelario_municipal.sqlite"));
        control<QPushButton>(form, "Command2")->click();
        services.nextFile(folder + QStringLiteral("hoja_0457_revision_definitiva.bin"));
        control<QPushButton>(form, "Command3")->click();
    }
    static void save(Form1& form, const char* name) {
        const QString file = screenshotFolder() + QLatin1Char('/') + QLatin1String(name);
        EXPECT_TRUE(form.grab().toImage().save(file)) << file.toStdString();
    }

    QTemporaryDir dir;
    QString folder;
    testing::TestServices services;
    desktop::ScopedServices installed{services};
};

// Each caption, measured in the control's own font, inside the room its control gives text.
void expectCaptionsFit(QWidget& form) {
    for (auto* label : form.findChildren<QLabel*>()) {
        SCOPED_TRACE(label->objectName().toStdString());
        const QFontMetrics metrics = label->fontMetrics();
        const QRect room = label->contentsRect();
        EXPECT_TRUE(label->alignment() & Qt::AlignTop) << "drawn from the top of its box";
        auto* path = qobject_cast<PathLabel*>(label);
        const QStringList lines = path ? path->shownLines() : label->text().split(QLatin1Char('\n'));
        for (const QString& line : lines) {
            EXPECT_LE(metrics.horizontalAdvance(line), room.width()) << line.toStdString();
        }
        EXPECT_LE((lines.size() - 1) * metrics.lineSpacing() + metrics.height(), room.height());
    }
    for (auto* button : form.findChildren<QAbstractButton*>()) {
        SCOPED_TRACE(button->objectName().toStdString());
        QStyleOptionButton option;
        option.initFrom(button);
        const bool radio = qobject_cast<QRadioButton*>(button) != nullptr;
        const QRect room = button->style()->subElementRect(
            radio ? QStyle::SE_RadioButtonContents : QStyle::SE_PushButtonContents, &option, button);
        EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()), room.width());
        EXPECT_LE(button->fontMetrics().height(), room.height());
        EXPECT_EQ(button->font(), form.font()) << "in the window's font";
    }
    for (auto* field : form.findChildren<QLineEdit*>()) {
        SCOPED_TRACE(field->objectName().toStdString());
        QStyleOptionFrame option;
        option.initFrom(field);
        option.lineWidth = field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, field);
        const QRect room = field->style()->subElementRect(QStyle::SE_LineEditContents, &option, field);
        auto* path = qobject_cast<PathField*>(field);
        EXPECT_LE(field->fontMetrics().horizontalAdvance(path ? path->shownText() : field->text()),
                  room.width());
        EXPECT_LE(field->fontMetrics().height(), room.height());
    }
}

// No control covers another, except the rectangle around the status area and the frame of the options.
// Some boxes of the layout touch by the one pixel that rounding twips gives; no more than that.
void expectNoOverlap(QWidget& parent) {
    const auto children = parent.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (auto* a : children) {
        for (auto* b : children) {
            if (a == b || a->geometry().contains(b->geometry()) || b->geometry().contains(a->geometry())) {
                continue;
            }
            const QRect common = a->geometry().intersected(b->geometry());
            EXPECT_LE(std::min(common.width(), common.height()), 1)
                << a->objectName().toStdString() << " covers " << b->objectName().toStdString();
        }
    }
}

// The frame: caption on the top edge, fully inside the frame, the options below it and clear of the
// border, in the image as in the geometry.
void expectFrameDrawnRight(Form1& form) {
    auto* frame = control<CaptionFrame>(form, "Frame1");
    const QRect border = frame->borderRect();
    const QRect caption = frame->captionRect();
    EXPECT_EQ(frame->font(), form.font()) << "the frame keeps the window's font";
    EXPECT_LT(caption.top(), border.top());
    EXPECT_GT(caption.bottom(), border.top()) << "the top edge runs through the caption";
    EXPECT_GT(caption.left(), border.left() + 1);
    EXPECT_LT(caption.right(), border.right() - 1) << "the caption is whole inside the frame";

    const QImage image = frame->grab().toImage();
    const double ratio = image.devicePixelRatio();
    const QRgb line = frame->palette().color(QPalette::Mid).rgb();
    auto pixel = [&](int x, int y) { return image.pixel(int(x * ratio), int(y * ratio)); };
    ASSERT_EQ(pixel(1, border.top()), line) << "the border can be seen, so the check below can fail";
    ASSERT_EQ(pixel(frame->width() - 3, border.top()), line);

    for (auto* option : frame->findChildren<QRadioButton*>()) {
        SCOPED_TRACE(option->objectName().toStdString());
        const QRect box = option->geometry();
        EXPECT_TRUE(frame->innerRect().contains(box)) << "inside the border, below the caption";
        // No row of the option is crossed by a line of the border's colour.
        for (int y = box.top(); y <= box.bottom(); ++y) {
            int run = 0;
            int longest = 0;
            for (int x = box.left(); x <= box.right(); ++x) {
                run = pixel(x, y) == line ? run + 1 : 0;
                longest = std::max(longest, run);
            }
            EXPECT_LT(longest, box.width() / 2) << "row " << y;
        }
    }
}

void expectDrawnRight(Form1& form) {
    expectCaptionsFit(form);
    expectNoOverlap(form);
    expectNoOverlap(*control<QWidget>(form, "Frame1"));
    expectFrameDrawnRight(form);
}

// The guide's walk-through (section 5): "vexilo-cli demo prueba" in the technician's home folder, then
// the job in the default mode on it. `make screenshots` gives the folder the guide's name
// (VEXILO_GUIDE_HOME=/home/ana); anywhere else it is a temporary folder.
TEST_F(Form1Drawing, AtRestDuringAJobAndAtItsEndEveryCaptionIsWholeAndNothingOverlaps) {
    const QString home = qEnvironmentVariableIsSet("VEXILO_GUIDE_HOME")
                             ? qEnvironmentVariable("VEXILO_GUIDE_HOME")
                             : dir.path();
    const sample::Result guide = sample::generate(home + QStringLiteral("/prueba"), {});
    Form1 form;
    form.show();
    {
        SCOPED_TRACE("reposo");
        expectDrawnRight(form);
        save(form, "reposo.png");
    }
    services.nextFile(guide.database);
    control<QPushButton>(form, "Command2")->click();
    services.nextFile(guide.drawing);
    control<QPushButton>(form, "Command3")->click();

    // Halfway through the pass, as the window shows what the job hands it: the counter's caption is the
    // longest it ever shows.
    bool seen = false;
    auto* bar = control<QProgressBar>(form, "ProgressBarCarga");
    const auto halfway = QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) {
        if (!seen && value >= 50) {
            seen = true;
            SCOPED_TRACE("durante");
            EXPECT_TRUE(form.busy());
            EXPECT_EQ(control<QLabel>(form, "Label2")->text(),
                      QStringLiteral("Elementos en Tabla Feature : "));
            expectDrawnRight(form);
            save(form, "durante.png");
        }
    });
    control<QPushButton>(form, "Command1")->click();
    QObject::disconnect(halfway);
    ASSERT_TRUE(seen);
    ASSERT_EQ(services.messages.size(), 1u) << "the texts left untreated, as the guide says";
    // The guide's figure for this job: its "Textos Procesados".
    EXPECT_EQ(control<QLineEdit>(form, "Text1")->text(), QStringLiteral("343"));
    EXPECT_EQ(control<QLabel>(form, "Label8")->text(), home + QStringLiteral("/prueba/muestra_s.bin"));
    {
        SCOPED_TRACE("final");
        EXPECT_TRUE(control<QLabel>(form, "Label1")->isVisible());
        expectDrawnRight(form);
        save(form, "final.png");
    }
}

TEST_F(Form1Drawing, TheNoticeOfAWaitForTheDatabaseIsDrawnWholeOnTwoLines) {
    const QString database = folder + QStringLiteral("parcelario_municipal.sqlite");
    std::unique_ptr<engines::Database> other = engines::OpenDatabaseForJob(
        engines::DBEngine::instance().Workspaces(0), database, std::chrono::seconds(1), {});
    Form1 form;
    form.show();
    chooseAll(form);
    auto* label5 = control<PathLabel>(form, "Label5");
    QStringList lines;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (other && label5->text().startsWith(QStringLiteral("Esperando"))) {
            SCOPED_TRACE("espera");
            lines = label5->shownLines();
            expectDrawnRight(form);
            save(form, "espera.png");
            other->Close();  // the other job ends: this one goes on
            other.reset();
        }
    });
    look.start(5);
    control<QPushButton>(form, "Command1")->click();
    ASSERT_EQ(lines.size(), 2) << lines.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("Esperando a que termine otro proceso sobre la base de datos"));
    // The database's folder is cut in its middle; its name is whole.
    EXPECT_TRUE(lines[1].startsWith(QLatin1Char('\'')));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("…")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("/parcelario_municipal.sqlite'...")))
        << lines[1].toStdString();
    EXPECT_TRUE(services.messages.empty());
    EXPECT_TRUE(control<QLabel>(form, "Label1")->isVisible());
}

TEST_F(Form1Drawing, EachCaptionTheCounterCanShowFitsItsBox) {
    Form1 form;
    form.show();
    for (const char* caption :
         {"Tablas en MsCatalog : ", "Elementos en Tabla Feature : ", "Textos Procesados : "}) {
        SCOPED_TRACE(caption);
        form.display().setText(core::Control::Label2, QString::fromUtf8(caption));
        expectCaptionsFit(form);
        expectNoOverlap(form);
    }
    // The counter keeps its place beside its caption.
    EXPECT_LT(control<QWidget>(form, "Label2")->geometry().right(), control<QWidget>(form, "Text1")->x());
}

TEST_F(Form1Drawing, LongPathsShowTheirStartAndTheirFileNameAndTheWholePathOnHover) {
    Form1 form;
    form.show();
    chooseAll(form);
    control<QPushButton>(form, "Command1")->click();
    const QString dbPath = folder + QStringLiteral("parcelario_municipal.sqlite");
    const QString bin = folder + QStringLiteral("hoja_0457_revision_definitiva.bin");
    const QString output = folder + QStringLiteral("hoja_0457_revision_definitiva_s.bin");

    // What the program holds is the whole path; only the drawing is cut.
    EXPECT_EQ(control<QLineEdit>(form, "Text2")->text(), dbPath);
    EXPECT_EQ(control<QLineEdit>(form, "Text3")->text(), bin);
    EXPECT_EQ(control<QLabel>(form, "Label8")->text(), output);
    EXPECT_EQ(control<QLabel>(form, "Label5")->text(),
              QStringLiteral("Creado el fichero : ") + QChar(13) + output);

    const std::pair<const char*, QString> fields[] = {{"Text2", dbPath}, {"Text3", bin}};
    for (const auto& [name, whole] : fields) {
        SCOPED_TRACE(name);
        auto* field = control<PathField>(form, name);
        const QString shown = field->shownText();
        EXPECT_NE(shown, whole) << "the case must need a cut";
        EXPECT_TRUE(shown.startsWith(whole.left(5))) << shown.toStdString();
        EXPECT_TRUE(shown.endsWith(whole.mid(whole.lastIndexOf(QLatin1Char('/')) + 1)))
            << shown.toStdString();
        EXPECT_TRUE(shown.contains(QStringLiteral("…")));
        EXPECT_EQ(field->toolTip(), whole);
    }
    auto* label8 = control<PathLabel>(form, "Label8");
    ASSERT_EQ(label8->shownLines().size(), 1);
    EXPECT_TRUE(label8->shownLines()[0].endsWith(QStringLiteral("hoja_0457_revision_definitiva_s.bin")));
    EXPECT_TRUE(label8->shownLines()[0].contains(QStringLiteral("…")));
    EXPECT_EQ(label8->toolTip(), output);

    // The completion message: its caption, then the output path on a line of its own.
    auto* label5 = control<PathLabel>(form, "Label5");
    const QStringList lines = label5->shownLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("Creado el fichero : "));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("hoja_0457_revision_definitiva_s.bin")));
    EXPECT_EQ(label5->toolTip(), QStringLiteral("Creado el fichero : ") + QChar(10) + output);
}

TEST_F(Form1Drawing, TheFixedWindowOffersNoMaximizeAndStartsOnTheDatabaseButton) {
    Form1 form;
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(form.focusWidget(), control<QWidget>(form, "Command2"));
    form.show();
    EXPECT_EQ(form.focusWidget(), control<QWidget>(form, "Command2"));
}

}  // namespace
}  // namespace vexilo::gui
