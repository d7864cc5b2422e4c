#include "TDataEntryForm.h"

#include "AppWindows.h"
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "contacts/PeoplePage.h"
#include "data/DataError.h"
#include "widgets/FieldBinding.h"
#include "data/MainDataModule.h"
#include "help/HelpWebBrowser.h"
#include "help/TAboutForm.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>

namespace {
constexpr int kClientWidth = 791;
constexpr int kClientHeight = 524;
constexpr int kCollapsedWidth = 430;
} // namespace

TDataEntryForm::TDataEntryForm(TMainDataModule* dataModule, QWidget* parent)
    : QMainWindow(parent), m_dataModule(dataModule)
{
    setObjectName("DataEntryForm");
    setWindowTitle("Vantrel (Belcarre)");
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    MainDataEntry = new QTabWidget(this);
    MainDataEntry->setObjectName("MainDataEntry");
    MainDataEntry->setTabPosition(QTabWidget::West);
    MainDataEntry->setDocumentMode(true);
    auto page = [this](const QString& name, const QString& caption) {
        auto* w = new QWidget;
        w->setObjectName(name);
        MainDataEntry->addTab(w, caption);
        return w;
    };
    page("CompaniesTabSheet", "Companies");
    page("ProjetcsTabSheet", "Projects");
    page("SubProjectsTabSheet", "Subprojects");
    People = new PeoplePage(dataModule->PeopleCompanyDS);
    MainDataEntry->addTab(People, "Vantrel - People");
    page("Contribution", "Contribution");
    HelpSheet = page("HelpSheet", "Help");
    HelpBrowser = new HelpWebBrowser(HelpSheet);
    HelpBrowser->setObjectName("WebBrowser1");
    for (int i : {0, 1, 2, 4, 5})
        MainDataEntry->setTabVisible(i, false);
    // Only the People page is ever shown: no key, wheel or click may select another page.
    MainDataEntry->setFocusPolicy(Qt::NoFocus);
    MainDataEntry->tabBar()->setFocusPolicy(Qt::NoFocus);
    MainDataEntry->installEventFilter(this);
    MainDataEntry->tabBar()->installEventFilter(this);
    connect(MainDataEntry, &QTabWidget::currentChanged, this, [this](int index) {
        if (index != 0 && MainDataEntry->indexOf(People) == 0)
            MainDataEntry->setCurrentIndex(0);
    });
    setCentralWidget(MainDataEntry);
    buildMenu();
    wire();

    // The data module refills the suggestion lists; the page only shows them.
    connect(dataModule, &TMainDataModule::professionListFilled, People->professionBinding, &ComboBinding::setItems);
    connect(dataModule, &TMainDataModule::companyListFilled, People->companyBinding, &ComboBinding::setItems);
    connect(dataModule, &TMainDataModule::solutionListFilled, People->solutionBinding, &ComboBinding::setItems);
    dataModule->nameText = [this] { return People->NameEdit->text(); };
    dataModule->focusName = [this] { People->NameEdit->setFocus(); };
    FormCreate();
}

TDataEntryForm::~TDataEntryForm()
{
    m_dataModule->nameText = nullptr;
    m_dataModule->focusName = nullptr;
}

