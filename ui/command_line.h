#pragma once
// The window's command line: the files and folders to open, as a file
// manager's "Open With" passes them (the desktop entry's Exec=tabrivo %F).

#include <QString>
#include <QStringList>

namespace tabrivo {

struct WindowArguments {
    QStringList paths;      // absolute, in the order given
    QString unknownOption;  // the first argument taken for an unknown option
};

// The paths named by `arguments` (the program's name left out, Qt's own
// options already taken out), each made absolute against `workingFolder` and
// without a trailing separator, as a drop gives them. "--" ends the options:
// before it, an argument beginning with "-" (other than "-" itself) is an
// unknown option.
WindowArguments windowArguments(const QStringList& arguments, const QString& workingFolder);

}  // namespace tabrivo
