#include "AccessibleComboBox.h"

#include <QAbstractItemView>
#include <QComboBox>

namespace quellora {

TAccessibleComboBox::TAccessibleComboBox(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

QComboBox* TAccessibleComboBox::box() const
{
    return static_cast<QComboBox*>(widget());
}

QString TAccessibleComboBox::value() const
{
    return box()->currentText();
}

QString TAccessibleComboBox::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return value();
    QString text = QAccessibleWidget::text(t);
    // The base gives the label's text, "Play next mp3 :": the colon is not
    // part of the name.
    if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
        while (!text.isEmpty() && (text.back() == QLatin1Char(':') || text.back().isSpace()))
            text.chop(1);
    }
    return text;
}

QAccessible::State TAccessibleComboBox::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.expandable = true;
    state.expanded = box()->view()->isVisible();
    state.collapsed = !state.expanded;
    return state;
}

int TAccessibleComboBox::childCount() const
{
    return box()->view()->isVisible() ? 1 : 0;
}

QAccessibleInterface* TAccessibleComboBox::child(int index) const
{
    return index == 0 && childCount() ? QAccessible::queryAccessibleInterface(box()->view()) : nullptr;
}

int TAccessibleComboBox::indexOfChild(const QAccessibleInterface* child) const
{
    return child && childCount() && child->object() == box()->view() ? 0 : -1;
}

void* TAccessibleComboBox::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QStringList TAccessibleComboBox::actionNames() const
{
    return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
}

void TAccessibleComboBox::doAction(const QString& actionName)
{
    // Both open the list, or close it when it is open, as a click on the box does.
    if (actionName == showMenuAction() || actionName == pressAction()) {
        if (box()->view()->isVisible())
            box()->hidePopup();
        else
            box()->showPopup();
        return;
    }
    QAccessibleWidget::doAction(actionName);
}

QString TAccessibleComboBox::text(int startOffset, int endOffset) const
{
    const QString all = value();
    if (startOffset < 0 || startOffset > all.size())
        return {};
    if (endOffset < 0 || endOffset > all.size())
        endOffset = int(all.size());
    return all.mid(startOffset, qMax(0, endOffset - startOffset));
}

int TAccessibleComboBox::characterCount() const
{
    return int(value().size());
}

void TAccessibleComboBox::selection(int, int* startOffset, int* endOffset) const
{
    *startOffset = *endOffset = 0;
}

QString TAccessibleComboBox::attributes(int, int* startOffset, int* endOffset) const
{
    // One run without attributes over the whole value.
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
}

} // namespace quellora
