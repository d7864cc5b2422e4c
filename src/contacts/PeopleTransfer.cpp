#include "PeopleTransfer.h"
#include "ImportUndo.h"

#include "data/DataError.h"
#include "data/Duplicates.h"
#include "data/MainDataModule.h"
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QWindow>

#include <algorithm>

namespace PeopleTransfer {
namespace {
int& progressDelay()
{
    static int d = -1;
    return d;
}

std::function<void(QProgressDialog&)>& progressObserver()
{
    static std::function<void(QProgressDialog&)> o;
    return o;
}

// Characters as the database counts them: a pair of surrogates is one.
int characters(QStringView text)
{
    int n = int(text.size());
    for (QChar c : text)
        if (c.isLowSurrogate())
            --n;
    return n;
}

// Re-reading the person list and refilling the suggestion lists after an import costs about this
// much per person on file on a modest machine (100,000 people: some 2 seconds), so a short file
// read into a long list still shows its progress while the list is re-read.
constexpr qint64 kUpdateMicrosecondsPerPerson = 20;


// Lets the window system answer (it shows and activates windows in its own time), for a moment at
// most; the user's keys and clicks wait.
void waitFor(const std::function<bool()>& done)
{
    QDeadlineTimer deadline(1000);
    QTimer wake; // ends each wait even if the window system says nothing
    wake.start(20);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
}
} // namespace

QString counted(int added) { return QString("%1 record(s) added.").arg(added); }
QString addedSoFar(int added) { return QString("%1 record(s) added so far.").arg(added); }

QString notAdded(int line, const QString& reason, int lostFrom)
{
    if (lostFrom > 0 && lostFrom < line)
        return QString("Line %1 of the file could not be added: %2\nNothing from line %3 on was stored. The import "
                       "stopped there.")
            .arg(line)
            .arg(reason)
            .arg(lostFrom);
    return QString("Line %1 of the file could not be added: %2\nThe import stopped there.").arg(line).arg(reason);
}

QString notStored(const QString& reason, int lostFrom)
{
    if (lostFrom <= 0)
        return reason;
    return QString("The people from line %1 of the file on could not be stored: %2").arg(lostFrom).arg(reason);
}

QString sentence(const QString& reason)
{
    return reason.endsWith('.') || reason.endsWith('!') || reason.endsWith('?') ? reason : reason + '.';
}

QString unreadable(const QString& path, bool notText, const QString& reason)
{
    const QString file = QDir::toNativeSeparators(path);
    return notText ? QString("The file %1 is not a text file. Nothing was imported.").arg(file)
                   : QString("The file %1 cannot be read: %2\nNothing was imported.").arg(file, sentence(reason));
}

QString brokenNote(int broken, int firstLine)
{
    return QString("%1 character(s) could not be read and were replaced by \"%2\", the first at line %3.")
        .arg(broken)
        .arg(QChar(QChar::ReplacementCharacter))
        .arg(firstLine);
}

bool isBlank(QStringView text)
{
    for (QChar c : text)
        if (c.unicode() > 32)
            return false;
    return true;
}

int likelyDuplicates(TMainDataModule& data, qint64 fromId)
{
    if (fromId <= 0)
        return 0;
    int n = 0;
    runQuietly([&] {
        Dataset* companies = data.CompaniesTable;
        const QVariant company =
            companies->recordCount() > 0 ? companies->valueAt(0, companies->columnIndex("CompanyID")) : QVariant();
        n = Duplicates::countFrom(Duplicates::find(data.MainADOConnection, company), fromId);
    });
    return n;
}

QString likelyNote(int likely)
{
    return QString("%1 of the people added look like people already on file or like one another.").arg(likely);
}

bool offerDuplicates(MessageBox::Icon icon, const QString& text)
{
    MessageBox::Request ask;
    ask.icon = icon;
    ask.text = text.isEmpty() ? QString("Look at them in the duplicate window now?")
                              : text + " Look at them in the duplicate window now?";
    ask.buttons = {MessageBox::Button::Yes, MessageBox::Button::No};
    ask.defaultButton = MessageBox::Button::Yes;
    ask.escapeButton = MessageBox::Button::No;
    return MessageBox::show(ask) == MessageBox::Button::Yes;
}

bool closingMessage(MessageBox::Icon icon, const QString& text, int likely)
{
    if (likely <= 0) {
        MessageBox::show(icon, text);
        return false;
    }
    return offerDuplicates(icon, text + "\n\n" + likelyNote(likely));
}

void setProgressDelay(int milliseconds) { progressDelay() = milliseconds; }
void setProgressObserver(std::function<void(QProgressDialog&)> observer) { progressObserver() = std::move(observer); }

// A progress dialog whose Cancel can be switched off, and shown at once on request.
class ProgressDialog : public QProgressDialog {
public:
    using QProgressDialog::QProgressDialog;
    void showNow() { forceShow(); } // from here on every setValue() lets the user cancel
    void setCancellable(bool on)
    {
        m_cancellable = on;
        if (auto* cancel = findChild<QPushButton*>())
            cancel->setEnabled(on);
        for (QShortcut* escape : findChildren<QShortcut*>()) // the dialog's own Escape
            escape->setEnabled(on);
    }

protected:
    void reject() override
    {
        if (m_cancellable)
            QProgressDialog::reject();
    }
    void closeEvent(QCloseEvent* e) override
    {
        if (m_cancellable)
            QProgressDialog::closeEvent(e);
        else
            e->ignore();
    }

private:
    bool m_cancellable = true;
};

Progress::Progress(QWidget* parent, const QString& objectName, const QString& title, const QString& label)
    : m_parent(parent), m_objectName(objectName), m_title(title), m_label(label + "\n"),
      m_delay(progressDelay() >= 0 ? progressDelay() : 500)
{
    m_clock.start();
}

Progress::~Progress() { close(); }

bool Progress::cancelled() const { return m_dialog && m_dialog->wasCanceled(); }

bool Progress::stepTo(int value, const std::function<QString()>& status)
{
    value = std::clamp(value, 0, kSteps);
    if (value == m_value && m_dialog)
        return cancelled();
    m_value = value;
    if (!m_dialog) {
        // Due after the delay, or sooner when the work done so far says the whole will take longer.
        const qint64 elapsed = m_clock.elapsed();
        const bool due = elapsed >= m_delay || (elapsed >= 50 && value > 0 && elapsed * kSteps / value >= m_delay);
        if (!due)
            return false;
        open();
    }
    m_dialog->setLabelText(m_label + status());
    m_dialog->setValue(std::max(value, 1)); // lets the user press Cancel
    observe();
    return cancelled();
}

void Progress::closing(const QString& status, qint64 expectedMilliseconds)
{
    if (!m_dialog) {
        if (m_clock.elapsed() + expectedMilliseconds < m_delay)
            return;
        open();
    }
    m_dialog->setCancellable(false);
    m_dialog->setLabelText(m_label + status);
    m_dialog->setValue(std::max(m_value, 1));
    m_dialog->show(); // again after a Cancel, which hides it
    // The closing stage runs in one piece: the dialog must be on the screen before it starts.
    waitFor([this] { return m_dialog->windowHandle() && m_dialog->windowHandle()->isExposed(); });
    m_dialog->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    observe();
}

void Progress::close()
{
    if (!m_dialog)
        return;
    const bool hadFocus = m_dialog->isActiveWindow();
    m_dialog.reset();
    QWidget* window = m_parent ? m_parent->window() : nullptr;
    // Drawn again at once where the dialog was: the message that follows is modal, and the
    // window system's own request to redraw would wait behind it.
    if (window && window->isVisible())
        window->repaint();
    if (!hadFocus || !window || !window->isVisible())
        return;
    window->activateWindow();
    waitFor([window] { return QApplication::activeWindow() == window; });
}

void Progress::open()
{
    m_dialog = std::make_unique<ProgressDialog>(m_parent);
    m_dialog->setObjectName(m_objectName);
    m_dialog->setWindowTitle(m_title);
    m_dialog->setLabelText(m_label);
    m_dialog->setMinimumWidth(360);
    m_dialog->setCancelButtonText("Cancel");
    m_dialog->setRange(0, kSteps);
    m_dialog->setWindowModality(Qt::ApplicationModal);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->showNow();
}

void Progress::observe()
{
    if (progressObserver() && m_dialog && m_dialog->isVisible())
        progressObserver()(*m_dialog);
}

ImportSession::ImportSession(QWidget* parent, TMainDataModule& data, const QStringList& columns,
                             const QStringList& captions, const QString& path)
    : m_parent(parent), m_data(data), m_columns(columns), m_captions(captions), m_path(path), m_batch(data, columns)
{
    m_name = int(columns.indexOf("Name"));
    m_email1 = int(columns.indexOf("Email1"));
}

ImportSession::~ImportSession() = default;

void ImportSession::begin()
{
    m_batch.recordImport(QDir::toNativeSeparators(m_path));
    m_batch.begin();
    // Into an empty list every person is added, identical records included.
    m_testDuplicates = m_batch.startCount() > 0;
}

void ImportSession::showProgress()
{
    m_progress = std::make_unique<Progress>(m_parent, "ImportProgress", "Import",
                                            "Importing people from " + QFileInfo(m_path).fileName());
}

void ImportSession::closeProgress()
{
    if (m_progress)
        m_progress->close();
}

QString ImportSession::add(int line, const std::vector<QStringView>& values, qint64* id, const std::vector<int>* lines)
{
    if (id)
        *id = 0;
    try {
        const QStringView name = values[m_name];
        if (isBlank(name))
            return {};
        if (m_testDuplicates && m_batch.findDuplicate(name, m_email1 >= 0 ? values[m_email1] : QStringView()))
            return {};
        for (int i = 0; i < int(values.size()); ++i) {
            const int width = m_batch.width(i);
            if (width > 0 && characters(values[i]) > width)
                return QString("Line %1 of the file: the value of \"%2\" is longer than %3 characters. "
                               "The import stopped there.")
                    .arg(lines && i < int(lines->size()) && (*lines)[i] > 0 ? (*lines)[i] : line)
                    .arg(m_captions.value(i))
                    .arg(width);
        }
        const qint64 added = m_batch.add(values, line);
        if (!m_firstAdded)
            m_firstAdded = added;
        if (id)
            *id = added;
    } catch (const DataError& e) {
        return notAdded(line, e.text(), m_batch.lostFrom());
    }
    return {};
}

bool ImportSession::step(double share)
{
    return m_progress && m_progress->step(share, [this] { return addedSoFar(m_batch.added()); });
}

bool ImportSession::finish(QString stop, const QString& notes)
{
    try {
        if (m_progress && m_batch.added() > 0)
            m_progress->closing(QString("%1 record(s) added. Updating the person list...").arg(m_batch.added()),
                                (m_batch.startCount() + qint64(m_batch.added())) * kUpdateMicrosecondsPerPerson / 1000);
        m_batch.finish();
    } catch (const DataError& e) {
        const QString lost = notStored(e.text(), m_batch.lostFrom());
        stop = stop.isEmpty() ? lost : stop + "\n" + lost;
        runQuietly([&] { m_batch.finish(); });
    }
    // Counted while the progress still says the list is being brought up to date.
    const int likely = m_batch.committed() > 0 ? likelyDuplicates(m_data, m_firstAdded) : 0;
    if (m_progress)
        m_progress->close();
    const QString count = notes.isEmpty() ? counted(m_batch.committed()) : counted(m_batch.committed()) + ' ' + notes;
    return ImportUndo::report(m_data,
                              !stop.isEmpty()     ? MessageBox::Icon::Error
                              : notes.isEmpty() ? MessageBox::Icon::Information
                                                : MessageBox::Icon::Warning,
                              stop.isEmpty() ? count : stop + "\n" + count, m_batch.importId(), likely);
}

} // namespace PeopleTransfer
