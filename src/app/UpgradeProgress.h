#pragma once
#include "data/SchemaUpgrade.h"

#include <QDialog>

#include <functional>
#include <optional>

class Connection;
class QLabel;
class QProgressBar;

// What a start shows while it brings a file from an earlier version up to this one's schema.
// The steps run on a handle of their own in another thread, so this window is painted and
// answers all along. It has no button: a step is done whole or not at all, and the steps are
// short enough to wait for; Escape and the close box leave them running.
class UpgradeProgress : public QDialog {
    Q_OBJECT
public:
    explicit UpgradeProgress(const QString& fileName, QWidget* parent = nullptr);

    QLabel* UpgradeLabel; // "Preparing Vantrel.vt for this version..."
    QLabel* UpgradeStep;  // the step being done
    QProgressBar* UpgradeBar;

    void showPart(int part, int parts, const QString& what);

    // Does the steps the file lacks with this window on the screen, and returns what came of
    // them; nothing when no second handle on the file could be opened (the start then does
    // them in place, as the data module does by itself).
    static std::optional<SchemaUpgrade::Outcome> run(Connection& connection);
    // Told once the window is on the screen, before the steps begin (tests, benchmarks).
    static void setObserver(std::function<void(UpgradeProgress&)> observer);

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool m_finished = false;
};
