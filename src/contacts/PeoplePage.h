#pragma once
#include <QHash>
#include <QList>
#include <QStyle>
#include <QWidget>

#include <utility>

class ComboBinding;
class DataSource;
class FieldBinding;
class QComboBox;
class QGroupBox;
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
    QLineEdit* addText(QWidget* parent, const QString& caption, const QString& column, int x, int y, int lw, int fw,
                       bool upper = false);
    std::pair<QComboBox*, ComboBinding*> addCombo(QWidget* parent, const QString& caption, const QString& column,
                                                  const QStringList& items, bool editable, int x, int y, int lw,
                                                  int fw);
    QGroupBox* addOptions(const QString& caption, const QString& column, const QStringList& items, int columns,
                          QRect geometry);
    QToolButton* addToolButton(QWidget* parent, const QString& name, const QString& hint, QStyle::StandardPixmap icon,
                               QRect geometry);
    QToolButton* addLinkButton(QWidget* parent, const QString& name, const QString& hint, int x, int y);
    void buildToolbars();
    void buildPersonalHalf();
    void buildBusinessHalf();

    DataSource* m_people;
};
