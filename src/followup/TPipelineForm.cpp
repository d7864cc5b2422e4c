#include "TPipelineForm.h"

#include "TFollowUpForm.h"
#include "contacts/ExportFile.h"
#include "contacts/PeopleExport.h"
#include "data/Dataset.h"
#include "data/MainDataModule.h"
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "widgets/DateText.h"
#include "widgets/ResultGrid.h"
#include "widgets/WaitCursor.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QBuffer>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {
enum DueColumn { kNumber, kDate, kName, kMethod, kSolution, kValue, kOrderDate };
const char* const kNothingSaved = "Nothing was saved.";

QLabel* boldLabel(QWidget* parent, const QString& name, const QString& text)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
}

QString number(qint64 value) { return QLocale().toString(value); }

// A step of 1, 2 or 5 times a power of ten that divides the range into about five parts.
qint64 niceStep(qint64 range)
{
    if (range <= 0)
        return 1;
    const double rough = double(range) / 5;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= rough)
            return std::max<qint64>(1, qint64(m * power));
    return qint64(10 * power);
}
} // namespace

TPipelineForm::TPipelineForm(TMainDataModule* dataModule, QWidget* parent) : QDialog(parent), m_dataModule(dataModule)
{
    setObjectName("PipelineForm");
    setWindowTitle("Sales Pipeline");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint
                   | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);

    auto* chart = new QChart;
    chart->legend()->hide();
    chart->setTitle("Expected order value by month of the expected order date");
    chart->setAnimationOptions(QChart::NoAnimation);
    PipelineChart = new QChartView(chart, this);
    PipelineChart->setObjectName("PipelineChart");
    PipelineChart->setRenderHint(QPainter::Antialiasing);
    PipelineChart->setFocusPolicy(Qt::NoFocus); // a picture: the table beside it holds the same figures
    PipelineChart->setMinimumSize(420, 300);

    PipelineGrid = new QTableWidget(0, 3, this);
    PipelineGrid->setObjectName("PipelineGrid");
    PipelineGrid->setHorizontalHeaderLabels({"Month", "Orders", "Expected value"});
    PipelineGrid->verticalHeader()->hide();
    PipelineGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PipelineGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    PipelineGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    PipelineGrid->setTabKeyNavigation(false);
    PipelineGrid->setWordWrap(false);
    PipelineGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    PipelineGrid->horizontalHeader()->setStretchLastSection(true);

    CountingNote = new QLabel("Each activity with an expected order value counts once, as logged, in the month of its "
                              "expected order date; values without a date count under \"No date\", not in the chart.",
                              this);
    CountingNote->setObjectName("CountingNote");
    CountingNote->setWordWrap(true);

    DueLabel = boldLabel(this, "DueLabel", "Follow-ups due");
    DueGrid = new ResultGrid({{"No.", 25},
                              {"Date", 90},
                              {"Name", 170},
                              {"Contact method", 100},
                              {"Offered solution", 200},
                              {"Expected order value", 130},
                              {"Expected order date", 130}},
                             -1, this);
    DueGrid->setObjectName("DueGrid");
    DueGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    DueGrid->setToolTip("Enter or a double click opens the follow-up activities of the person");
    connect(DueGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (!m_filling)
                    DueGridSelect(current.row());
            });
    // A double click on any cell of a row, the number included, opens it.
    DueGrid->viewport()->installEventFilter(this);
    DueGrid->fixedColumn()->viewport()->installEventFilter(this);
    DueGrid->installEventFilter(this);

    SavePictureButton = new QPushButton("Save picture...", this);
    SavePictureButton->setObjectName("SavePictureButton");
    SaveCsvButton = new QPushButton("Save as CSV...", this);
    SaveCsvButton->setObjectName("SaveCsvButton");
    CloseButton = new QPushButton("Close", this);
    CloseButton->setObjectName("CloseButton");
    // No button is the default, not even by having been focused last: Enter in the due list
    // opens a person's activities, and presses a button only while that button has the focus.
    for (QPushButton* b : {SavePictureButton, SaveCsvButton, CloseButton}) {
        b->setAutoDefault(false);
        b->installEventFilter(this);
    }
    connect(SavePictureButton, &QPushButton::clicked, this, &TPipelineForm::SavePictureButtonClick);
    connect(SaveCsvButton, &QPushButton::clicked, this, &TPipelineForm::SaveCsvButtonClick);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);
    auto* top = new QHBoxLayout;
    top->addWidget(PipelineChart, 3);
    top->addWidget(PipelineGrid, 1);
    layout->addLayout(top, 3);
    layout->addWidget(CountingNote);
    layout->addSpacing(4);
    layout->addWidget(DueLabel);
    layout->addWidget(DueGrid, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(SavePictureButton);
    buttons->addWidget(SaveCsvButton);
    buttons->addStretch(1);
    buttons->addWidget(CloseButton);
    layout->addLayout(buttons);
    setTabOrder(PipelineGrid, DueGrid);
    setTabOrder(DueGrid, SavePictureButton);
    setTabOrder(SavePictureButton, SaveCsvButton);
    setTabOrder(SaveCsvButton, CloseButton);
    setMinimumSize(760, 560);
}

