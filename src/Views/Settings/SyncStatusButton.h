#pragma once

#include "Services/SyncStatusMonitor.h"

#include <QAbstractButton>
#include <QColor>

class CloudService;
class PointerHover;
class Defaults;
class QVariantAnimation;

// The cloud symbol of the toolbar: shows the sync status with a symbol and
// colour per state, its description as tooltip; a click checks again.
class SyncStatusButton : public QAbstractButton {
    Q_OBJECT
public:
    // Over the standard defaults and the machine's cloud service.
    explicit SyncStatusButton(QWidget* parent = nullptr);
    SyncStatusButton(Defaults& defaults, CloudService& cloud, SyncStatusMonitor::Timing timing,
                     QWidget* parent = nullptr);

    SyncStatusMonitor& monitor() const { return *m_monitor; }
    SyncStatusMonitor::Presentation presentation() const;
    static QColor tintColor(SyncStatusMonitor::Tint tint);
    bool isHovered() const;
    bool isPulsing() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void statusChanged();

    SyncStatusMonitor* m_monitor;
    QVariantAnimation* m_pulse;
    qreal m_pulseOpacity = 1.0;
    PointerHover* m_hover;
};
