#include "app/startup.h"

#include <QApplication>
#include <QFont>

namespace pm {

std::unique_ptr<QMainWindow> CreateMainWindow()
{
    auto window = std::make_unique<QMainWindow>();
    window->setWindowTitle("QUELM Pellmark Client");
    window->resize(800, 600);
    return window;
}

int RunApplication(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // Liberation Sans stands in for Arial, metric for metric.
    app.setFont(QFont("Liberation Sans", 9));
    auto window = CreateMainWindow();
    window->show();
    return app.exec();
}

} // namespace pm