bool TPipelineForm::FormLoad()
{
    bool ok = false;
    runCommand([&] {
        WaitCursor busy;
        read();
        ok = true;
    });
    if (!ok)
        return false;
    if (m_pipeline.total().orders == 0) {
        MessageBox::show(MessageBox::Icon::Information, "No expected orders have been logged yet.");
        return false;
    }
    return true;
}

void TPipelineForm::read()
{
    const QDate today = Clock::today();
    m_pipeline = FollowUpQueries::pipeline(m_dataModule->MainADOConnection, today);
    m_due = FollowUpQueries::due(m_dataModule->MainADOConnection, today);
    fillChart();
    fillTable();
    fillDue();
}

void TPipelineForm::showEvent(QShowEvent* event)
{
    if (!m_sized) {
        // As large as the screen comfortably gives, at first; the user may resize it after.
        const QRect screen = Screen::available();
        resize(std::max(minimumWidth(), std::min(1180, screen.width() * 9 / 10)),
               std::max(minimumHeight(), std::min(820, screen.height() * 9 / 10)));
        m_sized = true;
    }
    QDialog::showEvent(event);
    Screen::centre(this);
    if (!m_due.empty())
        DueGrid->setFocus();
    else
        CloseButton->setFocus();
}

QString TPipelineForm::monthText(int month) const
{
    return QLocale().toString(m_pipeline.month(month), "MMM yyyy");
}

QString TPipelineForm::barToolTip(int month) const
{
    if (month < 0 || month >= int(m_pipeline.months.size()))
        return {};
    const FollowUpQueries::Sum& s = m_pipeline.months[size_t(month)];
    QString when = QLocale().toString(m_pipeline.month(month), "MMMM yyyy");
    if (month == m_pipeline.thisMonth)
        when += " (this month)";
    return QString("%1: %2 from %3 order(s)").arg(when, number(s.value), number(s.orders));
}

void TPipelineForm::fillChart()
{
    QChart* chart = PipelineChart->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    auto* set = new QBarSet("Expected value");
    QStringList categories;
    qint64 low = 0, high = 0;
    for (int i = 0; i < int(m_pipeline.months.size()); ++i) {
        const qint64 v = m_pipeline.months[size_t(i)].value;
        *set << double(v);
        categories << monthText(i);
        low = std::min(low, v);
        high = std::max(high, v);
    }
    const QColor bar = palette().color(QPalette::Highlight);
    set->setColor(bar.lighter(150));
    set->setBorderColor(bar);
    // This month stands out in the highlight colour itself.
    set->setSelectedColor(bar);
    set->selectBar(m_pipeline.thisMonth);
    auto* series = new QBarSeries;
    series->setBarWidth(0.8);
    series->append(set);
    connect(series, &QBarSeries::hovered, this, [this](bool over, int index, QBarSet*) {
        if (over)
            QToolTip::showText(QCursor::pos(), barToolTip(index), PipelineChart);
        else
            QToolTip::hideText();
    });
    chart->addSeries(series);

    auto* months = new QBarCategoryAxis;
    months->append(categories);
    months->setLabelsAngle(-90); // upright, the whole month and year of each bar can be read
    chart->addAxis(months, Qt::AlignBottom);
    series->attachAxis(months);

    // The value axis has labels of its own, so that they carry the user's digit grouping.
    const qint64 step = niceStep(high - low);
    const qint64 bottom = low < 0 ? -((-low + step - 1) / step) * step : 0;
    const qint64 top = std::max<qint64>(step, (high + step - 1) / step * step);
    auto* values = new QCategoryAxis;
    values->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    values->setStartValue(double(bottom));
    for (qint64 v = bottom; v <= top; v += step)
        values->append(number(v), double(v));
    values->setRange(double(bottom), double(top));
    values->setTitleText("Expected order value");
    chart->addAxis(values, Qt::AlignLeft);
    series->attachAxis(values);
}

void TPipelineForm::fillTable()
{
    std::vector<Line>& lines = m_lines;
    lines.clear();
    const int count = int(m_pipeline.months.size());
    // Orders outside the charted months have rows of their own, so that the total adds up.
    if (m_pipeline.earlier.orders > 0)
        lines.push_back({"Before " + monthText(0), m_pipeline.earlier, false});
    for (int i = 0; i < count; ++i)
        lines.push_back({monthText(i), m_pipeline.months[size_t(i)], i == m_pipeline.thisMonth});
    if (m_pipeline.later.orders > 0)
        lines.push_back({"After " + monthText(count - 1), m_pipeline.later, false});
    lines.push_back({"No date", m_pipeline.undated, false});
    lines.push_back({"Total", m_pipeline.total(), true});

    PipelineGrid->setRowCount(int(lines.size()));
    for (int row = 0; row < int(lines.size()); ++row) {
        const Line& l = lines[size_t(row)];
        const QString cells[] = {l.month, number(l.sum.orders), number(l.sum.value)};
        for (int c = 0; c < 3; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (l.strong) {
                QFont f = item->font();
                f.setBold(true);
                item->setFont(f);
            }
            PipelineGrid->setItem(row, c, item);
        }
    }
    PipelineGrid->resizeRowsToContents();
}

