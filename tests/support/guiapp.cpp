// One QApplication for the whole binary, on the offscreen platform, with every settings path moved to a
// temporary folder so that no test can reach the user's own settings.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <memory>

namespace {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        QStandardPaths::setTestModeEnabled(true);
        m_settingsDir = std::make_unique<QTemporaryDir>();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir->path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsDir->path());
        m_app = std::make_unique<QApplication>(m_argc, m_argv);
    }
    void TearDown() override {
        m_app.reset();
        m_settingsDir.reset();
    }

  private:
    int m_argc = 1;
    char m_name[9] = "test_gui";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QTemporaryDir> m_settingsDir;
    std::unique_ptr<QApplication> m_app;
};

[[maybe_unused]] auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
