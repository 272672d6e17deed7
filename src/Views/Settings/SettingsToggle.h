#pragma once

#include <QString>
#include <QWidget>

class Defaults;
class QAbstractButton;
class QLabel;

// A settings row: a title and a small switch. bindTo() ties the switch to a
// Boolean of the defaults database, both ways.
class SettingsToggle : public QWidget {
    Q_OBJECT
public:
    explicit SettingsToggle(const QString& title, QWidget* parent = nullptr);

    QString title() const;
    bool isOn() const;
    // Shows a value; emits nothing and writes nothing.
    void setOn(bool on);
    QAbstractButton* switchControl() const { return m_switch; }

    // Shows the value under key (defaultValue while none is stored, nothing
    // written), stores the user's changes and follows changes made elsewhere.
    void bindTo(Defaults& defaults, const QString& key, bool defaultValue);

Q_SIGNALS:
    void toggledByUser(bool on);

private:
    QLabel* m_title;
    QAbstractButton* m_switch;
};
