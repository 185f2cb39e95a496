#include "frmStep1.h"

#include <QApplication>

#include <csignal>

// The window is the program: it starts with the window and ends when the window closes.
int main(int argc, char *argv[])
{
#ifdef SIGXFSZ
    // Past a file-size limit a write should fail and be reported, not end the program.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(applicationTitle());
    QApplication::setApplicationVersion(QStringLiteral(APP_VERSION));

    frmStep1 window;
    window.show();
    return QApplication::exec();
}
