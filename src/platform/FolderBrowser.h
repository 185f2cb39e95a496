// The folder picker. Unlike the rest of this folder it shows a dialog, so it is built into the
// window's library (emlxgui), not into the core.
#pragma once

#include <QString>

class QWidget;

// Shows a folder picker, modal over `owner`, opened at `startFolder`, with `prompt` as its title
// and inside the dialog beside the folder it is in, so that two pickers cannot be taken for one
// another. With `offerNewFolder`, a typed name of a folder that does not exist is offered to be
// made (Qt's own picker only says it is not there). The full path of the accepted folder, or
// empty text when the user cancelled.
QString BrowseForFolder(QWidget *owner, const QString &prompt, const QString &startFolder,
                        bool offerNewFolder = false);
