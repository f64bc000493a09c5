#pragma once
// Keeps the window's tests away from the real user's folders: Qt's test mode
// for standard locations, and HOME and the XDG folders pointed at a folder the
// test owns.

#include <QByteArray>
#include <QStandardPaths>
#include <QString>

namespace tabrivo::test {

// Makes `home` the home folder, with the XDG folders inside it. Call before
// anything reads a standard location.
inline void useHomeFolder(const QString& home) {
    QStandardPaths::setTestModeEnabled(true);
    const QByteArray path = home.toLocal8Bit();
    qputenv("HOME", path);
    qputenv("XDG_CONFIG_HOME", path + "/.config");
    qputenv("XDG_DATA_HOME", path + "/.local/share");
    qputenv("XDG_CACHE_HOME", path + "/.cache");
    qunsetenv("XDG_CONFIG_DIRS");
    qunsetenv("XDG_DATA_DIRS");
}

}  // namespace tabrivo::test
