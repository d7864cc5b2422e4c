#include "profile/Tactics.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>

namespace {
// Answers from a pattern of 24 characters: '1' second choice, '0' first choice, '-' unanswered.
QVector<int> answers(const char* pattern)
{
    QVector<int> a;
    for (const char* c = pattern; *c; ++c)
        if (*c != ' ')
            a << (*c == '-' ? -1 : *c - '0');
    return a;
}

const QString kOpinion = "- Always ask for customer's opinion.";

// The tactics tables as they are written down, row by row, worked through the plain way: what
// the program must say for any answers.
namespace Written {
struct Row {
    int q1, a1, q2, a2; // condition: Q[q1] = a1, or Q[q2] = a2 when q2 > 0
    int notList;        // the list that already holds the line; 0 for none
    const char* line;
};
const QList<Row> lessResponsive{
    {14, 0, 0, 0, 0, "- Do not engage in social conversation."},
    {15, 0, 0, 0, 8, "- Avoid testimonials."},
    {16, 0, 0, 0, 8, "- Always ask for customer's opinion."},
    {17, 0, 0, 0, 0, "- Always discuss facts and logic."},
    {19, 0, 0, 0, 0, "- Use less sitting positions."},
    {22, 0, 0, 0, 0, "- Show great respect to dates, appointments, and schedules."},
    {23, 0, 0, 0, 0, "- Use less facial expressions."}};
const QList<Row> highResponsive{
    {14, 1, 0, 0, 7, "- Engage in social conversation."},
    {15, 1, 18, 1, 7, "- Pay compliments."},
    {16, 1, 0, 0, 0, "- Discuss personal opinions."},
    {17, 1, 0, 0, 7, "- Reduce discussion of facts and logic."},
    {19, 1, 0, 0, 7, "- Use more sitting positions."},
    {23, 1, 0, 0, 7, "- Use more facial expressions."}};
const QList<Row> lessAssertive{
    {1, 0, 0, 0, 6, "- Use asking mode rather than telling mode."},
    {2, 0, 7, 0, 6, "- Let customer assumes control of the conversation often."},
    {3, 0, 0, 0, 0, "- Always ask for customer's opinion."},
    {8, 0, 0, 0, 0, "- Use moderate eye contact."},
    {9, 0, 0, 0, 0, "- Use moderate vocal intensity."}};
const QList<Row> highAssertive{
    {1, 1, 0, 0, 5, "- Volunteer only strong opinions that may lead to direct solutions."},
    {3, 1, 4, 1, 5, "- Take positions on issues even if that disagrees with the customer."},
    {6, 1, 0, 0, 5, "- State ideas and proposals simply for quick understanding."},
    {8, 1, 0, 0, 5, "- Increase eye contact."},
    {9, 1, 0, 0, 5, "- Use great vocal intensity."},
    {10, 1, 0, 0, 5, "- Speak and move fast."}};
const QList<QStringList> base{
    {},
    {"- Use a direct, business-organized approach.", "- Act and follow up quickly.",
     "- Emphasize effects of purchase decision on profits."},
    {"- Demonstrate how the product/solution helps achieve personal recognition.",
     "- Use creative graphics and product demos heavily.", "- Use testimonials.",
     "- Always try to approach with new types of products."},
    {"- Use solid tangible evidence.", "- Emphasize long-term benefits.",
     "- Demonstration and presentation should emphasize person's technical experience.",
     "- Reduce risk by providing information and logical arguments."},
    {"- Build personal relationships.", "- Give guarantees for product performance.",
     "- Stress product's benefits in terms of effects on the satisfaction of employees."},
    {"- State ideas and proposals simply for quick understanding.",
     "- Volunteer only strong opinions that may lead to direct solutions.",
     "- Take positions on issues even if that disagrees with the customer.", "- Speak and move fast.",
     "- Use great vocal intensity.", "- Increase eye contact."},
    {"- Use asking mode rather than telling mode.", "- Let customer assumes control of the conversation often."},
    {"- Pay compliments.", "- Engage in social conversation.", "- Reduce discussion of facts and logic.",
     "- Use more facial expressions.", "- Use more sitting positions."},
    {"- Discard telling your opinions.", "- Avoid testimonials."}};

QStringList tactics(const QVector<int>& a, int* listOut)
{
    auto Q = [&](int n) { return a[n - 1]; };
    int as = 0, rs = 0;
    for (int n = 1; n <= 24; ++n) {
        if (Q(n) == -1)
            return {n <= 12 ? "No suggested tactics. Please answer all questions in Assertiveness and Responsiveness tabs."
                            : "Please answer all questions in Assertiveness and Responsiveness tabs."};
        (n <= 12 ? as : rs) += Q(n) == 1 ? 1 : -1;
    }
    int list = 0;
    if (as > 0 && rs < 0) list = 1;
    else if (as > 0 && rs > 0) list = 2;
    else if (as < 0 && rs < 0) list = 3;
    else if (as < 0 && rs > 0) list = 4;
    else if (as > 0) list = 5;
    else if (as < 0) list = 6;
    else if (rs > 0) list = 7;
    else if (rs < 0) list = 8;
    *listOut = list;
    QStringList out = base[list];
    bool opinion = false;
    auto run = [&](const QList<Row>& rows) {
        for (const Row& r : rows) {
            if (!(Q(r.q1) == r.a1 || (r.q2 > 0 && Q(r.q2) == r.a2)))
                continue;
            if (r.notList != 0 && list == r.notList)
                continue;
            if (QString(r.line) == kOpinion) {
                if (opinion)
                    continue;
                opinion = true;
            }
            out << r.line;
        }
    };
    auto count = [&](std::initializer_list<int> qs, int answer) {
        int c = 0;
        for (int q : qs)
            c += Q(q) == answer;
        return c;
    };
    if (list == 0) {
        const int low = count({1, 3, 8, 9, 2, 7, 16}, 0), high = count({1, 3, 8, 9, 10, 4, 6}, 1);
        if (low < high) run(highAssertive);
        else if (low > high) run(lessAssertive);
        else if (Q(3) == 1 && Q(4) == 1) run(highAssertive);
        else if (Q(2) == 0 && Q(7) == 0) run(lessAssertive);
        else if (Q(3) == 0 && Q(16) == 0) run(lessAssertive);
        else if (Q(3) == 0) run(highAssertive);
        else run(lessAssertive);
        const int rlow = count({14, 15, 16, 17, 19, 23, 22}, 0), rhigh = count({14, 15, 16, 17, 19, 23, 18}, 1);
        if (rlow < rhigh) run(highResponsive);
        else if (rlow > rhigh) run(lessResponsive);
        else if (Q(15) == 1 || Q(18) == 1) run(highResponsive);
        else run(lessResponsive);
        return out;
    }
    if (list == 1 || list == 3 || list == 8) run(lessResponsive);
    if (list == 2 || list == 4 || list == 7) run(highResponsive);
    if (list == 3 || list == 4 || list == 6) run(lessAssertive);
    if (list == 1 || list == 2 || list == 5) run(highAssertive);
    return out;
}

// Answers with the given number of second choices in each half, in random places.
QVector<int> withOnes(QRandomGenerator& rng, int assertive, int responsive)
{
    QVector<int> a(24, 0);
    for (int half = 0; half < 2; ++half) {
        QVector<int> places{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
        std::shuffle(places.begin(), places.end(), rng);
        for (int i = 0; i < (half == 0 ? assertive : responsive); ++i)
            a[half * 12 + places[i]] = 1;
    }
    return a;
}
} // namespace Written
} // namespace

class TestTactics : public QObject {
    Q_OBJECT
private slots:
    void listFromTheSignsOfTheScores()
    {
        QCOMPARE(Tactics::listFor(2, -2), 1);
        QCOMPARE(Tactics::listFor(2, 2), 2);
        QCOMPARE(Tactics::listFor(-2, -2), 3);
        QCOMPARE(Tactics::listFor(-2, 2), 4);
        QCOMPARE(Tactics::listFor(2, 0), 5);
        QCOMPARE(Tactics::listFor(-2, 0), 6);
        QCOMPARE(Tactics::listFor(0, 2), 7);
        QCOMPARE(Tactics::listFor(0, -2), 8);
        QCOMPARE(Tactics::listFor(0, 0), 0);
    }

