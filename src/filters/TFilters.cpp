#include "TFilters.h"

TFilters::TFilters(QWidget* parent) : QDialog(parent)
{
    setObjectName("Filters");
    setWindowTitle("Filters");
}
