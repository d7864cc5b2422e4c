#include "TBackupsForm.h"

#include "data/DailyBackup.h"
#include "data/MainDataModule.h"
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "widgets/ResultGrid.h"
#include "widgets/WaitCursor.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {
enum Column { Number, Date, People, Size };

QString peopleText(int people)
{
    return people < 0 ? QString("cannot be read") : QLocale().toString(people);
}
} // namespace

QString TBackupsForm::serverText()
{
    return "The people are kept on the team's server: its backups are the server's concern. Ask the administrator, "
           "who makes them with pg_dump and puts one back with pg_restore.";
}

TBackupsForm::TBackupsForm(TMainDataModule* dataModule, DailyBackup* daily, QWidget* parent)
    : QDialog(parent), m_data(dataModule), m_daily(daily)
{
    setObjectName("BackupsForm");
    setWindowTitle("Backups");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    InfoLabel = new QLabel(this);
    InfoLabel->setObjectName("InfoLabel");
    InfoLabel->setWordWrap(true);

    const int dateWidth = fontMetrics().horizontalAdvance(
                              QLocale().toString(QDateTime(QDate(2028, 12, 28), QTime(23, 59)), QLocale::ShortFormat)
                              + " (before a restore)")
                          + 16;
    BackupsGrid = new ResultGrid({{"No.", 30}, {"Date", std::max(150, dateWidth)}, {"People", 90}, {"Size", 90}}, -1,
                                 this);
    BackupsGrid->setObjectName("BackupsGrid");
    BackupsGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    BackupsGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    BackupsGrid->setMinimumSize(480, 240);
    BackupsGrid->horizontalHeader()->setStretchLastSection(true);

    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName("StatusLabel");
    StatusLabel->setWordWrap(true);
    // Room for two lines from the start: a longer text later must not push into the grid.
    StatusLabel->setMinimumHeight(2 * StatusLabel->fontMetrics().lineSpacing() + 4);
    StatusLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    RestoreBackupButton = new QPushButton("&Restore", this);
    RestoreBackupButton->setObjectName("RestoreBackupButton");
    CloseButton = new QPushButton("Close", this);
    CloseButton->setObjectName("CloseButton");
    RestoreBackupButton->setAutoDefault(false);
    CloseButton->setAutoDefault(false);
    CloseButton->setDefault(true); // Enter closes: a restore is never pressed by chance
    connect(RestoreBackupButton, &QPushButton::clicked, this, &TBackupsForm::RestoreBackupButtonClick);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(BackupsGrid->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TBackupsForm::updateButtons);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(RestoreBackupButton);
    buttons->addStretch();
    buttons->addWidget(CloseButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(InfoLabel);
    layout->addWidget(BackupsGrid, 1);
    layout->addWidget(StatusLabel);
    layout->addLayout(buttons);
    setTabOrder(BackupsGrid, RestoreBackupButton);
    setTabOrder(RestoreBackupButton, CloseButton);
    updateButtons();
    // The wrapped lines above and below the list need more than the window's least size, which
    // leaves them out: it opens large enough for both, a long folder name included.
    resize(680, 480);
}

void TBackupsForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    StatusLabel->clear();
    load();
    Screen::centre(this);
    BackupsGrid->setFocus();
}

