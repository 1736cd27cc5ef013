#include "IniFiles.h"

#include "Exceptions.h"
#include "SafeFile.h"
#include "StrUtils.h"

#include <sys/stat.h>

#include <optional>
#include <tuple>
#include <utility>
#include <string_view>
#include <vector>

namespace quellora {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// One line of the file, as the profile format sees it. `text` holds the line
// without its end; `end` holds the end as found ("\r\n", "\n" or "" for a
// last line without one), so that untouched lines are written back as read.
struct Line {
    enum Kind { Other, Blank, Comment, Section, Key };

    std::string text;
    std::string end;
    Kind kind = Other;
    // Section or key name, and a key's value, as ranges of `text` with the
    // blanks around them excluded.
    size_t nameStart = 0;
    size_t nameEnd = 0;
    size_t valueStart = 0;
    size_t valueEnd = 0;

    std::string_view name() const { return std::string_view(text).substr(nameStart, nameEnd - nameStart); }
    std::string value() const { return text.substr(valueStart, valueEnd - valueStart); }
};

// The range of text[start, end) without the blanks around it.
std::pair<size_t, size_t> trimmedRange(const std::string& text, size_t start, size_t end)
{
    while (start < end && isBlank(text[start]))
        ++start;
    while (end > start && isBlank(text[end - 1]))
        --end;
    return {start, end};
}

void classify(Line& line)
{
    const std::string& text = line.text;
    const auto [start, end] = trimmedRange(text, 0, text.size());
    const size_t close = text.rfind(']');
    line.kind = Line::Other;
    if (start == end) {
        line.kind = Line::Blank;
    } else if (text[start] == ';') {
        line.kind = Line::Comment;
    } else if (text[start] == '[' && close != std::string::npos) {
        // The name runs to the last "]"; a "[" line without one is no header.
        line.kind = Line::Section;
        std::tie(line.nameStart, line.nameEnd) = trimmedRange(text, start + 1, close);
    } else if (const size_t eq = text.find('='); eq != std::string::npos) {
        line.kind = Line::Key;
        std::tie(line.nameStart, line.nameEnd) = trimmedRange(text, 0, eq);
        std::tie(line.valueStart, line.valueEnd) = trimmedRange(text, eq + 1, text.size());
    }
}

class Document {
public:
    explicit Document(const std::string& data)
    {
        size_t pos = 0;
        while (pos < data.size()) {
            const size_t nl = data.find('\n', pos);
            Line line;
            if (nl == std::string::npos) {
                line.text = data.substr(pos);
                pos = data.size();
            } else {
                const bool cr = nl > pos && data[nl - 1] == '\r';
                line.text = data.substr(pos, nl - pos - (cr ? 1 : 0));
                line.end = cr ? "\r\n" : "\n";
                pos = nl + 1;
            }
            classify(line);
            lines_.push_back(std::move(line));
        }
    }

    // Index of the first section header of that name.
    std::optional<size_t> findSection(std::string_view section) const
    {
        for (size_t i = 0; i < lines_.size(); ++i)
            if (lines_[i].kind == Line::Section && SameText(lines_[i].name(), section))
                return i;
        return std::nullopt;
    }

    // One past the section's last line: the next header or the end of the file.
    size_t sectionEnd(size_t header) const
    {
        size_t i = header + 1;
        while (i < lines_.size() && lines_[i].kind != Line::Section)
            ++i;
        return i;
    }

    std::optional<size_t> findKey(size_t header, std::string_view ident) const
    {
        const size_t end = sectionEnd(header);
        for (size_t i = header + 1; i < end; ++i)
            if (lines_[i].kind == Line::Key && SameText(lines_[i].name(), ident))
                return i;
        return std::nullopt;
    }

    const Line& line(size_t i) const { return lines_[i]; }

    void replaceValue(size_t i, const std::string& value)
    {
        Line& line = lines_[i];
        line.text = line.text.substr(0, line.valueStart) + value + line.text.substr(line.valueEnd);
        classify(line);
    }

