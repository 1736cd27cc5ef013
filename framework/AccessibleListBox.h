#pragma once
// The list box as a screen reader sees it: a list whose children are its
// items, by row. An item is focused only while the list has the keyboard
// focus and the item is the current one, and showing only while it is
// scrolled into view; Qt's own item views say "focused" of the current item
// whatever has the focus.

#include <QAccessibleWidget>
#include <QPointer>

#include <memory>
#include <unordered_map>

namespace quellora {

class TListBox;

class TAccessibleListBox : public QAccessibleWidget {
public:
    explicit TAccessibleListBox(TListBox* list);
    ~TAccessibleListBox() override;

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

    // The items' interfaces are made as they are asked for; a change of the
    // list's rows drops them all, so none outlives its row.
    void ForgetItems();

private:
    TListBox* list() const;

    mutable std::unordered_map<int, QAccessible::Id> items_;
    std::shared_ptr<QAccessible::Id> selfId_ = std::make_shared<QAccessible::Id>(0);
};

class TAccessibleListItem : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    TAccessibleListItem(TListBox* list, int row);

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    // Its one action selects it and gives the list the focus, as a click does.
    QStringList actionNames() const override { return {setFocusAction()}; }
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    int Row() const { return row_; }
    const TListBox* List() const { return list_; }

private:
    QPointer<TListBox> list_;
    int row_;
};

} // namespace quellora
