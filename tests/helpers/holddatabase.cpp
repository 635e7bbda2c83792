// A process that holds a database the way a job does, for the tests of jobs that meet each other:
//   vexilo-test-hold DATABASE
// prints "held" once it has the database and keeps it until its standard input closes.
#include <QCoreApplication>
#include <chrono>
#include <cstdio>

#include "engines/dao.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: vexilo-test-hold DATABASE\n");
        return 2;
    }
    try {
        auto db = vexilo::engines::OpenDatabaseForJob(vexilo::engines::DBEngine::instance().Workspaces(0),
                                                      QString::fromLocal8Bit(argv[1]),
                                                      std::chrono::seconds(30), {});
        std::printf("held\n");
        std::fflush(stdout);
        while (std::getchar() != EOF) {
        }
        db->Close();
        return 0;
    } catch (const vexilo::core::EngineError& e) {
        std::fprintf(stderr, "%s\n", e.description().toUtf8().constData());
        return 1;
    }
}
