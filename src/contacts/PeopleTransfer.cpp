#include "PeopleTransfer.h"

#include "platform/DataError.h"
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>

#include <algorithm>

namespace PeopleTransfer {
namespace {
constexpr int kProgressSteps = 1000;

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

bool isBlank(QStringView text)
{
    for (QChar c : text)
        if (c.unicode() > 32)
            return false;
    return true;
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

QString addedSoFar(int added) { return QString("%1 record(s) added so far.").arg(added); }
} // namespace

QString counted(int added) { return QString("%1 record(s) added.").arg(added); }

QString unreadable(const QString& path, bool notText, const QString& reason)
{
    const QString file = QDir::toNativeSeparators(path);
    return notText ? QString("The file %1 is not a text file. Nothing was imported.").arg(file)
                   : QString("The file %1 cannot be read: %2\nNothing was imported.").arg(file, reason);
}

void setProgressDelay(int milliseconds) { progressDelay() = milliseconds; }
void setProgressObserver(std::function<void(QProgressDialog&)> observer) { progressObserver() = std::move(observer); }

Progress::Progress(QWidget* parent, const QString& objectName, const QString& title, const QString& label,
                   const QString& status)
    : m_dialog(parent), m_label(label + "\n")
{
    m_dialog.setObjectName(objectName);
    m_dialog.setWindowTitle(title);
    m_dialog.setLabelText(m_label + status);
    m_dialog.setMinimumWidth(360);
    m_dialog.setCancelButtonText("Cancel");
    m_dialog.setRange(0, kProgressSteps);
    m_dialog.setWindowModality(Qt::ApplicationModal);
    m_dialog.setAutoClose(false);
    m_dialog.setAutoReset(false);
    m_dialog.setMinimumDuration(progressDelay() >= 0 ? progressDelay() : 500);
    m_dialog.setValue(0);
}

bool Progress::step(double share, const std::function<QString()>& status)
{
    const int value = int(share * kProgressSteps);
    if (value != m_shown) {
        m_shown = value;
        m_dialog.setLabelText(m_label + status());
        m_dialog.setValue(value); // also lets the user act
    }
    if (progressObserver() && m_dialog.isVisible())
        progressObserver()(m_dialog);
    return m_dialog.wasCanceled(); // Cancel, Escape or the close box
}

void Progress::closing(const QString& status)
{
    if (!m_dialog.isVisible() && !m_dialog.wasCanceled())
        return;
    // Showing many new people takes a moment, and nothing can be cancelled any more.
    if (auto* cancel = m_dialog.findChild<QPushButton*>())
        cancel->setEnabled(false);
    m_dialog.setLabelText(m_label + status);
    m_dialog.setValue(std::max(m_shown, 1)); // where a cancel left it
    m_dialog.show();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void Progress::close()
{
    // Reset stops the dialog's own timer, which would otherwise show it, empty, over the message
    // that follows once its delay has passed.
    m_dialog.reset();
    m_dialog.hide();
}

ImportSession::ImportSession(QWidget* parent, TMainDataModule& data, const QStringList& columns,
                             const QStringList& captions, const QString& path)
    : m_parent(parent), m_columns(columns), m_captions(captions), m_path(path), m_batch(data, columns)
{
    m_name = int(columns.indexOf("Name"));
    m_email1 = int(columns.indexOf("Email1"));
}

ImportSession::~ImportSession() = default;

void ImportSession::begin()
{
    m_batch.begin();
    // Into an empty list every person is added, identical records included.
    m_testDuplicates = m_batch.startCount() > 0;
}

void ImportSession::showProgress()
{
    m_progress = std::make_unique<Progress>(m_parent, "ImportProgress", "Import",
                                            "Importing people from " + QFileInfo(m_path).fileName(), addedSoFar(0));
}

QString ImportSession::add(int line, const std::vector<QStringView>& values, qint64* id)
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
                    .arg(line)
                    .arg(m_captions.value(i))
                    .arg(width);
        }
        const qint64 added = m_batch.add(values);
        if (id)
            *id = added;
    } catch (const DataError& e) {
        return QString("Line %1 of the file could not be added: %2\nThe import stopped there.").arg(line).arg(e.text());
    }
    return {};
}

bool ImportSession::step(double share)
{
    return m_progress && m_progress->step(share, [this] { return addedSoFar(m_batch.added()); });
}

void ImportSession::finish(QString stop)
{
    try {
        if (m_progress)
            m_progress->closing(QString("%1 record(s) added. Updating the person list...").arg(m_batch.added()));
        m_batch.finish();
    } catch (const DataError& e) {
        stop = stop.isEmpty() ? e.text() : stop + "\n" + e.text();
        runQuietly([&] { m_batch.finish(); });
    }
    if (m_progress)
        m_progress->close();
    if (stop.isEmpty())
        MessageBox::show(MessageBox::Icon::Information, counted(m_batch.committed()));
    else
        MessageBox::show(MessageBox::Icon::Error, stop + "\n" + counted(m_batch.committed()));
}

} // namespace PeopleTransfer
