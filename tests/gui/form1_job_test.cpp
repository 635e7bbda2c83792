// The window while a job runs: the job runs on a thread of its own, so the window keeps painting and
// takes a close request, which asks whether to end the job. Yes ends the job as a failure ends (the
// database as it was, no output, no partial file) and the window closes as usual; No lets it finish.
// The wait for a database that another job holds is given up the same way.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "app/modulo_config.h"
#include "engines/dao.h"
#include "gui/form1.h"
#include "gui/pathdisplay.h"
#include "support/catalogfixture.h"
#include "support/dbdump.h"
#include "support/elementbuilder.h"
#include "support/testservices.h"

namespace vexilo::gui {
namespace {

using testing::ElementBuilder;

// A clock that holds the job, on the job's thread, at its n-th reading (the job reads the time for its
// progress and its log) until the test lets it go.
class HoldingClock : public testing::TestClock {
  public:
    explicit HoldingClock(int holdAt) : m_holdAt(holdAt) {}
    double secondsSinceMidnight() override {
        if (++m_reads == m_holdAt) {
            std::unique_lock lock(m_mutex);
            m_held = true;
            m_released.wait_for(lock, std::chrono::seconds(30), [this] { return m_free; });
        }
        return testing::TestClock::secondsSinceMidnight();
    }
    bool held() {
        std::lock_guard lock(m_mutex);
        return m_held;
    }
    void release() {
        {
            std::lock_guard lock(m_mutex);
            m_free = true;
        }
        m_released.notify_all();
    }

  private:
    const int m_holdAt;
    std::atomic<int> m_reads{0};
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_held = false;
    bool m_free = false;
};

// Counts the paint events a widget receives.
class PaintCount : public QObject {
  public:
    explicit PaintCount(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++count;
        }
        return false;
    }
    int count = 0;
};

// "Procesar", as the user presses it.
void process(Form1& form) {
    form.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
}

// Runs `step` on the window's thread every few milliseconds while the window runs a job, until it
// returns true.
class Steps {
  public:
    explicit Steps(std::function<bool()> step) : m_step(std::move(step)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (m_step()) {
                m_timer.stop();
            }
        });
        m_timer.start(5);
    }

  private:
    std::function<bool()> m_step;
    QTimer m_timer;
};

class Form1Job : public ::testing::Test {
  protected:
    Form1Job() {
        testing::CatalogTables tables;
        tables.msCatalog = {{QStringLiteral("CALLES"), 7}};
        tables.feature = {{123, QStringLiteral("CALLES")}};
        tables.attributeTables = {QStringLiteral("CALLES")};
        testing::createCatalogDatabase(path("particular.sqlite"), tables);
        std::vector<ElementBuilder> elements{ElementBuilder::c().records(1)};
        for (int i = 0; i < 200; ++i) {
            const std::string text = "CALLE " + std::to_string(i);
            elements.push_back(
                ElementBuilder::t().codigoNul("123").texto(text).seed(static_cast<std::uint8_t>(i)));
        }
        testing::writeFile(path("mapa.bin"), testing::concat(elements));
    }

    QString path(const char* name) const { return m_dir.filePath(QString::fromUtf8(name)); }
    QString folder() const { return m_dir.path() + QLatin1Char('/'); }
    void chooseAll(Form1& form) {
        m_services.nextFile(path("particular.sqlite"));
        form.findChild<QPushButton*>(QStringLiteral("Command2"))->click();
        m_services.nextFile(path("mapa.bin"));
        form.findChild<QPushButton*>(QStringLiteral("Command3"))->click();
    }
    bool hasPartialOutput() const {
        return !QDir(m_dir.path()).entryList({QStringLiteral("mapa_s.bin.parcial*")}, QDir::Files).isEmpty();
    }
    static QString stored(const char* clave) {
        QString valor;
        app::LeeConfiguracion(QString::fromUtf8(clave), valor);
        return valor;
    }

    QTemporaryDir m_dir;
    testing::TestServices m_services;
    desktop::ScopedServices m_installed{m_services};
};

// The job is held halfway through its pass while the test has the window repaint a control the job
// never touches and then closes the window: both happen while the job is provably still running.
struct PaintedAndClosed {
    bool partialWhileHeld = false;
    int paints = 0;
};
PaintedAndClosed closeDuringTheJob(Form1& form, HoldingClock& clock, const QString& folder) {
    PaintedAndClosed seen;
    auto* label7 = form.findChild<QLabel*>(QStringLiteral("Label7"));
    PaintCount paints(label7);
    int stage = 0;
    Steps steps([&] {
        if (stage == 0 && clock.held()) {
            seen.partialWhileHeld =
                !QDir(folder).entryList({QStringLiteral("*.parcial-*")}, QDir::Files).isEmpty();
            paints.count = 0;
            label7->update();  // a paint event, to be handled by the window's own loop
            stage = 1;
        } else if (stage == 1 && paints.count > 0) {
            seen.paints = paints.count;
            form.close();  // as the window manager asks: the window asks the user
            clock.release();
            return true;
        }
        return false;
    });
    process(form);
    clock.release();  // whatever happened, the job must not stay held
    return seen;
}

