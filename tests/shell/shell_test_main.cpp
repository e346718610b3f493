// Runs every test class of the client on one QApplication.
#include <QApplication>
#include <QTest>

#include "tests/shell/test_classes.h"

int main(int argc, char** argv) {
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
