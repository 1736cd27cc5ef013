#include "MprisService.h"

#include "MprisPlayer.h"
#include "MprisRoot.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>

namespace quellora {

namespace {

// The name this process takes while the player's own is another's.
QString instanceName()
{
    return QLatin1String(TMprisService::ServiceName) + QStringLiteral(".instance") +
           QString::number(QCoreApplication::applicationPid());
}

} // namespace

TMprisService::TMprisService(TForm1* form, const QDBusConnection& bus) : bus_(bus)
{
    // The adaptors are this object's children and go with it.
    new TMprisRoot(this, form);
    new TMprisPlayer(this, form, bus_, QLatin1String(ObjectPath));
}

TMprisService::~TMprisService()
{
    if (!name_.isEmpty()) {
        bus_.unregisterService(name_);
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
    // The name of one player; a player of another list folder (another copy
    // of the program) takes a name of its own, as the interface provides.
    const QString names[] = {QLatin1String(ServiceName), instanceName()};
    for (const QString& name : names) {
        if (bus.registerService(name)) {
            service->name_ = name;
            return service;
        }
    }
    bus.unregisterObject(QLatin1String(ObjectPath));
    return nullptr;
}

} // namespace quellora
