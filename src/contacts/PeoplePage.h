#pragma once
#include <QHash>
#include <QList>
#include <QWidget>

class ComboBinding;
class DataSource;
class FieldBinding;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

// The People page: the personal half on the left, the business half on the right, the top
// toolbar and the left toolbar. Every bound control shows the current person of the data source.
class PeoplePage : public QWidget {
    Q_OBJECT
public:
    PeoplePage(DataSource* people, QWidget* parent = nullptr);

    QLineEdit* Edit1;               // search by name
    QPushButton* Button7;           // show/hide business half
    QLineEdit* NameEdit;            // "Name (required)"
    QComboBox* ProfessionComboBox;
    QComboBox* CompanyComboBox;
    QComboBox* SolutionComboBox;    // hidden: OfferedSolution
    QComboBox* DBComboBox4;         // prospecting method
    QPlainTextEdit* Memo2;          // its description
    QPushButton* Button2;           // birthday "..."
    QPushButton* Button6;           // anniversary "..."
    QLineEdit* WebPageEdit;
    QLineEdit* HomePageEdit;
    QLineEdit* Email1Edit;
    QLineEdit* Email2Edit;
    QToolButton* SpeedButton16;     // send email to Email 2
    QToolButton* SpeedButton17;     // go to the business web site
    QToolButton* SpeedButton18;     // go to the home page
    QToolButton* SpeedButton19;     // send email to Email 1
    QHash<QString, QToolButton*> toolbar;     // top toolbar, by control name
    QHash<QString, QToolButton*> sideToolbar; // left toolbar, by control name

    ComboBinding* professionBinding = nullptr;
    ComboBinding* companyBinding = nullptr;
    ComboBinding* solutionBinding = nullptr;
    QList<FieldBinding*> bindings;

private:
    void buildToolbars();
    void buildPersonalHalf();
    void buildBusinessHalf();

    DataSource* m_people;
};
