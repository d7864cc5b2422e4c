#include "DataSource.h"

#include "Dataset.h"

DataSource::DataSource(const QString& name, Dataset* dataset, QObject* parent)
    : QObject(parent), m_dataset(dataset)
{
    setObjectName(name);
    connect(dataset, &Dataset::rowsChanged, this, &DataSource::rowsChanged);
    connect(dataset, &Dataset::changed, this, &DataSource::changed);
    connect(dataset, &Dataset::fieldChanged, this, &DataSource::fieldChanged);
    connect(dataset, &Dataset::moved, this, &DataSource::moved);
}
