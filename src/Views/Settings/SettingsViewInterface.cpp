// The Interface tab of the settings view.

#include "Views/Settings/SettingsView.h"

#include "Models/CalcSettings.h"
#include "Platform/Defaults.h"
#include "Platform/NotificationCenter.h"
#include "Views/Window/ColumnLayout.h"
#include "Views/Settings/SettingsSymbols.h"
#include "Views/Settings/SettingsToggle.h"
#include "Views/Settings/SettingsViewParts.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

using SettingsLook::Tone;

namespace {

const QString sumKeywordKey = QStringLiteral("sumKeyword");
const QString defaultSumKeyword = QStringLiteral("Summe");

// A control with its explanation close beneath it.
QVBoxLayout* explained(QWidget* control, QLayout* controlRow, const QString& explanation, QWidget* page)
{
    auto* group = new QVBoxLayout;
    group->setSpacing(8);
    if (control)
        group->addWidget(control);
    if (controlRow)
        group->addLayout(controlRow);
    QLabel* text = SettingsLook::caption(explanation, 11, Tone::tertiary, page);
    text->setWordWrap(true);
    group->addWidget(text);
    return group;
}

} // namespace

QWidget* SettingsView::buildInterfaceContent()
{
    auto* page = new QWidget;
    auto* column = namedColumn(page, QStringLiteral("interfaceContent"), 20, 16);

    auto* formatRow = SettingsLook::titledRow(QStringLiteral("Number Format"), 13, page);
    m_decimalStyle = new QComboBox(page);
    m_decimalStyle->setObjectName(QStringLiteral("decimalStyle"));
    m_decimalStyle->setAccessibleName(QStringLiteral("Number Format"));
    m_decimalStyle->setFixedWidth(190);
    for (const DecimalStyle style : allDecimalStyles())
        m_decimalStyle->addItem(displayName(style), rawValue(style));
    connect(m_decimalStyle, &QComboBox::activated, this, [this](int index) {
        const QList<DecimalStyle> styles = allDecimalStyles();
        if (index >= 0 && index < styles.size())
            m_settings.setDecimalStyle(styles[index]);
    });
    connect(&m_settings, &CalcSettings::decimalStyleChanged, page, [this] { refreshInterface(); });
    formatRow->addWidget(m_decimalStyle);
    column->addLayout(explained(nullptr, formatRow,
                                QStringLiteral("Decimal separator for typing: German uses comma (1.000,50), US/UK "
                                               "uses period (1,000.50)"),
                                page));
    column->addWidget(SettingsLook::divider(page));

    struct Switch {
        QString title;
        QString key;
        bool defaultValue;
        QString explanation;
    };
    const Switch switches[] = {
        {QStringLiteral("Light Mode Canvas"), QStringLiteral("canvasLightMode"), false,
         QStringLiteral("Use white background for canvas (dark mode is default)")},
        {QStringLiteral("Auto-hide Toolbar"), QStringLiteral("autoHideToolbar"), true,
         QStringLiteral("Show toolbar when mouse moves to top of window")},
        {QStringLiteral("Auto-show Sidebar"), QStringLiteral("autoShowSidebar"), true,
         QStringLiteral("Show sidebar when mouse moves to left edge of window")},
    };
    for (const Switch& item : switches) {
        auto* toggle = new SettingsToggle(item.title, page);
        toggle->setObjectName(item.key);
        toggle->bindTo(m_defaults, item.key, item.defaultValue);
        column->addLayout(explained(toggle, nullptr, item.explanation, page));
        column->addWidget(SettingsLook::divider(page));
    }

    auto* keywordRow = SettingsLook::titledRow(QStringLiteral("Sum Keyword"), 13, page);
    m_sumKeyword = new QLineEdit(page);
    m_sumKeyword->setObjectName(sumKeywordKey);
    m_sumKeyword->setAccessibleName(QStringLiteral("Sum Keyword"));
    m_sumKeyword->setPlaceholderText(defaultSumKeyword);
    m_sumKeyword->setStyleSheet(SettingsLook::fieldStyleSheet());
    m_sumKeyword->setFixedWidth(120);
    m_sumKeyword->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Stored exactly as typed, at every keystroke: spaces, case and an empty text alike.
    connect(m_sumKeyword, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_defaults.setValue(sumKeywordKey, text); });
    keywordRow->addWidget(m_sumKeyword);
    column->addLayout(explained(nullptr, keywordRow,
                                QStringLiteral("Typing this word as a row label auto-sums all rows above"), page));
    column->addWidget(SettingsLook::divider(page));

    auto* feedback = new QToolButton(page);
    feedback->setObjectName(QStringLiteral("feedbackButton"));
    feedback->setText(QStringLiteral("Feedback senden …"));
    feedback->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    feedback->setIcon(settingsSymbolIcon(QStringLiteral("envelope.badge"), SettingsLook::accentColor(), 14));
    feedback->setIconSize(QSize(14, 14));
    feedback->setAutoRaise(true);
    feedback->setCursor(Qt::PointingHandCursor);
    feedback->setStyleSheet(QStringLiteral(
        "QToolButton { color: #0a84ff; border: none; padding: 0px; font-size: 13px; }"
        " QToolButton:hover { color: #409cff; }"));
    connect(feedback, &QToolButton::clicked, this,
            [] { NotificationCenter::defaultCenter().post(CommandNotification::showFeedbackSheet); });
    column->addWidget(feedback, 0, Qt::AlignLeft);

    refreshInterface();
    return page;
}

void SettingsView::refreshInterface()
{
    const QList<DecimalStyle> styles = allDecimalStyles();
    m_decimalStyle->setCurrentIndex(int(styles.indexOf(m_settings.decimalStyle())));
    refreshSumKeyword();
}

void SettingsView::refreshSumKeyword()
{
    const QString keyword = m_defaults.stringValue(sumKeywordKey).value_or(defaultSumKeyword);
    if (m_sumKeyword->text() != keyword)
        m_sumKeyword->setText(keyword);
}
