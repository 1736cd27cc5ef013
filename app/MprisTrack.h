#pragma once
// The track that the desktop's media controls see: the file the status line
// names, with an id of its own for every start (the same file started again
// is a new track), its tags read once when it starts, and its metadata in
// the form the media-player interface gives it.

#include "Id3Tags.h"
#include "Mci.h"

#include <QDBusObjectPath>
#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quellora {

class TMprisTrack {
public:
    // The id the interface gives "no track".
    static QDBusObjectPath NoTrack();

    // Follows what plays: `file` as the status line names it, on `device`.
    // Another file, or the same one on a newly opened device, starts a new
    // track and reads its tags.
    void Follow(const std::string& file, MCIDEVICEID device);
    // Nothing plays.
    void Clear();

    QDBusObjectPath Id() const;

    // The metadata map: the id alone when idle; otherwise the id, the URL,
    // the title (from the tags, or else the file name), artists and album
    // when tagged, and the length in microseconds when it is known.
    QVariantMap Metadata(std::optional<std::int64_t> lengthUs) const;

private:
    bool active_ = false;
    std::string file_;
    MCIDEVICEID device_ = 0;
    std::uint64_t number_ = 0;
    TTrackTags tags_;
};

// The last component of a path, shown as text.
QString FileNameTitle(std::string_view path);

} // namespace quellora
