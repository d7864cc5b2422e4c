#pragma once
#include "data/FollowUpQueries.h"

#include <QDialog>

#include <vector>

class QChartView;
class QLabel;
class QPushButton;
class QTableWidget;
class ResultGrid;
class TFollowUpForm;
class TMainDataModule;

// The sales pipeline: the expected order value of every logged activity summed by month of its
// expected order date, as a chart and a table, and below them the follow-ups and orders due
// around today, from which a person is made current and their activities opened.
class TPipelineForm : public QDialog {
    Q_OBJECT
public:
    explicit TPipelineForm(TMainDataModule* dataModule, QWidget* parent = nullptr);

    QChartView* PipelineChart;
    QTableWidget* PipelineGrid;
    QLabel* CountingNote; // how the orders are counted
    QLabel* DueLabel;
    ResultGrid* DueGrid;
    QPushButton* SavePictureButton;
    QPushButton* SaveCsvButton;
    QPushButton* CloseButton;

    // The follow-up window is made before this one; start-up hands it over.
    void setFollowUpForm(TFollowUpForm* form) { m_followUp = form; }

    // Reads the sums and the due list from the file. False, after saying so, when no expected
    // order has been logged: the window then does not open.
    bool FormLoad();
    const FollowUpQueries::Pipeline& pipeline() const { return m_pipeline; }
    // What the pointer over a month's bar shows.
    QString barToolTip(int month) const;

public slots:
    void SavePictureButtonClick();
    void SaveCsvButtonClick();
    void DueGridSelect(int row);   // makes the row's person current
    void DueGridOpen(int row);     // the follow-up window on the row's person

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void read();
    void fillChart();
    void fillTable();
    void fillDue();
    QString monthText(int month) const; // a charted month as the table and the axis show it
    QString savePath(const QString& objectName, const QString& caption, const QString& filter,
                     const QString& suffix);
    void save(const QString& path, QByteArray bytes);

    struct Line {
        QString month;
        FollowUpQueries::Sum sum;
        bool strong; // this month and the total
    };

    TMainDataModule* m_dataModule;
    std::vector<Line> m_lines; // the table's rows
    TFollowUpForm* m_followUp = nullptr;
    FollowUpQueries::Pipeline m_pipeline;
    std::vector<FollowUpQueries::Due> m_due;
    bool m_sized = false;
    bool m_filling = false; // the due list is being filled
};
