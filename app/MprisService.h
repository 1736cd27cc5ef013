#pragma once
// The player on the session bus under the media-player interface's name
// for it, so that the desktop's media keys and widgets and command-line
// clients find it. Without a session bus, or when another running player
// holds the name, the player runs on without it and says nothing.

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
    bool registered_ = false;
};

} // namespace quellora
