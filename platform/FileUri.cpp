#include "FileUri.h"

#include "Paths.h"

#include <strings.h>
#include <unistd.h>

#include <climits>

namespace quellora {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isThisHost(std::string_view host)
{
    if (host.empty() || (host.size() == 9 && strncasecmp(host.data(), "localhost", 9) == 0))
        return true;
    char name[HOST_NAME_MAX + 1] = {};
    return gethostname(name, sizeof name - 1) == 0 && host == name;
}

} // namespace

std::optional<std::string> LocalPathOfFileUri(std::string_view uri)
{
    if (uri.size() < 5 || strncasecmp(uri.data(), "file:", 5) != 0)
        return std::nullopt;
    std::string_view rest = uri.substr(5);
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        const size_t slash = rest.find('/');
        if (slash == std::string_view::npos || !isThisHost(rest.substr(0, slash)))
            return std::nullopt;
        rest.remove_prefix(slash);
    }
    rest = rest.substr(0, rest.find_first_of("?#"));
    if (rest.empty() || rest.front() != '/')
        return std::nullopt;
    std::string path;
    path.reserve(rest.size());
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '%') {
            path += rest[i];
            continue;
        }
        if (i + 2 >= rest.size() || hexValue(rest[i + 1]) < 0 || hexValue(rest[i + 2]) < 0)
            return std::nullopt;
        path += char(hexValue(rest[i + 1]) * 16 + hexValue(rest[i + 2]));
        i += 2;
    }
    // A NUL cannot be part of a file name.
    if (path.find('\0') != std::string::npos)
        return std::nullopt;
    return path;
}

std::string FileUriOfPath(std::string_view path)
{
    std::string absolute = AbsolutePath(std::string(path), WorkingDir());
    // Without a working folder to go by, a relative name is taken from the root.
    if (absolute.empty() || absolute.front() != '/')
        absolute = "/" + absolute;
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    uri.reserve(absolute.size() + 7);
    for (char c : absolute) {
        const auto b = static_cast<unsigned char>(c);
        const bool unreserved = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
                                b == '-' || b == '.' || b == '_' || b == '~' || b == '/';
        if (unreserved) {
            uri += c;
        } else {
            uri += '%';
            uri += Hex[b >> 4];
            uri += Hex[b & 15];
        }
    }
    return uri;
}

} // namespace quellora
