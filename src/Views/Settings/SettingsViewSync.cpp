// The Sync tab of the settings view.

#include "Views/Settings/SettingsView.h"

#include "Platform/CloudService.h"
#include "Platform/Defaults.h"
#include "Services/SettingsForm.h"
#include "Views/Window/ColumnLayout.h"
#include "Views/Settings/SettingsSymbols.h"
#include "Views/Settings/SettingsToggle.h"
#include "Views/Settings/SettingsViewParts.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

using SettingsLook::Tone;

namespace {
const QString iCloudSyncKey = QStringLiteral("iCloudSyncEnabled");
}

QWidget* SettingsView::buildSyncContent()
{
    auto* page = new QWidget;
    auto* column = namedColumn(page, QStringLiteral("syncContent"), 20, 16);

    m_syncToggle = new SettingsToggle(QStringLiteral("iCloud Sync"), page);
    m_syncToggle->setObjectName(QStringLiteral("iCloudSync"));
    // Takes effect at the next start; the store in use stays as it is.
    m_syncToggle->bindTo(m_defaults, iCloudSyncKey, true);
    column->addWidget(m_syncToggle);

    auto* stateRow = new QHBoxLayout;
    stateRow->setSpacing(8);
    m_syncIcon = new QLabel(page);
    m_syncIcon->setObjectName(QStringLiteral("syncStateIcon"));
    m_syncIcon->setFixedSize(14, 14);
    m_syncText = SettingsLook::caption(QString(), 12, Tone::secondary, page);
    m_syncText->setObjectName(QStringLiteral("syncStateText"));
    stateRow->addWidget(m_syncIcon, 0, Qt::AlignVCenter);
    stateRow->addWidget(m_syncText, 0, Qt::AlignVCenter);
    stateRow->addStretch(1);
    column->addLayout(stateRow);

    column->addWidget(SettingsLook::caption(QStringLiteral("Changes require app restart"), 11, Tone::tertiary, page));
    refreshSync();
    return page;
}

void SettingsView::setCloudService(CloudService& cloud)
{
    m_cloud = &cloud;
    if (m_syncText)
        refreshSync();
}

void SettingsView::refreshSync()
{
    // The switch alone would claim a sync this run is not doing (there is no
    // cloud here, or it starts only with the next launch).
    CloudService& cloud = m_cloud ? *m_cloud : CloudService::shared();
    const bool on = m_defaults.boolValue(iCloudSyncKey).value_or(true) && cloud.isMirroring();
    m_syncIcon->setProperty("symbolName", on ? QStringLiteral("checkmark.circle.fill")
                                             : QStringLiteral("xmark.circle.fill"));
    m_syncIcon->setPixmap(settingsSymbolIcon(m_syncIcon->property("symbolName").toString(),
                                             on ? QColor(0x30, 0xd1, 0x58) : QColor(0xff, 0x9f, 0x0a), 14)
                              .pixmap(14, 14));
    m_syncText->setText(SettingsForm::syncSwitchText(on));
}
