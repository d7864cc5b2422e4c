#pragma once
#include <QVariant>

#include <array>
#include <bit>
#include <cstdint>
#include <vector>

// One row of a dataset. Only the columns that hold a value take memory. A row of a large table
// holds only what ordering and finding need (its identity and a few columns) unless it is
// complete: the row being edited, or one the dataset wrote and has not put in order yet.
class Row {
public:
    static constexpr int kMaxColumns = 128;
    static constexpr quint32 kNoText = 0xffffffffu;

    bool isComplete() const { return m_complete; }
    void setComplete(bool complete) { m_complete = complete; }
    // Where the searched column's case-folded text stands in the dataset's text store;
    // foldedLength is kNoText when the value is null.
    quint32 foldedAt = 0;
    quint32 foldedLength = kNoText;

    // The stored value, or nullptr for none: for scans that must not copy.
    const QVariant* find(int col) const { return has(col) ? &m_values[slot(col)] : nullptr; }

    QVariant value(int col) const
    {
        if (!has(col))
            return {};
        return m_values[slot(col)];
    }

    void setValue(int col, const QVariant& v)
    {
        if (col < 0 || col >= kMaxColumns)
            return;
        const bool present = !(v.isNull() || !v.isValid());
        if (has(col)) {
            if (present) {
                m_values[slot(col)] = v;
            } else {
                m_values.erase(m_values.begin() + slot(col));
                m_mask[col / 64] &= ~(std::uint64_t(1) << (col % 64));
            }
        } else if (present) {
            m_values.insert(m_values.begin() + slot(col), v);
            m_mask[col / 64] |= std::uint64_t(1) << (col % 64);
        }
    }

    // Appends in column order while reading a row; faster than setValue.
    void append(int col, const QVariant& v)
    {
        if (v.isNull())
            return;
        m_mask[col / 64] |= std::uint64_t(1) << (col % 64);
        m_values.push_back(v);
    }

    // Takes a whole row at once: the mask of present columns and their values in column order.
    void assign(const std::array<std::uint64_t, 2>& mask, std::vector<QVariant>&& values)
    {
        m_mask = mask;
        m_values = std::move(values);
    }

private:
    // A column outside the row holds nothing: a missing column is never an index into memory.
    bool has(int col) const { return col >= 0 && col < kMaxColumns && ((m_mask[col / 64] >> (col % 64)) & 1); }
    int slot(int col) const
    {
        int n = 0;
        for (int i = 0; i < col / 64; ++i)
            n += std::popcount(m_mask[i]);
        const std::uint64_t below = (std::uint64_t(1) << (col % 64)) - 1;
        return n + std::popcount(m_mask[col / 64] & below);
    }

    std::array<std::uint64_t, 2> m_mask{};
    std::vector<QVariant> m_values;
    bool m_complete = true;
};
