#include "app/frmStep1.h"
#include "platform/ProcessSignals.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <cstring>

namespace {

void nameApplication()
{
    QCoreApplication::setApplicationName(applicationTitle());
    QCoreApplication::setApplicationVersion(QStringLiteral(APP_VERSION));
}

// The command line: files named by a file manager's "Open with" or the menu entry's %F, and
// --help and --version, which print and end the program.
QStringList filesToOpen(const QCoreApplication &app)
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

// Whether the command line asks for the help or the version, which need no display.
bool asksForHelpOrVersion(int argc, char *argv[])
{
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
        for (const char *option : {"-h", "--help", "-?", "--help-all", "-v", "--version"})
            if (std::strcmp(argv[i], option) == 0)
                return true;
    return false;
}

} // namespace

// The window is the program: it starts with the window and ends when the window closes.
int main(int argc, char *argv[])
{
    setSharedSignalDispositions();
    if (asksForHelpOrVersion(argc, argv)) {
        const QCoreApplication app(argc, argv);
        nameApplication();
        filesToOpen(app); // prints, and ends the program
    }
    QApplication app(argc, argv);
    nameApplication();
    QGuiApplication::setDesktopFileName(QStringLiteral(EMLX_APP_ID)); // the shell finds the menu entry's icon
    const QStringList files = filesToOpen(app);

    frmStep1 window;
    window.openFiles(files);
    window.show();
    return QApplication::exec();
}
