#include "TDuplicatesForm.h"

#include "PersonFields.h"
#include "VCardPeople.h"
#include "data/Column.h"
#include "data/Dataset.h"
#include "data/MainDataModule.h"
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "widgets/ResultGrid.h"
#include "widgets/WaitCursor.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {
QLabel* boldLabel(QWidget* parent, const QString& name, const QString& text)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
}

QPushButton* button(QWidget* parent, const QString& name, const QString& text)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setMinimumWidth(100);
    return b;
}

bool blank(const QVariant& v) { return v.isNull() || v.toString().trimmed().isEmpty(); }
} // namespace

TDuplicatesForm::TDuplicatesForm(TMainDataModule* dataModule, QWidget* parent) : QDialog(parent), m_data(dataModule)
{
    setObjectName("DuplicatesForm");
    setWindowTitle("Duplicate People");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                   | Qt::WindowMaximizeButtonHint);

    // Made in reading order, which is also the order Tab visits them in.
    GroupsLabel = boldLabel(this, "GroupsLabel", "People who are likely the same, strongest first");
    GroupsGrid = new ResultGrid({{"No.", 30}, {"People", 390}, {"Reason", 380}}, -1, this);
    GroupsGrid->setObjectName("GroupsGrid");
    CompareLabel = boldLabel(this, "CompareLabel", "Side by side: click the value to keep in each row that differs");
    CompareGrid = new QTableWidget(this);
    CompareGrid->setObjectName("CompareGrid");
    CompareGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CompareGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    CompareGrid->setTabKeyNavigation(false);
    CompareGrid->setWordWrap(false);
    CompareGrid->verticalHeader()->hide();
    CompareGrid->verticalHeader()->setDefaultSectionSize(CompareGrid->fontMetrics().height() + 10);
    CompareGrid->horizontalHeader()->setHighlightSections(false);
    CompareGrid->horizontalHeader()->setStretchLastSection(true);
    CompareGrid->installEventFilter(this);
    connect(CompareGrid, &QTableWidget::cellClicked, this, &TDuplicatesForm::choose);

    MergeButton = button(this, "MergeButton", "Merge");
    MergeButton->setToolTip("Keep the first person with the values ticked, move everyone's follow-up activities to "
                            "them and remove the others");
    NotDuplicateButton = button(this, "NotDuplicateButton", "Not a duplicate");
    NotDuplicateButton->setToolTip("These are different people: never show them together again");
    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName("StatusLabel");
    StatusLabel->setWordWrap(true);
    MergesLabel = boldLabel(this, "MergesLabel", "Merges, latest first");
    MergesGrid = new ResultGrid({{"No.", 30}, {"Merged", 130}, {"People", 640}}, -1, this);
    MergesGrid->setObjectName("MergesGrid");
    UndoMergeButton = button(this, "UndoMergeButton", "Undo merge");
    UndoMergeButton->setToolTip("Bring back every person of the chosen merge as they were");
    CloseButton = button(this, "CloseButton", "Close");
    for (QPushButton* b : {MergeButton, NotDuplicateButton, UndoMergeButton, CloseButton})
        b->setAutoDefault(false); // Enter presses the focused button only, never a merge by surprise

    connect(GroupsGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &TDuplicatesForm::GroupsGridChange);
    connect(MergeButton, &QPushButton::clicked, this, &TDuplicatesForm::MergeButtonClick);
    connect(NotDuplicateButton, &QPushButton::clicked, this, &TDuplicatesForm::NotDuplicateButtonClick);
    connect(UndoMergeButton, &QPushButton::clicked, this, &TDuplicatesForm::UndoMergeButtonClick);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupsLabel);
    layout->addWidget(GroupsGrid, 3);
    layout->addWidget(CompareLabel);
    layout->addWidget(CompareGrid, 4);
    auto* actions = new QHBoxLayout;
    actions->addWidget(MergeButton);
    actions->addWidget(NotDuplicateButton);
    actions->addWidget(StatusLabel, 1);
    layout->addLayout(actions);
    layout->addSpacing(6);
    layout->addWidget(MergesLabel);
    layout->addWidget(MergesGrid, 2);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(UndoMergeButton);
    bottom->addStretch();
    bottom->addWidget(CloseButton);
    layout->addLayout(bottom);
    resize(860, 640);
}

void TDuplicatesForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    Screen::centre(this);
    FormShow();
    GroupsGrid->setFocus();
}

void TDuplicatesForm::FormShow()
{
    findGroups();
    loadMerges();
}

