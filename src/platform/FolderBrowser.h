// The folder picker. Unlike the rest of this folder it shows a dialog, so it is built into the
// window's library (emlxgui), not into the core.
#pragma once

#include <QString>

class QWidget;

// Shows the platform's folder picker, modal over `owner`, with `prompt` as its title. The full
// path of the accepted folder, or empty text when the user cancelled.
QString BrowseForFolder(QWidget *owner, const QString &prompt);
