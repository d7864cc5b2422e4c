#include "TFilters.h"

#include "contacts/Vocabulary.h"
#include "data/MainDataModule.h"
#include "widgets/UpperCaseValidator.h"
#include "data/DataError.h"
#include "data/PeopleFilter.h"
#include "platform/ErrorDisplay.h"
#include "platform/MailLink.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "platform/WorkProgress.h"
#include "widgets/ResultGrid.h"
#include "widgets/ResultTexts.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

#include <algorithm>

namespace {
constexpr int kMargin = 10;
constexpr int kTop = 30;      // the first row of criteria
constexpr int kGroupX = 6;    // the address groups and the grid
constexpr int kRowStep = 24;
constexpr int kColumnGap = 12;
constexpr int kValueGap = 2;
constexpr int kBoxWidth = 90;
constexpr int kValueWidth = 112;
constexpr int kFieldHeight = 20;
constexpr int kEmailColumn = 4;

QLabel* boldLabel(QWidget* parent, const QString& name, const QString& text, QRect geometry)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    l->setGeometry(geometry);
    return l;
}

// This screen lists "Entertainment" after "Management", unlike the person screen.
QStringList filterIndustries()
{
    QStringList l = Vocabulary::industries();
    l.removeAll("Entertainment");
    l.insert(l.indexOf("Management") + 1, "Entertainment");
    return l;
}

ushort folded(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 'A' && u <= 'Z') ? ushort(u + ('a' - 'A')) : u;
}
} // namespace

QWidget* TFilters::Criterion::valueControl() const
{
    return list ? static_cast<QWidget*>(list) : static_cast<QWidget*>(edit);
}

QString TFilters::Criterion::value() const
{
    if (list)
        return list->currentIndex() < 0 ? QString() : list->currentText();
    return edit->text();
}

void TFilters::Criterion::clearValue() const
{
    if (list)
        list->setCurrentIndex(-1);
    else
        edit->clear();
}

