#include "frmStep1.h"

#include <QApplication>

// The window is the program: it starts with the window and ends when the window closes.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(applicationTitle());
    QApplication::setApplicationVersion(QStringLiteral(APP_VERSION));

    frmStep1 window;
    window.show();
    return QApplication::exec();
}