void TBackupsForm::load()
{
    m_copies.clear();
    const Connection& c = m_data->MainADOConnection;
    if (c.onServer()) {
        InfoLabel->setText(serverText());
    } else {
        const QString folder = QDir::toNativeSeparators(Backups::folder(c.databasePath()));
        m_copies = Backups::list(c.databasePath());
        InfoLabel->setText(QString("Vantrel copies %1 into %2 once a day and keeps the last %3 daily and %4 weekly "
                                   "copies. Choose one and Restore to go back to the people as they were then.")
                               .arg(c.fileName(), folder)
                               .arg(Backups::kDaily)
                               .arg(Backups::kWeekly));
    }
    const QLocale locale;
    BackupsGrid->setResults(int(m_copies.size()), [this, locale](int result, int column) -> QString {
        const Backups::Copy& copy = m_copies[result];
        switch (column) {
        case Date:
            return copy.beforeRestore ? locale.toString(copy.made, QLocale::ShortFormat) + " (before a restore)"
                                      : locale.toString(copy.day, QLocale::ShortFormat);
        case People: return peopleText(copy.people);
        case Size: return locale.formattedDataSize(copy.size, 1, QLocale::DataSizeTraditionalFormat);
        default: return {};
        }
    });
    BackupsGrid->clearSelection();
    // An empty list says why.
    if (m_copies.isEmpty() && !c.onServer()) {
        const QString folder = Backups::folder(c.databasePath());
        const QFileInfo info(folder);
        StatusLabel->setText(info.exists() && !info.isDir()
                                 ? QString("No backups can be made: %1 is a file, not a folder. Move it away so "
                                           "that Vantrel can keep its copies there.")
                                       .arg(QDir::toNativeSeparators(folder))
                                 : QString("There are no backups yet. Vantrel makes the first at the next start or "
                                           "save of a day."));
    }
    updateButtons();
}

int TBackupsForm::selected() const
{
    const QModelIndexList rows = BackupsGrid->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return -1;
    const int result = BackupsGrid->resultAt(rows.first().row());
    return result >= 0 && result < m_copies.size() ? result : -1;
}

void TBackupsForm::selectCopy(int index)
{
    QAbstractItemModel* model = BackupsGrid->model();
    for (int row = 0; row < model->rowCount(); ++row)
        if (BackupsGrid->resultAt(row) == index) {
            BackupsGrid->selectionModel()->select(QItemSelection(model->index(row, 0),
                                                                 model->index(row, model->columnCount() - 1)),
                                                  QItemSelectionModel::ClearAndSelect);
            BackupsGrid->setCurrentIndex(model->index(row, Date));
        }
}

void TBackupsForm::updateButtons()
{
    const int chosen = selected();
    RestoreBackupButton->setEnabled(chosen >= 0 && m_copies[chosen].people >= 0);
}

void TBackupsForm::RestoreBackupButtonClick()
{
    const int chosen = selected();
    if (chosen < 0 || m_copies[chosen].people < 0)
        return;
    const Backups::Copy copy = m_copies[chosen];
    Connection& c = m_data->MainADOConnection;
    // A pending edit is saved first, so the copy kept of the file as it is now holds it too.
    Dataset* people = m_data->PeopleCompanyDet;
    if (people->isEditing() && !runCommand([people] { people->post(); }))
        return;
    const QString date = BackupsGrid->cellText(BackupsGrid->currentIndex().row(), Date);
    const QString keptAs = Backups::beforeRestoreName(Backups::now());
    MessageBox::Request ask;
    ask.icon = MessageBox::Icon::Warning;
    ask.text = QString("Put the backup of %1, with %2 people, in place of %3?\n\n%3 as it is now is kept as a "
                       "backup of its own, %4, which this list shows from now on.")
                   .arg(date, peopleText(copy.people), c.fileName(), keptAs);
    ask.buttons = {MessageBox::Button::Yes, MessageBox::Button::No};
    ask.texts = {"&Restore", "Cancel"};
    ask.defaultButton = MessageBox::Button::No;
    ask.escapeButton = MessageBox::Button::No;
    if (MessageBox::show(ask) != MessageBox::Button::Yes)
        return;
    m_daily->stop(); // a copy being made of what is about to be replaced is of no use
    const bool ok = runCommand([&] {
        WaitCursor wait;
        Backups::restore(c, copy.path, Backups::folder(c.databasePath()) + "/" + keptAs);
    });
    if (!ok) {
        load();
        return;
    }
    // Every dataset is read again from the restored file, as at a start: the schema steps it
    // may lack are made, and nothing read before the restore is shown or saved over it.
    runCommand([this] {
        WaitCursor wait;
        m_data->SetDatasetsActive(false);
        m_data->SetDatasetsActive(true);
    });
    emit dataReplaced();
    load();
    StatusLabel->setText(QString("The backup of %1 is in place: %2 people. The file as it was is kept as %3.")
                             .arg(date, peopleText(people->isActive() ? people->recordCount() : -1), keptAs));
}
