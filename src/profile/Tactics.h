#pragma once
#include <QStringList>
#include <QVector>

// Scores the 24 answers (question n at index n-1: -1 unanswered, 0 first choice, 1 second
// choice), picks one of the nine tactic lists and writes its lines.
namespace Tactics {

struct Result {
    QStringList lines;
    int list = -1;          // -1 when a question is unanswered
    int assertiveness = 0;
    int responsiveness = 0;
    bool opinionLineAdded = false;
};

int listFor(int assertiveness, int responsiveness);
Result calculate(const QVector<int>& answers);

} // namespace Tactics
