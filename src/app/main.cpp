#include <QApplication>
#include <QMainWindow>

#include "platform/Strings.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(Strings::text(Strings::AppTitle));
    window.show();
    return app.exec();
}