TEST_F(Form1Job, ACloseAnsweredYesEndsTheJobAsAFailureEndsAndClosesTheWindow) {
    const QStringList before = testing::rowsOfEveryTable(path("particular.sqlite"));
    HoldingClock clock(20);
    m_services.clockOverride = &clock;
    Form1 form;
    form.show();
    chooseAll(form);
    m_services.nextQuestionAnswer(true);
    const PaintedAndClosed seen = closeDuringTheJob(form, clock, m_dir.path());
    m_services.clockOverride = nullptr;

    EXPECT_TRUE(seen.partialWhileHeld) << "held halfway through the pass";
    EXPECT_GT(seen.paints, 0);
    ASSERT_EQ(m_services.questions,
              std::vector<QString>{QStringLiteral("¿Interrumpir el proceso en curso?")});
    EXPECT_EQ(m_services.questionDefaults, std::vector<desktop::Answer>{desktop::Answer::No});
    // Ended as a failure ends: nothing of the job stays, and nothing is said about it.
    EXPECT_EQ(testing::rowsOfEveryTable(path("particular.sqlite")), before);
    EXPECT_FALSE(QFile::exists(path("mapa_s.bin")));
    EXPECT_FALSE(hasPartialOutput());
    EXPECT_TRUE(m_services.messages.empty());
    EXPECT_FALSE(m_services.exitCode);
    // Then the window closed as usual, with the folders saved.
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.busy());
    EXPECT_EQ(stored("UltimoDirectorio"), folder());
    EXPECT_EQ(stored("UltimoDirectorioBin"), folder());
    EXPECT_EQ(m_services.pointers.back(), core::MousePointer::Default);
}

TEST_F(Form1Job, ACloseAnsweredNoLetsTheJobFinish) {
    HoldingClock clock(20);
    m_services.clockOverride = &clock;
    Form1 form;
    form.show();
    chooseAll(form);
    m_services.nextQuestionAnswer(false);
    const PaintedAndClosed seen = closeDuringTheJob(form, clock, m_dir.path());
    m_services.clockOverride = nullptr;

    EXPECT_TRUE(seen.partialWhileHeld);
    EXPECT_GT(seen.paints, 0);
    EXPECT_EQ(m_services.questions.size(), 1u);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(QFile::exists(path("mapa_s.bin")));
    EXPECT_FALSE(hasPartialOutput());
    EXPECT_TRUE(form.findChild<QLabel*>(QStringLiteral("Label1"))->isVisible());
    EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("Label5"))->text(),
              QStringLiteral("Creado el fichero : ") + QChar(13) + path("mapa_s.bin"));
    EXPECT_TRUE(m_services.messages.empty());
    EXPECT_EQ(stored("UltimoDirectorioBin"), QString()) << "nothing saved: the window is still open";
}

TEST_F(Form1Job, TheWaitForADatabaseAnotherJobHoldsIsShownWholeAndGivenUpByAClose) {
    const QStringList before = testing::rowsOfEveryTable(path("particular.sqlite"));
    std::unique_ptr<engines::Database> other = engines::OpenDatabaseForJob(
        engines::DBEngine::instance().Workspaces(0), path("particular.sqlite"), std::chrono::seconds(1), {});
    Form1 form;
    form.show();
    chooseAll(form);
    m_services.nextQuestionAnswer(true);
    auto* label5 = form.findChild<PathLabel*>(QStringLiteral("Label5"));
    QStringList shown;
    Steps steps([&] {
        if (!label5->text().startsWith(QStringLiteral("Esperando"))) {
            return false;
        }
        shown = label5->shownLines();
        form.close();
        return true;
    });
    const auto start = std::chrono::steady_clock::now();
    process(form);
    const auto waited = std::chrono::steady_clock::now() - start;
    other->Close();

    // The whole notice: the sentence, then the database with its name.
    ASSERT_EQ(shown.size(), 2) << shown.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(shown[0], QStringLiteral("Esperando a que termine otro proceso sobre la base de datos"));
    EXPECT_TRUE(shown[1].endsWith(QStringLiteral("particular.sqlite'..."))) << shown[1].toStdString();
    // Given up long before its ten minutes, with nothing written; the window closed as usual.
    EXPECT_LT(waited, std::chrono::seconds(60));
    EXPECT_EQ(m_services.questions.size(), 1u);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(m_services.messages.empty());
    EXPECT_EQ(testing::rowsOfEveryTable(path("particular.sqlite")), before);
    EXPECT_FALSE(QFile::exists(path("mapa_s.bin")));
    EXPECT_FALSE(hasPartialOutput());
    EXPECT_EQ(stored("UltimoDirectorio"), folder());
}

}  // namespace
}  // namespace vexilo::gui
