#pragma once

#include <QAbstractButton>

class PointerHover;

// The gear button that opens the settings card; connect its clicked signal to
// the window's showSettingsCard(). Shows a faint background while the pointer
// is over it.
class SettingsButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit SettingsButton(QWidget* parent = nullptr);

    bool isHovered() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PointerHover* m_hover;
};
