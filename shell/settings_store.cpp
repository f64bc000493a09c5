#include <shell/settings_store.h>

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QThread>
#include <stdexcept>

namespace tabrivo {
namespace {

const QString kSection = QStringLiteral("Tabrivo");

QString defaultText(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool) {
        return truthText(value.toBool());
    }
    return value.toString();
}

QString keyPath(const QString& key) {
    return kSection + QLatin1Char('/') + key;
}

// A writer killed between creating the store's lock file and filling it
// leaves it empty, and the next write would wait half a minute for it to go
// stale. A live writer fills its lock at once, so one still empty a moment
// later was abandoned.
void removeAbandonedLock(const QString& lockPath) {
    if (!QFileInfo::exists(lockPath) || QFileInfo(lockPath).size() != 0) {
        return;
    }
    QThread::msleep(50);
    const QFileInfo again(lockPath);
    if (again.exists() && again.size() == 0) {
        QFile::remove(lockPath);
    }
}

}  // namespace

// A settings file is a few lines; more than this is not kept aside.
constexpr qint64 kMaxKeptSettingsBytes = qint64{1} << 20;

QString truthText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

SettingsStore::SettingsStore() = default;

SettingsStore::SettingsStore(const QString& iniFile) : m_iniFile(iniFile) {}

SettingsStore::~SettingsStore() = default;

std::unique_ptr<QSettings> SettingsStore::open() const {
    if (m_iniFile.isEmpty()) {
        return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                           QStringLiteral("Tavrenco"), QStringLiteral("Tabrivo"));
    }
    return std::make_unique<QSettings>(m_iniFile, QSettings::IniFormat);
}

QString SettingsStore::fileName() const {
    return open()->fileName();
}

QString SettingsStore::ReadSetting(const QString& key, const QVariant& defaultValue) const {
    const QVariant stored = open()->value(keyPath(key));
    return stored.isValid() ? stored.toString() : defaultText(defaultValue);
}

void SettingsStore::WriteSetting(const QString& key, const QString& value) {
    const std::unique_ptr<QSettings> settings = open();
    const QString file = settings->fileName();
    removeAbandonedLock(file + QStringLiteral(".lock"));
    // A file that cannot be read as settings is rewritten with only what
    // could be read from it, so its former content is kept to be put aside.
    QByteArray former;
    if (QFile formerFile(file); formerFile.open(QIODevice::ReadOnly)) {
        former = formerFile.read(kMaxKeptSettingsBytes);
    }
    settings->setValue(keyPath(key), value);
    settings->sync();
    if (settings->status() == QSettings::FormatError) {
        const QString keptAside = file + QStringLiteral(".damaged");
        QFile kept(keptAside);
        const bool isKept = kept.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                            kept.write(former) == former.size() && kept.flush();
        throw std::runtime_error(
            (isKept ? QStringLiteral("The settings file \"%1\" was damaged: the setting \"%3\" "
                                     "is saved, and what the file held before is kept in \"%2\"")
                    : QStringLiteral("The settings file \"%1\" was damaged: the setting \"%3\" "
                                     "is saved, but what the file held before could not be kept "
                                     "in \"%2\""))
                .arg(file, keptAside, key)
                .toStdString());
    }
    if (settings->status() == QSettings::AccessError) {
        throw std::runtime_error(QStringLiteral("Cannot save the setting \"%1\" to \"%2\": "
                                                "the settings file cannot be written")
                                     .arg(key, fileName())
                                     .toStdString());
    }
}

bool SettingsStore::readTruth(const QString& key, bool defaultValue) const {
    const QString text = ReadSetting(key, defaultValue).trimmed();
    if (text.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0) {
        return true;
    }
    if (text.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0) {
        return false;
    }
    bool isNumber = false;
    const double number = text.toDouble(&isNumber);
    if (isNumber) {
        return number != 0.0;
    }
    throw std::runtime_error(
        QStringLiteral("Type mismatch: the setting \"%1\" holds \"%2\", which is not True or False")
            .arg(key, text)
            .toStdString());
}

void SettingsStore::writeTruth(const QString& key, bool value) {
    WriteSetting(key, truthText(value));
}

}  // namespace tabrivo
