#include "MprisPlayer.h"

#include "Exceptions.h"
#include "FileUri.h"
#include "ListBox.h"
#include "MPlayer.h"
#include "Paths.h"
#include "QtText.h"
#include "RandomIndex.h"
#include "Unit1.h"
#include "Unit3.h"
#include "Unit4.h"

#include <QDBusError>
#include <QMetaObject>

#include <algorithm>
#include <cmath>

namespace quellora {

namespace {

const std::string PlayingPrefix = "Playing <";
const std::string PausePrefix = "Pause <";

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The properties whose changes are announced. Position is not among them:
// clients follow it from the status and the rate.
const char* const AnnouncedProperties[] = {"PlaybackStatus", "Metadata", "Volume",  "CanGoNext",
                                           "CanGoPrevious",  "CanPlay",  "CanPause", "CanSeek"};

} // namespace

TMprisPlayer::TMprisPlayer(QObject* object, TForm1* form, const QDBusConnection& bus, const QString& path)
    : QDBusAbstractAdaptor(object), form_(form), bus_(bus), path_(path)
{
    connect(form_, &TForm1::StatusLineChanged, this, &TMprisPlayer::scheduleAnnouncement);
    connect(form_, &TForm1::VolumeChanged, this, &TMprisPlayer::scheduleAnnouncement);
    // What can be done depends on whether the list has items.
    const TStringListModel* items = &form_->Mp3LisT()->Items();
    connect(items, &QAbstractItemModel::rowsInserted, this, &TMprisPlayer::scheduleAnnouncement);
    connect(items, &QAbstractItemModel::rowsRemoved, this, &TMprisPlayer::scheduleAnnouncement);
    connect(items, &QAbstractItemModel::modelReset, this, &TMprisPlayer::scheduleAnnouncement);
    announced_ = announced();
}

TMprisPlayer::TState TMprisPlayer::state() const
{
    const std::string& status = form_->StatusLine();
    if (!form_->PLayer)
        return TState::Stopped; // the window is closing
    if (startsWith(status, PlayingPrefix))
        return TState::Playing;
    if (startsWith(status, PausePrefix))
        return TState::Paused;
    return TState::Stopped;
}

void TMprisPlayer::followTrack()
{
    const TState now = state();
    if (now == TState::Stopped) {
        track_.Clear();
        return;
    }
    // The status line names the file between its prefix and the closing ">".
    const std::string& status = form_->StatusLine();
    const size_t prefix = (now == TState::Playing ? PlayingPrefix : PausePrefix).size();
    const std::string file = status.size() > prefix ? status.substr(prefix, status.size() - prefix - 1) : "";
    track_.Follow(file, form_->PLayer->MciDevice());
}

std::optional<std::int64_t> TMprisPlayer::lengthMs()
{
    if (state() == TState::Stopped || !form_->PLayer->DeviceOpen())
        return std::nullopt;
    const std::int32_t length = form_->PLayer->TrackLength(1);
    if (length <= 0)
        return std::nullopt;
    return length;
}

QString TMprisPlayer::PlaybackStatus()
{
    switch (state()) {
    case TState::Playing: return QStringLiteral("Playing");
    case TState::Paused: return QStringLiteral("Paused");
    case TState::Stopped: break;
    }
    return QStringLiteral("Stopped");
}

QVariantMap TMprisPlayer::Metadata()
{
    followTrack();
    const std::optional<std::int64_t> length = lengthMs();
    return track_.Metadata(length ? std::optional<std::int64_t>(*length * 1000) : std::nullopt);
}

double TMprisPlayer::Volume()
{
    TMediaPlayer* player = form_->PLayer;
    if (!player || player->MciDevice() == 0)
        return 1.0;
    return std::clamp(GetVolume(*player), 0, 1000) / 1000.0;
}

void TMprisPlayer::SetVolume(double volume)
{
    if (!form_->PLayer || std::isnan(volume))
        return;
    // Below silence is silence; the player's range ends at full volume.
    form_->SetPlayerVolume(int(std::lround(std::clamp(volume, 0.0, 1.0) * 1000)));
}

void TMprisPlayer::SetRate(double rate)
{
    // Other speeds are not played; a rate of 0 asks for a pause.
    if (rate == 0.0)
        Pause(QDBusMessage());
}

qlonglong TMprisPlayer::Position()
{
    if (state() == TState::Stopped || !form_->PLayer->DeviceOpen())
        return 0;
    return qlonglong(form_->PLayer->Position()) * 1000;
}

bool TMprisPlayer::CanGoNext()
{
    return form_->PLayer && form_->Mp3LisT()->Items().Count() > 0;
}

bool TMprisPlayer::CanPlay()
{
    return CanGoNext() || state() != TState::Stopped;
}

bool TMprisPlayer::CanSeek()
{
    return lengthMs().has_value();
}

void TMprisPlayer::replyError(const QDBusMessage& message, const QString& name, const QString& text)
{
    if (message.type() != QDBusMessage::MethodCallMessage)
        return;
    message.setDelayedReply(true);
    bus_.send(message.createErrorReply(name, text));
}

template <typename F>
void TMprisPlayer::run(const QDBusMessage& message, F&& action)
{
    if (!form_->PLayer)
        return; // the window is closing
    // What fails ends the action where it failed, as for the keys; the
    // caller gets the message instead of a box on the user's screen.
    try {
        action();
    } catch (const std::exception& e) {
        replyError(message, QDBusError::errorString(QDBusError::Failed), ToShownText(e.what()));
    } catch (...) {
        replyError(message, QDBusError::errorString(QDBusError::Failed), QStringLiteral("Unknown exception"));
    }
}

void TMprisPlayer::startPlayback()
{
    // From idle, Play starts the item that the Play button picks with random
    // play on, and otherwise the selected item, or the first: after Stop
    // that is the stopped file again, from its start. Either is selected,
    // as a double-click on it would leave it, so that Next goes on from it.
    TListBox* list = form_->Mp3LisT();
    const int count = list->Items().Count();
    if (count == 0)
        return;
    form_->startSelected(form_->PlayRandom() ? RandomIndex(count) : std::max(list->ItemIndex(), 0));
}

void TMprisPlayer::Next(const QDBusMessage& message)
{
    run(message, [] { RunAction(THotkeyAction::Next); });
}

void TMprisPlayer::Previous(const QDBusMessage& message)
{
    run(message, [] { RunAction(THotkeyAction::Last); });
}

void TMprisPlayer::Pause(const QDBusMessage& message)
{
    run(message, [this] {
        if (state() == TState::Playing)
            RunAction(THotkeyAction::PauseResume);
    });
}

void TMprisPlayer::Play(const QDBusMessage& message)
{
    run(message, [this] {
        if (state() == TState::Paused)
            RunAction(THotkeyAction::PauseResume);
        else if (state() == TState::Stopped)
            startPlayback();
    });
}

void TMprisPlayer::PlayPause(const QDBusMessage& message)
{
    run(message, [this] {
        if (state() == TState::Stopped)
            startPlayback();
        else
            RunAction(THotkeyAction::PauseResume);
    });
}

void TMprisPlayer::Stop(const QDBusMessage& message)
{
    run(message, [] { RunAction(THotkeyAction::Stop); });
}

void TMprisPlayer::seekTo(std::int64_t ms)
{
    TMediaPlayer& player = *form_->PLayer;
    if (state() == TState::Playing) {
        // Playing goes on from the new place.
        player.SetFromOnce(std::uint32_t(ms));
        player.Play();
        if (player.LastError() != 0)
            throw EMCIDeviceError(player.ErrorText());
    } else {
        // A paused file stays paused; resuming plays from the new place.
        MCI_SEEK_PARMS params;
        params.dwTo = std::uint32_t(ms);
        const MCIERROR rc = player.Layer().SendCommand(player.MciDevice(), MCI_SEEK, MCI_TO | MCI_WAIT, &params);
        if (rc != 0) {
            const std::string text = player.Layer().ErrorString(rc);
            throw EMCIDeviceError(text.empty() ? "Unknown error code" : text);
        }
    }
    // The gauge shows the new place at once, also while paused.
    form_->UpdateGauge();
    emit Seeked(Position());
}

void TMprisPlayer::Seek(qlonglong offset, const QDBusMessage& message)
{
    run(message, [this, offset] {
        const std::optional<std::int64_t> length = lengthMs();
        if (!length)
            return;
        const std::int64_t target = std::max<std::int64_t>(0, form_->PLayer->Position() + offset / 1000);
        if (target > *length)
            RunAction(THotkeyAction::Next); // past the end is the next track
        else
            seekTo(target);
    });
}

void TMprisPlayer::SetPosition(const QDBusObjectPath& trackId, qlonglong position, const QDBusMessage& message)
{
    run(message, [this, trackId, position] {
        followTrack();
        const std::optional<std::int64_t> length = lengthMs();
        // A request for another track, or outside this one, is stale: ignored.
        if (!length || trackId != track_.Id() || position < 0 || position / 1000 > *length)
            return;
        seekTo(position / 1000);
    });
}

void TMprisPlayer::OpenUri(const QString& uri, const QDBusMessage& message)
{
    const QByteArray uriBytes = uri.toUtf8();
    const std::optional<std::string> path =
        LocalPathOfFileUri(std::string_view(uriBytes.constData(), size_t(uriBytes.size())));
    if (!path) {
        replyError(message, QDBusError::errorString(QDBusError::InvalidArgs),
                   QStringLiteral("Only local file URIs are opened: %1").arg(uri));
        return;
    }
    // By the name the list would hold: "/music/%2F..%2Fmusic/a.mp3" is the listed "/music/a.mp3".
    const std::string song = NormalPath(*path);
    if (!FileExists(song)) {
        replyError(message, QStringLiteral("org.freedesktop.DBus.Error.FileNotFound"),
                   QStringLiteral("No such file: %1").arg(ToShownText(song)));
        return;
    }
    // Refused before anything changes: the list and what plays stay as they were.
    if (!IsReadableSong(song)) {
        replyError(message, QDBusError::errorString(QDBusError::InvalidArgs),
                   QStringLiteral("Not a song that can be read: %1").arg(ToShownText(song)));
        return;
    }
    run(message, [this, &song] {
        // As "Open with" takes a song: added as "Add file" adds it unless it
        // is listed already, then it plays.
        const int count = form_->Mp3LisT()->Items().Count();
        const int at = form_->ListSong(song);
        if (form_->Mp3LisT()->Items().Count() > count)
            form_->SaveDefaultList();
        form_->startSelected(at);
    });
}

void TMprisPlayer::scheduleAnnouncement()
{
    if (scheduled_)
        return;
    scheduled_ = true;
    QMetaObject::invokeMethod(this, &TMprisPlayer::announce, Qt::QueuedConnection);
}

QVariantMap TMprisPlayer::announced()
{
    QVariantMap now;
    for (const char* name : AnnouncedProperties)
        now.insert(QLatin1String(name), property(name));
    return now;
}

void TMprisPlayer::announce()
{
    scheduled_ = false;
    const QVariantMap now = announced();
    QVariantMap changed;
    for (auto it = now.begin(); it != now.end(); ++it)
        if (announced_.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    announced_ = now;
    if (changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(path_, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QStringLiteral("org.mpris.MediaPlayer2.Player") << changed << QStringList();
    bus_.send(signal);
}

} // namespace quellora
