#include "profile/Tactics.h"

#include <QTest>

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
