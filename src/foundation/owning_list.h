#pragma once

#include "foundation/errors.h"

#include <QString>

#include <memory>
#include <utility>
#include <vector>

// A typed list that owns its items. Items are created only by AddNew and
// destroyed by Delete, Clear or the list itself, so a pointer taken from Get
// stays valid until its item is deleted. Every bad index raises an AppError
// with a message instead of touching memory it does not own.
template <typename T>
class OwningList {
public:
    OwningList() = default;
    ~OwningList() { Clear(); }
    OwningList(const OwningList &) = delete;
    OwningList &operator=(const OwningList &) = delete;

    // The number of items.
    int Count() const { return static_cast<int>(m_items.size()); }

    // Appends a default-constructed item; fill it through Last().
    void AddNew() { m_items.push_back(std::make_unique<T>()); }

    // The last item; raises on an empty list.
    T *Last() const
    {
        if (m_items.empty())
            throw AppError(QStringLiteral("cTemplateList - the list is empty"));
        return m_items.back().get();
    }

    // The item at 0-based `index`.
    T *Get(int index) const
    {
        checkIndex(index);
        return m_items[static_cast<size_t>(index)].get();
    }

    // Destroys the item at `index`; a negative index or an empty list does nothing.
    void Delete(int index)
    {
        if (index < 0 || m_items.empty())
            return;
        checkIndex(index);
        m_items.erase(m_items.begin() + index);
    }

    // Destroys every item, the last one first.
    void Clear()
    {
        while (!m_items.empty())
            m_items.pop_back();
    }

    // Exchanges the items of two lists; lets a reader fill a fresh list and
    // take it over only when it has succeeded.
    void Swap(OwningList &other) noexcept { m_items.swap(other.m_items); }

private:
    void checkIndex(int index) const
    {
        if (index < 0)
            throw AppError(QStringLiteral("cTemplateList - negative item number %1").arg(index));
        if (index >= Count())
            throw AppError(QStringLiteral("cTemplateList - to big item number"));
    }

    std::vector<std::unique_ptr<T>> m_items;
};
