#include <shell/shell_helpers.h>

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTime>
#include <random>
#include <stdexcept>

#include <engine/product.h>

namespace tabrivo {

bool DesktopUrlOpener::open(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

RandomSource clockSeededRandom() {
    auto engine = std::make_shared<std::mt19937>(
        static_cast<std::mt19937::result_type>(QTime::currentTime().msecsSinceStartOfDay()));
    return [engine] { return std::uniform_real_distribution<double>(0.0, 1.0)(*engine); };
}

QString GetSpecialFolderPath(int folder) {
    if (folder != kDesktopFolder) {
        return {};
    }
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!desktop.isEmpty() && QFileInfo(desktop).isDir()) {
        return QDir::toNativeSeparators(desktop);
    }
    return QDir::toNativeSeparators(QDir::homePath());
}

QString GetDesktopFolder() {
    QString folder = GetSpecialFolderPath(kDesktopFolder);
    if (folder.isEmpty()) {
        throw std::invalid_argument(
            "Invalid procedure call or argument: the desktop folder is unknown");
    }
    if (!folder.endsWith(QDir::separator())) {
        folder += QDir::separator();
    }
    return folder;
}

bool FileExists(const QString& path) {
    return !path.isEmpty() && QFileInfo::exists(path);
}

void VisitHomePageByChance(const RandomSource& random, UrlOpener& opener) {
    const int drawn = static_cast<int>(random() * 100.0) + 1;
    if (drawn == 7) {
        opener.open(
            QUrl(QString::fromUtf8(kHomePageUrl.data(), static_cast<int>(kHomePageUrl.size()))));
    }
}

}  // namespace tabrivo
