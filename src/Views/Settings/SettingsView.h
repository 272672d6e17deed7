#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>

class CalcSettings;
class CloudService;
class Defaults;
class QAbstractButton;
class QCheckBox;
class QComboBox;
class QGraphicsOpacityEffect;
class QLabel;
class QLineEdit;
class QToolButton;
class QVBoxLayout;
class QVariantAnimation;
class SettingsToggle;

// The settings: a strip of four tabs with a close button, and below it the
// chosen tab ("Tax Rates", "Currency", "Sync", "Interface"). Shown as the
// settings window and as the card over the main window. Every control writes
// at once, through the settings object or the defaults database, and follows
// changes made elsewhere (another settings view, for one). Building the view
// writes nothing.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    // The settings window's view: shared settings, standard defaults, no dismiss action.
    explicit SettingsView(QWidget* parent = nullptr);
    // The card's view: onDismiss runs on the close button and on Escape.
    SettingsView(std::function<void()> onDismiss, CalcSettings& settings, QWidget* parent = nullptr);
    // Over an explicit defaults database (tests, and a window over its own).
    SettingsView(std::function<void()> onDismiss, CalcSettings& settings, Defaults& defaults,
                 QWidget* parent = nullptr);
    ~SettingsView() override;

    static const QStringList& tabs();
    // How long the highlight and the content take to change tabs.
    static constexpr int tabAnimationMilliseconds = 150;

    void setOnDismiss(std::function<void()> onDismiss) { m_onDismiss = std::move(onDismiss); }
    // The cloud whose mirroring the Sync tab describes (the machine's by default).
    void setCloudService(CloudService& cloud);

    int selectedTab() const { return m_selectedTab; }
    // As pressing the tab's button: a change animates; the shown tab again changes nothing.
    void setSelectedTab(int index);
    QAbstractButton* tabButton(int index) const;
    QAbstractButton* closeButton() const;
    // The tab's content; none until it was first shown.
    QWidget* tabContent(int index) const;
    // Whether the tab change's animation still runs.
    bool isAnimatingTabChange() const;

Q_SIGNALS:
    void selectedTabChanged(int index);

protected:
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct TaxRow {
        QWidget* row = nullptr;
        QCheckBox* enabled = nullptr;
        QLineEdit* label = nullptr;
        QLineEdit* rate = nullptr;
        QGraphicsOpacityEffect* dim = nullptr;
    };

    void build();
    QWidget* buildTabStrip();
    void showTab(int index, bool animated);
    QWidget* buildTab(int index);
    void refreshTab(int index);

    // Tax Rates and Currency.
    QWidget* buildTaxContent();
    QWidget* buildCurrencyContent();
    void refreshTaxRows();
    void commitRate(int index);
    void commitTypedRates();
    void refreshCurrencies();
    void refreshInterval();
    void refreshRatesStatus();
    void refreshLoading();
    void refreshRatesError();

    // Sync.
    QWidget* buildSyncContent();
    void refreshSync();

    // Interface.
    QWidget* buildInterfaceContent();
    void refreshInterface();
    void refreshSumKeyword();

    void defaultsChanged(const QString& key);

    std::function<void()> m_onDismiss;
    CalcSettings& m_settings;
    Defaults& m_defaults;
    int m_selectedTab = 0;

    QList<QAbstractButton*> m_tabButtons;
    QToolButton* m_closeButton = nullptr;
    QVBoxLayout* m_contentLayout = nullptr;
    std::array<QWidget*, 4> m_pages{};
    QPointer<QVariantAnimation> m_contentFade;

    std::array<TaxRow, 3> m_taxRows{};
    QLabel* m_taxLabelRefusal = nullptr; // why a typed label was not taken
    QList<QCheckBox*> m_currencyBoxes;
    QComboBox* m_interval = nullptr;
    QLabel* m_ratesStatus = nullptr;
    QLabel* m_nextRefresh = nullptr;
    QToolButton* m_refreshButton = nullptr;
    QWidget* m_spinner = nullptr;
    QLabel* m_ratesError = nullptr;

    SettingsToggle* m_syncToggle = nullptr;
    QLabel* m_syncIcon = nullptr;
    QLabel* m_syncText = nullptr;
    CloudService* m_cloud = nullptr;

    QComboBox* m_decimalStyle = nullptr;
    QLineEdit* m_sumKeyword = nullptr;
};
