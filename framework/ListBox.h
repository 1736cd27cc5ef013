#pragma once
// A single-selection list box over a TStringListModel, with its items by
// index and the selected index (-1 for none).

#include "StringListModel.h"

#include <QListView>
#include <functional>

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

    std::function<void()> OnDblClick;

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
    QSize sizeHint() const override { return size(); }

private:
    TStringListModel model_;
    int itemHeight_ = 14;
};

} // namespace quellora
