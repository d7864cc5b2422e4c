#pragma once
#include <QDialog>

// The filter window; its criteria and result list are built in their own step.
class TFilters : public QDialog {
    Q_OBJECT
public:
    explicit TFilters(QWidget* parent = nullptr);
};
