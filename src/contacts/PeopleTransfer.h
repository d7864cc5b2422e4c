#pragma once
#include "data/PeopleBatch.h"
#include "platform/MessageBox.h"

#include <QElapsedTimer>
#include <QProgressDialog>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QWidget;
class TMainDataModule;

// What the imports and exports of people share: the progress dialog with Cancel, the run of an
// import under the duplicate test and the column widths, and the messages.
namespace PeopleTransfer {

QString counted(int added); // "N record(s) added."
QString addedSoFar(int added); // "N record(s) added so far."
// Why the import stopped at a person it could not write: that line, and the first line whose
// person the failure took back with it (lostFrom, 0 for none), so the user knows where to resume.
QString notAdded(int line, const QString& reason, int lostFrom);
// The same for the write that ends the import, which takes back everyone from lostFrom on.
QString notStored(const QString& reason, int lostFrom);
// A reason as one sentence: the system's own come without a full stop ("Input/output error").
QString sentence(const QString& reason);
// The message for a file that cannot be opened as text.
QString unreadable(const QString& path, bool notText, const QString& reason);
// The note that follows the count when characters of the people added could not be read.
QString brokenNote(int broken, int firstLine);
// A name of blanks and control characters only, which no import adds.
bool isBlank(QStringView text);

// How many of the people from PersonID fromId on look like people on file or like one another;
// 0 when that cannot be told.
int likelyDuplicates(TMainDataModule& data, qint64 fromId);
// An import's closing message. With likely duplicates among the people added it says how many
// and offers the duplicate window: true when the user takes it.
bool closingMessage(MessageBox::Icon icon, const QString& text, int likely);
QString likelyNote(int likely); // "N of the people added look like ..."
// Asks whether to look at the likely duplicates now, after text; true for yes.
bool offerDuplicates(MessageBox::Icon icon, const QString& text);

// How long a run goes before its progress dialog appears, in milliseconds (-1: the usual half
// second), and a hook that sees the dialog after each person while it is shown. For tests.
void setProgressDelay(int milliseconds);
void setProgressObserver(std::function<void(QProgressDialog&)> observer);

class ProgressDialog;

// The progress of one run of an import or export. The dialog is made only when the run has gone
// on for the delay, or sooner when the work done so far says that it will, and it is destroyed
// before anything else is told: a hidden dialog keeps a timer of its own that would bring it back
// over the message. Cancel is the button, Escape or the close box.
class Progress {
public:
    static constexpr int kSteps = 1000; // the whole bar

    Progress(QWidget* parent, const QString& objectName, const QString& title, const QString& label);
    ~Progress();

    // Moves the bar to value (0 to kSteps) with a new status below the label, lets the user act
    // and returns whether the run was cancelled.
    bool stepTo(int value, const std::function<QString()>& status);
    bool step(double share, const std::function<QString()>& status) { return stepTo(int(share * kSteps), status); }
    bool cancelled() const;
    // Before the closing stage, which takes about the given time and cannot be cancelled. The
    // dialog shows when the run as a whole lasts longer than the delay.
    void closing(const QString& status, qint64 expectedMilliseconds = 0);
    // Gone for good, and the keyboard back with the window the run was started from, so that
    // what follows is shown over it.
    void close();

private:
    void open();
    void observe();

    QWidget* m_parent;
    QString m_objectName, m_title, m_label;
    int m_delay;
    QElapsedTimer m_clock;
    std::unique_ptr<ProgressDialog> m_dialog;
    int m_value = -1;
};

// One import of people from a file: the batch, the progress and the closing message.
class ImportSession {
public:
    // columns: the People columns of each value; captions: what a message calls each of them.
    ImportSession(QWidget* parent, TMainDataModule& data, const QStringList& columns, const QStringList& captions,
                  const QString& path);
    ~ImportSession();

    // Settles the current person and takes the start count; throws like PeopleBatch::begin.
    void begin();
    void showProgress(); // before the file is read: the dialog comes when the reading takes long
    void closeProgress(); // before a message that ends the import without a count
    PeopleBatch& batch() { return m_batch; }

    // Adds the person of one record unless the name is blank or, when the list had people, a
    // person with that name and first e-mail address is on file. Returns why the import must
    // stop there, or nothing; *id is the new person's PersonID or 0. lines, when given, holds the
    // line each value stands on (0: line), for a message about that value.
    QString add(int line, const std::vector<QStringView>& values, qint64* id = nullptr,
                const std::vector<int>* lines = nullptr);
    // After each record: returns whether the user cancelled.
    bool step(double share);
    // Commits, shows the people and reports: the count, or stop's reason and the count; notes are
    // sentences that follow the count (what was left out), and make the report a warning.
    // True when the user asked to see the likely duplicates among the people added.
    bool finish(QString stop, const QString& notes = {});

private:
    QWidget* m_parent;
    TMainDataModule& m_data;
    QStringList m_columns, m_captions;
    QString m_path;
    PeopleBatch m_batch;
    int m_name = -1, m_email1 = -1;
    qint64 m_firstAdded = 0;
    bool m_testDuplicates = false;
    std::unique_ptr<Progress> m_progress;
};

} // namespace PeopleTransfer
