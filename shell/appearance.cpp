#include <shell/appearance.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QRadioButton>
#include <QWidget>
#include <stdexcept>

namespace tabrivo {
namespace {
constexpr qsizetype kTitleLimit = 40;
}

QString applicationTitleFor(const QString& productName) {
    QString title = productName;
    if (!title.contains(QLatin1Char(' '))) {
        return title;  // nothing to cut at: the whole name is the title
    }
    do {
        title = title.left(title.lastIndexOf(QLatin1Char(' ')));
    } while (title.size() > kTitleLimit && title.contains(QLatin1Char(' ')));
    return title;
}

void SetApplicationTitle(const QString& productName) {
    QCoreApplication::instance()->setProperty("tabrivoTitle", applicationTitleFor(productName));
}

QString skinFilePath(const QString& programFolder) {
    return programFolder + QDir::separator() + QStringLiteral("x") + QDir::separator() +
           QStringLiteral("o.cjs");
}

bool ApplySkin(QWidget* window, const QString& programFolder) {
    const QFileInfo skin(skinFilePath(programFolder));
    if (!skin.isFile() || skin.isHidden()) {
        return false;
    }
    auto buttonFace = [](QWidget* widget) {
        QPalette palette = widget->palette();
        palette.setColor(widget->backgroundRole(), palette.color(QPalette::Button));
        widget->setPalette(palette);
    };
    buttonFace(window);
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (qobject_cast<QRadioButton*>(child) != nullptr ||
            qobject_cast<QCheckBox*>(child) != nullptr ||
            qobject_cast<QGroupBox*>(child) != nullptr || qobject_cast<QLabel*>(child) != nullptr) {
            buttonFace(child);
        }
    }
    QFile file(skin.filePath());
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error(QStringLiteral("Cannot read the skin file \"%1\": %2")
                                     .arg(skin.filePath(), file.errorString())
                                     .toStdString());
    }
    window->setStyleSheet(QString::fromUtf8(file.readAll()));
    return true;
}

std::optional<QCursor> loadCursor(const QString& path, int hotX, int hotY) {
    const QPixmap picture(path);
    if (picture.isNull()) {
        return std::nullopt;
    }
    return QCursor(picture, hotX, hotY);
}

}  // namespace tabrivo
