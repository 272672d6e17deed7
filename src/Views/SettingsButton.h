#pragma once

#include <QAbstractButton>

// The gear button that opens the settings card; connect its clicked signal to
// the window's showSettingsCard(). Shows a faint background while the pointer
// is over it.
class SettingsButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit SettingsButton(QWidget* parent = nullptr);

    bool isHovered() const { return m_hovered; }
    QSize sizeHint() const override;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_hovered = false;
};
