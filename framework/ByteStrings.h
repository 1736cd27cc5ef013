#pragma once
// An ordered list of byte strings packed into one buffer, with the end offset
// of each item beside it: a million playlist items cost their bytes and one
// offset each, not a heap block each. Items come back by index as views into
// the buffer; a view lasts until the list is next changed.

#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace quellora {

class ByteStrings {
public:
    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;

        const_iterator() = default;
        std::string_view operator*() const { return (*list_)[index_]; }
        const_iterator& operator++() { ++index_; return *this; }
        const_iterator operator++(int) { const_iterator old = *this; ++index_; return old; }
        const_iterator& operator--() { --index_; return *this; }
        const_iterator& operator+=(difference_type n) { index_ += size_t(n); return *this; }
        const_iterator operator+(difference_type n) const { return const_iterator(list_, index_ + size_t(n)); }
        difference_type operator-(const const_iterator& other) const { return difference_type(index_ - other.index_); }
        bool operator==(const const_iterator& other) const { return index_ == other.index_; }

    private:
        friend class ByteStrings;
        const_iterator(const ByteStrings* list, size_t index) : list_(list), index_(index) {}
        const ByteStrings* list_ = nullptr;
        size_t index_ = 0;
    };
    using iterator = const_iterator;
    using value_type = std::string_view;
    using size_type = size_t;

    ByteStrings() = default;
    ByteStrings(std::initializer_list<std::string_view> items);
    // Takes over a buffer that already holds the items back to back, with
    // the end offset of each in order, the last one the buffer's size.
    ByteStrings(std::string packed, std::vector<size_t> ends);

    size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }
    // All items' bytes together, without separators.
    size_t bytes() const { return packed_.size(); }

    std::string_view operator[](size_t index) const
    {
        const size_t start = index == 0 ? 0 : ends_[index - 1];
        return std::string_view(packed_).substr(start, ends_[index] - start);
    }

    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, size()); }

    void push_back(std::string_view item);
    void erase(size_t index);
    void clear();

    friend bool operator==(const ByteStrings&, const ByteStrings&) = default;

private:
    std::string packed_;
    std::vector<size_t> ends_;
};

} // namespace quellora
