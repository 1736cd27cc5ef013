#pragma once
// A drop-down list as a screen reader should hear it: named by the label
// beside it ("Play next mp3"), with its chosen item as its value. Qt names a
// drop-down list by its chosen item on this platform and leaves the label to
// a relation that not every reader follows.

#include <QAccessibleWidget>

class QComboBox;

namespace quellora {

class TAccessibleComboBox : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TAccessibleComboBox(QComboBox* box);

    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    // The list of items is a child only while it is open: closed, its
    // current item would claim a focus that it does not have.
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

    // The value as read-only text.
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    void selection(int, int* startOffset, int* endOffset) const override;
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

private:
    QComboBox* box() const;
    QString value() const;
};

} // namespace quellora
