#include "MprisRoot.h"

#include "Unit1.h"

namespace quellora {

TMprisRoot::TMprisRoot(QObject* object, TForm1* form) : QDBusAbstractAdaptor(object), form_(form) {}

void TMprisRoot::Raise()
{
    if (form_->PLayer) // not while the window is closing
        form_->BringToFront();
}

void TMprisRoot::Quit()
{
    // The ExiT button's handler catches what stopping raises: nothing escapes
    // here. A window that is closing has no player and is ending already.
    if (form_->PLayer)
        form_->Button1Click();
}

} // namespace quellora
