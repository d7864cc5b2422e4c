#include "RowIndicatorHeader.h"

#include "DatasetModel.h"

#include <QPainter>

#include <cmath>

namespace {
constexpr int kIndicatorWidth = 14;
}

RowIndicatorHeader::RowIndicatorHeader(QWidget* parent) : QHeaderView(Qt::Vertical, parent)
{
    setSectionResizeMode(QHeaderView::Fixed);
    setSectionsClickable(false);
    setHighlightSections(false);
}

QSize RowIndicatorHeader::sizeHint() const { return QSize(kIndicatorWidth, defaultSectionSize()); }

void RowIndicatorHeader::paintSection(QPainter* p, const QRect& rect, int logical) const
{
    p->save(); // the style's section leaves the painter clipped to its text
    QHeaderView::paintSection(p, rect, logical);
    p->restore();
    const auto kind = DatasetModel::Indicator(
        model()->headerData(logical, Qt::Vertical, DatasetModel::IndicatorRole).toInt());
    if (kind == DatasetModel::Indicator::None)
        return;
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    const QColor ink = palette().color(QPalette::ButtonText);
    const QPointF c = QRectF(rect).center();
    switch (kind) {
    case DatasetModel::Indicator::Current: {
        p->setPen(Qt::NoPen);
        p->setBrush(ink);
        const QPointF arrow[] = {{c.x() - 2.5, c.y() - 4.5}, {c.x() + 2.5, c.y()}, {c.x() - 2.5, c.y() + 4.5}};
        p->drawPolygon(arrow, 3);
        break;
    }
    case DatasetModel::Indicator::Edit:
        p->setPen(QPen(ink, 1.2));
        p->drawLine(QPointF(c.x(), c.y() - 4.5), QPointF(c.x(), c.y() + 4.5));
        p->drawLine(QPointF(c.x() - 2, c.y() - 4.5), QPointF(c.x() + 2, c.y() - 4.5));
        p->drawLine(QPointF(c.x() - 2, c.y() + 4.5), QPointF(c.x() + 2, c.y() + 4.5));
        break;
    case DatasetModel::Indicator::Insert:
        p->setPen(QPen(ink, 1.4));
        for (int i = 0; i < 3; ++i) {
            const double a = 3.14159265 * i / 3;
            const QPointF d(3.5 * std::sin(a), 3.5 * std::cos(a));
            p->drawLine(c - d, c + d);
        }
        break;
    case DatasetModel::Indicator::None:
        break;
    }
    p->restore();
}
