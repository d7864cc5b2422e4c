#include "VCardImport.h"

#include "CsvImport.h"
#include "PeopleTransfer.h"
#include "data/MainDataModule.h"
#include "VCard.h"
#include "VCardPeople.h"
#include "data/DataError.h"
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"

#include <QDir>

#include <vector>

namespace VCardImport {
namespace {

class Import {
public:
    Import(QWidget* parent, TMainDataModule& data, const QString& path)
        : m_data(data), m_path(path), m_reader(path),
          m_session(parent, data, VCardPeople::columns(), VCardPeople::captions(), path)
    {
        // A card of any size shows the progress and can be cancelled while it is read.
        m_reader.setObserver([this](double share) { return !m_session.step(share); });
    }
    bool exec(); // true: the user asked to see the likely duplicates among the people added

private:
    QString problemText() const;

    TMainDataModule& m_data;
    QString m_path;
    VCard::Reader m_reader;
    PeopleTransfer::ImportSession m_session;
    VCard::Card m_card;
    std::vector<QString> m_text;
    std::vector<QStringView> m_values;
    QVector<int> m_answers;
    VCardPeople::Origin m_origin;
    int m_name = int(VCardPeople::columns().indexOf("Name"));
    int m_unreadable = 0; // values of the people added that could not be read
    int m_firstUnreadable = 0; // the line of the first
    int m_nameless = 0;   // cards skipped for want of a name
    bool m_seenCard = false; // a whole card was read
    int m_broken = 0;     // characters of the people added that could not be read
    int m_firstBroken = 0; // the line of the first
};

QString Import::problemText() const
{
    const QString file = QDir::toNativeSeparators(m_path);
    switch (m_reader.problem()) {
    case VCard::Reader::Problem::None:
    case VCard::Reader::Problem::Stopped:
        return {};
    case VCard::Reader::Problem::NotVCard:
        return QString("The file %1 is not a vCard file. Nothing was imported.").arg(file);
    case VCard::Reader::Problem::NotText:
        if (m_seenCard) // binary data after cards: those before it are added
            break;
        return PeopleTransfer::unreadable(m_path, true, {});
    case VCard::Reader::Problem::CannotRead:
        return PeopleTransfer::unreadable(m_path, false, m_reader.errorString());
    case VCard::Reader::Problem::BadCard:
        break;
    }
    return QString("Line %1 of the file cannot be read: %2\nThe import stopped there.")
        .arg(m_reader.errorLine())
        .arg(m_reader.errorString());
}

bool Import::exec()
{
    if (CsvImport::isDatabaseFile(m_path, m_data.MainADOConnection.databasePath())) {
        MessageBox::show(MessageBox::Icon::Error, QString("The file %1 is the program's own database, not a vCard "
                                                          "file. Nothing was imported.")
                                                      .arg(QDir::toNativeSeparators(m_path)));
        return false;
    }
    m_session.showProgress();
    bool more = m_reader.open() && m_reader.read(m_card);
    m_seenCard = more;
    // A file that is no vCard at all, or cannot be read, changes nothing and shows no count.
    if (!more && m_reader.problem() != VCard::Reader::Problem::BadCard) {
        m_session.closeProgress();
        if (m_reader.problem() == VCard::Reader::Problem::Stopped) // cancelled in the first card
            MessageBox::show(MessageBox::Icon::Information, PeopleTransfer::counted(0));
        else
            MessageBox::show(MessageBox::Icon::Error, problemText());
        return false;
    }
    try {
        m_session.begin();
    } catch (...) {
        m_session.closeProgress(); // the reason comes alone
        throw;
    }
    QString stop;
    while (more) {
        VCardPeople::read(m_card, m_text, m_answers, &m_origin);
        m_values.assign(m_text.begin(), m_text.end());
        qint64 id = 0;
        if (m_origin.cutLine > 0)
            stop = QString("Line %1 of the file: the value there goes on for more than 64 KB, far more than any "
                           "field holds. The import stopped there.")
                       .arg(m_origin.cutLine);
        else if (PeopleTransfer::isBlank(m_text[m_name]))
            ++m_nameless;
        else
            stop = m_session.add(m_card.line, m_values, &id, &m_origin.lines);
        if (id && m_origin.unreadable > 0) {
            if (m_unreadable == 0)
                m_firstUnreadable = m_origin.firstUnreadable;
            m_unreadable += m_origin.unreadable;
        }
        if (id && m_origin.broken > 0) {
            if (m_broken == 0)
                m_firstBroken = m_origin.firstBroken;
            m_broken += m_origin.broken;
        }
        if (stop.isEmpty() && id && !m_answers.isEmpty()) {
            try {
                m_session.batch().addAnswers(id, m_answers);
            } catch (const DataError& e) {
                stop = QString("Line %1 of the file could not be added: %2\nThe import stopped there.")
                           .arg(m_card.line)
                           .arg(e.text());
            }
        }
        if (!stop.isEmpty() || m_session.step(m_reader.progress()))
            break;
        more = m_reader.read(m_card);
    }
    if (stop.isEmpty() && m_reader.problem() != VCard::Reader::Problem::None
        && m_reader.problem() != VCard::Reader::Problem::Stopped) {
        stop = m_reader.problem() == VCard::Reader::Problem::CannotRead
                   ? QString("The file %1 could not be read to its end: %2")
                         .arg(QDir::toNativeSeparators(m_path), m_reader.errorString())
                   : problemText();
    }
    QStringList notes;
    if (m_unreadable > 0)
        notes << QString("%1 value(s) could not be read and were left empty, the first at line %2.")
                     .arg(m_unreadable)
                     .arg(m_firstUnreadable);
    if (m_broken > 0)
        notes << PeopleTransfer::brokenNote(m_broken, m_firstBroken);
    if (m_nameless > 0)
        notes << QString("%1 card(s) without a name were skipped.").arg(m_nameless);
    return m_session.finish(stop, notes.join(u' '));
}
} // namespace

bool run(QWidget* parent, TMainDataModule& data)
{
    FileDialog::Request ask;
    ask.objectName = "OpenDialogVCard";
    ask.caption = "Import data from a vCard file";
    ask.filter = "vCard (*.vcf *.vcard)";
    const QString path = FileDialog::ask(parent, ask);
    if (path.isEmpty())
        return false;
    bool look = false;
    runCommand([&] { look = Import(parent, data, path).exec(); });
    return look;
}

} // namespace VCardImport
