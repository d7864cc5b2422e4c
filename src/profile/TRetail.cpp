#include "TRetail.h"

#include "Questions.h"
#include "Tactics.h"
#include "platform/ErrorDisplay.h"
#include "platform/Platform.h"
#include "data/MainDataModule.h"
#include "data/DataError.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <algorithm>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QShowEvent>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
constexpr int kTacticsTab = 2;

QPalette navyText(QPalette pal)
{
    pal.setColor(QPalette::Text, QColor(0, 0, 128));
    return pal;
}
} // namespace

TRetail::TRetail(TMainDataModule* dataModule, QWidget* parent) : QDialog(parent), m_dataModule(dataModule)
{
    setObjectName("Retail");
    setWindowTitle("Personality Identification");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    Answers.fill(-1, 24);

    QMainTable = new Dataset("QMainTable", &dataModule->MainADOConnection, this);
    QMainTable->setTable("QuestionsMain");
    QMainTable->setDeclaredColumns({"PersonID", "QuestionID", "Answer"});
    QMainTable->setMaster(dataModule->PeopleCompanyDS, "PersonID");
    QMainTable->setDeferredLoad(true); // follows every move of the current person

    auto* layout = new QVBoxLayout(this);
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
    PageControl1->setFocusPolicy(Qt::NoFocus);
    PageControl1->tabBar()->setFocusPolicy(Qt::NoFocus);
    TabSheet1 = buildQuestionsTab(1, &AssertTip);
    TabSheet1->setObjectName("TabSheet1");
    TabSheet2 = buildQuestionsTab(13, &ResponTip);
    TabSheet2->setObjectName("TabSheet2");
    TabSheet3 = new QWidget;
    TabSheet3->setObjectName("TabSheet3");
    auto* tactics = new QVBoxLayout(TabSheet3);
    Memo1 = new QPlainTextEdit(TabSheet3);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setFont(QFont("Arial", 10));
    Memo1->setPalette(navyText(Memo1->palette()));
    tactics->addWidget(Memo1);
    PageControl1->addTab(TabSheet1, "Assertiveness");
    PageControl1->addTab(TabSheet2, "Responsiveness");
    PageControl1->addTab(TabSheet3, QIcon(":/icons/tactics-16.png"), "Tactics");
    layout->addWidget(PageControl1);
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (!m_settingTab)
            PageControl1Change(index);
        // The focus goes with the tab, to its first question, not to a control now hidden.
        if (isVisible() && index < kTacticsTab) {
            const QList<QWidget*> stops = m_chains[index].reachable();
            if (!stops.isEmpty())
                stops.first()->setFocus(Qt::OtherFocusReason);
        }
    });
    setFixedSize(sizeHint());
    qApp->installEventFilter(this);
    FormCreate();
}

TRetail::~TRetail() { qApp->removeEventFilter(this); }

QWidget* TRetail::buildQuestionsTab(int firstQuestion, QLabel** tip)
{
    auto* tab = new QWidget;
    auto* layout = new QVBoxLayout(tab);
    layout->setSpacing(2);
    auto* heading = new QLabel("Please answer the following about your customer then press Tactics", tab);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);
    for (int n = firstQuestion; n < firstQuestion + 12; ++n) {
        const Question& q = Questions::at(n);
        auto* box = new QGroupBox(tab);
        box->setObjectName(QString("RadioGroup%1").arg(n));
        box->setProperty("tag", n);
        box->setToolTip(QString::fromUtf8(q.hint));
        auto* row = new QHBoxLayout(box);
        row->setContentsMargins(8, 2, 8, 2);
        auto* group = new QButtonGroup(box);
        for (int i = 0; i < 2; ++i) {
            auto* r = new QRadioButton(QString::fromUtf8(i == 0 ? q.first : q.second), box);
            r->setObjectName(QString("RadioGroup%1Item%2").arg(n).arg(i));
            r->setToolTip(box->toolTip());
            row->addWidget(r, 1);
            group->addButton(r, i);
        }
        // Tab moves from question to question; the arrow keys choose within one.
        m_chains[firstQuestion == 1 ? 0 : 1].add(group);
        connect(group, &QButtonGroup::idClicked, this, [this, n](int) { RadioGroup1Click(n); });
        RadioGroups << box;
        Choices << group;
        layout->addWidget(box);
    }
    auto* hint = new QLabel(tab);
    hint->setObjectName(firstQuestion == 1 ? "AssertTip" : "ResponTip");
    hint->setFocusPolicy(Qt::NoFocus);
    hint->setWordWrap(true);
    hint->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    hint->setFrameShape(QFrame::StyledPanel);
    hint->setFrameShadow(QFrame::Sunken);
    hint->setAutoFillBackground(true);
    hint->setMargin(2);
    QPalette pal = hint->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Base));
    pal.setColor(QPalette::WindowText, QColor(0, 0, 128));
    hint->setPalette(pal);
    // As wide as the questions, and tall enough for the longest hint wrapped at that width.
    const int width = 600;
    int height = 0;
    for (int n = 1; n <= 24; ++n) {
        hint->setText(QString::fromUtf8(Questions::at(n).hint));
        height = std::max(height, hint->heightForWidth(width));
    }
    hint->clear();
    hint->setFixedSize(width, height);
    layout->addWidget(hint);
    *tip = hint;
    return tab;
}

