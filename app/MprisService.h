#pragma once
// The player on the session bus under the media-player interface's name
// for it, so that the desktop's media keys and widgets and command-line
// clients find it. When the player of another list folder holds that name,
// it takes "org.mpris.MediaPlayer2.quellora.instance<pid>". Without a session
// bus the player runs on without it and says nothing.

#include <QDBusConnection>
#include <QObject>

#include <memory>

namespace quellora {

class TForm1;

class TMprisService : public QObject {
    Q_OBJECT
public:
    static constexpr const char* ServiceName = "org.mpris.MediaPlayer2.quellora";
    static constexpr const char* ObjectPath = "/org/mpris/MediaPlayer2";

    // Puts `form` on the session bus; nullptr when that cannot be done.
    static std::unique_ptr<TMprisService> Start(TForm1* form);
    ~TMprisService() override;

private:
    TMprisService(TForm1* form, const QDBusConnection& bus);

    QDBusConnection bus_;
    // The bus name taken.
    QString name_;
};

} // namespace quellora
