#include "ByteStrings.h"

#include <cassert>

namespace quellora {

ByteStrings::ByteStrings(std::initializer_list<std::string_view> items)
{
    ends_.reserve(items.size());
    for (std::string_view item : items)
        push_back(item);
}

ByteStrings::ByteStrings(std::string packed, std::vector<size_t> ends) : packed_(std::move(packed)), ends_(std::move(ends))
{
    assert(ends_.empty() ? packed_.empty() : ends_.back() == packed_.size());
}

void ByteStrings::push_back(std::string_view item)
{
    packed_.append(item);
    ends_.push_back(packed_.size());
}

void ByteStrings::erase(size_t index)
{
    const size_t start = index == 0 ? 0 : ends_[index - 1];
    const size_t length = ends_[index] - start;
    packed_.erase(start, length);
    ends_.erase(ends_.begin() + std::ptrdiff_t(index));
    for (size_t i = index; i < ends_.size(); ++i)
        ends_[i] -= length;
}

void ByteStrings::clear()
{
    // Give the memory back: a cleared playlist of a million items holds nothing.
    std::string().swap(packed_);
    std::vector<size_t>().swap(ends_);
}

} // namespace quellora
