#include <filelist/file_list.h>

#include <QHeaderView>
#include <QHelpEvent>
#include <QToolTip>
#include <QTreeWidget>

namespace tabrivo {
namespace {
constexpr int kColumnWidth = 7200 / 15;  // 7200 twips
}

void FileList::createColumn() {
    m_view->setColumnCount(1);
    m_view->setHeaderLabels({QStringLiteral("HTML File(s)")});
    m_view->setColumnWidth(0, kColumnWidth);
}

void FileList::append(const QString& path) {
    auto* row = new QTreeWidgetItem(m_view);  // owned by the view
    row->setText(0, path);
}

int FileList::count() const {
    return m_view->topLevelItemCount();
}

QString FileList::rowText(int row) const {
    const QTreeWidgetItem* item = m_view->topLevelItem(row - 1);
    return item != nullptr ? item->text(0) : QString();
}

int FileList::selectedRow() const {
    const QList<QTreeWidgetItem*> selected = m_view->selectedItems();
    if (selected.isEmpty()) {
        return 0;
    }
    return m_view->indexOfTopLevelItem(selected.front()) + 1;
}

bool FileList::exchangeRows(int dragged, int target) {
    QTreeWidgetItem* draggedItem = m_view->topLevelItem(dragged - 1);
    QTreeWidgetItem* targetItem = m_view->topLevelItem(target - 1);
    if (draggedItem == nullptr || targetItem == nullptr ||
        draggedItem->text(0) == targetItem->text(0)) {
        return false;
    }
    const QString kept = draggedItem->text(0);
    draggedItem->setText(0, targetItem->text(0));
    targetItem->setText(0, kept);
    m_view->setCurrentItem(targetItem);
    return true;
}

bool FileList::contains(const QString& path) const {
    for (int i = 0; i < m_view->topLevelItemCount(); ++i) {
        if (m_view->topLevelItem(i)->text(0) == path) {
            return true;
        }
    }
    return false;
}

void FileList::removeSelected(bool busy) {
    if (busy || count() == 0) {
        return;
    }
    const int row = selectedRow();
    if (row == 0) {
        return;
    }
    delete m_view->takeTopLevelItem(row - 1);
}

void FileList::clear(bool busy) {
    if (!busy) {
        m_view->clear();
    }
}

void FileList::markRowOnEntry() {
    if (count() == 0 || !m_view->selectedItems().isEmpty()) {
        return;
    }
    QTreeWidgetItem* current = m_view->currentItem();
    m_view->setCurrentItem(current != nullptr ? current : m_view->topLevelItem(0));
}

void FileList::revealAddedRows(int firstAdded) {
    if (firstAdded >= 1 && firstAdded <= count()) {
        m_view->scrollToItem(m_view->topLevelItem(firstAdded - 1),
                             QAbstractItemView::PositionAtTop);
    }
}

bool CutPathToolTips::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() == QEvent::ToolTip && index.isValid()) {
        const QRect shown = option.rect.intersected(view->viewport()->rect());
        if (sizeHint(option, index).width() > shown.width()) {
            QToolTip::showText(event->globalPos(), index.data().toString(), view->viewport(),
                               shown);
            return true;
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

}  // namespace tabrivo
