#include "PeoplePage.h"

#include "Vocabulary.h"
#include "data/ViewReaction.h"
#include "data/DataSource.h"
#include "data/Dataset.h"
#include "widgets/FieldBinding.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QAbstractItemView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>

namespace {
constexpr int kRow = 22;   // distance between rows
constexpr int kField = 20; // height of a field

// The keys that open the calendar in a follow-up date cell (F4, Alt+Down, Ctrl+Enter) press a
// date's "..." button too, rather than moving the focus on to the reminder box beside it.
class CalendarKeys : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        const bool asked = (key->key() == Qt::Key_F4 && mods == Qt::NoModifier)
                           || (key->key() == Qt::Key_Down && mods == Qt::AltModifier)
                           || ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && mods == Qt::ControlModifier);
        if (!asked)
            return false;
        static_cast<QAbstractButton*>(watched)->click();
        return true;
    }
};

QPixmap bellPixmap()
{
    QPixmap pm(14, 14);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(120, 90, 0), 1));
    p.setBrush(QColor(240, 190, 40));
    QPainterPath bell;
    bell.moveTo(2, 11);
    bell.cubicTo(4, 9, 3, 2, 7, 2);
    bell.cubicTo(11, 2, 10, 9, 12, 11);
    bell.closeSubpath();
    p.drawPath(bell);
    p.drawEllipse(QPointF(7, 12), 1.5, 1.5);
    return pm;
}

// A drop-down list whose open list is wide enough to show every item whole, measured as it
// opens: the suggestion lists are refilled after every save and may hold thousands of items.
class ListBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    void showPopup() override
    {
        view()->setMinimumWidth(view()->sizeHintForColumn(0) + 24);
        QComboBox::showPopup();
    }
};

QLabel* label(QWidget* parent, const QString& text, int x, int y, int w)
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, kField);
    return l;
}

// A caption over its box, which starts kAbove lower.
constexpr int kAbove = 16;
QLabel* captionAbove(QWidget* parent, const QString& text, int x, int y, int w)
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, kAbove);
    l->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    return l;
}
} // namespace

PeoplePage::PeoplePage(DataSource* people, QWidget* parent) : QWidget(parent), m_people(people)
{
    setObjectName("PeopleTabSheet");
    buildToolbars();
    buildPersonalHalf();
    buildBusinessHalf();
    buildTabChain();
    for (FieldBinding* b : bindings)
        b->read();
    // A person the file could not give is not shown as an empty record that could be typed
    // into and saved: the fields are off, and the name field says why.
    connect(people, &DataSource::changed, this, [this] { reactOutsideEmission(this, [this] { showReadable(); }); });
    showReadable();
}

void PeoplePage::showReadable()
{
    Dataset* ds = m_people->dataset();
    const bool unreadable = ds->isActive() && ds->currentUnreadable();
    if (unreadable == m_showingUnreadable)
        return;
    m_showingUnreadable = unreadable;
    for (FieldBinding* b : std::as_const(bindings))
        b->widget()->setEnabled(!unreadable);
    if (auto* name = findChild<QLineEdit*>("Name"))
        name->setPlaceholderText(unreadable ? QString("Cannot be read: the file is damaged") : QString());
}

QIcon PeoplePage::picture(const QString& name) { return QIcon(":/icons/" + name + ".png"); }

void PeoplePage::setBusinessHalfShown(bool shown) { BusinessHalf->setVisible(shown); }

void PeoplePage::buildTabChain()
{
    // Reading order: each half column by column, each group top to bottom.
    const QStringList order{
        "Edit1", "Button7", "Title", "Name", "Gender", "PersonType", "CustoemrImportance", "Button2", "Breminder",
        "Language", "Income", "EducationLevel", "ProfessionComboBox", "Household", "Spouse", "Button6", "Children",
        "Areminder", "HAStreet", "HACity", "HAState", "HAPostalCode", "HACountry", "HAPostOfficeBox", "PrimaryTel",
        "Mobile", "TelH1", "TelH2", "FaxH", "Email1", "SpeedButton19", "Telex", "Email2", "SpeedButton16", "HomePage",
        "SpeedButton18", "CompanyComboBox", "CompanySize", "Industry", "Department", "JobTitle", "BAStreet", "BACity",
        "BAState", "BAPostalCode", "BACountry", "BAPostOfficeBox", "MailingAddress", "BillingAddress", "AssistantName",
        "ManagerName", "Ethnic", "Hobbies", "Info", "TelMain", "TelCallback", "TelB1", "TelB2", "Ext", "FaxB1", "FaxB2",
        "WebPage", "SpeedButton17", "DBComboBox4"};
    for (const QString& name : order) {
        if (QButtonGroup* group = m_optionGroups.value(name))
            m_tabChain.add(group);
        else if (QWidget* w = findChild<QWidget*>(name))
            m_tabChain.add(w);
        else
            qFatal("no control %s for the Tab order", qPrintable(name));
    }
}

