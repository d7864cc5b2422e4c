#include "support/AppFixture.h"

#include "app/Program.h"
#include "contacts/AddressLinks.h"
#include "contacts/PeoplePage.h"
#include "data/MainDataModule.h"
#include "followup/TPickDateForm.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTabWidget>
#include <QAbstractButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using Button = MessageBox::Button;

namespace {
const QStringList kPersonalOrder{
    "Edit1", "Button7", "Title", "Name", "Gender", "PersonType", "CustoemrImportance", "Button2", "Breminder",
    "Language", "Income", "EducationLevel", "ProfessionComboBox", "Household", "Spouse", "Button6", "Children",
    "Areminder", "HAStreet", "HACity", "HAState", "HAPostalCode", "HACountry", "HAPostOfficeBox", "PrimaryTel",
    "Mobile", "TelH1", "TelH2", "FaxH", "Email1", "SpeedButton19", "Telex", "Email2", "SpeedButton16", "HomePage",
    "SpeedButton18"};
const QStringList kBusinessOrder{
    "CompanyComboBox", "CompanySize", "Industry", "Department", "JobTitle", "BAStreet", "BACity", "BAState",
    "BAPostalCode", "BACountry", "BAPostOfficeBox", "MailingAddress", "BillingAddress", "AssistantName", "ManagerName",
    "Ethnic", "Hobbies", "Info", "TelMain", "TelCallback", "TelB1", "TelB2", "Ext", "FaxB1", "FaxB2", "WebPage",
    "SpeedButton17", "DBComboBox4"};

// The name a user would give the control that has the focus: a round button is its group.
QString focusName()
{
    QWidget* w = QApplication::focusWidget();
    if (!w)
        return "(none)";
    if (qobject_cast<QRadioButton*>(w))
        return w->parentWidget()->objectName();
    return w->objectName().isEmpty() ? w->parentWidget()->objectName() : w->objectName();
}

void press(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QWidget* w = QApplication::focusWidget();
    QVERIFY(w);
    QTest::keyClick(w, key, mods);
}

// The main window as the user has it: on the screen and active.
bool activate(AppFixture& app)
{
    app.main()->activateWindow();
    QCoreApplication::processEvents();
    return app.main()->isActiveWindow();
}

QStringList walk(int steps, bool forward = true)
{
    QStringList seen;
    for (int i = 0; i < steps; ++i) {
        QTest::keyClick(QApplication::focusWidget(), forward ? Qt::Key_Tab : Qt::Key_Backtab);
        seen << focusName();
    }
    return seen;
}
} // namespace

