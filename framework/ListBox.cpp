#include "ListBox.h"

#include "Accessibility.h"
#include "FileUri.h"
#include "Handler.h"

#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
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
    InstallFrameworkAccessibility();
    setModel(&model_);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Every row has the same height: a million items stay fast.
    setUniformItemSizes(true);
    setItemDelegate(new FixedHeightDelegate(&itemHeight_, this));
    // Drops from other programs arrive at the viewport; OnDropFiles decides.
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
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

void TListBox::keyPressEvent(QKeyEvent* event)
{
    // Enter does what a double-click does, on the item that the keys selected.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && !(event->modifiers() & ~Qt::KeypadModifier) && OnDblClick) {
        RunHandler(OnDblClick);
        return;
    }
    QListView::keyPressEvent(event);
}

namespace {

const char* const UriListType = "text/uri-list";

// The source offers its actions; a copy or a link leaves the files where
// they are, whatever the source would rather do.
bool chooseDropAction(QDropEvent* event)
{
    for (Qt::DropAction action : {Qt::CopyAction, Qt::LinkAction}) {
        if (event->possibleActions() & action) {
            event->setDropAction(action);
            return true;
        }
    }
    return false;
}

} // namespace

std::vector<std::string> LocalFilesFromUriList(std::string_view uriList)
{
    std::vector<std::string> files;
    size_t start = 0;
    while (start < uriList.size()) {
        size_t end = uriList.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = uriList.size();
        if (std::optional<std::string> path = LocalPathOfFileUri(uriList.substr(start, end - start)))
            files.push_back(std::move(*path));
        start = end + 1;
    }
    return files;
}

void TListBox::dragEnterEvent(QDragEnterEvent* event)
{
    if (OnDropFiles && event->mimeData()->hasFormat(UriListType) && chooseDropAction(event))
        event->accept();
    else
        event->ignore();
}

void TListBox::dragMoveEvent(QDragMoveEvent* event)
{
    if (OnDropFiles && event->mimeData()->hasFormat(UriListType) && chooseDropAction(event))
        event->accept();
    else
        event->ignore();
}

void TListBox::dropEvent(QDropEvent* event)
{
    if (!OnDropFiles || !event->mimeData()->hasFormat(UriListType) || !chooseDropAction(event)) {
        event->ignore();
        return;
    }
    const QByteArray raw = event->mimeData()->data(UriListType);
    std::vector<std::string> files = LocalFilesFromUriList(std::string_view(raw.constData(), size_t(raw.size())));
    event->accept();
    // The handler runs once the drop is over, so the source is not kept
    // waiting by a message box that the handler may show.
    if (!files.empty())
        QMetaObject::invokeMethod(
            this, [this, files = std::move(files)] { RunHandler([&] { if (OnDropFiles) OnDropFiles(files); }); },
            Qt::QueuedConnection);
}

} // namespace quellora
