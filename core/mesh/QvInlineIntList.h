// SPDX-License-Identifier: GPL-3.0-or-later
// A list of ints that keeps up to seven of them inside itself and goes to the heap
// only beyond that: a vertex's incident edges, which number about six, without a heap
// block of their own. It reads and edits like std::vector<int> (contiguous, order kept,
// iterators are pointers invalidated by growth), in 32 bytes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <new>
#include <vector>

class QvInlineIntList
{
public:
    using value_type = int;
    using size_type = std::size_t;
    using difference_type = std::ptrdiff_t;
    using reference = int&;
    using const_reference = const int&;
    using pointer = int*;
    using const_pointer = const int*;
    using iterator = int*;
    using const_iterator = const int*;
    using reverse_iterator = std::reverse_iterator<iterator>;
    using const_reverse_iterator = std::reverse_iterator<const_iterator>;

    static constexpr std::size_t kInline = 7;

    QvInlineIntList() noexcept = default;
    QvInlineIntList(std::initializer_list<int> items) { assign(items.begin(), items.end()); }
    explicit QvInlineIntList(const std::vector<int>& items) { assign(items.begin(), items.end()); }
    template <class It>
    QvInlineIntList(It first, It last)
    {
        assign(first, last);
    }
    // A copy holds its items inline whenever they fit, whatever the source's capacity.
    QvInlineIntList(const QvInlineIntList& other) { assign(other.begin(), other.end()); }
    QvInlineIntList(QvInlineIntList&& other) noexcept { Take(other); }
    QvInlineIntList& operator=(const QvInlineIntList& other)
    {
        if (this != &other)
            assign(other.begin(), other.end());
        return *this;
    }
    QvInlineIntList& operator=(QvInlineIntList&& other) noexcept
    {
        if (this != &other)
        {
            Release();
            Take(other);
        }
        return *this;
    }
    QvInlineIntList& operator=(std::initializer_list<int> items)
    {
        assign(items.begin(), items.end());
        return *this;
    }
    QvInlineIntList& operator=(const std::vector<int>& items)
    {
        assign(items.begin(), items.end());
        return *this;
    }
    ~QvInlineIntList() { Release(); }

    template <class It>
    void assign(It first, It last)
    {
        const std::size_t n = static_cast<std::size_t>(std::distance(first, last));
        clear();
        reserve(n);
        std::copy(first, last, data());
        SetSize(n);
    }

    std::size_t size() const noexcept { return m_count & ~kHeapBit; }
    bool empty() const noexcept { return size() == 0; }
    std::size_t capacity() const noexcept { return OnHeap() ? Capacity() : kInline; }
    // True while the items sit inside the list (no heap block).
    bool IsInline() const noexcept { return !OnHeap(); }

    int* data() noexcept { return OnHeap() ? HeapPointer() : m_slots; }
    const int* data() const noexcept { return OnHeap() ? HeapPointer() : m_slots; }
    iterator begin() noexcept { return data(); }
    iterator end() noexcept { return data() + size(); }
    const_iterator begin() const noexcept { return data(); }
    const_iterator end() const noexcept { return data() + size(); }
    const_iterator cbegin() const noexcept { return begin(); }
    const_iterator cend() const noexcept { return end(); }
    reverse_iterator rbegin() noexcept { return reverse_iterator(end()); }
    reverse_iterator rend() noexcept { return reverse_iterator(begin()); }
    const_reverse_iterator rbegin() const noexcept { return const_reverse_iterator(end()); }
    const_reverse_iterator rend() const noexcept { return const_reverse_iterator(begin()); }

    int& operator[](std::size_t i) noexcept { return data()[i]; }
    const int& operator[](std::size_t i) const noexcept { return data()[i]; }
    int& front() noexcept { return data()[0]; }
    const int& front() const noexcept { return data()[0]; }
    int& back() noexcept { return data()[size() - 1]; }
    const int& back() const noexcept { return data()[size() - 1]; }

    void push_back(int value)
    {
        const std::size_t n = size();
        if (n == capacity())
            Grow(n + 1);
        data()[n] = value;
        SetSize(n + 1);
    }
    int& emplace_back(int value)
    {
        push_back(value);
        return back();
    }
    void pop_back() noexcept { SetSize(size() - 1); }
    // Keeps the capacity, as a vector does.
    void clear() noexcept { SetSize(0); }
    void reserve(std::size_t n)
    {
        if (n > capacity())
            Reallocate(n);
    }
    void resize(std::size_t n, int value = 0)
    {
        reserve(n);
        const std::size_t old = size();
        if (n > old)
            std::fill(data() + old, data() + n, value);
        SetSize(n);
    }
    void shrink_to_fit()
    {
        if (OnHeap() && size() < Capacity())
            Reallocate(size());
    }

