#include "ResultTexts.h"

#include <QVariant>

void ResultTexts::add(QStringView cell)
{
    // Encoded straight into the buffer: no text of its own for each cell.
    const qsizetype at = m_bytes.size();
    m_bytes.resize(at + m_encoder.requiredSpace(cell.size()));
    char* end = m_encoder.appendToBuffer(m_bytes.data() + at, cell);
    m_bytes.resize(end - m_bytes.constData());
    m_ends.push_back(std::uint32_t(m_bytes.size()));
}

QString ResultTexts::text(int row, int column) const
{
    const size_t i = size_t(row) * size_t(m_columns) + size_t(column);
    if (row < 0 || column < 0 || column >= m_columns || i >= m_ends.size())
        return {};
    const std::uint32_t begin = i == 0 ? 0 : m_ends[i - 1];
    return QString::fromUtf8(m_bytes.constData() + begin, qsizetype(m_ends[i] - begin));
}

void ResultTexts::add(const QVariant& cell)
{
    if (cell.metaType().id() == QMetaType::QString)
        add(QStringView(*static_cast<const QString*>(cell.constData())));
    else
        add(QStringView(cell.toString()));
}