void TDataEntryForm::buildMenu()
{
    auto item = [this](QMenu* menu, const QString& name, const QString& caption, void (TDataEntryForm::*slot)()) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    // Each title and item has an Alt key (its underlined letter), unique within its menu.
    QMenu* record = menuBar()->addMenu("&Record");
    record->setObjectName("Record1");
    item(record, "Add1", "&New", &TDataEntryForm::Add1Click);
    item(record, "Delete1", "&Delete", &TDataEntryForm::Delete1Click);
    item(record, "DeleteAll1", "Delete &All", &TDataEntryForm::DeleteAll1Click);
    item(record, "DeletedPeople1", "Dele&ted people...", &TDataEntryForm::DeletedPeople1Click);
    item(record, "History1", "&History...", &TDataEntryForm::History1Click);
    item(record, "RestoreBackup1", "Restore from bac&kup...", &TDataEntryForm::RestoreBackup1Click);
    item(record, "Save1", "&Save", &TDataEntryForm::Save1Click);
    record->addSeparator();
    item(record, "Discardchanges1", "Dis&card changes", &TDataEntryForm::Discardchanges1Click);
    item(record, "Refresh1", "&Refresh", &TDataEntryForm::Refresh1Click);
    record->addSeparator();
    ShowHidebusinessandotherinfo1 = item(record, "ShowHidebusinessandotherinfo1", "Show &business and other info",
                                         &TDataEntryForm::ShowHidebusinessandotherinfo1Click);
    record->addSeparator();
    item(record, "PersonalityIdentification1", "&Personality identification...",
         &TDataEntryForm::PersonalityIdentification1Click);
    record->addSeparator();
    item(record, "First1", "&First", &TDataEntryForm::First1Click);
    item(record, "Previous1", "Pre&vious", &TDataEntryForm::Previous1Click);
    item(record, "Next1", "N&ext", &TDataEntryForm::Next1Click);
    item(record, "Last1", "&Last", &TDataEntryForm::Last1Click);
    record->addSeparator();
    item(record, "Exit1", "E&xit", &TDataEntryForm::Exit1Click);

    QMenu* tools = menuBar()->addMenu("&Tools");
    tools->setObjectName("Tools1");
    item(tools, "Filters1", "&Filters...", &TDataEntryForm::Filters1Click);
    item(tools, "Followup1", "F&ollow-up...", &TDataEntryForm::Followup1Click);
    item(tools, "Pipeline1", "&Pipeline...", &TDataEntryForm::Pipeline1Click);
    item(tools, "Findduplicates1", "Find &duplicates...", &TDataEntryForm::Findduplicates1Click);
    item(tools, "TeamDatabase1", "&Team database...", &TDataEntryForm::TeamDatabase1Click);

    QMenu* import = menuBar()->addMenu("&Import");
    import->setObjectName("Import1");
    item(import, "CSVfile1", "&CSV file...", &TDataEntryForm::CSVfile1Click);
    item(import, "VCardfile1", "&vCard file...", &TDataEntryForm::VCardfile1Click);

    QMenu* exportMenu = menuBar()->addMenu("&Export");
    exportMenu->setObjectName("Export1");
    item(exportMenu, "CSVfile2", "&CSV file...", &TDataEntryForm::CSVfile2Click);
    item(exportMenu, "VCardfile2", "&vCard file...", &TDataEntryForm::VCardfile2Click);
    item(exportMenu, "Calendarfile2", "C&alendar file...", &TDataEntryForm::Calendarfile2Click);

    QMenu* help = menuBar()->addMenu("&Help");
    help->setObjectName("Help1");
    item(help, "Content1", "Vantrel BC &Help...", &TDataEntryForm::Content1Click);
    help->addSeparator();
    item(help, "About1", "&About...", &TDataEntryForm::About1Click);
}

void TDataEntryForm::wire()
{
    const QList<QPair<QString, void (TDataEntryForm::*)()>> top = {
        {"SpeedButton4", &TDataEntryForm::SpeedButton4Click}, {"SpeedButton3", &TDataEntryForm::SpeedButton3Click},
        {"SpeedButton1", &TDataEntryForm::SpeedButton1Click}, {"SpeedButton2", &TDataEntryForm::SpeedButton2Click},
        {"SpeedButton5", &TDataEntryForm::SpeedButton5Click}, {"SpeedButton6", &TDataEntryForm::SpeedButton6Click},
        {"RetailButton", &TDataEntryForm::RetailButtonClick}, {"SpeedButton7", &TDataEntryForm::SpeedButton7Click},
        {"SpeedButton8", &TDataEntryForm::SpeedButton8Click}, {"SpeedButton9", &TDataEntryForm::SpeedButton9Click},
        {"SpeedButton10", &TDataEntryForm::SpeedButton10Click},
        {"SpeedButton14", &TDataEntryForm::SpeedButton14Click},
        {"SpeedButton13", &TDataEntryForm::SpeedButton13Click},
        {"Image4", &TDataEntryForm::Image4Click}, {"Image3", &TDataEntryForm::Image3Click},
        {"Image5", &TDataEntryForm::Image5Click}, {"Image9", &TDataEntryForm::Image9Click},
        {"Image10", &TDataEntryForm::Image10Click}, {"Image11", &TDataEntryForm::Image11Click}};
    for (const auto& [name, slot] : top) {
        QToolButton* b = People->toolbar.value(name, People->sideToolbar.value(name));
        connect(b, &QToolButton::clicked, this, slot);
    }
    connect(People->Button7, &QPushButton::clicked, this, &TDataEntryForm::Button7Click);
    connect(People->SpeedButton16, &QToolButton::clicked, this, &TDataEntryForm::SpeedButton16Click);
    connect(People->SpeedButton17, &QToolButton::clicked, this, &TDataEntryForm::SpeedButton17Click);
    connect(People->SpeedButton18, &QToolButton::clicked, this, &TDataEntryForm::SpeedButton18Click);
    connect(People->SpeedButton19, &QToolButton::clicked, this, &TDataEntryForm::SpeedButton19Click);
    connect(People->Button2, &QPushButton::clicked, this, &TDataEntryForm::Button2Click);
    connect(People->Button6, &QPushButton::clicked, this, &TDataEntryForm::Button6Click);
    connect(People->Edit1, &QLineEdit::textChanged, this, &TDataEntryForm::Edit1Change);
    connect(People->DBComboBox4, &QComboBox::activated, this, &TDataEntryForm::DBComboBox4Change);
}

Dataset* TDataEntryForm::people() const { return m_dataModule->PeopleCompanyDet; }

void TDataEntryForm::detachPages()
{
    for (int i = 0; i < 3; ++i)
        MainDataEntry->removeTab(0);
    MainDataEntry->removeTab(1);
    MainDataEntry->setCurrentIndex(0);
    MainDataEntry->setTabIcon(1, PeoplePage::picture("help-16"));
    for (int i = 1; i < MainDataEntry->count(); ++i)
        MainDataEntry->setTabEnabled(i, false);
}

