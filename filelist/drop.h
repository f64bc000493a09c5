#pragma once
// Files and folders dropped on the list from other programs.

#include <QStringList>
#include <string>
#include <vector>

class QDropEvent;
class QMimeData;

namespace tabrivo {

// True when the dragged data carries local files or folders.
bool carriesLocalFiles(const QMimeData* data);

// The local paths of the dropped data, in drop order, with native separators.
std::vector<std::string> droppedLocalPaths(const QMimeData* data);

// Answers a drag over the list, or a drop on it (a QDragMoveEvent is one too):
// a welcome one is taken as a copy, whatever the source proposes (a Shift-drag
// proposes a move), since the list never moves or changes the files; any
// other is refused. Returns `welcome`.
bool takeAsCopy(QDropEvent* event, bool welcome);

}  // namespace tabrivo
