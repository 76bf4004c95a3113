#include "app/startup.h"

#include <QApplication>
#include <QMainWindow>

namespace pm {

int RunApplication(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle("QUELM Pellmark Client");
    window.resize(800, 600);
    window.show();
    return app.exec();
}

} // namespace pm
