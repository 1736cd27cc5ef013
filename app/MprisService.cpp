#include "MprisService.h"

#include "MprisPlayer.h"
#include "MprisRoot.h"

#include <QDBusConnectionInterface>

namespace quellora {

TMprisService::TMprisService(TForm1* form, const QDBusConnection& bus) : bus_(bus)
{
    // The adaptors are this object's children and go with it.
    new TMprisRoot(this, form);
    new TMprisPlayer(this, form, bus_, QLatin1String(ObjectPath));
}

TMprisService::~TMprisService()
{
    if (registered_) {
        bus_.unregisterService(QLatin1String(ServiceName));
        bus_.unregisterObject(QLatin1String(ObjectPath));
    }
}

std::unique_ptr<TMprisService> TMprisService::Start(TForm1* form)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return nullptr;
    std::unique_ptr<TMprisService> service(new TMprisService(form, bus));
    // The object is in place before the name appears, so that a client that
    // sees the name finds the interfaces at once.
    if (!bus.registerObject(QLatin1String(ObjectPath), service.get(), QDBusConnection::ExportAdaptors))
        return nullptr;
    if (!bus.registerService(QLatin1String(ServiceName))) {
        bus.unregisterObject(QLatin1String(ObjectPath));
        return nullptr;
    }
    service->registered_ = true;
    return service;
}

} // namespace quellora
