#include <ui/command_line.h>

#include <QDir>

namespace tabrivo {

WindowArguments windowArguments(const QStringList& arguments, const QString& workingFolder) {
    WindowArguments result;
    bool optionsEnded = false;
    for (const QString& argument : arguments) {
        if (!optionsEnded && argument == QStringLiteral("--")) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && argument.size() > 1 && argument.startsWith(QLatin1Char('-'))) {
            if (result.unknownOption.isEmpty()) {
                result.unknownOption = argument;
            }
            continue;
        }
        if (argument.isEmpty()) {
            continue;
        }
        const QString absolute = QDir::cleanPath(QDir(workingFolder).absoluteFilePath(argument));
        result.paths << QDir::toNativeSeparators(absolute);
    }
    return result;
}

}  // namespace tabrivo
