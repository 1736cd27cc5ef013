#pragma once
// Reader and writer of profile (INI) files: "[Section]" lines followed by
// "Key=Value" lines. Section and key names are matched without regard to
// ASCII case. A write touches only the one line it concerns; everything else
// in the file (foreign sections and keys, comments, blank lines, line ends)
// stays byte for byte. Every write reaches the disk at once, through the
// safe file writer: a temporary file renamed over the target, so the file is
// never cut short, and a write-protected file is refused and kept.

#include <string>

namespace quellora {

class TIniFile {
public:
    // No file access happens here.
    explicit TIniFile(std::string fileName);
    // Releases the accessor. Writes are never cached, so nothing is left to flush.
    ~TIniFile();

    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const std::string& FileName() const { return fileName_; }

    // The value of the first matching key of the first matching section, with
    // the blanks around it removed and cut to MaxValueLength bytes;
    // `defaultValue` when the file, the section or the key is missing.
    std::string ReadString(const std::string& section, const std::string& ident,
                           const std::string& defaultValue) const;

    // Replaces the key's value in place, or adds the key at the end of its
    // section, or the section at the end of the file. Raises EIniFileException
    // "Unable to write to <file>" when the file cannot be read or written, or
    // when a name or value could not be stored as one line; the file is then
    // left as it was.
    void WriteString(const std::string& section, const std::string& ident, const std::string& value);

    // Nothing is cached between calls; kept so that callers can say where
    // they are done with the file.
    void UpdateFile() {}

    // A value is read into a buffer of 2048 bytes, terminator included.
    static constexpr size_t MaxValueLength = 2047;

private:
    std::string fileName_;
};

} // namespace quellora
