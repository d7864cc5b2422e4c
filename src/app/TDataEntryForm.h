#pragma once
#include <QMainWindow>

#include <functional>

class Dataset;
class PeoplePage;
class QAction;
class QTabWidget;
class HelpWebBrowser;
class TMainDataModule;

// The main window: the page control reduced to the People page, the main menu and both
// toolbars. Menu items and toolbar buttons only call the People page's handlers.
class TDataEntryForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TDataEntryForm(TMainDataModule* dataModule, QWidget* parent = nullptr);
    ~TDataEntryForm() override;

    QTabWidget* MainDataEntry;
    PeoplePage* People;
    QWidget* HelpSheet;
    HelpWebBrowser* HelpBrowser; // loads the help start page; the page is never shown
    QAction* ShowHidebusinessandotherinfo1;
    bool BusinessInfoShown = false;

    void detachPages(); // start-up: keeps only the People page and the hidden help page
    int outerWidth() const;
    void setOuterWidth(int width);

public slots:
    // Frame.
    void FormCreate();
    void FormShow();
    void Exit1Click();
    void About1Click();
    // Menu items.
    void Add1Click();
    void Delete1Click();
    void DeleteAll1Click();
    void DeletedPeople1Click();
    void History1Click();
    void RestoreBackup1Click();
    void Save1Click();
    void Discardchanges1Click();
    void Refresh1Click();
    void ShowHidebusinessandotherinfo1Click();
    void PersonalityIdentification1Click();
    void First1Click();
    void Previous1Click();
    void Next1Click();
    void Last1Click();
    void Filters1Click();
    void Followup1Click();
    void Findduplicates1Click();
    void TeamDatabase1Click();
    void Pipeline1Click();
    void CSVfile1Click();
    void VCardfile1Click(); // import
    void CSVfile2Click();   // export
    void VCardfile2Click(); // export
    void Calendarfile2Click();
    void Content1Click();
    // Left toolbar.
    void Image4Click();
    void Image3Click();
    void Image5Click();
    void Image9Click();
    void Image10Click();
    void Image11Click(); // the sales pipeline
    // People page: record commands.
    void SpeedButton4Click();  // New
    void SpeedButton3Click();  // Delete
    void SpeedButton1Click();  // Delete all
    void SpeedButton2Click();  // Save
    void SpeedButton5Click();  // Discard changes
    void SpeedButton6Click();  // Refresh
    void SpeedButton7Click();  // First
    void SpeedButton8Click();  // Prior
    void SpeedButton9Click();  // Next
    void SpeedButton10Click(); // Last
    void Button7Click();       // show/hide the business half
    void SpeedButton17Click(); // business web site
    void SpeedButton18Click(); // home page
    void SpeedButton19Click(); // e-mail to Email 1
    void SpeedButton16Click(); // e-mail to Email 2
    // People page: search, dates, guidance and the other windows.
    void Edit1Change();
    void Button2Click();
    void Button6Click();
    void DBComboBox4Change();
    void PeopleTabSheetShow();
    void RetailButtonClick();
    void BitBtn8Click();       // filters
    void BitBtn7Click();       // follow-up activities
    void PipelineClick();      // the sales pipeline
    void SpeedButton14Click(); // CSV import
    void SpeedButton13Click(); // help
    void BitBtn5Click();       // help

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void setVisible(bool visible) override;

private:
    void buildMenu();
    void wire();
    void focusShowHide();
    void placeOnScreen(int width); // centred for that width, a little above the middle
    void runMove(const std::function<void(Dataset&)>& step);
    // Before a new person is saved: when a likely duplicate is on file, asks whether to open that
    // person instead. False: do not save (the user opened that person or went on editing).
    bool confirmNewPerson();
    void pickDate(const QString& column);
    // ready: run once the list is known not to be empty; false keeps the window shut.
    // The person on screen saved before a window over the people opens; false: the user stays.
    bool savePendingEdit();
    void openModalOverPeople(QWidget* window, const QString& emptyMessage, const std::function<bool()>& ready = {});
    Dataset* people() const;

    TMainDataModule* m_dataModule;
    int m_outerWidth = 791;
};
