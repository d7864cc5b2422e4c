#include "support/AppFixture.h"

#include "app/Program.h"
#include "contacts/PeoplePage.h"
#include "contacts/Vocabulary.h"
#include "data/MainDataModule.h"
#include "data/PeopleFilter.h"
#include "filters/TFilters.h"
#include "platform/WorkProgress.h"
#include "widgets/ResultGrid.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>

namespace {
// The grid read as a tool reads it: through its model, titles from the header.
QString cell(const ResultGrid* grid, int row, int column)
{
    return grid->model()->index(row, column).data().toString();
}

int rows(const ResultGrid* grid) { return grid->model()->rowCount(); }

QStringList titles(const ResultGrid* grid)
{
    QStringList t;
    for (int c = 0; c < grid->model()->columnCount(); ++c)
        t << grid->model()->headerData(c, Qt::Horizontal).toString();
    return t;
}

QStringList rowOf(const ResultGrid* grid, int row)
{
    QStringList cells;
    for (int c = 0; c < grid->model()->columnCount(); ++c)
        cells << cell(grid, row, c);
    return cells;
}

QStringList column(const ResultGrid* grid, int c)
{
    QStringList cells;
    for (int r = 0; r < rows(grid); ++r)
        cells << cell(grid, r, c);
    return cells;
}

// Where the user meets a cell: the widget on top at its centre (column 0 is shown by the view
// over the scrolled cells) and the point in that widget.
struct Spot {
    QWidget* widget;
    QPoint pos;
};
Spot spotOf(const ResultGrid* grid, int row, int col)
{
    const QPoint inCells = grid->visualRect(grid->model()->index(row, col)).center();
    const QPoint inGrid = grid->viewport()->mapTo(grid, inCells);
    QWidget* top = grid->childAt(inGrid);
    if (!top)
        qFatal("nothing at cell %d, %d", row, col);
    return {top, top->mapFrom(grid, inGrid)};
}

// The title cell of a column, on the header.
Spot titleOf(const ResultGrid* grid, int col)
{
    QHeaderView* header = grid->horizontalHeader();
    const QPoint inHeader(header->sectionViewportPosition(col) + header->sectionSize(col) / 2, header->height() / 2);
    const QPoint inGrid = header->viewport()->mapTo(grid, inHeader);
    QWidget* top = grid->childAt(inGrid);
    return {top, top->mapFrom(grid, inGrid)};
}
} // namespace

class TestFilters : public QObject {
    Q_OBJECT

    // A window shown by the offscreen platform becomes active once its activation is delivered,
    // as a desktop's window manager makes it.
    static void activate(QWidget* window)
    {
        window->activateWindow();
        QCoreApplication::processEvents();
    }
    static void hover(QWidget* w, QPoint at)
    {
        QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w, &move);
    }
    // The widget that receives the keys: the focus widget, or the window when none has it.
    static QWidget* focused(QWidget* window)
    {
        QWidget* w = QApplication::focusWidget();
        return w ? w : window;
    }

    // Opens the window through the Filters command and leaves it on the screen.
    static TFilters* open(AppFixture& app)
    {
        app.modal = [](QDialog* d) {
            d->show();
            return int(QDialog::Rejected);
        };
        app.main()->BitBtn8Click();
        TFilters* f = app.program->filters;
        if (!f->isVisible())
            qFatal("the filter window did not open");
        return f;
    }
    static QCheckBox* box(TFilters* f, const QString& name) { return f->findChild<QCheckBox*>(name); }
    static QLineEdit* edit(TFilters* f, const QString& name) { return f->findChild<QLineEdit*>(name); }
    static QComboBox* list(TFilters* f, const QString& name) { return f->findChild<QComboBox*>(name); }
    static void type(TFilters* f, const QString& boxName, const QString& editName, const QString& text)
    {
        box(f, boxName)->click();
        QTest::keyClicks(edit(f, editName), text);
    }
    static void choose(TFilters* f, const QString& boxName, const QString& listName, const QString& item)
    {
        box(f, boxName)->click();
        QComboBox* l = list(f, listName);
        l->setCurrentIndex(l->findText(item));
    }
    static QStringList names(const ResultGrid* grid) { return column(grid, 1); }
    static void click(Spot s, Qt::MouseButton button = Qt::LeftButton) { QTest::mouseClick(s.widget, button, {}, s.pos); }
    // The pointer's shape once it rests on the spot.
    static Qt::CursorShape pointerAt(Spot s)
    {
        hover(s.widget, s.pos);
        return s.widget->cursor().shape();
    }
    // The hint that the spot shows, or nothing.
    static QString hintAt(Spot s)
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->inherits("QTipLabel"))
                w->hide(); // no hint of an earlier spot still on the screen
        QHelpEvent help(QEvent::ToolTip, s.pos, s.widget->mapToGlobal(s.pos));
        QApplication::sendEvent(s.widget, &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    }
    // The text of the cell on the spot, as the view there shows it.
    static QString textAt(Spot s)
    {
        auto* view = qobject_cast<QAbstractItemView*>(s.widget->parentWidget());
        return view ? view->indexAt(s.pos).data().toString() : QString();
    }

