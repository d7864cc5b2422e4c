#pragma once
#include <QDialog>
#include <QList>
#include <QPoint>
#include <QString>

#include <memory>

class Dataset;
class PeopleFilter;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class ResultGrid;
class ResultTexts;
class TMainDataModule;

// The filter window: criteria on the person profile, each a check box with one value control,
// and the "Filter" command that lists every person meeting all checked criteria.
class TFilters : public QDialog {
    Q_OBJECT
public:
    // A criterion compares its value with one column of table People.
    struct Criterion {
        QCheckBox* box = nullptr;
        QComboBox* list = nullptr; // a fixed list, or
        QLineEdit* edit = nullptr; // a text box
        QString column;
        QWidget* valueControl() const;
        QString value() const; // the chosen item or the typed text; empty while there is none
        void clearValue() const;
    };

    explicit TFilters(TMainDataModule* dataModule, QWidget* parent = nullptr);

    QLabel* Label1;            // the instruction above the criteria
    QLabel* Label2;            // "Filtering results"
    QLabel* LabelStopped;      // under the results of a run that was stopped
    ResultGrid* StringGrid1;
    QPushButton* BitBtn1;      // "Filter"
    QList<Criterion> criteria; // in screen order

    // Whether a stored value meets a criterion's value: the whole text, with only the letters A
    // to Z compared without regard to case. An empty or missing value never does.
    static bool valueMatches(const QString& stored, const QString& wanted);

signals:
    void resultsArrived(int found); // a run took in more of what it found

public slots:
    void FormShow();
    void BitBtn1Click();
    void CheckBoxClick(int criterion);
    void StringGrid1MouseUp(int row);

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    Criterion& addCriterion(QWidget* parent, const QString& name, const QString& caption, const QString& hint,
                            const QString& valueName, const QStringList& items, const QString& column,
                            int screenColumn, int screenRow, bool upperCase = false);
    // The people meeting every checked criterion, each with the cells of a result. The run goes
    // on in another thread while this one serves events; a long one shows its progress, and
    // Cancel ends it with what it found until then (*stopped says so).
    std::shared_ptr<ResultTexts> matchingPeople(bool* stopped);

    TMainDataModule* m_dataModule;
    QList<QPoint> m_places; // each criterion's column and row on the screen or in its group
    PeopleFilter* m_run = nullptr; // while a run goes on
};
