#include "Mci.h"

#include "GstMciLayer.h"

#include <QCoreApplication>
#include <QObject>

namespace quellora {

namespace {

std::shared_ptr<TMciLayer>& installedLayer()
{
    static std::shared_ptr<TMciLayer> layer;
    return layer;
}

} // namespace

std::shared_ptr<TMciLayer> MciLayer()
{
    if (installedLayer())
        return installedLayer();
    // Shared while some player holds it; the last player to go takes it
    // down, so no pipeline outlives the application object.
    static std::weak_ptr<TMciLayer> gstreamer;
    std::shared_ptr<TMciLayer> layer = gstreamer.lock();
    if (!layer) {
        layer = std::make_shared<TGstMciLayer>();
        gstreamer = layer;
    }
    return layer;
}

void SetMciLayer(std::shared_ptr<TMciLayer> layer)
{
    installedLayer() = std::move(layer);
}

TMciNotifyEvent::TMciNotifyEvent(std::uint32_t wParam, MCIDEVICEID device)
    : QEvent(EventType()), WParam(wParam), Device(device)
{
}

QEvent::Type TMciNotifyEvent::EventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

std::uintptr_t MciCallbackOf(QObject* window)
{
    return reinterpret_cast<std::uintptr_t>(window);
}

QObject* MciCallbackTarget(std::uintptr_t callback)
{
    return reinterpret_cast<QObject*>(callback);
}

void PostMciNotify(QObject* window, std::uint32_t wParam, MCIDEVICEID device)
{
    if (window && QCoreApplication::instance())
        QCoreApplication::postEvent(window, new TMciNotifyEvent(wParam, device));
}

} // namespace quellora
