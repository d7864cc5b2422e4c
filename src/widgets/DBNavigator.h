#pragma once
#include <QWidget>

#include <functional>

class DataSource;
class Dataset;
class QToolButton;

// A flat bar of buttons that move through a dataset and edit it: first, prior, next, last,
// insert, delete, post, cancel and refresh. Each is enabled only when it can do something.
class DBNavigator : public QWidget {
    Q_OBJECT
public:
    enum class Button { First, Prior, Next, Last, Insert, Delete, Post, Cancel, Refresh };
    static constexpr int kButtons = 9;

    explicit DBNavigator(DataSource* source, QWidget* parent = nullptr);
    QToolButton* button(Button which) const { return m_buttons[int(which)]; }
    void click(Button which);

    // A grid writes its open cell first (false stops the command), or drops it for Cancel.
    std::function<bool()> commitPending;
    std::function<void()> discardPending;
    std::function<void()> finished; // after every command, e.g. to reopen the grid's cell editor

    // The question every delete of a row asks first: true for OK.
    static bool confirmDelete();

public slots:
    void updateButtons();

protected:
    void showEvent(QShowEvent* event) override;

private:
    Dataset* dataset() const;

    DataSource* m_source;
    QToolButton* m_buttons[kButtons];
};
