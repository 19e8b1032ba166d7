#include "support/TestEnvironment.h"

#include <QApplication>
#include <gmock/gmock.h>
#include <unistd.h>

int main(int argc, char** argv) {
    kestrion::test::isolateUserEnvironment();
    if (::geteuid() == 0) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    // The web engine shares GL contexts with the widgets; must be set before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
