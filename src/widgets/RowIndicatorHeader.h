#pragma once
#include <QHeaderView>

// A grid's indicator column: an arrow at the current row, an I-beam while it is edited, an
// asterisk while it is a new row, as the grid's DatasetModel tells for each row.
class RowIndicatorHeader : public QHeaderView {
public:
    explicit RowIndicatorHeader(QWidget* parent);
    QSize sizeHint() const override;

protected:
    void paintSection(QPainter* p, const QRect& rect, int logical) const override;
};
