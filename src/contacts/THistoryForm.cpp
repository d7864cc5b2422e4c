#include "THistoryForm.h"

#include "PersonFields.h"
#include "data/MainDataModule.h"
#include "platform/ErrorDisplay.h"
#include "platform/Platform.h"
#include "widgets/ResultGrid.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {
enum Column { Number, Changed, By, Field, Old, New };
}

THistoryForm::THistoryForm(TMainDataModule* dataModule, QWidget* parent) : QDialog(parent), m_data(dataModule)
{
    setObjectName("HistoryForm");
    setWindowTitle("History");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    InfoLabel = new QLabel(this);
    InfoLabel->setObjectName("InfoLabel");
    InfoLabel->setWordWrap(true);

    const int dateWidth = fontMetrics().horizontalAdvance(
                              QLocale().toString(QDateTime(QDate(2028, 12, 28), QTime(23, 59)), QLocale::ShortFormat))
                          + 16;
    HistoryGrid = new ResultGrid({{"No.", 30}, {"Changed", std::max(110, dateWidth)}, {"By", 190}, {"Field", 150},
                                  {"Old value", 130}, {"New value", 130}},
                                 -1, this);
    HistoryGrid->setObjectName("HistoryGrid");
    HistoryGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    HistoryGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    HistoryGrid->setMinimumSize(790, 260);
    HistoryGrid->horizontalHeader()->setStretchLastSection(true);

    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName("StatusLabel");
    StatusLabel->setWordWrap(true);

    PutBackButton = new QPushButton("&Put back the old value", this);
    PutBackButton->setObjectName("PutBackButton");
    CloseButton = new QPushButton("Close", this);
    CloseButton->setObjectName("CloseButton");
    // Enter closes: a value is put back only by choosing to.
    PutBackButton->setAutoDefault(false);
    CloseButton->setAutoDefault(false);
    CloseButton->setDefault(true);
    connect(PutBackButton, &QPushButton::clicked, this, &THistoryForm::PutBackButtonClick);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(HistoryGrid->selectionModel(), &QItemSelectionModel::selectionChanged, this, &THistoryForm::updateButtons);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(PutBackButton);
    buttons->addStretch();
    buttons->addWidget(CloseButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(InfoLabel);
    layout->addWidget(HistoryGrid, 1);
    layout->addWidget(StatusLabel);
    layout->addLayout(buttons);
    setTabOrder(HistoryGrid, PutBackButton);
    setTabOrder(PutBackButton, CloseButton);
    updateButtons();
}

void THistoryForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    StatusLabel->clear();
    load();
    Screen::centre(this);
    HistoryGrid->setFocus();
}

void THistoryForm::load()
{
    m_entries.clear();
    Dataset* people = m_data->PeopleCompanyDet;
    const qint64 person = people->isActive() && people->recNo() >= 0 ? people->value("PersonID").toLongLong() : 0;
    const QString name = person ? people->value("Name").toString() : QString();
    if (person)
        runCommand([&] { m_entries = PersonHistory::entries(m_data->MainADOConnection, person); });
    InfoLabel->setText(m_entries.isEmpty()
                           ? QString("No saved change of %1 is on file.").arg(name.isEmpty() ? "this person" : name)
                           : QString("The saved changes of %1, newest first. Choose a line and \"Put back the old "
                                     "value\" to give the field its old value again; it is saved like any change.")
                                 .arg(name));
    const QLocale locale;
    HistoryGrid->setResults(int(m_entries.size()), [this, locale](int result, int column) -> QString {
        const PersonHistory::Entry& e = m_entries[result];
        switch (column) {
        case Changed: return locale.toString(e.when.toLocalTime(), QLocale::ShortFormat);
        case By: return e.overOthers ? e.by + " (over another user's change)" : e.by;
        case Field: return PersonFields::caption(e.column);
        case Old: return PersonFields::display(e.column, e.oldValue);
        case New: return PersonFields::display(e.column, e.newValue);
        default: return {};
        }
    });
    HistoryGrid->clearSelection();
    updateButtons();
}

int THistoryForm::selected() const
{
    const QModelIndexList rows = HistoryGrid->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return -1;
    const int result = HistoryGrid->resultAt(rows.first().row());
    return result >= 0 && result < m_entries.size() ? result : -1;
}

void THistoryForm::selectEntry(int index)
{
    QAbstractItemModel* model = HistoryGrid->model();
    for (int row = 0; row < model->rowCount(); ++row)
        if (HistoryGrid->resultAt(row) == index) {
            HistoryGrid->selectionModel()->select(QItemSelection(model->index(row, 0),
                                                                 model->index(row, model->columnCount() - 1)),
                                                  QItemSelectionModel::ClearAndSelect);
            HistoryGrid->setCurrentIndex(model->index(row, Field));
        }
}

void THistoryForm::updateButtons() { PutBackButton->setEnabled(selected() >= 0); }

void THistoryForm::PutBackButtonClick()
{
    const int chosen = selected();
    if (chosen < 0)
        return;
    const PersonHistory::Entry& e = m_entries[chosen];
    Dataset* people = m_data->PeopleCompanyDet;
    const int column = people->columnIndex(e.column);
    if (column < 0)
        return;
    const QVariant now = people->value(column);
    if (now.isNull() == e.oldValue.isNull() && (now.isNull() || now == e.oldValue)) {
        StatusLabel->setText(QString("%1 holds this value already.").arg(PersonFields::caption(e.column)));
        return;
    }
    // An edit like one typed: the page shows it, Save writes it with the usual check.
    if (runCommand([&] {
            if (!people->isEditing())
                people->edit();
            people->setValue(column, e.oldValue);
        }))
        accept();
}
