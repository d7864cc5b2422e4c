// The follow-up window with 100,000 people on file (and two activities for most of them):
// how long the user waits for the window to open, and for the activities to follow when the
// selection in its people list moves. Each figure includes painting the whole window.
// Run: bench_followup [people]
#include "PeakMemory.h"
#include "app/Program.h"
#include "data/FileCheck.h"
#include "app/TDataEntryForm.h"
#include "data/MainDataModule.h"
#include "data/Schema.h"
#include "followup/TFollowUpForm.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "widgets/DBGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

int fill(const QString& path, int count)
{
    if (!Schema::createDatabase(path))
        return 1;
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fill");
    db.setDatabaseName(path);
    if (!db.open())
        return 1;
    const QStringList first{"Anna", "Bob", "Carla", "David", "Eva", "Frank", "Grace", "Henry", "Irene", "John"};
    const QStringList methods{"Visit", "Telephone", "Fax", "Email", "SMS", "Other"};
    QSqlQuery person(db), activity(db);
    db.transaction();
    person.prepare("INSERT INTO People (CompanyID, Name, Title, Gender, PersonType, CustoemrImportance, Language, "
                   "EducationLevel, Profession, Company, JobTitle, Income) VALUES (1, ?, 'Ms.', ?, ?, 'High', "
                   "'English', 'College', ?, ?, 'Buyer', '50,000 - 59,999')");
    activity.prepare("INSERT INTO PeopleFollowUp (PersonID, FUDate, ContactMethod, ProductsInterestedIn, "
                     "ExpextedOrderValue, ExpectedOrderDate, FUDescription) VALUES (?, ?, ?, 'Service contract', ?, ?, "
                     "'Discussed the offer')");
    for (int i = 0; i < count; ++i) {
        person.addBindValue(first[i % first.size()] + " Person" + QString::number(i));
        person.addBindValue(i % 2 ? "Male" : "Female");
        person.addBindValue(i % 3 ? "Prospect" : "Customer");
        person.addBindValue(QString("Profession %1").arg(i % 200));
        person.addBindValue(QString("Company %1").arg(i % 5000));
        if (!person.exec()) {
            std::fprintf(stderr, "%s\n", qPrintable(person.lastError().text()));
            return 1;
        }
        const int id = person.lastInsertId().toInt();
        for (int k = 0; k < (i % 5 == 0 ? 0 : 2); ++k) {
            activity.addBindValue(id);
            activity.addBindValue(QDate(2024, 1 + (i + k) % 12, 1 + i % 28).toString(Qt::ISODate));
            activity.addBindValue(methods[(i + k) % methods.size()]);
            activity.addBindValue(1000 * (i % 50));
            activity.addBindValue(QDate(2025, 1 + i % 12, 1).toString(Qt::ISODate));
            if (!activity.exec())
                return 1;
        }
    }
    db.commit();
    db.close();
    return 0;
}

double ms(const QElapsedTimer& t) { return t.nsecsElapsed() / 1e6; }

struct Figures {
    std::vector<double> values;
    void add(double v) { values.push_back(v); }
    void print(const char* what) const
    {
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        double sum = 0;
        for (double x : v)
            sum += x;
        std::printf("%-52s mean %7.2f ms  median %7.2f ms  max %7.2f ms  (%zu times)\n", what, sum / v.size(),
                    v[v.size() / 2], v.back(), v.size());
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && QByteArray(argv[1]) == "--fill") {
        QCoreApplication app(argc, argv);
        return fill(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    QTemporaryDir dir;
    const QString path = dir.path() + "/Vantrel.vt";
    QElapsedTimer fillTimer;
    fillTimer.start();
    if (QProcess::execute(QCoreApplication::applicationFilePath(), {"--fill", path, QString::number(count)}) != 0) {
        std::fprintf(stderr, "filling the database failed\n");
        return 1;
    }
    std::printf("filled %d people and their activities in %.0f ms\n", count, ms(fillTimer));

    AppPaths::setExecutableDir(dir.path());
    int messages = 0;
    MessageBox::setHandler([&](const MessageBox::Request& r) {
        ++messages;
        std::fprintf(stderr, "message: %s\n", qPrintable(r.text));
        return MessageBox::Button::Ok;
    });
    Program::setUpApplication();
    FileCheck::setEnabled(false); // the window alone, without the check of the file beside it
    Program program;
    if (!program.start())
        return 1;
    program.mainForm->show();
    QCoreApplication::processEvents();
    const long before = peakKiB();
    Dataset* people = program.dataModule->PeopleCompanyDet;
    people->setRecNo(people->recordCount() / 2); // somewhere in the middle of the list

    Figures open, down, pageDown, click, jump;
    QElapsedTimer t;
    std::function<void(TFollowUpForm*)> work;
    Modal::setRunner([&](QDialog* d) {
        d->show();
        d->repaint(); // what the user sees, painted
        open.add(ms(t));
        if (work)
            work(static_cast<TFollowUpForm*>(d));
        d->close();
        return int(QDialog::Rejected);
    });

    for (int i = 0; i < 10; ++i) {
        t.start();
        program.mainForm->BitBtn7Click();
        people->setRecNo((i * 7919) % people->recordCount());
    }

    work = [&](TFollowUpForm* f) {
        DBGrid* list = f->DBGridFollowUp;
        list->setFocus();
        const int start = people->recNo();
        int activities = 0;
        for (int i = 0; i < 50; ++i) {
            t.start();
            QTest::keyClick(list, Qt::Key_Down);
            f->repaint();
            down.add(ms(t));
            activities += f->FollowUp->recordCount();
        }
        // The figures are only worth something if the list really moved and the activities followed.
        if (people->recNo() != start + 50 || activities != 80)
            std::fprintf(stderr, "the moves went wrong: %d rows, %d activities\n", people->recNo() - start, activities);
        for (int i = 0; i < 20; ++i) {
            t.start();
            QTest::keyClick(list, Qt::Key_PageDown);
            f->repaint();
            pageDown.add(ms(t));
        }
        for (int i = 0; i < 20; ++i) {
            const QRect row = list->visualRect(list->model()->index(list->currentIndex().row() + (i % 2 ? -3 : 5), 1));
            t.start();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
            f->repaint();
            click.add(ms(t));
        }
        for (int i = 0; i < 10; ++i) {
            t.start();
            QTest::keyClick(list, i % 2 ? Qt::Key_Home : Qt::Key_End, Qt::ControlModifier);
            f->repaint();
            jump.add(ms(t));
        }
    };
    t.start();
    program.mainForm->BitBtn7Click();

    open.print("open the window (command to painted window)");
    down.print("Down in the people list, activities follow");
    pageDown.print("Page Down in the people list");
    click.print("click on another person");
    jump.print("Ctrl+Home / Ctrl+End (first and last person)");
    std::printf("peak memory: %.1f MB before the window, %.1f MB after\n", before / 1024.0, peakKiB() / 1024.0);
    std::printf("messages shown: %d\n", messages);
    MessageBox::setHandler({});
    Modal::setRunner({});
    return 0;
}
