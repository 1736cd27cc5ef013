#include "LinkLabel.h"

#include "Accessibility.h"
#include "Handler.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

namespace quellora {

TLinkLabel::TLinkLabel(QWidget* parent) : QLabel(parent)
{
    InstallFrameworkAccessibility();
    setFocusPolicy(Qt::TabFocus);
}

void TLinkLabel::Click()
{
    if (OnClick)
        RunHandler(OnClick);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        Click();
    else
        QLabel::mouseReleaseEvent(event);
}

void TLinkLabel::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) &&
        !(event->modifiers() & ~Qt::KeypadModifier)) {
        Click();
        return;
    }
    // Other keys (Escape) go on to the window, past the label's text control.
    QWidget::keyPressEvent(event);
}

void TLinkLabel::paintEvent(QPaintEvent*)
{
    // Drawn as a plain label draws its text: a label that takes the focus
    // would lay its text out as a document, two pixels higher.
    QPainter painter(this);
    drawFrame(&painter);
    QStyleOption option;
    option.initFrom(this);
    const int flags = int(QStyle::visualAlignment(layoutDirection(), alignment())) | Qt::TextExpandTabs |
                      (wordWrap() ? int(Qt::TextWordWrap) : 0);
    const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    style()->drawItemText(&painter, area, flags, option.palette, isEnabled(), text(), foregroundRole());
    if (!hasFocus())
        return;
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    const QRect shown = style()->itemTextRect(fontMetrics(), area, flags, isEnabled(), text());
    focus.rect = shown.adjusted(-1, 0, 1, 0).intersected(rect());
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
}

TAccessibleLinkLabel::TAccessibleLinkLabel(TLinkLabel* label) : QAccessibleWidget(label, QAccessible::Link) {}

QString TAccessibleLinkLabel::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
        return static_cast<TLinkLabel*>(widget())->text();
    return QAccessibleWidget::text(t);
}

QStringList TAccessibleLinkLabel::actionNames() const
{
    return QStringList{pressAction()} + QAccessibleWidget::actionNames();
}

void TAccessibleLinkLabel::doAction(const QString& actionName)
{
    if (actionName != pressAction()) {
        QAccessibleWidget::doAction(actionName);
        return;
    }
    // After the reader's call has been answered: the click hides the window
    // and may open a box of its own.
    QMetaObject::invokeMethod(
        widget(), [label = static_cast<TLinkLabel*>(widget())] { label->Click(); }, Qt::QueuedConnection);
}

} // namespace quellora