void TDuplicatesForm::findGroups(int keepRow)
{
    m_groups.clear();
    const bool ok = runCommand([&] {
        WaitCursor wait;
        Dataset* companies = m_data->CompaniesTable;
        const QVariant company =
            companies->recordCount() > 0 ? companies->valueAt(0, companies->columnIndex("CompanyID")) : QVariant();
        m_groups = Duplicates::find(m_data->MainADOConnection, company);
    });
    GroupsGrid->setResults(int(m_groups.size()), [this](int row, int column) -> QString {
        const Duplicates::Group& g = m_groups[row];
        if (column == 1)
            return g.names.join("; ");
        if (column == 2)
            return Duplicates::reasonsText(g.reasons);
        return {};
    });
    if (ok)
        StatusLabel->setText(m_groups.isEmpty() ? QString("No likely duplicates found.")
                                                : QString("%1 group(s) of likely duplicates.").arg(m_groups.size()));
    if (!m_groups.isEmpty()) {
        const int row = std::clamp(keepRow, 0, int(m_groups.size()) - 1);
        GroupsGrid->selectionModel()->setCurrentIndex(GroupsGrid->model()->index(row, 1),
                                                      QItemSelectionModel::ClearAndSelect);
    }
    showGroup(currentGroup());
}

int TDuplicatesForm::currentGroup() const
{
    const int row = GroupsGrid->currentIndex().row();
    return row >= 0 && row < m_groups.size() ? row : -1;
}

void TDuplicatesForm::GroupsGridChange() { showGroup(currentGroup()); }

void TDuplicatesForm::showGroup(int group)
{
    m_shown.clear();
    m_rowColumns.clear();
    CompareGrid->clear();
    CompareGrid->setRowCount(0);
    CompareGrid->setColumnCount(0);
    if (group >= 0)
        runCommand([&] { m_shown = DuplicateMerge::read(m_data->MainADOConnection, m_groups[group].people); });
    if (m_shown.size() < 2) {
        m_shown.clear();
        updateButtons();
        return;
    }
    QStringList headers{"Field"};
    for (int i = 0; i < m_shown.size(); ++i)
        headers << QString("%1%2").arg(m_shown[i].values.value("Name").toString(), i == 0 ? " (kept)" : "");
    CompareGrid->setColumnCount(int(headers.size()));
    CompareGrid->setHorizontalHeaderLabels(headers);
    const QStringList& columns = VCardPeople::columns();
    const QStringList& captions = VCardPeople::captions();
    for (int c = 0; c < columns.size(); ++c) {
        const QString& column = columns[c];
        bool differs = false, anyFilled = false;
        for (const auto& p : std::as_const(m_shown)) {
            anyFilled = anyFilled || !blank(p.values.value(column));
            differs = differs || p.values.value(column).toString() != m_shown[0].values.value(column).toString()
                      || p.values.value(column).isNull() != m_shown[0].values.value(column).isNull();
        }
        if (!differs || !anyFilled)
            continue;
        const int row = CompareGrid->rowCount();
        CompareGrid->insertRow(row);
        m_rowColumns << column;
        auto* field = new QTableWidgetItem(captions.value(c));
        field->setFlags(Qt::ItemIsEnabled);
        CompareGrid->setItem(row, 0, field);
        int chosen = -1;
        for (int i = 0; i < m_shown.size(); ++i) {
            const QVariant v = m_shown[i].values.value(column);
            auto* item = new QTableWidgetItem(PersonFields::display(column, v)); // as the page shows it
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            item->setToolTip(item->text());
            CompareGrid->setItem(row, i + 1, item);
            // Of the filled values, the one of the person changed last.
            if (!blank(v) && (chosen < 0 || DuplicateMerge::changedLater(m_shown[i], m_shown[chosen])))
                chosen = i;
        }
        choose(row, chosen + 1);
    }
    CompareGrid->resizeColumnsToContents();
    for (int c = 1; c < CompareGrid->columnCount(); ++c)
        CompareGrid->setColumnWidth(c, std::clamp(CompareGrid->columnWidth(c), 140, 320));
    if (CompareGrid->rowCount() > 0)
        CompareGrid->setCurrentCell(0, 1);
    updateButtons();
}

void TDuplicatesForm::choose(int row, int column)
{
    if (row < 0 || row >= CompareGrid->rowCount() || column < 1 || column >= CompareGrid->columnCount())
        return;
    for (int c = 1; c < CompareGrid->columnCount(); ++c) {
        QTableWidgetItem* item = CompareGrid->item(row, c);
        item->setCheckState(c == column ? Qt::Checked : Qt::Unchecked);
        QFont f = item->font();
        f.setBold(c == column);
        item->setFont(f);
    }
}

QVector<qint64> TDuplicatesForm::comparedPeople() const
{
    QVector<qint64> ids;
    for (const auto& p : m_shown)
        ids << p.id;
    return ids;
}

