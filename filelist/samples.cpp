#include <filelist/samples.h>

#include <QDir>
#include <QUrl>

#include <files/folder_scan.h>
#include <shell/error_box.h>

namespace tabrivo {
namespace {

QString samplesFolder(const QString& programFolder) {
    return programFolder + QDir::separator() + QStringLiteral("Samples");
}

// The scrambled bytes travel through the store as one character each.
QString bytesToSetting(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string settingToBytes(const QString& text) {
    return text.toLatin1().toStdString();
}

}  // namespace

std::string ScrambleText(std::string_view text, std::string_view key) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        int sum =
            static_cast<unsigned char>(text[i]) + static_cast<unsigned char>(key[i % key.size()]);
        if (sum > 255) {
            sum -= 255;
        }
        out.push_back(static_cast<char>(sum));
    }
    return out;
}

std::string UnscrambleText(std::string_view text, std::string_view key) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        int difference =
            static_cast<unsigned char>(text[i]) - static_cast<unsigned char>(key[i % key.size()]);
        if (difference < 1) {
            difference += 255;
        }
        out.push_back(static_cast<char>(difference));
    }
    return out;
}

void BuildSampleList(SettingsStore& settings, const QString& programFolder) {
    const QString folder = samplesFolder(programFolder);
    std::vector<std::string> names;
    if (QDir(folder).exists()) {
        names = ListFilesInFolder(folder.toStdString(), "*.*");
    }
    std::string joined;
    for (const std::string& name : names) {
        if (!joined.empty()) {
            joined.push_back('|');
        }
        joined += (folder + QDir::separator()).toStdString() + name;
    }
    settings.WriteSetting(SettingKey::Snapshot, bytesToSetting(ScrambleText(joined, kSnapshotKey)));
}

void LoadSampleFiles(FileList& list, SettingsStore& settings, Dialogs& dialogs, UrlOpener& opener,
                     const QString& programFolder) {
    const std::string recorded = UnscrambleText(
        settingToBytes(settings.ReadSetting(SettingKey::Snapshot, QString())), kSnapshotKey);
    if (!recorded.empty()) {
        for (const QString& path : QString::fromStdString(recorded).split(QLatin1Char('|'))) {
            if (FileExists(path) && !list.contains(path)) {
                list.append(path);
            }
        }
    }
    if (dialogs.question(kOpenSamplesQuestion, applicationTitle())) {
        opener.open(QUrl::fromLocalFile(samplesFolder(programFolder) + QDir::separator()));
    }
}

}  // namespace tabrivo
