#pragma once

// Stored results follow the settings they were computed under: after a change
// of the number style, the tax rates or the exchange rates every canvas of a
// watched context is computed again, one canvas per event-loop turn (so one
// store transaction each, and no freeze with many canvases). Whatever reads
// results before their turn (export, print, PDF, share) brings its canvases
// up to date first.

#include "Models/RecordPointers.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>

class CanvasRecalculation : public QObject {
    Q_OBJECT
public:
    static CanvasRecalculation& shared();

    // The canvases of the context follow the settings from now on.
    void watch(ModelContext* context);
    // Computes the canvases again now where a settings change left them behind.
    void bringUpToDate(const QList<CanvasPtr>& canvases);
    // Every canvas still behind, now: before the store's last save.
    void finishAll();
    bool isBehind(const CanvasPtr& canvas) const;

private:
    CanvasRecalculation();
    void settingsChanged();
    void schedule();
    void recalculateNext();
    void recalculate(const CanvasPtr& canvas);

    QList<QPointer<ModelContext>> m_contexts;
    QList<CanvasPtr> m_behind; // in the order they were made
    QSet<const Canvas*> m_behindSet;
    bool m_scheduled = false;
};
