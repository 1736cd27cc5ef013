#include "MprisTrack.h"

#include "FileUri.h"
#include "QtText.h"

#include <QStringList>

namespace quellora {

QDBusObjectPath TMprisTrack::NoTrack()
{
    return QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
}

void TMprisTrack::Follow(const std::string& file, MCIDEVICEID device)
{
    if (active_ && file == file_ && device == device_)
        return;
    active_ = true;
    file_ = file;
    device_ = device;
    ++number_;
    tags_ = ReadTrackTags(file);
}

void TMprisTrack::Clear()
{
    active_ = false;
    file_.clear();
    device_ = 0;
    tags_ = {};
}

QDBusObjectPath TMprisTrack::Id() const
{
    // Paths under /org/mpris are the interface's own; ours live beside it.
    return active_ ? QDBusObjectPath(QStringLiteral("/org/quellora/Track/%1").arg(number_)) : NoTrack();
}

QVariantMap TMprisTrack::Metadata(std::optional<std::int64_t> lengthUs) const
{
    QVariantMap map;
    map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(Id()));
    if (!active_)
        return map;
    if (lengthUs)
        map.insert(QStringLiteral("mpris:length"), qlonglong(*lengthUs));
    map.insert(QStringLiteral("xesam:url"), QString::fromStdString(FileUriOfPath(file_)));
    map.insert(QStringLiteral("xesam:title"),
               tags_.Title.empty() ? FileNameTitle(file_) : QString::fromStdString(tags_.Title));
    if (!tags_.Artists.empty()) {
        QStringList artists;
        for (const std::string& artist : tags_.Artists)
            artists << QString::fromStdString(artist);
        map.insert(QStringLiteral("xesam:artist"), artists);
    }
    if (!tags_.Album.empty())
        map.insert(QStringLiteral("xesam:album"), QString::fromStdString(tags_.Album));
    return map;
}

QString FileNameTitle(std::string_view path)
{
    const size_t slash = path.rfind('/');
    return ToShownText(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

} // namespace quellora