bool PeoplePage::focusNextPrevChild(bool next)
{
    return m_tabChain.move(next) || QWidget::focusNextPrevChild(next);
}

void PeoplePage::buildToolbars()
{
    struct Button { const char* name; const char* hint; const char* picture; };
    const Button top[] = {
        {"SpeedButton4", "New record", "new-person"},
        {"SpeedButton3", "Delete record", "delete-person"},
        {"SpeedButton1", "Delete all records", "delete-all"},
        {"SpeedButton2", "Save record", "save"},
        {"SpeedButton5", "Discard changes", "discard"},
        {"SpeedButton6", "Refresh", "refresh"},
        {"RetailButton", "Personality identification", "personality"},
        {"SpeedButton7", "First record", "first"},
        {"SpeedButton8", "Prior record", "prior"},
        {"SpeedButton9", "Next record", "next"},
        {"SpeedButton10", "Last record", "last"},
        {"SpeedButton14", "Import data from a CSV file", "import"},
        {"SpeedButton13", "Help", "help"},
    };
    int x = 36;
    for (const Button& b : top) {
        QToolButton* t = addToolButton(this, b.name, b.hint, picture(QString(b.picture) + "-16"), QRect(x, 2, 25, 24));
        t->setIconSize(QSize(16, 16));
        t->setFocusPolicy(Qt::NoFocus); // picture buttons: the mouse's and the menu's, not the Tab key's
        toolbar.insert(b.name, t);
        x += 26;
    }

    auto* side = new QFrame(this);
    side->setObjectName("LeftToolbar");
    side->setFrameShape(QFrame::Panel);
    side->setFrameShadow(QFrame::Sunken);
    side->setGeometry(0, 0, 32, 524);
    const Button left[] = {
        {"Image4", "Personality identification", "personality"},
        {"Image3", "Filters", "filters"},
        {"Image5", "Follow-up activities", "follow-up"},
        {"Image11", "Sales pipeline", "pipeline"},
        {"Image9", "Import data from a CSV file", "import"},
        {"Image10", "Help", "help"},
    };
    int y = 4;
    for (const Button& b : left) {
        QToolButton* t = addToolButton(side, b.name, b.hint, picture(QString(b.picture) + "-22"), QRect(2, y, 28, 28));
        t->setIconSize(QSize(22, 22));
        t->setFocusPolicy(Qt::NoFocus);
        t->setCursor(Qt::PointingHandCursor);
        sideToolbar.insert(b.name, t);
        y += 32;
    }
}

QLineEdit* PeoplePage::addText(QWidget* parent, const QString& caption, const QString& column, int x, int y, int lw,
                               int fw, bool upper)
{
    if (!caption.isEmpty())
        label(parent, caption, x, y, lw);
    auto* e = new QLineEdit(parent);
    e->setObjectName(column);
    e->setGeometry(x + lw, y, fw, kField);
    bindings << new TextFieldBinding(m_people, column, e, upper);
    return e;
}

std::pair<QComboBox*, ComboBinding*> PeoplePage::addCombo(QWidget* parent, const QString& caption,
                                                          const QString& column, const QStringList& items,
                                                          bool editable, int x, int y, int lw, int fw)
{
    if (!caption.isEmpty())
        label(parent, caption, x, y, lw);
    auto* c = new ListBox(parent);
    c->setObjectName(column);
    c->setEditable(editable);
    c->addItems(items);
    c->setMaxVisibleItems(20);
    c->setGeometry(x + lw, y, fw, kField);
    auto* b = new ComboBinding(m_people, column, c);
    bindings << b;
    return {c, b};
}

QGroupBox* PeoplePage::addOptions(QWidget* parent, const QString& caption, const QString& column,
                                  const QStringList& items, int columns, QRect geometry)
{
    auto* box = new QGroupBox(caption, parent);
    box->setObjectName(column);
    box->setGeometry(geometry);
    auto* group = new QButtonGroup(box);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(1, 2, 0, 2); // inside the frame's own margin
    grid->setVerticalSpacing(0);
    grid->setHorizontalSpacing(3);
    for (int i = 0; i < items.size(); ++i) {
        auto* r = new QRadioButton(items[i], box);
        r->setObjectName(column + items[i]);
        r->setMinimumWidth(r->sizeHint().width()); // the grid may not cut a caption to even the columns
        grid->addWidget(r, i / columns, i % columns);
        group->addButton(r, i);
    }
    bindings << new OptionGroupBinding(m_people, column, group, box);
    m_optionGroups.insert(column, group);
    return box;
}

