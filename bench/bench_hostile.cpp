// Hostile files through the real import commands: what each costs in time and peak memory, and
// what the program says. Each case runs in a process of its own, so that its peak memory is its
// own; the files are made in a temporary folder and deleted after.
//   line       a vCard whose note is one line of 300 MB (or as many MB as given)
//   properties one card of six million properties, 42 MB (or as many million as given)
//   sparse-vcf a 3 GB sparse vCard file: one card's beginning, then nothing but NUL bytes
//   sparse-csv the same as a CSV file after its header line
// Run: bench_hostile [case [size]]; without a case, every case with its usual size.
#include "PeakMemory.h"
#include "app/Program.h"
#include "app/TDataEntryForm.h"
#include "contacts/CsvImport.h"
#include "data/Schema.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

bool writeFile(const QString& path, const QByteArray& head, qint64 repeat, const QByteArray& piece,
               const QByteArray& tail, qint64 sparseSize = 0)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    bool ok = f.write(head) == head.size();
    // Written in blocks of about 1 MB, so that making the file costs little memory.
    const qint64 perBlock = std::max<qint64>(1, (1 << 20) / std::max<qint64>(1, piece.size()));
    const QByteArray block = piece.repeated(perBlock);
    for (qint64 done = 0; ok && done < repeat; done += perBlock) {
        const QByteArray part = done + perBlock <= repeat ? block : piece.repeated(repeat - done);
        ok = f.write(part) == part.size();
    }
    ok = ok && f.write(tail) == tail.size();
    if (ok && sparseSize > 0)
        ok = f.resize(sparseSize); // the rest is a hole: it reads as NUL bytes and takes no disk
    return ok;
}

int runCase(const QString& name, qint64 size)
{
    QTemporaryDir dir(QDir::tempPath() + "/bench_hostile-XXXXXX");
    const QString db = dir.path() + "/Vantrel.vt";
    QString error;
    if (!Schema::createDatabase(db, &error)) {
        std::fprintf(stderr, "cannot create a database: %s\n", qPrintable(error));
        return 1;
    }
    QString path;
    QString what;
    bool ok = false;
    if (name == "line") {
        const qint64 mb = size > 0 ? size : 300;
        path = dir.path() + "/line.vcf";
        what = QString("a vCard whose note is one line of %1 MB").arg(mb);
        ok = writeFile(path, "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Long Note\r\nNOTE:", mb << 20, "x",
                       "\r\nEND:VCARD\r\n");
    } else if (name == "properties") {
        const qint64 millions = size > 0 ? size : 6;
        path = dir.path() + "/properties.vcf";
        what = QString("one card of %1 million properties").arg(millions);
        ok = writeFile(path, "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Many\r\n", millions * 1000000, "TEL:1\r\n",
                       "END:VCARD\r\n");
    } else if (name == "sparse-vcf" || name == "sparse-csv") {
        const qint64 gb = size > 0 ? size : 3;
        const bool csv = name == "sparse-csv";
        path = dir.path() + (csv ? "/sparse.csv" : "/sparse.vcf");
        what = QString("a %1 GB sparse %2 file").arg(gb).arg(csv ? "CSV" : "vCard");
        const QByteArray head = csv ? CsvImport::headerLine().toUtf8() + "\r\n,Anna,"
                                    : QByteArray("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Anna\r\nNOTE:");
        // Past the first 4 KB, which are looked at apart.
        ok = writeFile(path, head, 8192, "x", {}, gb << 30);
    } else {
        std::fprintf(stderr, "unknown case %s\n", qPrintable(name));
        return 1;
    }
    if (!ok) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }

    QStringList messages;
    MessageBox::setHandler([&](const MessageBox::Request& r) {
        messages << r.text;
        return MessageBox::Button::Ok;
    });
    FileDialog::setHandler([&](const FileDialog::Request&) { return path; });
    Program::setUpApplication();
    AppPaths::setExecutableDir(dir.path());
    Program program;
    if (!program.start())
        return 1;
    program.mainForm->show();
    QCoreApplication::processEvents();
    const long before = peakKiB();
    QElapsedTimer t;
    t.start();
    if (name == "sparse-csv")
        program.mainForm->SpeedButton14Click();
    else
        program.mainForm->VCardfile1Click();
    const double ms = t.nsecsElapsed() / 1e6;
    std::printf("%s: %.0f ms, peak memory %.1f MB (%.1f MB before the import); said: %s\n", qPrintable(what), ms,
                peakKiB() / 1024.0, before / 1024.0, qPrintable(messages.join(" | ").replace('\n', ' ')));
    std::fflush(stdout);
    MessageBox::setHandler({});
    FileDialog::setHandler({});
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc > 1) {
        QApplication app(argc, argv);
        return runCase(QString::fromLocal8Bit(argv[1]), argc > 2 ? QByteArray(argv[2]).toLongLong() : 0);
    }
    QCoreApplication app(argc, argv);
    int failed = 0;
    for (const char* name : {"line", "properties", "sparse-vcf", "sparse-csv"}) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(name)});
        if (!child.waitForFinished(-1) || child.exitCode() != 0)
            ++failed;
    }
    return failed;
}