    void linesForAnswerPatterns_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("list");
        QTest::addColumn<QStringList>("lines");

        QTest::newRow("all second choices")
            << "111111111111 111111111111" << 2
            << QStringList{"- Demonstrate how the product/solution helps achieve personal recognition.",
                           "- Use creative graphics and product demos heavily.", "- Use testimonials.",
                           "- Always try to approach with new types of products.", "- Engage in social conversation.",
                           "- Pay compliments.", "- Discuss personal opinions.",
                           "- Reduce discussion of facts and logic.", "- Use more sitting positions.",
                           "- Use more facial expressions.",
                           "- Volunteer only strong opinions that may lead to direct solutions.",
                           "- Take positions on issues even if that disagrees with the customer.",
                           "- State ideas and proposals simply for quick understanding.", "- Increase eye contact.",
                           "- Use great vocal intensity.", "- Speak and move fast."};
        QTest::newRow("all first choices")
            << "000000000000 000000000000" << 3
            << QStringList{"- Use solid tangible evidence.", "- Emphasize long-term benefits.",
                           "- Demonstration and presentation should emphasize person's technical experience.",
                           "- Reduce risk by providing information and logical arguments.",
                           "- Do not engage in social conversation.", "- Avoid testimonials.", kOpinion,
                           "- Always discuss facts and logic.", "- Use less sitting positions.",
                           "- Show great respect to dates, appointments, and schedules.",
                           "- Use less facial expressions.", "- Use asking mode rather than telling mode.",
                           "- Let customer assumes control of the conversation often.", "- Use moderate eye contact.",
                           "- Use moderate vocal intensity."};
        QTest::newRow("assertive, not responsive")
            << "111111111111 000000000000" << 1
            << QStringList{"- Use a direct, business-organized approach.", "- Act and follow up quickly.",
                           "- Emphasize effects of purchase decision on profits.",
                           "- Do not engage in social conversation.", "- Avoid testimonials.", kOpinion,
                           "- Always discuss facts and logic.", "- Use less sitting positions.",
                           "- Show great respect to dates, appointments, and schedules.",
                           "- Use less facial expressions.",
                           "- Volunteer only strong opinions that may lead to direct solutions.",
                           "- Take positions on issues even if that disagrees with the customer.",
                           "- State ideas and proposals simply for quick understanding.", "- Increase eye contact.",
                           "- Use great vocal intensity.", "- Speak and move fast."};
        QTest::newRow("both scores zero")
            << "111111000000 111111000000" << 0
            << QStringList{"- Volunteer only strong opinions that may lead to direct solutions.",
                           "- Take positions on issues even if that disagrees with the customer.",
                           "- State ideas and proposals simply for quick understanding.",
                           "- Engage in social conversation.", "- Pay compliments.", "- Discuss personal opinions.",
                           "- Reduce discussion of facts and logic."};
        QTest::newRow("question 7 unanswered")
            << "111111-11111 111111111111" << -1
            << QStringList{"No suggested tactics. Please answer all questions in Assertiveness and Responsiveness tabs."};
        QTest::newRow("question 20 unanswered")
            << "111111111111 1111111-1111" << -1
            << QStringList{"Please answer all questions in Assertiveness and Responsiveness tabs."};
        QTest::newRow("both unanswered: the first decides")
            << "-11111111111 -11111111111" << -1
            << QStringList{"No suggested tactics. Please answer all questions in Assertiveness and Responsiveness tabs."};
        // Assertiveness 4, responsiveness 0: list 5 gets its own six lines and no others.
        QTest::newRow("list 5")
            << "111111110000 111111000000" << 5
            << QStringList{"- State ideas and proposals simply for quick understanding.",
                           "- Volunteer only strong opinions that may lead to direct solutions.",
                           "- Take positions on issues even if that disagrees with the customer.",
                           "- Speak and move fast.", "- Use great vocal intensity.", "- Increase eye contact."};
        // Assertiveness -4, responsiveness 0: list 6 then the low-assertiveness extras it lacks.
        QTest::newRow("list 6")
            << "000000001111 000000111111" << 6
            << QStringList{"- Use asking mode rather than telling mode.",
                           "- Let customer assumes control of the conversation often.", kOpinion,
                           "- Use moderate eye contact."};
        // Assertiveness 0, responsiveness 4: list 7 adds only the personal opinions line.
        QTest::newRow("list 7")
            << "111111000000 111111110000" << 7
            << QStringList{"- Pay compliments.", "- Engage in social conversation.",
                           "- Reduce discussion of facts and logic.", "- Use more facial expressions.",
                           "- Use more sitting positions.", "- Discuss personal opinions."};
        // Assertiveness 0, responsiveness -4: list 8 keeps its own testimonial line and no opinion line.
        QTest::newRow("list 8")
            << "111111000000 000000001111" << 8
            << QStringList{"- Discard telling your opinions.", "- Avoid testimonials.",
                           "- Do not engage in social conversation.", "- Always discuss facts and logic.",
                           "- Use less sitting positions."};
        // Not assertive, responsive: list 4, high responsiveness then low assertiveness.
        QTest::newRow("list 4")
            << "000000000000 111111111111" << 4
            << QStringList{"- Build personal relationships.", "- Give guarantees for product performance.",
                           "- Stress product's benefits in terms of effects on the satisfaction of employees.",
                           "- Engage in social conversation.", "- Pay compliments.", "- Discuss personal opinions.",
                           "- Reduce discussion of facts and logic.", "- Use more sitting positions.",
                           "- Use more facial expressions.", "- Use asking mode rather than telling mode.",
                           "- Let customer assumes control of the conversation often.", kOpinion,
                           "- Use moderate eye contact.", "- Use moderate vocal intensity."};
        // List 0 with ties of 4 to 4 on both axes: Q2 and Q7 both 0 lean to low assertiveness, Q15
        // answered 1 leans to high responsiveness.
        QTest::newRow("list 0, ties")
            << "100111010010 011101011000" << 0
            << QStringList{"- Let customer assumes control of the conversation often.", kOpinion,
                           "- Use moderate vocal intensity.", "- Engage in social conversation.", "- Pay compliments.",
                           "- Discuss personal opinions."};
    }
    // Every row of every table, the tie rules of both axes and the last-question boundaries:
    // thousands of answer sets, each compared with the tables worked through by hand.
    void everyRowOfTheTablesHolds_data()
    {
        QTest::addColumn<int>("assertive"); // second choices among questions 1 to 12; -1: any
        QTest::addColumn<int>("responsive");
        QTest::newRow("any answers") << -1 << -1;
        QTest::newRow("both scores zero") << 6 << 6;
        QTest::newRow("assertiveness zero, responsive") << 6 << 7;
        QTest::newRow("assertiveness zero, not responsive") << 6 << 5;
        QTest::newRow("responsiveness zero, assertive") << 7 << 6;
        QTest::newRow("responsiveness zero, not assertive") << 5 << 6;
        QTest::newRow("just assertive and responsive") << 7 << 7;
        QTest::newRow("just not assertive, not responsive") << 5 << 5;
        QTest::newRow("just assertive, not responsive") << 7 << 5;
        QTest::newRow("just not assertive, responsive") << 5 << 7;
    }
    void everyRowOfTheTablesHolds()
    {
        QFETCH(int, assertive);
        QFETCH(int, responsive);
        QRandomGenerator rng(20240601u + assertive * 31 + responsive);
        QSet<int> listsSeen;
        for (int i = 0; i < 6000; ++i) {
            QVector<int> a = assertive < 0 ? Written::withOnes(rng, rng.bounded(13), rng.bounded(13))
                                           : Written::withOnes(rng, assertive, responsive);
            int list = -1;
            const QStringList expected = Written::tactics(a, &list);
            const Tactics::Result got = Tactics::calculate(a);
            if (got.lines != expected) {
                QString pattern;
                for (int v : a)
                    pattern += QString::number(v);
                QFAIL(qPrintable(QString("answers %1 (list %2):\n got %3\n want %4")
                                     .arg(pattern).arg(list).arg(got.lines.join(" | "), expected.join(" | "))));
            }
            QCOMPARE(got.list, list);
            QCOMPARE(got.opinionLineAdded, expected.contains(kOpinion));
            listsSeen << list;
        }
        if (assertive < 0)
            QCOMPARE(listsSeen.size(), 9);
    }

    void theFirstUnansweredQuestionDecides()
    {
        QRandomGenerator rng(7);
        for (int n = 1; n <= 24; ++n) {
            for (int later = n; later <= 25; ++later) {
                QVector<int> a = Written::withOnes(rng, rng.bounded(13), rng.bounded(13));
                a[n - 1] = -1;
                if (later <= 24)
                    a[later - 1] = -1;
                const QStringList lines = Tactics::calculate(a).lines;
                QCOMPARE(lines.size(), 1);
                QCOMPARE(lines[0].startsWith("No suggested tactics. "), n <= 12);
                QCOMPARE(Tactics::calculate(a).list, -1);
            }
        }
    }

    void linesForAnswerPatterns()
    {
        QFETCH(QString, pattern);
        QFETCH(int, list);
        QFETCH(QStringList, lines);
        const Tactics::Result r = Tactics::calculate(answers(pattern.toLatin1().constData()));
        QCOMPARE(r.list, list);
        QCOMPARE(r.lines, lines);
        QCOMPARE(r.lines.count(kOpinion) <= 1, true);
    }
};

QTEST_GUILESS_MAIN(TestTactics)
#include "tst_tactics.moc"
