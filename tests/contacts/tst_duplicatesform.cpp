#include "support/AppFixture.h"
#include "support/FocusLook.h"

#include "app/Program.h"
#include "contacts/CsvImport.h"
#include "contacts/PeoplePage.h"
#include "contacts/TDuplicatesForm.h"
#include "data/Dataset.h"
#include "data/MainDataModule.h"
#include "widgets/ResultGrid.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

using Button = MessageBox::Button;

namespace {
// The real message box as the user meets it: its buttons left to right, the default, where the
// focus starts; then the keys are pressed where the focus really is.
struct Seen {
    QStringList names, captions;
    QString defaultButton, focus;
    bool focusDrawn = false;
};
// Looks at the first message box that comes up, whenever the command brings it.
void answerRealBox(Seen& seen, QList<Qt::Key> keys)
{
    auto* watch = new QTimer;
    watch->setInterval(10);
    QObject::connect(watch, &QTimer::timeout, [watch, &seen, keys] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!box || box->objectName() != "MessageBox")
            return;
        watch->stop();
        watch->deleteLater();
        QCoreApplication::processEvents();
        QList<QPushButton*> buttons = box->findChildren<QPushButton*>();
        std::sort(buttons.begin(), buttons.end(), [box](QPushButton* a, QPushButton* b) {
            return a->mapTo(box, QPoint()).x() < b->mapTo(box, QPoint()).x();
        });
        for (QPushButton* b : buttons) {
            seen.names << b->objectName();
            seen.captions << b->text();
            if (b->isDefault())
                seen.defaultButton = b->objectName();
        }
        seen.focus = QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
        seen.focusDrawn = focusFrameDrawn(qobject_cast<QPushButton*>(QApplication::focusWidget()));
        for (Qt::Key k : keys)
            QTest::keyClick(QApplication::focusWidget(), k);
        if (box->isVisible())
            box->done(QDialog::Rejected);
    });
    watch->start();
}

QString csv(const QList<QByteArray>& lines)
{
    return CsvImport::headerLine() + "\r\n" + QString::fromUtf8(lines.join("\r\n")) + "\r\n";
}
QByteArray line(const QByteArray& name, const QByteArray& email, const QByteArray& mobile)
{
    QList<QByteArray> f(35);
    f[1] = name;
    f[17] = email;
    f[19] = mobile;
    return f.join(',');
}
} // namespace

class TestDuplicatesForm : public QObject {
    Q_OBJECT

    TDuplicatesForm* form(AppFixture& app) { return app.program->duplicatesForm; }

