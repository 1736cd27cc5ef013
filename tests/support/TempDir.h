#pragma once
// A temporary directory that removes itself, and small file helpers.

#include <QDir>
#include <QTemporaryDir>
#include <fstream>
#include <sstream>
#include <string>

namespace quellora::test {

class TempDir {
public:
    TempDir() { dir_.setAutoRemove(true); }
    std::string path() const { return dir_.path().toStdString() + "/"; }
    std::string file(const std::string& name) const { return path() + name; }

private:
    QTemporaryDir dir_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace quellora::test
