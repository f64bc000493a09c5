#include <filelist/drop.h>

#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace tabrivo {

bool carriesLocalFiles(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) {
        return false;
    }
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

std::vector<std::string> droppedLocalPaths(const QMimeData* data) {
    std::vector<std::string> paths;
    if (data == nullptr) {
        return paths;
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            QString path = QDir::toNativeSeparators(url.toLocalFile());
            while (path.size() > 1 && path.endsWith(QDir::separator())) {
                path.chop(1);  // a dropped folder may come with a trailing separator
            }
            paths.push_back(path.toStdString());
        }
    }
    return paths;
}

bool takeAsCopy(QDropEvent* event, bool welcome) {
    if (welcome) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
    return welcome;
}

}  // namespace tabrivo
