#pragma once
// The media-player interface's root object: who the player is, and the two
// things the desktop may ask of it besides playback, to come to the front
// and to quit.

#include <QDBusAbstractAdaptor>
#include <QStringList>

namespace quellora {

class TForm1;

class TMprisRoot : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
    TMprisRoot(QObject* object, TForm1* form);

    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("Quellora"); }
    QString DesktopEntry() const { return QStringLiteral(QUELLORA_APP_ID); }
    QStringList SupportedUriSchemes() const { return {QStringLiteral("file")}; }
    QStringList SupportedMimeTypes() const { return {QStringLiteral("audio/mpeg")}; }

public slots:
    // The window comes to the front, out of the tray too.
    void Raise();
    // As the ExiT button: stops what plays, then ends the program.
    void Quit();

private:
    TForm1* form_;
};

} // namespace quellora
