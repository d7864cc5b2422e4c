#include "ExportFile.h"

#include "CsvImport.h"
#include "PeopleTransfer.h"
#include "data/Dataset.h"
#include "data/MainDataModule.h"
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace {
// What the system said of a failed write, in words a user acts on; the file's own text when the
// system said nothing.
QString writeFailure(int error, const QString& fallback)
{
    switch (error) {
    case 0: return fallback;
    case ENOSPC: return "The disk is full";
    case EDQUOT: return "The disk quota is used up";
    case EROFS: return "The disk is read-only";
    default: return QString::fromLocal8Bit(std::strerror(error));
    }
}

// Why a file cannot be made in its folder: the folder is missing or not writable, or what the
// system said.
QString openFailure(const QString& path, const QString& fallback)
{
    const QString folder = QFileInfo(path).absolutePath();
    const QString shown = QDir::toNativeSeparators(folder);
    if (!QFileInfo(folder).isDir())
        return QString("The folder %1 does not exist").arg(shown);
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        return QString("The folder %1 cannot be written (%2)").arg(shown, writeFailure(errno, fallback).toLower());
    return fallback;
}
} // namespace

bool ExportFile::open()
{
    if (m_file.open(QIODevice::WriteOnly))
        return true;
    m_failure = openFailure(m_path, m_file.errorString());
    return false;
}

bool ExportFile::write(QByteArray& bytes)
{
    errno = 0;
    if (m_file.write(bytes) != bytes.size()) {
        m_failure = writeFailure(errno, m_file.errorString());
        return false;
    }
    bytes.resize(0); // keeps its memory: a buffer made anew each time costs a page fault per page
    return true;
}

bool ExportFile::commit()
{
    // The last buffered bytes are written before the commit, so that a full disk is named by the
    // write that met it rather than lost in the commit's own clean-up.
    errno = 0;
    if (!m_file.flush()) {
        m_failure = writeFailure(errno, m_file.errorString());
        m_file.cancelWriting();
        return false;
    }
    errno = 0;
    if (!m_file.commit()) {
        m_failure = writeFailure(errno, m_file.errorString());
        return false;
    }
    return true;
}

QString ExportFile::cannotWrite(const QString& nothingDone) const
{
    return QString("The file %1 cannot be written: %2\n%3")
        .arg(QDir::toNativeSeparators(m_path), PeopleTransfer::sentence(m_failure), nothingDone);
}

bool ExportFile::isDatabase(const QString& path, const QString& database)
{
    return CsvImport::isDatabaseFile(path, database);
}

bool ExportFile::peopleOnFile(TMainDataModule& data)
{
    bool empty = false;
    if (!runCommand([&] {
            data.PeopleCompanyDet->settle();
            empty = data.PeopleCompanyDet->recordCount() == 0;
        }))
        return false;
    if (empty)
        MessageBox::show(MessageBox::Icon::Information, "The database is empty.");
    return !empty;
}
