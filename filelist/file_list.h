#pragma once
// The file list: the source files the next conversion run will process, one
// full path a row, in the order they were added. Rows may repeat.

#include <QString>
#include <QStyledItemDelegate>

class QTreeWidget;

namespace tabrivo {

class FileList {
public:
    // Works on the window's list control; it does not own it.
    explicit FileList(QTreeWidget* view) : m_view(view) {}

    // Creates the one column, "HTML File(s)", 480 pixels wide.
    void createColumn();

    void append(const QString& path);
    int count() const;
    // The text of row `row` (1-based, 1 <= row <= count()).
    QString rowText(int row) const;
    // The selected row (1-based), or 0 when none is.
    int selectedRow() const;
    // True when some row's text is exactly `path` (case counts).
    bool contains(const QString& path) const;

    // Removes the selected row, unless the window is busy (the hourglass
    // shows), the list is empty or nothing is selected.
    void removeSelected(bool busy);
    // Removes every row, unless the window is busy.
    void clear(bool busy);
    // Moves a dragged row onto another (1-based) by exchanging their texts
    // and selects it there; rows with equal texts are never exchanged
    // (returns false then, or when a row is out of range).
    bool exchangeRows(int dragged, int target);

    // Entering the list by keyboard marks a row: when rows exist and none is
    // selected, the current row (else the first) becomes selected.
    void markRowOnEntry();
    // Scrolls rows added from `firstAdded` (1-based) on into view, the first
    // of them as high as it goes; nothing when no such row exists.
    void revealAddedRows(int firstAdded);

private:
    QTreeWidget* m_view;
};

// Draws the rows as the list always does; a row whose path is cut (by the
// column's divider or the list's edge) shows its whole path as its tooltip,
// other rows leave the list's own tooltip.
class CutPathToolTips : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};

}  // namespace tabrivo
