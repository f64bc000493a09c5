#pragma once
// The per-user settings store: named texts under application "Tavrenco",
// section "Tabrivo". Every value is read where it is needed, with the
// reader's default, and written the moment it changes.

#include <QString>
#include <QVariant>
#include <memory>

class QSettings;

namespace tabrivo {

// The keys, in one place.
namespace SettingKey {
inline const QString Text2 = QStringLiteral("Text2");
inline const QString Option1 = QStringLiteral("Option1");
inline const QString Option2 = QStringLiteral("Option2");
inline const QString LastFolderDot = QStringLiteral("LastFolderDot");
inline const QString Extension = QStringLiteral("Extension");
inline const QString LastFolder = QStringLiteral("LastFolder");
inline const QString Snapshot = QStringLiteral("Snapshot");
}  // namespace SettingKey

class SettingsStore {
public:
    // The user's store (~/.config/Tavrenco/Tabrivo.ini on Linux).
    SettingsStore();
    // A store kept in the given file (tests use a temporary one).
    explicit SettingsStore(const QString& iniFile);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // The stored text, or the default turned into text (a number as its
    // digits, a truth value as "True"/"False") when the key is absent.
    QString ReadSetting(const QString& key, const QVariant& defaultValue) const;
    // Stores the text and makes sure it reached the store; throws
    // std::runtime_error naming the key, the store's file and the reason.
    void WriteSetting(const QString& key, const QString& value);

    // A truth value: "True" or a non-zero number is true, "False" or 0 false;
    // any other text throws std::runtime_error naming the key and the text.
    bool readTruth(const QString& key, bool defaultValue) const;
    void writeTruth(const QString& key, bool value);

    QString fileName() const;

private:
    // A fresh view of the store for every call: what another running copy
    // wrote is seen, and a write that fails is tried again, not skipped as
    // already done.
    std::unique_ptr<QSettings> open() const;

    QString m_iniFile;  // empty: the user's store
};

// The text form of a truth value, as stored.
QString truthText(bool value);

}  // namespace tabrivo
