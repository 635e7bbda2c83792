// The Sql plugins and QProcess need a QCoreApplication; one lives for the whole test run of the binaries
// that link this file (those without a window).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>

namespace {

class QtApp : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "vexilo-test";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QCoreApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

  private:
    std::unique_ptr<QCoreApplication> m_app;
};

const auto* const kQtApp = ::testing::AddGlobalTestEnvironment(new QtApp);

}  // namespace
