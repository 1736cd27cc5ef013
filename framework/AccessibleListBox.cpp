#include "AccessibleListBox.h"

#include "ListBox.h"

namespace quellora {

TAccessibleListBox::TAccessibleListBox(TListBox* list) : QAccessibleWidget(list, QAccessible::List)
{
    // Looked up by its id, known once it has items: the interface may be
    // gone before the list is.
    auto forget = [selfId = selfId_] {
        if (auto* self = dynamic_cast<TAccessibleListBox*>(QAccessible::accessibleInterface(*selfId)))
            self->ForgetItems();
    };
    const TStringListModel* model = &list->Items();
    QObject::connect(model, &QAbstractItemModel::rowsInserted, list, forget);
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, list, forget);
    QObject::connect(model, &QAbstractItemModel::modelReset, list, forget);
    QObject::connect(model, &QAbstractItemModel::layoutChanged, list, forget);
}

TAccessibleListBox::~TAccessibleListBox()
{
    ForgetItems();
}

TListBox* TAccessibleListBox::list() const
{
    return static_cast<TListBox*>(widget());
}

void TAccessibleListBox::ForgetItems()
{
    for (const auto& [row, id] : items_)
        QAccessible::deleteAccessibleInterface(id);
    items_.clear();
}

int TAccessibleListBox::childCount() const
{
    return list()->Items().Count();
}

QAccessibleInterface* TAccessibleListBox::child(int index) const
{
    if (index < 0 || index >= childCount())
        return nullptr;
    if (auto found = items_.find(index); found != items_.end()) {
        if (QAccessibleInterface* known = QAccessible::accessibleInterface(found->second))
            return known;
    }
    if (*selfId_ == 0)
        *selfId_ = QAccessible::uniqueId(const_cast<TAccessibleListBox*>(this));
    auto* item = new TAccessibleListItem(list(), index);
    items_[index] = QAccessible::registerAccessibleInterface(item);
    return item;
}

int TAccessibleListBox::indexOfChild(const QAccessibleInterface* child) const
{
    const auto* item = dynamic_cast<const TAccessibleListItem*>(child);
    return item && item->List() == list() && item->isValid() ? item->Row() : -1;
}

QAccessibleInterface* TAccessibleListBox::childAt(int x, int y) const
{
    const QModelIndex hit = list()->indexAt(list()->viewport()->mapFromGlobal(QPoint(x, y)));
    return hit.isValid() ? child(hit.row()) : nullptr;
}

QAccessibleInterface* TAccessibleListBox::focusChild() const
{
    const QModelIndex current = list()->currentIndex();
    return list()->hasFocus() && current.isValid() ? child(current.row()) : nullptr;
}

TAccessibleListItem::TAccessibleListItem(TListBox* list, int row) : list_(list), row_(row) {}

bool TAccessibleListItem::isValid() const
{
    return list_ && row_ < list_->Items().Count();
}

QWindow* TAccessibleListItem::window() const
{
    return list_ ? list_->window()->windowHandle() : nullptr;
}

QAccessibleInterface* TAccessibleListItem::parent() const
{
    return list_ ? QAccessible::queryAccessibleInterface(list_.data()) : nullptr;
}

QString TAccessibleListItem::text(QAccessible::Text t) const
{
    if (t != QAccessible::Name || !isValid())
        return {};
    return list_->Items().data(list_->Items().index(row_), Qt::DisplayRole).toString();
}

QRect TAccessibleListItem::rect() const
{
    if (!isValid())
        return {};
    const QRect shown = list_->visualRect(list_->Items().index(row_));
    return shown.translated(list_->viewport()->mapToGlobal(QPoint(0, 0)));
}

QAccessible::State TAccessibleListItem::state() const
{
    QAccessible::State state;
    if (!isValid()) {
        state.invalid = true;
        return state;
    }
    const QModelIndex index = list_->Items().index(row_);
    state.selectable = true;
    state.focusable = true;
    state.selected = list_->selectionModel()->isSelected(index);
    state.focused = list_->hasFocus() && list_->currentIndex() == index;
    const bool inView = list_->viewport()->rect().intersects(list_->visualRect(index));
    state.invisible = !list_->isVisible() || !inView;
    state.offscreen = !inView;
    return state;
}

void* TAccessibleListItem::interface_cast(QAccessible::InterfaceType type)
{
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
}

void TAccessibleListItem::doAction(const QString& actionName)
{
    if (actionName != setFocusAction() || !isValid())
        return;
    list_->setFocus(Qt::OtherFocusReason);
    list_->SetItemIndex(row_);
}

} // namespace quellora
