#include "app/frmStep1.h"
#include "platform/ProcessSignals.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace {

// Files named on the command line, by a file manager's "Open with" or the menu entry's %F.
QStringList filesToOpen(const QApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Converts Mac mail .emlx message files into .eml files."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("An .emlx file to put in the list."),
                                 QStringLiteral("[FILE...]"));
    parser.process(app);
    QStringList paths;
    for (const QString &given : parser.positionalArguments())
        paths.append(QDir::cleanPath(QFileInfo(given).absoluteFilePath()));
    return paths;
}

} // namespace

// The window is the program: it starts with the window and ends when the window closes.
int main(int argc, char *argv[])
{
    setSharedSignalDispositions();
    QApplication app(argc, argv);
    QApplication::setApplicationName(applicationTitle());
    QApplication::setApplicationVersion(QStringLiteral(APP_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(EMLX_APP_ID)); // the shell finds the menu entry's icon
    const QStringList files = filesToOpen(app);

    frmStep1 window;
    window.openFiles(files);
    window.show();
    return QApplication::exec();
}
