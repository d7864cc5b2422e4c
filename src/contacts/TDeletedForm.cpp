#include "TDeletedForm.h"

#include "ImportUndo.h"
#include "data/MainDataModule.h"
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "widgets/ResultGrid.h"
#include "widgets/WaitCursor.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

#include <algorithm>

using Kind = Trash::Entry::Kind;

namespace {
enum Column { Number, Name, Company, When, By };

QString importCount(const Trash::Entry& e)
{
    return QString(e.kind == Kind::Import ? "%1 record(s) added" : "%1 record(s) taken back").arg(e.count);
}
} // namespace

TDeletedForm::TDeletedForm(TMainDataModule* dataModule, QWidget* parent) : QDialog(parent), m_data(dataModule)
{
    setObjectName("DeletedForm");
    setWindowTitle("Deleted People");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    InfoLabel = new QLabel(QString("People deleted in the last %1 days, with their follow-up activities and "
                                   "answers, and the imports that added people. Select one or more lines.")
                               .arg(Trash::kKeptDays),
                           this);
    InfoLabel->setObjectName("InfoLabel");
    InfoLabel->setWordWrap(true);

    const int dateWidth = fontMetrics().horizontalAdvance(QLocale().toString(QDateTime(QDate(2028, 12, 28),
                                                                                        QTime(23, 59)),
                                                                              QLocale::ShortFormat))
                          + 16;
    DeletedGrid = new ResultGrid({{"No.", 30}, {"Name", 170}, {"Company", 150}, {"Date", std::max(110, dateWidth)},
                                  {"By", 90}},
                                 -1, this);
    DeletedGrid->setObjectName("DeletedGrid");
    DeletedGrid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    DeletedGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    DeletedGrid->setMinimumSize(600, 260);
    DeletedGrid->horizontalHeader()->setStretchLastSection(true);

    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName("StatusLabel");

    RestoreButton = new QPushButton("&Restore", this);
    RestoreButton->setObjectName("RestoreButton");
    PurgeButton = new QPushButton("Delete for &ever", this);
    PurgeButton->setObjectName("PurgeButton");
    UndoImportButton = new QPushButton("&Undo this import", this);
    UndoImportButton->setObjectName("UndoImportButton");
    CloseButton = new QPushButton("Close", this);
    CloseButton->setObjectName("CloseButton");
    // Enter closes, whichever button was pressed last: none of the others is pressed by chance.
    for (QPushButton* b : {RestoreButton, PurgeButton, UndoImportButton, CloseButton})
        b->setAutoDefault(false);
    CloseButton->setDefault(true);
    connect(RestoreButton, &QPushButton::clicked, this, &TDeletedForm::RestoreButtonClick);
    connect(PurgeButton, &QPushButton::clicked, this, &TDeletedForm::PurgeButtonClick);
    connect(UndoImportButton, &QPushButton::clicked, this, &TDeletedForm::UndoImportButtonClick);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(DeletedGrid->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TDeletedForm::updateButtons);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(RestoreButton);
    buttons->addWidget(PurgeButton);
    buttons->addWidget(UndoImportButton);
    buttons->addStretch();
    buttons->addWidget(CloseButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(InfoLabel);
    layout->addWidget(DeletedGrid, 1);
    layout->addWidget(StatusLabel);
    layout->addLayout(buttons);
    setTabOrder(DeletedGrid, RestoreButton);
    setTabOrder(RestoreButton, PurgeButton);
    setTabOrder(PurgeButton, UndoImportButton);
    setTabOrder(UndoImportButton, CloseButton);
    updateButtons();
}

void TDeletedForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    StatusLabel->clear();
    load();
    Screen::centre(this);
    DeletedGrid->setFocus();
}

void TDeletedForm::load()
{
    m_entries.clear();
    runCommand([this] { m_entries = Trash::entries(m_data->MainADOConnection); });
    const QLocale locale;
    DeletedGrid->setResults(int(m_entries.size()), [this, locale](int result, int column) -> QString {
        const Trash::Entry& e = m_entries[result];
        const bool person = e.kind == Kind::Person;
        switch (column) {
        case Name: return person ? e.name : "Import of " + QFileInfo(e.name).fileName();
        case Company: return person ? e.company : importCount(e);
        case When: return locale.toString(e.when.toLocalTime(), QLocale::ShortFormat);
        case By: return e.by;
        default: return {};
        }
    });
    DeletedGrid->clearSelection();
    updateButtons();
}

