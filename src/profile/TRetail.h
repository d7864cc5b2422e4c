#pragma once
#include <QDialog>
#include <QVector>

#include "widgets/TabChain.h"

class Dataset;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QTabWidget;
class TMainDataModule;

// The personality identification window: 24 two-choice questions about the current person,
// each answer stored the moment it is clicked, and the selling tactics derived from them.
class TRetail : public QDialog {
    Q_OBJECT
public:
    TRetail(TMainDataModule* dataModule, QWidget* parent = nullptr);
    ~TRetail() override;

    Dataset* QMainTable;
    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QWidget* TabSheet2;
    QWidget* TabSheet3;
    QLabel* AssertTip;  // the hint boxes: room for the longest hint, wrapped
    QLabel* ResponTip;
    QPlainTextEdit* Memo1;
    QVector<QGroupBox*> RadioGroups;   // index n-1 holds question n
    QVector<QButtonGroup*> Choices;    // the two buttons of each question
    bool LoadingAnswers = false;
    bool OpinionLineAdded = false;
    QVector<int> Answers;              // question n at index n-1

    int selectedAnswer(int question) const; // -1, 0 or 1

public slots:
    void FormCreate();
    void FormShow();
    void AddQuestionsClick();
    void LoadDataClick();
    bool LocateQuestion(int question);
    void RadioGroup1Click(int question);
    void PageControl1Change(int index);
    void ApplicationEvents1ShowHint(const QString& hint);
    void CalculateClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    QWidget* buildQuestionsTab(int firstQuestion, QLabel** tip);
    void setTab(int index); // the program's own tab change, which runs no handler
    QVector<int> readAnswers();
    QVector<int> chosenRows() const;
    void mendRows(const QVariant& person);
    void prepareRows(); // throws DataError with the reason alone

    TMainDataModule* m_dataModule;
    bool m_settingTab = false;
    TabChain m_chains[2]; // the questions of each question tab, in question order
};