bool TDuplicatesForm::eventFilter(QObject* watched, QEvent* event)
{
    // Space keeps the value of the cell that has the cursor, as a click does.
    if (watched == CompareGrid && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
            choose(CompareGrid->currentRow(), CompareGrid->currentColumn());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TDuplicatesForm::updateButtons()
{
    MergeButton->setEnabled(m_shown.size() >= 2);
    NotDuplicateButton->setEnabled(m_shown.size() >= 2);
    UndoMergeButton->setEnabled(!m_merges.isEmpty());
}

void TDuplicatesForm::MergeButtonClick()
{
    if (m_shown.size() < 2)
        return;
    QHash<QString, QVariant> values;
    for (int row = 0; row < CompareGrid->rowCount(); ++row)
        for (int c = 1; c < CompareGrid->columnCount(); ++c)
            if (CompareGrid->item(row, c)->checkState() == Qt::Checked)
                values.insert(m_rowColumns[row], m_shown[c - 1].values.value(m_rowColumns[row]));
    const qint64 kept = m_shown[0].id;
    QVector<qint64> others;
    for (int i = 1; i < m_shown.size(); ++i)
        others << m_shown[i].id;
    const QString name = values.value("Name", m_shown[0].values.value("Name")).toString(); // as kept
    const int row = currentGroup();
    if (!runCommand([&] { DuplicateMerge::merge(m_data->MainADOConnection, kept, others, values); }))
        return;
    afterWrite(kept);
    findGroups(row);
    loadMerges();
    StatusLabel->setText(QString("Merged into %1; %2 other(s) removed. \"Undo merge\" brings them back.")
                             .arg(name)
                             .arg(others.size()));
}

void TDuplicatesForm::NotDuplicateButtonClick()
{
    if (m_shown.size() < 2)
        return;
    // The mark is for good (the pair is never offered again), so a slip of the mouse is asked about.
    QStringList names;
    for (const auto& p : std::as_const(m_shown))
        names << p.values.value("Name").toString();
    const QString who = names.size() == 2 ? names.join(" and ")
                                          : names.mid(0, names.size() - 1).join(", ") + " and " + names.last();
    MessageBox::Request ask;
    ask.icon = MessageBox::Icon::Warning;
    ask.text = QString("Mark %1 as different people? They will not be shown together as likely duplicates again.")
                   .arg(who);
    ask.buttons = {MessageBox::Button::Yes, MessageBox::Button::No};
    ask.defaultButton = MessageBox::Button::No;
    ask.escapeButton = MessageBox::Button::No;
    if (MessageBox::show(ask) != MessageBox::Button::Yes)
        return;
    const QVector<qint64> people = comparedPeople();
    const int row = currentGroup();
    if (!runCommand([&] { DuplicateMerge::markNotDuplicates(m_data->MainADOConnection, people); }))
        return;
    findGroups(row);
    StatusLabel->setText("Marked as different people; they are not shown together again.");
}

void TDuplicatesForm::loadMerges()
{
    m_merges.clear();
    runCommand([&] { m_merges = DuplicateMerge::merges(m_data->MainADOConnection); });
    MergesGrid->setResults(int(m_merges.size()), [this](int row, int column) -> QString {
        const DuplicateMerge::Record& m = m_merges[row];
        if (column == 1)
            return QLocale().toString(m.at, QLocale::ShortFormat);
        if (column == 2)
            return m.names;
        return {};
    });
    updateButtons();
}

void TDuplicatesForm::UndoMergeButtonClick()
{
    const int row = MergesGrid->currentIndex().row();
    if (row < 0 || row >= m_merges.size())
        return;
    const DuplicateMerge::Record merge = m_merges[row];
    DuplicateMerge::Undo result = DuplicateMerge::Undo::Done;
    if (!runCommand([&] { result = DuplicateMerge::undo(m_data->MainADOConnection, merge.id); }))
        return;
    if (result != DuplicateMerge::Undo::Done) {
        MessageBox::show(MessageBox::Icon::Warning, DuplicateMerge::undoRefusal(result));
        loadMerges();
        return;
    }
    afterWrite(merge.kept);
    findGroups(currentGroup());
    loadMerges();
    StatusLabel->setText(QString("The merge of %1 was undone.").arg(merge.names));
}

// The person list is read again with the kept person current, and the suggestion lists with it.
void TDuplicatesForm::afterWrite(qint64 current)
{
    runCommand([&] {
        Dataset* people = m_data->PeopleCompanyDet;
        people->refresh();
        people->locate({"PersonID"}, {current});
        m_data->RefillLists();
    });
    emit peopleChanged();
}
