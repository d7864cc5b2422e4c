#include "Tactics.h"

#include <array>
#include <initializer_list>
#include <utility>

namespace Tactics {
namespace {

const QString kOpinionLine = "- Always ask for customer's opinion.";

// One extra line: written when any of its (question, answer) conditions holds, the list is not
// the excluded one, and (for the opinion line) it has not been written yet.
struct Rule {
    std::initializer_list<std::pair<int, int>> anyOf;
    int notList; // -1: no list is excluded
    const char* line;
};

const std::initializer_list<Rule> kLessResponsive = {
    {{{14, 0}}, -1, "- Do not engage in social conversation."},
    {{{15, 0}}, 8, "- Avoid testimonials."},
    {{{16, 0}}, 8, "- Always ask for customer's opinion."},
    {{{17, 0}}, -1, "- Always discuss facts and logic."},
    {{{19, 0}}, -1, "- Use less sitting positions."},
    {{{22, 0}}, -1, "- Show great respect to dates, appointments, and schedules."},
    {{{23, 0}}, -1, "- Use less facial expressions."},
};

const std::initializer_list<Rule> kHighResponsive = {
    {{{14, 1}}, 7, "- Engage in social conversation."},
    {{{15, 1}, {18, 1}}, 7, "- Pay compliments."},
    {{{16, 1}}, -1, "- Discuss personal opinions."},
    {{{17, 1}}, 7, "- Reduce discussion of facts and logic."},
    {{{19, 1}}, 7, "- Use more sitting positions."},
    {{{23, 1}}, 7, "- Use more facial expressions."},
};

const std::initializer_list<Rule> kLessAssertive = {
    {{{1, 0}}, 6, "- Use asking mode rather than telling mode."},
    {{{2, 0}, {7, 0}}, 6, "- Let customer assumes control of the conversation often."},
    {{{3, 0}}, -1, "- Always ask for customer's opinion."},
    {{{8, 0}}, -1, "- Use moderate eye contact."},
    {{{9, 0}}, -1, "- Use moderate vocal intensity."},
};

const std::initializer_list<Rule> kHighAssertive = {
    {{{1, 1}}, 5, "- Volunteer only strong opinions that may lead to direct solutions."},
    {{{3, 1}, {4, 1}}, 5, "- Take positions on issues even if that disagrees with the customer."},
    {{{6, 1}}, 5, "- State ideas and proposals simply for quick understanding."},
    {{{8, 1}}, 5, "- Increase eye contact."},
    {{{9, 1}}, 5, "- Use great vocal intensity."},
    {{{10, 1}}, 5, "- Speak and move fast."},
};

const std::array<QStringList, 9> kBaseLines = {
    QStringList{},
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
    {"- Discard telling your opinions.", "- Avoid testimonials."},
};

// Which rule sets lists 1 to 8 get, in this order.
struct RuleSetChoice {
    std::initializer_list<int> lists;
    const std::initializer_list<Rule>* rules;
};
const std::array<RuleSetChoice, 4> kRuleSets = {{
    {{1, 3, 8}, &kLessResponsive},
    {{2, 4, 7}, &kHighResponsive},
    {{3, 4, 6}, &kLessAssertive},
    {{1, 2, 5}, &kHighAssertive},
}};

class Writer {
public:
    Writer(const QVector<int>& answers, Result& result) : m_answers(answers), m_result(result) {}

    int q(int n) const { return m_answers.value(n - 1, -1); }

    void run(const std::initializer_list<Rule>& rules, int list)
    {
        for (const Rule& rule : rules) {
            bool holds = false;
            for (const auto& [question, answer] : rule.anyOf)
                holds = holds || q(question) == answer;
            if (!holds || list == rule.notList)
                continue;
            if (rule.line == kOpinionLine) {
                if (m_result.opinionLineAdded)
                    continue;
                m_result.opinionLineAdded = true;
            }
            m_result.lines << QString::fromUtf8(rule.line);
        }
    }

    int count(std::initializer_list<int> questions, int answer) const
    {
        int n = 0;
        for (int question : questions)
            n += q(question) == answer ? 1 : 0;
        return n;
    }

    // List 0: lean each axis by counting the answers that would produce lines of either set.
    void zeroAssertive()
    {
        const int low = count({1, 3, 8, 9, 2, 7, 16}, 0);
        const int high = count({1, 3, 8, 9, 10, 4, 6}, 1);
        bool highSet;
        if (low != high)
            highSet = low < high;
        else if (q(3) == 1 && q(4) == 1)
            highSet = true;
        else if (q(2) == 0 && q(7) == 0)
            highSet = false;
        else if (q(3) == 0 && q(16) == 0)
            highSet = false;
        else
            highSet = q(3) == 0;
        run(highSet ? kHighAssertive : kLessAssertive, 0);
    }

    void zeroResponsive()
    {
        const int low = count({14, 15, 16, 17, 19, 23, 22}, 0);
        const int high = count({14, 15, 16, 17, 19, 23, 18}, 1);
        const bool highSet = low != high ? low < high : (q(15) == 1 || q(18) == 1);
        run(highSet ? kHighResponsive : kLessResponsive, 0);
    }

private:
    const QVector<int>& m_answers;
    Result& m_result;
};

} // namespace

int listFor(int a, int r)
{
    if (a > 0)
        return r < 0 ? 1 : (r > 0 ? 2 : 5);
    if (a < 0)
        return r < 0 ? 3 : (r > 0 ? 4 : 6);
    return r > 0 ? 7 : (r < 0 ? 8 : 0);
}

Result calculate(const QVector<int>& answers)
{
    Result result;
    Writer writer(answers, result);
    for (int n = 1; n <= 24; ++n) {
        const int answer = writer.q(n);
        if (answer == -1) {
            result.lines = {n <= 12 ? "No suggested tactics. Please answer all questions in Assertiveness and "
                                      "Responsiveness tabs."
                                    : "Please answer all questions in Assertiveness and Responsiveness tabs."};
            return result;
        }
        int& score = n <= 12 ? result.assertiveness : result.responsiveness;
        score += answer == 1 ? 1 : -1;
    }
    result.list = listFor(result.assertiveness, result.responsiveness);
    result.lines = kBaseLines[result.list];
    if (result.list == 0) {
        writer.zeroAssertive();
        writer.zeroResponsive();
        return result;
    }
    for (const RuleSetChoice& choice : kRuleSets)
        for (int list : choice.lists)
            if (list == result.list)
                writer.run(*choice.rules, result.list);
    return result;
}

} // namespace Tactics