QToolButton* PeoplePage::addToolButton(QWidget* parent, const QString& name, const QString& hint, const QIcon& icon,
                                       QRect geometry)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setToolTip(hint);
    b->setIcon(icon);
    b->setAutoRaise(true);
    b->setGeometry(geometry);
    return b;
}

QToolButton* PeoplePage::addLinkButton(QWidget* parent, const QString& name, const QString& hint, int x, int y)
{
    QToolButton* b = addToolButton(parent, name, hint, picture(hint == "Send email" ? "send-email-16" : "go-to-url-16"),
                                   QRect(x, y, 20, kField));
    b->setIconSize(QSize(16, 16));
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

void PeoplePage::buildPersonalHalf()
{
    auto date = [this](QWidget* parent, const QString& caption, const QString& column, int x, int y, int lw, int fw) {
        label(parent, caption, x, y, lw);
        auto* e = new QLineEdit(parent);
        e->setObjectName(column);
        e->setGeometry(x + lw, y, fw, kField);
        e->setFocusPolicy(Qt::ClickFocus);
        bindings << new DateFieldBinding(m_people, column, e);
        auto* b = new QPushButton("...", parent);
        b->setGeometry(x + lw + fw + 2, y, 20, kField);
        b->installEventFilter(new CalendarKeys(b));
        return b;
    };
    auto reminder = [this](QWidget* parent, const QString& caption, const QString& column, int x, int y) {
        auto* bell = new QLabel(parent);
        bell->setPixmap(bellPixmap());
        bell->setGeometry(x, y + 3, 14, 14);
        auto* c = new QCheckBox(caption, parent);
        c->setObjectName(column);
        c->setGeometry(x + 18, y, 150, kField);
        bindings << new CheckBoxBinding(m_people, column, c);
    };

    // Two columns. The left one is as wide as the three-column Importance group needs; the
    // right one as wide as the longest household position needs. Lists with long items take
    // their column's width under their caption.
    const int lx = 35, lw = 68, cw = 172; // left column: x, caption width, column width
    const int rx = 210, rw = 190;          // right column

    // Top of the personal half.
    label(this, "Search by name", lx, 30, 80);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName("Edit1");
    Edit1->setGeometry(lx + 80, 30, cw - 80, kField);
    Button7 = new QPushButton(">>> Show business and other info", this);
    Button7->setObjectName("Button7");
    Button7->setGeometry(rx, 29, rw, 22);

    // Left column.
    captionAbove(this, "Title", lx, 56, 60);
    addCombo(this, "", "Title", Vocabulary::titles(), true, lx, 56 + kAbove, 0, 60);
    captionAbove(this, "Name (required)", lx + 64, 56, cw - 64);
    NameEdit = addText(this, "", "Name", lx + 64, 56 + kAbove, 0, cw - 64);
    addOptions(this, "Gender", "Gender", Vocabulary::genders(), 1, QRect(lx, 96, 76, 56));
    addOptions(this, "Type", "PersonType", Vocabulary::personTypes(), 1, QRect(lx + 80, 96, 92, 56));
    addOptions(this, "Importance", "CustoemrImportance", Vocabulary::importances(), 3, QRect(lx, 154, cw, 40));
    Button2 = date(this, "Birthday", "Birthday", lx, 196, lw, cw - lw - 22);
    Button2->setObjectName("Button2");
    reminder(this, "Birthday reminder", "Breminder", lx + 2, 218);
    addText(this, "Language(s)", "Language", lx, 240, lw, cw - lw);
    captionAbove(this, "Income", lx, 262, cw);
    addCombo(this, "", "Income", Vocabulary::incomes(), false, lx, 262 + kAbove, 0, cw);
    captionAbove(this, "Level of education", lx, 300, cw);
    addCombo(this, "", "EducationLevel", Vocabulary::educationLevels(), false, lx, 300 + kAbove, 0, cw);
    captionAbove(this, "Profession", lx, 338, cw);
    auto prof = addCombo(this, "", "Profession", {}, true, lx, 338 + kAbove, 0, cw);
    ProfessionComboBox = prof.first;
    ProfessionComboBox->setObjectName("ProfessionComboBox");
    professionBinding = prof.second;

    // Right column: household and home address.
    const int gm = 3, glw = 80, gfw = rw - 2 * gm - glw; // inside the groups: margin, caption, field
    auto* household = new QGroupBox("Household", this);
    household->setObjectName("HouseholdGroup");
    household->setGeometry(rx, 56, rw, 150);
    captionAbove(household, "Household lifecycle position", gm, 18, rw - 2 * gm);
    addCombo(household, "", "Household", Vocabulary::households(), false, gm, 34, 0, rw - 2 * gm);
    addText(household, "Spouse/Partner", "Spouse", gm, 58, glw, gfw);
    Button6 = date(household, "Anniversary", "Anniversary", gm, 58 + kRow, glw, gfw - 22);
    Button6->setObjectName("Button6");
    addText(household, "Children", "Children", gm, 58 + 2 * kRow, glw, gfw);
    reminder(household, "Anniversary reminder", "Areminder", gm + 2, 58 + 3 * kRow);

    auto* home = new QGroupBox("Home address", this);
    home->setObjectName("HomeAddressGroup");
    home->setGeometry(rx, 212, rw, 162);
    const QStringList homeCaptions{"Street", "City", "State/Province", "Postal/ZIP", "Country", "P.O. box"};
    const QStringList homeColumns{"HAStreet", "HACity", "HAState", "HAPostalCode", "HACountry", "HAPostOfficeBox"};
    for (int i = 0; i < homeColumns.size(); ++i)
        addText(home, homeCaptions[i], homeColumns[i], gm, 18 + i * 23, glw, gfw, i == 2 || i == 3);

    // Telephones across the bottom of the half.
    auto* tel = new QGroupBox("Home and personal telephone(s), fax, email(s), and URL", this);
    tel->setObjectName("HomeTelephoneGroup");
    tel->setGeometry(lx, 378, 400 - lx, 132);
    const QStringList telCaptions{"Primary tel", "Mobile", "Tel 1", "Tel 2", "Fax"};
    const QStringList telColumns{"PrimaryTel", "Mobile", "TelH1", "TelH2", "FaxH"};
    for (int i = 0; i < telColumns.size(); ++i)
        addText(tel, telCaptions[i], telColumns[i], 6, 16 + i * kRow, 60, 106);
    Email1Edit = addText(tel, "Email 1", "Email1", 178, 16, 62, 96);
    SpeedButton19 = addLinkButton(tel, "SpeedButton19", "Send email", 338, 16);
    addText(tel, "Telex", "Telex", 178, 16 + kRow, 62, 96);
    Email2Edit = addText(tel, "Email 2", "Email2", 178, 16 + 2 * kRow, 62, 96);
    SpeedButton16 = addLinkButton(tel, "SpeedButton16", "Send email", 338, 16 + 2 * kRow);
    HomePageEdit = addText(tel, "Home page", "HomePage", 178, 16 + 3 * kRow, 62, 96);
    SpeedButton18 = addLinkButton(tel, "SpeedButton18", "Go to URL", 338, 16 + 3 * kRow);
}

void PeoplePage::buildBusinessHalf()
{
    // The half lies right of the collapsed window's edge; it is hidden, not only cut off, while
    // the window is collapsed, so nothing of it can take the focus.
    BusinessHalf = new QWidget(this);
    BusinessHalf->setObjectName("BusinessHalf");
    BusinessHalf->setGeometry(404, 0, 362, 504);
    QWidget* half = BusinessHalf;
    const int ax = 6, lw = 72, fw = 100;
    auto company = addCombo(half, "Company", "Company", {}, true, ax, 30, lw, fw);
    CompanyComboBox = company.first;
    CompanyComboBox->setObjectName("CompanyComboBox");
    companyBinding = company.second;
    addCombo(half, "Company size", "CompanySize", Vocabulary::companySizes(), false, ax, 30 + kRow, lw, fw);
    // The industries are long: the list takes the column's width under its caption.
    captionAbove(half, "Industry", ax, 74, lw + fw);
    addCombo(half, "", "Industry", Vocabulary::industries(), false, ax, 74 + kAbove, 0, lw + fw);
    addText(half, "Department", "Department", ax, 112, lw, fw);
    addText(half, "Job title", "JobTitle", ax, 112 + kRow, lw, fw);

    auto* address = new QGroupBox("Business address", half);
    address->setObjectName("BusinessAddressGroup");
    address->setGeometry(ax, 158, 172, 150);
    const QStringList captions{"Street", "City", "State/Province", "Postal/ZIP", "Country", "P.O. box"};
    const QStringList columns{"BAStreet", "BACity", "BAState", "BAPostalCode", "BACountry", "BAPostOfficeBox"};
    for (int i = 0; i < columns.size(); ++i)
        addText(address, captions[i], columns[i], 6, 16 + i * kRow, 74, 88, i == 2 || i == 3);
    const int bx = 184;
    addOptions(half, "Mailing address", "MailingAddress", Vocabulary::addressChoices(), 2, QRect(bx, 30, 176, 40));
    addOptions(half, "Billing address", "BillingAddress", Vocabulary::addressChoices(), 2, QRect(bx, 74, 176, 40));

    auto* colleagues = new QGroupBox("Business colleagues", half);
    colleagues->setObjectName("ColleaguesGroup");
    colleagues->setGeometry(bx, 118, 176, 64);
    addText(colleagues, "Assistant name", "AssistantName", 6, 16, 76, 88);
    addText(colleagues, "Manager name", "ManagerName", 6, 16 + kRow, 76, 88);

    auto* other = new QGroupBox("Other information", half);
    other->setObjectName("OtherInformationGroup");
    other->setGeometry(bx, 186, 176, 86);
    addText(other, "Ethnic interest", "Ethnic", 6, 16, 76, 88);
    addText(other, "Hobbies", "Hobbies", 6, 16 + kRow, 76, 88);
    addText(other, "Comments", "Info", 6, 16 + 2 * kRow, 76, 88);

    // Telephones across the half, in two columns.
    auto* tel = new QGroupBox("Business telephone(s), fax(es), and URL", half);
    tel->setObjectName("BusinessTelephoneGroup");
    tel->setGeometry(ax, 312, 354, 108);
    addText(tel, "Main tel", "TelMain", 6, 16, 52, 100);
    addText(tel, "Callback", "TelCallback", 6, 16 + kRow, 52, 100);
    addText(tel, "Tel 1", "TelB1", 6, 16 + 2 * kRow, 52, 100);
    addText(tel, "Tel 2", "TelB2", 6, 16 + 3 * kRow, 52, 100);
    auto* ext = new QGroupBox("Ext", tel);
    ext->setObjectName("ExtGroup");
    ext->setGeometry(162, 16 + 2 * kRow - 10, 42, 48);
    auto* extEdit = new QLineEdit(ext);
    extEdit->setObjectName("Ext");
    extEdit->setGeometry(4, 20, 34, kField);
    bindings << new TextFieldBinding(m_people, "Ext", extEdit);
    addText(tel, "Fax 1", "FaxB1", 212, 16, 46, 94);
    addText(tel, "Fax 2", "FaxB2", 212, 16 + kRow, 46, 94);
    WebPageEdit = addText(tel, "Web site", "WebPage", 212, 16 + 2 * kRow, 46, 72);
    SpeedButton17 = addLinkButton(tel, "SpeedButton17", "Go to URL", 332, 16 + 2 * kRow);

    auto* prospecting = new QGroupBox("Prospecting method used", half);
    prospecting->setObjectName("ProspectingGroup");
    prospecting->setGeometry(ax, 424, 354, 76);
    DBComboBox4 = new ListBox(prospecting);
    DBComboBox4->setObjectName("DBComboBox4");
    DBComboBox4->addItems(Vocabulary::prospectingMethods());
    DBComboBox4->setMaxVisibleItems(20);
    DBComboBox4->setGeometry(6, 18, 168, kField);
    bindings << new ComboBinding(m_people, "ProspectingMethod", DBComboBox4);
    Memo2 = new QPlainTextEdit(prospecting);
    Memo2->setObjectName("Memo2");
    Memo2->setReadOnly(true);
    Memo2->setFrameShape(QFrame::NoFrame);
    Memo2->setFocusPolicy(Qt::NoFocus);
    Memo2->setGeometry(178, 14, 172, 58);
    Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette pal = Memo2->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Button));
    pal.setColor(QPalette::Text, QColor(0, 0, 128));
    Memo2->setPalette(pal);

    // Columns bound only to hidden boxes: they keep whatever the database holds.
    SolutionComboBox = new QComboBox(this);
    SolutionComboBox->setObjectName("OfferedSolution");
    SolutionComboBox->setEditable(true);
    SolutionComboBox->hide();
    solutionBinding = new ComboBinding(m_people, "OfferedSolution", SolutionComboBox);
    bindings << solutionBinding;
    auto* address1 = new QLineEdit(this);
    address1->setObjectName("Address");
    address1->hide();
    bindings << new TextFieldBinding(m_people, "Address", address1);
}
