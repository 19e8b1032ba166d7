#include "app/MainWindow.h"

namespace kestrion {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Kestrion Magic Website Builder"));
    resize(900, 700);
}

MainWindow::~MainWindow() = default;

} // namespace kestrion