    iterator erase(const_iterator position) { return erase(position, position + 1); }
    iterator erase(const_iterator first, const_iterator last)
    {
        int* base = data();
        int* from = base + (first - base);
        const int* stop = base + (last - base);
        std::copy(stop, static_cast<const int*>(end()), from);
        SetSize(size() - static_cast<std::size_t>(stop - from));
        return from;
    }
    iterator insert(const_iterator position, int value)
    {
        const std::size_t at = static_cast<std::size_t>(position - begin());
        const std::size_t n = size();
        if (n == capacity())
            Grow(n + 1);
        int* base = data();
        std::copy_backward(base + at, base + n, base + n + 1);
        base[at] = value;
        SetSize(n + 1);
        return base + at;
    }
    template <class It>
    iterator insert(const_iterator position, It first, It last)
    {
        // Taken aside first: the range may lie in this list, which growing moves.
        const std::vector<int> items(first, last);
        const std::size_t at = static_cast<std::size_t>(position - begin());
        const std::size_t count = items.size();
        const std::size_t n = size();
        if (n + count > capacity())
            Grow(n + count);
        int* base = data();
        std::copy_backward(base + at, base + n, base + n + count);
        std::copy(items.begin(), items.end(), base + at);
        SetSize(n + count);
        return base + at;
    }

    void swap(QvInlineIntList& other) noexcept
    {
        QvInlineIntList held(std::move(other));
        other = std::move(*this);
        *this = std::move(held);
    }
    friend void swap(QvInlineIntList& a, QvInlineIntList& b) noexcept { a.swap(b); }

    // A copy as a vector; explicit, so no caller copies by accident.
    std::vector<int> ToVector() const { return std::vector<int>(begin(), end()); }
    explicit operator std::vector<int>() const { return ToVector(); }

    friend bool operator==(const QvInlineIntList& a, const QvInlineIntList& b)
    {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }
    friend bool operator==(const QvInlineIntList& a, const std::vector<int>& b)
    {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    static constexpr std::uint32_t kHeapBit = 0x80000000u;

    bool OnHeap() const noexcept { return (m_count & kHeapBit) != 0; }
    std::size_t Capacity() const noexcept { return static_cast<std::uint32_t>(m_slots[0]); }
    // On the heap, slot 0 holds the capacity and slots 1-2 (8-aligned) the block.
    int* HeapPointer() const noexcept
    {
        int* p = nullptr;
        std::memcpy(&p, &m_slots[1], sizeof p);
        return p;
    }
    void SetSize(std::size_t n) noexcept { m_count = static_cast<std::uint32_t>(n) | (m_count & kHeapBit); }

    void Grow(std::size_t needed) { Reallocate(std::max(needed, capacity() + capacity() / 2 + 1)); }
    // Moves the items to a block of the capacity, or inside when it fits.
    void Reallocate(std::size_t capacity)
    {
        const std::size_t n = size();
        if (capacity <= kInline)
        {
            if (!OnHeap())
                return;
            int* block = HeapPointer();
            std::copy(block, block + n, m_slots);
            ::operator delete(block);
            m_count = static_cast<std::uint32_t>(n);
            return;
        }
        int* block = static_cast<int*>(::operator new(capacity * sizeof(int)));
        std::copy(begin(), end(), block);
        Release();
        m_count = static_cast<std::uint32_t>(n) | kHeapBit;
        m_slots[0] = static_cast<std::int32_t>(capacity);
        std::memcpy(&m_slots[1], &block, sizeof block);
    }
    void Release() noexcept
    {
        if (OnHeap())
            ::operator delete(HeapPointer());
        m_count = 0;
    }
    // Takes the other's items (its block when it has one) and leaves it empty.
    void Take(QvInlineIntList& other) noexcept
    {
        m_count = other.m_count;
        std::memcpy(m_slots, other.m_slots, sizeof m_slots);
        other.m_count = 0;
    }

    alignas(8) std::uint32_t m_count = 0;
    std::int32_t m_slots[kInline] = {};
};

static_assert(sizeof(QvInlineIntList) == 32);
