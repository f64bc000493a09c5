#pragma once
// The window's look: the skin style sheet, the application title, the
// cursors drawn for Tabrivo.

#include <QCursor>
#include <QString>
#include <optional>

class QWidget;

namespace tabrivo {

// The short title that captions every message box given no caption of its
// own: the product name cut at its last blank while it is longer than 40
// characters (the last word is always dropped); a one-word name stays whole.
QString applicationTitleFor(const QString& productName);
// NOLINTNEXTLINE(readability-identifier-naming): the start-up's established name
void SetApplicationTitle(const QString& productName);

// The skin file beside the program: programFolder/x/o.cjs.
QString skinFilePath(const QString& programFolder);

// When the skin file exists (a plain, not hidden file), gives the window and
// its option buttons, check boxes, frames and labels the button-face colour,
// then applies the style sheet the file holds. Returns whether it did.
// Throws std::runtime_error naming the file when it cannot be read.
// NOLINTNEXTLINE(readability-identifier-naming)
bool ApplySkin(QWidget* window, const QString& programFolder);

// A cursor from a .cur or .ico picture with the given hot spot; nothing when
// the file is missing or unreadable.
std::optional<QCursor> loadCursor(const QString& path, int hotX, int hotY);

}  // namespace tabrivo