TFilters::TFilters(TMainDataModule* dataModule, QWidget* parent) : QDialog(parent), m_dataModule(dataModule)
{
    setObjectName("Filters");
    setWindowTitle("Filters");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);

    Label1 = boldLabel(this, "Label1", "Check the parameters you want to search with then enter the convenient value(s).",
                       QRect());

    addCriterion(this, "CheckBoxGender", "Gender", "Gender", "ComboBoxGender", Vocabulary::genders(), "Gender", 0, 0);
    addCriterion(this, "CheckBoxType", "Type", "Type", "ComboBoxType", Vocabulary::personTypes(), "PersonType", 0, 1);
    addCriterion(this, "CheckBoxImportance", "Importance", "Importance", "ComboBoxImportance",
                 Vocabulary::importances(), "CustoemrImportance", 0, 2);
    addCriterion(this, "CheckBoxEthnic", "Ethnic", "Ethnic interest", "EditEthnic", {}, "Ethnic", 0, 3);
    addCriterion(this, "CheckBoxHobbies", "Hobbies", "Hobbies", "EditHobbies", {}, "Hobbies", 0, 4);
    addCriterion(this, "CheckBoxHousehold", "Household", "Household lifecycle position", "ComboBoxHousehold",
                 Vocabulary::households(), "Household", 1, 0);
    addCriterion(this, "CheckBoxProspecting", "Prospecting", "Prospecting method", "ComboBoxProspecting",
                 Vocabulary::prospectingMethods(), "ProspectingMethod", 1, 1);
    addCriterion(this, "CheckBoxEducation", "Education", "Level of education", "ComboBoxEducation",
                 Vocabulary::educationLevels(), "EducationLevel", 1, 2);
    addCriterion(this, "CheckBoxIncome", "Income", "Income range", "ComboBoxIncome", Vocabulary::incomes(), "Income",
                 1, 3);
    addCriterion(this, "CheckBoxIndustry", "Industry", "Industry", "ComboBoxIndustry", filterIndustries(), "Industry",
                 1, 4);
    addCriterion(this, "CheckBoxCompany", "Company", "Company", "EditCompany", {}, "Company", 2, 0);
    addCriterion(this, "CheckBoxCompanySize", "Size", "Company size", "ComboBoxCompanySize",
                 Vocabulary::companySizes(), "CompanySize", 2, 1);
    addCriterion(this, "CheckBoxDepartment", "Department", "Department", "EditDepartment", {}, "Department", 2, 2);
    addCriterion(this, "CheckBoxJob", "Job title", "Job title", "EditJob", {}, "JobTitle", 2, 3);
    addCriterion(this, "CheckBoxProfession", "Profession", "Profession", "EditProfession", {}, "Profession", 2, 4);

    // The two address groups: Street, City, State above Postal/ZIP, Country, P.O. box.
    struct AddressField { const char* key; const char* caption; const char* hint; const char* column; };
    const AddressField fields[] = {
        {"Street", "Street", "Street", "Street"},
        {"City", "City", "City", "City"},
        {"State", "State", "State (Province)", "State"},
        {"PostalCode", "Postal/ZIP", "Postal code (ZIP code)", "PostalCode"},
        {"Country", "Country", "Country", "Country"},
        {"PObox", "P.O. box", "P.O. box", "PostOfficeBox"},
    };
    QGroupBox* groups[2];
    for (const char* prefix : {"H", "B"}) {
        const bool home = QString(prefix) == "H";
        auto* group = new QGroupBox(home ? "Home address" : "Business address", this);
        group->setObjectName(home ? "HomeAddressGroup" : "BusinessAddressGroup");
        groups[home ? 0 : 1] = group;
        for (int i = 0; i < 6; ++i) {
            const AddressField& f = fields[i];
            const QString hint = QString(home ? "Home address: " : "Business address: ") + f.hint;
            addCriterion(group, QString("CheckBox") + prefix + f.key, f.caption, hint, QString("Edit") + prefix + f.key,
                         {}, QString(home ? "HA" : "BA") + f.column, i % 3, i / 3, QString(f.key) == "PostalCode");
        }
    }

    // Columns as wide as their longest list item and check box caption, so that nothing is cut.
    int boxWidth = kBoxWidth;
    int valueWidth[3] = {kValueWidth, kValueWidth, kValueWidth};
    for (int i = 0; i < criteria.size(); ++i) {
        boxWidth = std::max(boxWidth, criteria[i].box->sizeHint().width());
        if (criteria[i].list)
            valueWidth[m_places[i].x()] = std::max(valueWidth[m_places[i].x()], criteria[i].list->sizeHint().width());
    }
    int columnX[3];
    columnX[0] = kMargin;
    for (int c = 1; c < 3; ++c)
        columnX[c] = columnX[c - 1] + boxWidth + kValueGap + valueWidth[c - 1] + kColumnGap;
    const int width = std::max(columnX[2] + boxWidth + kValueGap + valueWidth[2] + kMargin,
                               Label1->sizeHint().width() + 2 * kMargin);
    // Inside a group the criteria start below its title, as the style draws it.
    const QMargins frame = groups[0]->contentsMargins();
    const int groupTop = frame.top() + 1;
    const int groupHeight = groupTop + kRowStep + kFieldHeight + frame.bottom() + 3;
    for (int i = 0; i < criteria.size(); ++i) {
        const bool inGroup = criteria[i].box->parentWidget() != this;
        const int column = m_places[i].x();
        const int x = columnX[column] - (inGroup ? kGroupX : 0);
        const int y = (inGroup ? groupTop : kTop) + m_places[i].y() * kRowStep;
        criteria[i].box->setGeometry(x, y, boxWidth, kFieldHeight);
        criteria[i].valueControl()->setGeometry(x + boxWidth + kValueGap, y, valueWidth[column], kFieldHeight);
    }
    Label1->setGeometry(kMargin, 8, width - 2 * kMargin, 16);
    int y = kTop + 5 * kRowStep + 2;
    for (QGroupBox* group : groups) {
        group->setGeometry(kGroupX, y, width - 2 * kGroupX, groupHeight);
        y += groupHeight + 6;
    }

    const int height = 532;
    Label2 = boldLabel(this, "Label2", "Filtering results", QRect(kMargin, y + 2, 200, 16));
    StringGrid1 = new ResultGrid({{"No.", 25}, {"Name", 125}, {"Type", 55}, {"Mobile", 80}, {"Email", 150}},
                                 kEmailColumn, this);
    StringGrid1->setObjectName("StringGrid1");
    StringGrid1->setGeometry(kGroupX, y + 20, width - 2 * kGroupX, height - y - 62);
    connect(StringGrid1, &ResultGrid::emailReleased, this, &TFilters::StringGrid1MouseUp);

    BitBtn1 = new QPushButton(QIcon(":/icons/filters-22.png"), "Filter", this); // the side strip's picture
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(kGroupX, height - 34, 90, 26);
    BitBtn1->setFocusPolicy(Qt::ClickFocus);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &TFilters::BitBtn1Click);
    LabelStopped = new QLabel("Filtering was stopped: only the people found until then are listed.", this);
    LabelStopped->setObjectName("LabelStopped");
    LabelStopped->setGeometry(kGroupX + 100, height - 29, width - 2 * kGroupX - 100, 16);
    LabelStopped->hide();
    setFixedSize(width, height);
    FormShow();
}

