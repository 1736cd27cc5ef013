#pragma once
// The gauge as a screen reader sees it: a progress bar whose value is the
// percentage it shows, 0 to 100, announced whenever it changes.

#include <QAccessibleWidget>

namespace quellora {

class TGauge;

class TAccessibleGauge : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit TAccessibleGauge(TGauge* gauge);

    QString text(QAccessible::Text t) const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QVariant currentValue() const override;
    // The gauge follows the player; it is not set from outside.
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    const TGauge* gauge() const;
};

// Installs the gauge's accessible interface; only the first call does anything.
void InstallGaugeAccessibility();

} // namespace quellora
