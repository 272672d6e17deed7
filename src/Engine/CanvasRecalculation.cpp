#include "Engine/CanvasRecalculation.h"

#include "Engine/CalculatorEngine.h"
#include "Models/CalcSettings.h"
#include "Models/Canvas.h"
#include "Models/ModelContext.h"

#include <QTimer>

#include <algorithm>

CanvasRecalculation& CanvasRecalculation::shared()
{
    // Never deleted, as the engine: it outlives every context it watches.
    static CanvasRecalculation* const instance = new CanvasRecalculation;
    return *instance;
}

CanvasRecalculation::CanvasRecalculation()
{
    const CalcSettings& settings = CalcSettings::shared();
    for (auto signal : {&CalcSettings::decimalStyleChanged, &CalcSettings::taxRatesChanged,
                        &CalcSettings::exchangeRatesChanged})
        connect(&settings, signal, this, &CanvasRecalculation::settingsChanged);
}

void CanvasRecalculation::watch(ModelContext* context)
{
    m_contexts.removeAll(nullptr);
    if (context && !m_contexts.contains(context))
        m_contexts.append(context);
}

void CanvasRecalculation::settingsChanged()
{
    m_contexts.removeAll(nullptr);
    for (const QPointer<ModelContext>& context : std::as_const(m_contexts)) {
        for (const CanvasPtr& canvas : context->canvases()) {
            if (!m_behindSet.contains(canvas.get())) {
                m_behindSet.insert(canvas.get());
                m_behind.append(canvas);
            }
        }
    }
    schedule();
}

void CanvasRecalculation::schedule()
{
    if (m_scheduled || m_behind.isEmpty())
        return;
    m_scheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_scheduled = false;
        recalculateNext();
    });
}

void CanvasRecalculation::recalculateNext()
{
    if (!m_behind.isEmpty())
        recalculate(m_behind.first());
    schedule();
}

void CanvasRecalculation::recalculate(const CanvasPtr& canvas)
{
    const CanvasPtr keep = canvas;
    m_behind.removeOne(keep);
    m_behindSet.remove(keep.get());
    // A canvas whose context went (a store closed) has nothing left to save.
    m_contexts.removeAll(nullptr);
    const bool watched = std::any_of(m_contexts.cbegin(), m_contexts.cend(),
                                     [&](const QPointer<ModelContext>& c) { return c.data() == keep->context(); });
    if (watched && !keep->isDeleted())
        CalculatorEngine::shared().evaluateCanvas(keep);
}

void CanvasRecalculation::bringUpToDate(const QList<CanvasPtr>& canvases)
{
    for (const CanvasPtr& canvas : canvases) {
        if (canvas && isBehind(canvas))
            recalculate(canvas);
    }
}

void CanvasRecalculation::finishAll()
{
    while (!m_behind.isEmpty())
        recalculate(m_behind.first());
}

bool CanvasRecalculation::isBehind(const CanvasPtr& canvas) const
{
    return m_behindSet.contains(canvas.get());
}
