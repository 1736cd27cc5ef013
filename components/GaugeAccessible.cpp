#include "GaugeAccessible.h"

#include "Gauges.h"

namespace quellora {

namespace {

QAccessibleInterface* gaugeFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("quellora::TGauge") && object && object->isWidgetType())
        return new TAccessibleGauge(static_cast<TGauge*>(object));
    return nullptr;
}

} // namespace

TAccessibleGauge::TAccessibleGauge(TGauge* gauge) : QAccessibleWidget(gauge, QAccessible::ProgressBar) {}

const TGauge* TAccessibleGauge::gauge() const
{
    return static_cast<const TGauge*>(widget());
}

QString TAccessibleGauge::text(QAccessible::Text t) const
{
    // The value as the gauge's text shows it.
    if (t == QAccessible::Value)
        return QString::number(gauge()->PercentComplete()) + QLatin1Char('%');
    return QAccessibleWidget::text(t);
}

void* TAccessibleGauge::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QVariant TAccessibleGauge::currentValue() const
{
    return gauge()->PercentComplete();
}

void InstallGaugeAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(gaugeFactory);
        return true;
    }();
    (void)installed;
}

void TGauge::announcePercent()
{
    const int percent = PercentComplete();
    if (percent == announcedPercent_)
        return;
    announcedPercent_ = percent;
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, percent);
        QAccessible::updateAccessibility(&event);
    }
}

} // namespace quellora