TFilters::Criterion& TFilters::addCriterion(QWidget* parent, const QString& name, const QString& caption,
                                            const QString& hint, const QString& valueName, const QStringList& items,
                                            const QString& column, int screenColumn, int screenRow, bool upperCase)
{
    Criterion c;
    c.column = column;
    c.box = new QCheckBox(caption, parent);
    c.box->setObjectName(name);
    c.box->setToolTip(hint);
    if (valueName.startsWith("ComboBox")) {
        c.list = new QComboBox(parent);
        c.list->addItems(items);
        c.list->setMaxVisibleItems(24);
        c.list->view()->setMinimumWidth(c.list->view()->sizeHintForColumn(0) + 24); // whole items in the list
    } else {
        c.edit = new QLineEdit(parent);
        if (upperCase)
            c.edit->setValidator(new UpperCaseValidator(c.edit));
    }
    QWidget* value = c.valueControl();
    value->setObjectName(valueName);
    // Only the result grid is a tab stop: the criteria are worked with the mouse.
    c.box->setFocusPolicy(Qt::ClickFocus);
    value->setFocusPolicy(Qt::ClickFocus);
    const int index = int(criteria.size());
    connect(c.box, &QCheckBox::toggled, this, [this, index] { CheckBoxClick(index); });
    // Checked by the user, the criterion takes the typing at once.
    connect(c.box, &QCheckBox::clicked, this, [this, index](bool checked) {
        if (checked)
            criteria[index].valueControl()->setFocus();
    });
    criteria << c;
    m_places << QPoint(screenColumn, screenRow);
    return criteria.last();
}

void TFilters::showEvent(QShowEvent* event)
{
    FormShow();
    QDialog::showEvent(event);
    Screen::centre(this);
}

void TFilters::FormShow()
{
    StringGrid1->hide();
    LabelStopped->hide();
    StringGrid1->prepare();
    for (const Criterion& c : criteria) {
        c.box->setChecked(false);
        c.clearValue();
        c.valueControl()->setEnabled(false);
        c.valueControl()->hide();
    }
}

void TFilters::CheckBoxClick(int index)
{
    const Criterion& c = criteria[index];
    QWidget* value = c.valueControl();
    if (c.box->isChecked()) {
        value->setEnabled(true);
        value->show();
    } else {
        c.clearValue();
        value->setEnabled(false);
        value->hide();
    }
}

bool TFilters::valueMatches(const QString& stored, const QString& wanted)
{
    if (wanted.isEmpty() || stored.size() != wanted.size())
        return false;
    const QChar* a = stored.constData();
    const QChar* b = wanted.constData();
    for (qsizetype i = 0; i < stored.size(); ++i)
        if (folded(a[i]) != folded(b[i]))
            return false;
    return true;
}

