#include "PortalShortcuts.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace {

// One shortcut as the portal's calls and answers carry it: (sa{sv}).
struct TDBusShortcut {
    QString id;
    QVariantMap info;
};

QDBusArgument& operator<<(QDBusArgument& arg, const TDBusShortcut& shortcut)
{
    arg.beginStructure();
    arg << shortcut.id << shortcut.info;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, TDBusShortcut& shortcut)
{
    arg.beginStructure();
    arg >> shortcut.id >> shortcut.info;
    arg.endStructure();
    return arg;
}

} // namespace

Q_DECLARE_METATYPE(TDBusShortcut)

namespace quellora {

namespace {

const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString ShortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString RequestInterface = QStringLiteral("org.freedesktop.portal.Request");

QDBusMessage portalCall(const QString& interface, const QString& method, const QVariantList& args)
{
    QDBusMessage call = QDBusMessage::createMethodCall(PortalService, PortalPath, interface, method);
    call.setArguments(args);
    return call;
}

QVariantMap mapOf(const QVariant& value)
{
    return qdbus_cast<QVariantMap>(value);
}

} // namespace

TPortalShortcuts::TPortalShortcuts(QObject* parent) : QObject(parent), bus_(QDBusConnection::sessionBus())
{
    qDBusRegisterMetaType<TDBusShortcut>();
    qDBusRegisterMetaType<QList<TDBusShortcut>>();
    if (!bus_.isConnected()) {
        step_ = TStep::Gone;
        return;
    }
    const QDBusMessage ask = portalCall(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                                        {ShortcutsInterface, QStringLiteral("version")});
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(ask), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &TPortalShortcuts::versionAnswered);
}

void TPortalShortcuts::versionAnswered(QDBusPendingCallWatcher* watcher)
{
    watcher->deleteLater();
    const QDBusPendingReply<QDBusVariant> reply = *watcher;
    // No portal, or one without the interface: the keys stay where they are.
    if (reply.isError() || reply.value().variant().toUInt() < 1) {
        step_ = TStep::Gone;
        return;
    }
    portal_ = reply.reply().service();
    request(TStep::Creating, QStringLiteral("CreateSession"), {},
            {{QStringLiteral("session_handle_token"), QStringLiteral("quellora")}});
}

void TPortalShortcuts::request(TStep step, const QString& method, QVariantList args, QVariantMap options)
{
    step_ = step;
    // The answer comes on a request object whose path the token fixes, so we
    // listen before asking and miss no answer, however quick.
    const QString token = QStringLiteral("quellora%1").arg(++tokens_);
    QString sender = bus_.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    requestPath_ = PortalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
    bus_.connect(QString(), requestPath_, RequestInterface, QStringLiteral("Response"), this,
                 SLOT(responded(QDBusMessage)));
    options.insert(QStringLiteral("handle_token"), token);
    args << options;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(portalCall(ShortcutsInterface, method, args)), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, step, path = requestPath_] {
        watcher->deleteLater();
        // Answered already, and maybe the next request on its way.
        if (step_ != step || requestPath_ != path)
            return;
        const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
        if (reply.isError()) {
            // A refused session leaves the keys where they were; a refused
            // binding leaves the one before.
            stopListening();
            step_ = step == TStep::Creating ? TStep::Gone : TStep::Ready;
            bindIfWanted();
        } else if (reply.value().path() != requestPath_) {
            // A portal older than handle tokens names its own request.
            stopListening();
            requestPath_ = reply.value().path();
            bus_.connect(QString(), requestPath_, RequestInterface, QStringLiteral("Response"), this,
                         SLOT(responded(QDBusMessage)));
        }
    });
}

void TPortalShortcuts::stopListening()
{
    bus_.disconnect(QString(), requestPath_, RequestInterface, QStringLiteral("Response"), this,
                    SLOT(responded(QDBusMessage)));
    requestPath_.clear();
}

bool TPortalShortcuts::fromPortal(const QDBusMessage& message) const
{
    return !portal_.isEmpty() && message.service() == portal_;
}