int TRetail::selectedAnswer(int question) const { return Choices[question - 1]->checkedId(); }

void TRetail::setTab(int index)
{
    m_settingTab = true;
    PageControl1->setCurrentIndex(index);
    m_settingTab = false;
}

void TRetail::FormCreate()
{
    LoadingAnswers = false;
    OpinionLineAdded = false;
    QMainTable->open();
}

void TRetail::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        Screen::centre(this);
        FormShow();
    }
}

void TRetail::FormShow()
{
    OpinionLineAdded = false;
    // When the rows cannot be made or mended the user is told, and still sees what is stored.
    runCommand([this] { AddQuestionsClick(); });
    runCommand([this] {
        LoadDataClick();
        CalculateClick();
    });
    setTab(kTacticsTab); // the window always opens on the tactics
}

QVector<int> TRetail::chosenRows() const
{
    // The row that holds each question's answer (index n for question n, -1 for none). Where a
    // question has several rows, an answered one wins over an unanswered one, then the one
    // written last.
    QVector<int> chosen(25, -1);
    const int question = QMainTable->columnIndex("QuestionID");
    const int answer = QMainTable->columnIndex("Answer");
    auto answered = [&](int row) {
        const QVariant a = QMainTable->valueAt(row, answer);
        return !a.isNull() && (a.toInt() == 0 || a.toInt() == 1);
    };
    for (int row = 0; row < QMainTable->recordCount(); ++row) {
        const QVariant q = QMainTable->valueAt(row, question);
        if (q.isNull() || q.toInt() < 1 || q.toInt() > 24)
            continue;
        int& best = chosen[q.toInt()];
        if (best < 0 || answered(row) || !answered(best))
            best = row; // rows stand in the order they were written
    }
    return chosen;
}

void TRetail::AddQuestionsClick()
{
    try {
        prepareRows();
    } catch (const DataError& e) {
        throw DataError("The questionnaire of this person could not be prepared. " + e.cause(), e.cause());
    }
}

void TRetail::prepareRows()
{
    QMainTable->refresh();
    const QVariant person = m_dataModule->PeopleCompanyDet->value("PersonID");
    if (person.isNull() || person.toInt() == 0)
        return;
    auto complete = [this] {
        const QVector<int> chosen = chosenRows();
        return QMainTable->recordCount() == 24 && !chosen.mid(1).contains(-1);
    };
    if (complete())
        return;
    // Made or mended in one transaction that holds the write lock from its first look: a second
    // copy opening the same person waits and then finds the rows, and a program killed half-way
    // leaves the set as it was.
    Connection::Transaction transaction(m_dataModule->MainADOConnection);
    QMainTable->refresh(); // what is stored now that nobody else can write
    if (!complete()) {
        // Answers of a person another user deleted would belong to nobody.
        if (!m_dataModule->personStored(person))
            throw DataError("This person was deleted by another user.");
        mendRows(person);
    }
    transaction.commit();
}

// Missing questions are added unanswered; of a question with several rows only the one that
// counts (chosenRows) stays.
void TRetail::mendRows(const QVariant& person)
{
    const QVector<int> chosen = chosenRows();
    const int question = QMainTable->columnIndex("QuestionID");
    // From the last row back, so that the positions still to visit stay where they are.
    for (int row = QMainTable->recordCount() - 1; row >= 0; --row) {
        const QVariant q = QMainTable->valueAt(row, question);
        if (q.isNull() || q.toInt() < 1 || q.toInt() > 24 || chosen[q.toInt()] == row)
            continue;
        QMainTable->setRecNo(row);
        QMainTable->remove();
    }
    for (int n = 1; n <= 24; ++n) {
        if (chosen[n] >= 0)
            continue;
        QMainTable->insert();
        QMainTable->setValue("PersonID", person);
        QMainTable->setValue("QuestionID", n);
        QMainTable->setValue("Answer", -1);
        QMainTable->post();
    }
}