QList<int> TDeletedForm::selected() const
{
    QSet<int> rows;
    for (const QModelIndex& i : DeletedGrid->selectionModel()->selectedIndexes())
        rows.insert(i.row());
    QList<int> out;
    for (int row : rows) {
        const int result = DeletedGrid->cellText(row, Number).toInt() - 1;
        if (result >= 0 && result < m_entries.size())
            out << result;
    }
    std::sort(out.begin(), out.end());
    return out;
}

void TDeletedForm::selectEntries(const QList<int>& indexes)
{
    QItemSelection selection;
    QAbstractItemModel* model = DeletedGrid->model();
    for (int row = 0; row < model->rowCount(); ++row)
        if (indexes.contains(DeletedGrid->cellText(row, Number).toInt() - 1))
            selection.select(model->index(row, Name), model->index(row, model->columnCount() - 1));
    DeletedGrid->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void TDeletedForm::updateButtons()
{
    bool restorable = false, activeImport = false;
    int imports = 0;
    for (int i : selected()) {
        const Kind k = m_entries[i].kind;
        restorable = restorable || k != Kind::Import;
        activeImport = activeImport || k == Kind::Import;
        imports += k != Kind::Person ? 1 : 0;
    }
    RestoreButton->setEnabled(restorable);
    PurgeButton->setEnabled(restorable);
    // One import at a time, so that a refusal names the people of that one.
    UndoImportButton->setEnabled(activeImport && imports == 1 && selected().size() == 1);
}

void TDeletedForm::changed(const QString& status, qint64 current)
{
    runCommand([&] {
        WaitCursor wait;
        m_data->PeopleTakenBack(current);
    });
    load();
    StatusLabel->setText(status);
}

void TDeletedForm::RestoreButtonClick()
{
    QList<qint64> people, imports;
    for (int i : selected()) {
        if (m_entries[i].kind == Kind::Person)
            people << m_entries[i].id;
        else if (m_entries[i].kind == Kind::UndoneImport)
            imports << m_entries[i].id;
    }
    if (people.isEmpty() && imports.isEmpty())
        return;
    // The person on screen is saved first, as before any other change of the list.
    if (!runCommand([this] { m_data->PeopleCompanyDet->settle(); }))
        return;
    Trash::Restored all;
    const bool ok = runCommand([&] {
        WaitCursor wait; // thousands of people take seconds
        if (!people.isEmpty())
            all = Trash::restore(m_data->MainADOConnection, people);
        for (qint64 id : std::as_const(imports)) {
            const Trash::Restored r = Trash::restoreImport(m_data->MainADOConnection, id);
            all.personIds += r.personIds;
            all.renumbered += r.renumbered;
        }
    });
    QString status = QString("%1 record(s) restored.").arg(all.personIds.size());
    if (all.renumbered > 0)
        status += QString(" %1 of them got a new number, because another person has theirs now.").arg(all.renumbered);
    if (ok || !all.personIds.isEmpty())
        changed(status, all.personIds.isEmpty() ? 0 : all.personIds.first());
}

void TDeletedForm::PurgeButtonClick()
{
    QList<qint64> people, imports;
    int count = 0;
    for (int i : selected()) {
        if (m_entries[i].kind == Kind::Person) {
            people << m_entries[i].id;
            ++count;
        } else if (m_entries[i].kind == Kind::UndoneImport) {
            imports << m_entries[i].id;
            count += m_entries[i].count;
        }
    }
    if (count == 0 && imports.isEmpty())
        return;
    MessageBox::Request ask;
    ask.icon = MessageBox::Icon::Warning;
    ask.text = QString("This will delete %1 record(s) for ever: they cannot be restored. Proceed?").arg(count);
    ask.buttons = {MessageBox::Button::Yes, MessageBox::Button::No};
    ask.defaultButton = MessageBox::Button::No;
    ask.escapeButton = MessageBox::Button::No;
    if (MessageBox::show(ask) != MessageBox::Button::Yes)
        return;
    int purged = 0;
    runCommand([&] {
        WaitCursor wait;
        if (!people.isEmpty())
            purged += Trash::purge(m_data->MainADOConnection, people);
        for (qint64 id : std::as_const(imports))
            purged += Trash::purgeImport(m_data->MainADOConnection, id);
    });
    load();
    StatusLabel->setText(QString("%1 record(s) deleted for ever.").arg(purged));
}

void TDeletedForm::UndoImportButtonClick()
{
    const QList<int> chosen = selected();
    if (chosen.size() != 1 || m_entries[chosen.first()].kind != Kind::Import)
        return;
    ImportUndo::run(*m_data, m_entries[chosen.first()].id);
    load();
}
