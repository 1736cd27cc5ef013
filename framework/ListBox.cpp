#include "ListBox.h"

#include "Handler.h"

#include <QMouseEvent>
#include <QStyledItemDelegate>

namespace quellora {

namespace {
class FixedHeightDelegate : public QStyledItemDelegate {
public:
    FixedHeightDelegate(int* height, QObject* parent) : QStyledItemDelegate(parent), height_(height) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setHeight(*height_);
        return s;
    }

private:
    int* height_;
};
} // namespace

TListBox::TListBox(QWidget* parent) : QListView(parent)
{
    setModel(&model_);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Every row has the same height: a million items stay fast.
    setUniformItemSizes(true);
    setItemDelegate(new FixedHeightDelegate(&itemHeight_, this));
}

int TListBox::ItemIndex() const
{
    const QModelIndex current = selectionModel()->currentIndex();
    if (!current.isValid() || !selectionModel()->isSelected(current))
        return -1;
    return current.row();
}

void TListBox::SetItemIndex(int index)
{
    if (index < 0 || index >= model_.Count()) {
        selectionModel()->clear();
        return;
    }
    const QModelIndex target = model_.index(index);
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    scrollTo(target);
}

void TListBox::SetItemHeight(int pixels)
{
    itemHeight_ = pixels;
    doItemsLayout();
}

void TListBox::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end)
{
    // The view would select the next item in place of a removed selected
    // one; the list control leaves nothing selected instead.
    const int selected = ItemIndex();
    QListView::rowsAboutToBeRemoved(parent, start, end);
    if (selected >= start && selected <= end)
        selectionModel()->clear();
}

void TListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The item under the mouse is selected first, then the handler runs.
    const QModelIndex hit = indexAt(event->position().toPoint());
    if (hit.isValid())
        SetItemIndex(hit.row());
    if (OnDblClick && event->button() == Qt::LeftButton)
        RunHandler(OnDblClick);
}

} // namespace quellora