void TPipelineForm::fillDue()
{
    // The list starts on its first row without making anybody current: only the user's choice does.
    m_filling = true;
    DueGrid->setResults(int(m_due.size()), [this](int result, int column) -> QString {
        if (result < 0 || result >= int(m_due.size()))
            return {};
        const FollowUpQueries::Due& d = m_due[size_t(result)];
        switch (column) {
        case kDate: return DateText::format(d.date);
        case kName: return d.name;
        case kMethod: return d.contactMethod;
        case kSolution: return d.offeredSolution;
        case kValue: return d.orderValue.isNull() ? QString() : number(d.orderValue.toLongLong());
        case kOrderDate: return DateText::formatValue(d.orderDate);
        default: return {};
        }
    });
    m_filling = false;
}

void TPipelineForm::DueGridSelect(int row)
{
    const int result = DueGrid->resultAt(row);
    if (result < 0 || result >= int(m_due.size()))
        return;
    Dataset* people = m_dataModule->PeopleCompanyDet;
    const qint64 person = m_due[size_t(result)].person;
    if (people->value("PersonID").toLongLong() == person)
        return;
    runCommand([&] { people->locate({"PersonID"}, {person}); });
}

void TPipelineForm::DueGridOpen(int row)
{
    const int result = DueGrid->resultAt(row);
    if (!m_followUp || result < 0 || result >= int(m_due.size()))
        return;
    DueGridSelect(row);
    if (m_dataModule->PeopleCompanyDet->value("PersonID").toLongLong() != m_due[size_t(result)].person)
        return; // the person is no longer on the list
    Modal::exec(m_followUp);
    // What was logged there shows here at once, with the same row current where it still is.
    const int keep = row;
    runCommand([this] { read(); });
    if (!m_due.empty()) {
        const QModelIndex at = DueGrid->model()->index(std::min(keep, int(m_due.size()) - 1), kName);
        DueGrid->selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        DueGrid->setFocus();
    }
}

bool TPipelineForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == DueGrid && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            DueGridOpen(DueGrid->currentIndex().row());
            return true;
        }
    }
    if (event->type() == QEvent::MouseButtonDblClick
        && (watched == DueGrid->viewport() || watched == DueGrid->fixedColumn()->viewport())) {
        auto* view = static_cast<QAbstractItemView*>(static_cast<QWidget*>(watched)->parentWidget());
        const QModelIndex at = view->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint());
        if (at.isValid() && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            DueGridOpen(at.row());
            return true;
        }
    }
    if (auto* button = qobject_cast<QPushButton*>(watched); button && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            button->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QString TPipelineForm::savePath(const QString& objectName, const QString& caption, const QString& filter,
                                const QString& suffix)
{
    FileDialog::Request ask;
    ask.save = true;
    ask.objectName = objectName;
    ask.caption = caption;
    ask.filter = filter;
    ask.defaultSuffix = suffix;
    return FileDialog::ask(this, ask);
}

void TPipelineForm::save(const QString& path, QByteArray bytes)
{
    if (ExportFile::isDatabase(path, m_dataModule->MainADOConnection.databasePath())) {
        MessageBox::show(MessageBox::Icon::Error, QString("The file %1 is the program's own database. %2")
                                                      .arg(QDir::toNativeSeparators(path), kNothingSaved));
        return;
    }
    ExportFile file(path);
    if (!file.open() || !file.write(bytes) || !file.commit())
        MessageBox::show(MessageBox::Icon::Error, file.cannotWrite(kNothingSaved));
}

void TPipelineForm::SavePictureButtonClick()
{
    const QString path = savePath("SaveDialogPicture", "Save the pipeline chart as a picture", "PNG picture (*.png)",
                                  "png");
    if (path.isEmpty())
        return;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!PipelineChart->grab().save(&buffer, "PNG")) {
        MessageBox::show(MessageBox::Icon::Error, "The chart could not be turned into a picture. Nothing was saved.");
        return;
    }
    save(path, bytes);
}

void TPipelineForm::SaveCsvButtonClick()
{
    const QString path = savePath("SaveDialogPipelineCSV", "Save the pipeline table as a CSV file",
                                  "CSV (Comma delimited) (*.csv)", "csv");
    if (path.isEmpty())
        return;
    // As the people export writes CSV: UTF-8 with a byte-order mark, CR LF, quoted where needed.
    // The figures are written without digit grouping, so that a spreadsheet reads them as numbers.
    QByteArray out = "\xEF\xBB\xBF";
    auto line = [&](const QStringList& cells) {
        for (int c = 0; c < cells.size(); ++c) {
            if (c > 0)
                out += ',';
            PeopleExport::appendCsvField(out, cells[c]);
        }
        out += "\r\n";
    };
    line({"Month", "Orders", "Expected value"});
    for (const Line& l : m_lines)
        line({l.month, QString::number(l.sum.orders), QString::number(l.sum.value)});
    save(path, out);
}
