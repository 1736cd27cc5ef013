#pragma once
// The media-player interface's playback object, the one that media keys,
// media widgets and command-line clients drive. Play, pause, stop, next and
// previous do what the action keys do (they share the keys' code), with
// their failures answered as errors of the call, never in a box. Changes of
// status, track, volume and of what can be done are announced whatever made
// them: a button, a key, the end of a file or a call from the bus.

#include "MprisTrack.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QVariantMap>

#include <cstdint>
#include <optional>

namespace quellora {

class TForm1;

class TMprisPlayer : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate WRITE SetRate)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoNext)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPlay)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)
public:
    // `object` is the object on the bus at `path` of `bus`.
    TMprisPlayer(QObject* object, TForm1* form, const QDBusConnection& bus, const QString& path);

    // "Playing", "Paused" or "Stopped", from the status line.
    QString PlaybackStatus();
    // One speed only.
    double Rate() const { return 1.0; }
    void SetRate(double rate);
    QVariantMap Metadata();
    // The player's 0..1000 as 0.0..1.0. With no file open the next one
    // starts at full volume, and that is what is reported.
    double Volume();
    void SetVolume(double volume);
    // Microseconds into the track; read from the device on request.
    qlonglong Position();
    // The action keys join the list's ends: a list with items always has a
    // next and a previous item.
    bool CanGoNext();
    // Something is paused or playing, or there is a list to start from.
    bool CanPlay();
    bool CanSeek();
    bool CanControl() const { return true; }

public slots:
    void Next(const QDBusMessage& message);
    void Previous(const QDBusMessage& message);
    void Pause(const QDBusMessage& message);
    void PlayPause(const QDBusMessage& message);
    void Stop(const QDBusMessage& message);
    void Play(const QDBusMessage& message);
    void Seek(qlonglong offset, const QDBusMessage& message);
    void SetPosition(const QDBusObjectPath& trackId, qlonglong position, const QDBusMessage& message);
    void OpenUri(const QString& uri, const QDBusMessage& message);

signals:
    void Seeked(qlonglong position);

private:
    enum class TState { Stopped, Playing, Paused };

    TState state() const;
    void followTrack();
    std::optional<std::int64_t> lengthMs();
    void startPlayback();
    void seekTo(std::int64_t ms);
    template <typename F>
    void run(const QDBusMessage& message, F&& action);
    void replyError(const QDBusMessage& message, const QString& name, const QString& text);

    // Announces, once the current event is done, what changed since the
    // last announcement: several writes of the status line in one event
    // (a start writes it before the device opens) make one announcement of
    // where they ended.
    void scheduleAnnouncement();
    void announce();
    QVariantMap announced();

    TForm1* form_;
    QDBusConnection bus_;
    QString path_;
    TMprisTrack track_;
    QVariantMap announced_;
    bool scheduled_ = false;
};

} // namespace quellora
