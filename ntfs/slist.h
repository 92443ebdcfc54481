// CSList: the owning singly linked list of the NTFS reader, kept in insertion order and walked
// with one built-in cursor.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

template <class T> class CSList {
public:
    CSList() = default;
    CSList(const CSList&) = delete;
    CSList& operator=(const CSList&) = delete;
    virtual ~CSList() { Clear(); }

    // Hands `element` to the list, at the tail. A null element is kept as a null entry.
    bool Append(std::unique_ptr<T> element) {
        auto node = std::make_unique<Node>();
        node->element = std::move(element);
        Node* added = node.get();
        if (m_tail == nullptr) {
            m_head = std::move(node);
        } else {
            m_tail->next = std::move(node);
        }
        m_tail = added;
        ++m_count;
        return true;
    }

    T* First() {
        m_cursor = m_head.get();
        return m_cursor != nullptr ? m_cursor->element.get() : nullptr;
    }

    T* Next() {
        if (m_cursor != nullptr) {
            m_cursor = m_cursor->next.get();
        }
        return m_cursor != nullptr ? m_cursor->element.get() : nullptr;
    }

    // Destroys every element, node by node: a recursive unique_ptr chain would overflow the
    // stack for the long run lists of a badly fragmented file.
    void Clear() {
        while (m_head != nullptr) {
            std::unique_ptr<Node> next = std::move(m_head->next);
            m_head = std::move(next);
        }
        m_tail = nullptr;
        m_cursor = nullptr;
        m_count = 0;
    }

    // Moves every element of `source`, in order, to the tail of this list and leaves `source`
    // empty: the one explicit way for elements to change owner.
    void TakeAllFrom(CSList& source) {
        if (&source == this || source.m_head == nullptr) {
            return;
        }
        Node* sourceTail = source.m_tail;
        if (m_tail == nullptr) {
            m_head = std::move(source.m_head);
        } else {
            m_tail->next = std::move(source.m_head);
        }
        m_tail = sourceTail;
        m_count += source.m_count;
        source.m_tail = nullptr;
        source.m_cursor = nullptr;
        source.m_count = 0;
    }

    [[nodiscard]] std::int32_t Count() const { return m_count; }

private:
    struct Node {
        std::unique_ptr<Node> next;
        std::unique_ptr<T> element;
    };

    std::int32_t m_count = 0;
    std::unique_ptr<Node> m_head;
    Node* m_tail = nullptr;
    Node* m_cursor = nullptr;
};
