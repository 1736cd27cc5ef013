#include "MprisTrack.h"

#include "QtText.h"

#include <QStringList>

#include <cstdlib>

#include <unistd.h>

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
    map.insert(QStringLiteral("xesam:url"), FileUri(file_));
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

QString FileUri(std::string_view path)
{
    std::string absolute;
    if (path.empty() || path.front() != '/') {
        if (char* cwd = getcwd(nullptr, 0)) {
            absolute = cwd;
            free(cwd);
        }
        if (absolute.empty() || absolute.back() != '/')
            absolute += '/';
    }
    absolute.append(path);
    static constexpr char Hex[] = "0123456789ABCDEF";
    QString uri = QStringLiteral("file://");
    uri.reserve(qsizetype(absolute.size()) + 7);
    for (char c : absolute) {
        const auto b = static_cast<unsigned char>(c);
        const bool unreserved = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
                                b == '-' || b == '.' || b == '_' || b == '~' || b == '/';
        if (unreserved) {
            uri += QLatin1Char(c);
        } else {
            uri += QLatin1Char('%');
            uri += QLatin1Char(Hex[b >> 4]);
            uri += QLatin1Char(Hex[b & 15]);
        }
    }
    return uri;
}

std::optional<std::string> PathOfFileUri(const QString& uri)
{
    const QByteArray bytes = uri.toUtf8();
    std::string_view rest(bytes.constData(), size_t(bytes.size()));
    if (rest.size() < 5 || QByteArray(rest.data(), 5).toLower() != "file:")
        return std::nullopt;
    rest.remove_prefix(5);
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        const size_t slash = rest.find('/');
        if (slash == std::string_view::npos)
            return std::nullopt;
        const std::string_view host = rest.substr(0, slash);
        if (!host.empty() && QByteArray(host.data(), qsizetype(host.size())).toLower() != "localhost")
            return std::nullopt; // another machine's file
        rest.remove_prefix(slash);
    }
    if (rest.empty() || rest.front() != '/')
        return std::nullopt;
    rest = rest.substr(0, rest.find_first_of("?#"));
    std::string path;
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '%') {
            path += rest[i];
            continue;
        }
        if (i + 2 >= rest.size() || hex(rest[i + 1]) < 0 || hex(rest[i + 2]) < 0)
            return std::nullopt;
        path += char(hex(rest[i + 1]) * 16 + hex(rest[i + 2]));
        i += 2;
    }
    // A NUL cannot be part of a file name.
    if (path.find('\0') != std::string::npos)
        return std::nullopt;
    return path;
}

QString FileNameTitle(std::string_view path)
{
    const size_t slash = path.rfind('/');
    return ToShownText(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

} // namespace quellora
