#pragma once
// The list-file format: one item per line, CR LF after every item. Reading
// accepts CR LF, lone CR and lone LF, and stops at the first NUL byte.

#include "ByteStrings.h"

#include <string>
#include <string_view>

namespace quellora {

// Splits list-file text into items.
ByteStrings SplitListText(std::string_view text);

// Joins items into list-file text.
std::string JoinListText(const ByteStrings& items);

// True when `item` reads back from a list file as the one item it was
// written as: it holds no line break (CR or LF). Other names cannot be kept
// in a list.
bool FitsListFile(std::string_view item);

// Reads the whole file first; throws EFOpenError "Cannot open file %s".
ByteStrings LoadListFile(const std::string& path);

// Throws EFCreateError "Cannot create file %s" when the file cannot be made or
// may not be written (the earlier file then stays byte for byte), or
// EWriteError "Stream write error" when not every byte could be written.
void SaveListFile(const std::string& path, const ByteStrings& items);

} // namespace quellora
