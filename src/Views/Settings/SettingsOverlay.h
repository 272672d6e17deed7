#pragma once

#include <QPointer>
#include <QWidget>

class CalcSettings;
class Defaults;
class QGraphicsOpacityEffect;
class QScrollArea;
class QVariantAnimation;
class SettingsView;

// The settings as a card over a host widget (the main window, below its menu
// bar), behind it a dimmed backdrop. A click on the backdrop, the card's close
// button or Escape closes the card with a short fade. Each opening makes a new
// settings view, so the card always opens on its first tab.
class SettingsOverlay : public QWidget {
    Q_OBJECT
public:
    explicit SettingsOverlay(QWidget* host);
    // Over explicit settings and defaults (tests).
    SettingsOverlay(QWidget* host, CalcSettings& settings, Defaults& defaults);
    ~SettingsOverlay() override;

    static constexpr int fadeOutMilliseconds = 200;
    static constexpr int cardTopMargin = 50;

    bool isPresented() const { return m_presented; }
    // True shows the card at once; false closes it with the fade.
    void setPresented(bool presented);
    // The card's view while the card is presented.
    SettingsView* settingsView() const { return m_view; }
    QWidget* card() const { return m_card; }
    bool isFading() const;

Q_SIGNALS:
    void presentedChanged(bool presented);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void coverHost();
    void placeCard();
    void finishClosing();

    QWidget* m_host;
    CalcSettings& m_settings;
    Defaults& m_defaults;
    QWidget* m_card = nullptr;
    QScrollArea* m_scroll = nullptr;
    QPointer<SettingsView> m_view;
    QPointer<QWidget> m_focusBefore;
    QPointer<QVariantAnimation> m_fade;
    bool m_presented = false;
};