private slots:
    void criteriaScreen()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        TFilters* f = open(app);
        QCOMPARE(f->windowTitle(), QString("Filters"));
        QCOMPARE(f->Label1->text(), QString("Check the parameters you want to search with then enter the convenient value(s)."));
        QVERIFY(f->Label1->font().bold());
        QCOMPARE(f->Label2->text(), QString("Filtering results"));
        QVERIFY(f->Label2->font().bold());
        QCOMPARE(f->BitBtn1->text(), QString("Filter"));
        QVERIFY(f->BitBtn1->isDefault());

        // Captions and hints in screen order; only the result grid is reached with Tab.
        QStringList captions, hints;
        for (const TFilters::Criterion& c : f->criteria) {
            captions << c.box->text();
            hints << c.box->toolTip();
            QVERIFY(!c.box->isChecked());
            QVERIFY(!c.valueControl()->isVisible());
            QVERIFY(!(c.box->focusPolicy() & Qt::TabFocus));
            QVERIFY(!(c.valueControl()->focusPolicy() & Qt::TabFocus));
        }
        const QStringList address{"Street", "City", "State", "Postal/ZIP", "Country", "P.O. box"};
        QCOMPARE(captions, QStringList({"Gender", "Type", "Importance", "Ethnic", "Hobbies", "Household", "Prospecting",
                                        "Education", "Income", "Industry", "Company", "Size", "Department",
                                        "Job title", "Profession"})
                               + address + address);
        QCOMPARE(hints.mid(0, 15), QStringList({"Gender", "Type", "Importance", "Ethnic interest", "Hobbies",
                                                "Household lifecycle position", "Prospecting method",
                                                "Level of education", "Income range", "Industry", "Company",
                                                "Company size", "Department", "Job title", "Profession"}));
        QCOMPARE(hints[17], QString("Home address: State (Province)"));
        QCOMPARE(hints[24], QString("Business address: Postal code (ZIP code)"));
        QCOMPARE(hints[26], QString("Business address: P.O. box"));
        QVERIFY(!(f->BitBtn1->focusPolicy() & Qt::TabFocus));
        QVERIFY(f->StringGrid1->focusPolicy() & Qt::TabFocus);
        // Fixed lists with no free text; the Industry list has its own order here.
        QComboBox* industry = list(f, "ComboBoxIndustry");
        QVERIFY(!industry->isEditable());
        QCOMPARE(industry->count(), 24);
        const int m = industry->findText("Management");
        QCOMPARE(industry->itemText(m + 1), QString("Entertainment"));
        QCOMPARE(industry->itemText(m + 2), QString("Pharmaceuticals"));
        QCOMPARE(industry->itemText(8), QString("Financial"));
        QCOMPARE(list(f, "ComboBoxIncome")->count(), 14);
        QCOMPARE(list(f, "ComboBoxHousehold")->itemText(2), QString("Married with dependent children"));
        QCOMPARE(list(f, "ComboBoxGender")->currentText(), QString());

        // The postal boxes write capitals.
        type(f, "CheckBoxHPostalCode", "EditHPostalCode", "sw1a");
        type(f, "CheckBoxBPostalCode", "EditBPostalCode", "sw1a 1aa");
        QCOMPARE(edit(f, "EditHPostalCode")->text(), QString("SW1A"));
        QCOMPARE(edit(f, "EditBPostalCode")->text(), QString("SW1A 1AA"));
        // Letter by letter: ß has no single capital and stays, so the text keeps its length and
        // the typing goes on where it was.
        QTest::keyClicks(edit(f, "EditHPostalCode"), " straße");
        QTest::keyClick(edit(f, "EditHPostalCode"), Qt::Key_Left);
        QTest::keyClicks(edit(f, "EditHPostalCode"), "n");
        QCOMPARE(edit(f, "EditHPostalCode")->text(), QString("SW1A STRAßNE"));
        QCOMPARE(edit(f, "EditHPostalCode")->cursorPosition(), 11);
        QCOMPARE(edit(f, "EditHCity")->validator(), nullptr);

        // Going off discards the value; going on again shows an empty box.
        type(f, "CheckBoxCompany", "EditCompany", "Acme");
        QVERIFY(edit(f, "EditCompany")->isVisible() && edit(f, "EditCompany")->isEnabled());
        box(f, "CheckBoxCompany")->click();
        QVERIFY(!edit(f, "EditCompany")->isVisible());
        QVERIFY(!edit(f, "EditCompany")->isEnabled());
        box(f, "CheckBoxCompany")->click();
        QCOMPARE(edit(f, "EditCompany")->text(), QString());
        choose(f, "CheckBoxGender", "ComboBoxGender", "Female");
        box(f, "CheckBoxGender")->click();
        box(f, "CheckBoxGender")->click();
        QCOMPARE(list(f, "ComboBoxGender")->currentIndex(), -1);

        // Every showing starts afresh, whatever the last one left.
        QTest::keyClicks(edit(f, "EditCompany"), "x");
        f->BitBtn1Click();
        f->StringGrid1->setColumnWidth(1, 300);
        f->hide();
        f = open(app);
        for (const TFilters::Criterion& c : f->criteria) {
            QVERIFY(!c.box->isChecked());
            QVERIFY(!c.valueControl()->isVisible());
            QVERIFY(c.value().isEmpty());
        }
        QVERIFY(!f->StringGrid1->isVisible());
        QCOMPARE(rows(f->StringGrid1), 1);
        QCOMPARE(f->StringGrid1->columnWidth(1), 125);
    }

    void comparisonIsOnTheWholeValueFoldingOnlyAToZ()
    {
        AppFixture app;
        app.db.addPerson("Upper", {{"Company", "ACME"}, {"Hobbies", "ÉCOLE"}, {"HAState", "NY"}});
        app.db.addPerson("Mixed", {{"Company", "Acme"}, {"Hobbies", "école"}, {"Income", "50,000 - 59,999"}});
        app.db.addPerson("Longer", {{"Company", "Acme Ltd"}, {"Hobbies", "Ecole"}});
        app.db.addPerson("Leading blank", {{"Company", " acme"}, {"Hobbies", "École"}});
        app.db.addPerson("Null");
        app.db.addPerson("Empty", {{"Company", ""}, {"HAState", ""}});
        QVERIFY(app.start());
        TFilters* f = open(app);
        ResultGrid* grid = f->StringGrid1;

        type(f, "CheckBoxCompany", "EditCompany", "acme");
        f->BitBtn1Click();
        QCOMPARE(names(grid), (QStringList{"Upper", "Mixed"}));

        // Blanks count; an accented capital only meets itself.
        QTest::keyClick(edit(f, "EditCompany"), Qt::Key_Space);
        f->BitBtn1Click();
        QVERIFY(!grid->isVisible());
        box(f, "CheckBoxCompany")->click();
        type(f, "CheckBoxHobbies", "EditHobbies", "École");
        f->BitBtn1Click();
        QCOMPARE(names(grid), (QStringList{"Upper", "Leading blank"}));
        box(f, "CheckBoxHobbies")->click();

        type(f, "CheckBoxHState", "EditHState", "ny");
        f->BitBtn1Click();
        QCOMPARE(names(grid), QStringList{"Upper"});
        box(f, "CheckBoxHState")->click();

        // A band is compared as its label; criteria join by "and".
        choose(f, "CheckBoxIncome", "ComboBoxIncome", "50,000 - 59,999");
        f->BitBtn1Click();
        QCOMPARE(names(grid), QStringList{"Mixed"});
        type(f, "CheckBoxCompany", "EditCompany", "ACME");
        f->BitBtn1Click();
        QCOMPARE(names(grid), QStringList{"Mixed"});
        type(f, "CheckBoxHobbies", "EditHobbies", "ÉCOLE");
        f->BitBtn1Click();
        QVERIFY(!grid->isVisible());

    }

    // Only A to Z meet a to z. The characters beside them in the code table ('@' before A, '['
    // after Z, '`' before a, '{' after z) are compared as they stand, each meeting only itself.
    void lettersFoldOnlyFromAToZ_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("a") << "a" << QStringList{"A", "a"};
        QTest::newRow("A") << "A" << QStringList{"A", "a"};
        QTest::newRow("z") << "z" << QStringList{"Z", "z"};
        QTest::newRow("Z") << "Z" << QStringList{"Z", "z"};
        QTest::newRow("@") << "@" << QStringList{"@"};
        QTest::newRow("`") << "`" << QStringList{"`"};
        QTest::newRow("[") << "[" << QStringList{"["};
        QTest::newRow("{") << "{" << QStringList{"{"};
        QTest::newRow("mixed, both ends") << "aZ" << QStringList{"Az", "aZ"};
        QTest::newRow("beside the ends") << "@[" << QStringList{"@["};
        QTest::newRow("beside the small ends") << "`{" << QStringList{"`{"};
    }
    void lettersFoldOnlyFromAToZ()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, found);
        AppFixture app;
        // Each person is named after the company value that it holds.
        for (const QString v : {"A", "a", "Z", "z", "@", "`", "[", "{", "Az", "aZ", "@[", "`{"})
            app.db.addPerson(v, {{"Company", v}});
        QVERIFY(app.start());
        TFilters* f = open(app);
        type(f, "CheckBoxCompany", "EditCompany", typed);
        QCOMPARE(edit(f, "EditCompany")->text(), typed);
        f->BitBtn1Click();
        QCOMPARE(names(f->StringGrid1), found);
    }

    // The run reads the file, not the list in memory: it finds exactly the people that the
    // filter's own rule accepts, a pending edit of the current person included.
    void theRunFindsWhatTheRuleAccepts_data()
    {
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<QString>("pending"); // the Company typed for the current person, not saved
        QTest::newRow("plain letters") << "acme" << "aCmE";
        QTest::newRow("sharp s") << "straße" << "STRASSE";
        QTest::newRow("sharp s, capitals") << "STRASSE" << "Straße";
        QTest::newRow("accented capital") << "École" << "école";
        QTest::newRow("accented small") << "école" << "ÉCOLE";
        QTest::newRow("blank before") << " acme" << " ACME";
        QTest::newRow("blank after") << "acme " << "acme";
        QTest::newRow("only blanks") << "  " << "  ";
        QTest::newRow("quote") << "o'hara" << "O'HARA";
    }
    void theRunFindsWhatTheRuleAccepts()
    {
        QFETCH(QString, wanted);
        QFETCH(QString, pending);
        const QStringList stored{"ACME", "Acme", "acme", " acme", "acme ", "Acme Ltd", "straße", "STRASSE", "Strasse",
                                 "STRAßE", "École", "école", "ECOLE", "  ", "O'Hara", "o'hara", "", "Null"};
        AppFixture app;
        app.db.addPerson("Pending", {{"Company", "unrelated"}});
        for (int i = 0; i < stored.size(); ++i)
            app.db.addPerson(QString("%1 %2").arg(i).arg(stored[i]),
                             stored[i] == "Null" ? QVariantMap{} : QVariantMap{{"Company", stored[i]}});
        QVERIFY(app.start());
        QCOMPARE(app.people()->value("Name").toString(), QString("Pending"));
        app.people()->edit();
        app.people()->setValue("Company", pending);
        QStringList expected;
        if (TFilters::valueMatches(pending, wanted))
            expected << "Pending";
        for (int i = 0; i < stored.size(); ++i)
            if (stored[i] != "Null" && TFilters::valueMatches(stored[i], wanted))
                expected << QString("%1 %2").arg(i).arg(stored[i]);
        TFilters* f = open(app);
        box(f, "CheckBoxCompany")->click();
        edit(f, "EditCompany")->setText(wanted); // as pasted: the keyboard types no accents here
        f->BitBtn1Click();
        QCOMPARE(f->StringGrid1->isVisible() ? names(f->StringGrid1) : QStringList(), expected);
        QVERIFY(!f->LabelStopped->isVisible());
    }

    // A long run shows its progress in a real window with Cancel alone, neither default nor
    // answering Enter; Space or Escape stops the run, and the people found until then stay,
    // with the line that says the run was stopped.
    void cancelKeepsWhatWasFound_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::newRow("space") << "space";
        QTest::newRow("escape") << "escape";
        QTest::newRow("enter, then escape") << "enter escape";
    }
    void cancelKeepsWhatWasFound()
    {
        QFETCH(QString, keys);
        AppFixture app;
        app.db.addPerson("P0");
        app.db.exec("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 600) "
                    "INSERT INTO People (CompanyID, Name) SELECT CompanyID, 'P' || x FROM n, "
                    "(SELECT CompanyID FROM People WHERE Name = 'P0') AS c");
        QVERIFY(app.start());
        TFilters* f = open(app);
        WorkProgress::setShowAfter(0);
        PeopleFilter::setSpan(10);
        struct Seen {
            bool shown = false, modal = false, enterLeftItRunning = true;
            QStringList buttons;
            QString focus;
            bool anyDefault = false;
        } seen;
        bool answered = false;
        connect(f, &TFilters::resultsArrived, f, [&] {
            if (answered)
                return;
            answered = true;
            auto* w = f->findChild<WorkProgress*>();
            QVERIFY(w);
            seen.shown = w->isVisible();
            seen.modal = w->isModal() || w->windowModality() != Qt::NonModal;
            for (QPushButton* b : w->findChildren<QPushButton*>()) {
                seen.buttons << b->objectName();
                seen.anyDefault = seen.anyDefault || b->isDefault();
            }
            // The keys go where the window has its focus, at once: events served here would let
            // the run go on to its end.
            QWidget* target = w->focusWidget() ? w->focusWidget() : w;
            seen.focus = target->objectName();
            for (const QString& k : keys.split(' ')) {
                if (k == "enter") {
                    QTest::keyClick(target, Qt::Key_Return);
                    seen.enterLeftItRunning = !w->cancelRequested();
                } else {
                    QTest::keyClick(target, k == "space" ? Qt::Key_Space : Qt::Key_Escape);
                }
            }
        });
        f->BitBtn1Click();
        WorkProgress::setShowAfter(300);
        PeopleFilter::setSpan(65536);
        QVERIFY(seen.shown);
        QVERIFY(seen.modal);
        QCOMPARE(seen.buttons, QStringList{"Cancel"});
        QVERIFY(!seen.anyDefault);
        QCOMPARE(seen.focus, QString("Cancel"));
        QVERIFY(seen.enterLeftItRunning);
        QVERIFY(f->isVisible()); // Escape stopped the run, not the filter window
        QVERIFY(!f->findChild<WorkProgress*>());
        QVERIFY(f->LabelStopped->isVisible());
        QCOMPARE(f->LabelStopped->text(), QString("Filtering was stopped: only the people found until then are listed."));
        const QStringList found = names(f->StringGrid1);
        QVERIFY2(found.size() > 0 && found.size() < 601, qPrintable(QString::number(found.size())));
        QStringList first{"P0"};
        for (int i = 1; i < found.size(); ++i)
            first << QString("P%1").arg(i);
        QCOMPARE(found, first); // the first people, in the list's order
        // The next run that ends shows no such line.
        f->BitBtn1Click();
        QVERIFY(!f->LabelStopped->isVisible());
        QCOMPARE(rows(f->StringGrid1), 601);
    }

    void everyCriterionReadsItsOwnColumn()
    {
        const QList<QPair<QString, QString>> columns = {
            {"ComboBoxGender", "Gender"}, {"ComboBoxType", "PersonType"}, {"ComboBoxImportance", "CustoemrImportance"},
            {"EditEthnic", "Ethnic"}, {"EditHobbies", "Hobbies"}, {"ComboBoxHousehold", "Household"},
            {"ComboBoxProspecting", "ProspectingMethod"}, {"ComboBoxEducation", "EducationLevel"},
            {"ComboBoxIncome", "Income"}, {"ComboBoxIndustry", "Industry"}, {"EditCompany", "Company"},
            {"ComboBoxCompanySize", "CompanySize"}, {"EditDepartment", "Department"}, {"EditJob", "JobTitle"},
            {"EditProfession", "Profession"}, {"EditHStreet", "HAStreet"}, {"EditHCity", "HACity"},
            {"EditHState", "HAState"}, {"EditHPostalCode", "HAPostalCode"}, {"EditHCountry", "HACountry"},
            {"EditHPObox", "HAPostOfficeBox"}, {"EditBStreet", "BAStreet"}, {"EditBCity", "BACity"},
            {"EditBState", "BAState"}, {"EditBPostalCode", "BAPostalCode"}, {"EditBCountry", "BACountry"},
            {"EditBPObox", "BAPostOfficeBox"}};
        AppFixture app;
        app.db.addPerson("Nobody");
        for (const auto& [control, column] : columns) // the last item of a list, or a text
            app.db.addPerson("Has " + column, {{column, control.startsWith("Combo") ? "LAST" : "v " + column}});
        QVERIFY(app.start());
        TFilters* f = open(app);
        QCOMPARE(f->criteria.size(), columns.size());
        for (int i = 0; i < columns.size(); ++i) {
            const TFilters::Criterion& c = f->criteria[i];
            QCOMPARE(c.valueControl()->objectName(), columns[i].first);
            const QString column = columns[i].second;
            c.box->click();
            if (c.list) {
                const QString last = c.list->itemText(c.list->count() - 1);
                app.db.exec("UPDATE People SET \"" + column + "\" = ? WHERE Name = ?", {last, "Has " + column});
                app.main()->SpeedButton6Click(); // refresh
                c.list->setCurrentIndex(c.list->count() - 1);
            } else {
                QTest::keyClicks(c.edit, "v " + column);
            }
            f->BitBtn1Click();
            QCOMPARE(names(f->StringGrid1), QStringList{"Has " + column});
            c.box->click();
        }
    }

    void checkedEmptyCriteriaAreSwitchedOff()
    {
        AppFixture app;
        app.db.addPerson("Anna", {{"PersonType", "Customer"}});
        app.db.addPerson("Bob", {{"PersonType", "Prospect"}, {"Industry", "Retail"}});
        app.db.addPerson("Carl", {{"PersonType", "Customer"}, {"Company", "X"}});
        QVERIFY(app.start());
        TFilters* f = open(app);
        box(f, "CheckBoxIndustry")->click();
        box(f, "CheckBoxCompany")->click();
        choose(f, "CheckBoxType", "ComboBoxType", "Customer");
        f->BitBtn1Click();
        QVERIFY(!box(f, "CheckBoxIndustry")->isChecked());
        QVERIFY(!list(f, "ComboBoxIndustry")->isVisible());
        QVERIFY(!box(f, "CheckBoxCompany")->isChecked());
        QVERIFY(!edit(f, "EditCompany")->isVisible());
        QVERIFY(box(f, "CheckBoxType")->isChecked());
        QCOMPARE(names(f->StringGrid1), (QStringList{"Anna", "Carl"}));
    }

    void resultRowsNumberedWithNothingLeftOver()
    {
        AppFixture app;
        app.db.addPerson("P1", {{"Department", "Sales"}, {"Mobile", "101"}, {"Email1", "p1@example.com"}, {"PersonType", "Customer"}});
        app.db.addPerson("P2", {{"Department", "Sales"}, {"Mobile", "102"}, {"Email1", "p2@example.com"}, {"Hobbies", "golf"}});
        app.db.addPerson("P3", {{"Department", "Sales"}, {"Mobile", "103"}, {"Email1", "p3@example.com"}});
        app.db.addPerson("P4", {{"Department", "Sales"}, {"Mobile", "104"}, {"Email1", "p4@example.com"}, {"Hobbies", "golf"}});
        app.db.addPerson("P5", {{"Department", "Sales"}, {"Mobile", "105"}, {"Email1", "p5@example.com"}, {"Hobbies", "golf"}});
        app.db.addPerson("P6", {{"Department", "Other"}, {"Mobile", ""}, {"Email1", ""}, {"Hobbies", "golf"}, {"PersonType", ""}});
        QVERIFY(app.start());
        TFilters* f = open(app);
        ResultGrid* grid = f->StringGrid1;
        QCOMPARE(titles(grid), (QStringList{"No.", "Name", "Type", "Mobile", "Email"}));

        // No criterion lists everyone in the dataset's order.
        f->BitBtn1Click();
        QVERIFY(grid->isVisible());
        QCOMPARE(column(grid, 0), (QStringList{"1", "2", "3", "4", "5", "6"}));
        QCOMPARE(names(grid), (QStringList{"P1", "P2", "P3", "P4", "P5", "P6"}));
        QCOMPARE(rowOf(grid, 0), (QStringList{"1", "P1", "Customer", "101", "p1@example.com"}));
        QCOMPARE(rowOf(grid, 5), (QStringList{"6", "P6", "", "", ""}));

        // Five, then four whose third has no Mobile, then two, then none.
        type(f, "CheckBoxDepartment", "EditDepartment", "sales");
        f->BitBtn1Click();
        QCOMPARE(rows(grid), 5);
        type(f, "CheckBoxHobbies", "EditHobbies", "Golf");
        box(f, "CheckBoxDepartment")->click();
        f->BitBtn1Click();
        QCOMPARE(rows(grid), 4);
        QCOMPARE(rowOf(grid, 2), (QStringList{"3", "P5", "", "105", "p5@example.com"}));
        QCOMPARE(rowOf(grid, 3), (QStringList{"4", "P6", "", "", ""}));
        type(f, "CheckBoxDepartment", "EditDepartment", "Sales");
        f->BitBtn1Click(); // three matches: a title row and three rows
        QCOMPARE(rows(grid), 3);
        QCOMPARE(column(grid, 0), (QStringList{"1", "2", "3"}));
        QCOMPARE(names(grid), (QStringList{"P2", "P4", "P5"}));
        box(f, "CheckBoxHobbies")->click();
        type(f, "CheckBoxJob", "EditJob", "x");
        f->BitBtn1Click();
        QVERIFY(!grid->isVisible());
        QCOMPARE(rows(grid), 1);
        QCOMPARE(rowOf(grid, 0), (QStringList{"", "", "", "", ""}));
        box(f, "CheckBoxJob")->click();
        type(f, "CheckBoxEthnic", "EditEthnic", "x");
        app.db.exec("UPDATE People SET Ethnic = 'x' WHERE Name IN ('P2', 'P3')");
        app.main()->SpeedButton6Click(); // refresh
        f->BitBtn1Click();
        QCOMPARE(rows(grid), 2);
        QCOMPARE(names(grid), (QStringList{"P2", "P3"}));
    }

    // A run's results stay as they were found until the next run, while another program renames
    // and deletes people, also once the person list has taken those writes in: an Email cell of
    // a person deleted since still opens their address.
    void resultsStayAsFoundWhileOthersWrite()
    {
        AppFixture app;
        app.db.addPerson("Anna", {{"Mobile", "101"}, {"Email1", "anna@example.com"}, {"PersonType", "Customer"}});
        app.db.addPerson("Bob", {{"Mobile", "102"}, {"Email1", "bob@example.com"}});
        app.db.addPerson("Carla", {{"Mobile", "103"}, {"Email1", "carla@example.com"}, {"PersonType", "Prospect"}});
        QVERIFY(app.start());
        TFilters* f = open(app);
        ResultGrid* grid = f->StringGrid1;
        f->BitBtn1Click();
        const QList<QStringList> found{{"1", "Anna", "Customer", "101", "anna@example.com"},
                                       {"2", "Bob", "", "102", "bob@example.com"},
                                       {"3", "Carla", "Prospect", "103", "carla@example.com"}};
        auto shown = [&] {
            QList<QStringList> all;
            for (int r = 0; r < rows(grid); ++r)
                all << rowOf(grid, r);
            return all;
        };
        QCOMPARE(shown(), found);
        app.db.exec("UPDATE People SET Name = 'Anne', Mobile = '999' WHERE Name = 'Anna'");
        app.db.exec("DELETE FROM People WHERE Name IN ('Bob', 'Carla')");
        grid->viewport()->repaint();
        QCOMPARE(shown(), found);
        app.people()->first(); // the list takes the writes in
        QCOMPARE(app.people()->recordCount(), 1);
        grid->viewport()->repaint();
        QCOMPARE(shown(), found);
        f->StringGrid1MouseUp(2);
        QCOMPARE(app.opened.last(), QString("mailto:carla@example.com"));
        // The next run finds what is on file now.
        f->BitBtn1Click();
        QCOMPARE(shown(), (QList<QStringList>{{"1", "Anne", "Customer", "999", "anna@example.com"}}));
    }

    void runSettlesThePendingEditAndLeavesTheFirstPersonCurrent()
    {
        AppFixture app;
        for (int i = 1; i <= 40; ++i)
            app.db.addPerson(QString("Person %1").arg(i), {{"Hobbies", i % 2 ? "chess" : "golf"}});
        QVERIFY(app.start());
        TFilters* f = app.program->filters;
        app.main()->SpeedButton10Click();
        QTest::keyClicks(app.find<QLineEdit>("Mobile"), "555");
        QCOMPARE(app.people()->state(), DatasetState::Edit);

        // The walk does not redraw the person screen for each person.
        QSignalSpy changed(app.data()->PeopleCompanyDS, &DataSource::changed);
        QSignalSpy moved(app.data()->PeopleCompanyDS, &DataSource::moved);
        f->BitBtn1Click();
        QVERIFY2(changed.size() <= 3, qPrintable(QString::number(changed.size())));
        QVERIFY2(moved.size() <= 3, qPrintable(QString::number(moved.size())));
        QCOMPARE(rows(f->StringGrid1), 40);
        QCOMPARE(app.db.scalar("SELECT Mobile FROM People WHERE Name = 'Person 40'").toString(), QString("555"));
        QCOMPARE(app.people()->state(), DatasetState::Browse);
        QCOMPARE(app.people()->value("Name").toString(), QString("Person 1"));
        QCOMPARE(app.find<QLineEdit>("Name")->text(), QString("Person 1"));

        // A blank name stops the run at the save: only the name message, no results.
        app.main()->SpeedButton9Click();
        QLineEdit* name = app.find<QLineEdit>("Name");
        name->selectAll();
        QTest::keyClick(name, Qt::Key_Delete);
        f = open(app); // the save before opening fails as well; the window opens all the same
        QCOMPARE(app.messageTexts(), QStringList{"Required field (Name) is empty."});
        box(f, "CheckBoxCompany")->click();
        type(f, "CheckBoxHobbies", "EditHobbies", "golf");
        f->BitBtn1Click();
        QCOMPARE(app.messageTexts(), (QStringList{"Required field (Name) is empty.", "Required field (Name) is empty."}));
        QVERIFY(!f->StringGrid1->isVisible());
        QCOMPARE(cell(f->StringGrid1, 0, 1), QString());
        QVERIFY(!box(f, "CheckBoxCompany")->isChecked());
        QCOMPARE(app.people()->state(), DatasetState::Edit);
        QCOMPARE(app.db.count("People", "Name = 'Person 2'"), 1);
    }

    void theMethodDescriptionFollowsTheFirstPerson()
    {
        AppFixture app;
        app.db.addPerson("Anna", {{"ProspectingMethod", "Networking"}});
        app.db.addPerson("Bob", {{"ProspectingMethod", "Trade show"}});
        QVERIFY(app.start());
        app.main()->SpeedButton10Click();
        QCOMPARE(app.main()->People->Memo2->toPlainText(), Vocabulary::prospectingDescription(13));
        app.modal = [](QDialog* d) {
            static_cast<TFilters*>(d)->BitBtn1Click();
            return int(QDialog::Rejected);
        };
        app.main()->BitBtn8Click();
        QCOMPARE(app.people()->value("Name").toString(), QString("Anna"));
        QCOMPARE(app.main()->People->Memo2->toPlainText(), Vocabulary::prospectingDescription(12));
    }

    void emailCells()
    {
        AppFixture app;
        app.db.addPerson("Anna", {{"Email1", "anna@example.com"}});
        app.db.addPerson("Bob");
        app.db.addPerson("Mallory", {{"Email1", "x@y.com?cc=boss@y.com&attach=/etc/passwd"}});
        QVERIFY(app.start());
        TFilters* f = open(app);
        f->BitBtn1Click();
        ResultGrid* grid = f->StringGrid1;

        click(spotOf(grid, 0, 4));
        click(spotOf(grid, 1, 4), Qt::RightButton);
        click(spotOf(grid, 2, 4));
        QCOMPARE(app.opened, (QStringList{"mailto:anna@example.com", "mailto:",
                                          "mailto:x@y.com%3Fcc%3Dboss@y.com%26attach%3D%2Fetc%2Fpasswd"}));
        app.opened.clear();
        // Other columns open nothing, and neither does the title row, the Email title included.
        click(spotOf(grid, 0, 1));
        click(spotOf(grid, 0, 0));
        click(titleOf(grid, 4));
        click(titleOf(grid, 1));
        QVERIFY(app.opened.isEmpty());

        // The hint and the hand over the Email cells, which open a message, and nowhere else:
        // not over their title, where a click opens nothing.
        QCOMPARE(hintAt(spotOf(grid, 0, 3)), QString());
        QCOMPARE(hintAt(titleOf(grid, 1)), QString());
        QCOMPARE(hintAt(spotOf(grid, 0, 0)), QString());
        QCOMPARE(hintAt(spotOf(grid, 0, 4)), QString("Send email"));
        QCOMPARE(hintAt(spotOf(grid, 1, 4)), QString("Send email")); // an empty address too
        QCOMPARE(hintAt(titleOf(grid, 4)), QString());
        QCOMPARE(pointerAt(spotOf(grid, 1, 4)), Qt::PointingHandCursor);
        QCOMPARE(pointerAt(spotOf(grid, 1, 2)), Qt::ArrowCursor);
        QCOMPARE(pointerAt(spotOf(grid, 2, 4)), Qt::PointingHandCursor);
        QCOMPARE(pointerAt(titleOf(grid, 4)), Qt::ArrowCursor);
        QCOMPARE(pointerAt(spotOf(grid, 0, 4)), Qt::PointingHandCursor);
        QCOMPARE(pointerAt(spotOf(grid, 0, 0)), Qt::ArrowCursor);
        // On the border before the Email title the pointer resizes the column.
        Spot border = titleOf(grid, 4);
        border.pos.rx() = grid->horizontalHeader()->sectionViewportPosition(4) + 1;
        QCOMPARE(pointerAt(border), Qt::SplitHCursor);
        // A cell too narrow for its text shows the whole of it as a hint.
        grid->setColumnWidth(1, 24);
        QCOMPARE(hintAt(spotOf(grid, 0, 1)), names(grid).value(0));
    }

    void gridRowsAreMovedAndResizedByTheirFirstCell()
    {
        AppFixture app;
        for (const char* n : {"A", "B", "C", "D"})
            app.db.addPerson(n);
        QVERIFY(app.start());
        TFilters* f = open(app);
        f->BitBtn1Click();
        ResultGrid* grid = f->StringGrid1;
        QCOMPARE(grid->rowHeight(0), 16);
        QCOMPARE(grid->columnWidth(0), 25);
        QCOMPARE(grid->columnWidth(4), 150);

        // Dragging row 4 by its number onto row 1.
        const Spot fourth = spotOf(grid, 3, 0);
        QTest::mousePress(fourth.widget, Qt::LeftButton, {}, fourth.pos);
        QTest::mouseMove(fourth.widget, spotOf(grid, 1, 0).pos);
        QTest::mouseRelease(fourth.widget, Qt::LeftButton, {}, spotOf(grid, 0, 0).pos);
        QCOMPARE(names(grid), (QStringList{"D", "A", "B", "C"}));
        QCOMPARE(column(grid, 0), (QStringList{"4", "1", "2", "3"}));

        // Dragging the lower border of the first cell makes the row taller, the whole row.
        const QRect first = grid->visualRect(grid->model()->index(0, 0));
        const Spot top = spotOf(grid, 0, 0);
        const QPoint border = top.pos + QPoint(0, first.bottom() - first.center().y());
        QCOMPARE(pointerAt({top.widget, border}), Qt::SplitVCursor);
        QTest::mousePress(top.widget, Qt::LeftButton, {}, border);
        QTest::mouseMove(top.widget, border + QPoint(0, 20));
        QTest::mouseRelease(top.widget, Qt::LeftButton, {}, border + QPoint(0, 20));
        QVERIFY(grid->rowHeight(0) > 30);
        QCOMPARE(names(grid), (QStringList{"D", "A", "B", "C"}));
        for (int row = 0; row < 4; ++row) { // numbers and names stay side by side
            const Spot number = spotOf(grid, row, 0), name = spotOf(grid, row, 1);
            QCOMPARE(number.widget->mapToGlobal(number.pos).y(), name.widget->mapToGlobal(name.pos).y());
            QCOMPARE(textAt(number), column(grid, 0)[row]);
        }

        // Cells are not edited, by double click or by typing.
        const Spot b = spotOf(grid, 1, 1);
        QTest::mouseDClick(b.widget, Qt::LeftButton, {}, b.pos);
        QTest::keyClick(grid, Qt::Key_F2);
        QTest::keyClicks(grid, "zz");
        QVERIFY(grid->findChildren<QLineEdit*>().isEmpty()); // no editor was opened
        QCOMPARE(cell(grid, 1, 1), QString("A"));
    }

    void theNumberColumnStaysWhileTheOthersScroll()
    {
        AppFixture app;
        for (int i = 1; i <= 40; ++i)
            app.db.addPerson(QString("Person %1").arg(i), {{"Email1", QString("person.%1@example.com").arg(i)}});
        QVERIFY(app.start());
        TFilters* f = open(app);
        f->BitBtn1Click();
        ResultGrid* grid = f->StringGrid1;
        grid->setColumnWidth(4, 1500);
        // The widened column takes two rounds of events to settle, scroll bar included.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QScrollBar* across = grid->horizontalScrollBar();
        QVERIFY(across->maximum() > 800);

        // What the user sees of column 0, title included, before and after scrolling right.
        const QRect strip(grid->viewport()->x(), grid->horizontalHeader()->y(), grid->columnWidth(0),
                          grid->horizontalHeader()->height() + grid->viewport()->height());
        const QImage before = grid->grab(strip).toImage();
        across->setValue(across->maximum());
        QCoreApplication::processEvents();
        QCOMPARE(grid->grab(strip).toImage(), before);
        const QPoint thirdRow = grid->viewport()->mapTo(grid, QPoint(4, grid->rowViewportPosition(2) + 8));
        QWidget* shown = grid->childAt(thirdRow);
        QCOMPARE(textAt({shown, shown->mapFrom(grid, thirdRow)}), QString("3"));
        const QPoint rightEnd(grid->viewport()->mapTo(grid, QPoint(grid->viewport()->width() - 10, 0)).x(), thirdRow.y());
        shown = grid->childAt(rightEnd);
        QCOMPARE(textAt({shown, shown->mapFrom(grid, rightEnd)}), QString("person.3@example.com"));

        // Scrolled down, the numbers go along with their rows.
        grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
        QCoreApplication::processEvents();
        const QPoint lastRow = grid->viewport()->mapTo(grid, QPoint(4, grid->rowViewportPosition(39) + 8));
        shown = grid->childAt(lastRow);
        QCOMPARE(textAt({shown, shown->mapFrom(grid, lastRow)}), QString("40"));
        const QPoint lastEmail(rightEnd.x(), lastRow.y());
        shown = grid->childAt(lastEmail);
        QCOMPARE(textAt({shown, shown->mapFrom(grid, lastEmail)}), QString("person.40@example.com"));

        // The keyboard brings a cell back into view beside the numbers, not behind them.
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(39, 4));
        QTest::keyClick(grid, Qt::Key_Home);
        QCOMPARE(grid->currentIndex(), grid->model()->index(39, 1));
        QCOMPARE(grid->columnViewportPosition(1), grid->columnWidth(0));
    }

    // Column widths are set when the window is shown; a run keeps the ones the user gave, and
    // its rows, new people, start at the default height.
    void theUsersWidthsStayUntilTheWindowIsShownAgain()
    {
        AppFixture app;
        for (int i = 1; i <= 120; ++i)
            app.db.addPerson(QString("P%1").arg(i, 3, 10, QChar('0')), {{"Hobbies", i <= 3 ? "golf" : "chess"}});
        QVERIFY(app.start());
        TFilters* f = open(app);
        ResultGrid* grid = f->StringGrid1;
        type(f, "CheckBoxHobbies", "EditHobbies", "golf");
        f->BitBtn1Click();
        QCOMPARE(grid->columnWidth(0), 25);

        // The user drags the Email title's right border and the second row's lower border.
        QHeaderView* header = grid->horizontalHeader();
        const QPoint edge(header->sectionViewportPosition(4) + header->sectionSize(4) - 1, header->height() / 2);
        QTest::mousePress(header->viewport(), Qt::LeftButton, {}, edge);
        QTest::mouseMove(header->viewport(), edge + QPoint(60, 0));
        QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, edge + QPoint(60, 0));
        QCOMPARE(grid->columnWidth(4), 210);
        const QRect second = grid->visualRect(grid->model()->index(1, 0));
        const Spot number = spotOf(grid, 1, 0);
        const QPoint border = number.pos + QPoint(0, second.bottom() - second.center().y());
        QTest::mousePress(number.widget, Qt::LeftButton, {}, border);
        QTest::mouseMove(number.widget, border + QPoint(0, 14));
        QTest::mouseRelease(number.widget, Qt::LeftButton, {}, border + QPoint(0, 14));
        QVERIFY(grid->rowHeight(1) >= 28);
        QCOMPARE(grid->fixedColumn()->rowHeight(1), grid->rowHeight(1));

        // The next run keeps the width; its rows have the default height.
        f->BitBtn1Click();
        QCOMPARE(names(grid), (QStringList{"P001", "P002", "P003"}));
        QCOMPARE(grid->columnWidth(4), 210);
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(grid->rowHeight(row), 16);
            QCOMPARE(grid->fixedColumn()->rowHeight(row), 16);
        }

        // Three-digit numbers widen the number column; a shorter list gives it back its width.
        box(f, "CheckBoxHobbies")->click();
        f->BitBtn1Click();
        QCOMPARE(rows(grid), 120);
        QVERIFY(grid->columnWidth(0) >= grid->fontMetrics().horizontalAdvance("120"));
        QVERIFY(grid->columnWidth(0) > 25);
        QCOMPARE(grid->fixedColumn()->columnWidth(0), grid->columnWidth(0));
        type(f, "CheckBoxHobbies", "EditHobbies", "golf");
        f->BitBtn1Click();
        QCOMPARE(grid->columnWidth(0), 25);
        QCOMPARE(grid->fixedColumn()->columnWidth(0), 25);
        QCOMPARE(grid->columnWidth(4), 210);

        // Shown again, the grid starts as new.
        f->hide();
        f = open(app);
        f->BitBtn1Click();
        const QList<int> widths{125, 55, 80, 150};
        for (int c = 1; c < 5; ++c)
            QCOMPARE(grid->columnWidth(c), widths[c - 1]);
        QVERIFY(grid->columnWidth(0) > 25); // the 120 people listed
        f->hide();
        f = open(app);
        type(f, "CheckBoxHobbies", "EditHobbies", "golf");
        f->BitBtn1Click();
        QCOMPARE(grid->columnWidth(0), 25);
    }

    void theCurrentCellShowsWhenTheGridHasTheKeyboard()
    {
        AppFixture app;
        for (const char* n : {"A", "B", "C", "D"})
            app.db.addPerson(n);
        QVERIFY(app.start());
        TFilters* f = open(app);
        activate(f);
        ResultGrid* grid = f->StringGrid1;
        QTest::keyClick(focused(f), Qt::Key_Return);
        QVERIFY(grid->isVisible());
        QTest::keyClick(focused(f), Qt::Key_Tab);
        QCOMPARE(focused(f), grid);
        QTest::keyClick(focused(f), Qt::Key_Down);
        const QModelIndex current = grid->currentIndex();
        QCOMPARE(current, grid->model()->index(1, 1));
        // Drawn in the highlight colour, as the user sees it, and the cell above no longer.
        const QImage cells = grid->viewport()->grab().toImage();
        const QRect r = grid->visualRect(current);
        const QColor highlight = grid->palette().color(QPalette::Active, QPalette::Highlight);
        auto near = [&](QColor c) {
            return std::abs(c.red() - highlight.red()) + std::abs(c.green() - highlight.green())
                       + std::abs(c.blue() - highlight.blue()) < 12;
        };
        QVERIFY(near(cells.pixelColor(r.right() - 4, r.center().y())));
        QVERIFY(!near(cells.pixelColor(r.right() - 4, r.center().y() - r.height())));
        // The current cell never goes into the fixed column.
        QTest::keyClick(focused(f), Qt::Key_Left);
        QCOMPARE(grid->currentIndex(), grid->model()->index(1, 1));
        QTest::keyClick(focused(f), Qt::Key_Right);
        QTest::keyClick(focused(f), Qt::Key_Home);
        QCOMPARE(grid->currentIndex(), grid->model()->index(1, 1));
        QTest::keyClick(focused(f), Qt::Key_End);
        QCOMPARE(grid->currentIndex(), grid->model()->index(1, 4));
    }

    // After every run the first result's Name cell is current and in view, beside the numbers,
    // however the last list was scrolled.
    void theFirstResultIsCurrentAndInViewAfterEveryRun()
    {
        AppFixture app;
        for (int i = 1; i <= 40; ++i)
            app.db.addPerson(QString("Person %1").arg(i), {{"Email1", QString("person.%1@example.com").arg(i)},
                                                           {"Hobbies", i % 10 == 0 ? "golf" : "chess"}});
        QVERIFY(app.start());
        TFilters* f = open(app);
        ResultGrid* grid = f->StringGrid1;
        auto firstInView = [grid]() -> QString {
            const QModelIndex current = grid->currentIndex();
            if (current != grid->model()->index(0, 1))
                return QString("current %1, %2").arg(current.row()).arg(current.column());
            if (!grid->selectionModel()->isSelected(current))
                return "not selected";
            const QRect r = grid->visualRect(current);
            if (!grid->viewport()->rect().contains(r) || r.left() < grid->columnWidth(0))
                return QString("at %1, %2 in %3 by %4").arg(r.x()).arg(r.y()).arg(grid->viewport()->width())
                    .arg(grid->viewport()->height());
            return "in view";
        };
        QTest::mouseClick(f->BitBtn1, Qt::LeftButton);
        QCOMPARE(firstInView(), QString("in view"));
        // Scrolled away to the last row and far right, across a widened Email column.
        grid->setColumnWidth(4, 1500);
        QCoreApplication::processEvents();
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(grid->currentIndex(), grid->model()->index(39, 4));
        QVERIFY(grid->horizontalScrollBar()->value() > 0);
        QVERIFY(grid->verticalScrollBar()->value() > 0);
        QTest::mouseClick(f->BitBtn1, Qt::LeftButton);
        QCOMPARE(firstInView(), QString("in view"));
        QCOMPARE(grid->columnWidth(4), 1500); // the user's width stays while the window is open

        QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
        type(f, "CheckBoxHobbies", "EditHobbies", "golf");
        QTest::mouseClick(f->BitBtn1, Qt::LeftButton);
        QCOMPARE(names(grid), (QStringList{"Person 10", "Person 20", "Person 30", "Person 40"}));
        QCOMPARE(firstInView(), QString("in view"));
    }

    void everyItemFitsItsBoxAndNothingOverlaps()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        TFilters* f = open(app);
        for (const TFilters::Criterion& c : f->criteria)
            c.box->click();
        f->BitBtn1Click(); // the grid on the screen too
        QVERIFY(f->StringGrid1->isVisible());

        // Every item of every list is read whole in the closed box.
        for (const TFilters::Criterion& c : f->criteria) {
            if (!c.list)
                continue;
            QStyleOptionComboBox option;
            option.initFrom(c.list);
            option.editable = false;
            option.frame = c.list->hasFrame();
            option.subControls = QStyle::SC_All;
            const QRect text = c.list->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                               QStyle::SC_ComboBoxEditField, c.list);
            for (int i = 0; i < c.list->count(); ++i) {
                const int needed = c.list->fontMetrics().horizontalAdvance(c.list->itemText(i)) + 2;
                QVERIFY2(needed <= text.width(), qPrintable(c.list->itemText(i)));
            }
        }
        // Captions are not cut either.
        for (const TFilters::Criterion& c : f->criteria)
            QVERIFY2(c.box->sizeHint().width() <= c.box->width(), qPrintable(c.box->text()));
        QVERIFY(f->Label1->sizeHint().width() <= f->Label1->width());

        // Every control lies inside its window or group, and no two of them overlap.
        QList<QWidget*> parents{f};
        for (QGroupBox* g : f->findChildren<QGroupBox*>())
            parents << g;
        for (QWidget* parent : parents) {
            QList<QWidget*> shown;
            for (QWidget* w : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                if (w->isVisible() && !w->isWindow())
                    shown << w;
            QVERIFY(shown.size() > 3);
            const QRect inside = parent == f ? f->rect() : parent->contentsRect();
            for (int i = 0; i < shown.size(); ++i) {
                QVERIFY2(inside.contains(shown[i]->geometry()), qPrintable(shown[i]->objectName()));
                for (int j = i + 1; j < shown.size(); ++j)
                    QVERIFY2(!shown[i]->geometry().intersects(shown[j]->geometry()),
                             qPrintable(shown[i]->objectName() + " and " + shown[j]->objectName()));
            }
        }
        QVERIFY(f->width() <= 1024);
    }

    void emptyDatabase()
    {
        AppFixture app;
        QVERIFY(app.start());
        bool shown = false;
        app.modal = [&](QDialog*) {
            shown = true;
            return 0;
        };
        app.main()->findChild<QAction*>("Filters1")->trigger();
        app.main()->People->sideToolbar.value("Image3")->click();
        QVERIFY(!shown);
        QCOMPARE(app.messages.size(), 2);
        QCOMPARE(app.messages[0].text, QString("The database is empty."));
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Information);
        QCOMPARE(app.messages[0].buttons, QList<MessageBox::Button>{MessageBox::Button::Ok});
        QCOMPARE(app.messages[1].text, QString("The database is empty."));

        // The real box: one OK button that has the focus, and Escape closes it.
        MessageBox::setHandler({});
        QString seen;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            if (!box)
                return;
            activate(box);
            for (QAbstractButton* b : box->findChildren<QAbstractButton*>())
                if (b->isVisible())
                    seen += b->text().remove('&') + (b->hasFocus() ? "*" : "");
            QTest::keyClick(focused(box), Qt::Key_Escape);
            if (QApplication::activeModalWidget() == box) {
                seen += " still open";
                box->close();
            }
        });
        app.main()->BitBtn8Click();
        QCOMPARE(seen, QString("OK*"));
        QVERIFY(!shown);
    }

    // A new person typed into an empty list whose save is refused is not on file: the windows
    // that work on the people on file answer as for an empty list.
    void anUnsavedNewPersonDoesNotOpenTheWindows_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("message");
        QTest::newRow("Filters") << "BitBtn8Click" << "The database is empty.";
        QTest::newRow("Follow-up") << "BitBtn7Click" << "The database is empty.";
        QTest::newRow("Personality") << "RetailButtonClick" << "No record selected.";
    }
    void anUnsavedNewPersonDoesNotOpenTheWindows()
    {
        QFETCH(QString, command);
        QFETCH(QString, message);
        AppFixture app;
        QVERIFY(app.start());
        QStringList shown;
        app.modal = [&](QDialog* d) {
            shown << d->objectName();
            return int(QDialog::Rejected);
        };
        QTest::keyClicks(app.find<QLineEdit>("Language"), "French");
        QCOMPARE(app.people()->state(), DatasetState::Insert);
        QVERIFY(QMetaObject::invokeMethod(app.main(), qPrintable(command)));
        QCOMPARE(app.messageTexts(), (QStringList{"Required field (Name) is empty.", message}));
        QVERIFY2(shown.isEmpty(), qPrintable(shown.join(',')));
        // What the user typed is still there to be completed.
        QCOMPARE(app.people()->state(), DatasetState::Insert);
        QCOMPARE(app.find<QLineEdit>("Language")->text(), QString("French"));
        QCOMPARE(app.db.count("People"), 0);

        // Once saved with a name, the same command opens its window.
        QTest::keyClicks(app.find<QLineEdit>("Name"), "Anna");
        QVERIFY(QMetaObject::invokeMethod(app.main(), qPrintable(command)));
        QCOMPARE(shown.size(), 1);
        QCOMPARE(app.db.count("People"), 1);
    }

    void theRealWindowAndItsKeys()
    {
        AppFixture app;
        app.db.addPerson("Anna", {{"PersonType", "Customer"}});
        app.db.addPerson("Bob", {{"PersonType", "Prospect"}});
        QVERIFY(app.start());
        app.modal = [](QDialog* d) { return d->exec(); };
        TFilters* f = app.program->filters;
        QStringList seen;
        QTimer::singleShot(0, [&] {
            seen << (QApplication::activeModalWidget() == f ? "modal" : "not modal");
            activate(f);
            // Nothing but the hidden grid takes the focus: it starts on the window itself.
            seen << (focused(f) == f ? "window" : focused(f)->objectName());
            QTest::keyClick(focused(f), Qt::Key_Tab);
            seen << (focused(f) == f ? "window" : focused(f)->objectName());
            // Enter runs Filter, also while a criterion's value control has the focus.
            QTest::keyClick(focused(f), Qt::Key_Return);
            seen << names(f->StringGrid1).join(',');
            // Checking a criterion hands the keyboard to its value control.
            QTest::mouseClick(box(f, "CheckBoxType"), Qt::LeftButton);
            seen << focused(f)->objectName();
            QTest::keyClick(focused(f), Qt::Key_P);
            seen << list(f, "ComboBoxType")->currentText();
            QTest::keyClick(focused(f), Qt::Key_Return);
            seen << names(f->StringGrid1).join(',');
            // With results on screen, Tab reaches the grid and stays there; Enter there runs
            // Filter too, and the grid keeps the focus.
            QTest::keyClick(focused(f), Qt::Key_Tab);
            seen << focused(f)->objectName();
            QTest::keyClick(focused(f), Qt::Key_Tab);
            seen << focused(f)->objectName();
            QTest::keyClick(focused(f), Qt::Key_Return);
            seen << names(f->StringGrid1).join(',') << focused(f)->objectName();
            // Space on a check box that has the focus switches the criterion off and on.
            QTest::mouseClick(box(f, "CheckBoxGender"), Qt::LeftButton);
            QTest::mouseClick(box(f, "CheckBoxGender"), Qt::LeftButton);
            seen << focused(f)->objectName();
            QTest::keyClick(focused(f), Qt::Key_Space);
            seen << (box(f, "CheckBoxGender")->isChecked() ? "on" : "off") << focused(f)->objectName();
            QTest::keyClick(focused(f), Qt::Key_Escape);
            if (f->isVisible())
                f->reject();
        });
        app.main()->BitBtn8Click();
        QCOMPARE(seen, (QStringList{"modal", "window", "window", "Anna,Bob", "ComboBoxType", "Prospect", "Bob",
                                    "StringGrid1", "StringGrid1", "Bob", "StringGrid1", "CheckBoxGender", "on",
                                    "ComboBoxGender"}));
        QVERIFY(!f->isVisible());
        QCOMPARE(app.people()->value("Name").toString(), QString("Anna"));
    }
};

QTEST_MAIN(TestFilters)
#include "tst_filters.moc"