    // Opens the window from the Tools menu and works it while it is shown.
    void openAndWork(AppFixture& app, const std::function<void(TDuplicatesForm*)>& work)
    {
        bool shown = false;
        app.modal = [&](QDialog* d) {
            if (d != form(app))
                return int(QDialog::Rejected);
            d->show();
            QCoreApplication::processEvents();
            shown = true;
            work(form(app));
            d->hide();
            return int(QDialog::Rejected);
        };
        app.main()->findChild<QAction*>("Findduplicates1")->trigger();
        QVERIFY(shown);
    }

private slots:
    void theWindowShowsGroupsComparesMergesAndUndoes()
    {
        AppFixture app;
        const int anna = app.db.addPerson("Anna Berg", {{"Email1", "anna@berg.se"}, {"HACity", "Lund"}});
        const int other = app.db.addPerson("berg, anna", {{"Email1", "ANNA@berg.se"}, {"Mobile", "+46 70 1112233"},
                                                          {"HACity", "Malmö"}, {"Company", "Acme"}});
        app.db.addPerson("Zoë O'Brien");
        const int zoe = app.db.addPerson("Zoe OBrien");
        app.db.exec("INSERT INTO PeopleFollowUp (PersonID, FUDescription) VALUES (?, 'call')", {other});
        QVERIFY(app.start());
        QCOMPARE(app.main()->findChild<QAction*>("Findduplicates1")->text(), "Find &duplicates...");
        openAndWork(app, [&](TDuplicatesForm* f) {
            QCOMPARE(f->windowTitle(), "Duplicate People");
            QStringList titles;
            for (int c = 0; c < 3; ++c)
                titles << f->GroupsGrid->model()->headerData(c, Qt::Horizontal).toString();
            QCOMPARE(titles, (QStringList{"No.", "People", "Reason"}));
            QCOMPARE(f->groupCount(), 2);
            QCOMPARE(f->GroupsGrid->cellText(0, 0), "1");
            QCOMPARE(f->GroupsGrid->cellText(0, 1), "Anna Berg; berg, anna");
            QCOMPARE(f->GroupsGrid->cellText(0, 2), "same e-mail address, same name");
            QCOMPARE(f->GroupsGrid->cellText(1, 2), "same name");
            // Side by side: the fields that differ, the filled value chosen, of two the later person's.
            QCOMPARE(f->comparedPeople(), (QVector<qint64>{anna, other}));
            QCOMPARE(f->comparedColumns(), (QStringList{"Name", "HACity", "Mobile", "Email1", "Company"}));
            auto chosen = [f](int row) {
                for (int c = 1; c < f->CompareGrid->columnCount(); ++c)
                    if (f->CompareGrid->item(row, c)->checkState() == Qt::Checked)
                        return c;
                return 0;
            };
            QCOMPARE(f->CompareGrid->item(1, 0)->text(), "Home City");
            QCOMPARE(chosen(1), 2);
            QCOMPARE(chosen(2), 2);
            // A click keeps the other value.
            for (int row : {0, 1}) {
                const QRect cell = f->CompareGrid->visualItemRect(f->CompareGrid->item(row, 1));
                QTest::mouseClick(f->CompareGrid->viewport(), Qt::LeftButton, {}, cell.center());
                QCOMPARE(chosen(row), 1);
            }
            QTest::mouseClick(f->MergeButton, Qt::LeftButton);
            QCOMPARE(f->groupCount(), 1);
            QCOMPARE(f->MergesGrid->cellText(0, 2), "Anna Berg, berg, anna");
        });
        QCOMPARE(app.db.count("People"), 3);
        QCOMPARE(app.db.scalar("SELECT Name || '/' || HACity || '/' || Mobile || '/' || Company FROM People WHERE "
                               "PersonID = ?",
                               {anna})
                     .toString(),
                 "Anna Berg/Lund/+46 70 1112233/Acme");
        QCOMPARE(app.db.count("PeopleFollowUp", QString("PersonID = %1").arg(anna)), 1);
        QCOMPARE(app.people()->value("PersonID").toInt(), anna); // the kept person is current
        QCOMPARE(app.people()->recordCount(), 3);
        QCOMPARE(app.main()->People->NameEdit->text(), "Anna Berg");

        // Another time: the merge is undone, and the other group marked as different people.
        openAndWork(app, [&](TDuplicatesForm* f) {
            QCOMPARE(f->MergesGrid->cellText(0, 2), "Anna Berg, berg, anna");
            QTest::mouseClick(f->UndoMergeButton, Qt::LeftButton);
            QCOMPARE(f->groupCount(), 2);
            QVERIFY(!f->UndoMergeButton->isEnabled());
            f->GroupsGrid->setCurrentIndex(f->GroupsGrid->model()->index(1, 1));
            QCOMPARE(f->comparedPeople().last(), qint64(zoe));
            // The mark is asked about first; No leaves the group where it was.
            QTest::mouseClick(f->NotDuplicateButton, Qt::LeftButton);
            QCOMPARE(f->groupCount(), 2);
            QCOMPARE(app.messages.last().defaultButton, Button::No);
            QVERIFY(app.messages.last().text.startsWith("Mark "));
            app.answers << Button::Yes;
            QTest::mouseClick(f->NotDuplicateButton, Qt::LeftButton);
            QCOMPARE(f->groupCount(), 1);
        });
        QCOMPARE(app.db.count("People"), 4);
        QCOMPARE(app.db.count("PeopleFollowUp", QString("PersonID = %1").arg(other)), 1);
        QCOMPARE(app.people()->recordCount(), 4);
        QCOMPARE(app.db.count("NotDuplicates"), 1);

        // An undo refused: the kept person was changed since.
        openAndWork(app, [&](TDuplicatesForm* f) { QTest::mouseClick(f->MergeButton, Qt::LeftButton); });
        app.db.exec("UPDATE People SET Info = 'changed' WHERE PersonID = ?", {anna});
        app.messages.clear();
        openAndWork(app, [&](TDuplicatesForm* f) { QTest::mouseClick(f->UndoMergeButton, Qt::LeftButton); });
        QCOMPARE(app.messages.size(), 1);
        QVERIFY(app.messages[0].text.startsWith("The person kept by this merge has been changed since"));
        QCOMPARE(app.db.count("People"), 3);
    }