    // A new key goes after the section's last entry: comments and blank lines
    // that close the section stay in front of the next header.
    void addKey(size_t header, const std::string& ident, const std::string& value)
    {
        size_t after = header;
        const size_t end = sectionEnd(header);
        for (size_t i = header + 1; i < end; ++i)
            if (lines_[i].kind != Line::Blank && lines_[i].kind != Line::Comment)
                after = i;
        insert(after + 1, ident + "=" + value);
    }

    void addSection(const std::string& section, const std::string& ident, const std::string& value)
    {
        const bool separate = !lines_.empty() && lines_.back().kind != Line::Blank;
        if (separate)
            insert(lines_.size(), "");
        insert(lines_.size(), "[" + section + "]");
        insert(lines_.size(), ident + "=" + value);
    }

    std::string text() const
    {
        std::string out;
        for (const Line& line : lines_)
            out += line.text + line.end;
        return out;
    }

private:
    // New lines take the file's own line end; a new file gets CR LF.
    std::string lineEnd() const
    {
        for (const Line& line : lines_)
            if (!line.end.empty())
                return line.end;
        return "\r\n";
    }

    void insert(size_t at, std::string text)
    {
        const std::string end = lineEnd();
        // A last line without an end gets one before anything follows it.
        if (at == lines_.size() && !lines_.empty() && lines_.back().end.empty())
            lines_.back().end = end;
        Line line;
        line.text = std::move(text);
        line.end = end;
        classify(line);
        lines_.insert(lines_.begin() + std::ptrdiff_t(at), std::move(line));
    }

    std::vector<Line> lines_;
};

bool hasLineBreak(std::string_view s)
{
    return s.find_first_of("\r\n") != std::string_view::npos;
}

// What could not be read back as the same entry is refused rather than
// written as a different one.
const char* invalidEntry(const std::string& section, const std::string& ident, const std::string& value)
{
    if (trim(section).empty() || section.find(']') != std::string::npos || hasLineBreak(section))
        return "invalid section name";
    const std::string_view key = trim(ident);
    if (key.empty() || ident.find('=') != std::string::npos || key.front() == '[' || key.front() == ';' ||
        hasLineBreak(ident))
        return "invalid key name";
    if (hasLineBreak(value))
        return "line break in value";
    return nullptr;
}

bool pathExists(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

} // namespace

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

TIniFile::~TIniFile() = default;

std::string TIniFile::ReadString(const std::string& section, const std::string& ident,
                                 const std::string& defaultValue) const
{
    std::string data;
    if (!ReadWholeFile(fileName_, data))
        return defaultValue;
    const Document doc(data);
    const auto header = doc.findSection(section);
    if (!header)
        return defaultValue;
    const auto key = doc.findKey(*header, ident);
    if (!key)
        return defaultValue;
    std::string value = doc.line(*key).value();
    if (value.size() > MaxValueLength)
        value.resize(MaxValueLength);
    return value;
}

void TIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value)
{
    const std::string failure = Format("Unable to write to %s", fileName_.c_str());
    if (const char* reason = invalidEntry(section, ident, value))
        throw EIniFileException(failure + " (" + reason + ")");

    std::string data;
    // A file that exists but cannot be read would be lost by rewriting it.
    if (!ReadWholeFile(fileName_, data) && pathExists(fileName_))
        throw EIniFileException(failure);

    Document doc(data);
    const std::string name(trim(ident));
    if (const auto header = doc.findSection(trim(section))) {
        if (const auto key = doc.findKey(*header, name))
            doc.replaceValue(*key, value);
        else
            doc.addKey(*header, name, value);
    } else {
        doc.addSection(std::string(trim(section)), name, value);
    }
    if (WriteFileAtomically(fileName_, doc.text()) != SafeWriteResult::Ok)
        throw EIniFileException(failure);
}

} // namespace quellora
