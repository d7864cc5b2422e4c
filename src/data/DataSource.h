#pragma once
#include "RowChange.h"

#include <QObject>

class Dataset;

// Announces its dataset's changes to bound controls and detail datasets.
class DataSource : public QObject {
    Q_OBJECT
public:
    DataSource(const QString& name, Dataset* dataset, QObject* parent = nullptr);
    Dataset* dataset() const { return m_dataset; }

signals:
    void rowsChanged(RowChange change);
    void changed();
    void fieldChanged(int column);
    void moved();

private:
    Dataset* m_dataset;
};
