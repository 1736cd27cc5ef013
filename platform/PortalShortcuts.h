#pragma once
// The desktop portal's global shortcuts (org.freedesktop.portal.GlobalShortcuts
// on the session bus): one session for the life of the program, shortcuts
// bound to it, and the desktop's word when one of them is pressed. Every
// step is a call that returns at once and an answer that comes as a signal:
// nothing here waits, polls or times.

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <string>
#include <vector>

class QDBusMessage;
class QDBusPendingCallWatcher;

namespace quellora {

struct TPortalShortcut {
    std::string id;
    std::string description;
    std::string trigger; // the one asked for
    bool operator==(const TPortalShortcut&) const = default;
};

class TPortalShortcuts : public QObject {
    Q_OBJECT
public:
    // Asks the portal whether it offers global shortcuts and, when it does,
    // opens the session.
    explicit TPortalShortcuts(QObject* parent = nullptr);

    // Binds these as soon as the session is open, and again whenever they
    // change.
    void Bind(std::vector<TPortalShortcut> shortcuts);
    // What the desktop's latest answer bound: the shortcuts asked for, and
    // its own description of the trigger of each, by id (an id it left out
    // is not bound); nullptr while it has not said.
    const std::vector<TPortalShortcut>& Bound() const { return bound_; }
    const std::map<std::string, std::string>* Granted() const { return grantsKnown_ ? &granted_ : nullptr; }

    // The desktop has bound the shortcuts, or changed their triggers.
    std::function<void()> OnBound;
    // The shortcut with this id was pressed.
    std::function<void(const std::string& id)> OnActivated;

private slots:
    void responded(const QDBusMessage& message);
    void activated(const QDBusMessage& message);
    void shortcutsChanged(const QDBusMessage& message);

private:
    enum class TStep { Asking, Creating, Ready, Binding, Listing, Gone };

    void versionAnswered(QDBusPendingCallWatcher* watcher);
    // Calls `method` with `args` and the options, a handle token added, and
    // listens for the answer of the request it opens.
    void request(TStep step, const QString& method, QVariantList args, QVariantMap options = {});
    void stopListening();
    void sessionOpened(const QVariantMap& results);
    void bindIfWanted();
    void takeShortcuts(const QVariant& shortcuts);
    bool fromPortal(const QDBusMessage& message) const;

    QDBusConnection bus_;
    TStep step_ = TStep::Asking;
    QString portal_; // the portal's unique name: signals from others are not the desktop's
    QString session_;
    QString requestPath_;
    int tokens_ = 0;
    bool wanted_ = false;
    bool sentOnce_ = false;
    std::vector<TPortalShortcut> wantedShortcuts_;
    std::vector<TPortalShortcut> sent_;
    std::vector<TPortalShortcut> bound_;
    std::map<std::string, std::string> granted_;
    bool grantsKnown_ = false;
};

} // namespace quellora
