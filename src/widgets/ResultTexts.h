#pragma once
#include <QByteArray>
#include <QString>
#include <QStringEncoder>

#include <cstdint>
#include <vector>

// The texts of a list of results as they were found, kept apart from the table they came from:
// another program's later writes change nothing in them. Rows of a fixed number of cells, held
// as UTF-8 in one buffer, so that a list of everyone costs little more than its characters.
class QVariant;

class ResultTexts {
public:
    explicit ResultTexts(int columns) : m_columns(columns) {}

    void add(QStringView cell); // the next cell, row by row
    void add(const QVariant& cell); // a column's value as text, none for NULL
    int rows() const { return int(m_ends.size() / size_t(m_columns)); }
    QString text(int row, int column) const;

private:
    int m_columns;
    QByteArray m_bytes;
    QStringEncoder m_encoder{QStringEncoder::Utf8};
    std::vector<std::uint32_t> m_ends; // where each cell ends in m_bytes
};
