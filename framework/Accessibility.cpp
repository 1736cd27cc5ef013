#include "Accessibility.h"

#include "AccessibleComboBox.h"
#include "AccessibleListBox.h"
#include "Forms.h"
#include "LinkLabel.h"
#include "ListBox.h"

#include <QAccessibleWidget>
#include <QComboBox>

namespace quellora {

namespace {

// Qt asks for every class of an object, the most derived first, and takes
// the first interface a factory gives.
QAccessibleInterface* frameworkFactory(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (className == QLatin1String("quellora::TListBox"))
        return new TAccessibleListBox(static_cast<TListBox*>(widget));
    if (className == QLatin1String("quellora::TLinkLabel"))
        return new TAccessibleLinkLabel(static_cast<TLinkLabel*>(widget));
    // A plain form reads as a client area; the user hears a window or a dialog.
    if (className == QLatin1String("quellora::TDialogForm"))
        return new QAccessibleWidget(widget, QAccessible::Dialog);
    if (className == QLatin1String("quellora::TForm"))
        return new QAccessibleWidget(widget, QAccessible::Window);
    // The drop-down lists of the program's own windows; Qt's own dialogs keep theirs.
    if (className == QLatin1String("QComboBox")) {
        auto* box = static_cast<QComboBox*>(widget);
        if (!box->isEditable() && qobject_cast<TForm*>(box->window()))
            return new TAccessibleComboBox(box);
    }
    return nullptr;
}

} // namespace

void InstallFrameworkAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(frameworkFactory);
        return true;
    }();
    (void)installed;
}

} // namespace quellora
