// The Sql plugins and QProcess need a QCoreApplication; one lives for the whole test run.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>

namespace {

class QtApp : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char nombre[] = "test_tools";
        static char* argv[] = {nombre, nullptr};
        m_app = std::make_unique<QCoreApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

  private:
    std::unique_ptr<QCoreApplication> m_app;
};

const auto* const kQtApp = ::testing::AddGlobalTestEnvironment(new QtApp);

}  // namespace