std::shared_ptr<ResultTexts> TFilters::matchingPeople(bool* stopped)
{
    QList<PeopleFilter::Condition> conditions;
    for (const Criterion& c : criteria)
        if (c.box->isChecked() && !c.value().isEmpty())
            conditions << PeopleFilter::Condition{c.column, c.value()};
    // The cells of a result are kept as found: the list stays as it was run while other
    // programs write to the file.
    const QStringList shown{"Name", "PersonType", "Mobile", "Email1"};
    auto found = std::make_shared<ResultTexts>(int(shown.size()));
    // The people the person list holds: those of its company, as the file has them now that the
    // list has taken in what was saved.
    PeopleFilter run(m_dataModule->MainADOConnection, m_dataModule->CompaniesTable->value("CompanyID"),
                     conditions, shown);
    // The progress window is made only for a run that takes long: a short one leaves no trace.
    std::unique_ptr<WorkProgress> progress;
    QEventLoop loop;
    auto takeIn = [&] {
        for (const PeopleFilter::Cells& chunk : run.take())
            for (const QString& cell : chunk)
                found->add(QStringView(cell));
        if (progress) {
            progress->setPermille(run.permille());
            if (!progress->cancelRequested())
                progress->Text->setText(QString("Filtering... %1 found").arg(QLocale().toString(found->rows())));
        }
        emit resultsArrived(found->rows());
    };
    auto showProgress = [&] {
        if (run.isFinished())
            return;
        progress = std::make_unique<WorkProgress>("Filters", "Filtering...", true, this);
        connect(progress.get(), &WorkProgress::cancelled, &run, &PeopleFilter::stop);
        progress->setPermille(run.permille());
        progress->show();
    };
    connect(&run, &PeopleFilter::found, &loop, takeIn, Qt::QueuedConnection);
    connect(&run, &PeopleFilter::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    QTimer showing;
    showing.setSingleShot(true);
    connect(&showing, &QTimer::timeout, &loop, showProgress);
    m_run = &run;
    run.start();
    if (WorkProgress::showAfter() <= 0)
        showProgress();
    else
        showing.start(WorkProgress::showAfter());
    loop.exec();
    m_run = nullptr;
    takeIn(); // what came with the end
    if (!run.error().isEmpty())
        throw DataError(run.error());
    *stopped = run.wasStopped();
    return found;
}

void TFilters::done(int result)
{
    // Closed while a run goes on: the run stops, and the window goes once it has.
    if (m_run)
        m_run->stop();
    QDialog::done(result);
}

void TFilters::BitBtn1Click()
{
    if (m_run)
        return; // one run at a time
    const bool gridHadFocus = StringGrid1->hasFocus();
    Dataset& people = *m_dataModule->PeopleCompanyDet;
    // A pending edit of the person is settled first. When the database refuses it, the user is
    // told, the edit stays and nothing else changes, not even the results shown; the name check
    // has said why it refused, and the run ends with nothing found.
    bool settled = true;
    if (people.isEditing()) {
        try {
            people.settle();
        } catch (const Declined&) {
            return;
        } catch (const Abort&) {
            settled = false;
        } catch (const DataError& e) {
            MessageBox::show(MessageBox::Icon::Error, e.text());
            return;
        }
    }
    StringGrid1->hide();
    StringGrid1->clearResults(); // the column widths that the user gave stay until the next showing
    LabelStopped->hide();
    // A checked criterion without a value is switched off and restricts nothing.
    for (const Criterion& c : criteria)
        if (c.box->isChecked() && c.value().isEmpty())
            c.box->setChecked(false);
    if (!settled || people.isEmpty())
        return;
    runCommand([&] {
        // The first person is made current, and the list takes in what others saved meanwhile;
        // the run reads the file, so the person screen is not redrawn for each person.
        people.first();
        bool stopped = false;
        std::shared_ptr<ResultTexts> found = matchingPeople(&stopped);
        const int count = found->rows();
        StringGrid1->setResults(count, [found](int result, int column) {
            return column == 0 ? QString() : found->text(result, column - 1);
        });
        LabelStopped->setVisible(stopped);
        if (count > 0) {
            StringGrid1->show();
            // The run served events while the grid was hidden; it is laid out anew for the list.
            StringGrid1->doItemsLayout();
            if (gridHadFocus)
                StringGrid1->setFocus(); // Enter pressed in the grid leaves the keyboard there
        }
    });
}

void TFilters::StringGrid1MouseUp(int row)
{
    Desktop::open(MailLink::target(StringGrid1->cellText(row, kEmailColumn)));
}