void TPortalShortcuts::responded(const QDBusMessage& message)
{
    if (!fromPortal(message) || message.path() != requestPath_ || message.arguments().size() < 2)
        return;
    stopListening();
    const bool granted = message.arguments().at(0).toUInt() == 0;
    const QVariantMap results = mapOf(message.arguments().at(1));
    switch (step_) {
    case TStep::Creating:
        if (!granted) {
            step_ = TStep::Gone;
            return;
        }
        sessionOpened(results);
        break;
    case TStep::Binding:
        step_ = TStep::Ready;
        if (granted) {
            bound_ = sent_;
            // The answer names the shortcuts bound; a desktop that leaves
            // them out has bound them all the same, and is asked for the list.
            if (!results.contains(QStringLiteral("shortcuts"))) {
                grantsKnown_ = false;
                if (OnBound)
                    OnBound();
                request(TStep::Listing, QStringLiteral("ListShortcuts"), {QVariant::fromValue(QDBusObjectPath(session_))});
                return;
            }
            takeShortcuts(results.value(QStringLiteral("shortcuts")));
        }
        break;
    case TStep::Listing:
        step_ = TStep::Ready;
        if (granted)
            takeShortcuts(results.value(QStringLiteral("shortcuts")));
        break;
    default:
        return;
    }
    bindIfWanted();
}

void TPortalShortcuts::sessionOpened(const QVariantMap& results)
{
    session_ = results.value(QStringLiteral("session_handle")).toString();
    step_ = TStep::Ready;
    bus_.connect(QString(), PortalPath, ShortcutsInterface, QStringLiteral("Activated"), this,
                 SLOT(activated(QDBusMessage)));
    bus_.connect(QString(), PortalPath, ShortcutsInterface, QStringLiteral("ShortcutsChanged"), this,
                 SLOT(shortcutsChanged(QDBusMessage)));
}

void TPortalShortcuts::Bind(std::vector<TPortalShortcut> shortcuts)
{
    wanted_ = true;
    wantedShortcuts_ = std::move(shortcuts);
    bindIfWanted();
}

void TPortalShortcuts::bindIfWanted()
{
    // One request at a time; what was wanted meanwhile goes next. What the
    // desktop refused is not asked for again until it changes: a refusal
    // may be the user's.
    if (step_ != TStep::Ready || !wanted_ || (sentOnce_ && wantedShortcuts_ == sent_))
        return;
    sentOnce_ = true;
    sent_ = wantedShortcuts_;
    QList<TDBusShortcut> list;
    for (const TPortalShortcut& shortcut : sent_)
        list.append({QString::fromStdString(shortcut.id),
                     {{QStringLiteral("description"), QString::fromStdString(shortcut.description)},
                      {QStringLiteral("preferred_trigger"), QString::fromStdString(shortcut.trigger)}}});
    request(TStep::Binding, QStringLiteral("BindShortcuts"),
            {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(list), QString()});
}

void TPortalShortcuts::takeShortcuts(const QVariant& shortcuts)
{
    granted_.clear();
    grantsKnown_ = true;
    const QList<TDBusShortcut> list = qdbus_cast<QList<TDBusShortcut>>(shortcuts);
    for (const TDBusShortcut& shortcut : list)
        granted_[shortcut.id.toStdString()] =
            shortcut.info.value(QStringLiteral("trigger_description")).toString().toStdString();
    if (OnBound)
        OnBound();
}

void TPortalShortcuts::activated(const QDBusMessage& message)
{
    const QVariantList args = message.arguments();
    if (!fromPortal(message) || args.size() < 2 || args.at(0).value<QDBusObjectPath>().path() != session_)
        return;
    if (OnActivated)
        OnActivated(args.at(1).toString().toStdString());
}

void TPortalShortcuts::shortcutsChanged(const QDBusMessage& message)
{
    const QVariantList args = message.arguments();
    if (!fromPortal(message) || args.size() < 2 || args.at(0).value<QDBusObjectPath>().path() != session_)
        return;
    takeShortcuts(args.at(1));
}

} // namespace quellora
