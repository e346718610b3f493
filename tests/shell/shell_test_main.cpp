// Runs every test class of the client on one QApplication.
#include <QApplication>
#include <QTest>
#include <sys/stat.h>

#include <cstdlib>

#include "tests/shell/test_classes.h"
#include "tests/support/temp_dir.h"

int main(int argc, char** argv) {
    // A runtime directory of their own: the instance lock the tests take is never the one of a
    // client running on this machine, whose lock would make them fail (and theirs it).
    ocv::test::TempDir runtime;
    chmod(runtime.str().c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.str().c_str(), 1);
    QApplication app(argc, argv);
    int failed = 0;
    failed += QTest::qExec(std::make_unique<LoginTest>().get(), argc, argv);
    failed += QTest::qExec(std::make_unique<RightsTest>().get(), argc, argv);
    failed += QTest::qExec(std::make_unique<MainWindowTest>().get(), argc, argv);
    failed += QTest::qExec(std::make_unique<StartupTest>().get(), argc, argv);
    failed += QTest::qExec(std::make_unique<StatusTest>().get(), argc, argv);
    failed += QTest::qExec(std::make_unique<RealPlayTest>().get(), argc, argv);
    return failed == 0 ? 0 : 1;
}
