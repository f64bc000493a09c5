#pragma once
// Files and folders dropped on the list from other programs.

#include <QStringList>
#include <string>
#include <vector>

class QMimeData;

namespace tabrivo {

// True when the dragged data carries local files or folders.
bool carriesLocalFiles(const QMimeData* data);

// The local paths of the dropped data, in drop order, with native separators.
std::vector<std::string> droppedLocalPaths(const QMimeData* data);

}  // namespace tabrivo