class TestPageKeys : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Program::setUpApplication(); }

    void tabVisitsWhatIsShownInReadingOrder()
    {
        AppFixture app;
        app.db.addPerson("Anna", {{"Gender", "Female"}});
        QVERIFY(app.start());
        QVERIFY(activate(app));
        QCOMPARE(focusName(), QString("Button7"));
        app.main()->People->Edit1->setFocus();

        // Collapsed: the personal half only, round the end back to the search box.
        QCOMPARE(walk(kPersonalOrder.size()), kPersonalOrder.mid(1) + QStringList{"Edit1"});
        // The chosen button of a group is where the focus enters it.
        app.find<QLineEdit>("Name")->setFocus();
        press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString("GenderFemale"));
        press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString("PersonTypeCustomer"));
        press(Qt::Key_Backtab);
        press(Qt::Key_Backtab);
        QCOMPARE(focusName(), QString("Name"));

        // Expanded: the business half follows the personal one.
        app.main()->Button7Click();
        app.main()->People->Edit1->setFocus();
        const QStringList all = kPersonalOrder + kBusinessOrder;
        QCOMPARE(walk(all.size()), all.mid(1) + QStringList{"Edit1"});
        QStringList back = all;
        std::reverse(back.begin(), back.end());
        QCOMPARE(walk(all.size(), false), back);

        // Collapsing again while the focus is in the business half leaves nothing reachable there.
        app.find<QLineEdit>("Hobbies")->setFocus();
        app.main()->Button7Click();
        QVERIFY(!app.find<QLineEdit>("Hobbies")->isVisibleTo(app.main()));
        app.main()->People->Edit1->setFocus();
        QCOMPARE(walk(kPersonalOrder.size()).count("Hobbies"), 0);

        // No toolbar button takes the focus.
        for (QToolButton* b : app.main()->People->toolbar)
            QCOMPARE(b->focusPolicy(), Qt::NoFocus);
        for (QToolButton* b : app.main()->People->sideToolbar)
            QCOMPARE(b->focusPolicy(), Qt::NoFocus);
    }

    void onlyThePeoplePageCanBeReached()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        QVERIFY(activate(app));
        QTabWidget* pages = app.main()->MainDataEntry;
        auto onPeople = [&] { return pages->currentWidget() == app.main()->People; };
        app.find<QLineEdit>("Mobile")->setFocus();
        for (Qt::KeyboardModifiers mods : {Qt::KeyboardModifiers(Qt::ControlModifier), Qt::ControlModifier | Qt::ShiftModifier}) {
            press(Qt::Key_Tab, mods);
            QVERIFY(onPeople());
            press(Qt::Key_Backtab, mods);
            QVERIFY(onPeople());
        }
        press(Qt::Key_PageDown, Qt::ControlModifier);
        press(Qt::Key_PageUp, Qt::ControlModifier);
        QVERIFY(onPeople());
        QCOMPARE(focusName(), QString("Mobile"));

        QTabBar* tabs = pages->tabBar();
        for (int delta : {-120, 120, -120}) {
            const QPoint at = tabs->tabRect(0).center();
            QWheelEvent wheel(at, tabs->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(tabs, &wheel);
            QVERIFY(onPeople());
        }
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
        QVERIFY(onPeople());
        QCOMPARE(tabs->focusPolicy(), Qt::NoFocus);
        QVERIFY(!pages->isTabEnabled(1));
        // Even a page change asked for in code is turned back.
        pages->setCurrentIndex(1);
        QVERIFY(onPeople());
    }

    void noCaptionIsClippedAndNothingLiesOutside()
    {
        AppFixture app;
        QVERIFY(app.start());
        TDataEntryForm* w = app.main();
        w->Button7Click();
        QStringList clipped;
        const QRect window = w->People->rect();
        for (QWidget* c : w->People->findChildren<QWidget*>()) {
            if (!c->isVisibleTo(w) || c->window() != w)
                continue;
            QString text;
            int need = 0;
            if (auto* l = qobject_cast<QLabel*>(c); l && !l->text().isEmpty()) {
                text = l->text();
                need = l->sizeHint().width();
            } else if (auto* p = qobject_cast<QPushButton*>(c); p && !p->text().isEmpty()) {
                text = p->text();
                need = p->fontMetrics().horizontalAdvance(text) + 8;
            } else if (auto* b = qobject_cast<QAbstractButton*>(c); b && !b->text().isEmpty()) {
                text = b->text();
                need = b->sizeHint().width();
            } else if (auto* g = qobject_cast<QGroupBox*>(c); g && !g->title().isEmpty()) {
                text = g->title();
                need = g->fontMetrics().horizontalAdvance(g->title()) + 12;
            }
            if (!text.isEmpty() && c->width() < need)
                clipped << QString("%1 (%2 < %3)").arg(text).arg(c->width()).arg(need);
            // Inside its parent and inside the page.
            const QRect inPage(c->mapTo(w->People, QPoint()), c->size());
            if (!c->parentWidget()->rect().contains(c->geometry()) || !window.contains(inPage))
                clipped << c->objectName() + " " + text + " lies outside";
            // Nothing overlaps what stands beside it.
            for (QObject* o : c->parentWidget()->children()) {
                auto* other = qobject_cast<QWidget*>(o);
                if (other && other != c && other->isVisibleTo(w) && !other->isWindow() && c < other
                    && c->geometry().intersects(other->geometry()))
                    clipped << QString("%1 (%2) overlaps %3 (%4)")
                                   .arg(c->objectName(), text, other->objectName(), other->metaObject()->className());
            }
        }
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join("; ")));
        // Collapsed, the visible controls all lie inside the narrow window.
        w->Button7Click();
        const int right = w->People->mapFrom(w, QPoint(w->width(), 0)).x();
        for (QWidget* c : w->People->findChildren<QWidget*>())
            if (c->isVisibleTo(w) && c->window() == w)
                QVERIFY2(c->mapTo(w->People, QPoint(c->width(), 0)).x() <= right, qPrintable(c->objectName()));
    }

    void everyListItemFitsItsBox()
    {
        AppFixture app;
        app.db.addPerson("Anna", {{"Profession", "Architect of municipal and industrial buildings"},
                                  {"Company", "Consolidated Industries of the Northern Territories"}});
        app.db.addPerson("Bob", {{"Profession", "Baker"}, {"Company", "Acme"}});
        QVERIFY(app.start());
        TDataEntryForm* w = app.main();
        w->Button7Click();
        QStringList cut;
        int lists = 0;
        for (QComboBox* c : w->People->findChildren<QComboBox*>()) {
            if (!c->isVisibleTo(w))
                continue;
            ++lists;
            // The room for text: the edit line of an editable list, the label area of a fixed one.
            QStyleOptionComboBox option;
            option.initFrom(c);
            option.editable = c->isEditable();
            option.frame = c->hasFrame();
            const QRect field = c->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                           QStyle::SC_ComboBoxEditField, c);
            const int room = c->isEditable() ? c->lineEdit()->width() - 5 : field.width() - 2;
            // Suggestions come from the data and may run to the column's size: the box shows their
            // beginning, and the open list shows them whole.
            const bool suggestions = c == w->People->ProfessionComboBox || c == w->People->CompanyComboBox;
            QVERIFY2(c->count() > 0, qPrintable(c->objectName()));
            for (int i = 0; i < c->count(); ++i) {
                const int need = c->fontMetrics().horizontalAdvance(c->itemText(i));
                if (!suggestions && need > room)
                    cut << QString("%1: \"%2\" needs %3, has %4").arg(c->objectName(), c->itemText(i)).arg(need).arg(room);
            }
            c->showPopup();
            QAbstractItemView* list = c->view();
            QVERIFY(list->isVisible());
            if (list->viewport()->width() < list->sizeHintForColumn(0))
                cut << QString("%1's open list: %2 < %3")
                           .arg(c->objectName())
                           .arg(list->viewport()->width())
                           .arg(list->sizeHintForColumn(0));
            c->hidePopup();
        }
        QCOMPARE(lists, 9);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join("; ")));
    }

    void editableListsWithEmptyTextHaveNoCurrentItem()
    {
        AppFixture app;
        app.db.addPerson("Anna", {{"Title", "Mrs."}, {"Profession", "Baker"}, {"Company", "Acme"}});
        app.db.addPerson("Bob", {{"Profession", "Nurse"}, {"Company", "Zenith"}});
        QVERIFY(app.start());
        QVERIFY(activate(app));
        QCOMPARE(app.find<QComboBox>("Title")->currentIndex(), 3);
        app.main()->SpeedButton9Click(); // Bob: no title
        for (const QString& name : {"Title", "ProfessionComboBox", "CompanyComboBox"}) {
            QComboBox* box = app.find<QComboBox>(name);
            if (name != "Title") {
                box->lineEdit()->selectAll();
                QTest::keyClick(box->lineEdit(), Qt::Key_Delete);
            }
            QCOMPARE(box->currentText(), QString());
            QCOMPARE(box->currentIndex(), -1);
            box->setFocus();
            press(Qt::Key_Down);
            QCOMPARE(box->currentText(), box->itemText(0));
        }
        QCOMPARE(app.people()->value("Title").toString(), QString("Dr."));
        QCOMPARE(app.people()->value("Profession").toString(), QString("Baker"));
        QCOMPARE(app.people()->value("Company").toString(), QString("Acme"));
        // Typed text that names an item makes it current; Down goes on from there.
        QComboBox* title = app.find<QComboBox>("Title");
        title->lineEdit()->selectAll();
        QTest::keyClicks(title->lineEdit(), "Mr.");
        QCOMPARE(title->currentIndex(), 2);
        QCOMPARE(title->lineEdit()->cursorPosition(), 3);
        title->setFocus();
        press(Qt::Key_Down);
        QCOMPARE(app.people()->value("Title").toString(), QString("Mrs."));
    }

    void openListsStartWithNothingHighlighted_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("first");
        QTest::addColumn<bool>("mouse");
        QTest::newRow("Title, keys") << "Title" << "Dr." << false;
        QTest::newRow("Title, arrow") << "Title" << "Dr." << true;
        QTest::newRow("Profession, keys") << "ProfessionComboBox" << "Architect" << false;
        QTest::newRow("Profession, arrow") << "ProfessionComboBox" << "Architect" << true;
        QTest::newRow("Company, keys") << "CompanyComboBox" << "Acme" << false;
        QTest::newRow("Income, keys") << "Income" << "< 15,000" << false;
        QTest::newRow("Income, arrow") << "Income" << "< 15,000" << true;
        QTest::newRow("Level of education, keys") << "EducationLevel" << "PhD" << false;
        QTest::newRow("Household, arrow") << "Household" << "Single" << true;
        QTest::newRow("Company size, keys") << "CompanySize" << "Small" << false;
        QTest::newRow("Industry, arrow") << "Industry" << "Advertising and Marketing" << true;
        QTest::newRow("Prospecting method, keys") << "DBComboBox4" << "Cold canvass" << false;
    }
    void openListsStartWithNothingHighlighted()
    {
        QFETCH(QString, box);
        QFETCH(QString, first);
        QFETCH(bool, mouse);
        AppFixture app;
        app.db.addPerson("Anna", {{"Profession", "Baker"}, {"Company", "Zenith"}});
        app.db.addPerson("Bob", {{"Profession", "Architect"}, {"Company", "Acme"}});
        app.db.addPerson("Carl");
        QVERIFY(app.start());
        app.main()->Button7Click();
        QVERIFY(activate(app));
        app.main()->SpeedButton10Click(); // Carl: every list empty
        QComboBox* combo = app.find<QComboBox>(box);
        QCOMPARE(combo->currentText(), QString());
        combo->setFocus();
        if (mouse)
            QTest::mouseClick(combo, Qt::LeftButton, {}, QPoint(combo->width() - 6, combo->height() / 2));
        else
            press(Qt::Key_Down, Qt::AltModifier);
        QAbstractItemView* list = combo->view();
        QVERIFY(list->isVisible());
        QCOMPARE(QApplication::focusWidget(), list);
        QVERIFY2(!list->currentIndex().isValid(), qPrintable(list->currentIndex().data().toString()));
        QVERIFY(list->selectionModel()->selectedIndexes().isEmpty());
        press(Qt::Key_Down);
        QCOMPARE(list->currentIndex().data().toString(), first);
        press(Qt::Key_Return);
        QVERIFY(!list->isVisible());
        QCOMPARE(combo->currentText(), first);
        const QString column = box == "ProfessionComboBox" ? "Profession"
                               : box == "CompanyComboBox" ? "Company"
                               : box == "DBComboBox4"     ? "ProspectingMethod"
                                                          : box;
        QCOMPARE(app.people()->value(column).toString(), first);

        // Opened again on a value, the list starts on that value.
        press(Qt::Key_Down, Qt::AltModifier);
        QVERIFY(list->isVisible());
        QCOMPARE(list->currentIndex().data().toString(), first);
        press(Qt::Key_Down);
        QCOMPARE(list->currentIndex().row(), 1);
        press(Qt::Key_Escape);
        QVERIFY(!list->isVisible());
        QCOMPARE(app.people()->value(column).toString(), first);
    }

    void longValuesShowTheirBeginning()
    {
        const QString company = "Consolidated Industries of the Northern Territories";
        const QString profession = "Architect of municipal and industrial buildings";
        AppFixture app;
        app.db.addPerson("Anna", {{"Company", company}, {"Profession", profession}, {"Hobbies", company}});
        app.db.addPerson("Bob", {{"Company", "Acme"}});
        QVERIFY(app.start());
        app.main()->Button7Click();
        QVERIFY(activate(app));
        auto edits = [&] {
            return QList<QLineEdit*>{app.find<QComboBox>("CompanyComboBox")->lineEdit(),
                                     app.find<QComboBox>("ProfessionComboBox")->lineEdit(),
                                     app.find<QLineEdit>("Hobbies")};
        };
        // What the user sees of a field: the text from where its view begins.
        auto shownFromStart = [](QLineEdit* e) {
            e->grab(); // lays out the text as on the screen
            return e->cursorPosition() == 0 && e->inputMethodQuery(Qt::ImCursorRectangle).toRect().left() < 8;
        };
        // Loaded at start-up (the value is also the first suggestion), and after moving.
        for (QLineEdit* e : edits())
            QVERIFY2(shownFromStart(e), qPrintable(e->text()));
        app.main()->SpeedButton9Click();
        app.main()->SpeedButton8Click();
        for (QLineEdit* e : edits())
            QVERIFY2(shownFromStart(e), qPrintable(e->text()));
        // Typed at the end, then left with Tab: the beginning shows again.
        for (QLineEdit* e : edits()) {
            e->setFocus();
            press(Qt::Key_End);
            QTest::keyClicks(QApplication::focusWidget(), " and more");
            e->grab();
            QVERIFY(e->inputMethodQuery(Qt::ImCursorRectangle).toRect().left() > e->width() / 2); // the typing end is in view
            press(Qt::Key_Tab);
            QVERIFY(!e->hasFocus());
            QVERIFY2(shownFromStart(e), qPrintable(e->text()));
            QVERIFY(e->text().endsWith(" and more"));
        }
        QCOMPARE(app.people()->value("Company").toString(), company + " and more");
    }

    void menusHaveAltKeysAndAltNeverTypes()
    {
        // Every title and item: its caption as the menu shows it, with a letter of its own.
        const QList<QPair<QString, QStringList>> menus{
            {"Record", {"New", "Delete", "Delete All", "Deleted people...", "History...", "Restore from backup...", "Save", "Discard changes", "Refresh",
                        "Show business and other info", "Personality identification...", "First", "Previous", "Next",
                        "Last", "Exit"}},
            {"Tools", {"Filters...", "Follow-up...", "Pipeline...", "Find duplicates...", "Team database..."}},
            {"Import", {"CSV file...", "vCard file..."}},
            {"Export", {"CSV file...", "vCard file...", "Calendar file..."}},
            {"Help", {"Vantrel BC Help...", "About..."}}};
        AppFixture app;
        app.db.addPerson("Anna", {{"Company", "Acme"}, {"Income", "< 15,000"}});
        QVERIFY(app.start());
        QVERIFY(activate(app));
        auto letter = [](const QString& caption) {
            const int at = caption.indexOf('&');
            return at >= 0 && at + 1 < caption.size() ? caption.at(at + 1).toLower() : QChar();
        };
        QList<QAction*> titles = app.main()->menuBar()->actions();
        QCOMPARE(titles.size(), menus.size());
        QSet<QChar> titleLetters;
        for (int m = 0; m < menus.size(); ++m) {
            QCOMPARE(titles[m]->text().remove('&'), menus[m].first);
            QVERIFY2(letter(titles[m]->text()).isLetter(), qPrintable(titles[m]->text()));
            titleLetters << letter(titles[m]->text());
            QStringList captions;
            QSet<QChar> letters;
            for (QAction* a : titles[m]->menu()->actions()) {
                if (a->isSeparator())
                    continue;
                captions << QString(a->text()).remove('&');
                QVERIFY2(letter(a->text()).isLetter(), qPrintable(a->text()));
                letters << letter(a->text());
            }
            QCOMPARE(captions, menus[m].second);
            QCOMPARE(letters.size(), captions.size());
        }
        QCOMPARE(titleLetters.size(), menus.size());

        // Alt+R in the Company box opens the Record menu and types nothing.
        app.main()->Button7Click();
        QComboBox* company = app.find<QComboBox>("CompanyComboBox");
        company->setFocus();
        press(Qt::Key_R, Qt::AltModifier);
        auto* record = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(record);
        QCOMPARE(record->title(), QString("&Record"));
        QCOMPARE(company->currentText(), QString("Acme"));
        QCOMPARE(app.people()->state(), DatasetState::Browse);
        // Its letter picks the item: N, New.
        QTest::keyClick(record, Qt::Key_N); // New
        QVERIFY(!QApplication::activePopupWidget());
        QCOMPARE(app.people()->state(), DatasetState::Insert);
        app.main()->SpeedButton5Click(); // discard the new person
        QCOMPARE(app.people()->value("Name").toString(), QString("Anna"));

        // An Alt letter that no menu has: in a text field, an editable list, a fixed list.
        for (const QString& name : {"Name", "CompanyComboBox", "Income", "Hobbies"}) {
            QWidget* field = app.main()->findChild<QWidget*>(name);
            field->setFocus();
            QCOMPARE(QApplication::focusWidget(), field);
            for (Qt::Key k : {Qt::Key_Q, Qt::Key_Z, Qt::Key_1, Qt::Key_L})
                press(k, Qt::AltModifier);
            QVERIFY(!QApplication::activePopupWidget());
        }
        QCOMPARE(app.find<QLineEdit>("Name")->text(), QString("Anna"));
        QCOMPARE(company->currentText(), QString("Acme"));
        QCOMPARE(app.find<QComboBox>("Income")->currentText(), QString("< 15,000"));
        QCOMPARE(app.find<QLineEdit>("Hobbies")->text(), QString());
        QCOMPARE(app.people()->state(), DatasetState::Browse);
        // Plain letters still type, and AltGr (Ctrl+Alt) characters too.
        app.find<QLineEdit>("Hobbies")->setFocus();
        press(Qt::Key_A);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_At, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(app.find<QLineEdit>("Hobbies")->text(), QString("a@"));
    }

    void optionGroupFromAKnownValueToAnUnknownOne()
    {
        AppFixture app;
        app.db.addPerson("Anna", {{"Gender", "Male"}, {"MailingAddress", "Business"}});
        app.db.addPerson("Bob", {{"Gender", "Other"}, {"MailingAddress", "PO box"}});
        QVERIFY(app.start());
        QVERIFY(app.find<QRadioButton>("GenderMale")->isChecked());
        app.main()->SpeedButton9Click();
        for (const QString& group : {"Gender", "MailingAddress"})
            for (QRadioButton* r : app.find<QGroupBox>(group)->findChildren<QRadioButton*>())
                QVERIFY2(!r->isChecked(), qPrintable(r->objectName()));
        app.main()->SpeedButton8Click();
        QVERIFY(app.find<QRadioButton>("GenderMale")->isChecked());
        QVERIFY(app.find<QRadioButton>("MailingAddressBusiness")->isChecked());
        QCOMPARE(app.db.scalar("SELECT Gender FROM People WHERE Name = 'Bob'").toString(), QString("Other"));
    }

    void deleteAllCountsOnlySavedPeople()
    {
        AppFixture app;
        for (int i = 0; i < 4; ++i)
            app.db.addPerson(QString("P%1").arg(i));
        QVERIFY(app.start());
        app.main()->SpeedButton4Click(); // New, nothing typed
        app.answers = {Button::YesToAll};
        app.main()->SpeedButton1Click();
        QCOMPARE(app.messages.size(), 1); // the question only: no error at the end
        QCOMPARE(app.db.count("People"), 0);
        QCOMPARE(app.people()->recordCount(), 0);
        QCOMPARE(app.people()->state(), DatasetState::Browse);
    }

    void deleteAllWithPendingChanges()
    {
        AppFixture app;
        for (int i = 0; i < 3; ++i)
            app.db.addPerson(QString("P%1").arg(i));
        QVERIFY(app.start());
        // Answered No: an untouched new person is gone, a typed edit stays pending.
        app.main()->SpeedButton4Click();
        app.answers = {Button::No};
        app.main()->SpeedButton1Click();
        QCOMPARE(app.people()->state(), DatasetState::Browse);
        QCOMPARE(app.people()->recordCount(), 3);
        QLineEdit* name = app.find<QLineEdit>("Name");
        name->selectAll();
        QTest::keyClick(name, Qt::Key_Delete); // a blank name is pending
        app.answers = {Button::No};
        app.main()->SpeedButton1Click();
        QCOMPARE(app.people()->state(), DatasetState::Edit);
        QCOMPARE(app.db.count("People"), 3);

        // Yes to All: the blank name does not stop it, and nothing is asked about it.
        app.messages.clear();
        app.answers = {Button::YesToAll};
        app.main()->SpeedButton1Click();
        QCOMPARE(app.messageTexts(), QStringList{"This will delete ALL records in your database. Proceed?"});
        QCOMPARE(app.db.count("People"), 0);
        QCOMPARE(app.people()->state(), DatasetState::Browse);

        // A new person with typed values is among what goes, and never reaches the table.
        app.db.addPerson("Q");
        app.main()->SpeedButton6Click();
        app.main()->SpeedButton4Click();
        QTest::keyClicks(app.find<QLineEdit>("Name"), "Carl");
        app.answers = {Button::YesToAll};
        app.main()->SpeedButton1Click();
        QCOMPARE(app.db.count("People"), 0);
        QCOMPARE(app.messages.size(), 2);
    }

    void datePickerAnswersTheKeyboard_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("written");
        QTest::newRow("enter") << "enter" << true;
        QTest::newRow("keypad enter") << "keypad" << true;
        QTest::newRow("escape") << "escape" << false;
        QTest::newRow("close box") << "close" << false;
    }
    void datePickerAnswersTheKeyboard()
    {
        QFETCH(QString, answer);
        QFETCH(bool, written);
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        TPickDateForm* picker = app.program->pickDateForm;
        picker->MonthCalendar1->setSelectedDate(QDate(2001, 3, 3));
        bool focusInCalendar = false;
        bool leftOpen = false;
        app.modal = [&](QDialog* d) {
            QTimer::singleShot(0, [&] {
                QCoreApplication::processEvents();
                QWidget* focus = QApplication::focusWidget();
                focusInCalendar = focus && (focus == picker->MonthCalendar1 || picker->MonthCalendar1->isAncestorOf(focus));
                if (!focus)
                    return;
                QTest::keyClick(focus, Qt::Key_Right); // the next day
                if (answer == "enter")
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                else if (answer == "keypad")
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter, Qt::KeypadModifier);
                else if (answer == "escape")
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
                else
                    picker->close();
                if (picker->isVisible()) {
                    leftOpen = true;
                    picker->reject();
                }
            });
            return d->exec();
        };
        app.main()->Button2Click();
        QVERIFY(focusInCalendar);
        QVERIFY(!leftOpen);
        QCOMPARE(app.people()->value("Birthday").toDate(), written ? QDate(2001, 3, 4) : QDate());
        QCOMPARE(app.people()->state(), written ? DatasetState::Edit : DatasetState::Browse);
        QCOMPARE(picker->date(), QDate(2001, 3, 4)); // carried over either way
    }

    // A date's "..." button opens the calendar with the keys a follow-up date cell takes as well
    // as Space, and none of them touches the reminder box beside it.
    void dateButtonsOpenTheCalendarFromTheKeyboard_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("opens");
        for (const char* b : {"Button2", "Button6"}) {
            QTest::addRow("%s, Space", b) << b << int(Qt::Key_Space) << int(Qt::NoModifier) << true;
            QTest::addRow("%s, F4", b) << b << int(Qt::Key_F4) << int(Qt::NoModifier) << true;
            QTest::addRow("%s, Alt+Down", b) << b << int(Qt::Key_Down) << int(Qt::AltModifier) << true;
            QTest::addRow("%s, Ctrl+Enter", b) << b << int(Qt::Key_Return) << int(Qt::ControlModifier) << true;
            QTest::addRow("%s, Enter", b) << b << int(Qt::Key_Return) << int(Qt::NoModifier) << false;
        }
    }
    void dateButtonsOpenTheCalendarFromTheKeyboard()
    {
        QFETCH(QString, button);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, opens);
        AppFixture app;
        app.db.addPerson("Anna", {{"Breminder", 1}, {"Areminder", 1}});
        QVERIFY(app.start());
        app.main()->Button7Click(); // the business half too, where the anniversary stands
        int shown = 0;
        app.modal = [&](QDialog* d) {
            shown += qobject_cast<TPickDateForm*>(d) ? 1 : 0;
            return int(QDialog::Rejected);
        };
        auto* b = app.find<QAbstractButton>(button);
        b->setFocus(Qt::TabFocusReason);
        QTest::keyClick(b, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(shown, opens ? 1 : 0);
        QVERIFY(app.find<QCheckBox>("Breminder")->isChecked());
        QVERIFY(app.find<QCheckBox>("Areminder")->isChecked());
        QCOMPARE(app.people()->state(), DatasetState::Browse);
    }

    void fileAddressesWithAHostAreNotOpened_data()
    {
        QTest::addColumn<QString>("field");
        QTest::newRow("file with host") << "file://server/share/run.exe";
        QTest::newRow("file with localhost") << "file://localhost/etc/passwd";
        QTest::newRow("upper-case file") << "FILE://host/c$/x";
        QTest::newRow("unc path") << "\\\\server\\share";
        QTest::newRow("smb") << "smb://server/share";
    }
    void fileAddressesWithAHostAreNotOpened()
    {
        QFETCH(QString, field);
        QCOMPARE(AddressLinks::webTarget(field), QString());
        AppFixture app;
        app.db.addPerson("Anna", {{"WebPage", field}, {"HomePage", field}});
        QVERIFY(app.start());
        app.main()->SpeedButton17Click();
        app.main()->SpeedButton18Click();
        QVERIFY(app.opened.isEmpty());
    }

    void picturesShowDistinctCommands()
    {
        AppFixture app;
        QVERIFY(app.start());
        QList<QImage> seen;
        QStringList names;
        auto check = [&](QToolButton* b) {
            const QImage image = b->icon().pixmap(b->iconSize()).toImage();
            QVERIFY2(!image.isNull(), qPrintable(b->objectName()));
            seen << image;
            names << b->toolTip();
        };
        for (QToolButton* b : app.main()->People->toolbar)
            check(b);
        // Each command of the top toolbar has a picture of its own.
        for (int i = 0; i < seen.size(); ++i)
            for (int j = i + 1; j < seen.size(); ++j)
                if (names[i] != names[j])
                    QVERIFY2(seen[i] != seen[j], qPrintable(names[i] + " looks like " + names[j]));
        seen.clear();
        names.clear();
        for (QToolButton* b : app.main()->People->sideToolbar)
            check(b);
        for (int i = 0; i < seen.size(); ++i)
            for (int j = i + 1; j < seen.size(); ++j)
                QVERIFY2(seen[i] != seen[j], qPrintable(names[i] + " looks like " + names[j]));
        QVERIFY(QFile::exists(":/icons/delete-all-16.png"));
        QVERIFY(!app.find<QToolButton>("SpeedButton19")->icon().isNull());
    }
};

QTEST_MAIN(TestPageKeys)
#include "tst_pagekeys.moc"
