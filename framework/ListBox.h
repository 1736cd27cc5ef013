#pragma once
// A single-selection list box over a TStringListModel, with its items by
// index and the selected index (-1 for none).

#include "StringListModel.h"

#include <QListView>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quellora {

class TListBox : public QListView {
    Q_OBJECT
public:
    explicit TListBox(QWidget* parent = nullptr);

    TStringListModel& Items() { return model_; }
    const TStringListModel& Items() const { return model_; }

    int ItemIndex() const;
    // An index outside the list clears the selection, as the list control does.
    void SetItemIndex(int index);

    void SetItemHeight(int pixels);

    // A double-click, and Enter on the list: both run it on the selected item.
    std::function<void()> OnDblClick;
    // Local files dropped from another program, as paths of bytes in the
    // order of the drop. Drops are taken only while it is set; the dropped
    // files are copied or linked, never moved.
    std::function<void(const std::vector<std::string>&)> OnDropFiles;

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
    QSize sizeHint() const override { return size(); }

private:
    TStringListModel model_;
    int itemHeight_ = 14;
};

// The local files of a text/uri-list (RFC 2483): "file:" URIs with no host,
// "localhost" or this machine's name, their percent escapes turned back into
// the path's bytes. Comments, other schemes and other hosts are left out.
std::vector<std::string> LocalFilesFromUriList(std::string_view uriList);

} // namespace quellora