bool TDataEntryForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == MainDataEntry || watched == MainDataEntry->tabBar()) {
        if (event->type() == QEvent::Wheel) {
            event->accept();
            return true; // the wheel over the page tabs would turn to a hidden page
        }
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const bool control = key->modifiers() & Qt::ControlModifier;
            if (control && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab
                            || key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown)) {
                event->accept();
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

int TDataEntryForm::outerWidth() const { return frameGeometry().width(); }

void TDataEntryForm::setOuterWidth(int width)
{
    m_outerWidth = width;
    const int frame = frameGeometry().width() - geometry().width();
    setFixedSize(width - frame, kClientHeight + menuBar()->sizeHint().height());
}

void TDataEntryForm::FormCreate()
{
    setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    placeOnScreen(kCollapsedWidth);
    BusinessInfoShown = false;
    People->setBusinessHalfShown(false);
}

void TDataEntryForm::placeOnScreen(int width)
{
    const ScreenMetrics screen = Screen::metrics();
    QMainWindow::move((screen.width - width) / 2, (screen.height - (frameGeometry().height() + 25)) / 2);
}

void TDataEntryForm::FormShow()
{
    setOuterWidth(kCollapsedWidth);
    HelpBrowser->showStartPage();
}

void TDataEntryForm::setVisible(bool visible)
{
    if (visible && !isVisible()) {
        // The People page's show event runs first, then the window's own, before it is on screen.
        PeopleTabSheetShow();
        FormShow();
        QMainWindow::setVisible(visible);
        // Only now is the window frame known: apply the outer width and placement with it.
        setOuterWidth(m_outerWidth);
        placeOnScreen(outerWidth());
        return;
    }
    QMainWindow::setVisible(visible);
}

void TDataEntryForm::closeEvent(QCloseEvent* event)
{
    if (people()->isEditing()) {
        try {
            people()->post();
        } catch (const Declined&) {
            // The user chose to go on editing after another user's change.
            event->ignore();
            return;
        } catch (const Abort&) {
            // The name check has said why; the window closes all the same.
        } catch (const DataError& e) {
            // Closing must not drop an edit the database refused without the user's word.
            MessageBox::Request ask;
            ask.icon = MessageBox::Icon::Warning;
            ask.text = e.text() + "\n\nClose Vantrel anyway and lose these changes?";
            ask.buttons = {MessageBox::Button::Yes, MessageBox::Button::No};
            ask.defaultButton = MessageBox::Button::No;
            ask.escapeButton = MessageBox::Button::No;
            if (MessageBox::show(ask) != MessageBox::Button::Yes) {
                event->ignore();
                return;
            }
        }
    }
    event->accept();
    QCoreApplication::quit();
}

void TDataEntryForm::Exit1Click() { close(); }

void TDataEntryForm::About1Click()
{
    if (appWindows().AboutForm)
        Modal::exec(appWindows().AboutForm);
}

void TDataEntryForm::focusShowHide() { People->Button7->setFocus(); }

// Menu items and the left toolbar forward to the People page's buttons.
void TDataEntryForm::Add1Click() { SpeedButton4Click(); }
void TDataEntryForm::Delete1Click() { SpeedButton3Click(); }
void TDataEntryForm::DeleteAll1Click() { SpeedButton1Click(); }
void TDataEntryForm::Save1Click() { SpeedButton2Click(); }
void TDataEntryForm::Discardchanges1Click() { SpeedButton5Click(); }
void TDataEntryForm::Refresh1Click() { SpeedButton6Click(); }
void TDataEntryForm::ShowHidebusinessandotherinfo1Click() { Button7Click(); }
void TDataEntryForm::PersonalityIdentification1Click() { RetailButtonClick(); }
void TDataEntryForm::First1Click() { SpeedButton7Click(); }
void TDataEntryForm::Previous1Click() { SpeedButton8Click(); }
void TDataEntryForm::Next1Click() { SpeedButton9Click(); }
void TDataEntryForm::Last1Click() { SpeedButton10Click(); }
void TDataEntryForm::Filters1Click() { BitBtn8Click(); }
void TDataEntryForm::Followup1Click() { BitBtn7Click(); }
void TDataEntryForm::Pipeline1Click() { PipelineClick(); }
void TDataEntryForm::CSVfile1Click() { SpeedButton14Click(); }
void TDataEntryForm::Content1Click() { SpeedButton13Click(); }
void TDataEntryForm::Image4Click() { RetailButtonClick(); }
void TDataEntryForm::Image3Click() { BitBtn8Click(); }
void TDataEntryForm::Image5Click() { BitBtn7Click(); }
void TDataEntryForm::Image9Click() { SpeedButton14Click(); }
void TDataEntryForm::Image10Click() { BitBtn5Click(); }
void TDataEntryForm::Image11Click() { PipelineClick(); }
void TDataEntryForm::SpeedButton13Click() { BitBtn5Click(); }