void TRetail::LoadDataClick()
{
    QMainTable->refresh();
    // A person without rows shows every question unanswered, never the answers shown before.
    const QVector<int> answers = readAnswers();
    LoadingAnswers = true;
    for (int n = 1; n <= 24; ++n) {
        QButtonGroup* group = Choices[n - 1];
        const int answer = answers[n - 1];
        if (answer == 0 || answer == 1) {
            group->button(answer)->setChecked(true);
        } else {
            group->setExclusive(false);
            for (QAbstractButton* b : group->buttons())
                b->setChecked(false);
            group->setExclusive(true);
        }
    }
    LoadingAnswers = false;
}

QVector<int> TRetail::readAnswers()
{
    // Each question's answer comes from its own row, found by QuestionID: never by position.
    QVector<int> answers(24, -1);
    const QVector<int> chosen = chosenRows();
    const int answer = QMainTable->columnIndex("Answer");
    for (int n = 1; n <= 24; ++n) {
        if (chosen[n] < 0)
            continue;
        const QVariant a = QMainTable->valueAt(chosen[n], answer);
        answers[n - 1] = a.isNull() ? -1 : a.toInt();
    }
    return answers;
}

bool TRetail::LocateQuestion(int question)
{
    if (question < 1 || question > 24)
        return false;
    const int row = chosenRows()[question];
    if (row < 0)
        return false;
    QMainTable->setRecNo(row);
    return true;
}

void TRetail::RadioGroup1Click(int question)
{
    if (LoadingAnswers)
        return;
    const bool stored = runCommand([&] {
        try {
            QMainTable->refresh();
            if (!LocateQuestion(question)) {
                // The rows could not be made when the window opened (another program held the
                // lock, which may be gone now), or another program removed them meanwhile.
                const QVariant person = m_dataModule->PeopleCompanyDet->value("PersonID");
                if (person.isNull() || person.toInt() == 0)
                    throw DataError("This person has not been saved yet. Save the person first, then answer the "
                                    "questions.");
                prepareRows();
                if (!LocateQuestion(question))
                    throw DataError("The questionnaire of this person could not be prepared.");
            }
            QMainTable->edit();
            QMainTable->setValue("Answer", selectedAnswer(question));
            QMainTable->post();
            QMainTable->refresh();
        } catch (const DataError& e) {
            throw DataError("Your answer could not be stored. " + e.cause(), e.cause());
        }
    });
    if (!stored) {
        // The user has been told why; the groups show what is stored, not the refused click.
        QMainTable->cancel();
        try {
            LoadDataClick();
        } catch (const DataError&) {
        }
    }
}

void TRetail::PageControl1Change(int index)
{
    AssertTip->setText(" ");
    ResponTip->setText(" ");
    if (index == kTacticsTab)
        runCommand([this] { CalculateClick(); });
}

void TRetail::ApplicationEvents1ShowHint(const QString& hint)
{
    AssertTip->setText(hint);
    ResponTip->setText(hint);
}

bool TRetail::focusNextPrevChild(bool next)
{
    const int tab = PageControl1->currentIndex();
    if (tab < kTacticsTab && m_chains[tab].move(next))
        return true;
    return QDialog::focusNextPrevChild(next);
}

bool TRetail::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        // Any hint about to be shown also goes into the hint boxes; the tooltip still shows.
        for (auto* w = qobject_cast<QWidget*>(watched); w; w = w->parentWidget()) {
            if (!w->toolTip().isEmpty()) {
                ApplicationEvents1ShowHint(w->toolTip());
                break;
            }
            if (w->isWindow())
                break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TRetail::CalculateClick()
{
    QMainTable->refresh();
    OpinionLineAdded = false;
    // A person without rows is scored as unanswered, so no earlier person's tactics stay shown.
    const QVector<int> answers = readAnswers();
    const Tactics::Result result = Tactics::calculate(answers);
    Answers = answers;
    OpinionLineAdded = result.opinionLineAdded;
    Memo1->setPlainText(result.lines.join('\n'));
    if (result.list >= 0)
        setTab(kTacticsTab);
}
