#pragma once
#include "widgets/TabChain.h"

#include <QHash>
#include <QIcon>
#include <QList>
#include <QWidget>

#include <utility>

class ComboBinding;
class DataSource;
class FieldBinding;
class QButtonGroup;
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
    QWidget* BusinessHalf;          // everything right of the personal half

    // The business half is shown only while the window is wide enough for it.
    void setBusinessHalfShown(bool shown);
    const TabChain& tabChain() const { return m_tabChain; }
    static QIcon picture(const QString& name); // a toolbar picture from the resources

    ComboBinding* professionBinding = nullptr;
    ComboBinding* companyBinding = nullptr;
    ComboBinding* solutionBinding = nullptr;
    QList<FieldBinding*> bindings;

private:
    bool m_showingUnreadable = false;
    QLineEdit* addText(QWidget* parent, const QString& caption, const QString& column, int x, int y, int lw, int fw,
                       bool upper = false);
    std::pair<QComboBox*, ComboBinding*> addCombo(QWidget* parent, const QString& caption, const QString& column,
                                                  const QStringList& items, bool editable, int x, int y, int lw,
                                                  int fw);
    QGroupBox* addOptions(QWidget* parent, const QString& caption, const QString& column, const QStringList& items,
                          int columns, QRect geometry);
    QToolButton* addToolButton(QWidget* parent, const QString& name, const QString& hint, const QIcon& icon,
                               QRect geometry);
    QToolButton* addLinkButton(QWidget* parent, const QString& name, const QString& hint, int x, int y);
    void buildToolbars();
    void buildPersonalHalf();
    void buildBusinessHalf();
    void buildTabChain();
    void showReadable(); // the fields off while the current person cannot be read

protected:
    bool focusNextPrevChild(bool next) override;

private:
    DataSource* m_people;
    TabChain m_tabChain;
    QHash<QString, QButtonGroup*> m_optionGroups;
};
