#pragma once
// File URIs and the paths they name, byte for byte: a name that is not UTF-8
// keeps its bytes both ways.

#include <optional>
#include <string>
#include <string_view>

namespace quellora {

// The path of a "file:" URI ("file:///p", "file://localhost/p", a URI naming
// this machine, or "file:/p"), its percent escapes turned back into the
// path's bytes and a query or fragment left off. Nothing for other schemes,
// another machine's files, a broken escape or a NUL in the path.
std::optional<std::string> LocalPathOfFileUri(std::string_view uri);

// A "file://" URI for a path: absolute (a relative path is taken from the
// current directory), every byte but the unreserved characters and "/"
// percent-encoded.
std::string FileUriOfPath(std::string_view path);

} // namespace quellora
