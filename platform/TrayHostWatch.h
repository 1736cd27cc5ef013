#pragma once
// Whether the X screen has a notification area, as the server tells it: it
// reports every change of the owner of the screen's system tray selection,
// so nothing needs to ask on a timer; and when the session bus's
// StatusNotifier host, which desktops' panels offer instead, goes away.

#include <QObject>

#include <functional>
#include <memory>

namespace quellora {

class TTrayHostWatch : public QObject {
public:
    explicit TTrayHostWatch(QObject* parent = nullptr);
    ~TTrayHostWatch() override;

    // True when a notification area has taken the selection, false when it let it go.
    std::function<void(bool present)> OnChange;

private:
    class TFilter;
    std::unique_ptr<TFilter> filter_;
};

} // namespace quellora
