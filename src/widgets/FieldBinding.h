#pragma once
#include <QList>
#include <QObject>
#include <QPointer>
#include <QVariant>

class DataSource;
class Dataset;
class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QWidget;
class ColumnTextValidator;

// Ties one control to one column of a data source's current row. The first change the user
// makes puts the dataset into edit state (or starts a new row when it has none); after that,
// every change goes into the pending row.
class FieldBinding : public QObject {
    Q_OBJECT
public:
    FieldBinding(DataSource* source, const QString& column, QWidget* widget);
    QString column() const { return m_column; }
    QWidget* widget() const; // the control it ties
    Dataset* dataset() const;
    void read(); // shows the current value

protected:
    virtual void show(const QVariant& value) = 0;
    void write(const QVariant& value);
    bool m_showing = false;

private:
    DataSource* m_source;
    QString m_column;
    int m_index = -1;
};

// A one-line text field. Its width counts characters as the database does; pasted line breaks
// and control characters are dropped as typed ones are.
class TextFieldBinding : public FieldBinding {
    Q_OBJECT
public:
    TextFieldBinding(DataSource* source, const QString& column, QLineEdit* edit, bool upperCase = false);

protected:
    void show(const QVariant& value) override;

private:
    QLineEdit* m_edit;
    ColumnTextValidator* m_validator;
};

// A read-only display of a date column in the user's short date format.
class DateFieldBinding : public FieldBinding {
    Q_OBJECT
public:
    DateFieldBinding(DataSource* source, const QString& column, QLineEdit* edit);
    // The user's short format; a date of the year without a year (kNoYear) shows as month and day alone,
    // so that it is never read as a real year (04 for 2004).
    static QString format(const QVariant& value);

protected:
    void show(const QVariant& value) override;

private:
    QLineEdit* m_edit;
};

// An editable list stores any text, cut at the column's size; a fixed list stores only its own
// items, and a stored value that is no item shows as no choice.
class ComboBinding : public FieldBinding {
    Q_OBJECT
public:
    ComboBinding(DataSource* source, const QString& column, QComboBox* combo);
    void setItems(const QStringList& items); // keeps the shown value

protected:
    void show(const QVariant& value) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void matchItem(const QString& text);
    QComboBox* m_combo;
    ColumnTextValidator* m_validator = nullptr; // editable lists only
    int m_size = 0;
};

class OptionGroupBinding : public FieldBinding {
    Q_OBJECT
public:
    OptionGroupBinding(DataSource* source, const QString& column, QButtonGroup* group, QWidget* frame);

protected:
    void show(const QVariant& value) override;

private:
    QButtonGroup* m_group;
};

class CheckBoxBinding : public FieldBinding {
    Q_OBJECT
public:
    CheckBoxBinding(DataSource* source, const QString& column, QCheckBox* box);

protected:
    void show(const QVariant& value) override;

private:
    QCheckBox* m_box;
};