    // Of two filled values the one of the person changed last is chosen, by the times saves and
    // imports recorded; without any, by the log of changes and the order people came in.
    void theValueOfThePersonChangedLastIsChosen_data()
    {
        // "saved N" or "imported N": N days ago (imports older than the trash keeps them are dropped).
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second"); // the same for the person added after the first
        QTest::addColumn<int>("chosen");     // 1: the first person's value, 2: the second's
        QTest::newRow("imported after the other was saved") << "saved 20" << "imported 10" << 2;
        QTest::newRow("saved after the other was imported") << "saved 5" << "imported 10" << 1;
        QTest::newRow("both saved") << "saved 5" << "saved 6" << 1;
        QTest::newRow("typed in after an import") << "imported 10" << "" << 2;
        QTest::newRow("imported after the later one was saved") << "imported 10" << "saved 20" << 1;
        QTest::newRow("nothing recorded") << "" << "" << 2;
    }
    void theValueOfThePersonChangedLastIsChosen()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(int, chosen);
        AppFixture app;
        const int ids[2] = {app.db.addPerson("Anna Berg", {{"Email1", "anna@berg.se"}, {"HACity", "Lund"}}),
                            app.db.addPerson("Anna Berg", {{"Email1", "anna@berg.se"}, {"HACity", "Ystad"}})};
        // The latest of all, without a value: the choice is among the people who have one.
        app.db.addPerson("Anna Berg", {{"Email1", "anna@berg.se"}});
        const QString how[2] = {first, second};
        for (int i = 0; i < 2; ++i) {
            const QString at = QDateTime::currentDateTimeUtc()
                                   .addDays(-how[i].section(' ', 1).toInt())
                                   .toString("yyyy-MM-ddTHH:mm:ss.zzzZ");
            if (how[i].startsWith("saved")) {
                app.db.exec("INSERT INTO PeopleHistory (PersonID, ChangedAt, ChangedBy, Field, OldValue, NewValue) "
                            "VALUES (?, ?, 'me', 'HACity', 'x', 'y')",
                            {ids[i], at});
            } else if (how[i].startsWith("imported")) {
                app.db.exec("INSERT INTO Imports (ImportID, FileName, ImportedAt, Added) VALUES (?, 'a.csv', ?, 1)",
                            {ids[i], at});
                app.db.exec("INSERT INTO ImportedPeople (ImportID, PersonID) VALUES (?, ?)", {ids[i], ids[i]});
            }
        }
        QVERIFY(app.start());
        int picked = 0;
        openAndWork(app, [&](TDuplicatesForm* f) {
            QCOMPARE(f->comparedColumns(), QStringList{"HACity"});
            QCOMPARE(f->CompareGrid->columnCount(), 4); // the field and three people
            for (int c = 1; c < f->CompareGrid->columnCount(); ++c)
                if (f->CompareGrid->item(0, c)->checkState() == Qt::Checked)
                    picked = c;
        });
        QCOMPARE(picked, chosen);
    }

    void theWindowsKeysAndFocus()
    {
        AppFixture app;
        app.db.addPerson("Anna Berg", {{"Email1", "a@b.se"}, {"HACity", "Lund"}});
        app.db.addPerson("Anna Berg", {{"Email1", "a@b.se"}, {"HACity", "Ystad"}});
        QVERIFY(app.start());
        bool escaped = false;
        openAndWork(app, [&](TDuplicatesForm* f) {
            QVERIFY(f->isActiveWindow());
            QCOMPARE(QApplication::focusWidget(), f->GroupsGrid);
            auto x = [f](QWidget* w) { return w->mapTo(f, QPoint()).x(); };
            QVERIFY(x(f->MergeButton) < x(f->NotDuplicateButton));
            QVERIFY(x(f->UndoMergeButton) < x(f->CloseButton));
            // Tab visits what can be seen, in reading order, and comes round.
            QStringList visited;
            for (int i = 0; i < 8; ++i) {
                visited << QApplication::focusWidget()->objectName();
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            }
            QCOMPARE(visited, (QStringList{"GroupsGrid", "CompareGrid", "MergeButton", "NotDuplicateButton",
                                           "MergesGrid", "CloseButton", "GroupsGrid", "CompareGrid"}));
            // Space keeps the value under the cursor; no button is the default, so Enter in the
            // grid merges nothing.
            f->CompareGrid->setCurrentCell(0, 1);
            QTest::keyClick(f->CompareGrid, Qt::Key_Space);
            QCOMPARE(f->CompareGrid->item(0, 1)->checkState(), Qt::Checked);
            QCOMPARE(f->CompareGrid->item(0, 2)->checkState(), Qt::Unchecked);
            QTest::keyClick(f->CompareGrid, Qt::Key_Right);
            QTest::keyClick(f->CompareGrid, Qt::Key_Space);
            QCOMPARE(f->CompareGrid->item(0, 2)->checkState(), Qt::Checked);
            for (QPushButton* b : f->findChildren<QPushButton*>())
                QVERIFY(!b->isDefault());
            QTest::keyClick(f->CompareGrid, Qt::Key_Return);
            QCOMPARE(f->groupCount(), 1);
            // Space and Enter press the focused button; Escape closes the window.
            f->NotDuplicateButton->setFocus();
            app.answers << Button::Yes;
            QTest::keyClick(f->NotDuplicateButton, Qt::Key_Space);
            QCOMPARE(f->groupCount(), 0);
            QVERIFY(!f->MergeButton->isEnabled());
            QCOMPARE(f->StatusLabel->text(), "Marked as different people; they are not shown together again.");
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            escaped = !f->isVisible();
        });
        QVERIFY(escaped);
        QCOMPARE(app.db.count("People"), 2);
    }

    void savingANewPersonAsksAboutTheOneOnFile_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("people");
        QTest::addColumn<QString>("current");
        QTest::newRow("open that person") << int(Button::Yes) << 1 << "Hans Müller";
        QTest::newRow("save as a new person") << int(Button::No) << 2 << "Mueller, Hans";
        QTest::newRow("cancel") << int(Button::Cancel) << 1 << "Mueller, Hans";
    }
    void savingANewPersonAsksAboutTheOneOnFile()
    {
        QFETCH(int, answer);
        QFETCH(int, people);
        QFETCH(QString, current);
        AppFixture app;
        app.db.addPerson("Hans Müller", {{"Mobile", "+49 171 1234567"}});
        QVERIFY(app.start());
        app.main()->SpeedButton4Click();
        QTest::keyClicks(app.main()->People->NameEdit, "Mueller, Hans");
        QTest::keyClicks(app.main()->People->findChild<QLineEdit*>("Mobile"), "0171 1234567");
        app.answers = {Button(answer)};
        app.main()->SpeedButton2Click();
        QCOMPARE(app.messages.size(), 1);
        const MessageBox::Request& asked = app.messages[0];
        QCOMPARE(asked.text, "This person may be on file already: Hans Müller, +49 171 1234567 (same mobile number, "
                             "same name).\n\nOpen that person (what you typed here is not saved), save this one as a "
                             "new person, or cancel to go on editing?");
        QCOMPARE(asked.texts, (QStringList{"&Open that person", "&Save as a new person", "Cancel"}));
        QCOMPARE(app.db.count("People"), people);
        QCOMPARE(app.main()->People->NameEdit->text(), current);
        QCOMPARE(app.people()->state() == DatasetState::Insert, answer == int(Button::Cancel));
    }

    void theRealQuestionsButtonsDefaultsAndKeys_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("people");  // on file after the answer
        QTest::addColumn<bool>("opened"); // the duplicate window came
        for (auto [name, key, people] : {std::tuple{"enter", Qt::Key_Return, 1}, std::tuple{"space", Qt::Key_Space, 1},
                                         std::tuple{"escape", Qt::Key_Escape, 1}})
            QTest::newRow(qPrintable(QString("save question, ") + name)) << "save" << int(key) << people << false;
        QTest::newRow("import offer, enter") << "import" << int(Qt::Key_Return) << 3 << true;
        QTest::newRow("import offer, space") << "import" << int(Qt::Key_Space) << 3 << true;
        QTest::newRow("import offer, escape") << "import" << int(Qt::Key_Escape) << 3 << false;
    }
    void theRealQuestionsButtonsDefaultsAndKeys()
    {
        QFETCH(QString, which);
        QFETCH(int, key);
        QFETCH(int, people);
        QFETCH(bool, opened);
        AppFixture app;
        app.db.addPerson("Hans Müller", {{"Mobile", "+49 171 1234567"}});
        QVERIFY(app.start());
        bool windowCame = false;
        app.modal = [&](QDialog* d) {
            windowCame = windowCame || d == form(app);
            return int(QDialog::Rejected);
        };
        MessageBox::setHandler({}); // the real box
        Seen seen;
        answerRealBox(seen, {Qt::Key(key)});
        if (which == "save") {
            app.main()->SpeedButton4Click();
            QTest::keyClicks(app.main()->People->NameEdit, "Hans Mueller");
            QTest::keyClicks(app.main()->People->findChild<QLineEdit*>("Mobile"), "0171 1234567");
            app.main()->SpeedButton2Click();
            QCOMPARE(seen.names, (QStringList{"Yes", "No", "Cancel"}));
            QCOMPARE(seen.captions, (QStringList{"&Open that person", "&Save as a new person", "Cancel"}));
            QCOMPARE(seen.defaultButton, "Cancel");
            QCOMPARE(seen.focus, "Cancel");
        } else {
            QFile f(app.db.dir() + "/people.csv");
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(csv({line("\"Mueller, Hans\"", "", "0171 1234567"), line("Eva Lund", "eva@lund.se", "")}).toUtf8());
            f.close();
            FileDialog::setHandler([&](const FileDialog::Request&) { return f.fileName(); });
            app.main()->SpeedButton14Click();
            FileDialog::setHandler({});
            // The import's undo stands beside the offer.
            QCOMPARE(seen.names, (QStringList{"Yes", "No", "UndoImport"}));
            QCOMPARE(seen.defaultButton, "Yes");
            QCOMPARE(seen.focus, "Yes");
        }
        QVERIFY(seen.focusDrawn);
        QCOMPARE(app.db.count("People"), people);
        QCOMPARE(windowCame, opened);
    }

    void anImportCountsTheLikelyDuplicatesInItsClosingMessage()
    {
        AppFixture app;
        app.db.addPerson("Hans Müller", {{"Mobile", "+49 171 1234567"}});
        QVERIFY(app.start());
        QFile f(app.db.dir() + "/people.csv");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(csv({line("\"Mueller, Hans\"", "", "0171 1234567"), line("Eva Lund", "eva@lund.se", "070 1112233"),
                     line("eva lund", "eva.lund@work.se", "+46 70 1112233")})
                    .toUtf8());
        f.close();
        FileDialog::setHandler([&](const FileDialog::Request&) { return f.fileName(); });
        app.answers = {Button::No};
        app.main()->SpeedButton14Click();
        FileDialog::setHandler({});
        QCOMPARE(app.messages.size(), 1);
        QCOMPARE(app.messages[0].text, "3 record(s) added.\n\n3 of the people added look like people already on file "
                                       "or like one another. Look at them in the duplicate window now?");
        QCOMPARE(app.db.count("People"), 4);
        // Without likely duplicates the count stands alone, with the import's undo beside OK.
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(csv({line("Ola Nordmann", "ola@nordmann.no", "")}).toUtf8());
        f.close();
        FileDialog::setHandler([&](const FileDialog::Request&) { return f.fileName(); });
        app.main()->SpeedButton14Click();
        FileDialog::setHandler({});
        QCOMPARE(app.messages.last().text, "1 record(s) added.");
        QCOMPARE(app.messages.last().buttons, (QList<Button>{Button::Ok, Button::UndoImport}));
    }
};

QTEST_MAIN(TestDuplicatesForm)
#include "tst_duplicatesform.moc"
